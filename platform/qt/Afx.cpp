#include "Afx.h"

#include "Dialog.h"
#include "DialogWindow.h"
#include "QtPlatform.h"
#include "WinApp.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QStyle>

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <malloc.h>
#include <unistd.h>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace {

DWORD g_dwLastError = 0;
MessageBoxHook g_messageBoxHook;
std::function<void(UINT)> g_beepHook;

int g_signalPipe[2] = {-1, -1};
std::atomic<bool> g_bTerminating{false};

// Reads the font configuration on a second thread (AfxWinMain); the look of the program's
// windows waits for it (AfxReadyWindowLook).
std::thread g_fontReader;

void OnTerminationSignal(int) {
  g_bTerminating = true;
  const char byte = 1;
  // A full pipe already holds a wake-up; the result is of no further use here.
  [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &byte, 1);
}

/// The executable's file name without its extension. The kernel names the file it started in
/// /proc/self/exe, whatever argv[0] says (the name of a link to it, or exec -a); argv[0] serves
/// where there is no such entry.
std::string ExecutableName(const char* lpszArgv0) {
  QString strPath = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
  // A file replaced or removed while the program runs is named with this suffix.
  const QLatin1String deleted(" (deleted)");
  if (strPath.endsWith(deleted))
    strPath.chop(deleted.size());
  if (strPath.isEmpty())
    strPath = QString::fromLocal8Bit(lpszArgv0);
  return QFileInfo(strPath).completeBaseName().toStdString();
}

}  // namespace

// FcInit parses every template in fontconfig's conf.avail folder too, the enabled ones and the
// others, only to keep their descriptions for listing tools: 40 % of its work, and nothing here
// lists them. Where a step fails, the configuration names no cache folder (FcInit would choose
// some), or FC_DEBUG asks for the library's own tracing, FcInit does all of it. The toolkit asks
// fontconfig for nothing before the first window (AfxReadyWindowLook waits for this), so no
// other configuration becomes current meanwhile.
void LoadFontConfiguration() {
  const auto namesCacheFolder = [](FcConfig* pConfig) {
    FcStrList* pDirs = FcConfigGetCacheDirs(pConfig);
    const bool bNamed = pDirs && FcStrListNext(pDirs);
    if (pDirs)
      FcStrListDone(pDirs);
    return bNamed;
  };
  if (FcConfig* pConfig = std::getenv("FC_DEBUG") ? nullptr : FcConfigCreate()) {
    const bool bLoaded = FcConfigParseAndLoad(pConfig, nullptr, FcTrue) &&
                         namesCacheFolder(pConfig) && FcConfigBuildFonts(pConfig) &&
                         FcConfigSetCurrent(pConfig);
    FcConfigDestroy(pConfig);  // the library holds its own reference to the current one
    if (bLoaded)
      return;
  }
  FcInit();
}

int AfxMessageBox(const std::string& strText, UINT nType) {
  if (g_messageBoxHook)
    return g_messageBoxHook(strText, nType);
  CWinApp* pApp = AfxGetApp();
  AfxReadyWindowLook();
  QMessageBox box;
  box.setWindowTitle(QString::fromStdString(pApp ? pApp->m_strAppName : std::string()));
  box.setText(QString::fromStdString(strText).trimmed());
  box.setIcon((nType & 0xF0) == MB_ICONEXCLAMATION ? QMessageBox::Warning : QMessageBox::Critical);
  box.setStandardButtons(QMessageBox::Ok);
  if (AfxIsTerminating())
    return IDOK;
  box.exec();
  return IDOK;
}

void AfxSetMessageBoxHook(MessageBoxHook hook) { g_messageBoxHook = std::move(hook); }

BOOL MessageBeep(UINT /*uType*/) {
  QApplication::beep();  // the toolkit has one beep for every type
  return true;
}

BOOL AfxMessageBeep(UINT uType) {
  if (!g_beepHook)
    return MessageBeep(uType);
  g_beepHook(uType);
  return true;
}

void AfxSetMessageBeepHook(std::function<void(UINT)> hook) { g_beepHook = std::move(hook); }

DWORD GetLastError() { return g_dwLastError; }
void SetLastError(DWORD dwErrCode) { g_dwLastError = dwErrCode; }

bool Enable3dControlsStatic() { return true; }

bool AfxIsTerminating() { return g_bTerminating; }

void AfxInstallTerminationHandlers() {
  if (g_signalPipe[0] >= 0)
    return;
  if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return;
  auto* pNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(pNotifier, &QSocketNotifier::activated, [] {
    char buffer[16];
    while (read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
    }
    CDialog::EndAllModal();
  });
  struct sigaction action = {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

void AfxReadyWindowLook() {
  if (!g_fontReader.joinable())
    return;
  g_fontReader.join();
  // Windows without a font of their own (menus, message boxes) take the one that every template
  // names, as the system's default font; the toolkit's default face is then never loaded.
  QApplication::setFont(DialogFont("MS Sans Serif", 8));
  QApplication::setStyle(CreateDialogStyle());
}

int AfxWinMain(int argc, char** argv) {
  // One heap for all threads: the font thread's allocations would otherwise go to a heap of its
  // own, whose pages stay resident after the thread has ended; in the main one, what it freed
  // serves the panel's windows. The program's threads allocate at start-up and hardly after.
  mallopt(M_ARENA_MAX, 1);
  // Reading the font configuration (fontconfig's files and caches) is the largest single cost of
  // showing the first window; it runs on a second thread while the platform plugin starts and
  // the application reads its settings and opens its sockets, and the toolkit later finds it
  // loaded. Nothing before the first window asks for a font.
  g_fontReader = std::thread(LoadFontConfiguration);
  // The program takes no command line. Qt would act on options of its own (-reverse,
  // -stylesheet, -platform ...), so it sees the program's name only; QT_QPA_PLATFORM still
  // chooses the platform.
  char szNoName[] = "";
  char* qtArgv[] = {argc > 0 && argv[0] ? argv[0] : szNoName, nullptr};
  int nQtArgc = 1;
  QApplication app(nQtArgc, qtArgv);
  int nResult = 1;
  int nExit = 0;
  if (CWinApp* pApp = AfxGetApp()) {
    if (pApp->m_strAppName.empty())
      pApp->m_strAppName = ExecutableName(qtArgv[0]);
    QApplication::setApplicationName(QString::fromStdString(pApp->m_strAppName));
    // Docks match the windows to their launcher, com.tessaline.Mintora.desktop, by this name.
    QApplication::setDesktopFileName("com.tessaline.Mintora");
    AfxInstallTerminationHandlers();
    nResult = pApp->InitInstance() ? pApp->Run() : 0;
    nExit = pApp->ExitInstance();
  }
  // A program that never showed a window still waits for the reader before it ends.
  AfxReadyWindowLook();
  return nResult != 0 ? nResult : nExit;
}

// panel_probe: the operator's hand on a running Mintora.exe, from another Windows process.
//
//   panel_probe credit TEXT [TIMEOUT_MS]   waits until the panel's credit box shows TEXT
//   panel_probe click ID                   clicks the panel's button ID
//   panel_probe close                      closes the panel as its close box would
//
// Each command first waits (up to 20 s) for the panel to be open. Prints what it saw and exits 0
// on success, 1 otherwise.
#include "Resource.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kPanelCaption = "PC <---> Coin acceptor...";
constexpr const char* kDialogClass = "#32770";

HWND WaitForPanel(DWORD dwTimeout) {
  const DWORD dwStart = GetTickCount();
  for (;;) {
    if (HWND hPanel = FindWindowA(kDialogClass, kPanelCaption); hPanel && IsWindowVisible(hPanel))
      return hPanel;
    if (GetTickCount() - dwStart > dwTimeout)
      return nullptr;
    Sleep(50);
  }
}

std::string CreditText(HWND hPanel) {
  char szText[64] = "";
  // WM_GETTEXT is carried across processes; a panel that hangs leaves the text empty.
  DWORD_PTR nResult = 0;
  SendMessageTimeoutA(GetDlgItem(hPanel, IDC_CREDIT), WM_GETTEXT, sizeof szText,
                      reinterpret_cast<LPARAM>(szText), SMTO_ABORTIFHUNG, 2000, &nResult);
  return szText;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: panel_probe credit TEXT [TIMEOUT_MS] | click ID | close\n");
    return 2;
  }
  const HWND hPanel = WaitForPanel(20000);
  if (!hPanel) {
    std::printf("no panel\n");
    return 1;
  }
  const std::string strCommand = argv[1];
  if (strCommand == "credit" && argc >= 3) {
    const DWORD dwTimeout = argc >= 4 ? std::strtoul(argv[3], nullptr, 10) : 10000;
    const DWORD dwStart = GetTickCount();
    std::string strSeen;
    while ((strSeen = CreditText(hPanel)) != argv[2] && GetTickCount() - dwStart <= dwTimeout)
      Sleep(20);
    std::printf("credit %s\n", strSeen.c_str());
    return strSeen == argv[2] ? 0 : 1;
  }
  if (strCommand == "click" && argc >= 3) {
    const int nID = std::atoi(argv[2]);
    const HWND hButton = GetDlgItem(hPanel, nID);
    if (!hButton) {
      std::printf("no control %d\n", nID);
      return 1;
    }
    PostMessageA(hPanel, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED),
                 reinterpret_cast<LPARAM>(hButton));
    std::printf("clicked %d\n", nID);
    return 0;
  }
  if (strCommand == "close") {
    PostMessageA(hPanel, WM_CLOSE, 0, 0);
    std::printf("closed\n");
    return 0;
  }
  std::fprintf(stderr, "panel_probe: unknown command %s\n", argv[1]);
  return 2;
}

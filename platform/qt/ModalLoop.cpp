#include "ModalLoop.h"

#include "Dialog.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace {

std::vector<CModalLoop*> g_stack;  ///< innermost last
std::function<void(CDialog&)> g_shownHook;

}  // namespace

CModalLoop::CModalLoop(CDialog& dlg) : m_dlg(dlg) { g_stack.push_back(this); }

CModalLoop::~CModalLoop() { Leave(); }

void CModalLoop::Leave() { std::erase(g_stack, this); }

void CModalLoop::Run(QWidget* pWindow) {
  pWindow->show();
  pWindow->activateWindow();
  QTimer::singleShot(0, pWindow, [this] {
    // A copy: the hook may replace itself.
    const auto hook = g_shownHook;
    if (hook && !m_bExited)
      hook(m_dlg);
  });
  QEventLoop loop;
  m_pLoop = &loop;
  loop.exec(QEventLoop::DialogExec);
  m_pLoop = nullptr;
}

void CModalLoop::Exit() {
  m_bExited = true;
  if (m_pLoop)
    m_pLoop->exit();
}

CDialog* CModalLoop::Top() { return g_stack.empty() ? nullptr : &g_stack.back()->m_dlg; }

void CModalLoop::EndAll() {
  // Message boxes run their own loops above the dialogs'.
  const auto windows = QApplication::topLevelWidgets();
  for (QWidget* pWindow : windows) {
    if (auto* pBox = qobject_cast<QMessageBox*>(pWindow); pBox && pBox->isVisible())
      pBox->reject();
  }
  const std::vector<CModalLoop*> stack = g_stack;
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    if (it + 1 != stack.rend())
      (*it)->m_dlg.EndDialog(IDCANCEL);
    else
      (*it)->m_dlg.SendMessage(WM_CLOSE);
  }
}

void CModalLoop::SetShownHook(std::function<void(CDialog&)> fn) { g_shownHook = std::move(fn); }

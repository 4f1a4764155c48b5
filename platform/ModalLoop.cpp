// The stack of running modal dialogs, which both implementations keep alike.
#include "ModalLoop.h"

#include "Dialog.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<CModalLoop*> g_stack;  ///< innermost last
std::function<void(CDialog&)> g_shownHook;

}  // namespace

CModalLoop::CModalLoop(CDialog& dlg) : m_dlg(dlg) { g_stack.push_back(this); }

CModalLoop::~CModalLoop() { Leave(); }

void CModalLoop::Leave() { std::erase(g_stack, this); }

void CModalLoop::OnShown() {
  // A copy: the hook may replace itself.
  const auto hook = g_shownHook;
  if (hook && !m_dlg.m_bEnded)
    hook(m_dlg);
}

CDialog* CModalLoop::Top() { return g_stack.empty() ? nullptr : &g_stack.back()->m_dlg; }

bool CModalLoop::IsRunning(HWND hWnd) {
  return hWnd && std::any_of(g_stack.begin(), g_stack.end(), [hWnd](const CModalLoop* pLoop) {
           return pLoop->m_dlg.GetSafeHwnd() == hWnd;
         });
}

void CModalLoop::EndAll() {
  CancelMessageBoxes();
  const std::vector<CModalLoop*> stack = g_stack;
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    if (it + 1 != stack.rend())
      (*it)->m_dlg.EndDialog(IDCANCEL);
    else
      (*it)->m_dlg.SendMessage(WM_CLOSE);
  }
}

void CModalLoop::DestroyAll() {
  EndAll();
  const std::vector<CModalLoop*> stack = g_stack;
  for (auto it = stack.rbegin(); it != stack.rend(); ++it)
    (*it)->m_dlg.DestroyWindow();
}

void CModalLoop::SetShownHook(std::function<void(CDialog&)> fn) { g_shownHook = std::move(fn); }

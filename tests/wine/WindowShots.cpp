// window-shots: pictures of the Windows build's windows, as the screen shows them.
//
//   window-shots DIR              shows each of the eight dialogs in turn and writes
//                                 DIR/dialog-<number>.png of its window
//   window-shots --screen FILE    writes the whole screen to FILE (another program's window)
//
// PNG is written here with stored (uncompressed) deflate blocks: no library needed.
#include "AboutDlg.h"
#include "AcceptorControlDlg.h"
#include "AcceptorIdentDlg.h"
#include "AcceptorSetupDlg.h"
#include "ConnectionDlg.h"
#include "PriceDlg.h"
#include "TubeStatusDlg.h"
#include "VendingPanelDlg.h"
#include "Win32.h"
#include "WinApp.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

void AppendBe(std::vector<BYTE>& out, DWORD n) {
  for (int i = 3; i >= 0; --i)
    out.push_back(static_cast<BYTE>(n >> (8 * i)));
}

DWORD Crc32(const BYTE* p, size_t n, DWORD crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void AppendChunk(std::vector<BYTE>& out, const char* pszType, const std::vector<BYTE>& data) {
  AppendBe(out, static_cast<DWORD>(data.size()));
  std::vector<BYTE> body(pszType, pszType + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  AppendBe(out, Crc32(body.data(), body.size()));
}

/// rgb: rows top-down, 3 bytes a pixel.
bool WritePng(const std::string& strFile, int cx, int cy, const std::vector<BYTE>& rgb) {
  std::vector<BYTE> raw;
  for (int y = 0; y < cy; ++y) {
    raw.push_back(0);  // no filter
    raw.insert(raw.end(), rgb.begin() + y * cx * 3, rgb.begin() + (y + 1) * cx * 3);
  }
  std::vector<BYTE> z = {0x78, 0x01};
  for (size_t i = 0; i == 0 || i < raw.size(); i += 65535) {
    const size_t n = std::min<size_t>(65535, raw.size() - i);
    z.push_back(i + n >= raw.size() ? 1 : 0);
    z.push_back(static_cast<BYTE>(n));
    z.push_back(static_cast<BYTE>(n >> 8));
    z.push_back(static_cast<BYTE>(~n));
    z.push_back(static_cast<BYTE>(~n >> 8));
    z.insert(z.end(), raw.begin() + i, raw.begin() + i + n);
  }
  DWORD a = 1, b = 0;
  for (BYTE c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  AppendBe(z, (b << 16) | a);
  std::vector<BYTE> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<BYTE> header;
  AppendBe(header, static_cast<DWORD>(cx));
  AppendBe(header, static_cast<DWORD>(cy));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  AppendChunk(png, "IHDR", header);
  AppendChunk(png, "IDAT", z);
  AppendChunk(png, "IEND", {});
  FILE* pFile = std::fopen(strFile.c_str(), "wb");
  if (!pFile)
    return false;
  const bool bOk = std::fwrite(png.data(), 1, png.size(), pFile) == png.size();
  return std::fclose(pFile) == 0 && bOk;
}

/// What the screen shows in rc, as a PNG.
bool ShootScreen(const RECT& rc, const std::string& strFile) {
  const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
  HDC hScreen = GetDC(nullptr);
  HDC hMem = CreateCompatibleDC(hScreen);
  BITMAPINFO bmi = {};
  bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), cx, -cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* pBits = nullptr;
  HBITMAP hBitmap = CreateDIBSection(hMem, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
  HGDIOBJ hOld = SelectObject(hMem, hBitmap);
  BitBlt(hMem, 0, 0, cx, cy, hScreen, rc.left, rc.top, SRCCOPY);
  GdiFlush();
  std::vector<BYTE> rgb;
  const auto* pPixel = static_cast<const BYTE*>(pBits);
  for (int i = 0; i < cx * cy; ++i, pPixel += 4)
    rgb.insert(rgb.end(), {pPixel[2], pPixel[1], pPixel[0]});
  SelectObject(hMem, hOld);
  DeleteObject(hBitmap);
  DeleteDC(hMem);
  ReleaseDC(nullptr, hScreen);
  return WritePng(strFile, cx, cy, rgb);
}

/// Lets the window paint itself completely before it is taken.
void Settle(HWND hWnd) {
  RedrawWindow(hWnd, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  const DWORD dwStart = GetTickCount();
  MSG msg;
  while (GetTickCount() - dwStart < 300) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(20);
  }
}

template <typename Dlg>
std::unique_ptr<CDialog> Make() {
  return std::make_unique<Dlg>();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--screen") {
    const RECT rc{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return ShootScreen(rc, argv[2]) ? 0 : 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: window-shots DIR | window-shots --screen FILE\n");
    return 2;
  }
  // The settings are read from the prefix's registry under the program's own name.
  CWinApp app("Mintora");
  app.SetRegistryKey("Tessaline");
  const std::string strDir = argv[1];
  std::unique_ptr<CDialog> (*const factories[])() = {
      Make<CVendingPanelDlg>,  Make<CPriceDlg>,           Make<CConnectionDlg>,
      Make<CAboutDlg>,         Make<CAcceptorControlDlg>, Make<CAcceptorSetupDlg>,
      Make<CAcceptorIdentDlg>, Make<CTubeStatusDlg>};
  int nFailures = 0;
  for (auto pfnMake : factories) {
    std::unique_ptr<CDialog> pDlg = pfnMake();
    CDialog::SetShownHook([&](CDialog& dlg) {
      HWND hWnd = dlg.GetSafeHwnd();
      Settle(hWnd);
      RECT rc;
      GetWindowRect(hWnd, &rc);
      const std::string strFile =
          strDir + "/dialog-" + std::to_string(dlg.GetTemplate().nID) + ".png";
      if (!ShootScreen(rc, strFile)) {
        std::fprintf(stderr, "window-shots: cannot write %s\n", strFile.c_str());
        ++nFailures;
      }
      dlg.EndDialog(IDCANCEL);
    });
    pDlg->DoModal();
  }
  return nFailures == 0 ? 0 : 1;
}

#include "Afx.h"

namespace {

/// The device is reached without dial-up: dialing succeeds at once.
class CImmediateDialer : public IDialer {
public:
  DWORD Dial(const std::string&, DWORD_PTR* pdwConnection) override {
    *pdwConnection = 1;
    return 0;
  }
  DWORD HangUp(DWORD_PTR) override { return 0; }
};

}  // namespace

IDialer& AfxGetPlatformDialer() {
  static CImmediateDialer dialer;
  return dialer;
}

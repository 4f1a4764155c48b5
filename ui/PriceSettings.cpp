#include "PriceSettings.h"

#include "WinApp.h"

#include <cstdio>

namespace PriceSettings {

std::string EntryName(unsigned i) {
  char szEntry[16];
  std::snprintf(szEntry, sizeof szEntry, "Price_%02u", i);
  return szEntry;
}

DWORD Read(unsigned i) {
  return AfxGetApp()->GetProfileInt(kSection, EntryName(i).c_str(), kDefaultPrice);
}

void Write(unsigned i, DWORD dwPrice) {
  AfxGetApp()->WriteProfileInt(kSection, EntryName(i).c_str(), dwPrice);
}

}  // namespace PriceSettings

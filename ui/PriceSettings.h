// The settings section "Prices": one price per product selection, in hundredths. The price
// dialog writes it; the panel reads it whenever it shows or charges a price.
#pragma once

#include "Afx.h"

#include <string>

namespace PriceSettings {

inline constexpr const char* kSection = "Prices";
inline constexpr unsigned kProductCount = 10;
/// What every reader takes for a missing price: 1.00.
inline constexpr DWORD kDefaultPrice = 100;

/// The entry of product i (0..9): "Price_%02u", so Price_00 .. Price_09.
std::string EntryName(unsigned i);
/// @returns the stored price of product i, or kDefaultPrice.
DWORD Read(unsigned i);
void Write(unsigned i, DWORD dwPrice);

}  // namespace PriceSettings

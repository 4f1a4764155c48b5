// Prices as the operator reads and types them. A price is an unsigned count of hundredths.
#pragma once

#include "Afx.h"

#include <string>

/// "%u.%02u" of price / 100 and price % 100: 5 gives "0.05", 150 gives "1.50".
std::string FormatPrice(DWORD dwPrice);

/// Reads a typed price the way the input pattern "%u.%u" does: blanks, then an unsigned whole
/// part (an optional sign, decimal digits), a point, then blanks and the fraction the same way.
/// Reading stops at the first character that does not fit; a part it did not reach counts as 0,
/// so "2" and "2." give 200 and ".5", "" or "abc" give 0. The fraction counts hundredths as a
/// whole number ("1.5" gives 105, "1.234" gives 334). A minus sign negates its part modulo 2^32,
/// digits accumulate modulo 2^32, and the result is 100 * whole + fraction modulo 2^32.
DWORD ParsePrice(const std::string& strText);

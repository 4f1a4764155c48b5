#include "PriceSettings.h"
#include "PriceText.h"

#include <gtest/gtest.h>

namespace {

TEST(PriceText, FormatsHundredths) {
  EXPECT_EQ(FormatPrice(0), "0.00");
  EXPECT_EQ(FormatPrice(5), "0.05");
  EXPECT_EQ(FormatPrice(150), "1.50");
  EXPECT_EQ(FormatPrice(4294967295u), "42949672.95");
  EXPECT_EQ(PriceSettings::EntryName(0), "Price_00");
  EXPECT_EQ(PriceSettings::EntryName(9), "Price_09");
}

TEST(PriceText, ParsesWholeDotHundredths) {
  const struct {
    const char* lpszText;
    DWORD dwPrice;
  } cases[] = {
      {"1.50", 150},
      {"1.5", 105},
      {"1.05", 105},
      {"0.99", 99},
      {"1.234", 334},
      {"2.5", 205},
      {"10.00", 1000},
      {"0.07", 7},
      {" 3. 4", 304},
      {"+1.+2", 102},
      {"7.25xyz", 725},
      // Parts the text does not reach count as 0.
      {"2", 200},
      {"2.", 200},
      {"3 .4", 300},
      {".5", 0},
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {"2.x", 200},
      // Unsigned 32-bit arithmetic throughout.
      {"-1.00", 4294967196u},
      {"42949673.00", 4},
      {"4294967296.1", 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParsePrice(c.lpszText), c.dwPrice) << '"' << c.lpszText << '"';
}

}  // namespace

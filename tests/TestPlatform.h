// Rows keyed by platform: what truly differs between the two implementations of one header is a
// row marked with the platforms it holds on, in the one suite that both run.
#pragma once

#include <initializer_list>
#include <vector>

namespace testing_support {

enum EPlatform : unsigned { kLinux = 1, kWindows = 2, kBothPlatforms = kLinux | kWindows };

#ifdef _WIN32
constexpr EPlatform kThisPlatform = kWindows;
#else
constexpr EPlatform kThisPlatform = kLinux;
#endif

/// The rows that hold on this platform (a row's nPlatforms names them), for ValuesIn.
template <typename Row>
std::vector<Row> RowsOfThisPlatform(std::initializer_list<Row> rows) {
  std::vector<Row> these;
  for (const Row& row : rows)
    if (row.nPlatforms & kThisPlatform)
      these.push_back(row);
  return these;
}

}  // namespace testing_support

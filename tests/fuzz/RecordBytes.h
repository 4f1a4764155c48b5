// The changer driver's records as bytes, and what an answer of the changer puts into each: shared
// by the fuzz sessions' judges and bench/LaunchReplay.cpp, which compare the two.
#pragma once

#include "ChangerDriver.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace record_bytes {

using Bytes = std::vector<std::uint8_t>;

/// Datagram bytes nFirst..nFirst+nCount-1, zero where the datagram has ended.
inline Bytes Field(const Bytes& datagram, std::size_t nFirst, std::size_t nCount) {
  Bytes field(nCount, 0);
  for (std::size_t i = 0; i < nCount && nFirst + i < datagram.size(); ++i)
    field[i] = datagram[nFirst + i];
  return field;
}

template <typename T>
Bytes BytesOf(const T& record) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
  return Bytes(p, p + sizeof record);
}

/// The identification record as the changer's answer fills it: three text areas of 16 bytes,
/// each closed by a zero, then version and feature bits, nothing else written.
inline Bytes IdentLayout(const Bytes& answer) {
  Bytes record(sizeof(ChangerIdentification), 0);
  const auto Put = [&](std::size_t nAt, std::size_t nFirst, std::size_t nCount) {
    const Bytes field = Field(answer, nFirst, nCount);
    std::copy(field.begin(), field.end(), record.begin() + static_cast<std::ptrdiff_t>(nAt));
  };
  Put(0, 1, 3);
  Put(16, 4, 12);
  Put(32, 16, 12);
  Put(48, 28, 2);
  Put(50, 30, 4);
  return record;
}

}  // namespace record_bytes

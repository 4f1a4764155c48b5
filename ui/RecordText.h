// How the changer's records read on screen. Pure text, no windows, so every rule is testable.
#pragma once

#include "ChangerRecords.h"

#include <cstdint>
#include <string>

/// The four 4-bit groups of n, most significant first, each as a decimal number with no
/// separator: 0x1978 gives "1978"; a group above 9 prints as 10..15, making the text longer.
std::string FormatBcdDigits(std::uint16_t n);

/// The same four groups as "%u%u.%u%u": 0x0125 gives "01.25".
std::string FormatSoftwareVersion(std::uint16_t n);

/// A text area of the identification record up to its first zero byte (at most 16 bytes).
std::string FormatRecordText(const char (&area)[16]);

/// Value of coin type j (0..15) in hundredths: credit times scaling factor, both unsigned bytes.
unsigned CoinValue(const ChangerSetup& setup, unsigned j);

/// Setup dialog row for coin type j (0..15): "%u" of its value, then " -> Routng to Tube" when
/// its routing bit is set.
std::string FormatCoinLine(const ChangerSetup& setup, unsigned j);

/// Tube dialog row for coin type j (0..15): " ---" for an empty tube, otherwise " %u x %u" of
/// the count and the coin value, then " (Full)" when its full bit is set.
std::string FormatTubeLine(const TubeStatus& tubes, const ChangerSetup& setup, unsigned j);

/// "Enabled" when bit b (0..31) of the optional features is set, "Disabled" otherwise.
/// dwFeatures is the field as stored, in bus order.
const char* FormatFeature(std::uint32_t dwFeatures, unsigned b);

/// "%u" of one unsigned byte.
std::string FormatByte(std::uint8_t n);

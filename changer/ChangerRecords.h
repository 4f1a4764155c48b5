// What the coin changer reported about itself, kept byte for byte as it came over the bus.
#pragma once

#include <cstddef>
#include <cstdint>

// Every multi-byte field holds the changer's bytes in bus order, most significant first, copied
// with memcpy. Load such a field as a little-endian word and pass it through SwapBytes16 or
// SwapBytes32 to get the number. Coin types are 0..15, bit n of a mask is coin type n.
#pragma pack(push, 1)

/// The changer's answer to SETUP (datagram bytes 1..23).
struct ChangerSetup {
  std::uint8_t featureLevel;
  std::uint16_t countryCode;   ///< four BCD digits, most significant nibble first
  std::uint8_t scalingFactor;  ///< coin credits and payouts count in units of this many hundredths
  std::uint8_t decimalPlaces;
  std::uint16_t coinTypeRouting;    ///< bit n: coins of type n can go to their tube
  std::uint8_t coinTypeCredit[16];  ///< value of coin type n in units of scalingFactor
};

/// The changer's answer to TUBE STATUS (datagram bytes 1..18).
struct TubeStatus {
  std::uint16_t tubeFullStatus;  ///< bit n: the tube of coin type n is full
  std::uint8_t tubeCount[16];    ///< coins in the tube of coin type n
};

/// The changer's answer to EXPANSION IDENTIFICATION (datagram bytes 1..33). The texts are
/// zero-terminated: at most 3, 12 and 12 characters; the bytes after them stay 0.
struct ChangerIdentification {
  char manufacturerCode[16];
  char serialNumber[16];
  char modelRevision[16];          ///< model number and tuning revision
  std::uint16_t softwareVersion;   ///< four BCD digits, most significant nibble first
  std::uint32_t optionalFeatures;  ///< feature bits, those of the FeatureEnable setting
};

#pragma pack(pop)

static_assert(sizeof(ChangerSetup) == 23);
static_assert(sizeof(TubeStatus) == 18);
static_assert(sizeof(ChangerIdentification) == 54);
static_assert(offsetof(ChangerSetup, coinTypeCredit) == 7);
static_assert(offsetof(ChangerIdentification, softwareVersion) == 48);

/// @returns value with its two bytes exchanged.
std::uint16_t SwapBytes16(std::uint16_t value);
/// @returns value with its four bytes in reverse order.
std::uint32_t SwapBytes32(std::uint32_t value);

// The settings section "AcceptorControl": which coin types the changer accepts and may dispense,
// and which of its optional features are on. The acceptor control dialog writes the three words
// whenever it closes; the driver reads them each time it enables features or coins.
#pragma once

#include <cstdint>

namespace AcceptorControlSettings {

inline constexpr const char* kSection = "AcceptorControl";
/// Bit k: the changer accepts coin type k (0..15).
inline constexpr const char* kCoinAccept = "CoinAccept";
/// Bit k: manual dispense of coin type k (0..15) enabled.
inline constexpr const char* kCoinDispense = "CoinDispense";
/// Bits 0..3: alternative payout, extended diagnostics, controlled manual fill and payout, file
/// transport layer; the driver sends all 32 bits as stored.
inline constexpr const char* kFeatureEnable = "FeatureEnable";
/// What every reader takes for a missing word: nothing accepted, dispensable or enabled.
inline constexpr std::uint32_t kDefault = 0;

}  // namespace AcceptorControlSettings

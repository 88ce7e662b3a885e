// SPDX-License-Identifier: GPL-3.0-or-later
// The numbers every stage of the receiver shares: a turn in radians, FM broadcasting's, and the
// RDS signal's own.
#pragma once

#include <numbers>

namespace tavimor::dsp {

inline constexpr double kTwoPi = 2.0 * std::numbers::pi;

// FM broadcasting's peak deviation: the multiplex at full scale +-1.
inline constexpr double kFullDeviationHz = 75'000.0;
// The stereo pilot, and the RDS subcarrier at three times it.
inline constexpr double kPilotHz = 19'000.0;
inline constexpr double kSubcarrierHz = 3.0 * kPilotHz;
// RDS sends a bit every 16 cycles of the pilot: 1187.5 bit/s.
inline constexpr double kSymbolRate = kPilotHz / 16.0;
inline constexpr unsigned kBlockBits = 26;
inline constexpr unsigned kGroupBits = 4 * kBlockBits;
inline constexpr double kGroupSeconds = kGroupBits / kSymbolRate;
// About 11.4.
inline constexpr double kGroupsPerSecond = kSymbolRate / kGroupBits;

}  // namespace tavimor::dsp

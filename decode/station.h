// SPDX-License-Identifier: GPL-3.0-or-later
// What the station has said so far, decoded from its groups; plain data that the window
// presents and the traffic status follows. Default-constructed, it is what is known at start-up:
// nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "decode/group_type.h"

namespace tavimor {

inline constexpr std::size_t kPsLength = 8;
inline constexpr std::size_t kRadioTextLength = 64;
// A buffer position no segment has reached yet.
inline constexpr char kNotReceived = '_';

// The decoder identification flags, numbered by the segment address of the group 0 that
// carries each of them.
enum class DiFlag : std::uint8_t { DynamicPty = 0, Compressed = 1, ArtificialHead = 2, Stereo = 3 };

// Group 0's switching flags, as the latest group 0 (version A or B) set them.
struct SwitchingFlags {
  bool trafficProgramme = false;
  bool trafficAnnouncement = false;
  bool music = false;
  std::uint8_t programmeType = 0;
};

inline constexpr int kMaxRadioTextGroupCount = 1000;

enum class RadioTextFlag : std::uint8_t { A, B };

struct RadioText {
  // One buffer per value of the text A/B flag; bytes as received.
  std::string bufferA = std::string(kRadioTextLength, kNotReceived);
  std::string bufferB = std::string(kRadioTextLength, kNotReceived);
  std::string committed;  // empty until a buffer has been committed
  // Groups 2A since the flag last changed; counting stops at kMaxRadioTextGroupCount.
  int groupCount = 0;
  std::optional<RadioTextFlag> lastFlag;  // of the latest group 2A

  std::string& buffer(RadioTextFlag flag) { return flag == RadioTextFlag::A ? bufferA : bufferB; }
};

struct Station {
  // Of the latest group, whatever its type; empty before the first.
  std::optional<std::uint16_t> pi;
  std::optional<GroupType> groupType;

  std::optional<SwitchingFlags> switching;
  std::array<std::optional<bool>, 4> decoderIdentification;   // indexed by DiFlag
  std::string psName = std::string(kPsLength, kNotReceived);  // bytes as received
  RadioText radioText;

  bool anyGroupDecoded() const { return groupType.has_value(); }
  const std::optional<bool>& di(DiFlag flag) const {
    return decoderIdentification[static_cast<std::size_t>(flag)];
  }
};

}  // namespace tavimor

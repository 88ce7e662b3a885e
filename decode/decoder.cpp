// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/decoder.h"

#include <algorithm>

#include "decode/bits.h"

namespace tavimor {
namespace {

constexpr GroupType kRadioTextGroup{2, GroupVersion::A};
// A buffer is committed as the station's RadioText once more groups than this have come since
// its flag was set: by then every segment has normally been sent at least once.
constexpr int kCommitAfterGroups = 29;
constexpr std::size_t kCharsPerRadioTextSegment = 4;

void decodeHeader(const RdsGroup& group, Station& station) {
  station.pi = group.a;
  station.groupType = groupTypeOf(group.b);
}

void decodeBasicTuning(const RdsGroup& group, Station& station) {
  if (groupTypeOf(group.b).number != 0) return;
  station.switching =
      SwitchingFlags{.trafficProgramme = bitOf(group.b, 10),
                     .trafficAnnouncement = bitOf(group.b, 4),
                     .music = bitOf(group.b, 3),
                     .programmeType = static_cast<std::uint8_t>(bitsOf(group.b, 5, 5))};
  const std::size_t segment = bitsOf(group.b, 0, 2);
  station.decoderIdentification[segment] = bitOf(group.b, 2);
  station.psName[2 * segment] = highByte(group.d);
  station.psName[2 * segment + 1] = lowByte(group.d);
}

void decodeRadioText(const RdsGroup& group, Station& station) {
  if (groupTypeOf(group.b) != kRadioTextGroup) return;
  RadioText& text = station.radioText;
  const RadioTextFlag flag = bitOf(group.b, 4) ? RadioTextFlag::B : RadioTextFlag::A;
  // A new flag announces a new text: its buffer starts empty and the count again.
  if (text.lastFlag && *text.lastFlag != flag) {
    text.groupCount = 0;
    text.buffer(flag).assign(kRadioTextLength, kNotReceived);
  }
  text.lastFlag = flag;
  ++text.groupCount;

  std::string& buffer = text.buffer(flag);
  const std::size_t first = kCharsPerRadioTextSegment * bitsOf(group.b, 0, 4);
  buffer[first] = highByte(group.c);
  buffer[first + 1] = lowByte(group.c);
  buffer[first + 2] = highByte(group.d);
  buffer[first + 3] = lowByte(group.d);

  if (text.groupCount > kCommitAfterGroups) text.committed = buffer;
  text.groupCount = std::min(text.groupCount, kMaxRadioTextGroupCount);
}

}  // namespace

void decodeGroup(const RdsGroup& group, Station& station) {
  decodeHeader(group, station);
  decodeBasicTuning(group, station);
  decodeRadioText(group, station);
}

}  // namespace tavimor

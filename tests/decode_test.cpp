// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding typed groups into the station model: header, group 0, station name and RadioText.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/decoder.h"
#include "decode/packet_framer.h"
#include "tests/support/packets.h"
#include "tests/support/row_name.h"

namespace tavimor {
namespace {

using testing::group0A;
using testing::group2A;

const std::string kEmptyRadioText(kRadioTextLength, kNotReceived);

Station decoded(const std::vector<RdsGroup>& groups) {
  Station station;
  for (const RdsGroup& group : groups)
    decodeGroup(group, station);
  return station;
}

std::string withSegment(std::string buffer, std::size_t segment, std::string_view chars) {
  return buffer.replace(4 * segment, 4, chars);
}

TEST(Packet, IsTheLeadByteThenEachBlockHighByteFirstAndBack) {
  const RdsGroup group{0xD3C2, 0x2005, 0x80FE, 0x7F01};
  const PacketBytes packet = toPacket(group, 0xAB);
  EXPECT_EQ(packet, (PacketBytes{0xAB, 0xD3, 0xC2, 0x20, 0x05, 0x80, 0xFE, 0x7F, 0x01}));
  EXPECT_EQ(groupOfPacket(packet), group);
}

const std::string kPacketA = testing::packet(0xD3C2, 0x0558, 0x1234, 0x5241);
const std::string kPacketB = testing::packet(0x1234, 0x2005, 0x4142, 0x4344, 0x7F);

struct FramingCase {
  std::string_view name;
  std::vector<std::string> chunks;  // as they arrive, one append each
  std::vector<std::string> packets;
  std::string fragment;  // what the pause after the chunks delivers; empty: nothing
};

std::ostream& operator<<(std::ostream& out, const FramingCase& row) {
  return out << row.name;
}

class Framing : public ::testing::TestWithParam<FramingCase> {};

// Packets are delivered as soon as their last byte arrives, the rest only at the pause, and
// the packet after the pause is aligned again.
TEST_P(Framing, WholePacketsAtOnceTheRestAtThePause) {
  const FramingCase& row = GetParam();
  PacketFramer framer;
  std::vector<std::string> packets;
  const auto onPacket = [&](const PacketBytes& packet) {
    packets.push_back(testing::bytesOf(packet));
  };
  for (const std::string& chunk : row.chunks)
    framer.append(chunk, onPacket);
  EXPECT_EQ(packets, row.packets);
  EXPECT_EQ(framer.hasFragment(), !row.fragment.empty());

  std::vector<std::string> fragments;
  framer.flush(
      [&](const Fragment& fragment) { fragments.push_back(testing::bytesOf(fragment.bytes())); });
  EXPECT_EQ(fragments, row.fragment.empty() ? std::vector<std::string>{}
                                            : std::vector<std::string>{row.fragment});
  EXPECT_FALSE(framer.hasFragment());

  packets.clear();
  framer.append(kPacketB, onPacket);
  EXPECT_EQ(packets, std::vector<std::string>{kPacketB});
}

std::string part(const std::string& bytes, std::size_t first, std::size_t count) {
  return bytes.substr(first, count);
}

INSTANTIATE_TEST_SUITE_P(
    Packets, Framing,
    ::testing::Values(
        FramingCase{"Whole", {kPacketA}, {kPacketA}, ""},
        FramingCase{"SplitInTwo", {part(kPacketA, 0, 5), part(kPacketA, 5, 4)}, {kPacketA}, ""},
        FramingCase{"SplitInThree",
                    {part(kPacketA, 0, 3), part(kPacketA, 3, 3), part(kPacketA, 6, 3)},
                    {kPacketA},
                    ""},
        FramingCase{"TwoInOneRead", {kPacketA + kPacketB}, {kPacketA, kPacketB}, ""},
        FramingCase{"PacketAndFragment", {kPacketA + "\x12\x34"}, {kPacketA}, "\x12\x34"},
        FramingCase{"FragmentAlone", {"\x12\x34\x05"}, {}, "\x12\x34\x05"},
        FramingCase{"EightBytesAreAFragment", {part(kPacketA, 0, 8)}, {}, part(kPacketA, 0, 8)},
        FramingCase{"OverlongBurst",
                    {std::string(20, '\x55'), std::string(20, '\x55')},
                    {std::string(9, '\x55'), std::string(9, '\x55'), std::string(9, '\x55'),
                     std::string(9, '\x55')},
                    std::string(4, '\x55')}),
    testing::kRowName);

struct HeaderCase {
  std::string_view name;
  std::uint16_t blockB;
  GroupType type;
};

std::ostream& operator<<(std::ostream& out, const HeaderCase& row) {
  return out << row.name;
}

class Header : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(Header, GroupNumberAndVersionOfEveryGroup) {
  const Station station = decoded({{0x000F, GetParam().blockB, 0, 0}});
  EXPECT_EQ(station.pi, 0x000F);
  EXPECT_EQ(station.groupType, GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, Header,
    ::testing::Values(HeaderCase{"Group2A", 0x2000, {2, GroupVersion::A}},
                      HeaderCase{"Group15BAllLowBitsClear", 0xF800, {15, GroupVersion::B}},
                      HeaderCase{"Group10ALowBitsSet", 0xA5E3, {10, GroupVersion::A}},
                      HeaderCase{"Group0B", 0x0800, {0, GroupVersion::B}},
                      HeaderCase{"Group1BBesideASetTpBit", 0x1C00, {1, GroupVersion::B}},
                      HeaderCase{"Group0AEveryOtherBitSet", 0x07FF, {0, GroupVersion::A}}),
    testing::kRowName);

TEST(Station, NothingIsKnownBeforeTheFirstGroup) {
  const Station station;
  EXPECT_FALSE(station.anyGroupDecoded());
  EXPECT_FALSE(station.switching);
  EXPECT_EQ(station.psName, "________");
  EXPECT_EQ(station.radioText.bufferA, kEmptyRadioText);
  EXPECT_FALSE(station.radioText.lastFlag);
}

struct Group0Case {
  std::string_view name;
  std::uint16_t blockB;
  bool tp, ta, music;
  unsigned pty;
  DiFlag diFlag;  // the flag of the segment address
  bool di;
};

std::ostream& operator<<(std::ostream& out, const Group0Case& row) {
  return out << row.name;
}

class Group0 : public ::testing::TestWithParam<Group0Case> {};

TEST_P(Group0, SwitchingFlagsProgrammeTypeAndTheDiFlagOfTheSegment) {
  const Group0Case& row = GetParam();
  const Station station = decoded({{0x1234, row.blockB, 0, 0}});
  ASSERT_TRUE(station.switching);
  EXPECT_EQ(station.switching->trafficProgramme, row.tp);
  EXPECT_EQ(station.switching->trafficAnnouncement, row.ta);
  EXPECT_EQ(station.switching->music, row.music);
  EXPECT_EQ(station.switching->programmeType, row.pty);
  for (const DiFlag flag :
       {DiFlag::DynamicPty, DiFlag::Compressed, DiFlag::ArtificialHead, DiFlag::Stereo}) {
    if (flag == row.diFlag) {
      EXPECT_EQ(station.di(flag), row.di);
    } else {
      EXPECT_FALSE(station.di(flag)) << static_cast<int>(flag);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Flags, Group0,
    ::testing::Values(
        Group0Case{"PopMusicSegment0", 0x0558, true, true, true, 10, DiFlag::DynamicPty, false},
        Group0Case{"NewsSegment1DiSet", 0x043D, true, true, true, 1, DiFlag::Compressed, true},
        Group0Case{"VersionBAllClear", 0x0800, false, false, false, 0, DiFlag::DynamicPty, false},
        Group0Case{"SpeechSegment2DiSet", 0x0006, false, false, false, 0, DiFlag::ArtificialHead,
                   true},
        Group0Case{"PtyBits4To3FromBlockBBits9To8", 0x0649, true, false, true, 18,
                   DiFlag::Compressed, false},
        Group0Case{"PtyBit4Alone", 0x0280, false, false, false, 20, DiFlag::DynamicPty, false},
        Group0Case{"PtyBit3Alone", 0x0100, false, false, false, 8, DiFlag::DynamicPty, false},
        Group0Case{"PtyBit1Alone", 0x0040, false, false, false, 2, DiFlag::DynamicPty, false},
        Group0Case{"AllPtyBits", 0x07F0, true, true, false, 31, DiFlag::DynamicPty, false},
        Group0Case{"Segment3DiClear", 0x0C1B, true, true, true, 0, DiFlag::Stereo, false}),
    testing::kRowName);

struct OtherGroupCase {
  std::string_view name;
  std::uint16_t blockB;
};

std::ostream& operator<<(std::ostream& out, const OtherGroupCase& row) {
  return out << row.name;
}

class GroupsOtherThan0 : public ::testing::TestWithParam<OtherGroupCase> {};

TEST_P(GroupsOtherThan0, LeaveGroup0sValuesAsTheyWere) {
  const RdsGroup group0{0x1234, 0x0559, 0, 0};  // TP, TA, music, DI compressed 0
  const Station before = decoded({group0});
  const Station after = decoded({group0, {0x1234, GetParam().blockB, 0x4142, 0x4344}});
  ASSERT_TRUE(after.switching);
  EXPECT_EQ(after.switching->trafficProgramme, true);
  EXPECT_EQ(after.switching->trafficAnnouncement, true);
  EXPECT_EQ(after.switching->music, true);
  EXPECT_EQ(after.switching->programmeType, before.switching->programmeType);
  EXPECT_EQ(after.decoderIdentification, before.decoderIdentification);
  EXPECT_EQ(after.psName, before.psName);
}

INSTANTIATE_TEST_SUITE_P(
    Types, GroupsOtherThan0,
    ::testing::Values(OtherGroupCase{"Group2AWithTheTextFlagWhereTaIs", 0x2010},
                      OtherGroupCase{"Group2B", 0x2800}, OtherGroupCase{"Group1B", 0x1800},
                      OtherGroupCase{"Group10AEveryLowBitSet", 0xA5FF},
                      OtherGroupCase{"Group14AEveryLowBitSet", 0xE7FF}),
    testing::kRowName);

class GroupsOtherThan2A : public ::testing::TestWithParam<OtherGroupCase> {};

TEST_P(GroupsOtherThan2A, LeaveTheRadioTextAsItWas) {
  Station station;
  for (std::size_t segment = 0; segment < 40; ++segment)
    decodeGroup(group2A(0xD3C2, true, segment % 16, "TEXT"), station);
  const RadioText before = station.radioText;
  decodeGroup({0x1234, GetParam().blockB, testing::chars('X', 'X'), testing::chars('X', 'X')},
              station);
  const RadioText& text = station.radioText;
  EXPECT_EQ(text.bufferA, before.bufferA);
  EXPECT_EQ(text.bufferB, before.bufferB);
  EXPECT_EQ(text.committed, before.committed);
  EXPECT_EQ(text.groupCount, before.groupCount);
  EXPECT_EQ(text.lastFlag, before.lastFlag);
}

// Each with the text A/B flag and segment bits of a group 2A.
INSTANTIATE_TEST_SUITE_P(Types, GroupsOtherThan2A,
                         ::testing::Values(OtherGroupCase{"Group2B", 0x2815},
                                           OtherGroupCase{"Group0A", 0x0558},
                                           OtherGroupCase{"Group12A", 0xC015},
                                           OtherGroupCase{"Group3A", 0x3015}),
                         testing::kRowName);

TEST(Group0Sequence, DiFlagsFillInSegmentBySegment) {
  // DI bits 1, 0, 1, 1 sent for segments 3, 2, 1, 0.
  const Station station =
      decoded({{0, 0x0007, 0, 0}, {0, 0x0002, 0, 0}, {0, 0x0005, 0, 0}, {0, 0x0004, 0, 0}});
  EXPECT_EQ(station.di(DiFlag::Stereo), true);
  EXPECT_EQ(station.di(DiFlag::ArtificialHead), false);
  EXPECT_EQ(station.di(DiFlag::Compressed), true);
  EXPECT_EQ(station.di(DiFlag::DynamicPty), true);
}

TEST(ProgrammeServiceName, PairsLandWhereTheSegmentAddressSays) {
  struct Step {
    const char* name;
    RdsGroup group;
    std::string psName;
  };
  const Step steps[] = {
      {"0A segment 0", group0A(0xD3C2, 0x0558, "RA"), "RA______"},
      {"0A segment 3", group0A(0xD3C2, 0x055B, "AL"), "RA____AL"},
      {"0B segment 2", {0xD3C2, 0x0802, 0, testing::chars('D', 'I')}, "RA__DIAL"},
      {"bytes kept as received", group0A(0xD3C2, 0x0559, "\x91\x0D"),
       "RA\x91\x0D"
       "DIAL"},
      {"blanks", group0A(0xD3C2, 0x0559, "  "), "RA  DIAL"},
      {"2A leaves it", group2A(0xD3C2, false, 1, "XXYY"), "RA  DIAL"},
      {"10A leaves it", {0xD3C2, 0xA5E1, 0, testing::chars('Z', 'Z')}, "RA  DIAL"},
  };
  Station station;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    decodeGroup(step.group, station);
    EXPECT_EQ(station.psName, step.psName);
  }
}

class RadioTextTest : public ::testing::Test {
 protected:
  // n groups of one text, cycling over its 16 segments.
  void feedText(bool textB, int n, std::string_view text) {
    for (int i = 0; i < n; ++i) {
      const auto segment = static_cast<std::size_t>(i % 16);
      decodeGroup(group2A(0xD3C2, textB, segment, text.substr(4 * segment, 4)), station);
    }
  }
  void feed(const RdsGroup& group) { decodeGroup(group, station); }

  Station station;
  const RadioText& text = station.radioText;
};

const std::string kTextA = "Weather: dry and sunny, 24 degrees. Next news at the full hour  ";
const std::string kTextB = "Now playing: Blue Harbour by The Lanterns\r                      ";

TEST_F(RadioTextTest, SegmentGoesToTheBufferOfItsFlag) {
  feed({0x1234, 0x2005, testing::chars('A', 'B'), testing::chars('C', 'D')});
  EXPECT_EQ(text.bufferA, withSegment(kEmptyRadioText, 5, "ABCD"));
  EXPECT_EQ(text.bufferB, kEmptyRadioText);
  feed({0x1234, 0x2015, testing::chars('W', 'X'), testing::chars('Y', 'Z')});
  EXPECT_EQ(text.bufferB, withSegment(kEmptyRadioText, 5, "WXYZ"));
  EXPECT_EQ(text.bufferA, withSegment(kEmptyRadioText, 5, "ABCD"));
}

TEST_F(RadioTextTest, SegmentsZeroAndFifteenAreTheEnds) {
  feed(group2A(0x1234, false, 15, "WXYZ"));
  feed(group2A(0x1234, false, 0, "\x80\x0D\x01\xFF"));
  EXPECT_EQ(text.bufferA,
            withSegment(withSegment(kEmptyRadioText, 15, "WXYZ"), 0, "\x80\x0D\x01\xFF"));
}

TEST_F(RadioTextTest, FirstGroupIsNeverAChangeOfFlag) {
  feed(group2A(0x1234, true, 0, "NEWS"));
  EXPECT_EQ(text.bufferB, withSegment(kEmptyRadioText, 0, "NEWS"));
  EXPECT_EQ(text.groupCount, 1);
  EXPECT_EQ(text.lastFlag, RadioTextFlag::B);
  EXPECT_EQ(text.committed, "");
}

TEST_F(RadioTextTest, CommitsFromTheThirtiethGroupOnAndFollowsEverySegment) {
  feedText(false, 29, kTextA);
  EXPECT_EQ(text.groupCount, 29);
  EXPECT_EQ(text.committed, "");
  feed(group2A(0x1234, false, 0, "ABCD"));
  EXPECT_EQ(text.committed, withSegment(kTextA, 0, "ABCD"));
  feed(group2A(0x1234, false, 1, "EFGH"));
  EXPECT_EQ(text.committed, withSegment(withSegment(kTextA, 0, "ABCD"), 1, "EFGH"));
}

TEST_F(RadioTextTest, CountStopsAtOneThousandAndCommitsGoOn) {
  feedText(false, 1005, kTextA);
  EXPECT_EQ(text.groupCount, 1000);
  feed(group2A(0x1234, false, 3, "LAST"));
  EXPECT_EQ(text.groupCount, 1000);
  EXPECT_EQ(text.committed, withSegment(kTextA, 3, "LAST"));
}

TEST_F(RadioTextTest, ChangeOfFlagClearsTheNewBufferAndRestartsTheCount) {
  feedText(false, 32, kTextA);
  ASSERT_EQ(text.committed, kTextA);
  feedText(true, 16, kTextB);
  feedText(false, 1, kTextA);  // A again: B keeps its text
  ASSERT_EQ(text.bufferB, kTextB);

  feed(group2A(0x1234, true, 1, "Now "));
  EXPECT_EQ(text.groupCount, 1);
  EXPECT_EQ(text.bufferB, withSegment(kEmptyRadioText, 1, "Now "));
  EXPECT_EQ(text.bufferA, withSegment(kEmptyRadioText, 0, kTextA.substr(0, 4)));
  EXPECT_EQ(text.committed, kTextA);

  feedText(true, 28, kTextB);
  EXPECT_EQ(text.groupCount, 29);
  EXPECT_EQ(text.committed, kTextA);
  feed(group2A(0x1234, true, 12, kTextB.substr(48, 4)));
  EXPECT_EQ(text.groupCount, 30);
  EXPECT_EQ(text.committed, kTextB);
}

}  // namespace
}  // namespace tavimor

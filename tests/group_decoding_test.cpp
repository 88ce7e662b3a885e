// Block B header, group 0 flags and programme type: one table per stage.
#include <gtest/gtest.h>

#include "block_b_header.h"
#include "programme_type.h"
#include "support/decoder_fixture.h"
#include "support/packets.h"

namespace tavimor {
namespace {

using testing::DecoderFixture;
using testing::packet;

struct HeaderCase {
  std::uint16_t blockA;
  std::uint16_t blockB;
  std::string pi;
  std::string groupType;
  std::string bits8, bits9, bits10;
  char textAB;
  std::string segmentCode;
  bool group0;
};

TEST(BlockBHeader, DecodesPiGroupTypeAndBitTexts) {
  const HeaderCase cases[] = {
      {0x1234, 0x2000, "1234", "2A", "0000", "0000", "0000", '0', "00", false},
      {0x1234, 0xF800, "1234", "15B", "1000", "0000", "0000", '0', "00", false},
      {0x1234, 0xA5E3, "1234", "10A", "0101", "1110", "0011", '0', "11", false},
      {0x1234, 0x0649, "1234", "0A", "0110", "0100", "1001", '0', "01", true},
      {0x1234, 0x05FF, "1234", "0A", "0101", "1111", "1111", '1', "11", true},
      {0x1234, 0x0800, "1234", "0B", "1000", "0000", "0000", '0', "00", true},
      {0x1234, 0x1A00, "1234", "1B", "1010", "0000", "0000", '0', "00", false},
      {0x000F, 0x0000, "000F", "0A", "0000", "0000", "0000", '0', "00", true},
      {0xD3C2, 0x2000, "D3C2", "2A", "0000", "0000", "0000", '0', "00", false},
  };
  for (const HeaderCase& expected : cases) {
    SCOPED_TRACE(expected.pi + " " + expected.groupType);
    DisplayFields fields;
    const std::string hexPacket = toHexPacket(packet(expected.blockA, expected.blockB, 0, 0));
    const GroupHeader header = decodeBlockBHeader(hexPacket, fields);

    EXPECT_EQ(fields.caption(Field::lblPI), expected.pi);
    EXPECT_EQ(fields.caption(Field::lblGroup), expected.groupType);
    EXPECT_EQ(header.groupType, expected.groupType);
    EXPECT_EQ(header.bits8, expected.bits8);
    EXPECT_EQ(header.bits9, expected.bits9);
    EXPECT_EQ(header.bits10, expected.bits10);
    EXPECT_EQ(header.textAB, expected.textAB);
    EXPECT_EQ(header.segmentCode, expected.segmentCode);
    EXPECT_EQ(header.isGroup0(), expected.group0);
  }
}

TEST(BlockBHeader, EveryGroupNumberIsShownInDecimal) {
  for (int group = 0; group < 16; ++group) {
    for (const bool versionB : {false, true}) {
      DisplayFields fields;
      const auto blockB = static_cast<std::uint16_t>(group << 12 | (versionB ? 0x0800 : 0));
      decodeBlockBHeader(toHexPacket(packet(0, blockB, 0, 0)), fields);
      EXPECT_EQ(fields.caption(Field::lblGroup), std::to_string(group) + (versionB ? "B" : "A"));
    }
  }
}

struct FlagsCase {
  std::uint16_t blockB;
  std::string tp, ta, ms;
  Field diField;
  std::string di;
};

class Group0Flags : public DecoderFixture {};

TEST_F(Group0Flags, TrafficMusicSpeechAndTheDiFlagOfTheSegment) {
  const FlagsCase cases[] = {
      {0x0558, "1", "1", "1", Field::lblDIdynPTY, "0"},
      {0x043D, "1", "1", "1", Field::lblDIcomp, "1"},
      {0x0800, "0", "0", "0", Field::lblDIdynPTY, "0"},
      {0x0006, "0", "0", "0", Field::lblDIhead, "1"},
      {0x0C1B, "1", "1", "1", Field::lblDIstereo, "0"},
      {0x0000, "0", "0", "0", Field::lblDIdynPTY, "0"},
  };
  const Field diFields[] = {Field::lblDIstereo, Field::lblDIhead, Field::lblDIcomp,
                            Field::lblDIdynPTY};
  for (const FlagsCase& expected : cases) {
    SCOPED_TRACE(expected.blockB);
    DisplayFields before;
    fields = before;
    feed(packet(0x1234, expected.blockB, 0, 0));
    EXPECT_EQ(caption(Field::lblTP), expected.tp);
    EXPECT_EQ(caption(Field::lblTA), expected.ta);
    EXPECT_EQ(caption(Field::lblMS), expected.ms);
    for (const Field di : diFields) {
      EXPECT_EQ(caption(di), di == expected.diField ? expected.di : before.caption(di))
          << fieldName(di);
    }
  }
}

TEST_F(Group0Flags, OtherGroupsLeaveTheFlagsAsTheyWere) {
  feed(packet(0x1234, 0x0559, 0, 0));  // TP, TA, M/S 1, DI compressed 0
  const DisplayFields afterGroup0 = fields;
  // 2A with bit 4 set (the text A/B flag there), 2A, 1B, and 10A and 14A, whose texts start with 1.
  for (const std::uint16_t blockB : {0x2010, 0x2000, 0x1800, 0xA5FF, 0xE000}) {
    SCOPED_TRACE(blockB);
    feed(packet(0x1234, blockB, 0, 0));
    for (const Field field :
         {Field::lblTP, Field::lblTA, Field::lblMS, Field::lblDIstereo, Field::lblDIhead,
          Field::lblDIcomp, Field::lblDIdynPTY, Field::lblPTY}) {
      EXPECT_EQ(caption(field), afterGroup0.caption(field)) << fieldName(field);
    }
  }
}

TEST_F(Group0Flags, BeforeAnyGroup0TheTrafficCaptionsKeepTheirStartUpText) {
  feed(packet(0x1234, 0x2010, 0, 0));
  EXPECT_EQ(caption(Field::lblTP), "????");
  EXPECT_EQ(caption(Field::lblTA), "????");
}

TEST_F(Group0Flags, DiFlagsFillInSegmentBySegment) {
  // DI bits 1, 0, 1, 1 sent for segments 3, 2, 1, 0.
  const std::pair<std::uint16_t, Field> steps[] = {
      {0x0007, Field::lblDIstereo},
      {0x0002, Field::lblDIhead},
      {0x0005, Field::lblDIcomp},
      {0x0004, Field::lblDIdynPTY},
  };
  for (const auto& [blockB, field] : steps)
    feed(packet(0x1234, blockB, 0, 0));
  EXPECT_EQ(caption(Field::lblDIstereo), "1");
  EXPECT_EQ(caption(Field::lblDIhead), "0");
  EXPECT_EQ(caption(Field::lblDIcomp), "1");
  EXPECT_EQ(caption(Field::lblDIdynPTY), "1");
}

class ProgrammeType : public DecoderFixture {};

TEST_F(ProgrammeType, EachPtyBitPositionGivesItsCodeAndName) {
  const std::pair<std::uint16_t, std::string> cases[] = {
      {0x0400, "0 - No programme type defined"},
      {0x043D, "1 - News"},
      {0x0558, "10 - Pop Music"},
      {0x0649, "18 - Children's Programmes"},
      {0x0280, "20 - Religion"},
      {0x0100, "8 - Science"},
      {0x0040, "2 - Current affairs"},
      {0x07F0, "31 - ALARM!"},
      {0x0BE0, "31 - ALARM!"},
      {0x0000, "0 - No programme type defined"},
  };
  for (const auto& [blockB, expected] : cases) {
    feed(packet(0x1234, blockB, 0, 0));
    EXPECT_EQ(caption(Field::lblPTY), expected) << blockB;
  }
}

TEST_F(ProgrammeType, OtherGroupsLeaveItUnchanged) {
  EXPECT_EQ(caption(Field::lblPTY), "??????????????");
  feed(packet(0x1234, 0x27E0, 0, 0));
  EXPECT_EQ(caption(Field::lblPTY), "??????????????");
  feed(packet(0x1234, 0x0558, 0, 0));
  feed(packet(0x1234, 0x27E0, 0, 0));
  feed(packet(0x1234, 0xA7E0, 0, 0));
  EXPECT_EQ(caption(Field::lblPTY), "10 - Pop Music");
}

TEST(PtyNames, AreTheEuropeanList) {
  EXPECT_EQ(PtyNames.size(), 32u);
  EXPECT_EQ(PtyNames[15], "Other Music");
  EXPECT_EQ(PtyNames[21], "Phone-in");
  EXPECT_EQ(PtyNames[30], "Alarm Test");
}

}  // namespace
}  // namespace tavimor

// SPDX-License-Identifier: GPL-3.0-or-later
// What the display fields show for a read, a station and a traffic state: number formats, the
// RDS character table, the caption colours and the banner.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "decode/decoder.h"
#include "tests/support/packets.h"
#include "tests/support/row_name.h"
#include "ui/rds_charset.h"
#include "ui/station_presenter.h"

namespace tavimor {
namespace {

using namespace std::string_literals;
using testing::group2A;

struct ReadCase {
  std::string_view name;
  std::string read;
  std::string raw;
  std::string hex;
};

std::ostream& operator<<(std::ostream& out, const ReadCase& row) {
  return out << row.name;
}

class PresentRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(PresentRead, AsReceivedAndTwoUpperCaseHexDigitsForEachByte) {
  const ReadCase& row = GetParam();
  DisplayFields fields;
  const std::vector<std::uint8_t> bytes(row.read.begin(), row.read.end());
  presentRead(bytes, fields);
  EXPECT_EQ(fields.caption(Field::HexRead), row.hex);
  EXPECT_EQ(fields.caption(Field::RawRead), row.raw);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, PresentRead,
    ::testing::Values(ReadCase{"Packet", "\x00\x12\x34\x05\x41\x00\x00\x41\x42"s, "··4·A··AB",
                               "001234054100004142"},
                      ReadCase{"UpperHalfAndLetters", "\xFF\x80\x0A\xD3\xC2\x7F\x01\x10\xAB"s,
                               "·á·ËÉ···$", "FF800AD3C27F0110AB"},
                      ReadCase{"FiveBytes", "\x01\x12\x34\x20\x00"s, "··4 ·", "0112342000"},
                      ReadCase{"OneByte", "\xAB"s, "$", "AB"}),
    testing::kRowName);

// Every cell of the table's upper half, from a copy of the table kept apart from the code.
TEST(RdsCharacterTable, EveryUpperHalfCellIsTheTablesCharacter) {
  std::ifstream table(TAVIMOR_TEST_DATA "/rds-upper-half.txt");
  ASSERT_TRUE(table.is_open());
  std::set<unsigned> cells;
  std::string line;
  while (std::getline(table, line)) {
    if (line.empty() || line.front() == '#') continue;
    unsigned byte = 0;
    unsigned codePoint = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%2X U+%4X", &byte, &codePoint), 2) << line;
    EXPECT_EQ(static_cast<unsigned>(rdsCharacter(static_cast<unsigned char>(byte))), codePoint)
        << line;
    EXPECT_EQ(rdsToUtf8(std::string(1, static_cast<char>(byte))), line.substr(line.rfind(' ') + 1))
        << line;
    cells.insert(byte);
  }
  EXPECT_EQ(cells.size(), 128U);
  EXPECT_EQ(*cells.begin(), 0x80U);
  EXPECT_EQ(*cells.rbegin(), 0xFFU);
}

TEST(RdsCharacterTable, StationTextsReadAsTheyWereMeant) {
  const std::pair<std::string, std::string> cases[] = {
      {"H\x97rerservice", "Hörerservice"},
      {"Ve\xDB kot radio", "Več kot radio"},
      {"\x91\x97\x99\xD1\xD7\xD9\x8D", "äöüÄÖÜß"},
      {"\x00\x0D\x0A\x1F\x7F\xFF"s, "······"},
      {" ~A", " ~A"},
  };
  for (const auto& [bytes, shown] : cases) {
    EXPECT_EQ(rdsToUtf8(bytes), shown) << shown;
  }
}

class PresentStation : public ::testing::Test {
 protected:
  void feed(const RdsGroup& group) {
    decodeGroup(group, station);
    presentStation(station, fields);
  }
  const std::string& caption(Field field) const { return fields.caption(field); }

  Station station;
  DisplayFields fields;
};

TEST_F(PresentStation, BeforeTheFirstGroupEveryFieldKeepsItsStartUpText) {
  const DisplayFields startUp;
  presentStation(station, fields);
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    const auto field = static_cast<Field>(i);
    EXPECT_EQ(fields.caption(field), startUp.caption(field)) << controlName(field);
    EXPECT_EQ(fields.background(field), startUp.background(field)) << controlName(field);
  }
}

TEST_F(PresentStation, AFirstGroupOtherThanZeroShowsOnlyWhatItCarries) {
  feed(group2A(0x00AF, false, 0, "ABCD"));
  EXPECT_EQ(caption(Field::Pi), "00AF");
  EXPECT_EQ(caption(Field::GroupType), "2A");
  EXPECT_EQ(caption(Field::TrafficProgramme), "????");
  EXPECT_EQ(caption(Field::TrafficAnnouncement), "????");
  EXPECT_EQ(caption(Field::ProgrammeType), "??????????????");
  EXPECT_EQ(caption(Field::DiStereo), "?");
  EXPECT_EQ(caption(Field::PsName), "________");
  EXPECT_EQ(caption(Field::RadioTextA), "ABCD" + std::string(60, '_'));
  EXPECT_EQ(caption(Field::RadioTextB), std::string(64, '_'));
  EXPECT_EQ(caption(Field::RadioText), "");
  EXPECT_EQ(caption(Field::RadioTextGroupCount), "1");
}

struct NumberCase {
  std::string_view name;
  RdsGroup group;
  Field field;
  std::string caption;
};

std::ostream& operator<<(std::ostream& out, const NumberCase& row) {
  return out << row.name;
}

class PresentNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(PresentNumber, IsShownInItsFormat) {
  const NumberCase& row = GetParam();
  Station station;
  decodeGroup(row.group, station);
  DisplayFields fields;
  presentStation(station, fields);
  EXPECT_EQ(fields.caption(row.field), row.caption);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, PresentNumber,
    ::testing::Values(
        NumberCase{"PiKeepsItsLeadingZeros", {0x000F, 0x2000, 0, 0}, Field::Pi, "000F"},
        NumberCase{"PiInUpperCase", {0xD3C2, 0x2000, 0, 0}, Field::Pi, "D3C2"},
        NumberCase{"GroupNumberInDecimal", {0, 0xA5E3, 0, 0}, Field::GroupType, "10A"},
        NumberCase{"VersionB", {0, 0xF800, 0, 0}, Field::GroupType, "15B"},
        NumberCase{
            "ProgrammeTypeInVersionB", {0, 0x0BE0, 0, 0}, Field::ProgrammeType, "31 - ALARM!"}),
    testing::kRowName);

struct ProgrammeTypeCase {
  std::string_view name;
  std::string caption;
};

std::ostream& operator<<(std::ostream& out, const ProgrammeTypeCase& row) {
  return out << row.caption;
}

class ProgrammeTypeName : public ::testing::TestWithParam<ProgrammeTypeCase> {};

// Row n is programme type n, carried in block B of a group 0A.
TEST_P(ProgrammeTypeName, IsTheCodeAndTheEuropeanName) {
  const int code = std::stoi(GetParam().caption);
  Station station;
  decodeGroup({0x1234, static_cast<std::uint16_t>(code << 5), 0, 0}, station);
  DisplayFields fields;
  presentStation(station, fields);
  EXPECT_EQ(fields.caption(Field::ProgrammeType), GetParam().caption);
}

INSTANTIATE_TEST_SUITE_P(
    AllCodes, ProgrammeTypeName,
    ::testing::Values(
        ProgrammeTypeCase{"None", "0 - No programme type defined"},
        ProgrammeTypeCase{"News", "1 - News"},
        ProgrammeTypeCase{"CurrentAffairs", "2 - Current affairs"},
        ProgrammeTypeCase{"Information", "3 - Information"},
        ProgrammeTypeCase{"Sport", "4 - Sport"}, ProgrammeTypeCase{"Education", "5 - Education"},
        ProgrammeTypeCase{"Drama", "6 - Drama"}, ProgrammeTypeCase{"Culture", "7 - Culture"},
        ProgrammeTypeCase{"Science", "8 - Science"}, ProgrammeTypeCase{"Varied", "9 - Varied"},
        ProgrammeTypeCase{"PopMusic", "10 - Pop Music"},
        ProgrammeTypeCase{"RockMusic", "11 - Rock Music"},
        ProgrammeTypeCase{"EasyListening", "12 - Easy Listening"},
        ProgrammeTypeCase{"LightClassical", "13 - Light Classical"},
        ProgrammeTypeCase{"SeriousClassical", "14 - Serious Classical"},
        ProgrammeTypeCase{"OtherMusic", "15 - Other Music"},
        ProgrammeTypeCase{"Weather", "16 - Weather"}, ProgrammeTypeCase{"Finance", "17 - Finance"},
        ProgrammeTypeCase{"ChildrensProgrammes", "18 - Children's Programmes"},
        ProgrammeTypeCase{"SocialAffairs", "19 - Social Affairs"},
        ProgrammeTypeCase{"Religion", "20 - Religion"},
        ProgrammeTypeCase{"PhoneIn", "21 - Phone-in"}, ProgrammeTypeCase{"Travel", "22 - Travel"},
        ProgrammeTypeCase{"Leisure", "23 - Leisure"}, ProgrammeTypeCase{"Jazz", "24 - Jazz"},
        ProgrammeTypeCase{"Country", "25 - Country"},
        ProgrammeTypeCase{"National", "26 - National"}, ProgrammeTypeCase{"Oldies", "27 - Oldies"},
        ProgrammeTypeCase{"Folk", "28 - Folk"},
        ProgrammeTypeCase{"Documentary", "29 - Documentary"},
        ProgrammeTypeCase{"AlarmTest", "30 - Alarm Test"},
        ProgrammeTypeCase{"Alarm", "31 - ALARM!"}),
    testing::kRowName);

TEST_F(PresentStation, Group0FlagsAndOnlyTheDiFieldOfItsSegment) {
  feed({0x1234, 0x043D, 0, 0});  // TP, TA, music, segment 1 with DI set
  EXPECT_EQ(caption(Field::TrafficProgramme), "1");
  EXPECT_EQ(caption(Field::TrafficAnnouncement), "1");
  EXPECT_EQ(caption(Field::MusicSpeech), "1");
  EXPECT_EQ(caption(Field::DiCompressed), "1");
  EXPECT_EQ(caption(Field::DiStereo), "?");
  EXPECT_EQ(caption(Field::DiArtificialHead), "?");
  EXPECT_EQ(caption(Field::DiDynamicPty), "?");
  feed({0x1234, 0x0003, 0, 0});  // all clear, segment 3
  EXPECT_EQ(caption(Field::TrafficProgramme), "0");
  EXPECT_EQ(caption(Field::MusicSpeech), "0");
  EXPECT_EQ(caption(Field::DiStereo), "0");
  EXPECT_EQ(caption(Field::DiCompressed), "1");
}

TEST_F(PresentStation, TheCaptionOfTheActiveRadioTextBufferIsLitUp) {
  const Colour active = kLightGreen;
  const Colour inactive = ThemeColour::ButtonFace;
  feed(group2A(0x1234, true, 0, "NEWS"));
  EXPECT_EQ(fields.background(Field::RadioTextCaptionB), active);
  EXPECT_EQ(fields.background(Field::RadioTextCaptionA), inactive);
  feed({0x1234, 0x0558, 0, 0});
  EXPECT_EQ(fields.background(Field::RadioTextCaptionB), active);
  feed(group2A(0x1234, false, 0, "NEWS"));
  EXPECT_EQ(fields.background(Field::RadioTextCaptionA), active);
  EXPECT_EQ(fields.background(Field::RadioTextCaptionB), inactive);
}

TEST_F(PresentStation, StationTextsGoThroughTheCharacterTable) {
  feed(testing::group0A(0x1234, 0x0548, "\x80\x91"));
  feed(group2A(0x1234, false, 0, "\xDB\x0D\xFF "));
  EXPECT_EQ(caption(Field::PsName), "áä______");
  EXPECT_EQ(caption(Field::RadioTextA), "č·· " + std::string(60, '_'));
}

TEST(PresentTraffic, TheBannerWaitsThenFollowsTheState) {
  DisplayFields fields;
  presentTraffic(std::nullopt, fields);
  EXPECT_EQ(fields.caption(Field::TrafficBanner), "WAITING FOR RDS DATA");
  EXPECT_EQ(fields.background(Field::TrafficBanner), Colour(kLightGreen));
  presentTraffic(TrafficState::Announcement, fields);
  EXPECT_EQ(fields.caption(Field::TrafficBanner), "TRAFFIC ANNOUNCEMENT");
  EXPECT_EQ(fields.background(Field::TrafficBanner), Colour(kLightRed));
  presentTraffic(TrafficState::NoAnnouncement, fields);
  EXPECT_EQ(fields.caption(Field::TrafficBanner), "NO TRAFFIC");
  EXPECT_EQ(fields.background(Field::TrafficBanner), Colour(kLightGreen));
}

}  // namespace
}  // namespace tavimor

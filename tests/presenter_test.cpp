// SPDX-License-Identifier: GPL-3.0-or-later
// What the display fields show for a read, a station and a traffic state: number formats, the
// RDS character table, the caption colours and the banner.
#include <gtest/gtest.h>

#include <string>

#include "decode/decoder.h"
#include "tests/support/packets.h"
#include "ui/rds_charset.h"
#include "ui/station_presenter.h"

namespace tavimor {
namespace {

using namespace std::string_literals;
using testing::group2A;
using testing::packet;

struct ReadCase {
  const char* name;
  std::string read;
  std::string hex;
};

TEST(PresentRead, TwoUpperCaseHexDigitsForEachOfTheFirstNineBytes) {
  const ReadCase cases[] = {
      {"a packet", "\x00\x12\x34\x05\x41\x00\x00\x41\x42"s, "001234054100004142"},
      {"upper half and letters", "\xFF\x80\x0A\xD3\xC2\x7F\x01\x10\xAB"s, "FF800AD3C27F0110AB"},
      {"five bytes", "\x01\x12\x34\x20\x00"s, "0112342000"},
      {"three bytes", "\xAB\x12\x34"s, "AB1234"},
      {"two packets", packet(0x1234, 0x2005, 0x4142, 0x4344) + packet(0xFFFF, 0, 0, 0),
       "001234200541424344"},
  };
  for (const ReadCase& row : cases) {
    SCOPED_TRACE(row.name);
    DisplayFields fields;
    presentRead(row.read, fields);
    EXPECT_EQ(fields.caption(Field::HexRead), row.hex);
    EXPECT_EQ(fields.caption(Field::RawRead), rdsToUtf8(row.read));
  }
}

TEST(RdsCharacterTable, StationTextsReadAsTheyWereMeant) {
  const std::pair<std::string, std::string> cases[] = {
      {"H\x97rerservice", "Hörerservice"},         {"Ve\xDB kot radio", "Več kot radio"},
      {"\x91\x97\x99\xD1\xD7\xD9\x8D", "äöüÄÖÜß"}, {"\x80\x8F\x90\xA9\xAB\xBB\xE0\xFE", "áĲâ€$°Ãŧ"},
      {"\x00\x0D\x0A\x1F\x7F\xFF"s, "······"},     {" ~A", " ~A"},
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
  const char* name;
  RdsGroup group;
  Field field;
  std::string caption;
};

TEST_F(PresentStation, NumbersAndNames) {
  const NumberCase cases[] = {
      {"PI keeps its leading zeros", {0x000F, 0x2000, 0, 0}, Field::Pi, "000F"},
      {"PI in upper case", {0xD3C2, 0x2000, 0, 0}, Field::Pi, "D3C2"},
      {"group number in decimal", {0, 0xA5E3, 0, 0}, Field::GroupType, "10A"},
      {"version B", {0, 0xF800, 0, 0}, Field::GroupType, "15B"},
      {"PTY 0", {0, 0x0400, 0, 0}, Field::ProgrammeType, "0 - No programme type defined"},
      {"PTY 1", {0, 0x043D, 0, 0}, Field::ProgrammeType, "1 - News"},
      {"PTY 10", {0, 0x0558, 0, 0}, Field::ProgrammeType, "10 - Pop Music"},
      {"PTY 18", {0, 0x0649, 0, 0}, Field::ProgrammeType, "18 - Children's Programmes"},
      {"PTY 21", {0, 0x06A0, 0, 0}, Field::ProgrammeType, "21 - Phone-in"},
      {"PTY 30", {0, 0x07C0, 0, 0}, Field::ProgrammeType, "30 - Alarm Test"},
      {"PTY 31 in version B", {0, 0x0BE0, 0, 0}, Field::ProgrammeType, "31 - ALARM!"},
  };
  for (const NumberCase& row : cases) {
    SCOPED_TRACE(row.name);
    feed(row.group);
    EXPECT_EQ(caption(row.field), row.caption);
  }
}

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

// SPDX-License-Identifier: GPL-3.0-or-later
// Real stations: excerpts of public hex group logs in tests/data, read through the feeder's log
// parser, decoded and presented as a listener would see them at the end of each excerpt.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "decode/decoder.h"
#include "tests/support/row_name.h"
#include "tools/feed/group_log.h"
#include "traffic/traffic_indicator.h"
#include "ui/station_presenter.h"

namespace tavimor {
namespace {

struct Shown {
  std::string pi, group, ps, pty, tp, ta, ms, diStereo, diDynamicPty;
  std::string radioText, rtA, rtB, count;
  std::string banner;
};

struct Recording {
  std::string_view name;
  const char* file;
  Shown shown;
  std::uint64_t groupsWithMissingBlock;
};

DisplayFields replay(const std::string& file, std::uint64_t& groupsWithMissingBlock) {
  std::ifstream log(std::string(TAVIMOR_TEST_DATA) + "/" + file);
  EXPECT_TRUE(log.is_open()) << file;
  std::ostringstream diagnostics;
  feed::GroupLogReader reader(log, file, diagnostics, /*strict=*/true);
  Station station;
  while (const std::optional<RdsGroup> group = reader.next())
    decodeGroup(*group, station);
  EXPECT_EQ(diagnostics.str(), "");
  groupsWithMissingBlock = reader.groupsWithMissingBlock();

  DisplayFields fields;
  presentStation(station, fields);
  presentTraffic(trafficStateOf(station), fields);
  return fields;
}

std::ostream& operator<<(std::ostream& out, const Recording& recording) {
  return out << recording.file;
}

class RealStation : public ::testing::TestWithParam<Recording> {};

TEST_P(RealStation, ShowsWhatTheStationSent) {
  const Recording& recording = GetParam();
  std::uint64_t groupsWithMissingBlock = 0;
  const DisplayFields fields = replay(recording.file, groupsWithMissingBlock);
  const Shown& shown = recording.shown;
  EXPECT_EQ(fields.caption(Field::Pi), shown.pi);
  EXPECT_EQ(fields.caption(Field::GroupType), shown.group);
  EXPECT_EQ(fields.caption(Field::PsName), shown.ps);
  EXPECT_EQ(fields.caption(Field::ProgrammeType), shown.pty);
  EXPECT_EQ(fields.caption(Field::TrafficProgramme), shown.tp);
  EXPECT_EQ(fields.caption(Field::TrafficAnnouncement), shown.ta);
  EXPECT_EQ(fields.caption(Field::MusicSpeech), shown.ms);
  EXPECT_EQ(fields.caption(Field::DiStereo), shown.diStereo);
  EXPECT_EQ(fields.caption(Field::DiDynamicPty), shown.diDynamicPty);
  EXPECT_EQ(fields.caption(Field::RadioText), shown.radioText);
  EXPECT_EQ(fields.caption(Field::RadioTextA), shown.rtA);
  EXPECT_EQ(fields.caption(Field::RadioTextB), shown.rtB);
  EXPECT_EQ(fields.caption(Field::RadioTextGroupCount), shown.count);
  EXPECT_EQ(fields.caption(Field::TrafficBanner), shown.banner);
  EXPECT_EQ(groupsWithMissingBlock, recording.groupsWithMissingBlock);
}

INSTANTIATE_TEST_SUITE_P(
    Logs, RealStation,
    ::testing::Values(
        Recording{
            "FranceInterNimes",
            "france-inter-nimes-2020-09-16.txt",
            {"F201", "2A", "  INTER ", "0 - No programme type defined", "1", "0", "1", "1", "0",
             "FRANCE INTER - POPOPOP - SCHNOCK" + std::string(32, ' '), std::string(64, '_'),
             "FRANCE INTER - POPOPOP - SCHNOCK" + std::string(32, ' '), "37", "NO TRAFFIC"},
            1},
        // Text B, committed, is still shown while text A is being received again.
        Recording{"MdrJump",
                  "mdr-jump-2019-05-04.txt",
                  {"D3C2", "2A", "MDR JUMP", "10 - Pop Music", "1", "0", "1", "1", "0",
                   "Anruf ins MDR JUMP-Studio unter 0800-1232340·   " + std::string(16, '_'),
                   "There's Nothing Holdin' Me Back von Shawn Mendes JETZT A" + std::string(8, '_'),
                   "Anruf ins MDR JUMP-Studio unter 0800-1232340·   " + std::string(16, '_'), "14",
                   "NO TRAFFIC"},
                  13},
        // TA set without TP: a station that does not carry traffic information has no
        // announcement to give.
        Recording{"YleX3m",
                  "yle-x3m-2016-09-15.txt",
                  {"6204", "0A", "YLE X3M ", "9 - Varied", "0", "1", "0", "1", "0", "",
                   std::string(64, '_'), std::string(64, '_'), "0", "NO TRAFFIC"},
                  0}),
    testing::kRowName);

}  // namespace
}  // namespace tavimor

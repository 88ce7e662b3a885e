// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/station_presenter.h"

#include <array>
#include <string>
#include <utility>

#include "decode/programme_type.h"
#include "ui/rds_charset.h"

namespace tavimor {
namespace {

constexpr Colour kActiveCaption = kLightGreen;
constexpr Colour kInactiveCaption = ThemeColour::ButtonFace;

constexpr std::array<std::pair<DiFlag, Field>, 4> kDiFields{{
    {DiFlag::Stereo, Field::DiStereo},
    {DiFlag::ArtificialHead, Field::DiArtificialHead},
    {DiFlag::Compressed, Field::DiCompressed},
    {DiFlag::DynamicPty, Field::DiDynamicPty},
}};

// Upper-case, with leading zeros.
std::string hexDigits(unsigned value, std::size_t count) {
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string digits(count, '0');
  for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit, value >>= 4) {
    *digit = kDigits[value & 0xF];
  }
  return digits;
}

std::string_view flagText(bool flag) {
  return flag ? "1" : "0";
}

// The number in decimal and the version letter: "0A", "2A", "15B".
std::string groupTypeText(GroupType type) {
  return std::to_string(type.number) + (type.version == GroupVersion::A ? 'A' : 'B');
}

// "10 - Pop Music"
std::string programmeTypeText(std::uint8_t code) {
  return std::to_string(code) + " - " + std::string(programmeTypeName(code));
}

void presentSwitchingFlags(const Station& station, DisplayFields& fields) {
  if (station.switching) {
    const SwitchingFlags& flags = *station.switching;
    fields.setCaption(Field::TrafficProgramme, flagText(flags.trafficProgramme));
    fields.setCaption(Field::TrafficAnnouncement, flagText(flags.trafficAnnouncement));
    fields.setCaption(Field::MusicSpeech, flagText(flags.music));
    fields.setCaption(Field::ProgrammeType, programmeTypeText(flags.programmeType));
  }
  for (const auto& [flag, field] : kDiFields) {
    if (const std::optional<bool>& value = station.di(flag))
      fields.setCaption(field, flagText(*value));
  }
}

void presentRadioText(const RadioText& text, DisplayFields& fields) {
  fields.setCaption(Field::RadioTextA, rdsToUtf8(text.bufferA));
  fields.setCaption(Field::RadioTextB, rdsToUtf8(text.bufferB));
  fields.setCaption(Field::RadioText, rdsToUtf8(text.committed));
  fields.setCaption(Field::RadioTextGroupCount, std::to_string(text.groupCount));
  if (text.lastFlag) {
    const bool flagA = *text.lastFlag == RadioTextFlag::A;
    fields.setBackground(Field::RadioTextCaptionA, flagA ? kActiveCaption : kInactiveCaption);
    fields.setBackground(Field::RadioTextCaptionB, flagA ? kInactiveCaption : kActiveCaption);
  }
}

}  // namespace

void presentRead(std::span<const std::uint8_t> read, DisplayFields& fields) {
  std::string hex;
  hex.reserve(2 * read.size());
  for (const std::uint8_t byte : read)
    hex += hexDigits(byte, 2);
  fields.setCaption(Field::RawRead, rdsToUtf8(read));
  fields.setCaption(Field::HexRead, hex);
}

void presentStation(const Station& station, DisplayFields& fields) {
  if (!station.anyGroupDecoded()) return;
  fields.setCaption(Field::Pi, hexDigits(*station.pi, 4));
  fields.setCaption(Field::GroupType, groupTypeText(*station.groupType));
  presentSwitchingFlags(station, fields);
  fields.setCaption(Field::PsName, rdsToUtf8(station.psName));
  presentRadioText(station.radioText, fields);
}

void presentTraffic(std::optional<TrafficState> state, DisplayFields& fields) {
  if (!state) return;
  const bool announcement = *state == TrafficState::Announcement;
  fields.setCaption(Field::TrafficBanner, announcement ? "TRAFFIC ANNOUNCEMENT" : "NO TRAFFIC");
  fields.setBackground(Field::TrafficBanner, announcement ? kLightRed : kLightGreen);
}

}  // namespace tavimor

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/display_fields.h"

#include <utility>

namespace tavimor {
namespace {

struct StartupState {
  Field field;
  std::string_view name;
  std::string_view caption;
  Colour background;
};

// Indexed by Field: the order must follow the enumeration.
constexpr std::array<StartupState, kFieldCount> kStartup{{
    {Field::RawRead, "Text1", "", ThemeColour::EntryField},
    {Field::HexRead, "Text2", "", ThemeColour::EntryField},
    {Field::Pi, "lblPI", "????", ThemeColour::ButtonFace},
    {Field::GroupType, "lblGroup", "??", ThemeColour::ButtonFace},
    {Field::TrafficProgramme, "lblTP", "????", ThemeColour::ButtonFace},
    {Field::TrafficAnnouncement, "lblTA", "????", ThemeColour::ButtonFace},
    {Field::MusicSpeech, "lblMS", "????", ThemeColour::ButtonFace},
    {Field::DiStereo, "lblDIstereo", "?", ThemeColour::ButtonFace},
    {Field::DiArtificialHead, "lblDIhead", "?", ThemeColour::ButtonFace},
    {Field::DiCompressed, "lblDIcomp", "?", ThemeColour::ButtonFace},
    {Field::DiDynamicPty, "lblDIdynPTY", "?", ThemeColour::ButtonFace},
    {Field::ProgrammeType, "lblPTY", "??????????????", ThemeColour::ButtonFace},
    {Field::PsName, "lblPS", "????????", ThemeColour::ButtonFace},
    {Field::RadioText, "lblRadioText", "?", ThemeColour::ActiveBorder},
    {Field::RadioTextA, "lblRTA", "?", ThemeColour::ActiveBorder},
    {Field::RadioTextB, "lblRTB", "?", ThemeColour::ButtonFace},
    {Field::RadioTextGroupCount, "lblRDScount", "0", ThemeColour::ButtonFace},
    {Field::RadioTextCaptionA, "lblcapA", "RT A:", ThemeColour::ButtonFace},
    {Field::RadioTextCaptionB, "lblCapB", "RT B:", ThemeColour::ButtonFace},
    {Field::TrafficBanner, "lblTraffic", "WAITING FOR RDS DATA", kLightGreen},
}};

constexpr bool followsEnumeration() {
  for (std::size_t i = 0; i < kStartup.size(); ++i) {
    if (static_cast<std::size_t>(kStartup[i].field) != i) return false;
  }
  return true;
}
static_assert(followsEnumeration());

}  // namespace

std::string_view controlName(Field field) {
  return kStartup[static_cast<std::size_t>(field)].name;
}

DisplayFields::DisplayFields() {
  for (const StartupState& startup : kStartup) {
    entry(startup.field) = Entry{std::string(startup.caption), startup.background};
  }
  changed_.set();
}

void DisplayFields::setCaption(Field field, std::string_view text) {
  std::string& caption = entry(field).caption;
  if (caption == text) return;
  caption.assign(text);
  changed_.set(static_cast<std::size_t>(field));
}

void DisplayFields::setBackground(Field field, const Colour& colour) {
  Colour& background = entry(field).background;
  if (background == colour) return;
  background = colour;
  changed_.set(static_cast<std::size_t>(field));
}

FieldSet DisplayFields::takeChanges() {
  return std::exchange(changed_, FieldSet{});
}

}  // namespace tavimor

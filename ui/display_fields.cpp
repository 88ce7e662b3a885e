#include "display_fields.h"

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
    {Field::Text1, "Text1", "", ThemeColour::EntryField},
    {Field::Text2, "Text2", "", ThemeColour::EntryField},
    {Field::lblPI, "lblPI", "????", ThemeColour::ButtonFace},
    {Field::lblGroup, "lblGroup", "??", ThemeColour::ButtonFace},
    {Field::lblTP, "lblTP", "????", ThemeColour::ButtonFace},
    {Field::lblTA, "lblTA", "????", ThemeColour::ButtonFace},
    {Field::lblMS, "lblMS", "????", ThemeColour::ButtonFace},
    {Field::lblDIstereo, "lblDIstereo", "?", ThemeColour::ButtonFace},
    {Field::lblDIhead, "lblDIhead", "?", ThemeColour::ButtonFace},
    {Field::lblDIcomp, "lblDIcomp", "?", ThemeColour::ButtonFace},
    {Field::lblDIdynPTY, "lblDIdynPTY", "?", ThemeColour::ButtonFace},
    {Field::lblPTY, "lblPTY", "??????????????", ThemeColour::ButtonFace},
    {Field::lblPS, "lblPS", "????????", ThemeColour::ButtonFace},
    {Field::lblRadioText, "lblRadioText", "?", ThemeColour::ActiveBorder},
    {Field::lblRTA, "lblRTA", "?", ThemeColour::ActiveBorder},
    {Field::lblRTB, "lblRTB", "?", ThemeColour::ButtonFace},
    {Field::lblRDScount, "lblRDScount", "0", ThemeColour::ButtonFace},
    {Field::lblcapA, "lblcapA", "RT A:", ThemeColour::ButtonFace},
    {Field::lblCapB, "lblCapB", "RT B:", ThemeColour::ButtonFace},
    {Field::lblTraffic, "lblTraffic", "WAITING FOR RDS DATA", kLightGreen},
}};

constexpr bool followsEnumeration() {
  for (std::size_t i = 0; i < kStartup.size(); ++i) {
    if (static_cast<std::size_t>(kStartup[i].field) != i) return false;
  }
  return true;
}
static_assert(followsEnumeration());

}  // namespace

std::string_view fieldName(Field field) {
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

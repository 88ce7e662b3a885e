// The window's display fields as a model without any toolkit types: the decode stages write
// captions and backgrounds here, and the window shows what changed after each packet.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace tavimor {

// Named exactly as the window's controls, so that code and objectName agree.
enum class Field : std::uint8_t {
  Text1,
  Text2,
  lblPI,
  lblGroup,
  lblTP,
  lblTA,
  lblMS,
  lblDIstereo,
  lblDIhead,
  lblDIcomp,
  lblDIdynPTY,
  lblPTY,
  lblPS,
  lblRadioText,
  lblRTA,
  lblRTB,
  lblRDScount,
  lblcapA,
  lblCapB,
  lblTraffic,
};
inline constexpr std::size_t kFieldCount = 20;

std::string_view fieldName(Field field);

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

// Colours that follow the desktop theme rather than a fixed value.
enum class ThemeColour : std::uint8_t { ButtonFace, ActiveBorder, EntryField };

using Colour = std::variant<Rgb, ThemeColour>;

inline constexpr Rgb kLightGreen{128, 255, 128};
inline constexpr Rgb kLightRed{255, 128, 128};
inline constexpr Rgb kGrey{128, 128, 128};

using FieldSet = std::bitset<kFieldCount>;

class DisplayFields {
 public:
  // Every field holds its start-up caption and background.
  DisplayFields();

  // Exactly the bytes last set, or the start-up caption.
  const std::string& caption(Field field) const { return entry(field).caption; }
  void setCaption(Field field, std::string_view text);

  const Colour& background(Field field) const { return entry(field).background; }
  void setBackground(Field field, const Colour& colour);

  // The fields whose caption or background changed since the previous call.
  FieldSet takeChanges();

 private:
  struct Entry {
    std::string caption;
    Colour background;
  };
  const Entry& entry(Field field) const { return entries_[static_cast<std::size_t>(field)]; }
  Entry& entry(Field field) { return entries_[static_cast<std::size_t>(field)]; }

  std::array<Entry, kFieldCount> entries_;
  FieldSet changed_;
};

}  // namespace tavimor

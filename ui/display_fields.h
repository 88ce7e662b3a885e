// SPDX-License-Identifier: GPL-3.0-or-later
// The window's display fields as a model without any toolkit types: the presenter writes
// captions (UTF-8 text) and backgrounds here, and the window shows what changed after each read.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace tavimor {

// Each field is shown by one control of the window; controlName() gives the name of that control.
enum class Field : std::uint8_t {
  RawRead,
  HexRead,
  Pi,
  GroupType,
  TrafficProgramme,
  TrafficAnnouncement,
  MusicSpeech,
  DiStereo,
  DiArtificialHead,
  DiCompressed,
  DiDynamicPty,
  ProgrammeType,
  PsName,
  RadioText,
  RadioTextA,
  RadioTextB,
  RadioTextGroupCount,
  RadioTextCaptionA,
  RadioTextCaptionB,
  TrafficBanner,  // the last
};
inline constexpr std::size_t kFieldCount = static_cast<std::size_t>(Field::TrafficBanner) + 1;

// The Qt objectName of the field's control, such as "lblPI".
std::string_view controlName(Field field);

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
// The ink of the RadioText buffer lines and their captions.
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

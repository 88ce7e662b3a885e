// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/programme_type.h"

#include <array>
#include <bit>

namespace tavimor {
namespace {

constexpr std::array<std::string_view, kProgrammeTypeCount> kNames{
    "No programme type defined",
    "News",
    "Current affairs",
    "Information",
    "Sport",
    "Education",
    "Drama",
    "Culture",
    "Science",
    "Varied",
    "Pop Music",
    "Rock Music",
    "Easy Listening",
    "Light Classical",
    "Serious Classical",
    "Other Music",
    "Weather",
    "Finance",
    "Children's Programmes",
    "Social Affairs",
    "Religion",
    "Phone-in",
    "Travel",
    "Leisure",
    "Jazz",
    "Country",
    "National",
    "Oldies",
    "Folk",
    "Documentary",
    "Alarm Test",
    "ALARM!",
};

}  // namespace

static_assert(std::has_single_bit(kProgrammeTypeCount));

std::string_view programmeTypeName(std::uint8_t code) {
  return kNames[code & (kProgrammeTypeCount - 1)];
}

}  // namespace tavimor

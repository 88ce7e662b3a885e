#include "programme_type.h"

#include <string>

namespace tavimor {

const std::array<std::string_view, 32> PtyNames{
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

void decodeProgrammeType(const GroupHeader& header, DisplayFields& fields) {
  if (!header.isGroup0()) return;
  // PTY is block B bits 9-5: the low two bits of the second digit and the top three of the third.
  std::string ptyBits(header.bits8.substr(2, 2));
  ptyBits += header.bits9.substr(0, 3);

  int ptyCode = 0;
  for (const char bit : ptyBits)
    ptyCode = ptyCode * 2 + (bit == '1' ? 1 : 0);

  std::string caption = std::to_string(ptyCode);
  caption += " - ";
  caption += PtyNames[ptyCode];
  fields.setCaption(Field::lblPTY, caption);
}

}  // namespace tavimor

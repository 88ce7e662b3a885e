#include "radiotext.h"

namespace tavimor {
namespace {

constexpr std::size_t kSegmentDigit = 9;
constexpr std::size_t kCharsPerSegment = 4;
constexpr Colour kActiveCaption = kLightGreen;
constexpr Colour kInactiveCaption = ThemeColour::ButtonFace;

// A change of the A/B flag means a new text: its buffer starts empty and the count again.
void restartOnFlagChange(char textAB, RadioTextState& state) {
  if (textAB == '0' && state.lastTextAB == '1') {
    state.rtGroupCount = 0;
    state.rtBufferA.assign(kRadioTextLength, '_');
  }
  if (textAB == '1' && state.lastTextAB == '0') {
    state.rtGroupCount = 0;
    state.rtBufferB.assign(kRadioTextLength, '_');
  }
}

void assembleSegment(const GroupHeader& header, std::string_view hexPacket,
                     std::string_view groupPacket, RadioTextState& state, DisplayFields& fields) {
  const std::string_view rtChars = groupPacket.substr(groupPacket.size() - kCharsPerSegment);
  const int segment = hexDigitValue(hexPacket[kSegmentDigit]);
  const bool flagA = header.textAB == '0';

  restartOnFlagChange(header.textAB, state);
  ++state.rtGroupCount;
  std::string& buffer = flagA ? state.rtBufferA : state.rtBufferB;
  buffer.replace(segment * kCharsPerSegment, rtChars.size(), rtChars);

  fields.setBackground(Field::lblcapA, flagA ? kActiveCaption : kInactiveCaption);
  fields.setBackground(Field::lblCapB, flagA ? kInactiveCaption : kActiveCaption);
  state.lastTextAB = header.textAB;

  if (state.rtGroupCount > kCommitAfterGroups) state.radioText = buffer;
  if (state.rtGroupCount > kMaxGroupCount) state.rtGroupCount = kMaxGroupCount;
  fields.setCaption(Field::lblRDScount, std::to_string(state.rtGroupCount));
}

}  // namespace

void decodeRadioText(const GroupHeader& header, std::string_view hexPacket,
                     std::string_view groupPacket, RadioTextState& state, DisplayFields& fields) {
  if (header.groupType == "2A") assembleSegment(header, hexPacket, groupPacket, state, fields);
  fields.setCaption(Field::lblRTA, state.rtBufferA);
  fields.setCaption(Field::lblRTB, state.rtBufferB);
  fields.setCaption(Field::lblRadioText, state.radioText);
}

}  // namespace tavimor

// Programme service name and RadioText assembly, fed through the receive handler.
#include <gtest/gtest.h>

#include "support/decoder_fixture.h"
#include "support/packets.h"

namespace tavimor {
namespace {

using testing::chars;
using testing::DecoderFixture;
using testing::group0A;
using testing::group2A;
using testing::packet;

const std::string kEmptyRadioText(64, '_');

// Group 0A with TP 1, PTY 10, TA 1, M/S 1, DI 0 and the given segment address.
std::string psSegment(int segment, std::string_view pair) {
  return group0A(0xD3C2, static_cast<std::uint16_t>(0x0558 | segment), pair);
}

class ProgrammeServiceName : public DecoderFixture {};

TEST_F(ProgrammeServiceName, PairsLandWhereTheSegmentAddressSays) {
  struct Step {
    std::string packet;
    std::string psName;
  };
  const Step steps[] = {
      {psSegment(0, "RA"), "RA______"},
      {psSegment(3, "AL"), "RA____AL"},
      {packet(0xD3C2, 0x0802, 0, chars('D', 'I')), "RA__DIAL"},  // 0B, segment 2
      {psSegment(1, "\x91\x0D"),
       "RA\x91\x0D"
       "DIAL"},  // bytes stored as received
      {psSegment(1, "  "), "RA  DIAL"},
      {packet(0xD3C2, 0x2001, chars('X', 'X'), chars('Y', 'Y')), "RA  DIAL"},  // 2A
      {packet(0xD3C2, 0xA5E1, 0, chars('Z', 'Z')), "RA  DIAL"},                // 10A
  };
  for (const Step& step : steps) {
    feed(step.packet);
    EXPECT_EQ(state.psBuffer, step.psName);
    EXPECT_EQ(caption(Field::lblPS), step.psName);
  }
}

TEST_F(ProgrammeServiceName, FillsFromTheRight) {
  const char* const expected[] = {"______IO", "____DIIO", "__RADIIO", "MYRADIIO"};
  const char* const pairs[] = {"IO", "DI", "RA", "MY"};
  for (int segment = 3; segment >= 0; --segment) {
    feed(psSegment(segment, pairs[3 - segment]));
    EXPECT_EQ(caption(Field::lblPS), expected[3 - segment]);
  }
}

TEST_F(ProgrammeServiceName, FirstPacketOfAnyGroupShowsTheEmptyName) {
  EXPECT_EQ(caption(Field::lblPS), "????????");
  feed(group2A(0xD3C2, false, 0, "ABCD"));
  EXPECT_EQ(caption(Field::lblPS), "________");
}

TEST_F(ProgrammeServiceName, ReadOfTwoPacketsTakesThePairOfTheFirst) {
  feed(psSegment(0, "AB") + psSegment(1, "CD"));
  EXPECT_EQ(state.psBuffer, "AB______");
}

class RadioText : public DecoderFixture {
 protected:
  // Feeds n groups of one text, cycling over its 16 segments.
  void feedText(bool textB, int n, std::string_view text) {
    for (int i = 0; i < n; ++i) {
      const int segment = i % 16;
      feed(group2A(0xD3C2, textB, segment, text.substr(4 * segment, 4)));
    }
  }
  bool captionActive(Field field) const { return fields.background(field) == Colour(kLightGreen); }
  bool captionInactive(Field field) const {
    return fields.background(field) == Colour(ThemeColour::ButtonFace);
  }
};

const std::string kTextA = "Weather: dry and sunny, 24 degrees. Next news at the full hour  ";
const std::string kTextB = "Now playing: Blue Harbour by The Lanterns\r";

std::string withSegment(std::string buffer, int segment, std::string_view chars) {
  return buffer.replace(4 * segment, 4, chars);
}

TEST_F(RadioText, SegmentGoesToTheBufferOfItsFlag) {
  ASSERT_EQ(kTextA.size(), 64u);
  feed(packet(0x1234, 0x2005, chars('A', 'B'), chars('C', 'D')));
  EXPECT_EQ(state.radioText.rtBufferA, withSegment(kEmptyRadioText, 5, "ABCD"));
  EXPECT_EQ(state.radioText.rtBufferB, kEmptyRadioText);

  feed(packet(0x1234, 0x2015, chars('A', 'B'), chars('C', 'D')));
  EXPECT_EQ(caption(Field::lblRTB), withSegment(kEmptyRadioText, 5, "ABCD"));
  EXPECT_EQ(caption(Field::lblRTA), withSegment(kEmptyRadioText, 5, "ABCD"));
}

TEST_F(RadioText, SegmentsZeroAndFifteenAreTheEnds) {
  feed(group2A(0x1234, false, 15, "WXYZ"));
  feed(group2A(0x1234, false, 0, "\x80\x0D\x01\xFF"));
  EXPECT_EQ(caption(Field::lblRTA),
            withSegment(withSegment(kEmptyRadioText, 15, "WXYZ"), 0, "\x80\x0D\x01\xFF"));
}

TEST_F(RadioText, FirstPacketOfAnotherGroupShowsEmptyBuffers) {
  feed(psSegment(0, "RA"));
  EXPECT_EQ(caption(Field::lblRTA), kEmptyRadioText);
  EXPECT_EQ(caption(Field::lblRTB), kEmptyRadioText);
  EXPECT_EQ(caption(Field::lblRadioText), "");
  EXPECT_EQ(caption(Field::lblRDScount), "0");
}

TEST_F(RadioText, FirstGroupIsNeverAChangeOfFlag) {
  feed(group2A(0x1234, true, 0, "NEWS"));
  EXPECT_EQ(state.radioText.rtBufferB, withSegment(kEmptyRadioText, 0, "NEWS"));
  EXPECT_EQ(caption(Field::lblRDScount), "1");
  EXPECT_TRUE(captionActive(Field::lblCapB));
  EXPECT_TRUE(captionInactive(Field::lblcapA));
  EXPECT_EQ(caption(Field::lblRadioText), "");
}

TEST_F(RadioText, CommitsFromTheThirtiethGroupOnAndFollowsEverySegment) {
  feedText(false, 29, kTextA);
  EXPECT_EQ(caption(Field::lblRDScount), "29");
  EXPECT_EQ(caption(Field::lblRadioText), "");
  feedText(false, 1, "ABCD");  // the 30th group, segment 0
  EXPECT_EQ(caption(Field::lblRadioText), withSegment(kTextA, 0, "ABCD"));
  feed(group2A(0x1234, false, 1, "EFGH"));
  EXPECT_EQ(caption(Field::lblRadioText), withSegment(withSegment(kTextA, 0, "ABCD"), 1, "EFGH"));
}

TEST_F(RadioText, CountStopsAtOneThousandAndCommitsGoOn) {
  feedText(false, 1005, kTextA);
  EXPECT_EQ(state.radioText.rtGroupCount, 1000);
  EXPECT_EQ(caption(Field::lblRDScount), "1000");
  feed(group2A(0x1234, false, 3, "LAST"));
  EXPECT_EQ(caption(Field::lblRDScount), "1000");
  EXPECT_EQ(caption(Field::lblRadioText), withSegment(kTextA, 3, "LAST"));
}

TEST_F(RadioText, ChangeOfFlagClearsTheNewBufferAndRestartsTheCount) {
  feedText(false, 32, kTextA);
  ASSERT_EQ(caption(Field::lblRadioText), kTextA);

  feed(group2A(0x1234, true, 1, "Now "));
  EXPECT_EQ(caption(Field::lblRDScount), "1");
  EXPECT_EQ(caption(Field::lblRTB), withSegment(kEmptyRadioText, 1, "Now "));
  EXPECT_EQ(caption(Field::lblRTA), kTextA);
  EXPECT_EQ(caption(Field::lblRadioText), kTextA);
  EXPECT_TRUE(captionActive(Field::lblCapB));
  EXPECT_TRUE(captionInactive(Field::lblcapA));

  const std::string paddedB = kTextB + std::string(64 - kTextB.size(), ' ');
  feedText(true, 28, paddedB);
  EXPECT_EQ(caption(Field::lblRDScount), "29");
  EXPECT_EQ(caption(Field::lblRadioText), kTextA);
  feed(group2A(0x1234, true, 12, paddedB.substr(48, 4)));
  EXPECT_EQ(caption(Field::lblRDScount), "30");
  EXPECT_EQ(caption(Field::lblRadioText), paddedB);

  feed(group2A(0x1234, false, 0, "Back"));  // and back to A: A starts afresh
  EXPECT_EQ(caption(Field::lblRTA), withSegment(kEmptyRadioText, 0, "Back"));
  EXPECT_EQ(caption(Field::lblRDScount), "1");
  EXPECT_TRUE(captionActive(Field::lblcapA));
}

TEST_F(RadioText, OtherGroupsChangeNoStateButShowTheTextsAgain) {
  feedText(true, 40, kTextA);
  const RadioTextState before = state.radioText;
  const DisplayFields fieldsBefore = fields;
  for (const std::uint16_t blockB : {0x2815, 0x0558, 0x2015 | 0xA000, 0x3015}) {
    SCOPED_TRACE(blockB);
    feed(packet(0x1234, blockB, chars('X', 'X'), chars('X', 'X')));
    EXPECT_EQ(state.radioText.rtBufferA, before.rtBufferA);
    EXPECT_EQ(state.radioText.rtBufferB, before.rtBufferB);
    EXPECT_EQ(state.radioText.radioText, before.radioText);
    EXPECT_EQ(state.radioText.rtGroupCount, before.rtGroupCount);
    EXPECT_EQ(state.radioText.lastTextAB, before.lastTextAB);
    EXPECT_EQ(caption(Field::lblRDScount), "40");
    EXPECT_EQ(fields.background(Field::lblcapA), fieldsBefore.background(Field::lblcapA));
    EXPECT_EQ(fields.background(Field::lblCapB), fieldsBefore.background(Field::lblCapB));
    EXPECT_EQ(caption(Field::lblRTB), kTextA);
  }
}

TEST_F(RadioText, ReadOfTwoPacketsTakesItsCharactersFromTheEnd) {
  feed(group2A(0x1234, false, 2, "ABCD") + group2A(0x1234, true, 7, "WXYZ"));
  EXPECT_EQ(state.radioText.rtBufferA, withSegment(kEmptyRadioText, 2, "WXYZ"));
  EXPECT_EQ(state.radioText.rtBufferB, kEmptyRadioText);
}

}  // namespace
}  // namespace tavimor

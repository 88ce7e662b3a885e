// The receive handler's frame: the hex form of a read, and what a fragment may and may not touch.
#include "receive_handler.h"

#include <gtest/gtest.h>

#include "support/packets.h"
#include "support/temporary_working_directory.h"

namespace tavimor {
namespace {

using namespace std::string_literals;
using testing::packet;
using testing::TemporaryWorkingDirectory;

struct HexCase {
  std::string read;
  std::string hexPacket;
};

TEST(ReceiveHandler, HexPacketHasTwoUpperCaseDigitsPerByteOfTheFirstNine) {
  const HexCase cases[] = {
      {"\x00\x12\x34\x05\x41\x00\x00\x41\x42"s, "001234054100004142"},
      {"\xFF\x80\x0A\xD3\xC2\x7F\x01\x10\xAB"s, "FF800AD3C27F0110AB"},
      {"\x01\x12\x34\x20\x00"s, "0112342000"},
      {"\xAB\x12\x34"s, "AB1234"},
      {"", ""},
      {packet(0x1234, 0x2005, 0x4142, 0x4344) + packet(0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF),
       "001234200541424344"},
  };
  for (const auto& [read, hexPacket] : cases) {
    SCOPED_TRACE(hexPacket);
    EXPECT_EQ(toHexPacket(read), hexPacket);
  }
}

TEST(ReceiveHandler, AFragmentIsShownButDecodesNothing) {
  TemporaryWorkingDirectory workingDirectory;
  const StatusFile statusFile;
  DecoderState state;
  DisplayFields fields;
  // An earlier packet has been handled; the fragment must leave everything it did alone.
  handleRead(packet(0xD3C2, 0x0558, 0x1234, testing::chars('R', 'A')), state, fields, statusFile);
  std::filesystem::remove("traffic.txt");
  const DisplayFields before = fields;
  const std::string psBefore = state.psBuffer;

  for (const std::string& fragment :
       {"\x01\x12\x34\x20\x00"s, "\x20\x05\x41\x42\x43\x44\x45\x46"s, "\x00"s}) {
    SCOPED_TRACE(toHexPacket(fragment));
    handleRead(fragment, state, fields, statusFile);
    EXPECT_EQ(fields.caption(Field::Text1), fragment);
    EXPECT_EQ(fields.caption(Field::Text2), toHexPacket(fragment));
    for (std::size_t i = 0; i < kFieldCount; ++i) {
      const auto field = static_cast<Field>(i);
      if (field == Field::Text1 || field == Field::Text2) continue;
      EXPECT_EQ(fields.caption(field), before.caption(field)) << fieldName(field);
      EXPECT_EQ(fields.background(field), before.background(field)) << fieldName(field);
    }
    EXPECT_EQ(state.psBuffer, psBefore);
    EXPECT_EQ(state.radioText.rtGroupCount, 0);
    EXPECT_EQ(state.traffic.lastTrafficFlag, 1);
    EXPECT_FALSE(std::filesystem::exists("traffic.txt"));
  }
}

}  // namespace
}  // namespace tavimor

// SPDX-License-Identifier: GPL-3.0-or-later
// One read through decoding, the traffic status and the display fields: what a packet does, and
// what a fragment may not do.
#include "app/reception.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/packets.h"
#include "tests/support/temporary_working_directory.h"

namespace tavimor {
namespace {

using namespace std::string_literals;
using testing::readFile;

class ReceptionTest : public ::testing::Test {
 protected:
  testing::TemporaryWorkingDirectory workingDirectory;
  Reception reception;
};

TEST_F(ReceptionTest, APacketIsDecodedShownAndMirroredInTheStatusFile) {
  ASSERT_FALSE(reception.start());
  EXPECT_EQ(readFile("traffic.txt"), "?\r\n");

  reception.handlePacket(toPacket({0xD3C2, 0x0558, 0x1234, testing::chars('R', 'A')}));
  const DisplayFields& fields = reception.fields();
  EXPECT_EQ(fields.caption(Field::HexRead),
            "00D3C205581234"
            "5241");
  EXPECT_EQ(fields.caption(Field::Pi), "D3C2");
  EXPECT_EQ(fields.caption(Field::PsName), "RA______");
  EXPECT_EQ(fields.caption(Field::ProgrammeType), "10 - Pop Music");
  EXPECT_EQ(fields.caption(Field::TrafficBanner), "TRAFFIC ANNOUNCEMENT");
  EXPECT_EQ(readFile("traffic.txt"), " 1 \r\n");
}

TEST_F(ReceptionTest, AFragmentIsShownButDecodesNothing) {
  reception.handlePacket(toPacket({0xD3C2, 0x0558, 0x1234, testing::chars('R', 'A')}));
  std::filesystem::remove("traffic.txt");
  const DisplayFields before = reception.fields();
  const Station stationBefore = reception.station();

  for (const std::string& fragment :
       {"\x01\x12\x34\x20\x00"s, "\x20\x05\x41\x42\x43\x44\x45\x46"s, "\x00"s}) {
    SCOPED_TRACE(fragment.size());
    reception.showFragment(testing::fragment(fragment));
    const DisplayFields& fields = reception.fields();
    EXPECT_EQ(fields.caption(Field::HexRead).size(), 2 * fragment.size());
    for (std::size_t i = 0; i < kFieldCount; ++i) {
      const auto field = static_cast<Field>(i);
      if (field == Field::RawRead || field == Field::HexRead) continue;
      EXPECT_EQ(fields.caption(field), before.caption(field)) << controlName(field);
      EXPECT_EQ(fields.background(field), before.background(field)) << controlName(field);
    }
    EXPECT_EQ(reception.station().psName, stationBefore.psName);
    EXPECT_EQ(reception.station().radioText.groupCount, 0);
    EXPECT_FALSE(std::filesystem::exists("traffic.txt"));
  }
}

}  // namespace
}  // namespace tavimor

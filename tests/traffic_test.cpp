// The traffic banner and traffic.txt on a real file system.
#include <gtest/gtest.h>

#include "support/decoder_fixture.h"
#include "support/file_write_counter.h"
#include "support/packets.h"

namespace tavimor {
namespace {

using testing::DecoderFixture;
using testing::FileWriteCounter;
using testing::packet;
using testing::readFile;

// Group 0A with the given TP and TA flags.
std::string group0(bool tp, bool ta) {
  return packet(0xD3C2, static_cast<std::uint16_t>((tp ? 0x0400 : 0) | (ta ? 0x0010 : 0)), 0, 0);
}

class Traffic : public DecoderFixture {
 protected:
  void expectBanner(const std::string& caption, const Rgb& colour) {
    EXPECT_EQ(fields.caption(Field::lblTraffic), caption);
    EXPECT_EQ(fields.background(Field::lblTraffic), Colour(colour));
  }
  FileWriteCounter writes{workingDirectory.path(), "traffic.txt"};
};

TEST_F(Traffic, BannerWaitsForTheFirstPacket) {
  expectBanner("WAITING FOR RDS DATA", kLightGreen);
  EXPECT_FALSE(std::filesystem::exists("traffic.txt"));
}

TEST_F(Traffic, FirstPacketOfAnyGroupWritesNoTraffic) {
  for (const std::string& first : {packet(0x1234, 0x2010, 0, 0), packet(0x1234, 0xF800, 0, 0),
                                   group0(false, false), group0(true, false)}) {
    SCOPED_TRACE(toHexPacket(first));
    state = DecoderState{};
    fields = DisplayFields{};
    feed(first);
    expectBanner("NO TRAFFIC", kLightGreen);
    EXPECT_EQ(readFile("traffic.txt"), " 0 \r\n");
  }
}

TEST_F(Traffic, AnnouncementNeedsBothTpAndTa) {
  const std::tuple<bool, bool, std::string, std::string, Rgb> cases[] = {
      {true, true, " 1 \r\n", "TRAFFIC ANNOUNCEMENT", kLightRed},
      {true, false, " 0 \r\n", "NO TRAFFIC", kLightGreen},
      {true, true, " 1 \r\n", "TRAFFIC ANNOUNCEMENT", kLightRed},
      {false, true, " 0 \r\n", "NO TRAFFIC", kLightGreen},
      {false, false, " 0 \r\n", "NO TRAFFIC", kLightGreen},
  };
  for (const auto& [tp, ta, file, banner, colour] : cases) {
    SCOPED_TRACE(::testing::Message() << "TP " << tp << " TA " << ta);
    feed(group0(tp, ta));
    EXPECT_EQ(readFile("traffic.txt"), file);
    expectBanner(banner, colour);
  }
}

TEST_F(Traffic, FileIsWrittenOnlyWhenTheStateChanges) {
  feed(group0(false, false));
  EXPECT_EQ(writes.takeCount(), 1);
  feed(group0(true, true));
  feed(group0(true, true));
  feed(packet(0x1234, 0x2000, 0, 0));  // other groups keep the flags of the last group 0
  EXPECT_EQ(writes.takeCount(), 1);
  feed(group0(false, true));
  EXPECT_EQ(writes.takeCount(), 1);
  EXPECT_EQ(readFile("traffic.txt"), " 0 \r\n");
  feed(std::string(3, '\x01'));  // a fragment decodes nothing
  EXPECT_EQ(writes.takeCount(), 0);
}

TEST_F(Traffic, FailedWriteIsRetriedUntilTheFileIsRight) {
  feed(group0(false, false));
  std::filesystem::remove("traffic.txt");
  std::filesystem::create_directory("traffic.txt");

  feed(group0(true, true));
  expectBanner("TRAFFIC ANNOUNCEMENT", kLightRed);
  feed(group0(true, true));
  EXPECT_TRUE(std::filesystem::is_directory("traffic.txt"));

  std::filesystem::remove("traffic.txt");
  writes.takeCount();
  fields.takeChanges();
  feed(group0(true, true));
  EXPECT_EQ(readFile("traffic.txt"), " 1 \r\n");
  EXPECT_FALSE(fields.takeChanges().test(static_cast<std::size_t>(Field::lblTraffic)));

  feed(group0(true, true));
  EXPECT_EQ(writes.takeCount(), 1);  // once right, no more retries
}

TEST(StatusFile, EachContentIsWrittenWhole) {
  testing::TemporaryWorkingDirectory workingDirectory;
  const StatusFile file;
  for (const std::string_view content : {kStatusTraffic, kStatusUnknown, kStatusNoTraffic}) {
    ASSERT_FALSE(file.write(content));
    EXPECT_EQ(readFile("traffic.txt"), content);
  }
  EXPECT_EQ(readFile("traffic.txt"), std::string("\x20\x30\x20\x0D\x0A"));
}

}  // namespace
}  // namespace tavimor

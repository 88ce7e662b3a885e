// SPDX-License-Identifier: GPL-3.0-or-later
// A short synthetic station replayed through the real handler and window.
#include <gtest/gtest.h>

#include <QLabel>

#include "app/monitor.h"
#include "tests/support/packets.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/temporary_working_directory.h"

namespace tavimor {
namespace {

using testing::group0A;
using testing::group2A;

const std::string kPsName = "Ve\xDB Rock";  // 0xDB is č in the RDS character table
const std::string kTextA = "Tonight from eight: the rock hour with listeners' requests.     ";
const std::string kTextB = "Traffic: the ring road is clear again. Drive safely!\r           ";

// 300 groups: 0A and 2A in turn; RadioText A for the first half, B for the second.
std::vector<PacketBytes> station() {
  std::vector<PacketBytes> groups;
  for (std::size_t i = 0; i < 300; ++i) {
    const std::size_t n = i / 2;
    if (i % 2 == 0) {
      const std::size_t segment = n % 4;
      groups.push_back(toPacket(group0A(0xD3C2, static_cast<std::uint16_t>(0x0548 | segment),
                                        std::string_view(kPsName).substr(2 * segment, 2))));
    } else {
      const bool textB = i >= 150;
      const std::size_t segment = n % 16;
      groups.push_back(
          toPacket(group2A(0xD3C2, textB, segment,
                           std::string_view(textB ? kTextB : kTextA).substr(4 * segment, 4))));
    }
  }
  return groups;
}

TEST(Replay, WindowShowsTheStationAfterAFewHundredGroups) {
  testing::TemporaryWorkingDirectory workingDirectory;
  testing::RecordingReporter reporter;
  testing::PseudoTerminal pty;
  Monitor monitor(QString::fromStdString(pty.devicePath()), reporter);
  ASSERT_TRUE(monitor.start());

  for (const PacketBytes& packet : station())
    monitor.handlePacket(packet);

  auto label = [&](const char* name) {
    return monitor.window().findChild<QLabel*>(QLatin1String(name));
  };
  auto text = [&](const char* name) { return label(name)->text(); };
  EXPECT_EQ(text("lblPI"), "D3C2");
  EXPECT_EQ(text("lblGroup"), "2A");
  EXPECT_EQ(text("lblPS"), QString::fromUtf8("Več Rock"));
  EXPECT_EQ(text("lblPTY"), "10 - Pop Music");
  EXPECT_EQ(text("lblTP"), "1");
  EXPECT_EQ(text("lblTA"), "0");
  EXPECT_EQ(text("lblMS"), "1");
  EXPECT_EQ(text("lblTraffic"), "NO TRAFFIC");
  EXPECT_EQ(text("lblRTA"), QString::fromStdString(kTextA));
  EXPECT_EQ(text("lblRTB"), QString::fromStdString(kTextB).replace('\r', QChar(0xB7)));
  EXPECT_EQ(text("lblRadioText"), text("lblRTB"));
  EXPECT_EQ(text("lblRDScount"), "75");
  EXPECT_EQ(label("lblCapB")->palette().color(QPalette::Window), QColor(128, 255, 128));
  EXPECT_EQ(label("lblcapA")->palette().color(QPalette::Window),
            monitor.window().palette().color(QPalette::Button));
  EXPECT_EQ(testing::readFile("traffic.txt"), " 0 \r\n");
}

}  // namespace
}  // namespace tavimor

// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and reception through the real window, serial link and file system.
#include "app/monitor.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>

#include <cerrno>

#include "tests/support/event_loop.h"
#include "tests/support/packets.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/temporary_working_directory.h"

namespace tavimor {
namespace {

using testing::PseudoTerminal;
using testing::readFile;
using testing::RecordingReporter;
using testing::TemporaryWorkingDirectory;
using testing::waitUntil;
using testing::writeFile;

QString widgetText(Monitor& monitor, const char* name) {
  if (auto* box = monitor.window().findChild<QLineEdit*>(QLatin1String(name))) return box->text();
  return monitor.window().findChild<QLabel*>(QLatin1String(name))->text();
}

class MonitorTest : public ::testing::Test {
 protected:
  TemporaryWorkingDirectory workingDirectory;
  RecordingReporter reporter;
};

TEST_F(MonitorTest, StartUpResetsAStatusFileLeftByAnEarlierRun) {
  writeFile("traffic.txt", " 1 \r\n");
  PseudoTerminal pty;
  Monitor monitor(QString::fromStdString(pty.devicePath()), reporter);

  ASSERT_TRUE(monitor.start());
  EXPECT_TRUE(reporter.errors.empty());
  EXPECT_EQ(readFile("traffic.txt"), "?\r\n");
}

TEST_F(MonitorTest, MissingPortIsReportedAndLeavesTheStatusFileUnknown) {
  const QString missing = QString::fromStdString((workingDirectory.path() / "ttyS4").string());
  Monitor monitor(missing, reporter);

  EXPECT_FALSE(monitor.start());
  ASSERT_EQ(reporter.errors.size(), 1u);
  EXPECT_EQ(reporter.errors[0].number, QSerialPort::DeviceNotFoundError);
  EXPECT_FALSE(reporter.errors[0].description.isEmpty());
  EXPECT_TRUE(reporter.errors[0].subject.contains(missing));
  EXPECT_TRUE(startupErrorMessage(reporter.errors[0]).contains(reporter.errors[0].description));
  EXPECT_EQ(readFile("traffic.txt"), "?\r\n");
  EXPECT_FALSE(monitor.window().isVisible());
}

TEST_F(MonitorTest, UnwritableStatusFileStopsStartUpBeforeThePortIsOpened) {
  std::filesystem::create_directory("traffic.txt");
  PseudoTerminal pty;
  Monitor monitor(QString::fromStdString(pty.devicePath()), reporter);

  EXPECT_FALSE(monitor.start());
  ASSERT_EQ(reporter.errors.size(), 1u);
  EXPECT_EQ(reporter.errors[0].number, EISDIR);
  EXPECT_TRUE(reporter.errors[0].subject.contains(QStringLiteral("traffic.txt")));
  // The port was never opened, so another program can still have it.
  ReceiverLink other(QString::fromStdString(pty.devicePath()));
  EXPECT_FALSE(other.open().has_value());
}

TEST_F(MonitorTest, ASecondMonitorOnTheSamePortFailsToStart) {
  PseudoTerminal pty;
  Monitor first(QString::fromStdString(pty.devicePath()), reporter);
  ASSERT_TRUE(first.start());

  Monitor second(QString::fromStdString(pty.devicePath()), reporter);
  EXPECT_FALSE(second.start());
  EXPECT_EQ(reporter.errors.size(), 1u);
}

TEST_F(MonitorTest, EveryPacketFedShowsRawAndInHex) {
  PseudoTerminal pty;
  Monitor monitor(QString::fromStdString(pty.devicePath()), reporter);
  ASSERT_TRUE(monitor.start());

  pty.write(testing::packet(0x1234, 0x0541, 0x0000, 0x4142));
  ASSERT_TRUE(waitUntil([&] { return widgetText(monitor, "Text2") == "001234054100004142"; }));
  // Bytes 00 12 34 05 41 00 00 41 42: control bytes take one column each, as a middle dot.
  EXPECT_EQ(widgetText(monitor, "Text1"),
            QString::fromUtf16(u"\u00B7\u00B74\u00B7A\u00B7\u00B7AB"));

  pty.write(testing::packet(0xD3C2, 0x2005, 0x4142, 0x4344));
  ASSERT_TRUE(waitUntil([&] { return widgetText(monitor, "Text2") == "00D3C2200541424344"; }));
  EXPECT_EQ(widgetText(monitor, "lblPI"), "D3C2");

  // Stray bytes, then a quiet line: shown as they came, decoded as nothing.
  pty.write("Ufw");
  ASSERT_TRUE(waitUntil([&] { return widgetText(monitor, "Text2") == "556677"; }));
  EXPECT_EQ(widgetText(monitor, "Text1"), "Ufw");
  EXPECT_EQ(widgetText(monitor, "lblPI"), "D3C2");
}

TEST_F(MonitorTest, AWorkingDirectoryGoneBeforeStartUpIsNamedInTheError) {
  std::filesystem::remove_all(workingDirectory.path());
  PseudoTerminal pty;
  Monitor monitor(QString::fromStdString(pty.devicePath()), reporter);

  EXPECT_FALSE(monitor.start());
  ASSERT_EQ(reporter.errors.size(), 1u);
  EXPECT_EQ(reporter.errors[0].number, ENOENT);
  EXPECT_TRUE(reporter.errors[0].subject.contains(QStringLiteral("traffic.txt")))
      << reporter.errors[0].subject.toStdString();
}

}  // namespace
}  // namespace tavimor

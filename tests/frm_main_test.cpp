// Start-up and reception through the real window, serial link and file system.
#include "frm_main.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>

#include <cerrno>

#include "support/event_loop.h"
#include "support/packets.h"
#include "support/pseudo_terminal.h"
#include "support/recording_reporter.h"
#include "support/temporary_working_directory.h"

namespace tavimor {
namespace {

using testing::PseudoTerminal;
using testing::readFile;
using testing::RecordingReporter;
using testing::TemporaryWorkingDirectory;
using testing::waitUntil;
using testing::writeFile;

QString widgetText(FrmMain& frm, const char* name) {
  if (auto* box = frm.window().findChild<QLineEdit*>(QLatin1String(name))) return box->text();
  return frm.window().findChild<QLabel*>(QLatin1String(name))->text();
}

class FrmMainTest : public ::testing::Test {
 protected:
  TemporaryWorkingDirectory workingDirectory;
  RecordingReporter reporter;
};

TEST_F(FrmMainTest, StartUpResetsAStatusFileLeftByAnEarlierRun) {
  writeFile("traffic.txt", " 1 \r\n");
  PseudoTerminal pty;
  FrmMain frm(QString::fromStdString(pty.devicePath()), reporter);

  ASSERT_TRUE(frm.Form_Load());
  EXPECT_TRUE(reporter.errors.empty());
  EXPECT_EQ(readFile("traffic.txt"), "?\r\n");
}

TEST_F(FrmMainTest, MissingPortIsReportedAndLeavesTheStatusFileUnknown) {
  const QString missing = QString::fromStdString((workingDirectory.path() / "ttyS4").string());
  FrmMain frm(missing, reporter);

  EXPECT_FALSE(frm.Form_Load());
  ASSERT_EQ(reporter.errors.size(), 1u);
  EXPECT_EQ(reporter.errors[0].number, QSerialPort::DeviceNotFoundError);
  EXPECT_FALSE(reporter.errors[0].description.isEmpty());
  EXPECT_TRUE(reporter.errors[0].subject.contains(missing));
  EXPECT_TRUE(startupErrorMessage(reporter.errors[0]).contains(reporter.errors[0].description));
  EXPECT_EQ(readFile("traffic.txt"), "?\r\n");
  EXPECT_FALSE(frm.window().isVisible());
}

TEST_F(FrmMainTest, UnwritableStatusFileStopsStartUpBeforeThePortIsOpened) {
  std::filesystem::create_directory("traffic.txt");
  PseudoTerminal pty;
  FrmMain frm(QString::fromStdString(pty.devicePath()), reporter);

  EXPECT_FALSE(frm.Form_Load());
  ASSERT_EQ(reporter.errors.size(), 1u);
  EXPECT_EQ(reporter.errors[0].number, EISDIR);
  EXPECT_TRUE(reporter.errors[0].subject.contains(QStringLiteral("traffic.txt")));
  // The port was never opened, so another program can still have it.
  SerialLink other(QString::fromStdString(pty.devicePath()));
  EXPECT_FALSE(other.open().has_value());
}

TEST_F(FrmMainTest, ASecondMonitorOnTheSamePortFailsToStart) {
  PseudoTerminal pty;
  FrmMain first(QString::fromStdString(pty.devicePath()), reporter);
  ASSERT_TRUE(first.Form_Load());

  FrmMain second(QString::fromStdString(pty.devicePath()), reporter);
  EXPECT_FALSE(second.Form_Load());
  EXPECT_EQ(reporter.errors.size(), 1u);
}

TEST_F(FrmMainTest, EveryPacketFedShowsRawAndInHex) {
  PseudoTerminal pty;
  FrmMain frm(QString::fromStdString(pty.devicePath()), reporter);
  ASSERT_TRUE(frm.Form_Load());

  pty.write(testing::packet(0x1234, 0x0541, 0x0000, 0x4142));
  ASSERT_TRUE(waitUntil([&] { return widgetText(frm, "Text2") == "001234054100004142"; }));
  // Bytes 00 12 34 05 41 00 00 41 42: control bytes take one column each, as a middle dot.
  EXPECT_EQ(widgetText(frm, "Text1"), QString::fromUtf16(u"\u00B7\u00B74\u00B7A\u00B7\u00B7AB"));
  EXPECT_EQ(frm.fields().caption(Field::Text1), testing::packet(0x1234, 0x0541, 0, 0x4142));

  pty.write(testing::packet(0xD3C2, 0x2005, 0x4142, 0x4344));
  ASSERT_TRUE(waitUntil([&] { return widgetText(frm, "Text2") == "00D3C2200541424344"; }));
  EXPECT_EQ(widgetText(frm, "lblPI"), "D3C2");
}

}  // namespace
}  // namespace tavimor

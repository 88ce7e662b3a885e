// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program under faults: a receiver that is unplugged and comes back, a traffic.txt that
// cannot be written for a while, a working directory that disappears, and station texts that
// look like markup.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>

#include <filesystem>
#include <memory>

#include "app/monitor.h"
#include "tests/support/event_loop.h"
#include "tests/support/packets.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/row_name.h"
#include "tests/support/temporary_working_directory.h"
#include "tests/support/window_probe.h"

namespace tavimor {
namespace {

using namespace std::chrono_literals;
using testing::group0A;
using testing::group2A;
using testing::PseudoTerminal;
using testing::readFile;
using testing::shownFields;
using testing::shownText;
using testing::waitUntil;

constexpr std::uint16_t kTp = 0x0400;
constexpr std::uint16_t kTa = 0x0010;
constexpr std::uint16_t kPopMusic = 10 << 5;

// The four group 0A packets that carry a station name, with the given switching flags.
std::string stationName(std::uint16_t pi, std::string_view name, std::uint16_t flags) {
  std::string packets;
  for (std::size_t segment = 0; segment < 4; ++segment) {
    packets += testing::packet(group0A(pi, static_cast<std::uint16_t>(flags | kPopMusic | segment),
                                       name.substr(2 * segment, 2)));
  }
  return packets;
}

// Sixteen group 2A packets carrying a whole 64-character RadioText.
std::string radioText(std::uint16_t pi, bool textB, std::string_view text) {
  std::string packets;
  for (std::size_t segment = 0; segment < 16; ++segment) {
    packets += testing::packet(group2A(pi, textB, segment, text.substr(4 * segment, 4)));
  }
  return packets;
}

QString shown(Monitor& monitor, Field field) {
  return shownText(monitor.window(), field);
}

// Every field but the raw and hex boxes, which may or may not show bytes that were on the line
// when the receiver went away.
std::map<std::string, testing::ShownField> decodedFields(Monitor& monitor) {
  auto shown = shownFields(monitor.window());
  shown.erase("Text1");
  shown.erase("Text2");
  return shown;
}

// Whether this process has the device open, as the link has once it found the receiver again.
bool holdsOpen(const std::filesystem::path& device) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == device) return true;
  }
  return false;
}

class Faults : public ::testing::Test {
 protected:
  // Starts the program on port, which may be a link to the receiver's device.
  std::unique_ptr<Monitor> start(const std::string& port) {
    auto monitor = std::make_unique<Monitor>(QString::fromStdString(port), reporter);
    EXPECT_TRUE(monitor->start());
    return monitor;
  }

  // Sends packets until the window shows name as PS, as a receiver repeats its groups.
  static bool sendUntilShown(const PseudoTerminal& pty, Monitor& monitor,
                             const std::string& packets, const QString& name) {
    return waitUntil(
        [&] {
          pty.write(packets);
          testing::runEventLoopFor(30ms);
          return shown(monitor, Field::PsName) == name;
        },
        10s);
  }

  testing::TemporaryWorkingDirectory workingDirectory;
  testing::RecordingReporter reporter;
};

TEST_F(Faults, UnpluggedReceiverLeavesTheWindowAsItWasAndReceptionResumesWhenItIsBack) {
  const std::filesystem::path port = workingDirectory.path() / "ttyS4";
  auto first = std::make_unique<PseudoTerminal>();
  std::filesystem::create_symlink(first->devicePath(), port);
  auto monitor = start(port.string());

  ASSERT_TRUE(
      sendUntilShown(*first, *monitor, stationName(0xD3C2, "RADIO 1 ", kTp | kTa), "RADIO 1 "));
  const auto before = decodedFields(*monitor);
  ASSERT_EQ(readFile("traffic.txt"), " 1 \r\n");

  // Unplugged in the middle of a packet, and gone for longer than the link waits between tries.
  first->write(testing::packet(group0A(0x1234, 0, "XX")).substr(0, 4));
  testing::runEventLoopFor(5ms);  // read, and well before the quiet line would flush it
  // The device node goes with the receiver, as with a USB adapter; a link left dangling could
  // meet a pseudo-terminal that another test process is given under the same number.
  std::filesystem::remove(port);
  first.reset();
  testing::runEventLoopFor(2500ms);
  EXPECT_EQ(decodedFields(*monitor), before);
  EXPECT_EQ(readFile("traffic.txt"), " 1 \r\n");

  PseudoTerminal second;
  std::filesystem::create_symlink(second.devicePath(), port);
  ASSERT_TRUE(waitUntil([&] { return holdsOpen(second.devicePath()); }, 5s));
  const std::string nextStation = stationName(0x5A01, "Ve\xDB Rock", kTp);
  second.write(nextStation);
  ASSERT_TRUE(
      waitUntil([&] { return shown(*monitor, Field::PsName) == QString::fromUtf8("Več Rock"); }));
  EXPECT_EQ(shown(*monitor, Field::Pi), "5A01");
  EXPECT_EQ(shown(*monitor, Field::TrafficAnnouncement), "0");
  EXPECT_EQ(shown(*monitor, Field::TrafficBanner), "NO TRAFFIC");
  // Whole packets again: the half packet from before the fault did not shift them.
  EXPECT_EQ(shown(*monitor, Field::HexRead),
            QString::fromStdString(testing::hexOf(nextStation.substr(27))));
  EXPECT_EQ(readFile("traffic.txt"), " 0 \r\n");
  EXPECT_TRUE(reporter.errors.empty());
}

TEST_F(Faults, UnwritableStatusFileIsCorrectedOnceItCanBeWrittenAgain) {
  PseudoTerminal pty;
  auto monitor = start(pty.devicePath());
  ASSERT_TRUE(sendUntilShown(pty, *monitor, stationName(0xD3C2, "RADIO 1 ", kTp), "RADIO 1 "));
  ASSERT_EQ(readFile("traffic.txt"), " 0 \r\n");

  std::filesystem::remove("traffic.txt");
  std::filesystem::create_directory("traffic.txt");
  ASSERT_TRUE(
      sendUntilShown(pty, *monitor, stationName(0xD3C2, "NEWS 24 ", kTp | kTa), "NEWS 24 "));
  EXPECT_EQ(shown(*monitor, Field::TrafficBanner), "TRAFFIC ANNOUNCEMENT");
  EXPECT_TRUE(std::filesystem::is_directory("traffic.txt"));

  std::filesystem::remove("traffic.txt");
  pty.write(stationName(0xD3C2, "NEWS 24 ", kTp | kTa));
  ASSERT_TRUE(waitUntil([] { return readFile("traffic.txt") == " 1 \r\n"; }));
  ASSERT_TRUE(sendUntilShown(pty, *monitor, stationName(0xD3C2, "RADIO 1 ", kTp), "RADIO 1 "));
  EXPECT_EQ(readFile("traffic.txt"), " 0 \r\n");
  EXPECT_EQ(shown(*monitor, Field::TrafficBanner), "NO TRAFFIC");
}

TEST_F(Faults, RemovedWorkingDirectoryDoesNotStopDecoding) {
  PseudoTerminal pty;
  auto monitor = start(pty.devicePath());
  ASSERT_TRUE(sendUntilShown(pty, *monitor, stationName(0xD3C2, "RADIO 1 ", kTp), "RADIO 1 "));

  std::filesystem::remove_all(workingDirectory.path());
  const std::tuple<std::string, std::uint16_t, QString> changes[] = {
      {"NEWS 24 ", kTp | kTa, "TRAFFIC ANNOUNCEMENT"},
      {"JAZZ FM ", kTp, "NO TRAFFIC"},
      {"ROADWAY ", kTp | kTa, "TRAFFIC ANNOUNCEMENT"},
  };
  for (const auto& [name, flags, banner] : changes) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(sendUntilShown(pty, *monitor, stationName(0xD3C2, name, flags),
                               QString::fromStdString(name)));
    EXPECT_EQ(shown(*monitor, Field::TrafficBanner), banner);
  }
  EXPECT_FALSE(std::filesystem::exists(workingDirectory.path()));
}

// What a label would look like with text shown as plain text or as markup.
QImage rendered(const QLabel& model, const QString& text, Qt::TextFormat format) {
  QLabel label;
  label.setTextFormat(format);
  label.setFont(model.font());
  label.setPalette(model.palette());
  label.setAutoFillBackground(true);
  label.setAlignment(model.alignment());
  label.resize(model.size());
  label.setText(text);
  return label.grab().toImage();
}

struct MarkupCase {
  std::string_view name;
  std::string ps;
  std::string textA;
  std::string textB;
};

std::ostream& operator<<(std::ostream& out, const MarkupCase& row) {
  return out << row.name;
}

std::string line(std::string text) {
  text.resize(64, ' ');
  return text;
}

class Markup : public Faults, public ::testing::WithParamInterface<MarkupCase> {};

TEST_P(Markup, InStationTextsIsShownLiterally) {
  const MarkupCase& markup = GetParam();
  PseudoTerminal pty;
  auto monitor = start(pty.devicePath());
  // Text A, then text B for long enough to become the committed RadioText.
  pty.write(stationName(0xD3C2, markup.ps, 0) + radioText(0xD3C2, false, markup.textA));
  pty.write(radioText(0xD3C2, true, markup.textB) + radioText(0xD3C2, true, markup.textB));
  ASSERT_TRUE(waitUntil([&] { return shown(*monitor, Field::RadioTextGroupCount) == "32"; }));

  const std::pair<Field, const std::string&> labels[] = {{Field::PsName, markup.ps},
                                                         {Field::RadioTextA, markup.textA},
                                                         {Field::RadioTextB, markup.textB},
                                                         {Field::RadioText, markup.textB}};
  for (const auto& [field, text] : labels) {
    SCOPED_TRACE(std::string(controlName(field)));
    auto* label = static_cast<QLabel*>(testing::fieldWidget(monitor->window(), field));
    const QString literal = QString::fromStdString(text);
    ASSERT_EQ(label->text(), literal);
    const QImage plain = rendered(*label, literal, Qt::PlainText);
    ASSERT_NE(rendered(*label, literal, Qt::RichText), plain) << "markup would look the same";
    EXPECT_TRUE(label->grab().toImage() == plain) << "shown as markup";
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, Markup,
                         ::testing::Values(MarkupCase{"BoldAndItalic", "<b>X</b>",
                                                      line("<b>bold</b> and <i>italic</i> as sent"),
                                                      line("&lt;b&gt; &amp; more")},
                                           MarkupCase{"EntitiesImageAndLink", "&lt;&gt;",
                                                      line("<img src=\"logo.png\"> in the text"),
                                                      line("<a href='x'>a link</a>")},
                                           MarkupCase{"EscapedImageAndBreak", "<img/>  ",
                                                      line("&lt;img src=x&gt; <br>next"),
                                                      line("<img src=x.png><b>both</b>")}),
                         testing::kRowName);

}  // namespace
}  // namespace tavimor

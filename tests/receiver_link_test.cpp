// SPDX-License-Identifier: GPL-3.0-or-later
// The serial link against real pseudo-terminals: how reads are delimited, exclusivity, and
// recovery from a receiver that goes away.
#include "app/receiver_link.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/port_lock.h"
#include "tests/support/event_loop.h"
#include "tests/support/packets.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/row_name.h"
#include "tests/support/temporary_working_directory.h"

namespace tavimor {
namespace {

using namespace std::chrono_literals;
using testing::packet;
using testing::PseudoTerminal;
using testing::runEventLoopFor;
using testing::waitUntil;

// Records the bytes of every packet and fragment the link delivers.
class LinkProbe {
 public:
  explicit LinkProbe(const QString& device) : link(device) {
    QObject::connect(&link, &ReceiverLink::packetReceived, [this](const PacketBytes& packet) {
      reads.push_back(testing::bytesOf(packet));
    });
    QObject::connect(&link, &ReceiverLink::fragmentReceived, [this](const Fragment& fragment) {
      reads.push_back(testing::bytesOf(fragment.bytes()));
    });
  }
  bool waitForReads(std::size_t count) const {
    return waitUntil([&] { return reads.size() >= count; });
  }

  ReceiverLink link;
  std::vector<std::string> reads;
};

QString qstr(const std::string& text) {
  return QString::fromStdString(text);
}

const std::string kPacketA = packet(0xD3C2, 0x0558, 0x1234, 0x5241);
const std::string kPacketB = packet(0x1234, 0x2005, 0x4142, 0x4344, 0x7F);

// Each part comes sooner than the quiet time after the one before, though the whole packet takes
// longer than the quiet time: every byte must restart the wait. A loaded machine may stretch a
// pause past the quiet time, and such a try tells nothing: it is made again.
TEST(ReceiverLink, APacketInThreePartsWithinTheQuietTimeIsStillOneRead) {
  constexpr auto kPause = 15ms;
  // What a pause may grow to and still be within the quiet time by a clear margin.
  constexpr auto kLongestPause = kQuietLine - 5ms;
  constexpr int kTries = 10;
  static_assert(2 * kPause > kQuietLine && kLongestPause > kPause);
  const std::string_view packet = kPacketA;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    PseudoTerminal pty;
    LinkProbe probe(qstr(pty.devicePath()));
    ASSERT_FALSE(probe.link.open().has_value());
    auto longest = std::chrono::steady_clock::duration::zero();
    auto lastWrite = std::chrono::steady_clock::now();
    for (std::size_t first = 0; first < packet.size(); first += 3) {
      const auto now = std::chrono::steady_clock::now();
      if (first > 0) longest = std::max(longest, now - lastWrite);
      lastWrite = now;
      pty.write(packet.substr(first, 3));
      runEventLoopFor(kPause);
    }
    ASSERT_TRUE(probe.waitForReads(1));
    runEventLoopFor(100ms);
    if (longest > kLongestPause) continue;
    EXPECT_EQ(probe.reads, (std::vector<std::string>{kPacketA}));
    return;
  }
  GTEST_SKIP() << "the machine stretched a pause past " << kLongestPause.count()
               << " ms in each of " << kTries << " tries";
}

TEST(ReceiverLink, AWholePacketIsDeliveredWithoutWaitingForTheLineToGoQuiet) {
  PseudoTerminal pty;
  LinkProbe probe(qstr(pty.devicePath()));
  ASSERT_FALSE(probe.link.open().has_value());

  // Stray bytes keep the line busy after the packet; a packet held back for the quiet line would
  // not arrive until they stop.
  pty.write(kPacketA);
  bool deliveredWhileBusy = false;
  for (int i = 0; i < 40 && !deliveredWhileBusy; ++i) {
    runEventLoopFor(5ms);
    deliveredWhileBusy = !probe.reads.empty();
    pty.write(std::string(1, '\x55'));
  }
  EXPECT_TRUE(deliveredWhileBusy);
  ASSERT_FALSE(probe.reads.empty());
  EXPECT_EQ(probe.reads.front(), kPacketA);
}

TEST(ReceiverLink, StrayBytesBeforeAPauseAreOneShortReadAndTheNextPacketIsAligned) {
  PseudoTerminal pty;
  LinkProbe probe(qstr(pty.devicePath()));
  ASSERT_FALSE(probe.link.open().has_value());

  pty.write("\x12\x34\x05");
  ASSERT_TRUE(probe.waitForReads(1));
  pty.write(kPacketB);
  ASSERT_TRUE(probe.waitForReads(2));
  runEventLoopFor(100ms);
  EXPECT_EQ(probe.reads, (std::vector<std::string>{"\x12\x34\x05", kPacketB}));
}

TEST(ReceiverLink, ASecondLinkCannotOpenTheSamePort) {
  PseudoTerminal pty;
  ReceiverLink first(qstr(pty.devicePath()));
  ReceiverLink second(qstr(pty.devicePath()));
  ASSERT_FALSE(first.open().has_value());

  const std::optional<StartupError> error = second.open();
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->number, 0);
  EXPECT_FALSE(error->description.isEmpty());
  EXPECT_TRUE(error->subject.contains(qstr(pty.devicePath())));
}

TEST(ReceiverLink, MissingDeviceIsReportedWithNumberDescriptionAndDevice) {
  QTemporaryDir dir;
  const QString missing = dir.filePath(QStringLiteral("ttyS4"));
  ReceiverLink link(missing);

  const std::optional<StartupError> error = link.open();
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number, QSerialPort::DeviceNotFoundError);
  EXPECT_FALSE(error->description.isEmpty());
  EXPECT_TRUE(error->subject.contains(missing));
}

// Whether this process has the device open.
bool openHere(const std::string& device) {
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code gone;
    if (std::filesystem::read_symlink(fd.path(), gone) == device) return true;
  }
  return false;
}

TEST(ReceiverLink, ReceptionResumesWhenTheDeviceComesBackAndThePortStaysOpen) {
  QTemporaryDir dir;
  const std::filesystem::path port = dir.filePath(QStringLiteral("ttyS4")).toStdString();
  auto first = std::make_unique<PseudoTerminal>();
  std::filesystem::create_symlink(first->devicePath(), port);

  LinkProbe probe(QString::fromStdString(port.string()));
  ASSERT_FALSE(probe.link.open().has_value());
  first->write(kPacketA);
  ASSERT_TRUE(probe.waitForReads(1));

  // Unplugged: the device node goes too. A link left dangling could meet a pseudo-terminal that
  // another test process is given under the same number.
  std::filesystem::remove(port);
  first.reset();
  runEventLoopFor(200ms);
  PseudoTerminal second;
  std::filesystem::create_symlink(second.devicePath(), port);

  // Keep sending, as a receiver does, until the link has found the device again.
  ASSERT_TRUE(waitUntil(
      [&] {
        second.write(kPacketB);
        runEventLoopFor(50ms);
        return probe.reads.size() >= 2;
      },
      5s));
  EXPECT_EQ(probe.reads[0], kPacketA);
  EXPECT_EQ(probe.reads[1], kPacketB);

  // Once back, the port stays open: a serial line loses what arrives while it is closed. Watched
  // for well over two reopen intervals.
  int closedSamples = 0;
  for (int sample = 0; sample < 50; ++sample) {
    runEventLoopFor(kReopenInterval / 20);
    if (!openHere(second.devicePath())) ++closedSamples;
  }
  EXPECT_EQ(closedSamples, 0) << "of 50 samples over " << 50 * kReopenInterval.count() / 20
                              << " ms";
}

// A process that has ended, and whose id nobody has been given again yet.
long endedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

enum class Holder : std::uint8_t { None, Running, Ended };

struct LockCase {
  std::string_view name;
  std::optional<std::string> content;  // none: no lock file; "PID" stands for the holder's id
  Holder holder;                       // None: no lock found
  std::string program;
  bool holderRunning;
};

std::ostream& operator<<(std::ostream& out, const LockCase& row) {
  return out << row.name;
}

class PortLockTest : public ::testing::TestWithParam<LockCase> {};

TEST_P(PortLockTest, TellsWhoHoldsTheDeviceAndWhetherItStillRuns) {
  const LockCase& row = GetParam();
  const long holder = row.holder == Holder::Running ? ::getpid() : endedProcess();
  testing::TemporaryWorkingDirectory lockDirectory;
  if (row.content) {
    std::string content = *row.content;
    if (const auto at = content.find("PID"); at != std::string::npos)
      content.replace(at, 3, std::to_string(holder));
    testing::writeFile("LCK..ttyS4", content);
  }
  const std::optional<PortLock> lock = findPortLock("/dev/ttyS4", {lockDirectory.path()});
  ASSERT_EQ(lock.has_value(), row.holder != Holder::None);
  if (!lock) return;
  EXPECT_EQ(lock->file, lockDirectory.path() / "LCK..ttyS4");
  EXPECT_EQ(lock->holder, holder);
  EXPECT_EQ(lock->program, row.program);
  EXPECT_EQ(lock->holderRunning, row.holderRunning);
}

INSTANTIATE_TEST_SUITE_P(
    Locks, PortLockTest,
    ::testing::Values(
        LockCase{"NoLock", std::nullopt, Holder::None, "", false},
        LockCase{"HeldByARunningProgram", "PID\ntavimor\nhost\n", Holder::Running, "tavimor", true},
        LockCase{"LeftByAProgramThatEnded", "PID\ntavimor\nhost\n", Holder::Ended, "tavimor",
                 false},
        LockCase{"AProcessIdAloneAsUucpStyleLocksHaveIt", "     PID\n", Holder::Ended, "", false},
        LockCase{"NoProcessId", "tavimor\n", Holder::None, "", false}),
    testing::kRowName);

}  // namespace
}  // namespace tavimor

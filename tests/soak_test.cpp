// SPDX-License-Identifier: GPL-3.0-or-later
// Soak: a long station with fragments and noise bursts through a real pseudo-terminal into the
// real window. TAVIMOR_SOAK_PACKETS sets the length (make soak: a million; the suite: 20,000).
//
// Each write to the line is followed by waiting until every read it makes has been delivered, so
// the reads sent are well defined: what a PacketFramer cuts from the written bytes, with a pause
// after each write. Writes of whole packets go out back to back; a write that ends in a fragment
// or a noise burst is followed by the quiet line that flushes it.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <random>

#include "app/monitor.h"
#include "decode/packet_framer.h"
#include "tests/support/event_loop.h"
#include "tests/support/packets.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/temporary_working_directory.h"
#include "tests/support/window_probe.h"

namespace tavimor {
namespace {

using namespace std::chrono_literals;

constexpr double kFragmentShare = 0.01;
constexpr double kNoiseBurstShare = 0.002;
constexpr int kMostPacketsPerWrite = 40;
constexpr std::size_t kMostNoiseBytes = 48;
constexpr long kAllowedGrowthBytes = 1 << 20;

long soakPackets() {
  const char* packets = std::getenv("TAVIMOR_SOAK_PACKETS");
  return packets != nullptr ? std::atol(packets) : 20000;
}

long residentBytes() {
  long pages = 0;
  long resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * ::sysconf(_SC_PAGESIZE);
}

constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__)
    true;
#else
    false;
#endif

// A station that is mostly groups 0A and 2A, with every other kind of group mixed in.
class SoakStation {
 public:
  explicit SoakStation(std::uint32_t seed) : random_(seed) {}

  std::string nextPacket() {
    ++count_;
    if (count_ % 500 == 0) textB_ = !textB_;
    if (count_ % 997 == 0) flags_ = static_cast<std::uint16_t>(random_() & 0x0410);
    switch (random_() % 10) {
      case 0:
      case 1:
      case 2:
      case 3: {
        const auto segment = static_cast<std::size_t>(count_ % 4);
        return testing::packet(
            testing::group0A(0xD3C2, static_cast<std::uint16_t>(flags_ | 0x0148 | segment),
                             std::string_view(kName).substr(2 * segment, 2)));
      }
      case 4:
      case 5:
      case 6: {
        const auto segment = static_cast<std::size_t>(count_ % 16);
        return testing::packet(
            testing::group2A(0xD3C2, textB_, segment,
                             std::string_view(textB_ ? kTextB : kTextA).substr(4 * segment, 4)));
      }
      default:
        return noise(kPacketSize);
    }
  }

  std::string noise(std::size_t bytes) {
    std::string noise(bytes, '\0');
    for (char& byte : noise)
      byte = static_cast<char>(random_());
    return noise;
  }

  bool chance(double share) { return std::uniform_real_distribution<>(0, 1)(random_) < share; }
  std::size_t upTo(std::size_t most) { return 1 + random_() % most; }

 private:
  static constexpr std::string_view kName = "SOAK FM ";
  static constexpr std::string_view kTextA =
      "Long night of music: five hours without a break, requests open. ";
  static constexpr std::string_view kTextB =
      "Traffic: roadworks on the bypass until six, expect short delays.";

  std::mt19937 random_;
  long count_ = 0;
  bool textB_ = false;
  std::uint16_t flags_ = 0x0400;
};

class Soak : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(monitor.start());
    monitor.window().show();
    QObject::connect(&monitor.receiverLink(), &ReceiverLink::packetReceived,
                     [this](const PacketBytes& packet) {
                       onDelivered(testing::bytesOf(packet));
                       // The same read through the pure stages, for comparing with the window.
                       reference.handlePacket(packet);
                     });
    QObject::connect(&monitor.receiverLink(), &ReceiverLink::fragmentReceived,
                     [this](const Fragment& fragment) {
                       onDelivered(testing::bytesOf(fragment.bytes()));
                       reference.showFragment(fragment);
                     });
  }

  void onDelivered(const std::string& read) {
    ++readsDelivered;
    if (expected.empty() || expected.front() != read) {
      ++readsUnexpected;
    } else {
      expected.pop_front();
    }
  }

  // Writes bytes to the line, then waits for every read they make.
  bool send(const std::string& bytes) {
    framerModel.append(
        bytes, [this](const PacketBytes& packet) { expected.push_back(testing::bytesOf(packet)); });
    framerModel.flush([this](const Fragment& fragment) {
      expected.push_back(testing::bytesOf(fragment.bytes()));
    });
    readsSent += static_cast<long>(expected.size());
    pty.write(bytes);
    return testing::waitUntil([this] { return expected.empty(); }, 10s);
  }

  void expectWindowMatchesTheReference() {
    for (std::size_t i = 0; i < kFieldCount; ++i) {
      const auto field = static_cast<Field>(i);
      SCOPED_TRACE(std::string(controlName(field)));
      const DisplayFields& shown = monitor.reception().fields();
      EXPECT_EQ(shown.caption(field), reference.fields().caption(field));
      EXPECT_EQ(shown.background(field), reference.fields().background(field));
      EXPECT_EQ(testing::shownText(monitor.window(), field),
                QString::fromStdString(reference.fields().caption(field)));
    }
    const Station& station = monitor.reception().station();
    EXPECT_EQ(station.psName, reference.station().psName);
    EXPECT_EQ(station.radioText.bufferA, reference.station().radioText.bufferA);
    EXPECT_EQ(station.radioText.bufferB, reference.station().radioText.bufferB);
    EXPECT_EQ(station.radioText.committed, reference.station().radioText.committed);
    EXPECT_EQ(station.radioText.groupCount, reference.station().radioText.groupCount);
    EXPECT_EQ(monitor.reception().traffic().state(), reference.traffic().state());
    EXPECT_EQ(testing::readFile("traffic.txt"), testing::readFile("reference.txt"));
  }

  testing::TemporaryWorkingDirectory workingDirectory;
  testing::RecordingReporter reporter;
  testing::PseudoTerminal pty;
  Monitor monitor{QString::fromStdString(pty.devicePath()), reporter};

  PacketFramer framerModel;
  std::deque<std::string> expected;
  long readsSent = 0;
  long readsDelivered = 0;
  long readsUnexpected = 0;

  // The same reads through the plain reception, with its own status file.
  Reception reference{StatusFile("reference.txt")};
};

TEST_F(Soak, EveryReadArrivesAndTheWindowShowsWhatThePureStagesCompute) {
  const long packets = soakPackets();
  const long warmUp = std::max(5000L, packets / 10);
  SoakStation station(20261208);
  long fragments = 0;
  long noiseBursts = 0;
  long baseline = 0;
  QElapsedTimer clock;
  clock.start();

  std::string write;
  for (long sent = 0; sent < packets; ++sent) {
    if (sent == warmUp) baseline = residentBytes();
    std::string packet = station.nextPacket();
    const bool fragment = station.chance(kFragmentShare);
    if (fragment) {
      packet.resize(station.upTo(kPacketSize - 1));
      ++fragments;
    }
    write += packet;
    if (fragment || sent + 1 == packets || station.upTo(kMostPacketsPerWrite) == 1) {
      ASSERT_TRUE(send(std::exchange(write, std::string()))) << "reads lost after packet " << sent;
    }
    if (station.chance(kNoiseBurstShare)) {
      ++noiseBursts;
      ASSERT_TRUE(send(station.noise(station.upTo(kMostNoiseBytes)))) << "reads lost in noise";
    }
  }
  testing::runEventLoopFor(100ms);
  const long growth = residentBytes() - baseline;
  const double seconds = static_cast<double>(clock.elapsed()) / 1000;

  std::printf(
      "soak: %ld packets (%ld cut to fragments), %ld noise bursts in %.1f s; reads sent %ld, "
      "delivered %ld, unexpected %ld; resident memory %.1f MiB after warm-up, growth %ld bytes\n",
      packets, fragments, noiseBursts, seconds, readsSent, readsDelivered, readsUnexpected,
      static_cast<double>(baseline) / (1 << 20), growth);
  EXPECT_EQ(readsDelivered, readsSent);
  EXPECT_EQ(readsUnexpected, 0);
  EXPECT_TRUE(reporter.errors.empty());
  expectWindowMatchesTheReference();
  // The sanitizers' bookkeeping grows by design, so memory is judged in plain builds only.
  if (!kSanitized) {
    EXPECT_LE(growth, kAllowedGrowthBytes);
  }
}

}  // namespace
}  // namespace tavimor

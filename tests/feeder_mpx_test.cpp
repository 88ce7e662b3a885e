// SPDX-License-Identifier: GPL-3.0-or-later
// The real tavimor-feed decoding an FM multiplex signal: a recording's first channel as hex log
// lines, and raw samples on standard input, as rtl_fm writes them, as packets.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QProcess>

#include <string>
#include <vector>

#include "decode/rds_group.h"
#include "tests/support/mpx_signal.h"
#include "tests/support/temporary_working_directory.h"

namespace tavimor {
namespace {

const QString kFeeder = QStringLiteral(TAVIMOR_FEED_EXECUTABLE);
// Groups sent before the decoder has found the blocks are not expected back.
constexpr std::size_t kLeadIn = 3;
constexpr std::size_t kGroups = 30;

struct Finished {
  int exitCode = -1;
  std::string out;
  std::string err;
};

Finished runFeeder(const QStringList& arguments, const QByteArray& input = {}) {
  QProcess feeder;
  feeder.start(kFeeder, arguments);
  feeder.write(input);
  feeder.closeWriteChannel();
  if (!feeder.waitForFinished(60'000) || feeder.exitStatus() != QProcess::NormalExit) return {};
  return {feeder.exitCode(), feeder.readAllStandardOutput().toStdString(),
          feeder.readAllStandardError().toStdString()};
}

// The groups after the lead-in, as the feeder's hex lines begin.
std::vector<std::string> hexGroupsAfterLeadIn(const std::vector<RdsGroup>& groups) {
  std::vector<std::string> lines;
  for (std::size_t i = kLeadIn; i < groups.size(); ++i) {
    std::array<char, 24> line{};
    std::snprintf(line.data(), line.size(), "%04X %04X %04X %04X", groups[i].a, groups[i].b,
                  groups[i].c, groups[i].d);
    lines.emplace_back(line.data());
  }
  return lines;
}

// The last lines of the output, cut to their blocks.
std::vector<std::string> lastHexGroups(const std::string& out, std::size_t count) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < out.size();) {
    const std::size_t end = out.find('\n', start);
    lines.push_back(out.substr(start, std::min<std::size_t>(19, end - start)));
    start = end == std::string::npos ? out.size() : end + 1;
  }
  if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<long>(count));
  return lines;
}

// A stereo file whose second channel holds something else, as a recorder's may.
void writeTwoChannelWav(const std::string& path, const std::vector<float>& firstChannel,
                        int sampleRate) {
  std::vector<float> frames;
  for (std::size_t i = 0; i < firstChannel.size(); ++i) {
    frames.push_back(firstChannel[i]);
    frames.push_back(i % 2 == 0 ? 0.5F : -0.5F);
  }
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  sf_writef_float(file, frames.data(), static_cast<sf_count_t>(firstChannel.size()));
  sf_close(file);
}

TEST(FeederMpx, WritesTheGroupsOfARecordingsFirstChannelAsLogLines) {
  const testing::TemporaryWorkingDirectory directory;
  const std::vector<RdsGroup> sent = testing::randomGroups(kGroups, 11);
  testing::MpxSignalOptions options;
  options.sampleRate = 192'000;
  options.programme = testing::Programme::Stereo;
  const testing::MpxSignal signal = testing::synthesizeMpx(sent, options);
  writeTwoChannelWav("station.wav", signal.samples, 192'000);

  const Finished run = runFeeder({"--mpx", "--hex", "-", "station.wav"});

  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<std::string> expected = hexGroupsAfterLeadIn(sent);
  EXPECT_EQ(lastHexGroups(run.out, expected.size()), expected);
  EXPECT_NE(run.err.find("decoded"), std::string::npos) << run.err;
}

TEST(FeederMpx, SendsRawSamplesOnStandardInputAsPackets) {
  const std::vector<RdsGroup> sent = testing::randomGroups(kGroups, 12);
  testing::MpxSignalOptions options;
  options.sampleRate = 228'000;
  const testing::MpxSignal signal = testing::synthesizeMpx(sent, options);
  QByteArray raw;
  for (const float sample : signal.samples) {
    const auto value = static_cast<std::int16_t>(sample * 32767.0F);
    raw.append(static_cast<char>(value & 0xFF));
    raw.append(static_cast<char>((value >> 8) & 0xFF));
  }

  const Finished run = runFeeder({"--mpx", "--rate=228k", "-", "-"}, raw);

  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string expected;
  for (std::size_t i = kLeadIn; i < sent.size(); ++i) {
    const PacketBytes packet = toPacket(sent[i]);
    expected.append(reinterpret_cast<const char*>(packet.data()), packet.size());
  }
  ASSERT_GE(run.out.size(), expected.size());
  EXPECT_EQ(run.out.substr(run.out.size() - expected.size()), expected);
}

}  // namespace
}  // namespace tavimor

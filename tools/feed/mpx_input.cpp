// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/mpx_input.h"

#include <poll.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace tavimor::feed {
namespace {

// About 12 ms of signal at 171 kHz: small enough that a group goes out soon after its end.
constexpr std::size_t kReadBytes = 4096;
constexpr std::size_t kFileFrames = 4096;
constexpr float kFullScale = 32768.0F;
// How often a wait for input looks at the stop request.
constexpr int kStopCheckMilliseconds = 100;

float fromS16le(std::uint8_t low, std::uint8_t high) {
  return static_cast<float>(static_cast<std::int16_t>(low | (high << 8))) / kFullScale;
}

class RawMpxInput final : public MpxInput {
 public:
  RawMpxInput(int fd, double sampleRate, const std::atomic<bool>& stop)
      : fd_(fd), sampleRate_(sampleRate), stop_(stop) {}

  double sampleRate() const override { return sampleRate_; }

  void read(std::vector<float>& samples) override {
    samples.clear();
    while (samples.empty() && !stop_) {
      pollfd input{fd_, POLLIN, 0};
      const int ready = ::poll(&input, 1, kStopCheckMilliseconds);
      if (ready < 0 && errno != EINTR) return fail();
      if (ready <= 0) continue;
      const ssize_t count = ::read(fd_, bytes_.data(), bytes_.size());
      if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (count < 0) return fail();
      if (count == 0) return;
      converter_.convert({bytes_.data(), static_cast<std::size_t>(count)}, samples);
    }
  }

  std::optional<std::string> error() const override { return error_; }

 private:
  void fail() { error_ = std::strerror(errno); }

  int fd_;
  double sampleRate_;
  const std::atomic<bool>& stop_;
  S16leSamples converter_;
  std::array<std::uint8_t, kReadBytes> bytes_{};
  std::optional<std::string> error_;
};

struct SoundFileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

class SoundFileMpxInput final : public MpxInput {
 public:
  SoundFileMpxInput(SoundFile file, const SF_INFO& info)
      : file_(std::move(file)),
        sampleRate_(info.samplerate),
        channels_(static_cast<std::size_t>(info.channels)),
        frames_(kFileFrames * channels_) {}

  double sampleRate() const override { return sampleRate_; }

  void read(std::vector<float>& samples) override {
    const sf_count_t count =
        sf_readf_float(file_.get(), frames_.data(), static_cast<sf_count_t>(kFileFrames));
    samples.resize(static_cast<std::size_t>(std::max<sf_count_t>(count, 0)));
    for (std::size_t i = 0; i < samples.size(); ++i)
      samples[i] = frames_[i * channels_];
    if (samples.empty() && sf_error(file_.get()) != SF_ERR_NO_ERROR) {
      error_ = sf_strerror(file_.get());
    }
  }

  std::optional<std::string> error() const override { return error_; }

 private:
  SoundFile file_;
  double sampleRate_;
  std::size_t channels_;
  std::vector<float> frames_;
  std::optional<std::string> error_;
};

}  // namespace

void S16leSamples::convert(std::span<const std::uint8_t> bytes, std::vector<float>& samples) {
  if (bytes.empty()) return;
  if (lowByte_) {
    samples.push_back(fromS16le(*lowByte_, bytes.front()));
    lowByte_.reset();
    bytes = bytes.subspan(1);
  }
  for (; bytes.size() >= 2; bytes = bytes.subspan(2)) {
    samples.push_back(fromS16le(bytes[0], bytes[1]));
  }
  if (!bytes.empty()) lowByte_ = bytes.front();
}

std::unique_ptr<MpxInput> openRawMpx(int fd, double sampleRate, const std::atomic<bool>& stop) {
  return std::make_unique<RawMpxInput>(fd, sampleRate, stop);
}

std::variant<std::unique_ptr<MpxInput>, std::string> openMpxFile(const std::string& path) {
  SF_INFO info{};
  SoundFile file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file && sf_error(nullptr) == SF_ERR_UNRECOGNISED_FORMAT) {
    return std::string("not a sound file (raw samples go on standard input: - <FILE)");
  }
  if (!file) return std::string(sf_strerror(nullptr));
  if (info.channels < 1 || info.frames == 0) return std::string("holds no samples");
  return std::make_unique<SoundFileMpxInput>(std::move(file), info);
}

}  // namespace tavimor::feed

// SPDX-License-Identifier: GPL-3.0-or-later
// Where an FM multiplex signal comes from: raw samples as rtl_fm writes them, or a sound file.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace tavimor::feed {

// Signed 16-bit little-endian samples from bytes that may arrive split anywhere, even inside a
// sample, scaled to full scale ±1.
class S16leSamples {
 public:
  // Appends the samples that the bytes complete to samples.
  void convert(std::span<const std::uint8_t> bytes, std::vector<float>& samples);

 private:
  std::optional<std::uint8_t> lowByte_;
};

class MpxInput {
 public:
  virtual ~MpxInput() = default;
  virtual double sampleRate() const = 0;
  // Replaces samples with the next ones, waiting until some have arrived; empty at the end of
  // the input or once stop is set.
  virtual void read(std::vector<float>& samples) = 0;
  // Why the input ended early, if it did.
  virtual std::optional<std::string> error() const = 0;
};

// Raw samples on fd, handed on as soon as they arrive.
std::unique_ptr<MpxInput> openRawMpx(int fd, double sampleRate, const std::atomic<bool>& stop);

// A sound file that libsndfile reads (FLAC, WAV, ...), its first channel; or why it cannot be.
std::variant<std::unique_ptr<MpxInput>, std::string> openMpxFile(const std::string& path);

}  // namespace tavimor::feed

// SPDX-License-Identifier: GPL-3.0-or-later
// Where a signal comes from: raw samples on a pipe as rtl_fm or rtl_sdr write them, or a sound
// file.
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

enum class RawFormat {
  // Signed 16-bit little-endian, one channel: the multiplex as rtl_fm writes it.
  S16le,
  // Unsigned 8-bit, I then Q, 127.5 the zero: the stick's samples as rtl_sdr writes them.
  Unsigned8Iq,
};

// Samples from bytes that may arrive split anywhere, even inside a sample, at full scale +-1.
class RawSamples {
 public:
  explicit RawSamples(RawFormat format) : format_(format) {}

  unsigned channels() const { return format_ == RawFormat::S16le ? 1 : 2; }
  // Appends the samples of the frames the bytes complete, channels interleaved.
  void convert(std::span<const std::byte> bytes, std::vector<float>& samples);
  // Whether bytes of a frame are left over for later bytes to complete.
  bool partial() const { return pending_.has_value(); }

 private:
  void appendFrame(std::byte first, std::byte second, std::vector<float>& samples) const;

  RawFormat format_;
  std::optional<std::byte> pending_;
};

class SampleInput {
 public:
  virtual ~SampleInput() = default;
  virtual double sampleRate() const = 0;
  virtual unsigned channels() const = 0;
  // Whether the samples come as they are made (a pipe, a FIFO) rather than from a recording.
  virtual bool live() const = 0;
  // Of each channel, where the input says.
  virtual std::optional<std::uint64_t> frames() const { return std::nullopt; }
  // Replaces samples with the next frames, channels interleaved, waiting until some have arrived;
  // empty at the end of the input or once stop is set.
  virtual void read(std::vector<float>& samples) = 0;
  // Why the input ended early or badly, if it did.
  virtual std::optional<std::string> error() const = 0;
};

// Raw samples on fd, handed on as soon as they arrive.
std::unique_ptr<SampleInput> openRawSamples(int fd, RawFormat format, double sampleRate,
                                            const std::atomic<bool>& stop);

// A sound file that libsndfile reads (FLAC, WAV, ...), all its channels; a WAV file whose
// recorder has not yet written the length into its header is read to its end. Or why it cannot
// be read.
std::variant<std::unique_ptr<SampleInput>, std::string> openSoundFile(const std::string& path);

}  // namespace tavimor::feed

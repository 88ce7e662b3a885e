// SPDX-License-Identifier: GPL-3.0-or-later
// RDS from an FM multiplex (MPX) signal: the 57 kHz subcarrier is demodulated, the biphase
// symbols are decided, and the bit stream is cut into checked blocks and groups. Plain C++.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "decode/rds_group.h"

namespace tavimor::mpx {

// Sample rates below this cannot carry the RDS subcarrier with room for a clean filter.
inline constexpr double kMinSampleRate = 128'000.0;

// One group as far as it could be decoded; a block that failed its check is absent. Block C
// holds C or C' alike.
struct DecodedGroup {
  std::array<std::optional<std::uint16_t>, 4> blocks{};
  // The index, counted from the first sample ever given, of the sample that ended the group.
  std::uint64_t endSample = 0;

  bool complete() const;
  // Only for a complete group.
  RdsGroup group() const;
};

struct DecoderCounts {
  std::uint64_t groups = 0;          // groups reported, complete or not
  std::uint64_t completeGroups = 0;  // groups with all four blocks
  std::uint64_t blocks = 0;          // blocks that passed their check
  std::uint64_t lostBlocks = 0;      // blocks of reported groups that did not
};

class MpxDecoder {
 public:
  using GroupHandler = std::function<void(const DecodedGroup&)>;

  // sampleRate in Hz, at least kMinSampleRate; throws std::invalid_argument otherwise.
  explicit MpxDecoder(double sampleRate);
  ~MpxDecoder();
  MpxDecoder(MpxDecoder&& other) noexcept;
  MpxDecoder& operator=(MpxDecoder&& other) noexcept;
  MpxDecoder(const MpxDecoder&) = delete;
  MpxDecoder& operator=(const MpxDecoder&) = delete;

  // Takes the next samples of the multiplex signal, full scale ±1, and calls onGroup for every
  // group that ends within them, as soon as its last block is decided. Groups are reported only
  // while block synchronisation holds, and only with at least one good block.
  void process(std::span<const float> samples, const GroupHandler& onGroup);

  const DecoderCounts& counts() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tavimor::mpx

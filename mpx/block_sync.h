// SPDX-License-Identifier: GPL-3.0-or-later
// Block synchronisation: finds where blocks start in the stream of channel symbols, holds that
// through bad blocks, and hands on each group once its last block is decided.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>

#include "mpx/block_code.h"
#include "mpx/mpx_decoder.h"

namespace tavimor::mpx {

class BlockSync {
 public:
  explicit BlockSync(const SoftLimits& limits);

  // The next channel symbol, soft, the reliability a clean one would have, and the input sample
  // at which it ended.
  void push(float symbol, float expected, std::uint64_t endSample,
            const MpxDecoder::GroupHandler& onGroup);

  bool synchronised() const { return synchronised_; }
  const DecoderCounts& counts() const { return counts_; }

 private:
  static constexpr std::size_t kHistory = 128;
  static constexpr std::size_t kSlots = 4;

  struct Found {
    std::uint64_t symbol;
    std::size_t slot;
  };

  void acquire(const MpxDecoder::GroupHandler& onGroup);
  void decideSlot(std::size_t slot, std::uint64_t lastSymbol);
  void endGroup(const MpxDecoder::GroupHandler& onGroup);
  std::array<float, kBlockSymbols> blockEndingAt(std::uint64_t lastSymbol) const;
  OffsetSet allowedIn(std::size_t slot) const;
  void loseSync();
  std::optional<SoftDecision> decide(std::size_t slot, BlockSymbols block, float expected);
  void notePi(std::uint16_t pi);

  SoftLimits limits_;
  std::array<float, kHistory> symbols_{};
  std::array<float, kHistory> expected_{};
  std::array<std::uint64_t, kHistory> symbolEnds_{};
  std::uint64_t symbolCount_ = 0;
  std::uint32_t hardWord_ = 0;
  std::deque<Found> found_;

  bool synchronised_ = false;
  std::size_t nextSlot_ = 0;
  std::uint64_t nextBlockEnd_ = 0;
  DecodedGroup group_;
  std::array<bool, 32> recentGood_{};
  std::size_t recentIndex_ = 0;
  // The station's programme identification, once two blocks A agreed on it.
  std::optional<std::uint16_t> pi_;
  std::optional<std::uint16_t> piCandidate_;
  DecoderCounts counts_;
};

}  // namespace tavimor::mpx

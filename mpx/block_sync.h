// SPDX-License-Identifier: GPL-3.0-or-later
// Block synchronisation: finds where blocks start in the stream of channel symbols, holds that
// through bad blocks, moves at once when the blocks are found elsewhere (another station, a slip
// of the clock), and hands on each group once its last block is decided.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>

#include "mpx/block_code.h"
#include "mpx/decoded_group.h"

namespace tavimor::mpx {

class BlockSync {
 public:
  explicit BlockSync(const SoftLimits& limits);

  // The next channel symbol, soft, the reliability a clean one would have, and the input sample
  // at which it ended.
  void push(float symbol, float cleanReliability, std::uint64_t endSample,
            const GroupHandler& onGroup);
  // The input has ended: the group in progress goes out with the blocks decided so far.
  void finish(const GroupHandler& onGroup);

  bool synchronised() const { return synchronised_; }

  struct RecentBlocks {
    std::size_t due = 0;
    std::size_t good = 0;
  };
  // Of the blocks due since the station was found, over the last ten seconds of symbols, those
  // that passed their check; none before it is found.
  std::optional<RecentBlocks> recentBlocks() const;

 private:
  static constexpr std::size_t kHistory = 128;
  static constexpr std::size_t kSlots = 4;

  struct Found {
    std::uint64_t symbol;
    std::size_t slot;
  };

  std::optional<std::size_t> foundAlignment();
  bool expectedHere(std::uint64_t symbol, std::size_t slot) const;
  void synchroniseAt(std::size_t slot, const GroupHandler& onGroup);
  void decideNext(const GroupHandler& onGroup);
  void decideSlot(std::size_t slot, std::uint64_t lastSymbol);
  void endGroup(const GroupHandler& onGroup);
  void report(const GroupHandler& onGroup);
  // Of the symbols, or of their clean reliabilities, those of the block ending at lastSymbol.
  static std::array<float, kBlockSymbols> blockEndingAt(const std::array<float, kHistory>& history,
                                                        std::uint64_t lastSymbol);
  OffsetSet allowedIn(std::size_t slot) const;
  void loseSync();
  std::optional<SoftDecision> decide(std::size_t slot, BlockSymbols block,
                                     BlockSymbols cleanReliabilities);
  std::optional<SoftDecision> decideKnownPi(std::size_t slot, BlockSymbols block,
                                            const BlockRanking& ranking,
                                            const std::optional<SoftDecision>& alone);
  // Whether the programme identification became known with this block.
  bool notePi(std::uint16_t pi);

  SoftLimits limits_;
  std::array<float, kHistory> symbols_{};
  std::array<float, kHistory> cleanReliabilities_{};
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
  unsigned failedInRow_ = 0;
  // The last symbols of the good blocks of the last ten seconds.
  std::deque<std::uint64_t> goodBlockEnds_;
  // The first symbol of the first block decided, once the station is found.
  std::optional<std::uint64_t> foundAt_;
  // The station's programme identification, once two blocks A agreed on it.
  std::optional<std::uint16_t> pi_;
  std::optional<std::uint16_t> piCandidate_;
  // Block A of the group in progress carries a programme identification not yet confirmed.
  bool newPiInGroup_ = false;
  // The blocks of the group in progress, one bit per slot, taken only as the known
  // identification, not on their own.
  unsigned expectedOnly_ = 0;
};

}  // namespace tavimor::mpx

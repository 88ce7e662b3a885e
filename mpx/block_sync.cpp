// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/block_sync.h"

#include <algorithm>
#include <cmath>

#include "decode/bits.h"
#include "mpx/bits.h"

namespace tavimor::mpx {
namespace {

constexpr std::size_t slotOf(Offset offset) {
  switch (offset) {
    case Offset::A:
      return 0;
    case Offset::B:
      return 1;
    case Offset::C:
    case Offset::CPrime:
      return 2;
    case Offset::D:
      return 3;
  }
  return 0;
}

// Two earlier blocks must agree with a third in offset and distance before the stream is trusted:
// in noise, a random word passes as some block once in 205, three in a row about once in hours.
constexpr std::size_t kAgreeingBlocks = 2;
constexpr std::size_t kLookbackBlocks = 4;
// Sync is given up when this few of the recent blocks were good.
constexpr std::size_t kMinGoodRecent = 2;

constexpr unsigned kVersionBit = 11;

}  // namespace

BlockSync::BlockSync(const SoftLimits& limits) : limits_(limits) {}

void BlockSync::push(float symbol, float expected, std::uint64_t endSample,
                     const MpxDecoder::GroupHandler& onGroup) {
  expected_[symbolCount_ % kHistory] = expected;
  const float previous = symbols_[(symbolCount_ + kHistory - 1) % kHistory];
  symbols_[symbolCount_ % kHistory] = symbol;
  symbolEnds_[symbolCount_ % kHistory] = endSample;
  hardWord_ = shiftIn(hardWord_, std::signbit(symbol) != std::signbit(previous));
  ++symbolCount_;
  if (symbolCount_ < kBlockSymbols) return;
  const std::uint64_t last = symbolCount_ - 1;
  if (!synchronised_) {
    acquire(onGroup);
    return;
  }
  if (last != nextBlockEnd_) return;
  decideSlot(nextSlot_, last);
  nextBlockEnd_ += kBlockBits;
  if (nextSlot_ == kSlots - 1) {
    endGroup(onGroup);
    nextSlot_ = 0;
  } else {
    ++nextSlot_;
  }
}

void BlockSync::acquire(const MpxDecoder::GroupHandler& onGroup) {
  const std::uint64_t last = symbolCount_ - 1;
  while (!found_.empty() && found_.front().symbol + kLookbackBlocks * kBlockBits < last)
    found_.pop_front();
  const std::optional<Offset> offset = offsetOfSyndrome(syndrome(hardWord_));
  if (!offset) return;
  const std::size_t slot = slotOf(*offset);
  const auto agreeing = std::count_if(found_.begin(), found_.end(), [&](const Found& earlier) {
    const std::uint64_t distance = last - earlier.symbol;
    if (distance % kBlockBits != 0) return false;
    const std::size_t blocksBack = distance / kBlockBits;
    return (earlier.slot + blocksBack) % kSlots == slot;
  });
  found_.push_back({last, slot});
  if (static_cast<std::size_t>(agreeing) < kAgreeingBlocks) return;

  synchronised_ = true;
  found_.clear();
  recentGood_.fill(true);
  group_ = {};
  // The earlier blocks of this group are still in the history: decide them now.
  for (std::size_t earlier = 0; earlier <= slot; ++earlier)
    if (last >= (slot - earlier + 1) * kBlockBits)
      decideSlot(earlier, last - (slot - earlier) * kBlockBits);
  nextBlockEnd_ = last + kBlockBits;
  nextSlot_ = slot + 1;
  if (nextSlot_ == kSlots) {
    endGroup(onGroup);
    nextSlot_ = 0;
  }
}

std::array<float, kBlockSymbols> BlockSync::blockEndingAt(std::uint64_t lastSymbol) const {
  std::array<float, kBlockSymbols> block{};
  for (std::size_t i = 0; i < kBlockSymbols; ++i)
    block[i] = symbols_[(lastSymbol + 1 + kHistory - kBlockSymbols + i) % kHistory];
  return block;
}

OffsetSet BlockSync::allowedIn(std::size_t slot) const {
  switch (slot) {
    case 0:
      return offsetBit(Offset::A);
    case 1:
      return offsetBit(Offset::B);
    case 2:
      if (group_.blocks[1])
        return offsetBit(bitOf(*group_.blocks[1], kVersionBit) ? Offset::CPrime : Offset::C);
      return offsetBit(Offset::C) | offsetBit(Offset::CPrime);
    default:
      return offsetBit(Offset::D);
  }
}

void BlockSync::decideSlot(std::size_t slot, std::uint64_t lastSymbol) {
  const std::array<float, kBlockSymbols> block = blockEndingAt(lastSymbol);
  const std::optional<SoftDecision> decision =
      decide(slot, block, expected_[lastSymbol % kHistory]);
  group_.blocks[slot] = decision ? std::optional<std::uint16_t>(decision->data) : std::nullopt;
  group_.endSample = symbolEnds_[lastSymbol % kHistory];
  recentGood_[recentIndex_] = decision.has_value();
  recentIndex_ = (recentIndex_ + 1) % recentGood_.size();
}

// Block A, and block C' of a version B group, carry the programme identification: once it is
// known, such a block is tested against it alone, a far stronger test than against every word.
std::optional<SoftDecision> BlockSync::decide(std::size_t slot, BlockSymbols block,
                                              float expected) {
  if (!(expected >= limits_.minExpected)) return std::nullopt;
  const OffsetSet allowed = allowedIn(slot);
  const BlockRanking ranking = rankBlock(block, allowed);
  std::optional<SoftDecision> decision;
  if (trustworthy(ranking, limits_)) decision = ranking.best;
  const bool carriesPi = slot == 0 || (allowed & offsetBit(Offset::CPrime)) != 0;
  if (!carriesPi) return decision;
  if (pi_) {
    const Offset offset = slot == 0 ? Offset::A : Offset::CPrime;
    const float cost = costOfBlock(block, blockOf(*pi_, offset));
    if (ranking.noErrorLog - cost >= limits_.minKnownScore) return SoftDecision{*pi_, offset, cost};
    // Another programme identification stands only once it has come twice.
    if (decision && decision->offset == offset) {
      if (slot == 0) notePi(decision->data);
      return std::nullopt;
    }
    return decision;
  }
  if (decision && slot == 0) notePi(decision->data);
  return decision;
}

void BlockSync::notePi(std::uint16_t pi) {
  if (piCandidate_ == pi) {
    pi_ = pi;
    piCandidate_.reset();
  } else {
    piCandidate_ = pi;
  }
}

void BlockSync::endGroup(const MpxDecoder::GroupHandler& onGroup) {
  const auto good = static_cast<std::size_t>(
      std::count_if(group_.blocks.begin(), group_.blocks.end(),
                    [](const std::optional<std::uint16_t>& block) { return block.has_value(); }));
  if (good > 0) {
    ++counts_.groups;
    if (good == kSlots) ++counts_.completeGroups;
    counts_.blocks += good;
    counts_.lostBlocks += kSlots - good;
    onGroup(group_);
  }
  group_ = {};
  if (static_cast<std::size_t>(std::count(recentGood_.begin(), recentGood_.end(), true)) <
      kMinGoodRecent)
    loseSync();
}

void BlockSync::loseSync() {
  synchronised_ = false;
  found_.clear();
}

}  // namespace tavimor::mpx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/block_sync.h"

#include <algorithm>
#include <cmath>

#include "decode/bits.h"

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
// Blocks found elsewhere take over once this many blocks in a row failed where sync expected them.
constexpr unsigned kFailedBeforeMoving = 3;
// Ten seconds of symbols, for the blocks' recent tally.
constexpr std::uint64_t kRecentSymbols = 11'875;
// A block that carries the programme identification is taken as the one known unless another
// word explains it this much more cheaply (a log-probability).
constexpr float kKnownPiMargin = 3.0F;

constexpr unsigned kVersionBit = 11;

}  // namespace

BlockSync::BlockSync(const SoftLimits& limits) : limits_(limits) {}

void BlockSync::push(float symbol, float cleanReliability, std::uint64_t endSample,
                     const GroupHandler& onGroup) {
  cleanReliabilities_[symbolCount_ % kHistory] = cleanReliability;
  const float previous = symbols_[(symbolCount_ + kHistory - 1) % kHistory];
  symbols_[symbolCount_ % kHistory] = symbol;
  symbolEnds_[symbolCount_ % kHistory] = endSample;
  hardWord_ = shiftIn(hardWord_, std::signbit(symbol) != std::signbit(previous));
  ++symbolCount_;
  while (!goodBlockEnds_.empty() && goodBlockEnds_.front() + kRecentSymbols < symbolCount_)
    goodBlockEnds_.pop_front();
  if (symbolCount_ < kBlockSymbols) return;
  const std::optional<std::size_t> slot = foundAlignment();
  if (synchronised_ && symbolCount_ - 1 == nextBlockEnd_) decideNext(onGroup);
  if (!slot) return;
  if (synchronised_) {
    if (failedInRow_ < kFailedBeforeMoving) return;
    report(onGroup);
    loseSync();
  }
  synchroniseAt(*slot, onGroup);
}

// The slot of a block found here by its syndrome alone, when two earlier ones agree with it and
// sync does not already expect it here.
std::optional<std::size_t> BlockSync::foundAlignment() {
  const std::uint64_t last = symbolCount_ - 1;
  while (!found_.empty() && found_.front().symbol + kLookbackBlocks * kBlockBits < last)
    found_.pop_front();
  const std::optional<Offset> offset = offsetOfSyndrome(syndrome(hardWord_));
  if (!offset) return std::nullopt;
  const std::size_t slot = slotOf(*offset);
  if (expectedHere(last, slot)) return std::nullopt;
  const auto agreeing = std::count_if(found_.begin(), found_.end(), [&](const Found& earlier) {
    const std::uint64_t distance = last - earlier.symbol;
    if (distance % kBlockBits != 0) return false;
    const std::size_t blocksBack = distance / kBlockBits;
    return (earlier.slot + blocksBack) % kSlots == slot;
  });
  found_.push_back({last, slot});
  if (static_cast<std::size_t>(agreeing) < kAgreeingBlocks) return std::nullopt;
  return slot;
}

bool BlockSync::expectedHere(std::uint64_t symbol, std::size_t slot) const {
  if (!synchronised_ || (nextBlockEnd_ - symbol) % kBlockBits != 0) return false;
  const std::size_t blocksAhead = (nextBlockEnd_ - symbol) / kBlockBits;
  return (slot + blocksAhead) % kSlots == nextSlot_;
}

void BlockSync::synchroniseAt(std::size_t slot, const GroupHandler& onGroup) {
  const std::uint64_t last = symbolCount_ - 1;
  synchronised_ = true;
  found_.clear();
  recentGood_.fill(true);
  failedInRow_ = 0;
  group_ = {};
  expectedOnly_ = 0;
  newPiInGroup_ = false;
  // The earlier blocks of this group are still in the history: decide them now.
  for (std::size_t earlier = 0; earlier <= slot; ++earlier) {
    if (last < (slot - earlier + 1) * kBlockBits) continue;
    const std::uint64_t end = last - (slot - earlier) * kBlockBits;
    if (!foundAt_) foundAt_ = end + 1 - kBlockBits;
    decideSlot(earlier, end);
  }
  nextBlockEnd_ = last + kBlockBits;
  nextSlot_ = slot + 1;
  if (nextSlot_ == kSlots) {
    endGroup(onGroup);
    nextSlot_ = 0;
  }
}

void BlockSync::decideNext(const GroupHandler& onGroup) {
  decideSlot(nextSlot_, nextBlockEnd_);
  nextBlockEnd_ += kBlockBits;
  if (nextSlot_ == kSlots - 1) {
    endGroup(onGroup);
    nextSlot_ = 0;
  } else {
    ++nextSlot_;
  }
}

std::array<float, kBlockSymbols> BlockSync::blockEndingAt(
    const std::array<float, kHistory>& history, std::uint64_t lastSymbol) {
  std::array<float, kBlockSymbols> block{};
  for (std::size_t i = 0; i < kBlockSymbols; ++i)
    block[i] = history[(lastSymbol + 1 + kHistory - kBlockSymbols + i) % kHistory];
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
  const std::optional<SoftDecision> decision = decide(
      slot, blockEndingAt(symbols_, lastSymbol), blockEndingAt(cleanReliabilities_, lastSymbol));
  group_.blocks[slot] = decision ? std::optional<std::uint16_t>(decision->data) : std::nullopt;
  group_.endSample = symbolEnds_[lastSymbol % kHistory];
  recentGood_[recentIndex_] = decision.has_value();
  recentIndex_ = (recentIndex_ + 1) % recentGood_.size();
  failedInRow_ = decision ? 0 : failedInRow_ + 1;
  if (decision) goodBlockEnds_.push_back(lastSymbol);
}

std::optional<SoftDecision> BlockSync::decide(std::size_t slot, BlockSymbols block,
                                              BlockSymbols cleanReliabilities) {
  if (!(cleanReliabilities.back() >= limits_.minCleanReliability)) return std::nullopt;
  const OffsetSet allowed = allowedIn(slot);
  const BlockRanking ranking = rankBlock(block, allowed, cleanReliabilities);
  std::optional<SoftDecision> decision;
  if (trustworthy(ranking, limits_)) decision = ranking.best;
  const bool carriesPi = slot == 0 || (allowed & offsetBit(Offset::CPrime)) != 0;
  if (!carriesPi) return decision;
  if (pi_) return decideKnownPi(slot, block, ranking, decision);
  if (decision && slot == 0) notePi(decision->data);
  return decision;
}

// Block A, and block C' of a version B group, carry the programme identification: once it is
// known, such a block is tested against it, a far stronger test than against every word. It must
// also be about as cheap as the best explanation found: a new station's blocks must not pass as
// the old one's. While another identification that came on its own waits for its second, the
// known one is not tested for at all: the station may have changed.
std::optional<SoftDecision> BlockSync::decideKnownPi(std::size_t slot, BlockSymbols block,
                                                     const BlockRanking& ranking,
                                                     const std::optional<SoftDecision>& alone) {
  const Offset offset = slot == 0 ? Offset::A : Offset::CPrime;
  const float cost = costOfBlock(block, blockOf(*pi_, offset));
  const bool likely = ranking.noErrorLog - cost >= limits_.minKnownScore;
  const bool nearBest = !ranking.best || cost <= ranking.best->cost + kKnownPiMargin;
  const bool itself = alone && alone->data == *pi_ && alone->offset == offset;
  if (itself) piCandidate_.reset();
  if (likely && nearBest && !piCandidate_) {
    if (!itself) expectedOnly_ |= 1U << slot;
    return SoftDecision{*pi_, offset, cost};
  }
  if (!alone || alone->offset != offset) return alone;
  // Another programme identification is known once it has come twice. Before, its block stands
  // only beside a block C' of its group that says the same: the rest of the group comes through
  // whether or not a block A that passed its check is garbage.
  if (slot != 0) return newPiInGroup_ && group_.blocks[0] == alone->data ? alone : std::nullopt;
  newPiInGroup_ = !notePi(alone->data);
  return alone;
}

bool BlockSync::notePi(std::uint16_t pi) {
  if (piCandidate_ != pi) {
    piCandidate_ = pi;
    return false;
  }
  pi_ = pi;
  piCandidate_.reset();
  return true;
}

void BlockSync::endGroup(const GroupHandler& onGroup) {
  report(onGroup);
  if (static_cast<std::size_t>(std::count(recentGood_.begin(), recentGood_.end(), true)) <
      kMinGoodRecent)
    loseSync();
}

void BlockSync::report(const GroupHandler& onGroup) {
  if (newPiInGroup_ && group_.blocks[2] != group_.blocks[0]) group_.blocks[0].reset();
  newPiInGroup_ = false;
  // Blocks taken only for being the identification expected say nothing on their own: a station
  // tuned to in its place, its identification a few symbols away, may have sent them.
  bool news = false;
  for (std::size_t slot = 0; slot < kSlots; ++slot)
    news = news || (group_.blocks[slot] && ((expectedOnly_ >> slot) & 1U) == 0);
  if (news) onGroup(group_);
  group_ = {};
  expectedOnly_ = 0;
}

void BlockSync::finish(const GroupHandler& onGroup) {
  if (synchronised_) report(onGroup);
}

// A new station may have another programme identification: it is learnt again.
void BlockSync::loseSync() {
  synchronised_ = false;
  found_.clear();
  pi_.reset();
  piCandidate_.reset();
}

std::optional<BlockSync::RecentBlocks> BlockSync::recentBlocks() const {
  if (!foundAt_) return std::nullopt;
  // Whole blocks' times since the station was found, at most ten seconds' worth.
  const std::uint64_t since = symbolCount_ - *foundAt_;
  const std::uint64_t blocks = std::min(since, kRecentSymbols) / kBlockBits;
  const std::uint64_t from = symbolCount_ - blocks * kBlockBits;
  const auto good = std::count_if(goodBlockEnds_.begin(), goodBlockEnds_.end(),
                                  [&](std::uint64_t end) { return end >= from; });
  return RecentBlocks{static_cast<std::size_t>(blocks), static_cast<std::size_t>(good)};
}

}  // namespace tavimor::mpx

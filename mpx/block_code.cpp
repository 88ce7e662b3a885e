// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/block_code.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace tavimor::mpx {
namespace {

// x^10 + x^8 + x^7 + x^5 + x^4 + x^3 + 1
constexpr std::uint32_t kGenerator = 0x5B9;
constexpr unsigned kMaxBurst = 5;

constexpr std::uint16_t remainder(std::uint32_t word, unsigned bits) {
  for (unsigned bit = bits; bit-- > kCheckBits;)
    if ((word >> bit) & 1U) word ^= kGenerator << (bit - kCheckBits);
  return static_cast<std::uint16_t>(word & kCheckMask);
}

// Every burst of at most five bits has a syndrome of its own: that is what makes it correctable.
const std::array<std::uint32_t, 1U << kCheckBits>& burstOfSyndrome() {
  static const auto table = [] {
    std::array<std::uint32_t, 1U << kCheckBits> bursts{};
    for (unsigned length = kMaxBurst; length >= 1; --length) {
      const std::uint32_t inner = length > 2 ? 1U << (length - 2) : 1U;
      for (std::uint32_t middle = 0; middle < inner; ++middle) {
        const std::uint32_t pattern = length == 1 ? 1U : (1U << (length - 1)) | (middle << 1U) | 1U;
        for (unsigned shift = 0; shift + length <= kBlockBits; ++shift)
          bursts[remainder(pattern << shift, kBlockBits)] = pattern << shift;
      }
    }
    return bursts;
  }();
  return table;
}

// The data bits a wrong channel symbol turns: the bit it ends and the bit it starts.
constexpr std::uint32_t bitsOfSymbol(std::size_t symbol) {
  std::uint32_t mask = 0;
  if (symbol >= 1) mask |= 1U << (kBlockBits - symbol);
  if (symbol < kBlockBits) mask |= 1U << (kBlockBits - 1 - symbol);
  return mask;
}

const std::array<std::uint16_t, kBlockSymbols>& syndromeOfSymbol() {
  static const auto table = [] {
    std::array<std::uint16_t, kBlockSymbols> syndromes{};
    for (std::size_t symbol = 0; symbol < kBlockSymbols; ++symbol)
      syndromes[symbol] = remainder(bitsOfSymbol(symbol), kBlockBits);
    return syndromes;
  }();
  return table;
}

// The cheaper of the two sets of wrong channel symbols that turn exactly the bits of the mask.
float costOfBits(std::uint32_t errors, BlockSymbols symbols) {
  std::array<float, 2> cost{0.0F, std::fabs(symbols[0])};
  std::array<bool, 2> flipped{false, true};
  for (std::size_t symbol = 1; symbol < kBlockSymbols; ++symbol) {
    const bool bitWrong = ((errors >> (kBlockBits - symbol)) & 1U) != 0;
    for (std::size_t choice = 0; choice < 2; ++choice) {
      flipped[choice] = flipped[choice] != bitWrong;
      if (flipped[choice]) cost[choice] += std::fabs(symbols[symbol]);
    }
  }
  return std::min(cost[0], cost[1]);
}

// The cheapest two explanations of a block that differ in what they decode to.
class Ranking {
 public:
  void consider(std::uint32_t errors, std::uint32_t block, Offset offset, float cost) {
    const std::uint16_t data = dataOf(block ^ errors);
    if (best_ && best_->data == data && best_->offset == offset) {
      best_->cost = std::min(best_->cost, cost);
      return;
    }
    if (!best_ || cost < best_->cost) {
      if (best_) runnerUp_ = std::min(runnerUp_, best_->cost);
      best_ = SoftDecision{data, offset, cost};
    } else {
      runnerUp_ = std::min(runnerUp_, cost);
    }
  }
  const std::optional<SoftDecision>& best() const { return best_; }
  float runnerUp() const { return runnerUp_; }

 private:
  std::optional<SoftDecision> best_;
  float runnerUp_ = INFINITY;
};

// The log-probability that a block's symbols are not noisy symbols at all (a click, a station
// cutting in, the clock slipping): then too any word could have come. However sure its symbols
// look, a block is taken no surer than this allows.
constexpr double kAmissLog = -12.0;

// Flips of one to four of the sixteen least reliable channel symbols.
constexpr std::size_t kChaseSymbols = 16;
constexpr unsigned kChaseFlips = 4;

// One channel symbol that may be wrong, and what taking it as wrong changes.
struct Flip {
  std::uint16_t syndrome;
  std::uint32_t bits;
  float cost;
  double odds;  // of it being wrong
};

// Tries every set of flips, each set once, building on the smaller sets before it.
class ChaseSearch {
 public:
  ChaseSearch(BlockSymbols symbols, std::uint32_t block, OffsetSet allowed, Ranking& ranking)
      : block_(block), allowed_(allowed), ranking_(ranking) {
    std::array<std::size_t, kBlockSymbols> order{};
    std::iota(order.begin(), order.end(), 0);
    std::partial_sort(order.begin(), order.begin() + kChaseSymbols, order.end(),
                      [&](std::size_t x, std::size_t y) {
                        return std::fabs(symbols[x]) < std::fabs(symbols[y]);
                      });
    for (std::size_t i = 0; i < kChaseSymbols; ++i) {
      const float cost = std::fabs(symbols[order[i]]);
      flips_[i] = {syndromeOfSymbol()[order[i]], bitsOfSymbol(order[i]), cost,
                   std::exp(-static_cast<double>(cost))};
    }
  }

  // Returns the summed odds, against no error, of the sets of flips tried: that much of the
  // chance of errors has been looked at, and is not left to spread over every word.
  double run() {
    extend(0, 0, syndrome(block_), 0, 0.0F, 1.0);
    return tried_;
  }

 private:
  void extend(std::size_t from, unsigned flips, std::uint16_t syndromeSoFar, std::uint32_t errors,
              float cost, double odds) {
    for (std::size_t i = from; i < kChaseSymbols; ++i) {
      const Flip& flip = flips_[i];
      const std::uint16_t flipped = syndromeSoFar ^ flip.syndrome;
      const double flippedOdds = odds * flip.odds;
      tried_ += flippedOdds;
      const std::optional<Offset> offset = offsetOfSyndrome(flipped);
      if (offset && (allowed_ & offsetBit(*offset)) != 0)
        ranking_.consider(errors ^ flip.bits, block_, *offset, cost + flip.cost);
      if (flips + 1 < kChaseFlips)
        extend(i + 1, flips + 1, flipped, errors ^ flip.bits, cost + flip.cost, flippedOdds);
    }
  }

  std::array<Flip, kChaseSymbols> flips_{};
  std::uint32_t block_;
  OffsetSet allowed_;
  Ranking& ranking_;
  double tried_ = 0.0;
};

// How much likelier the symbols are as two values in Gaussian noise, at the signal-to-noise ratio
// a clean symbol's reliability gives, than as noise of the same power with nothing in it. A
// symbol scaled by no level at all tells neither way.
double modelLogRatio(BlockSymbols symbols, BlockSymbols cleanReliabilities) {
  double ratio = 0.0;
  for (std::size_t i = 0; i < kBlockSymbols; ++i) {
    const auto clean = static_cast<double>(cleanReliabilities[i]);
    if (!(clean > 0.0)) continue;
    const double snr = std::max(clean / 2.0, 1e-6);
    const double u = static_cast<double>(symbols[i]) / clean;
    const double z = std::fabs(snr * u);
    const double logCosh = z + std::log1p(std::exp(-2.0 * z)) - std::numbers::ln2;
    ratio += -snr * (u * u + 1.0) / 2.0 + logCosh + u * u * snr / (2.0 * (1.0 + snr)) +
             std::log1p(snr) / 2.0;
  }
  return ratio;
}

}  // namespace

std::uint16_t checkword(std::uint16_t data) {
  return remainder(static_cast<std::uint32_t>(data) << kCheckBits, kBlockBits);
}

std::uint32_t blockOf(std::uint16_t data, Offset offset) {
  return (static_cast<std::uint32_t>(data) << kCheckBits) |
         (checkword(data) ^ kOffsetWords[static_cast<std::size_t>(offset)]);
}

std::uint16_t syndrome(std::uint32_t block) {
  return remainder(block & kBlockMask, kBlockBits);
}

std::optional<Offset> offsetOfSyndrome(std::uint16_t syndrome) {
  for (std::size_t i = 0; i < kOffsetCount; ++i)
    if (kOffsetWords[i] == syndrome) return static_cast<Offset>(i);
  return std::nullopt;
}

std::uint32_t hardBlock(BlockSymbols symbols) {
  std::uint32_t block = 0;
  for (std::size_t symbol = 1; symbol < kBlockSymbols; ++symbol)
    block = shiftIn(block, std::signbit(symbols[symbol]) != std::signbit(symbols[symbol - 1]));
  return block;
}

float costOfBlock(BlockSymbols symbols, std::uint32_t block) {
  return costOfBits(hardBlock(symbols) ^ block, symbols);
}

BlockRanking rankBlock(BlockSymbols symbols, OffsetSet allowed, BlockSymbols cleanReliabilities) {
  float noErrorLog = 0.0F;
  for (const float symbol : symbols)
    noErrorLog -= std::log1p(std::exp(-std::fabs(symbol)));
  const double noError = std::exp(static_cast<double>(noErrorLog));
  const std::uint32_t block = hardBlock(symbols);
  const std::uint16_t found = syndrome(block);
  Ranking ranking;
  for (std::size_t i = 0; i < kOffsetCount; ++i) {
    const auto offset = static_cast<Offset>(i);
    if ((allowed & offsetBit(offset)) == 0) continue;
    const std::uint16_t difference = found ^ kOffsetWords[i];
    if (difference == 0) {
      ranking.consider(0, block, offset, 0.0F);
      continue;
    }
    const std::uint32_t burst = burstOfSyndrome()[difference];
    if (burst != 0) ranking.consider(burst, block, offset, costOfBits(burst, symbols));
  }
  const double tried = noError * (1.0 + ChaseSearch(symbols, block, allowed, ranking).run());
  const auto untriedLog = static_cast<float>(std::log(std::max(1.0 - tried, 1e-30)));
  // Amiss either way: symbols that look like nothing the signal makes, or good-looking symbols of
  // a word this block is not (the stream slipped, another station cut in).
  const double unlike = -modelLogRatio(symbols, cleanReliabilities);
  const auto amissLog =
      static_cast<float>(std::min(0.0, kAmissLog + std::log1p(std::exp(std::min(unlike, 50.0)))));
  return {ranking.best(), ranking.runnerUp(), noErrorLog,
          untriedLog,     amissLog,           static_cast<unsigned>(std::popcount(allowed))};
}

float BlockRanking::logOdds() const {
  if (!best) return -INFINITY;
  const double anyWord =
      std::exp(static_cast<double>(untriedLog)) + std::exp(static_cast<double>(amissLog));
  const double others = std::exp(static_cast<double>(noErrorLog - runnerUp)) +
                        anyWord * offsets / static_cast<double>(1U << kCheckBits);
  return static_cast<float>(static_cast<double>(noErrorLog - best->cost) - std::log(others));
}

bool trustworthy(const BlockRanking& ranking, const SoftLimits& limits) {
  return ranking.logOdds() >= limits.minLogOdds;
}

std::optional<SoftDecision> decideBlock(BlockSymbols symbols, float cleanReliability,
                                        OffsetSet allowed, const SoftLimits& limits) {
  if (!(cleanReliability >= limits.minCleanReliability)) return std::nullopt;
  std::array<float, kBlockSymbols> cleanReliabilities{};
  cleanReliabilities.fill(cleanReliability);
  const BlockRanking ranking = rankBlock(symbols, allowed, cleanReliabilities);
  if (!trustworthy(ranking, limits)) return std::nullopt;
  return ranking.best;
}

}  // namespace tavimor::mpx

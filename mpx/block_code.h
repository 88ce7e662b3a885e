// SPDX-License-Identifier: GPL-3.0-or-later
// The RDS block code: 16 data bits and a 10-bit checkword with the block's offset word added. The
// hard part (syndromes, burst correction) works on the block's bits; the soft part decides a block
// from the reliabilities of the 27 channel symbols it was differentially decoded from.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>

#include "dsp/constants.h"

namespace tavimor::mpx {

// The block's bits as they arrive: the first bit received is the highest.
using dsp::kBlockBits;
inline constexpr unsigned kCheckBits = 10;
inline constexpr std::uint32_t kBlockMask = (1U << kBlockBits) - 1U;
inline constexpr std::uint32_t kCheckMask = (1U << kCheckBits) - 1U;

constexpr std::uint32_t shiftIn(std::uint32_t word, bool bit) {
  return ((word << 1U) | (bit ? 1U : 0U)) & kBlockMask;
}

constexpr std::uint16_t dataOf(std::uint32_t block) {
  return static_cast<std::uint16_t>(block >> kCheckBits);
}

enum class Offset : std::uint8_t { A, B, C, CPrime, D };
inline constexpr std::size_t kOffsetCount = 5;
inline constexpr std::array<std::uint16_t, kOffsetCount> kOffsetWords{0x0FC, 0x198, 0x168, 0x350,
                                                                      0x1B4};

// A set of offsets a block may carry, one bit per Offset.
using OffsetSet = std::uint8_t;
constexpr OffsetSet offsetBit(Offset offset) {
  return static_cast<OffsetSet>(1U << static_cast<unsigned>(offset));
}
inline constexpr OffsetSet kAnyOffset = 0x1F;

std::uint16_t checkword(std::uint16_t data);
std::uint32_t blockOf(std::uint16_t data, Offset offset);
// The block's remainder by the generator: the offset word of a block without errors.
std::uint16_t syndrome(std::uint32_t block);
// The offset whose word the syndrome is, if any.
std::optional<Offset> offsetOfSyndrome(std::uint16_t syndrome);

// The 27 channel symbols behind one block: the last symbol of the previous block, then the 26 of
// this one. Positive and negative are the two symbol values, the magnitude their reliability.
inline constexpr std::size_t kBlockSymbols = 27;
using BlockSymbols = std::span<const float, kBlockSymbols>;

struct SoftDecision {
  std::uint16_t data = 0;
  Offset offset = Offset::A;
  // Sum of the reliabilities of the channel symbols taken as wrong.
  float cost = 0.0F;
};

// Reliabilities are log-likelihood ratios, so a cost is a log-probability: that of the explanation
// less that of no symbol being wrong. A block is accepted only on these terms.
struct SoftLimits {
  // The log-odds of the cheapest explanation against all others, at least.
  float minLogOdds = 7.0F;
  // Where the block is known beforehand (the programme identification), what its explanation
  // needs to score as a log-probability.
  float minKnownScore = -10.0F;
  // Below this a clean symbol's reliability says there is no signal to speak of.
  float minCleanReliability = 1.0F;
};

// The cheapest explanation of a block among the allowed offsets, and the cost of the next one
// that decodes to something else.
struct BlockRanking {
  std::optional<SoftDecision> best;
  float runnerUp = INFINITY;
  // The log-probability that no channel symbol of the block is wrong: less the best cost, that of
  // the best explanation being the truth.
  float noErrorLog = 0.0F;
  // The log-probability of the errors being none of the sets of wrong symbols tried: then any
  // word could have been sent, and a wrong one passes as an allowed offset once in 1024.
  float untriedLog = 0.0F;
  // The log-probability that the symbols are not noisy symbols at all (a click, a station cutting
  // in): then too any word could have come.
  float amissLog = 0.0F;
  unsigned offsets = 0;
  // The log-odds of the best explanation against all others.
  float logOdds() const;
};
// cleanReliabilities: a clean symbol's at each symbol, by which symbols that do not look like the
// signal's are told. Each symbol is judged by the level it was scaled with: the estimates move
// between a block's first symbol and its last.
BlockRanking rankBlock(BlockSymbols symbols, OffsetSet allowed, BlockSymbols cleanReliabilities);

// What it costs to take the symbols for the given block: the reliabilities of the channel symbols
// that would have to be wrong.
float costOfBlock(BlockSymbols symbols, std::uint32_t block);

// The block as the cheapest set of channel symbol errors explains it, among the allowed offsets,
// or nothing when that explanation is not likely enough or not clearly the cheapest.
std::optional<SoftDecision> decideBlock(BlockSymbols symbols, float cleanReliability,
                                        OffsetSet allowed, const SoftLimits& limits);

// Whether a ranked block passes on its own.
bool trustworthy(const BlockRanking& ranking, const SoftLimits& limits);

// The data bits, differentially decoded from channel symbols: a bit is set where the sign changes.
std::uint32_t hardBlock(BlockSymbols symbols);

}  // namespace tavimor::mpx

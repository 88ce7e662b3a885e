// SPDX-License-Identifier: GPL-3.0-or-later
// What the receiver's benchmarks count: the groups it reports against those sent, matched by where
// they ended, a group recovered only whole and as sent, a wrong one wherever a block differs; the
// delay from a group's end to its report; the processor time the receiving took.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "decode/rds_group.h"
#include "receiver/receiver_chain.h"

namespace tavimor::bench {

double threadSeconds();
double median(std::vector<double> values);

struct Tally {
  std::size_t recovered = 0;
  std::size_t wrong = 0;
  std::vector<double> delaysMs;
  double processorSeconds = 0.0;
  double signalSeconds = 0.0;
};

class SentGroups {
 public:
  // endSeconds: when each group ended; the first leadIn are for the receiver to find the station
  // and are not counted, nor is the last, which the signal may end too soon after.
  SentGroups(std::vector<RdsGroup> groups, std::vector<double> endSeconds, std::size_t leadIn);

  std::size_t counted() const { return groups_.size() - leadIn_ - 1; }
  // A group reported once `givenSeconds` of signal had been given.
  void count(const receiver::TimedGroup& reported, double givenSeconds, Tally& tally) const;

 private:
  std::vector<RdsGroup> groups_;
  std::vector<double> endSeconds_;
  std::size_t leadIn_;
};

// The samples given to the chain `write` at a time, as a tuner or a discriminator writes them.
void receive(receiver::ReceiverChain& chain, std::span<const std::complex<float>> iq,
             std::size_t write, const SentGroups& sent, Tally& tally);
void receive(receiver::ReceiverChain& chain, std::span<const float> multiplex, std::size_t write,
             const SentGroups& sent, Tally& tally);

}  // namespace tavimor::bench

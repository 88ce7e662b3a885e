// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/reception_tally.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>

#include "dsp/constants.h"

namespace tavimor::bench {
namespace {

// A group reported this near where one was sent is that group.
constexpr double kMatchSeconds = dsp::kGroupSeconds / 4.0;

bool asSent(const mpx::DecodedGroup& group, const RdsGroup& sent) {
  const std::array<std::uint16_t, 4> blocks{sent.a, sent.b, sent.c, sent.d};
  for (std::size_t i = 0; i < blocks.size(); ++i)
    if (group.blocks[i] && *group.blocks[i] != blocks[i]) return false;
  return true;
}

template <typename Sample>
void receiveSamples(receiver::ReceiverChain& chain, std::span<const Sample> samples,
                    std::size_t write, const SentGroups& sent, Tally& tally) {
  const double rate = chain.settings().sampleRate;
  double given = 0.0;
  const auto onGroup = [&](const receiver::TimedGroup& group) { sent.count(group, given, tally); };
  const double start = threadSeconds();
  for (std::size_t i = 0; i < samples.size(); i += write) {
    const std::size_t n = std::min(write, samples.size() - i);
    given = static_cast<double>(i + n) / rate;
    chain.process(samples.subspan(i, n), onGroup);
  }
  tally.processorSeconds += threadSeconds() - start;
  tally.signalSeconds += static_cast<double>(samples.size()) / rate;
}

}  // namespace

double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
  if (values.empty()) return NAN;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2),
                   values.end());
  return values[values.size() / 2];
}

SentGroups::SentGroups(std::vector<RdsGroup> groups, std::vector<double> endSeconds,
                       std::size_t leadIn)
    : groups_(std::move(groups)), endSeconds_(std::move(endSeconds)), leadIn_(leadIn) {}

void SentGroups::count(const receiver::TimedGroup& reported, double givenSeconds,
                       Tally& tally) const {
  const auto after =
      std::lower_bound(endSeconds_.begin(), endSeconds_.end(), reported.endSeconds - kMatchSeconds);
  if (after == endSeconds_.end() || std::abs(*after - reported.endSeconds) > kMatchSeconds) {
    ++tally.wrong;
    return;
  }
  const auto index = static_cast<std::size_t>(after - endSeconds_.begin());
  if (!asSent(reported.group, groups_[index])) {
    ++tally.wrong;
    return;
  }
  if (index < leadIn_ || index >= leadIn_ + counted()) return;
  if (reported.group.complete()) ++tally.recovered;
  tally.delaysMs.push_back((givenSeconds - *after) * 1e3);
}

void receive(receiver::ReceiverChain& chain, std::span<const std::complex<float>> iq,
             std::size_t write, const SentGroups& sent, Tally& tally) {
  receiveSamples(chain, iq, write, sent, tally);
}

void receive(receiver::ReceiverChain& chain, std::span<const float> multiplex, std::size_t write,
             const SentGroups& sent, Tally& tally) {
  receiveSamples(chain, multiplex, write, sent, tally);
}

}  // namespace tavimor::bench

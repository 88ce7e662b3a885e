// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/echo_canceller.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace tavimor::mpx {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// The guard band between the programme (up to 15 kHz) and the pilot: transmitters keep it empty to
// protect the pilot, and the discriminator's noise there is 12 dB below what it is above the RDS
// band, where undoing an echo raises it as much as it removes intermodulation.
constexpr double kBandCentreHz = 17'000.0;
constexpr double kBandHalfHz = 1'000.0;
constexpr double kBandStopHz = 2'000.0;
constexpr double kBandAttenuationDb = 50.0;
constexpr double kBandRateHz = 5'400.0;
// The delays tried, in microseconds: a delay within about a third of the echo's undoes it. Less
// than a sample, the inversion would lean on the sample it is finding; such short echoes bend the
// multiplex little.
constexpr std::array<double, 6> kDelaysUs{4.0, 6.0, 8.5, 12.0, 17.0, 24.0};
constexpr double kBlockSeconds = 0.04;
// Gauss-Newton steps: damping, and the share of the step taken.
constexpr double kDamping = 0.3;
constexpr double kStepShare = 0.7;
// Echoes nearly as strong as the direct path are beyond this inversion: a gain held at this limit
// is a false fit.
constexpr double kMostGain = 0.85;
// Gauss-Newton steps a probe takes on a block; from no echo, the gains it starts from.
constexpr int kIterations = 2;
constexpr std::size_t kStartPhases = 4;
constexpr double kStartGain = 0.5;
// A probe takes over when it leaves this share of the power, or less, of what is undone now; the
// echo is let go when, smoothed over blocks, undoing it leaves more than this share of the
// received power. An inversion may also shape noise in the band a little, as a filter would,
// whatever echo it undoes: only a clear drop is an echo found.
constexpr double kTakeOver = 0.5;
constexpr double kLetGo = 0.7;
// Without a programme sweeping the carrier across the echo's nulls, an echo bends nothing, and an
// inversion is a fixed filter that can only shape what noise or pilot leaks into the band: an echo
// is looked for only where the multiplex below the band (block means of a few samples) sweeps the
// carrier by this much, root mean square, and stands this far above the band's power, each per
// hertz (noise spreads evenly).
constexpr std::size_t kLowSamples = 8;
constexpr double kLeastSweepHz = 5'000.0;
constexpr double kLeastSweep = 10.0;
// Nor is there intermodulation to speak of in a band that holds less than this share of the
// multiplex's power: what a probe removes there is next to nothing, however large a share of it.
constexpr double kLeastBandShare = 1e-6;
// A probe's gain is kept for its next turn, unless it left clearly more power than received.
constexpr double kWorse = 1.1;
constexpr double kRatioBlocks = 8.0;
// The band's power is measured over every fourth block, and a delay probed on every other of those
// while no echo is undone, on every fourth while one is (and until every delay has been tried
// once, on every one measured).
constexpr std::uint64_t kMeasureEvery = 4;
constexpr std::uint64_t kProbeEveryIdle = 8;
constexpr std::uint64_t kProbeEveryUndoing = 16;
// Once every delay has been tried without finding an echo, a probe only every this many blocks:
// a probe from no echo costs seven passes over its block.
constexpr std::uint64_t kProbeEveryQuiet = 32;

std::complex<double> limited(std::complex<double> gain) {
  const double magnitude = std::abs(gain);
  return magnitude > kMostGain ? gain * (kMostGain / magnitude) : gain;
}

}  // namespace

EchoCanceller::Inversion::Inversion(std::size_t longestDelay)
    : phases_(std::bit_ceil(longestDelay + 8)), mask_(phases_.size() - 1) {}

// Through the four samples nearest, or the three up to the newest where `at` is less than a
// sample before it.
double EchoCanceller::Inversion::phaseAt(double at) const {
  const double whole = std::floor(at);
  const auto first = static_cast<std::uint64_t>(whole) - 1;
  const double mu = at - whole;
  const double before = phases_[first & mask_];
  const double here = phases_[(first + 1) & mask_];
  const double after = phases_[(first + 2) & mask_];
  if (first + 3 > count_) {
    return here + mu * (after - before) / 2.0 + mu * mu * (after - 2.0 * here + before) / 2.0;
  }
  const double further = phases_[(first + 3) & mask_];
  const double m1 = -mu * (mu - 1.0) * (mu - 2.0) / 6.0;
  const double m0 = (mu + 1.0) * (mu - 1.0) * (mu - 2.0) / 2.0;
  const double p1 = -(mu + 1.0) * mu * (mu - 2.0) / 2.0;
  const double p2 = (mu + 1.0) * mu * (mu - 1.0) / 6.0;
  return before * m1 + here * m0 + after * p1 + further * p2;
}

double EchoCanceller::Inversion::next(double step, const Echo& echo, bool wantSlopes,
                                      std::complex<double>& slopes) {
  const double previous = phases_[(count_ + mask_) & mask_];
  received_ += step;
  double& phase = phases_[count_ & mask_];
  phase = previous + step;
  std::complex<double> phaseSlopes;
  // The transmitted phase moves less than half a turn a sample, whatever the received one did.
  const auto nearPrevious = [previous](double found) {
    return found - kTwoPi * std::round((found - previous) / kTwoPi);
  };
  if ((echo.gain != 0.0 || wantSlopes) && static_cast<double>(count_) > echo.delay + 4.0) {
    // The delayed phase leans a little on this sample's own: taken first as turned from the
    // received one as much as the sample before.
    phase = nearPrevious(received_ + correction_);
    const std::complex<double> delayed =
        std::polar(1.0, phaseAt(static_cast<double>(count_) - echo.delay) - received_);
    double cosine = 1.0;
    if (echo.gain != 0.0) {
      const std::complex<double> echoHere = echo.gain * delayed;
      // The direct path's phasor, turned by the received phase: 1 in size, and with the echo it
      // lies along the received phasor's direction.
      const double along = echoHere.real();
      const double length = along + std::sqrt(along * along + 1.0 - std::norm(echoHere));
      const std::complex<double> direct = length - echoHere;
      phase = nearPrevious(received_ + std::arg(direct));
      cosine = std::max(direct.real(), 0.2);
    }
    correction_ = phase - received_;
    phaseSlopes = {-delayed.imag() / cosine, -delayed.real() / cosine};
  } else {
    correction_ = 0.0;
  }
  // The multiplex is the phase's step: so are its slopes.
  slopes = phaseSlopes - previousSlopes_;
  previousSlopes_ = phaseSlopes;
  // Far from 0, a double keeps fewer bits of the phase: both move back together by whole turns.
  if (std::fabs(received_) > 1e6) {
    const double turns = kTwoPi * std::round(received_ / kTwoPi);
    received_ -= turns;
    for (double& kept : phases_)
      kept -= turns;
  }
  ++count_;
  return phase - previous;
}

EchoCanceller::BandPower::BandPower(const Design& design, bool slopes)
    : mixed_(slopes ? 3 : 1, std::vector<std::complex<float>>(design.decimation)),
      decimation_(design.decimation),
      skip_(design.skip),
      turn_(std::polar(1.0, -design.centre)) {
  for (std::size_t i = 0; i < mixed_.size(); ++i)
    filters_.push_back(dsp::makeDecimator(decimation_, design.taps));
}

void EchoCanceller::BandPower::restart() {
  pushed_ = 0;
  count_ = 0;
  power_ = 0.0;
  std::fill(std::begin(slopePower_), std::end(slopePower_), 0.0);
  std::fill(std::begin(cross_), std::end(cross_), 0.0);
}

void EchoCanceller::BandPower::push(double multiplex, std::complex<double> slopes) {
  const std::complex<float> turn(oscillator_);
  oscillator_ *= turn_;
  mixed_[0][filled_] = static_cast<float>(multiplex) * turn;
  if (mixed_.size() > 1) {
    mixed_[1][filled_] = static_cast<float>(slopes.real()) * turn;
    mixed_[2][filled_] = static_cast<float>(slopes.imag()) * turn;
  }
  ++pushed_;
  if (++filled_ < decimation_) return;
  filled_ = 0;
  oscillator_ /= std::abs(oscillator_);
  std::array<std::complex<float>, 3> out{};
  for (std::size_t i = 0; i < mixed_.size(); ++i)
    firdecim_crcf_execute(filters_[i].get(), mixed_[i].data(), &out[i]);
  if (pushed_ <= skip_) return;
  const std::complex<double> y(out[0]);
  power_ += std::norm(y);
  ++count_;
  if (mixed_.size() == 1) return;
  const std::complex<double> re(out[1]);
  const std::complex<double> im(out[2]);
  slopePower_[0] += std::norm(re);
  slopePower_[1] += std::real(re * std::conj(im));
  slopePower_[2] += std::norm(im);
  cross_[0] += std::real(re * std::conj(y));
  cross_[1] += std::real(im * std::conj(y));
}

// Levenberg-Marquardt: the least-squares step, its diagonal weighted up for a step that stays
// where the slopes hold.
std::complex<double> EchoCanceller::BandPower::step() const {
  const double floor = 1e-9 * (slopePower_[0] + slopePower_[2]) + 1e-30;
  const double a = slopePower_[0] * (1.0 + kDamping) + floor;
  const double b = slopePower_[1];
  const double d = slopePower_[2] * (1.0 + kDamping) + floor;
  const double determinant = a * d - b * b;
  return {(-cross_[0] * d + cross_[1] * b) / determinant,
          (-cross_[1] * a + cross_[0] * b) / determinant};
}

EchoCanceller::BandPower::Design EchoCanceller::bandDesign(double sampleRate) {
  std::vector<float> taps =
      dsp::lowPassTaps(kBandHalfHz / sampleRate, kBandStopHz / sampleRate, kBandAttenuationDb);
  const std::size_t skip = taps.size() + 128;
  return {std::move(taps),
          static_cast<unsigned>(std::max(1L, std::lround(sampleRate / kBandRateHz))),
          kTwoPi * kBandCentreHz / sampleRate, skip};
}

EchoCanceller::EchoCanceller(double sampleRate)
    : sampleRate_(sampleRate),
      radiansPerUnit_(kTwoPi),
      blockLength_(static_cast<std::size_t>(std::lround(kBlockSeconds * sampleRate))),
      longestDelay_(static_cast<std::size_t>(std::ceil(kDelaysUs.back() * 1e-6 * sampleRate))),
      band_(bandDesign(sampleRate)),
      inversion_(longestDelay_),
      received_(band_, false),
      undone_(band_, true) {
  for (const double us : kDelaysUs)
    if (us * 1e-6 * sampleRate >= 1.0) candidates_.push_back({us * 1e-6 * sampleRate, {}});
  block_.reserve(blockLength_);
}

void EchoCanceller::process(std::span<const float> in, std::vector<float>& out) {
  if (candidates_.empty()) {
    out.insert(out.end(), in.begin(), in.end());
    return;
  }
  std::complex<double> slopes;
  for (const float x : in) {
    const bool measured = blocks_ % kMeasureEvery == 0;
    if (measured) {
      block_.push_back(x);
      received_.push(x, {});
      blockPower_ += static_cast<double>(x) * x;
      lowSum_ += x;
      if (++lowCount_ == kLowSamples) {
        lowPower_ += lowSum_ * lowSum_ / (kLowSamples * kLowSamples);
        ++lowSums_;
        lowSum_ = 0.0;
        lowCount_ = 0;
      }
    }
    const double step = static_cast<double>(x) * radiansPerUnit_;
    if (undoing_) {
      const double y = inversion_.next(step, echo_, measured, slopes) / radiansPerUnit_;
      if (measured) undone_.push(y, slopes / radiansPerUnit_);
      out.push_back(static_cast<float>(y));
    } else {
      inversion_.next(step, {}, false, slopes);
      out.push_back(x);
    }
    if (++inBlock_ == blockLength_) endBlock();
  }
}

bool EchoCanceller::programmeSweeps(double bandPower) const {
  if (lowSums_ == 0 ||
      bandPower < kLeastBandShare * blockPower_ / static_cast<double>(blockLength_))
    return false;
  const double low = lowPower_ / static_cast<double>(lowSums_);
  const double sweepHz = std::sqrt(low) * radiansPerUnit_ / kTwoPi * sampleRate_;
  const double lowPerHz = low / (sampleRate_ / (2.0 * kLowSamples));
  const double bandPerHz = bandPower / (2.0 * kBandHalfHz);
  return sweepHz >= kLeastSweepHz && lowPerHz >= kLeastSweep * bandPerHz;
}

void EchoCanceller::endBlock() {
  inBlock_ = 0;
  if (blocks_++ % kMeasureEvery != 0) return;
  const double receivedPower = received_.power();
  const double undonePower = undoing_ ? undone_.power() : receivedPower;
  if (undoing_) {
    echo_.gain = limited(echo_.gain + kStepShare * undone_.step());
    ratio_ += (undonePower / std::max(receivedPower, 1e-30) - ratio_) / kRatioBlocks;
    if (ratio_ > kLetGo) {
      undoing_ = false;
      echo_ = {};
    }
  }
  const bool quiet = !undoing_ && nextCandidate_ > candidates_.size() + lastTakeOver_;
  const std::uint64_t every =
      undoing_ ? kProbeEveryUndoing : (quiet ? kProbeEveryQuiet : kProbeEveryIdle);
  if (nextCandidate_ < candidates_.size() || blocks_ % every == 1) {
    Candidate& candidate = candidates_[nextCandidate_++ % candidates_.size()];
    if (!undoing_ || candidate.delay != echo_.delay) {
      const double power = evaluate(candidate);
      const bool limited = std::abs(candidate.gain) > 0.99 * kMostGain;
      if (power < kTakeOver * undonePower && !limited && programmeSweeps(receivedPower)) {
        echo_ = {candidate.delay, candidate.gain};
        undoing_ = true;
        lastTakeOver_ = nextCandidate_;
        ratio_ = power / std::max(receivedPower, 1e-30);
      } else if (power > kWorse * receivedPower || limited) {
        candidate.gain = {};
      }
    }
  }
  received_.restart();
  undone_.restart();
  block_.clear();
  blockPower_ = 0.0;
  lowPower_ = 0.0;
  lowSums_ = 0;
}

// The candidate's gain moved on by Gauss-Newton steps over the last block; the power in the band
// it leaves there. From no echo, the step is first taken from the best of a few gains around the
// circle and the first step from none: for some phases of an echo, the power barely changes near
// no echo, and steps from there wander.
double EchoCanceller::evaluate(Candidate& candidate) {
  std::complex<double> slopes;
  const auto pass = [&](const Echo& echo) {
    Inversion inversion(longestDelay_);
    BandPower band(band_, true);
    for (const float x : block_) {
      const double y = inversion.next(static_cast<double>(x) * radiansPerUnit_, echo, true, slopes);
      band.push(y / radiansPerUnit_, slopes / radiansPerUnit_);
    }
    return band;
  };
  if (candidate.gain == 0.0) {
    std::vector<std::complex<double>> starts{
        limited(kStepShare * pass({candidate.delay, {}}).step())};
    for (std::size_t k = 0; k < kStartPhases; ++k)
      starts.push_back(std::polar(kStartGain, kTwoPi * static_cast<double>(k) / kStartPhases));
    double least = INFINITY;
    for (const std::complex<double> start : starts) {
      const double power = pass({candidate.delay, start}).power();
      if (power < least) {
        least = power;
        candidate.gain = start;
      }
    }
  }
  double power = 0.0;
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    const Echo echo{candidate.delay, candidate.gain};
    const BandPower band = pass(echo);
    power = band.power();
    if (iteration + 1 < kIterations) candidate.gain = limited(echo.gain + kStepShare * band.step());
  }
  return power;
}

}  // namespace tavimor::mpx

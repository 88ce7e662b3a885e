// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/mpx_signal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>

namespace tavimor::testing {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kPilotHz = 19'000.0;
constexpr double kSymbolSeconds = 16.0 / kPilotHz;
constexpr int kBitsPerGroup = 104;
constexpr double kProgrammePeak = 0.8;
constexpr double kPilotLevel = 0.09;
constexpr double kNoiseBandHz = 4'800.0;

// The checkword with the offset word added, by long division by x^10+x^8+x^7+x^5+x^4+x^3+1.
std::uint32_t blockBits(std::uint16_t data, std::uint16_t offsetWord) {
  std::uint32_t reg = static_cast<std::uint32_t>(data) << 10U;
  for (int bit = 25; bit >= 10; --bit)
    if ((reg >> bit) & 1U) reg ^= 0x5B9U << (bit - 10);
  return (static_cast<std::uint32_t>(data) << 10U) | ((reg & 0x3FFU) ^ offsetWord);
}

std::vector<int> channelSymbols(std::span<const RdsGroup> groups) {
  std::vector<int> symbols;
  symbols.reserve(groups.size() * kBitsPerGroup);
  int previous = 0;
  for (const RdsGroup& group : groups) {
    const bool versionB = ((group.b >> 11U) & 1U) != 0;
    const std::array<std::uint32_t, 4> blocks{blockBits(group.a, 0x0FC), blockBits(group.b, 0x198),
                                              blockBits(group.c, versionB ? 0x350 : 0x168),
                                              blockBits(group.d, 0x1B4)};
    for (const std::uint32_t block : blocks) {
      for (int bit = 25; bit >= 0; --bit) {
        previous ^= static_cast<int>((block >> bit) & 1U);  // differential coding
        symbols.push_back(previous);
      }
    }
  }
  return symbols;
}

// The transmitter's symbol: impulses + and - half a symbol apart through the shaping filter
// cos(pi f Td / 4) up to 2/Td; tabulated over its span and windowed at the ends.
class PulseTable {
 public:
  static constexpr double kSpan = 6.0;  // symbols either side
  static constexpr int kPerSymbol = 512;
  // Random data through this pulse peaks at about 1.12: scaled, the level is the peak.
  static constexpr double kPeak = 1.12;

  PulseTable() : values_(static_cast<std::size_t>(2 * kSpan * kPerSymbol) + 2) {
    for (std::size_t i = 0; i < values_.size(); ++i) {
      const double t = static_cast<double>(i) / kPerSymbol - kSpan;  // from the pulse's centre
      const double window = std::abs(t) < kSpan ? 0.5 + 0.5 * std::cos(kPi * t / kSpan) : 0.0;
      values_[i] = window * (shaped(t + 0.25) - shaped(t - 0.25)) / kPeak;
    }
  }

  // t in symbols from the pulse's centre, a quarter of a symbol after the symbol starts.
  double at(double t) const {
    const double index = (t + kSpan) * kPerSymbol;
    if (index < 0.0 || index >= static_cast<double>(values_.size() - 1)) return 0.0;
    const auto whole = static_cast<std::size_t>(index);
    const double fraction = index - static_cast<double>(whole);
    return values_[whole] * (1.0 - fraction) + values_[whole + 1] * fraction;
  }

 private:
  static double shaped(double t) {
    const double x = 8.0 * t;
    if (std::abs(std::abs(x) - 1.0) < 1e-9) return kPi / 4.0;
    return std::cos(kPi * x / 2.0) / (1.0 - x * x);
  }

  std::vector<double> values_;
};

struct Tone {
  double hz;
  double phase;
};

std::vector<Tone> tones(std::mt19937& random, int count) {
  std::uniform_real_distribution<double> hz(50.0, 15'000.0);
  std::uniform_real_distribution<double> phase(0.0, 2.0 * kPi);
  std::vector<Tone> result;
  result.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    result.push_back({hz(random), phase(random)});
  return result;
}

// A tone's phasor, turned a step each sample and set exactly every few thousand samples.
class Oscillator {
 public:
  Oscillator(double hz, double phase, double sampleRate)
      : phase_(phase), step_(2.0 * kPi * hz / sampleRate), turn_(std::polar(1.0, step_)) {}

  // For n = 0, 1, 2... in turn.
  std::complex<double> next(std::size_t n) {
    constexpr std::size_t kExactEvery = 4096;
    if (n % kExactEvery == 0)
      value_ = std::polar(1.0, phase_ + step_ * static_cast<double>(n));
    else
      value_ *= turn_;
    return value_;
  }

 private:
  double phase_;
  double step_;
  std::complex<double> turn_;
  std::complex<double> value_;
};

std::vector<Oscillator> oscillators(const std::vector<Tone>& voice, double sampleRate) {
  std::vector<Oscillator> result;
  result.reserve(voice.size());
  for (const Tone& tone : voice)
    result.emplace_back(tone.hz, tone.phase, sampleRate);
  return result;
}

double sound(std::vector<Oscillator>& voice, std::size_t n) {
  double sum = 0.0;
  for (Oscillator& tone : voice)
    sum += tone.next(n).imag();
  return sum / static_cast<double>(voice.size());
}

void addWhiteNoise(std::vector<float>& samples, double deviation, std::mt19937& random) {
  std::normal_distribution<float> noise(0.0F, static_cast<float>(deviation));
  for (float& sample : samples)
    sample += noise(random);
}

double noiseDeviation(double rdsPower, double snrDb, double sampleRate) {
  const double inBand = rdsPower / std::pow(10.0, snrDb / 10.0);
  return std::sqrt(inBand * (sampleRate / 2.0) / kNoiseBandHz);
}

// Multiplies the samples of each stretch, in seconds from the start, by the factor.
void scale(std::vector<float>& samples, const std::vector<std::pair<double, double>>& stretches,
           double sampleRate, double factor) {
  for (const auto& [from, to] : stretches) {
    const auto last = std::min(samples.size(), static_cast<std::size_t>(to * sampleRate));
    for (auto n = static_cast<std::size_t>(std::max(0.0, from) * sampleRate); n < last; ++n)
      samples[n] = static_cast<float>(samples[n] * factor);
  }
}

}  // namespace

MpxSignal synthesizeMpx(std::span<const RdsGroup> groups, const MpxSignalOptions& options) {
  static const PulseTable pulse;
  std::mt19937 random(options.seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  double pilotStart = 2.0 * kPi * unit(random);
  // The subcarrier turns with three times the pilot's phase.
  if (options.subcarrierPhase) pilotStart = *options.subcarrierPhase / 3.0;
  // The bit clock is locked to the pilot, at a phase of its own.
  const double clockStart = options.firstBitSeconds.value_or(unit(random) * kSymbolSeconds);
  const std::vector<int> symbols = channelSymbols(groups);
  const double clock = 1.0 + options.clockErrorPpm * 1e-6;
  // The RDS encoder's time runs this much faster than the transmitter's.
  const double rdsClock = 1.0 + options.rdsClockPpm * 1e-6;
  const double lastSymbolEnd = clockStart + static_cast<double>(symbols.size()) * kSymbolSeconds;
  const auto length = static_cast<std::size_t>(
      std::ceil((lastSymbolEnd / rdsClock + 0.2) / clock * options.sampleRate));

  MpxSignal signal;
  for (std::size_t g = 1; g <= groups.size(); ++g) {
    const double end = clockStart + static_cast<double>(g * kBitsPerGroup) * kSymbolSeconds;
    signal.groupEnds.push_back(
        static_cast<std::uint64_t>(std::llround(end / rdsClock / clock * options.sampleRate)));
  }

  // Rates in the transmitter's time, which runs faster by the clock error.
  const double rate = options.sampleRate / clock;
  const std::vector<Tone> leftTones = tones(random, 5);
  std::vector<Oscillator> left = oscillators(leftTones, rate);
  std::vector<Oscillator> right =
      oscillators(options.programme == Programme::Stereo ? tones(random, 5) : leftTones, rate);
  Oscillator pilot(kPilotHz, pilotStart, rate);
  const bool ownClock = options.rdsClockPpm != 0.0;
  Oscillator subcarrier(3.0 * kPilotHz * rdsClock, 3.0 * pilotStart, rate);
  const std::complex<double> carrierOffset =
      options.pilot == PilotTone::Quadrature ? std::complex<double>(0.0, 1.0) : 1.0;
  signal.samples.resize(length);
  double rdsPower = 0.0;
  for (std::size_t n = 0; n < length; ++n) {
    const double t = static_cast<double>(n) / options.sampleRate * clock;
    const std::complex<double> pilotTurn = pilot.next(n);
    const std::complex<double> subcarrierTurn =
        ownClock ? subcarrier.next(n) : pilotTurn * pilotTurn * pilotTurn;
    const double symbolTime = (t * rdsClock - clockStart) / kSymbolSeconds - 0.25;
    const auto nearest = static_cast<long long>(std::floor(symbolTime));
    double baseband = 0.0;
    for (long long k = nearest - static_cast<long long>(PulseTable::kSpan);
         k <= nearest + static_cast<long long>(PulseTable::kSpan) + 1; ++k) {
      if (k < 0 || k >= static_cast<long long>(symbols.size())) continue;
      const double value = symbols[static_cast<std::size_t>(k)] != 0 ? 1.0 : -1.0;
      baseband += value * pulse.at(symbolTime - static_cast<double>(k));
    }
    const double rds = options.rdsLevel * baseband * (subcarrierTurn * carrierOffset).real();
    rdsPower += rds * rds;
    double mpx = rds;
    const double seconds = static_cast<double>(n) / options.sampleRate;
    const bool pilotOn = options.pilot != PilotTone::Absent &&
                         std::ranges::none_of(options.monoStretches, [&](const auto& stretch) {
                           return stretch.first <= seconds && seconds < stretch.second;
                         });
    if (pilotOn) mpx += kPilotLevel * pilotTurn.real();
    if (options.programme != Programme::Silent) {
      const double l = sound(left, n);
      const double r = sound(right, n);
      const double stereo = pilotOn ? (pilotTurn * pilotTurn).real() : 0.0;
      mpx += kProgrammePeak * ((l + r) / 2.0 + (l - r) / 2.0 * stereo);
    }
    signal.samples[n] = static_cast<float>(mpx);
  }
  scale(signal.samples, options.fades, options.sampleRate, 0.0);
  signal.rdsPower = rdsPower / static_cast<double>(length);
  if (options.snrDb)
    addWhiteNoise(signal.samples,
                  noiseDeviation(signal.rdsPower, *options.snrDb, options.sampleRate), random);
  scale(signal.samples, options.silences, options.sampleRate, 0.0);
  const double end = static_cast<double>(length) / options.sampleRate;
  scale(signal.samples, {{options.levelStepAt, end}}, options.sampleRate, options.levelStep);
  return signal;
}

MpxSignal retune(MpxSignal from, const MpxSignal& to, std::size_t keptGroups) {
  from.groupEnds.resize(keptGroups);
  const std::uint64_t cut = from.groupEnds.back();
  from.samples.resize(cut);
  from.samples.insert(from.samples.end(), to.samples.begin(), to.samples.end());
  for (const std::uint64_t end : to.groupEnds)
    from.groupEnds.push_back(cut + end);
  return from;
}

std::vector<RdsGroup> randomGroups(std::size_t count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<unsigned> word(0, 0xFFFF);
  const auto pi = static_cast<std::uint16_t>(word(random));
  std::vector<RdsGroup> groups(count);
  for (RdsGroup& group : groups) {
    group.a = pi;
    group.b = static_cast<std::uint16_t>(word(random));
    const bool versionB = ((group.b >> 11U) & 1U) != 0;
    group.c = versionB ? pi : static_cast<std::uint16_t>(word(random));
    group.d = static_cast<std::uint16_t>(word(random));
  }
  return groups;
}

void addNoise(std::vector<float>& samples, double rdsPower, double snrDb, double sampleRate,
              std::uint32_t seed) {
  std::mt19937 random(seed);
  addWhiteNoise(samples, noiseDeviation(rdsPower, snrDb, sampleRate), random);
}

}  // namespace tavimor::testing

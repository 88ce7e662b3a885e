// SPDX-License-Identifier: GPL-3.0-or-later
// An echo of the FM signal undone from the multiplex alone. A second path, later and weaker, turns
// the received carrier's phase by an amount that follows the programme's instantaneous frequency:
// through the discriminator, intermodulation of the programme, much of it on the RDS subcarrier.
// The received phase is the running sum of the multiplex. While the direct path is the stronger,
// the transmitted phasor at each sample is the one unit phasor that, with the echo of the phasors
// found a delay before, points where the received one does: the echo is undone sample by sample.
// Its strength, phase and delay are found blind, as those that leave the least power above the RDS
// band, where a station sends nothing and intermodulation shows.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dsp/liquid.h"

namespace tavimor::mpx {

class EchoCanceller {
 public:
  explicit EchoCanceller(double sampleRate);

  // The carrier's phase step, in radians, for a multiplex sample of 1.
  void setRadiansPerUnit(double radians) { radiansPerUnit_ = radians; }
  // One sample for each of `in`, appended to `out`, without delay: while no echo is found, the
  // input itself.
  void process(std::span<const float> in, std::vector<float>& out);
  // An echo is being undone.
  bool undoing() const { return undoing_; }

  struct Echo {
    double delay = 0.0;         // samples
    std::complex<double> gain;  // of the direct path's amplitude
  };

 private:
  // The transmitted phase, sample by sample, and how it moves with the echo's gain.
  class Inversion {
   public:
    explicit Inversion(std::size_t longestDelay);
    // step: the received phase's step this sample, radians. Returns the transmitted one's, and
    // where wanted, in slopes its derivatives by the gain's real and imaginary parts.
    double next(double step, const Echo& echo, bool wantSlopes, std::complex<double>& slopes);

   private:
    double phaseAt(double at) const;

    std::vector<double> phases_;  // transmitted, unwrapped, a ring
    std::size_t mask_;
    std::uint64_t count_ = 0;
    double received_ = 0.0;
    double correction_ = 0.0;  // of the received phase, at the sample before
    std::complex<double> previousSlopes_;
  };

  // The power of a multiplex in the guard band between the programme and the pilot, where a
  // station sends nothing, and of its slopes by the echo's gain, for the Gauss-Newton step that
  // moves the gain to where that power is least.
  class BandPower {
   public:
    struct Design {
      std::vector<float> taps;
      unsigned decimation;
      double centre;     // radians a sample
      std::size_t skip;  // samples at the start left out, while the filters and inversions settle
    };
    BandPower(const Design& design, bool slopes);
    void restart();
    void push(double multiplex, std::complex<double> slopes);
    double power() const { return count_ > 0 ? power_ / static_cast<double>(count_) : 0.0; }
    // The change of gain that would leave least power, damped.
    std::complex<double> step() const;

   private:
    std::vector<dsp::FirDecimator> filters_;
    std::vector<std::vector<std::complex<float>>> mixed_;
    unsigned decimation_;
    std::size_t skip_;
    std::complex<double> turn_;
    std::complex<double> oscillator_{1.0, 0.0};
    std::uint64_t pushed_ = 0;
    unsigned filled_ = 0;
    std::uint64_t count_ = 0;
    double power_ = 0.0;
    double slopePower_[3] = {};  // real-real, real-imaginary, imaginary-imaginary
    double cross_[2] = {};
  };

  struct Candidate {
    double delay;
    std::complex<double> gain;
  };

  static BandPower::Design bandDesign(double sampleRate);
  // Whether the programme sweeps the carrier far enough for an echo to bend the multiplex.
  bool programmeSweeps(double bandPower) const;
  void endBlock();
  double evaluate(Candidate& candidate);

  double sampleRate_;
  double radiansPerUnit_;
  std::size_t blockLength_;
  std::size_t longestDelay_;
  BandPower::Design band_;
  std::vector<float> block_;
  std::vector<Candidate> candidates_;
  std::size_t nextCandidate_ = 0;
  std::size_t lastTakeOver_ = 0;  // nextCandidate_ when a probe last took over
  std::uint64_t blocks_ = 0;
  std::size_t inBlock_ = 0;
  Echo echo_;
  bool undoing_ = false;
  Inversion inversion_;
  BandPower received_;
  BandPower undone_;
  // The multiplex's power summed over the block measured; block means of a few samples over it,
  // their sum of squares, and how many.
  double blockPower_ = 0.0;
  double lowSum_ = 0.0;
  std::size_t lowCount_ = 0;
  double lowPower_ = 0.0;
  std::size_t lowSums_ = 0;
  double ratio_ = 1.0;  // of the power left undone to the received, smoothed over blocks
};

}  // namespace tavimor::mpx

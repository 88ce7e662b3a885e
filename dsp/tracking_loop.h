// SPDX-License-Identifier: GPL-3.0-or-later
// The second-order loop that follows the pilot, the RDS subcarrier and the bit clock: a phase and a
// frequency, both trimmed by every error the loop's detector measures.
#pragma once

namespace tavimor::dsp {

struct LoopSettings {
  // The loop's noise bandwidth, as a share of the rate of its corrections.
  double bandwidth = 0.0;
  // The detector's error for one unit of phase error.
  double slope = 1.0;
  // The frequency, in phase per correction, stays within this of none.
  double mostFrequency = 0.0;
};

class TrackingLoop {
 public:
  explicit TrackingLoop(const LoopSettings& settings);

  double phase() const { return phase_; }
  // Phase per correction interval.
  double frequency() const { return frequency_; }

  // Takes one error from the detector, positive for a phase that is behind.
  void correct(double error);
  // Moves the phase on by its own frequency, over this share of a correction interval.
  void advance(double share = 1.0) { phase_ += frequency_ * share; }
  // Moves the phase by a reference the loop is measured against, or by a jump found elsewhere.
  void turn(double by) { phase_ += by; }
  void setFrequency(double frequency);
  void setMostFrequency(double most);

 private:
  double proportional_;
  double integral_;
  double mostFrequency_;
  double phase_ = 0.0;
  double frequency_ = 0.0;
};

}  // namespace tavimor::dsp

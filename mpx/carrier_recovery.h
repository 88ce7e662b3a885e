// SPDX-License-Identifier: GPL-3.0-or-later
// The RDS subcarrier's phase at each symbol, from the matched filter's output. A narrow loop rides
// out noise but locks only within a hertz or two of where it starts; a wide one locks at once but
// noise shakes it, and it follows a phase that wanders. So narrow loops start a little apart over
// every frequency the subcarrier may have, beside one wide loop, and the loop whose symbols stand
// clearest of the quadrature leads. Loops that fall behind go back to where they started.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dsp/running_mean.h"
#include "dsp/tracking_loop.h"

namespace tavimor::mpx {

class CarrierRecovery {
 public:
  CarrierRecovery();

  // The symbol's output with the leading loop's phase taken off; then every loop follows it.
  // power: the outputs' mean power.
  std::complex<float> follow(std::complex<float> output, double power);
  // A frequency every loop turns with beside its own, in radians per symbol: three times the
  // pilot's offset. Each loop's own frequency takes up the change, so nothing jumps.
  void setReference(double radiansPerSymbol);
  // The station came back or changed: after the next few symbols, every loop takes the phase
  // those symbols show, rather than wait for a narrow loop to find it.
  void findPhaseAgain() { findPhaseIn_ = kPhaseSymbols; }
  // How clearly the leading loop's symbols have stood out over the last second or so: 1 for clean
  // ones, 0 for noise or a lost carrier.
  double clarity() const { return settledClarity_.value(); }

 private:
  struct Hypothesis {
    dsp::TrackingLoop loop;
    double home;  // radians per symbol
    // How clearly its symbols stand out of the quadrature.
    dsp::RunningMean<double> clarity;
  };

  static constexpr std::size_t kPhaseSymbols = 16;

  void lead();
  void sendBehindHome();
  void takePhase();

  std::vector<Hypothesis> loops_;
  std::size_t leader_ = 0;
  double reference_ = 0.0;
  std::uint64_t symbols_ = 0;
  std::array<std::complex<float>, kPhaseSymbols> outputs_{};
  // At the start too: loops that start a quarter turn from the carrier would hang there.
  std::size_t findPhaseIn_ = kPhaseSymbols;
  dsp::RunningMean<double> settledClarity_;
};

}  // namespace tavimor::mpx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpx/biphase_pulse.h"

#include <cmath>
#include <numbers>

namespace tavimor::mpx {

double shapingResponse(double t, double td) {
  const double x = 8.0 * t / td;
  // At x = +-1 numerator and denominator vanish together.
  if (std::fabs(std::fabs(x) - 1.0) < 1e-9) return std::numbers::pi / 4.0;
  return std::cos(std::numbers::pi * x / 2.0) / (1.0 - x * x);
}

double biphasePulse(double t, double td) {
  return shapingResponse(t, td) - shapingResponse(t - td / 2.0, td);
}

}  // namespace tavimor::mpx

// SPDX-License-Identifier: GPL-3.0-or-later
// The shaped biphase symbol of the RDS transmitter: a positive and a negative impulse half a
// symbol apart, through a filter whose spectrum falls as cos(pi f Td / 4) to zero at 2/Td.
#pragma once

namespace tavimor::mpx {

// The shaping filter's impulse response at t seconds, for symbols of td seconds; 1 at t = 0.
double shapingResponse(double t, double td);

// The whole symbol's pulse at t seconds from the start of the symbol.
double biphasePulse(double t, double td);

}  // namespace tavimor::mpx

// SPDX-License-Identifier: GPL-3.0-or-later
// FM carriers in an averaged power spectrum: humps of about a station's width that stand above
// the noise floor, wherever they lie, each reported where its power is centred.
#pragma once

#include <span>
#include <vector>

namespace tavimor::scan {

struct Carrier {
  // Of the carrier from the band's centre, where the hump's power is centred.
  double offsetHz = 0.0;
  // The power in its 200 kHz less the noise's, of a full-scale carrier's.
  double levelDbfs = 0.0;
  // That power over the noise's in the same 200 kHz.
  double snrDb = 0.0;
};

// power: of each bin, lowest frequency first, as BandSpectrum gives it; carriers are looked for
// within widestOffsetHz of the centre. Strongest first.
std::vector<Carrier> findCarriers(std::span<const double> power, double binHz,
                                  double widestOffsetHz);

// The noise floor of the spectrum: what most bins without a station hold.
double noisePerBin(std::span<const double> power);

}  // namespace tavimor::scan

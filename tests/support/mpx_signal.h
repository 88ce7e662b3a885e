// SPDX-License-Identifier: GPL-3.0-or-later
// A synthesized FM multiplex signal carrying RDS groups, as a transmitter's stereo encoder makes
// it, with the noise, clock errors, fades, silences, level steps and retunes of a reception; for
// the tests and the benchmark.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "decode/rds_group.h"

namespace tavimor::testing {

enum class PilotTone { InPhase, Quadrature, Absent };
enum class Programme { Silent, Mono, Stereo };

struct MpxSignalOptions {
  double sampleRate = 171'000.0;
  PilotTone pilot = PilotTone::InPhase;
  Programme programme = Programme::Silent;
  // Peak of the RDS subcarrier, of full deviation; programme audio peaks at 0.8, the pilot 0.09.
  double rdsLevel = 0.04;
  // The RDS subcarrier's power over the noise's in 57 kHz +- 2.4 kHz; no noise without it.
  std::optional<double> snrDb = {};
  // How much faster the transmitter's clock runs than the receiver's, in parts per million.
  double clockErrorPpm = 0.0;
  // When the first bit starts, in seconds; at random within a symbol if not given. A station tuned
  // to right at the end of another's group, starting at 0, keeps the blocks where they were.
  std::optional<double> firstBitSeconds = {};
  // The RDS subcarrier's phase at the first sample, in radians, with the pilot in phase or absent;
  // at random if not given.
  std::optional<double> subcarrierPhase = {};
  // How much faster the RDS encoder's clock (subcarrier and bit clock) runs than the pilot's, for
  // an encoder on a crystal of its own; 0 is locked to the pilot.
  double rdsClockPpm = 0.0;
  // Stretches, in seconds from the start, in which the station is gone and only noise is left.
  std::vector<std::pair<double, double>> fades = {};
  // Stretches in which the station goes mono: no pilot, no stereo subcarrier; RDS goes on.
  std::vector<std::pair<double, double>> monoStretches = {};
  // Stretches of digital silence: every sample 0, noise included.
  std::vector<std::pair<double, double>> silences = {};
  // From levelStepAt seconds on, the whole signal, noise included, levelStep times as strong.
  double levelStepAt = 0.0;
  double levelStep = 1.0;
  std::uint32_t seed = 1;
};

struct MpxSignal {
  std::vector<float> samples;
  // For each group, the index of the sample at which its last bit ended.
  std::vector<std::uint64_t> groupEnds;
  // Of the RDS subcarrier alone, averaged over the signal; what the noise is measured against.
  double rdsPower = 0.0;
};

MpxSignal synthesizeMpx(std::span<const RdsGroup> groups, const MpxSignalOptions& options);

// The receiver tuned from one station to another: the first's samples up to the end of its group
// keptGroups, the second's from its start.
MpxSignal retune(MpxSignal from, const MpxSignal& to, std::size_t keptGroups);

// White Gaussian noise over the whole band at the signal-to-noise ratio defined above.
void addNoise(std::vector<float>& samples, double rdsPower, double snrDb, double sampleRate,
              std::uint32_t seed);

// Groups of one station as a test wants them varied: every type and version, random contents.
std::vector<RdsGroup> randomGroups(std::size_t count, std::uint32_t seed);

}  // namespace tavimor::testing

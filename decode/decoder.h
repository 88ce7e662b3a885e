// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding one group into the station model: the group's header for every group, then the
// stages of the group types the monitor follows.
#pragma once

#include "decode/rds_group.h"
#include "decode/station.h"

namespace tavimor {

// PI and group type, kept for every group.
void decodeHeader(const RdsGroup& group, Station& station);

// Group 0, version A or B: TP, TA, M/S, programme type, one DI flag and two PS characters.
void decodeBasicTuning(const RdsGroup& group, Station& station);

// Group 2A: four RadioText characters into the buffer of the text A/B flag.
void decodeRadioText(const RdsGroup& group, Station& station);

// All of the above, in order.
void decodeGroup(const RdsGroup& group, Station& station);

}  // namespace tavimor

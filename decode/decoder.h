// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding one group into the station model.
#pragma once

#include "decode/rds_group.h"
#include "decode/station.h"

namespace tavimor {

// PI and group type of every group; then for group 0, version A or B: TP, TA, M/S, programme
// type, one DI flag and two PS characters; for group 2A: four RadioText characters into the
// buffer of the text A/B flag.
void decodeGroup(const RdsGroup& group, Station& station);

}  // namespace tavimor

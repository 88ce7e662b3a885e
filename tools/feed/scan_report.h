// SPDX-License-Identifier: GPL-3.0-or-later
// How --scan prints a station: a table for people, or one JSON object a line.
#pragma once

#include <string>

#include "scan/capture_scan.h"

namespace tavimor::feed {

// withFrequency: the first column is the absolute frequency rather than the offset.
std::string scanTableHeader(bool withFrequency);
std::string scanTableRow(const scan::StationReport& station, bool withFrequency);
// Exactly offset_hz, frequency_hz (only where known), pi, ps, pty, level_db, snr_db, groups,
// block_error_rate and rds.
std::string scanJsonLine(const scan::StationReport& station);

}  // namespace tavimor::feed

// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-feed --scan: the stations of a capture printed at its end, or of the band through a
// tuner printed as each stands.
#pragma once

#include <atomic>
#include <ostream>

#include "tools/feed/feed_options.h"

namespace tavimor::feed {

// The stations on `out`, problems on `err`; the exit status.
int runScan(const ScanRequest& request, std::ostream& out, std::ostream& err,
            const std::atomic<bool>& stop);

}  // namespace tavimor::feed

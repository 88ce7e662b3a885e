// SPDX-License-Identifier: GPL-3.0-or-later
// The feeder's tuners: --scan --device hopping the band, and --iq --device as a sample input.
#pragma once

#include <atomic>
#include <memory>
#include <ostream>
#include <string>
#include <variant>

#include "tools/feed/feed_options.h"
#include "tools/feed/sample_input.h"

namespace tavimor::feed {

// Prints each station as it stands; the exit status.
int hopBand(const ScanRequest& request, std::ostream& out, std::ostream& err,
            const std::atomic<bool>& stop);

// The tuner of an IqInput with a device, streaming at its frequency; or what is wrong.
std::variant<std::unique_ptr<SampleInput>, std::string> openDeviceInput(
    const IqInput& input, const std::atomic<bool>& stop);

}  // namespace tavimor::feed

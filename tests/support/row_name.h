// SPDX-License-Identifier: GPL-3.0-or-later
// Names the test of a table row after the row's own name, so that a failure names its case.
#pragma once

#include <string>

namespace tavimor::testing {

inline constexpr auto kRowName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace tavimor::testing

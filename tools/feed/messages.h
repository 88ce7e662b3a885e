// SPDX-License-Identifier: GPL-3.0-or-later
// The feeder's one wording for what it says on standard error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavimor::feed {

inline constexpr std::string_view kProgramName = "tavimor-feed";

// "tavimor-feed: SUBJECT: PROBLEM" and a line end.
inline std::string problemLine(std::string_view subject, std::string_view problem) {
  return std::string(kProgramName) + ": " + std::string(subject) + ": " + std::string(problem) +
         '\n';
}

// "1 group", "2 groups".
inline std::string counted(std::uint64_t count, std::string_view thing) {
  return std::to_string(count) + ' ' + std::string(thing) + (count == 1 ? "" : "s");
}

}  // namespace tavimor::feed

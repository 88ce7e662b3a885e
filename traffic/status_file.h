// SPDX-License-Identifier: GPL-3.0-or-later
// traffic.txt: one line telling other programs whether a traffic announcement is on air.
#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

namespace tavimor {

inline constexpr std::string_view kStatusFileName = "traffic.txt";

// Whole-file contents: state unknown (at start-up), no announcement, announcement on air.
inline constexpr std::string_view kStatusUnknown = "?\r\n";
inline constexpr std::string_view kStatusNoTraffic = " 0 \r\n";
inline constexpr std::string_view kStatusTraffic = " 1 \r\n";

class StatusFile {
 public:
  // A relative path is resolved against the working directory at every write.
  explicit StatusFile(std::filesystem::path path = std::filesystem::path(kStatusFileName));

  // Makes content the whole file, creating it if need be, and closes it again. The file stays the
  // same file (watchers and open readers keep following it) and is never seen empty.
  std::error_code write(std::string_view content) const;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tavimor

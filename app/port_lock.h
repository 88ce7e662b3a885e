// SPDX-License-Identifier: GPL-3.0-or-later
// A lock on a serial device. Qt's serial port, like most programs that open one, locks the device
// with a file LCK..<name> in the system's lock directory whose first line is the holder's process
// id, and a lock whose holder died stays behind.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tavimor {

struct PortLock {
  std::filesystem::path file;
  long holder = 0;      // process id
  std::string program;  // as the lock names it; may be empty
  bool holderRunning = false;
};

// Where Debian and most Linux systems keep device locks.
const std::vector<std::filesystem::path>& systemLockDirectories();

// The lock on device, named after the device as given (a link's own name, not its target's).
std::optional<PortLock> findPortLock(
    const std::filesystem::path& device,
    const std::vector<std::filesystem::path>& lockDirectories = systemLockDirectories());

}  // namespace tavimor

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/port_lock.h"

#include <cerrno>
#include <csignal>
#include <fstream>

namespace tavimor {

const std::vector<std::filesystem::path>& systemLockDirectories() {
  static const std::vector<std::filesystem::path> directories{"/run/lock", "/var/lock"};
  return directories;
}

std::optional<PortLock> findPortLock(const std::filesystem::path& device,
                                     const std::vector<std::filesystem::path>& lockDirectories) {
  const std::string name = "LCK.." + device.filename().string();
  for (const std::filesystem::path& directory : lockDirectories) {
    PortLock lock;
    lock.file = directory / name;
    std::ifstream file(lock.file);
    if (!(file >> lock.holder) || lock.holder <= 0) continue;
    file >> lock.program;
    // EPERM: the process exists but belongs to someone else.
    lock.holderRunning = ::kill(static_cast<pid_t>(lock.holder), 0) == 0 || errno == EPERM;
    return lock;
  }
  return std::nullopt;
}

}  // namespace tavimor

// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/polled_reader.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/feed/stop_request.h"

namespace tavimor::feed {

bool isLiveInput(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return false;
  return S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode) || S_ISSOCK(status.st_mode);
}

std::size_t PolledReader::read(std::span<std::byte> buffer) {
  while (!stop_ && !error_) {
    pollfd input{fd_, POLLIN, 0};
    const int ready = ::poll(&input, 1, kStopCheckMilliseconds);
    if (ready < 0 && errno != EINTR) error_ = std::strerror(errno);
    if (ready <= 0) continue;
    const ssize_t count = ::read(fd_, buffer.data(), buffer.size());
    if (count > 0) return static_cast<std::size_t>(count);
    if (count == 0) break;
    if (errno != EINTR && errno != EAGAIN) error_ = std::strerror(errno);
  }
  return 0;
}

}  // namespace tavimor::feed

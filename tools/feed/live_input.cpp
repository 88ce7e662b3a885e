// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/live_input.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tavimor::feed {
namespace {

// How often a wait for input looks at the stop request, should its signal come just before the
// wait begins.
constexpr int kStopCheckMilliseconds = 100;

}  // namespace

bool isLiveInput(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return false;
  return S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode) || S_ISSOCK(status.st_mode);
}

LiveInputBuffer::int_type LiveInputBuffer::underflow() {
  while (!stop_) {
    pollfd input{fd_, POLLIN, 0};
    const int ready = ::poll(&input, 1, kStopCheckMilliseconds);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    const ssize_t count = ::read(fd_, buffer_.data(), buffer_.size());
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (count <= 0) break;
    setg(buffer_.data(), buffer_.data(), buffer_.data() + count);
    return traits_type::to_int_type(buffer_[0]);
  }
  return traits_type::eof();
}

}  // namespace tavimor::feed

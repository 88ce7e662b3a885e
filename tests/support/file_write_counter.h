// SPDX-License-Identifier: GPL-3.0-or-later
// Counts how often files in a directory are written and closed, or linked into place whole, as the
// kernel reports it.
#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace tavimor::testing {

class FileWriteCounter {
 public:
  FileWriteCounter(const std::filesystem::path& directory, std::string fileName)
      : fileName_(std::move(fileName)), fd_(inotify_init1(IN_NONBLOCK)) {
    if (fd_ < 0 || inotify_add_watch(fd_, directory.c_str(), IN_CLOSE_WRITE | IN_CREATE) < 0) {
      throw std::runtime_error("inotify unavailable");
    }
  }
  ~FileWriteCounter() { ::close(fd_); }
  FileWriteCounter(const FileWriteCounter&) = delete;
  FileWriteCounter& operator=(const FileWriteCounter&) = delete;

  // Writes of the file since the previous call.
  int takeCount() {
    int count = 0;
    alignas(inotify_event) std::array<char, 4096> buffer{};
    ssize_t length = 0;
    while ((length = ::read(fd_, buffer.data(), buffer.size())) > 0) {
      for (ssize_t offset = 0; offset < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
        if (event->len > 0 && fileName_ == event->name) ++count;
        offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return count;
  }

 private:
  std::string fileName_;
  int fd_;
};

}  // namespace tavimor::testing

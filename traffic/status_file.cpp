// SPDX-License-Identifier: GPL-3.0-or-later
#include "traffic/status_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace tavimor {
namespace {

std::error_code lastError() {
  return {errno != 0 ? errno : EIO, std::generic_category()};
}

// Closes the file whatever happens; the first error is the one reported.
class OpenFile {
 public:
  explicit OpenFile(const std::filesystem::path& path)
      : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666)) {}
  ~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  int fd() const { return fd_; }
  std::error_code close() {
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0 ? std::error_code() : lastError();
  }

 private:
  int fd_;
};

}  // namespace

StatusFile::StatusFile(std::filesystem::path path) : path_(std::move(path)) {}

std::error_code StatusFile::write(std::string_view content) const {
  errno = 0;
  OpenFile file(path_);
  if (file.fd() < 0) return lastError();
  // The new line goes over the old one in a single write and only then is the rest cut off, so
  // a reader at any moment finds a whole first line, old or new, and never an empty file.
  const ssize_t written = ::pwrite(file.fd(), content.data(), content.size(), 0);
  if (written != static_cast<ssize_t>(content.size())) return lastError();
  if (::ftruncate(file.fd(), static_cast<off_t>(content.size())) != 0) return lastError();
  return file.close();
}

}  // namespace tavimor

// SPDX-License-Identifier: GPL-3.0-or-later
#include "traffic/status_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <utility>

namespace tavimor {
namespace {

std::error_code lastError() {
  return {errno != 0 ? errno : EIO, std::generic_category()};
}

// Closes the file whatever happens; the first error is the one reported.
class OpenFile {
 public:
  OpenFile(const std::filesystem::path& path, int flags)
      : fd_(::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, 0666)) {}
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

std::error_code writeInPlace(const std::filesystem::path& path, std::string_view content,
                             int createFlag) {
  errno = 0;
  OpenFile file(path, createFlag);
  if (file.fd() < 0) return lastError();
  // The new line goes over the old one in a single write and only then is the rest cut off, so
  // a reader at any moment finds a whole first line, old or new, and never an empty file.
  const ssize_t written = ::pwrite(file.fd(), content.data(), content.size(), 0);
  if (written != static_cast<ssize_t>(content.size())) return lastError();
  if (::ftruncate(file.fd(), static_cast<off_t>(content.size())) != 0) return lastError();
  return file.close();
}

// Writes content into a new file beside path and links it into place, so that the file appears
// with its content. Fails, leaving nothing behind, where path exists or cannot be made this way.
bool createWhole(const std::filesystem::path& path, std::string_view content) {
  static std::atomic<unsigned> serial = 0;
  std::filesystem::path temporary = path;
  temporary.replace_filename("." + path.filename().string() + "." + std::to_string(::getpid()) +
                             "." + std::to_string(serial++));
  OpenFile file(temporary, O_CREAT | O_EXCL);
  if (file.fd() < 0) return false;
  const bool written =
      ::write(file.fd(), content.data(), content.size()) == static_cast<ssize_t>(content.size());
  const bool linked = !file.close() && written && ::link(temporary.c_str(), path.c_str()) == 0;
  ::unlink(temporary.c_str());
  return linked;
}

}  // namespace

StatusFile::StatusFile(std::filesystem::path path) : path_(std::move(path)) {}

std::error_code StatusFile::write(std::string_view content) const {
  const std::error_code rewritten = writeInPlace(path_, content, 0);
  if (rewritten != std::errc::no_such_file_or_directory) return rewritten;
  // Linking fails rather than replaces a file another process has made meanwhile: that one is
  // then written in place like any other.
  if (createWhole(path_, content)) return {};
  return writeInPlace(path_, content, O_CREAT);
}

}  // namespace tavimor

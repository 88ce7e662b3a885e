// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-radio-port: the one step of tavimor-radio that runs as root, through sudo or pkexec,
// where no namespace can give the monitor a port 5 of its own. It links /dev/ttyS4 to the
// calling user's pseudo-terminal, says "ready", and removes the link again when its standard
// input closes (tavimor-radio ended, however) or on SIGTERM. /run/tavimor-radio.pid, locked
// while a run holds the port, tells a link left by a killed run from one in use.
//
// Usage: tavimor-radio-port /dev/pts/N
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* kPort = "/dev/ttyS4";
constexpr const char* kMarker = "/run/tavimor-radio.pid";

int fail(const std::string& problem) {
  std::fprintf(stderr, "tavimor-radio-port: %s\n", problem.c_str());
  return EXIT_FAILURE;
}

// The user sudo or pkexec ran this for; root itself when run directly.
std::optional<uid_t> callingUser() {
  for (const char* name : {"PKEXEC_UID", "SUDO_UID"}) {
    if (const char* value = std::getenv(name)) {
      char* end = nullptr;
      const unsigned long uid = std::strtoul(value, &end, 10);
      if (*value != '\0' && *end == '\0') return static_cast<uid_t>(uid);
    }
  }
  if (::getuid() == 0) return 0;
  return std::nullopt;
}

// Only a pseudo-terminal of the calling user's own may become port 5.
bool usersPseudoTerminal(std::string_view path, uid_t user) {
  constexpr std::string_view kPrefix = "/dev/pts/";
  if (!path.starts_with(kPrefix) || path.size() == kPrefix.size()) return false;
  for (const char c : path.substr(kPrefix.size())) {
    if (c < '0' || c > '9') return false;
  }
  struct stat status {};
  return ::lstat(std::string(path).c_str(), &status) == 0 && S_ISCHR(status.st_mode) &&
         status.st_uid == user;
}

std::string linkTarget(const char* link) {
  char target[256] = {};
  const ssize_t length = ::readlink(link, target, sizeof target - 1);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

// The marker, locked: retried should another run have removed the file between open and lock.
int lockMarker() {
  for (;;) {
    const int fd = ::open(kMarker, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      errno = error;
      return -1;
    }
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) == 0 && ::stat(kMarker, &named) == 0 &&
        opened.st_ino == named.st_ino && opened.st_dev == named.st_dev) {
      return fd;
    }
    ::close(fd);
  }
}

std::string markerText(int fd) {
  char text[300] = {};
  const ssize_t length = ::pread(fd, text, sizeof text - 1, 0);
  return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

volatile std::sig_atomic_t stopped = 0;

void onStop(int /*signal*/) {
  stopped = 1;
}

// Until standard input closes or a signal comes: the read is not restarted after one.
void waitForEnd() {
  struct sigaction action {};
  action.sa_handler = onStop;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP})
    ::sigaction(signal, &action, nullptr);
  char byte = 0;
  while (stopped == 0 && ::read(STDIN_FILENO, &byte, 1) > 0) {
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) return fail("usage: tavimor-radio-port /dev/pts/N");
  if (::geteuid() != 0) return fail("must run as root (through sudo or pkexec)");
  const std::optional<uid_t> user = callingUser();
  const std::string target = argv[1];
  if (!user || !usersPseudoTerminal(target, *user)) {
    return fail(target + " is not a pseudo-terminal of the calling user");
  }
  const int marker = lockMarker();
  if (marker < 0 && errno == EWOULDBLOCK) {
    return fail("another tavimor-radio uses port 5 (" + std::string(kMarker) + ")");
  }
  if (marker < 0) return fail(std::string(kMarker) + ": " + std::strerror(errno));
  // A marker that nobody holds locked is a killed run's: its link goes, and only its link.
  const std::string stale = markerText(marker);
  if (const auto space = stale.find(' '); space != std::string::npos) {
    const std::string staleTarget = stale.substr(space + 1, stale.find('\n') - space - 1);
    if (!staleTarget.empty() && linkTarget(kPort) == staleTarget) ::unlink(kPort);
  }
  struct stat existing {};
  if (::lstat(kPort, &existing) == 0) {
    ::unlink(kMarker);
    return fail(std::string(kPort) +
                " already exists; it may be a real serial port or a receiver, so it is left alone");
  }
  if (::symlink(target.c_str(), kPort) != 0) {
    ::unlink(kMarker);
    return fail(std::string(kPort) + ": " + std::strerror(errno));
  }
  const std::string text = std::to_string(::getpid()) + ' ' + target + '\n';
  if (::ftruncate(marker, 0) != 0 || ::pwrite(marker, text.data(), text.size(), 0) < 0) {
    std::fprintf(stderr, "tavimor-radio-port: %s: %s\n", kMarker, std::strerror(errno));
  }
  std::printf("ready\n");
  std::fflush(stdout);
  waitForEnd();
  if (linkTarget(kPort) == target) ::unlink(kPort);
  ::unlink(kMarker);
  return EXIT_SUCCESS;
}

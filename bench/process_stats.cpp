#include "process_stats.h"

#include <filesystem>
#include <fstream>
#include <numeric>
#include <string_view>

namespace tavimor::bench {
namespace {

std::filesystem::path procDirectory(pid_t pid) {
  return std::filesystem::path("/proc") / std::to_string(pid);
}

// The number after "key:" in a /proc status file, or -1.
long statusValue(const std::filesystem::path& statusFile, std::string_view key) {
  std::ifstream in(statusFile);
  std::string line;
  while (std::getline(in, line)) {
    if (line.starts_with(key) && line.size() > key.size() && line[key.size()] == ':') {
      return std::stol(line.substr(key.size() + 1));
    }
  }
  return -1;
}

std::string threadName(const std::filesystem::path& taskDirectory) {
  std::ifstream in(taskDirectory / "comm");
  std::string name;
  std::getline(in, name);
  return name;
}

}  // namespace

long residentKiB(pid_t pid) {
  return statusValue(procDirectory(pid) / "status", "VmRSS");
}

long residentAnonymousKiB(pid_t pid) {
  return statusValue(procDirectory(pid) / "status", "RssAnon");
}

std::vector<ThreadSwitches> voluntarySwitches(pid_t pid) {
  std::vector<ThreadSwitches> threads;
  for (const auto& task : std::filesystem::directory_iterator(procDirectory(pid) / "task")) {
    const long switches = statusValue(task.path() / "status", "voluntary_ctxt_switches");
    if (switches >= 0) {
      threads.push_back({static_cast<pid_t>(std::stol(task.path().filename().string())),
                         threadName(task.path()), switches});
    }
  }
  return threads;
}

long totalOf(const std::vector<ThreadSwitches>& threads) {
  return std::accumulate(threads.begin(), threads.end(), 0L,
                         [](long sum, const ThreadSwitches& t) { return sum + t.voluntary; });
}

}  // namespace tavimor::bench

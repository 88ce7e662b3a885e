// What the kernel reports about a process in /proc: resident memory and how often it slept.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavimor::bench {

// VmRSS of the process, in KiB.
long residentKiB(pid_t pid);

// RssAnon: the part of the resident set that is heap and stacks rather than mapped files.
long residentAnonymousKiB(pid_t pid);

struct ThreadSwitches {
  pid_t tid = 0;
  std::string name;
  long voluntary = 0;
};

// voluntary_ctxt_switches of every thread of the process.
std::vector<ThreadSwitches> voluntarySwitches(pid_t pid);

long totalOf(const std::vector<ThreadSwitches>& threads);

}  // namespace tavimor::bench

// The driver's side: this same program started again to measure one figure in a fresh process.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavimor::bench {

// A figure's results by name, as the child printed them.
using Results = std::map<std::string, double>;

class ChildProcess {
 public:
  // Starts this program's executable with the arguments, its standard output piped to us.
  explicit ChildProcess(const std::vector<std::string>& arguments);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  std::optional<std::string> readLine();

  // Reads "name value" lines until the child ends; throws if it failed.
  Results collectResults();

  void terminate();

 private:
  int wait();

  pid_t pid_ = -1;
  std::FILE* output_ = nullptr;
};

Results runFigure(const std::vector<std::string>& arguments);

}  // namespace tavimor::bench

#include "child_process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace tavimor::bench {

ChildProcess::ChildProcess(const std::vector<std::string>& arguments) {
  static const std::string executable = std::filesystem::read_symlink("/proc/self/exe");
  std::vector<char*> argv{const_cast<char*>(executable.c_str())};
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  std::array<int, 2> pipeEnds{};
  if (::pipe(pipeEnds.data()) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  const int failed =
      posix_spawn(&pid_, executable.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  if (failed != 0) {
    ::close(pipeEnds[0]);
    throw std::runtime_error("cannot start " + executable);
  }
  output_ = ::fdopen(pipeEnds[0], "r");
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) terminate();
  if (output_ != nullptr) std::fclose(output_);
}

std::optional<std::string> ChildProcess::readLine() {
  std::string line;
  for (int c = std::fgetc(output_); c != EOF; c = std::fgetc(output_)) {
    if (c == '\n') return line;
    line += static_cast<char>(c);
  }
  if (line.empty()) return std::nullopt;
  return line;
}

Results ChildProcess::collectResults() {
  Results results;
  while (const auto line = readLine()) {
    std::istringstream fields(*line);
    std::string name;
    double value = 0;
    if (fields >> name >> value) results[name] = value;
  }
  if (wait() != 0) throw std::runtime_error("a figure's process failed");
  return results;
}

void ChildProcess::terminate() {
  ::kill(pid_, SIGTERM);
  wait();
}

int ChildProcess::wait() {
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Results runFigure(const std::vector<std::string>& arguments) {
  return ChildProcess(arguments).collectResults();
}

}  // namespace tavimor::bench

// SPDX-License-Identifier: GPL-3.0-or-later
// make bench's driver: what a user pays to watch a station, measured from outside on the monitor
// and on a reference window, side by side in one run.
//
// Each program runs unchanged on an X server of its own (Xvfb) and reads a pseudo-terminal that
// it sees as /dev/ttyS4 in a mount namespace of its own. The driver feeds both the same station
// one packet at a time, half a packet time apart, so that whatever else runs on the machine hits
// both alike, and watches the X servers for damage: the moment a program's pixels arrive.
//
// Usage: tavimor_bench_driver PROGRAM REFERENCE   (as root: the namespaces need it)
// Exit status: 0 when every budget is met, 1 when one is missed, 2 when the run failed.

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "decode/rds_group.h"
#include "tools/feed/demo_station.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr double kLineRate = 9600.0 / 10 / tavimor::kPacketSize;  // packets/s, 10 bits a byte
constexpr double kGroupRate = tavimor::feed::kRdsGroupsPerSecond;
constexpr int kStartRuns = 5;
constexpr int kLineRounds = 10;
constexpr int kLineRoundSeconds = 5;
constexpr int kGroupRounds = 4;  // of 10 s each
constexpr auto kQuiet = 10s;
constexpr int kLongRunPackets = 1'000'000;

// Ends the run; main() reports it once the programs are stopped and their directories removed.
[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what);
}

[[noreturn]] void failSystem(const std::string& what) {
  fail(what + ": " + std::strerror(errno));
}

// In a forked child, where only the message and the exit are safe.
[[noreturn]] void failInChild(const std::string& what) {
  const std::string message = "bench: " + what + ": " + std::strerror(errno) + "\n";
  [[maybe_unused]] const ssize_t ignored = write(STDERR_FILENO, message.data(), message.size());
  _exit(127);
}

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

std::string slurp(const fs::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---- What /proc says about a process, summed over its threads ----

long long statusField(const fs::path& status, const std::string& key) {
  std::istringstream lines(slurp(status));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(key + ":", 0) == 0) return std::stoll(line.substr(key.size() + 1));
  }
  return 0;
}

template <typename PerThread>
long long sumOverThreads(pid_t pid, PerThread perThread) {
  long long sum = 0;
  std::error_code error;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error))
    sum += perThread(task.path());
  return sum;
}

// Processor time in ns: the scheduler's own account, exact where utime and stime count ticks.
long long cpuNs(pid_t pid) {
  return sumOverThreads(pid, [](const fs::path& task) {
    const std::string stat = slurp(task / "schedstat");
    return stat.empty() ? 0LL : std::stoll(stat);
  });
}

long long wakeUps(pid_t pid) {
  return sumOverThreads(pid, [](const fs::path& task) {
    return statusField(task / "status", "voluntary_ctxt_switches") +
           statusField(task / "status", "nonvoluntary_ctxt_switches");
  });
}

double residentMb(pid_t pid) {
  return static_cast<double>(statusField("/proc/" + std::to_string(pid) + "/status", "VmRSS")) /
         1024;
}

// ---- Processes ----

// Asks it to end, and insists after two seconds.
void endProcess(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  pid_t ended = 0;
  for (int i = 0; i < 200 && (ended = waitpid(pid, nullptr, WNOHANG)) == 0; ++i)
    std::this_thread::sleep_for(10ms);
  if (ended == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  pid = -1;
}

// In a forked child: a /dev of its own, with links to the real entries and /dev/ttyS4 linked to
// the child's pseudo-terminal, and a lock directory of its own for the serial port's lock file.
// The real /dev, and a real /dev/ttyS4 if there is one, are left alone.
void usePrivatePort(const std::string& device, const fs::path& realDev) {
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
      mount("/dev", realDev.c_str(), nullptr, MS_BIND | MS_REC, nullptr) ||
      mount("tmpfs", "/dev", "tmpfs", 0, "mode=755") ||
      mount("tmpfs", "/run/lock", "tmpfs", 0, "mode=1777"))
    failInChild("a private /dev/ttyS4 needs root (a mount namespace)");
  DIR* dir = opendir(realDev.c_str());
  while (const dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || name == "ttyS4") continue;
    if (symlink((realDev / name).c_str(), ("/dev/" + name).c_str()) != 0)
      failInChild("/dev/" + name);
  }
  if (symlink(device.c_str(), "/dev/ttyS4") != 0) failInChild("/dev/ttyS4");
}

pid_t spawn(const std::vector<std::string>& command, const std::function<void()>& inChild) {
  const pid_t pid = fork();
  if (pid < 0) failSystem("fork");
  if (pid > 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGKILL);  // nothing outlives the driver
  inChild();
  std::vector<char*> argv;
  for (const std::string& word : command)
    argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  failInChild(command[0]);
}

// ---- An X server of its own, watched for damage ----

class XServer {
 public:
  XServer() {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) failSystem("pipe");
    pid_ = spawn({"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", "1024x768x24",
                  "-nolisten", "tcp", "-noreset"},
                 [&] {
                   close(pipeFds[0]);
                   // It reports failure by not writing its display number; spare its chatter.
                   const int null = open("/dev/null", O_WRONLY);
                   dup2(null, STDERR_FILENO);
                 });
    close(pipeFds[1]);
    // The number, then a newline in a write of its own: Xvfb fails if the pipe closes between.
    std::string number;
    for (char c = 0; c != '\n';) {
      if (read(pipeFds[0], &c, 1) != 1) fail("Xvfb did not start");
      number += c;
    }
    close(pipeFds[0]);
    display_ = ":" + std::to_string(std::stoi(number));
    connection_ = xcb_connect(display_.c_str(), nullptr);
    if (xcb_connection_has_error(connection_)) fail("cannot connect to Xvfb " + display_);
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(connection_, &xcb_damage_id);
    if (damage == nullptr || !damage->present) fail("Xvfb has no DAMAGE extension");
    damageEvent_ = damage->first_event + XCB_DAMAGE_NOTIFY;
    free(xcb_damage_query_version_reply(connection_, xcb_damage_query_version(connection_, 1, 1),
                                        nullptr));
    // Every drawing on the screen, whichever window it lands in, is reported on the root.
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    xcb_damage_create(connection_, xcb_generate_id(connection_), root,
                      XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
    xcb_flush(connection_);
  }
  ~XServer() {
    xcb_disconnect(connection_);
    endProcess(pid_);
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& display() const { return display_; }
  pid_t pid() const { return pid_; }
  int fd() const { return xcb_get_file_descriptor(connection_); }

  // Takes the events that have arrived; true if anything was drawn.
  bool takeDamage() {
    bool damaged = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      damaged |= (event->response_type & 0x7f) == damageEvent_;
      free(event);
    }
    if (xcb_connection_has_error(connection_)) fail("lost the connection to Xvfb " + display_);
    return damaged;
  }

 private:
  pid_t pid_ = -1;
  std::string display_;
  xcb_connection_t* connection_ = nullptr;
  int damageEvent_ = 0;
};

// ---- A program under measurement ----

struct Subject {
  std::string program;
  XServer x;
  int master = -1;
  std::string device;
  fs::path work;  // the working directory, where the monitor writes traffic.txt
  fs::path realDev;
  pid_t pid = -1;
  tavimor::feed::DemoStation station{
      std::chrono::sys_days{std::chrono::year{2026} / std::chrono::December / 8}};
  std::uint64_t sent = 0;
  std::vector<Clock::time_point> sends;
  std::vector<Clock::time_point> paints;

  explicit Subject(const std::string& path) : program(fs::absolute(path).string()) {
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) failSystem("openpty");
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    device = ttyname(slave);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    close(slave);  // the program opens it again through /dev/ttyS4
    char workTemplate[] = "/tmp/tavimor-bench.XXXXXX";
    char devTemplate[] = "/tmp/tavimor-bench-dev.XXXXXX";
    if (mkdtemp(workTemplate) == nullptr || mkdtemp(devTemplate) == nullptr) failSystem("mkdtemp");
    work = workTemplate;
    realDev = devTemplate;
  }
  ~Subject() {
    endProcess(pid);
    close(master);
    fs::remove_all(work);
    rmdir(realDev.c_str());  // only ever a mount point inside the child's namespace
  }

  Clock::time_point launch() {
    const Clock::time_point start = Clock::now();
    pid = spawn({program}, [this] {
      if (chdir(work.c_str()) != 0) failInChild(work.string());
      usePrivatePort(device, realDev);
      setenv("DISPLAY", x.display().c_str(), 1);
      setenv("QT_QPA_PLATFORM", "xcb", 1);
      setenv("XDG_RUNTIME_DIR", work.c_str(), 1);
    });
    return start;
  }

  bool alive() const { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }

  void send() {
    const tavimor::PacketBytes packet = tavimor::toPacket(station.groupAt(sent++));
    if (write(master, packet.data(), packet.size()) != static_cast<ssize_t>(packet.size()))
      failSystem("writing to " + device);
    sends.push_back(Clock::now());
  }
};

// Waits until the deadline, noting when each subject's X server reports damage.
void watch(std::vector<Subject*> subjects, Clock::time_point deadline) {
  std::vector<pollfd> fds;
  for (Subject* s : subjects)
    fds.push_back({s->x.fd(), POLLIN, 0});
  for (Subject* s : subjects) {
    if (s->x.takeDamage()) s->paints.push_back(Clock::now());
  }
  for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now);
    const timespec timeout{static_cast<time_t>(wait.count() / 1'000'000'000),
                           static_cast<long>(wait.count() % 1'000'000'000)};
    if (ppoll(fds.data(), fds.size(), &timeout, nullptr) < 0 && errno != EINTR) failSystem("ppoll");
    const Clock::time_point woken = Clock::now();
    for (Subject* s : subjects) {
      if (s->x.takeDamage()) s->paints.push_back(woken);
    }
  }
}

// Watches until nothing has been drawn for a quarter of a second.
void settle(std::vector<Subject*> subjects) {
  for (std::size_t before = SIZE_MAX, now = 0; now != before;) {
    before = now;
    watch(subjects, Clock::now() + 250ms);
    now = 0;
    for (Subject* s : subjects)
      now += s->paints.size();
  }
  for (Subject* s : subjects)
    s->paints.clear();
}

// ---- The figures ----

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n == 0 ? NAN : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values.empty() ? NAN : values[std::min(values.size() - 1, std::size_t(p * values.size()))];
}

struct Figures {
  std::vector<double> startMs;
  double residentMb = 0;
  long long quietWakeUps = 0;
  struct Rate {
    // Processor time per packet in each round, of the program and of its X server.
    std::vector<double> programMs, serverMs;
    std::vector<double> latencyMs;
    int unpainted = 0;
    std::vector<double> totalMs() const {
      std::vector<double> total(programMs.size());
      for (std::size_t k = 0; k < total.size(); ++k)
        total[k] = programMs[k] + serverMs[k];
      return total;
    }
  };
  Rate line, group;
  double longRunGrowthMb = 0;
};

// Both programs take the same rounds, so a round that the machine made slow is slow for both:
// the median of the ratios within each round sees through what the medians alone do not.
double pairedRatio(const std::vector<double>& program, const std::vector<double>& reference) {
  std::vector<double> ratios(program.size());
  for (std::size_t k = 0; k < ratios.size(); ++k)
    ratios[k] = program[k] / reference[k];
  return median(ratios);
}

// From each packet's write to the last damage before the next packet: its pixels are all there.
void collectLatencies(Subject& s, Clock::duration period, Figures::Rate& rate) {
  for (std::size_t k = 0; k < s.sends.size(); ++k) {
    const auto end = k + 1 < s.sends.size() ? s.sends[k + 1] : s.sends[k] + period;
    auto last = std::lower_bound(s.paints.begin(), s.paints.end(), end);
    if (last == s.paints.begin() || *(last - 1) < s.sends[k]) {
      ++rate.unpainted;
      continue;
    }
    rate.latencyMs.push_back(ms(*(last - 1) - s.sends[k]));
  }
  s.sends.clear();
  s.paints.clear();
}

// Rounds of packets at the rate, the second subject's half a packet time after the first's.
void feedAtRate(std::vector<Subject*> subjects, std::vector<Figures*> figures, double rate,
                int rounds, int packetsPerRound, Figures::Rate Figures::*which) {
  const auto period =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1 / rate));
  for (int round = 0; round < rounds; ++round) {
    std::vector<long long> program, server;
    for (Subject* s : subjects) {
      program.push_back(cpuNs(s->pid));
      server.push_back(cpuNs(s->x.pid()));
    }
    const Clock::time_point start = Clock::now() + 1ms;
    for (int k = 0; k < packetsPerRound; ++k) {
      for (std::size_t i = 0; i < subjects.size(); ++i) {
        watch(subjects, start + k * period + i * period / subjects.size());
        subjects[i]->send();
      }
    }
    watch(subjects, Clock::now() + period);
    for (std::size_t i = 0; i < subjects.size(); ++i) {
      if (!subjects[i]->alive()) fail(subjects[i]->program + " ended while packets came");
      Figures::Rate& r = figures[i]->*which;
      r.programMs.push_back((cpuNs(subjects[i]->pid) - program[i]) / 1e6 / packetsPerRound);
      r.serverMs.push_back((cpuNs(subjects[i]->x.pid()) - server[i]) / 1e6 / packetsPerRound);
      collectLatencies(*subjects[i], period, r);
    }
    std::cerr << "  round " << round + 1 << " of " << rounds << '\n';
  }
}

// A million packets as fast as each program takes them: what stays behind in memory.
void feedLongRun(std::vector<Subject*> subjects) {
  std::vector<std::string> pending(subjects.size());
  const std::uint64_t end = subjects.front()->sent + kLongRunPackets;
  for (Subject* s : subjects)
    fcntl(s->master, F_SETFL, O_NONBLOCK);
  for (bool more = true; more;) {
    more = false;
    std::vector<pollfd> fds;
    for (std::size_t i = 0; i < subjects.size(); ++i) {
      Subject& s = *subjects[i];
      if (pending[i].empty()) {
        for (int k = 0; k < 100 && s.sent < end; ++k) {
          const tavimor::PacketBytes packet = tavimor::toPacket(s.station.groupAt(s.sent++));
          pending[i].append(packet.begin(), packet.end());
        }
      }
      const ssize_t written = write(s.master, pending[i].data(), pending[i].size());
      if (written > 0) pending[i].erase(0, static_cast<std::size_t>(written));
      more |= !pending[i].empty() || s.sent < end;
      fds.push_back({s.master, static_cast<short>(pending[i].empty() ? 0 : POLLOUT), 0});
      fds.push_back({s.x.fd(), POLLIN, 0});
    }
    poll(fds.data(), fds.size(), 100);
    for (Subject* s : subjects)
      s->x.takeDamage();
  }
  for (Subject* s : subjects)
    fcntl(s->master, F_SETFL, 0);
  settle(subjects);
}

std::string loadAverage() {
  const std::string load = slurp("/proc/loadavg");
  return load.substr(0, load.find(' ', load.find(' ', load.find(' ') + 1) + 1));
}

// ---- The table ----

struct Row {
  std::string figure;
  double program, reference;
  int decimals;
  std::string unit;
  std::string budget;  // empty: reported only
  bool met = true;
  double ratio = NAN;  // program / reference unless given
};

std::string fixed(double value, int decimals) {
  std::ostringstream out;
  out.setf(std::ios::fixed);
  out.precision(decimals);
  out << value;
  return out.str();
}

bool printTable(const std::vector<Row>& rows) {
  const std::array<std::string, 6> heads = {"figure", "program", "reference",
                                            "ratio",  "budget",  "verdict"};
  std::vector<std::array<std::string, 6>> cells;
  bool allMet = true;
  for (const Row& r : rows) {
    const double value = std::isnan(r.ratio) ? r.program / r.reference : r.ratio;
    const std::string ratio = std::isfinite(value) ? fixed(value, 2) : "—";
    cells.push_back({r.figure, fixed(r.program, r.decimals) + " " + r.unit,
                     fixed(r.reference, r.decimals) + " " + r.unit, ratio,
                     r.budget.empty() ? "—" : r.budget,
                     r.budget.empty() ? "—"
                     : r.met          ? "within"
                                      : "MISSED"});
    allMet &= r.met;
  }
  std::array<std::size_t, 6> width{};
  auto length = [](const std::string& s) {  // in characters, for the UTF-8 of ≤ and —
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
  };
  for (std::size_t c = 0; c < 6; ++c) {
    width[c] = length(heads[c]);
    for (const auto& row : cells)
      width[c] = std::max(width[c], length(row[c]));
  }
  auto print = [&](const std::array<std::string, 6>& row) {
    for (std::size_t c = 0; c < 6; ++c)
      std::cout << "| " << row[c] << std::string(width[c] - length(row[c]), ' ') << ' ';
    std::cout << "|\n";
  };
  print(heads);
  std::array<std::string, 6> rule;
  for (std::size_t c = 0; c < 6; ++c)
    rule[c] = std::string(width[c], '-');
  print(rule);
  for (const auto& row : cells)
    print(row);
  return allMet;
}

std::string list(const std::vector<double>& values, int decimals) {
  std::string out;
  for (double v : values)
    out += (out.empty() ? "" : " ") + fixed(v, decimals);
  return out;
}

// Each program started and stopped in turn, the order swapped every run; a warm-up run first.
void measureStartUp(const std::vector<Subject*>& subjects, const std::vector<Figures*>& figures) {
  std::cerr << "Start-up, " << kStartRuns << " runs each after a warm-up, alternating\n";
  settle(subjects);  // a new X server reports its whole screen once
  for (int run = 0; run <= kStartRuns; ++run) {
    for (std::size_t j = 0; j < subjects.size(); ++j) {
      const std::size_t i = (j + static_cast<std::size_t>(run)) % subjects.size();
      Subject& s = *subjects[i];
      const Clock::time_point start = s.launch();
      while (s.paints.empty()) {
        if (!s.alive()) fail(s.program + " ended during start-up");
        if (Clock::now() - start > 20s) fail(s.program + " showed no window in 20 s");
        watch({&s}, Clock::now() + 20ms);
      }
      if (run > 0) figures[i]->startMs.push_back(ms(s.paints.front() - start));
      endProcess(s.pid);
      settle({&s});
    }
  }
}

void launchBoth(const std::vector<Subject*>& subjects, const std::vector<Figures*>& figures) {
  for (Subject* s : subjects)
    s->launch();
  watch(subjects, Clock::now() + 2s);
  settle(subjects);
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    if (!subjects[i]->alive()) fail(subjects[i]->program + " ended after start-up");
    figures[i]->residentMb = residentMb(subjects[i]->pid);
  }
}

void measureQuiet(const std::vector<Subject*>& subjects, const std::vector<Figures*>& figures) {
  std::cerr << "10 quiet seconds\n";
  for (std::size_t i = 0; i < subjects.size(); ++i)
    figures[i]->quietWakeUps = wakeUps(subjects[i]->pid);
  watch(subjects, Clock::now() + kQuiet);
  for (std::size_t i = 0; i < subjects.size(); ++i)
    figures[i]->quietWakeUps = wakeUps(subjects[i]->pid) - figures[i]->quietWakeUps;
}

void measureLongRun(const std::vector<Subject*>& subjects, const std::vector<Figures*>& figures) {
  std::cerr << "Long run, " << kLongRunPackets << " packets each\n";
  feedLongRun(subjects);
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    if (!subjects[i]->alive()) fail(subjects[i]->program + " ended during the long run");
    figures[i]->longRunGrowthMb = residentMb(subjects[i]->pid) - figures[i]->residentMb;
  }
}

// Processor time per packet: the median round of each, and the median ratio within a round.
std::vector<Row> cpuRows(const Figures::Rate& p, const Figures::Rate& r, const std::string& rate,
                         double packetsPerSecond, bool withBudget) {
  const double ratio = pairedRatio(p.totalMs(), r.totalMs());
  const std::string at = " at " + rate;
  return {
      {"processor time per packet" + at + ", program", median(p.programMs), median(r.programMs), 3,
       "ms", "", true, pairedRatio(p.programMs, r.programMs)},
      {"processor time per packet" + at + ", X server", median(p.serverMs), median(r.serverMs), 3,
       "ms", "", true, pairedRatio(p.serverMs, r.serverMs)},
      {"processor time per packet" + at + ", together", median(p.totalMs()), median(r.totalMs()), 3,
       "ms", withBudget ? "≤ 1 × reference" : "", !withBudget || ratio <= 1, ratio},
      {"share of a core" + at, median(p.totalMs()) * packetsPerSecond / 10,
       median(r.totalMs()) * packetsPerSecond / 10, 2, "%", "", true, ratio},
      {"latency to the painted window" + at + ", median", median(p.latencyMs), median(r.latencyMs),
       3, "ms", ""},
      {"latency" + at + ", 99th percentile", percentile(p.latencyMs, 0.99),
       percentile(r.latencyMs, 0.99), 3, "ms", ""},
  };
}

std::vector<Row> otherRows(const Figures& p, const Figures& r) {
  return {
      {"wake-ups in 10 quiet seconds", double(p.quietWakeUps), double(r.quietWakeUps), 0, "", "0",
       p.quietWakeUps == 0},
      {"start-up to the first painted window, median", median(p.startMs), median(r.startMs), 0,
       "ms", "≤ 1.5 × reference", median(p.startMs) <= 1.5 * median(r.startMs)},
      {"resident memory after start", p.residentMb, r.residentMb, 1, "MiB", "≤ reference + 10 MiB",
       p.residentMb <= r.residentMb + 10},
      {"growth over 1,000,000 packets", p.longRunGrowthMb, r.longRunGrowthMb, 2, "MiB", "< 1 MiB",
       p.longRunGrowthMb < 1},
  };
}

int run(int argc, char* argv[]) {
  const bool lineRateOnly = argc == 4 && std::string(argv[1]) == "--line-rate-only";
  if (argc != 3 && !lineRateOnly) {
    std::cerr << "usage: tavimor_bench_driver [--line-rate-only] PROGRAM REFERENCE\n";
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  const std::string before = loadAverage();
  std::cerr << "Starting two X servers; load average " << before << '\n';
  Subject program(argv[argc - 2]);
  Subject reference(argv[argc - 1]);
  const std::vector<Subject*> both = {&program, &reference};
  Figures p, r;
  const std::vector<Figures*> figures = {&p, &r};

  if (!lineRateOnly) measureStartUp(both, figures);
  launchBoth(both, figures);
  if (!lineRateOnly) measureQuiet(both, figures);
  std::cerr << "Line rate, " << fixed(kLineRate, 1) << " packets/s\n";
  feedAtRate(both, figures, kLineRate, kLineRounds, static_cast<int>(kLineRoundSeconds * kLineRate),
             &Figures::line);
  std::vector<Row> rows = cpuRows(p.line, r.line, "106.7/s", kLineRate, true);
  if (!lineRateOnly) {
    std::cerr << "Group rate, " << fixed(kGroupRate, 1) << " groups/s\n";
    feedAtRate(both, figures, kGroupRate, kGroupRounds, static_cast<int>(10 * kGroupRate),
               &Figures::group);
    measureLongRun(both, figures);
    for (const auto& more :
         {cpuRows(p.group, r.group, "11.4/s", kGroupRate, false), otherRows(p, r)})
      rows.insert(rows.end(), more.begin(), more.end());
  }

  std::cout << "\nprogram:   " << program.program << "\nreference: " << reference.program << "\n\n";
  const bool met = printTable(rows);
  std::cout << "\nLoad average before and after: " << before << " / " << loadAverage() << '\n';
  std::cout << "Processor time per packet at 106.7/s, together, ratio in each round of "
            << kLineRoundSeconds << " s:";
  for (std::size_t k = 0; k < p.line.programMs.size(); ++k)
    std::cout << ' ' << fixed(p.line.totalMs()[k] / r.line.totalMs()[k], 2);
  std::cout << '\n';
  for (std::size_t i = 0; i < both.size(); ++i) {
    const Figures& f = *figures[i];
    std::cout << (i == 0 ? "program" : "reference") << ": packets without a paint "
              << f.line.unpainted << " at 106.7/s, " << f.group.unpainted
              << " at 11.4/s; start-up runs " << list(f.startMs, 0) << " ms\n";
  }
  return met ? 0 : 1;
}
}  // namespace

int main(int argc, char* argv[]) {
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "bench: " << error.what() << '\n';
    return 2;
  }
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The traffic state and traffic.txt on a real file system.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "decode/decoder.h"
#include "tests/support/file_write_counter.h"
#include "tests/support/row_name.h"
#include "tests/support/temporary_working_directory.h"
#include "traffic/traffic_indicator.h"

namespace tavimor {
namespace {

using testing::readFile;

// Group 0A with the given TP and TA flags.
RdsGroup group0(bool tp, bool ta) {
  return {0xD3C2, static_cast<std::uint16_t>((tp ? 0x0400 : 0) | (ta ? 0x0010 : 0)), 0, 0};
}

class Traffic : public ::testing::Test {
 protected:
  // Decodes the group, lets the indicator follow, and counts the writes of traffic.txt it made.
  int feed(const RdsGroup& group) {
    decodeGroup(group, station);
    indicator.follow(station);
    // Read after every group: the kernel merges identical events that nobody has read yet.
    return writes.takeCount();
  }

  testing::TemporaryWorkingDirectory workingDirectory;
  testing::FileWriteCounter writes{workingDirectory.path(), "traffic.txt"};
  Station station;
  TrafficIndicator indicator;
};

TEST_F(Traffic, StartUpSaysTheStateIsNotKnown) {
  testing::writeFile("traffic.txt", " 1 \r\n");
  ASSERT_FALSE(indicator.reset());
  EXPECT_EQ(readFile("traffic.txt"), "\x3F\x0D\x0A");
  EXPECT_EQ(indicator.state(), std::nullopt);
}

struct FirstGroupCase {
  std::string_view name;
  RdsGroup group;
};

std::ostream& operator<<(std::ostream& out, const FirstGroupCase& row) {
  return out << row.name;
}

class FirstGroup : public Traffic, public ::testing::WithParamInterface<FirstGroupCase> {};

TEST_P(FirstGroup, OfAnyKindWritesNoAnnouncement) {
  EXPECT_EQ(feed(GetParam().group), 1);
  EXPECT_EQ(indicator.state(), TrafficState::NoAnnouncement);
  EXPECT_EQ(readFile("traffic.txt"), "\x20\x30\x20\x0D\x0A");
}

INSTANTIATE_TEST_SUITE_P(Kinds, FirstGroup,
                         ::testing::Values(FirstGroupCase{"Group2A", {0x1234, 0x2010, 0, 0}},
                                           FirstGroupCase{"Group15B", {0x1234, 0xF800, 0, 0}},
                                           FirstGroupCase{"Group0ATpAlone", group0(true, false)}),
                         testing::kRowName);

struct Step {
  const char* name;
  RdsGroup group;
  int writes;
  std::string file;
};

TEST_F(Traffic, FileIsWrittenOnlyWhenTheStateChanges) {
  const Step steps[] = {
      {"first group", group0(false, false), 1, " 0 \r\n"},
      {"TP and TA", group0(true, true), 1, " 1 \r\n"},
      {"TP and TA again", group0(true, true), 0, " 1 \r\n"},
      {"2A keeps the flags of the last group 0", {0x1234, 0x2000, 0, 0}, 0, " 1 \r\n"},
      {"TA without TP", group0(false, true), 1, " 0 \r\n"},
      {"TP without TA", group0(true, false), 0, " 0 \r\n"},
      {"TP and TA once more", group0(true, true), 1, " 1 \r\n"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    EXPECT_EQ(feed(step.group), step.writes);
    EXPECT_EQ(readFile("traffic.txt"), step.file);
  }
}

TEST_F(Traffic, FailedWriteIsRetriedUntilTheFileIsRight) {
  feed(group0(false, false));
  std::filesystem::remove("traffic.txt");
  std::filesystem::create_directory("traffic.txt");

  feed(group0(true, true));
  EXPECT_EQ(indicator.state(), TrafficState::Announcement);
  feed(group0(true, true));
  EXPECT_TRUE(std::filesystem::is_directory("traffic.txt"));

  std::filesystem::remove("traffic.txt");
  EXPECT_EQ(feed(group0(true, true)), 1);
  EXPECT_EQ(readFile("traffic.txt"), " 1 \r\n");
  EXPECT_EQ(feed(group0(true, true)), 0);  // once right, no more retries
}

TEST(StatusFile, AReaderAlwaysFindsAWholeFirstLine) {
  testing::TemporaryWorkingDirectory workingDirectory;
  const StatusFile file;
  ASSERT_FALSE(file.write(kStatusUnknown));
  constexpr int kEnoughReads = 1000;
  std::atomic<bool> writing = true;
  std::atomic<int> reads = 0;
  std::atomic<int> incomplete = 0;
  std::thread reader([&] {
    while (writing) {
      const std::string content = readFile("traffic.txt");
      const bool whole = content.starts_with(kStatusUnknown) ||
                         content.starts_with(kStatusNoTraffic) ||
                         content.starts_with(kStatusTraffic);
      if (!whole) ++incomplete;
      ++reads;
    }
  });
  // Writes go on until the reader has read often enough, however the two are scheduled; the
  // bound only ends a run whose reader never reads.
  int failedWrites = 0;
  int change = 0;
  std::string_view last;
  for (; (change <= 2000 || reads < kEnoughReads) && change < 200000; ++change) {
    // Now and then the short start-up line over a longer one.
    last =
        change % 100 == 99 ? kStatusUnknown : (change % 2 == 0 ? kStatusTraffic : kStatusNoTraffic);
    if (file.write(last)) ++failedWrites;
  }
  writing = false;
  reader.join();
  EXPECT_EQ(failedWrites, 0);
  EXPECT_GE(reads, kEnoughReads) << "in " << change << " writes";
  EXPECT_EQ(incomplete, 0) << "of " << reads << " reads";
  EXPECT_EQ(readFile("traffic.txt"), last);
}

// A watcher may poll for traffic.txt before the monitor first starts in a directory.
TEST(StatusFile, ANewFileIsNeverFoundIncomplete) {
  testing::TemporaryWorkingDirectory workingDirectory;
  int reads = 0;
  int incomplete = 0;
  for (int round = 0; round < 100; ++round) {
    const std::filesystem::path directory = workingDirectory.path() / std::to_string(round);
    std::filesystem::create_directory(directory);
    const StatusFile file(directory / kStatusFileName);
    std::atomic<bool> polling = false;
    std::atomic<bool> written = false;
    std::thread reader([&] {
      for (;;) {
        polling = true;
        const bool finished = written;
        const int fd = ::open(file.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && finished) return;
        if (fd < 0) continue;
        std::array<char, 16> buffer{};
        const ssize_t length = ::read(fd, buffer.data(), buffer.size());
        ::close(fd);
        ++reads;
        if (std::string_view(buffer.data(), std::max<ssize_t>(length, 0)) == kStatusUnknown) return;
        ++incomplete;
        if (finished) return;
      }
    });
    while (!polling) {
      std::this_thread::yield();
    }
    EXPECT_FALSE(file.write(kStatusUnknown));
    written = true;
    reader.join();
  }
  EXPECT_EQ(incomplete, 0) << "of " << reads << " reads";
}

// In this process from now on, link() and linkat() fail as on a file system without hard links.
bool refuseHardLinks() {
  std::array program{
      sock_filter BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      sock_filter BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_link, 2, 0),
      sock_filter BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_linkat, 1, 0),
      sock_filter BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      sock_filter BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
  };
  const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

// Writes each content in turn, in a child process where hard links fail if so told; whether each
// was read back as written.
bool writeEachContent(bool withoutHardLinks) {
  const pid_t child = ::fork();
  if (child == 0) {
    const StatusFile file;
    bool whole = !withoutHardLinks || refuseHardLinks();
    for (const std::string_view content : {kStatusUnknown, kStatusTraffic, kStatusNoTraffic})
      whole = whole && !file.write(content) && readFile("traffic.txt") == content;
    ::_exit(whole ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

class EachContent : public ::testing::TestWithParam<bool> {};

TEST_P(EachContent, IsWrittenWholeAndLeavesNothingElseBehind) {
  testing::TemporaryWorkingDirectory workingDirectory;
  EXPECT_TRUE(writeEachContent(GetParam()));
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(workingDirectory.path()))
    files.push_back(entry.path().filename().string());
  EXPECT_EQ(files, std::vector<std::string>{"traffic.txt"});
}

INSTANTIATE_TEST_SUITE_P(StatusFile, EachContent, ::testing::Bool(), [](const auto& info) {
  return std::string(info.param ? "WithoutHardLinks" : "WithHardLinks");
});

}  // namespace
}  // namespace tavimor

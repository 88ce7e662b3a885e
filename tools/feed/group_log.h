// SPDX-License-Identifier: GPL-3.0-or-later
// Hex group logs: one group per line, "PPPP BBBB CCCC DDDD", optionally followed by
// " @YYYY/MM/DD HH:MM:SS.cc". Lines starting with '<' or '%' are headers; "----" is a block the
// receiver could not decode.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "decode/rds_group.h"

namespace tavimor::feed {

using Centiseconds = std::chrono::duration<std::int64_t, std::centi>;
// A log's timestamp, as the recorder's clock read it.
using LogTime = std::chrono::sys_time<Centiseconds>;

struct LogLine {
  enum class Kind { Group, Ignored, MissingBlock, Malformed };
  Kind kind = Kind::Ignored;
  RdsGroup group;               // for Kind::Group
  std::string problem;          // for Kind::Malformed: what is wrong, for the user
  std::optional<LogTime> time;  // for Kind::Group and Kind::MissingBlock, if the line has one
};

LogLine parseLogLine(std::string_view line);

// The four blocks of a group as a log keeps them; a block that could not be decoded is absent.
using LogBlocks = std::array<std::optional<std::uint16_t>, 4>;

// The log line of a group, without its line end: "PPPP BBBB CCCC DDDD" in upper-case hex, "----"
// for an absent block, then " @YYYY/MM/DD HH:MM:SS.cc" if the time is known.
std::string formatLogLine(const LogBlocks& blocks, const std::optional<LogTime>& time);

// Reads groups from a log, telling the diagnostics stream about each malformed line as
// "name:line: problem". Groups with a missing block and malformed lines are skipped and counted;
// in strict mode the first malformed line ends the log.
class GroupLogReader {
 public:
  GroupLogReader(std::istream& log, std::string logName, std::ostream& diagnostics, bool strict);

  // The next whole group, or nothing at the end of the log.
  std::optional<RdsGroup> next();

  // The timestamp of the group next() returned last, if its line had one.
  const std::optional<LogTime>& timeOfLastGroup() const { return timeOfLastGroup_; }
  std::uint64_t groupsWithMissingBlock() const { return groupsWithMissingBlock_; }
  std::uint64_t malformedLines() const { return malformedLines_; }
  bool stoppedAtMalformedLine() const { return stoppedAtMalformedLine_; }

 private:
  std::istream& log_;
  std::string logName_;
  std::ostream& diagnostics_;
  bool strict_;
  std::uint64_t lineNumber_ = 0;
  std::optional<LogTime> timeOfLastGroup_;
  std::uint64_t groupsWithMissingBlock_ = 0;
  std::uint64_t malformedLines_ = 0;
  bool stoppedAtMalformedLine_ = false;
};

}  // namespace tavimor::feed

// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/group_log.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <vector>

namespace tavimor::feed {
namespace {

constexpr std::string_view kMissingBlock = "----";
constexpr std::string_view kBlanks = " \t\r\n\f\v";
// '9' stands for any decimal digit.
constexpr std::string_view kDatePattern = "@9999/99/99";
constexpr std::string_view kTimePattern = "99:99:99.99";

std::vector<std::string_view> splitAtBlanks(std::string_view line) {
  std::vector<std::string_view> words;
  for (std::size_t start = line.find_first_not_of(kBlanks); start != std::string_view::npos;
       start = line.find_first_not_of(kBlanks, start)) {
    const std::size_t end = std::min(line.find_first_of(kBlanks, start), line.size());
    words.push_back(line.substr(start, end - start));
    start = end;
  }
  return words;
}

std::optional<std::uint16_t> parseBlock(std::string_view word) {
  if (word.size() != 4) return std::nullopt;
  std::uint16_t value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, 16);
  if (error != std::errc{} || end != word.data() + word.size()) return std::nullopt;
  return value;
}

bool matchesPattern(std::string_view word, std::string_view pattern) {
  return std::ranges::equal(
      word, pattern, [](char c, char p) { return p == '9' ? (c >= '0' && c <= '9') : c == p; });
}

std::string quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

LogLine malformed(std::string problem) {
  return {LogLine::Kind::Malformed, {}, std::move(problem), {}};
}

unsigned number(std::string_view digits) {
  unsigned value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value;
}

// date is "YYYY/MM/DD" and time "HH:MM:SS.cc", their digits already checked.
std::optional<LogTime> toLogTime(std::string_view date, std::string_view time) {
  using namespace std::chrono;
  const year_month_day calendarDate{year(static_cast<int>(number(date.substr(0, 4)))),
                                    month(number(date.substr(5, 2))),
                                    day(number(date.substr(8, 2)))};
  const hours hour(number(time.substr(0, 2)));
  const minutes minute(number(time.substr(3, 2)));
  const seconds second(number(time.substr(6, 2)));
  // Second 60 is a leap second, which a receiver's clock may show.
  if (!calendarDate.ok() || hour > 23h || minute > 59min || second > 60s) return std::nullopt;
  return sys_days(calendarDate) + hour + minute + second + Centiseconds(number(time.substr(9, 2)));
}

struct Timestamp {
  std::optional<LogTime> time;  // none if the line has no timestamp
  std::string problem;          // what is wrong with the one it has
};

Timestamp parseTimestamp(const std::vector<std::string_view>& words) {
  if (words.size() == 4) return {};
  if (!words[4].starts_with('@')) {
    return {{}, "unexpected " + quoted(words[4]) + " after the blocks"};
  }
  if (words.size() != 6 || !matchesPattern(words[4], kDatePattern) ||
      !matchesPattern(words[5], kTimePattern)) {
    return {{}, "timestamp is not @YYYY/MM/DD HH:MM:SS.cc"};
  }
  const auto time = toLogTime(words[4].substr(1), words[5]);
  if (!time) {
    const std::string written = std::string(words[4].substr(1)) + ' ' + std::string(words[5]);
    return {{}, "timestamp " + quoted(written) + " is not a valid date and time"};
  }
  return {time, {}};
}

std::string hexBlock(std::uint16_t block) {
  std::array<char, 5> digits{};
  std::snprintf(digits.data(), digits.size(), "%04X", static_cast<unsigned>(block));
  return {digits.data(), 4};
}

std::string timestampText(LogTime time) {
  using namespace std::chrono;
  const sys_days day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss<Centiseconds> clock(time - day);
  std::array<char, 32> text{};
  const int length = std::snprintf(
      text.data(), text.size(), "@%04d/%02u/%02u %02d:%02d:%02d.%02d",
      static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
      static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
      static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()),
      static_cast<int>(clock.subseconds().count()));
  return {text.data(), static_cast<std::size_t>(length)};
}

}  // namespace

std::string formatLogLine(const LogBlocks& blocks, const std::optional<LogTime>& time) {
  std::string line;
  for (const std::optional<std::uint16_t>& block : blocks) {
    if (!line.empty()) line += ' ';
    line += block ? hexBlock(*block) : std::string(kMissingBlock);
  }
  if (time) line += ' ' + timestampText(*time);
  return line;
}

LogLine parseLogLine(std::string_view line) {
  const std::vector<std::string_view> words = splitAtBlanks(line);
  if (words.empty() || words[0].starts_with('<') || words[0].starts_with('%')) return {};
  if (words.size() < 4) {
    return malformed("expected four blocks, found " + std::to_string(words.size()));
  }

  std::array<std::uint16_t, 4> blocks{};
  bool missingBlock = false;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (words[i] == kMissingBlock) {
      missingBlock = true;
    } else if (const auto block = parseBlock(words[i])) {
      blocks[i] = *block;
    } else {
      return malformed("block " + std::string(1, static_cast<char>('A' + i)) + " " +
                       quoted(words[i]) + " is not four hex digits");
    }
  }
  Timestamp timestamp = parseTimestamp(words);
  if (!timestamp.problem.empty()) return malformed(std::move(timestamp.problem));
  if (missingBlock) return {LogLine::Kind::MissingBlock, {}, {}, timestamp.time};
  return {LogLine::Kind::Group, {blocks[0], blocks[1], blocks[2], blocks[3]}, {}, timestamp.time};
}

GroupLogReader::GroupLogReader(std::istream& log, std::string logName, std::ostream& diagnostics,
                               bool strict)
    : log_(log), logName_(std::move(logName)), diagnostics_(diagnostics), strict_(strict) {}

std::optional<RdsGroup> GroupLogReader::next() {
  std::string line;
  while (!stoppedAtMalformedLine_ && std::getline(log_, line)) {
    ++lineNumber_;
    LogLine parsed = parseLogLine(line);
    switch (parsed.kind) {
      case LogLine::Kind::Group:
        timeOfLastGroup_ = parsed.time;
        return parsed.group;
      case LogLine::Kind::Ignored:
        break;
      case LogLine::Kind::MissingBlock:
        ++groupsWithMissingBlock_;
        break;
      case LogLine::Kind::Malformed:
        ++malformedLines_;
        diagnostics_ << logName_ << ':' << lineNumber_ << ": " << parsed.problem << '\n';
        stoppedAtMalformedLine_ = strict_;
        break;
    }
  }
  return std::nullopt;
}

}  // namespace tavimor::feed

// The printed result: every figure beside its budget and beside the two physical rates.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tavimor::bench {

// 9600 baud, ten bits a byte on the line, nine bytes a packet.
inline constexpr double kLinePacketsPerSecond = 9600.0 / 10.0 / 9.0;
// 1187.5 bit/s and 104 bits a group.
inline constexpr double kRdsGroupsPerSecond = 1187.5 / 104.0;

struct TableRow {
  std::string figure;
  std::string measured;
  std::string budget;
  std::string againstLine;
  std::string againstRds;
  bool withinBudget = false;
};

// As a Markdown table, so that it can go into docs/PERFORMANCE.md unchanged.
void printTable(const std::vector<TableRow>& rows, std::ostream& out);

// 1234567.8 as "1,234,568".
std::string grouped(double value);

std::string fixed(double value, int decimals);

}  // namespace tavimor::bench

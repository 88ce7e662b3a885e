#include "budget_table.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iomanip>
#include <sstream>

namespace tavimor::bench {
namespace {

using Cells = std::array<std::string, 6>;

Cells cellsOf(const TableRow& row) {
  return {row.figure,      row.measured,   row.budget,
          row.againstLine, row.againstRds, row.withinBudget ? "within" : "MISSED"};
}

// Display width: every multi-byte UTF-8 sequence counts as one column.
std::size_t columns(const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

void printRow(const Cells& cells, const Cells& widths, std::ostream& out) {
  out << '|';
  for (std::size_t i = 0; i < cells.size(); ++i)
    out << ' ' << cells[i] << std::string(columns(widths[i]) - columns(cells[i]), ' ') << " |";
  out << '\n';
}

}  // namespace

void printTable(const std::vector<TableRow>& rows, std::ostream& out) {
  const Cells header{"figure",
                     "measured",
                     "budget",
                     "against the line (106.7 packets/s)",
                     "against RDS (11.4 groups/s)",
                     "verdict"};
  Cells widths = header;
  for (const TableRow& row : rows) {
    const Cells cells = cellsOf(row);
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (columns(cells[i]) > columns(widths[i])) widths[i] = cells[i];
    }
  }
  printRow(header, widths, out);
  out << '|';
  for (const std::string& width : widths)
    out << std::string(columns(width) + 2, '-') << '|';
  out << '\n';
  for (const TableRow& row : rows)
    printRow(cellsOf(row), widths, out);
}

std::string grouped(double value) {
  const std::string digits = std::to_string(std::llround(value));
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const std::size_t left = digits.size() - i;
    if (i > 0 && digits[i - 1] != '-' && left % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

std::string fixed(double value, int decimals) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(decimals) << value;
  return text.str();
}

}  // namespace tavimor::bench

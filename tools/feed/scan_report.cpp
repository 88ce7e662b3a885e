// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/scan_report.h"

#include <cmath>
#include <cstdio>
#include <iomanip>
#include <sstream>

#include "decode/programme_type.h"

namespace tavimor::feed {
namespace {

std::string fixed(double value, int decimals) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(decimals) << value;
  return text.str();
}

std::string hexPi(std::uint16_t pi) {
  std::ostringstream text;
  text << std::uppercase << std::hex << std::setw(4) << std::setfill('0') << pi;
  return text.str();
}

// A JSON string: the name is UTF-8 already; quotes, backslashes and control characters escaped.
std::string jsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      std::array<char, 8> escaped{};
      std::snprintf(escaped.data(), escaped.size(), "\\u%04x", static_cast<unsigned>(c));
      quoted += escaped.data();
    } else {
      quoted += c;
    }
  }
  return quoted + '"';
}

template <typename T, typename Show>
std::string orNull(const std::optional<T>& value, Show show) {
  return value ? show(*value) : "null";
}

// Padded to `width` characters, counting a UTF-8 character once.
std::string padded(const std::string& text, std::size_t width) {
  std::size_t characters = 0;
  for (const char c : text)
    characters += (static_cast<unsigned char>(c) & 0xC0U) != 0x80U ? 1 : 0;
  return text + std::string(width > characters ? width - characters : 0, ' ');
}

}  // namespace

std::string scanTableHeader(bool withFrequency) {
  return padded(withFrequency ? "FREQUENCY" : "OFFSET", 13) + padded("PI", 6) + padded("PS", 10) +
         padded("PROGRAMME TYPE", 26) + padded("LEVEL", 12) + padded("SNR", 9) + padded("LOST", 9) +
         "GROUPS\n";
}

std::string scanTableRow(const scan::StationReport& station, bool withFrequency) {
  const std::string where = withFrequency && station.frequencyHz
                                ? fixed(*station.frequencyHz / 1e6, 2) + " MHz"
                                : fixed(station.offsetHz / 1e3, 1) + " kHz";
  const std::string pty = station.pty ? std::to_string(*station.pty) + " " +
                                            std::string(programmeTypeName(*station.pty))
                                      : (station.rds ? "-" : "no RDS");
  return padded(where, 13) + padded(station.pi ? hexPi(*station.pi) : "-", 6) +
         padded(station.ps ? station.ps->c_str() : "-", 10) + padded(pty, 26) +
         padded(fixed(station.levelDbfs, 1) + " dBFS", 12) +
         padded(fixed(station.snrDb, 1) + " dB", 9) +
         padded(station.blockErrorRate ? fixed(*station.blockErrorRate * 100.0, 1) + " %" : "-",
                9) +
         std::to_string(station.groups) + '\n';
}

std::string scanJsonLine(const scan::StationReport& station) {
  std::ostringstream line;
  line << "{\"offset_hz\": " << std::llround(station.offsetHz);
  if (station.frequencyHz) line << ", \"frequency_hz\": " << std::llround(*station.frequencyHz);
  line << ", \"pi\": " << orNull(station.pi, [](std::uint16_t pi) { return jsonString(hexPi(pi)); })
       << ", \"ps\": " << orNull(station.ps, jsonString)
       << ", \"pty\": " << orNull(station.pty, [](std::uint8_t pty) { return std::to_string(pty); })
       << ", \"level_db\": " << fixed(station.levelDbfs, 1)
       << ", \"snr_db\": " << fixed(station.snrDb, 1) << ", \"groups\": " << station.groups
       << ", \"block_error_rate\": "
       << orNull(station.blockErrorRate, [](double rate) { return fixed(rate, 4); })
       << ", \"rds\": " << (station.rds ? "true" : "false") << "}\n";
  return line.str();
}

}  // namespace tavimor::feed

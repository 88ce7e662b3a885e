#include "station_mix.h"

#include <array>
#include <cstdint>
#include <random>
#include <string_view>

namespace tavimor::bench {
namespace {

constexpr std::uint16_t kPi = 0xD3C2;
constexpr std::string_view kPsName = "Ve\xDB Rock";  // 0xDB is č in the RDS character table
constexpr std::array<std::string_view, 3> kRadioTexts{
    "Tonight from eight: the rock hour with listeners' requests.     ",
    "Traffic: the ring road is clear again. Drive safely!\r           ",
    // 0x99 is ü and 0x91 is ä in the RDS character table.
    "Now playing: S\x99"
    "d-Express - Ferngl\x91ser (1987)                    ",
};
static_assert(kRadioTexts[0].size() == 64 && kRadioTexts[1].size() == 64 &&
              kRadioTexts[2].size() == 64);
// About a minute of groups per RadioText, and a two-minute announcement every half hour.
constexpr std::size_t kPacketsPerText = 700;
constexpr std::size_t kPacketsPerTrafficCycle = 20'000;
constexpr std::size_t kAnnouncementPackets = 1'400;
// Group type codes (type << 1 | version B) of the groups that are neither 0A nor 2A.
constexpr std::array<std::uint16_t, 8> kOtherGroups{2, 6, 8, 16, 20, 22, 28, 31};

std::string packet(std::uint8_t lead, std::uint16_t blockB, std::uint16_t blockC,
                   std::uint16_t blockD) {
  std::string bytes(1, static_cast<char>(lead));
  for (const std::uint16_t block : {kPi, blockB, blockC, blockD}) {
    bytes += static_cast<char>(block >> 8);
    bytes += static_cast<char>(block & 0xFF);
  }
  return bytes;
}

std::uint16_t chars(std::string_view pair) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(pair[0]) << 8 |
                                    static_cast<unsigned char>(pair[1]));
}

class Station {
 public:
  std::string next(std::size_t index) {
    const auto lead = static_cast<std::uint8_t>(index);
    const unsigned draw = percent_(random_);
    if (draw < 35) return group0A(lead, index);
    if (draw < 65) return group2A(lead, index);
    return otherGroup(lead);
  }

 private:
  std::string group0A(std::uint8_t lead, std::size_t index) {
    const bool announcement = index % kPacketsPerTrafficCycle < kAnnouncementPackets;
    const unsigned segment = psSegment_++ % 4;
    const bool diFlag = segment == 3;  // stereo only
    // TP, PTY 10, TA, music, DI, segment address.
    const auto blockB = static_cast<std::uint16_t>(0x0400 | 10 << 5 | (announcement ? 0x10 : 0) |
                                                   0x08 | (diFlag ? 0x04 : 0) | segment);
    return packet(lead, blockB, 0xE205, chars(kPsName.substr(2 * segment, 2)));
  }

  std::string group2A(std::uint8_t lead, std::size_t index) {
    const std::size_t textNumber = index / kPacketsPerText;
    const std::string_view text = kRadioTexts[textNumber % kRadioTexts.size()];
    const unsigned segment = rtSegment_++ % 16;
    const auto blockB =
        static_cast<std::uint16_t>(0x2000 | (textNumber % 2 == 1 ? 0x10 : 0) | segment);
    return packet(lead, blockB, chars(text.substr(4 * segment, 2)),
                  chars(text.substr(4 * segment + 2, 2)));
  }

  std::string otherGroup(std::uint8_t lead) {
    const std::uint16_t code = kOtherGroups[random_() % kOtherGroups.size()];
    const auto blockB = static_cast<std::uint16_t>(code << 11 | 0x0400 | (random_() & 0x1F));
    return packet(lead, blockB, static_cast<std::uint16_t>(random_()),
                  static_cast<std::uint16_t>(random_()));
  }

  std::mt19937 random_{20260608};
  std::uniform_int_distribution<unsigned> percent_{0, 99};
  unsigned psSegment_ = 0;
  unsigned rtSegment_ = 0;
};

}  // namespace

std::vector<std::string> stationPackets(std::size_t count) {
  Station station;
  std::vector<std::string> packets;
  packets.reserve(count);
  for (std::size_t i = 0; i < count; ++i)
    packets.push_back(station.next(i));
  return packets;
}

}  // namespace tavimor::bench

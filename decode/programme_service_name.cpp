#include "programme_service_name.h"

#include <array>
#include <utility>

namespace tavimor {
namespace {

constexpr std::size_t kBlockD = 7;

constexpr std::array<std::pair<std::string_view, std::size_t>, 4> kPairPositionBySegment{{
    {"00", 0},
    {"01", 2},
    {"10", 4},
    {"11", 6},
}};

}  // namespace

void decodeProgrammeServiceName(const GroupHeader& header, std::string_view groupPacket,
                                std::string& psBuffer, DisplayFields& fields) {
  if (header.isGroup0()) {
    const std::string_view pair = groupPacket.substr(kBlockD, 2);
    for (const auto& [segmentCode, position] : kPairPositionBySegment) {
      if (header.segmentCode == segmentCode) psBuffer.replace(position, pair.size(), pair);
    }
  }
  fields.setCaption(Field::lblPS, psBuffer);
}

}  // namespace tavimor

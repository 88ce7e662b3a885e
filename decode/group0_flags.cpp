#include "group0_flags.h"

#include <array>
#include <utility>

namespace tavimor {
namespace {

// Each group 0 packet carries one of the four DI flags, chosen by its segment address.
constexpr std::array<std::pair<std::string_view, Field>, 4> kDiFieldBySegment{{
    {"00", Field::lblDIdynPTY},
    {"01", Field::lblDIcomp},
    {"10", Field::lblDIhead},
    {"11", Field::lblDIstereo},
}};

}  // namespace

void decodeTrafficFlags(const GroupHeader& header, DisplayFields& fields) {
  if (!header.isGroup0()) return;
  fields.setCaption(Field::lblTP, header.bits8.substr(1, 1));
  fields.setCaption(Field::lblTA, header.bits9.substr(3, 1));
}

void decodeProgrammeFlags(const GroupHeader& header, DisplayFields& fields) {
  if (!header.isGroup0()) return;
  fields.setCaption(Field::lblMS, header.bits10.substr(0, 1));
  for (const auto& [segmentCode, diField] : kDiFieldBySegment) {
    if (header.segmentCode == segmentCode) fields.setCaption(diField, header.bits10.substr(1, 1));
  }
}

}  // namespace tavimor

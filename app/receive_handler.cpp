#include "receive_handler.h"

#include <algorithm>

#include "block_b_header.h"
#include "group0_flags.h"
#include "programme_service_name.h"
#include "programme_type.h"
#include "radiotext.h"
#include "traffic_indicator.h"

namespace tavimor {

std::string toHexPacket(std::string_view read) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::size_t bytes = std::min(read.size(), kPacketSize);
  std::string hexPacket(2 * bytes, '0');
  for (std::size_t i = 0; i < bytes; ++i) {
    const auto byte = static_cast<unsigned char>(read[i]);
    hexPacket[2 * i] = kDigits[byte >> 4];
    hexPacket[2 * i + 1] = kDigits[byte & 0x0F];
  }
  return hexPacket;
}

void handleRead(std::string_view read, DecoderState& state, DisplayFields& fields,
                const StatusFile& statusFile) {
  const std::string hexPacket = toHexPacket(read);
  fields.setCaption(Field::Text1, read);
  fields.setCaption(Field::Text2, hexPacket);
  if (read.size() < kPacketSize) return;

  // Later stages read what earlier ones wrote: the traffic stage reads the TP and TA captions.
  const GroupHeader header = decodeBlockBHeader(hexPacket, fields);
  decodeTrafficFlags(header, fields);
  decodeProgrammeType(header, fields);
  decodeProgrammeFlags(header, fields);
  decodeProgrammeServiceName(header, read, state.psBuffer, fields);
  decodeRadioText(header, hexPacket, read, state.radioText, fields);
  updateTrafficIndicator(state.traffic, fields, statusFile);
}

}  // namespace tavimor

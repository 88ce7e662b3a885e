// A synthetic station with the group mix of a typical FM broadcast: about 35% group 0A,
// 30% group 2A and the rest other groups, as nine-byte packets.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavimor::bench {

// The same packets on every call. The lead byte counts packets, so that no packet repeats the
// one before it.
std::vector<std::string> stationPackets(std::size_t count);

}  // namespace tavimor::bench

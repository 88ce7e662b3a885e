// SPDX-License-Identifier: GPL-3.0-or-later
#include "scan/station_receiver.h"

#include <algorithm>
#include <string_view>

#include "decode/bits.h"
#include "decode/group_type.h"
#include "ui/rds_charset.h"

namespace tavimor::scan {
namespace {

// A station that gave no group at all in this long is a carrier without RDS: a station with RDS
// gives its first groups within a second on a fair signal.
constexpr double kNoRdsSeconds = 3.0;

}  // namespace

StationReceiver::StationReceiver(double channelRate, double startSeconds, StationReport found)
    : chain_({.kind = receiver::SignalKind::Channel, .sampleRate = channelRate}),
      startSeconds_(startSeconds),
      report_(std::move(found)),
      lastSeen_(report_.foundSeconds) {}

void StationReceiver::process(std::span<const std::complex<float>> channel) {
  chain_.process(channel, [&](const receiver::TimedGroup& group) { take(group); });
  // A carrier without RDS loses no blocks: it sends none.
  if (chain_.counts().groups > 0) report_.blockErrorRate = chain_.status().rds.blockErrorRate;
  updateSettled(startSeconds_ + chain_.seconds());
}

void StationReceiver::seen(double offsetHz, double levelDbfs, double snrDb, double atSeconds) {
  report_.levelDbfs = levelDbfs;
  report_.snrDb = snrDb;
  if (report_.frequencyHz) *report_.frequencyHz += offsetHz - report_.offsetHz;
  report_.offsetHz = offsetHz;
  lastSeen_ = atSeconds;
}

void StationReceiver::take(const receiver::TimedGroup& timed) {
  const mpx::DecodedGroup& group = timed.group;
  const double at = startSeconds_ + timed.endSeconds;
  if (group.complete()) ++report_.groups;
  const std::optional<std::uint16_t>& a = group.blocks[0];
  if (a) {
    // The rule the decoder takes a new PI by: the same one twice in a row.
    if (a == lastPi_ && a != disowned_ && report_.pi != a) {
      report_.pi = a;
      report_.rds = true;
      report_.piSeconds = at;
    }
    if (a != lastPi_) segments_ = {};
    lastPi_ = a;
  }
  if (!report_.pi || a != report_.pi) return;
  const std::optional<std::uint16_t>& b = group.blocks[1];
  if (!b) return;
  report_.pty = static_cast<std::uint8_t>(bitsOf(*b, 5, 5));
  if (groupTypeOf(*b).number == 0 && group.blocks[3]) notePs(*b, *group.blocks[3], at);
}

void StationReceiver::notePs(std::uint16_t blockB, std::uint16_t blockD, double atSeconds) {
  const std::size_t segment = bitsOf(blockB, 0, 2);
  name_[2 * segment] = highByte(blockD);
  name_[2 * segment + 1] = lowByte(blockD);
  segments_[segment] = true;
  if (!std::ranges::all_of(segments_, [](bool received) { return received; })) return;
  report_.ps = rdsToUtf8(std::string_view(name_.data(), name_.size()));
  if (!report_.psSeconds) report_.psSeconds = atSeconds;
  segments_ = {};
}

void StationReceiver::disown(std::uint16_t pi) {
  disowned_ = pi;
  if (report_.pi != pi) return;
  report_.pi.reset();
  report_.ps.reset();
  report_.pty.reset();
  report_.rds = false;
  report_.piSeconds.reset();
  report_.psSeconds.reset();
}

void StationReceiver::updateSettled(double nowSeconds) {
  const bool named = report_.rds && report_.ps;
  const bool silent =
      chain_.counts().groups == 0 && nowSeconds - report_.foundSeconds >= kNoRdsSeconds;
  report_.settled = named || silent;
}

bool StationReceiver::justSettled() {
  if (!report_.settled || settledTold_) return false;
  settledTold_ = true;
  return true;
}

}  // namespace tavimor::scan

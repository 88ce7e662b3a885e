// SPDX-License-Identifier: GPL-3.0-or-later
// Why the stick would not start or stopped, told from rtl_sdr's own messages, with the fix.
#pragma once

#include <string>
#include <string_view>

namespace tavimor::radio {

// Which groups the user is in: in this login, and in the system's group database.
struct GroupMembership {
  bool sessionInPlugdev = false;
  bool accountInPlugdev = false;
  std::string userName;
};

GroupMembership currentMembership();

// The line for the user, from everything rtl_sdr wrote on standard error.
std::string explainStickTrouble(std::string_view messages, const GroupMembership& membership);

inline constexpr std::string_view kRtlSdrMissing =
    "rtl_sdr is missing: install Debian's rtl-sdr (as root: apt install rtl-sdr)";

}  // namespace tavimor::radio

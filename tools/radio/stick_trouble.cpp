// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/stick_trouble.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace tavimor::radio {
namespace {

bool says(std::string_view messages, std::string_view what) {
  return messages.find(what) != std::string_view::npos;
}

}  // namespace

GroupMembership currentMembership() {
  GroupMembership membership;
  const group* plugdev = ::getgrnam("plugdev");
  if (plugdev == nullptr) return membership;
  const gid_t plugdevId = plugdev->gr_gid;
  std::vector<gid_t> session(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  session.resize(static_cast<std::size_t>(
      std::max(::getgroups(static_cast<int>(session.size()), session.data()), 0)));
  membership.sessionInPlugdev =
      ::getegid() == plugdevId || std::ranges::find(session, plugdevId) != session.end();
  if (const passwd* user = ::getpwuid(::getuid())) {
    membership.userName = user->pw_name;
    int count = 64;
    std::vector<gid_t> account(static_cast<std::size_t>(count));
    if (::getgrouplist(user->pw_name, user->pw_gid, account.data(), &count) >= 0) {
      account.resize(static_cast<std::size_t>(count));
      membership.accountInPlugdev = std::ranges::find(account, plugdevId) != account.end();
    }
  }
  return membership;
}

std::string explainStickTrouble(std::string_view messages, const GroupMembership& membership) {
  if (says(messages, "No supported devices found")) {
    return "no RTL-SDR stick found: plug one in (a DVB-T stick with the RTL2832U chip) and "
           "try again";
  }
  if (says(messages, "Please fix the device permissions")) {
    if (membership.sessionInPlugdev) {
      return "you may not open the stick yet: unplug it and plug it in again, so that the rules "
             "of Debian's rtl-sdr give the plugdev group access to it";
    }
    if (membership.accountInPlugdev) {
      return "you may not open the stick yet: you joined the plugdev group, which takes effect "
             "at your next login: log out and in again";
    }
    const std::string user = membership.userName.empty() ? "USER" : membership.userName;
    return "you may not open the stick: join the plugdev group (as root: adduser " + user +
           " plugdev), then log in again";
  }
  if (says(messages, "Detaching kernel driver failed")) {
    return "the television (DVB) driver holds the stick: keep it away with echo 'blacklist "
           "dvb_usb_rtl28xxu' | sudo tee /etc/modprobe.d/blacklist-rtl-sdr.conf, then unplug "
           "the stick and plug it in again";
  }
  if (says(messages, "usb_claim_interface error")) {
    return "the stick is busy: another program uses it (rtl_sdr, rtl_fm, an SDR program or "
           "another tavimor-radio); close that one and try again";
  }
  if (says(messages, "Reading samples")) {
    return "the stick stopped sending: it was pulled out, or rtl_sdr failed; plug it in and "
           "try again";
  }
  return "rtl_sdr could not start the stick";
}

}  // namespace tavimor::radio

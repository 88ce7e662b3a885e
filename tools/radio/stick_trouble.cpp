// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/radio/stick_trouble.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>
#include <vector>

namespace tavimor::radio {
namespace {

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

// An interface bound to a driver is listed in the driver's directory by its name, "1-1:1.0".
bool holdsAnInterface(const std::filesystem::path& driver) {
  std::error_code error;
  return std::ranges::any_of(std::filesystem::directory_iterator(driver, error),
                             [](const std::filesystem::directory_entry& entry) {
                               return entry.path().filename().string().find(':') !=
                                      std::string::npos;
                             });
}

bool said(const sdr::DeviceProblem& problem, std::string_view what) {
  return std::ranges::any_of(problem.logged, [&](const std::string& line) {
    return line.find(what) != std::string::npos;
  });
}

std::string noAccess(const GroupMembership& membership) {
  if (membership.sessionInPlugdev) {
    return "you may not open the stick yet: unplug it and plug it in again, so that the rules of "
           "Debian's librtlsdr0 give the plugdev group access to it";
  }
  if (membership.accountInPlugdev) {
    return "you may not open the stick yet: you joined the plugdev group, which takes effect at "
           "your next login: log out and in again";
  }
  const std::string user = membership.userName.empty() ? "USER" : membership.userName;
  return "you may not open the stick: join the plugdev group (as root: adduser " + user +
         " plugdev), then log in again";
}

std::string notFound(const sdr::DeviceProblem& problem, const std::string& device,
                     const StickSurroundings& surroundings) {
  // The RTL-SDR module lists no stick that it cannot read, and says so only in its log.
  if (said(problem, "get_device_usb_strings")) return noAccess(surroundings.membership);
  if (!device.empty()) {
    return problem.message + ": plug it in, or choose another in the Device box, and try again";
  }
  if (!surroundings.stickModule) {
    return "SoapySDR has no module for RTL-SDR sticks: install Debian's soapysdr-module-rtlsdr "
           "(as root: apt install soapysdr-module-rtlsdr) and try again";
  }
  return "no RTL-SDR stick found: plug one in (a DVB-T stick with the RTL2832U chip) and try "
         "again";
}

}  // namespace

StickSurroundings lookAround(const std::filesystem::path& usbDrivers) {
  StickSurroundings surroundings;
  surroundings.membership = currentMembership();
  surroundings.televisionDriverHolds = holdsAnInterface(usbDrivers / "dvb_usb_rtl28xxu");
  const std::vector<std::string> drivers = sdr::driverKeys();
  surroundings.stickModule = std::ranges::find(drivers, "rtlsdr") != drivers.end();
  return surroundings;
}

std::string explainDeviceProblem(const sdr::DeviceProblem& problem, const std::string& device,
                                 const StickSurroundings& surroundings) {
  switch (problem.trouble) {
    case sdr::Trouble::NotFound:
      return notFound(problem, device, surroundings);
    case sdr::Trouble::Ambiguous:
      return problem.message.substr(0, problem.message.find(':')) +
             ": choose one in the Device box and try again";
    case sdr::Trouble::NoAccess:
      return noAccess(surroundings.membership);
    case sdr::Trouble::Busy:
    case sdr::Trouble::Refused:
      // The RTL-SDR module says the same for both; having listed the stick, it may read it.
      if (surroundings.televisionDriverHolds) {
        return "the television (DVB) driver holds the stick: keep it away with echo 'blacklist "
               "dvb_usb_rtl28xxu' | sudo tee /etc/modprobe.d/blacklist-rtl-sdr.conf, then unplug "
               "the stick and plug it in again";
      }
      return "the stick is busy: another program uses it (an SDR program, rtl_fm, rtl_sdr or "
             "another tavimor-radio); close that one and try again";
    case sdr::Trouble::Unsupported:
      return problem.message;
    case sdr::Trouble::Gone:
      break;
  }
  return "the stick stopped sending: it was pulled out, or its driver failed; plug it in and try "
         "again";
}

}  // namespace tavimor::radio

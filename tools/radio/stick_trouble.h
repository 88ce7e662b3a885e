// SPDX-License-Identifier: GPL-3.0-or-later
// Why the tuner would not start or stopped, with the fix: from SoapySDR's word, its module's, and
// what the system shows where they say less (the user's groups, the television driver).
#pragma once

#include <filesystem>
#include <string>

#include "sdr/soapy_tuner.h"

namespace tavimor::radio {

// Which groups the user is in: in this login, and in the system's group database.
struct GroupMembership {
  bool sessionInPlugdev = false;
  bool accountInPlugdev = false;
  std::string userName{};
};

struct StickSurroundings {
  GroupMembership membership{};
  // The kernel's television (DVB) driver is bound to a stick, which no one else can then claim.
  bool televisionDriverHolds = false;
  // SoapySDR has a module for RTL-SDR sticks.
  bool stickModule = true;
};

// usbDrivers: where the kernel lists its USB drivers and the interfaces bound to each.
StickSurroundings lookAround(const std::filesystem::path& usbDrivers = "/sys/bus/usb/drivers");

// The line for the user; device: the arguments the tuner was looked for with.
std::string explainDeviceProblem(const sdr::DeviceProblem& problem, const std::string& device,
                                 const StickSurroundings& surroundings);

}  // namespace tavimor::radio

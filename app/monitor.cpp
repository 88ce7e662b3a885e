// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/monitor.h"

#include <filesystem>
#include <new>
#include <system_error>

namespace tavimor {

Monitor::Monitor(QString portDevice, StartupErrorReporter& reporter, QObject* parent)
    : QObject(parent),
      window_(reception_.fields()),
      link_(std::move(portDevice)),
      reporter_(reporter) {
  connect(&link_, &ReceiverLink::packetReceived, this, &Monitor::handlePacket);
  connect(&link_, &ReceiverLink::fragmentReceived, this, &Monitor::showFragment);
}

bool Monitor::start() {
  if (const std::error_code error = reception_.start()) {
    const std::filesystem::path& path = reception_.traffic().statusFile().path();
    std::error_code unresolved;
    std::filesystem::path file = std::filesystem::absolute(path, unresolved);
    if (unresolved) file = path;  // the working directory itself may be gone
    reporter_.report(
        {.number = error.value(),
         .description = QString::fromStdString(error.message()),
         .subject = QStringLiteral("Status file %1").arg(QString::fromStdString(file.string())),
         .advice = {}});
    return false;
  }
  if (const auto error = link_.open()) {
    reporter_.report(*error);
    return false;
  }
  return true;
}

void Monitor::handlePacket(const PacketBytes& packet) {
  try {
    reception_.handlePacket(packet);
  } catch (const std::bad_alloc&) {
    // Nothing else can fail here; the packet is dropped and the next one handled.
  }
  window_.present(reception_.fields());
}

void Monitor::showFragment(const Fragment& fragment) {
  try {
    reception_.showFragment(fragment);
  } catch (const std::bad_alloc&) {
    // As with a packet: the fragment is dropped.
  }
  window_.present(reception_.fields());
}

}  // namespace tavimor

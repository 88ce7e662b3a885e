// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/monitor.h"

#include <exception>
#include <filesystem>

namespace tavimor {

Monitor::Monitor(QString portDevice, StartupErrorReporter& reporter, QObject* parent)
    : QObject(parent),
      window_(reception_.fields()),
      link_(std::move(portDevice)),
      reporter_(reporter) {
  connect(&link_, &ReceiverLink::readReceived, this, &Monitor::handleRead);
}

bool Monitor::start() {
  if (const std::error_code error = reception_.start()) {
    const std::filesystem::path file =
        std::filesystem::absolute(reception_.traffic().statusFile().path());
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

void Monitor::handleRead(const QByteArray& read) {
  try {
    reception_.handleRead(
        std::string_view(read.constData(), static_cast<std::size_t>(read.size())));
  } catch (const std::exception&) {
    // Only running out of memory can throw here; the read is dropped and the next one handled.
  }
  window_.present(reception_.fields());
}

}  // namespace tavimor

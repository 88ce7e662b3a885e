// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT, SIGTERM and SIGHUP end the program as closing the window does: the event loop returns,
// the serial port is closed and its lock removed, and traffic.txt keeps its last line.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>
#include <optional>

#include "app/startup_error.h"

namespace tavimor {

class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  // Needs the application object. One instance at a time.
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;

  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // Why the signals could not be taken over, if they could not; they then keep their defaults.
  const std::optional<StartupError>& error() const { return error_; }

 private:
  void onSignalled() const;

  // The handler only writes a byte here; the event loop reads it and quits, as no Qt call is
  // safe inside a signal handler.
  int readEnd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::optional<StartupError> error_;
};

}  // namespace tavimor

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>

#include <array>
#include <cerrno>
#include <csignal>
#include <system_error>

namespace tavimor {
namespace {

constexpr std::array kSignals{SIGINT, SIGTERM, SIGHUP};

int writeEnd = -1;  // read by the handler, so a plain global

void onSignal(int signal) {
  const int savedErrno = errno;
  const char byte = static_cast<char>(signal);
  // Nothing to do if the pipe is full: a quit is already on its way.
  [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
  errno = savedErrno;
}

void handle(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signal, &action, nullptr);
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  std::array<int, 2> pipe{};
  if (::pipe2(pipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
    const int number = errno;
    error_ =
        StartupError{.number = number,
                     .description = QString::fromStdString(std::generic_category().message(number)),
                     .subject = QStringLiteral("Handling of SIGINT, SIGTERM and SIGHUP"),
                     .advice = {}};
    return;
  }
  readEnd_ = pipe[0];
  writeEnd = pipe[1];
  notifier_ = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::onSignalled);
  for (const int signal : kSignals)
    handle(signal, onSignal);
}

TerminationSignals::~TerminationSignals() {
  if (error_) return;
  for (const int signal : kSignals)
    handle(signal, SIG_DFL);
  notifier_.reset();
  ::close(writeEnd);
  ::close(readEnd_);
  writeEnd = -1;
}

void TerminationSignals::onSignalled() const {
  std::array<char, 16> bytes{};
  while (::read(readEnd_, bytes.data(), bytes.size()) > 0) {
  }
  QCoreApplication::exit(0);
}

}  // namespace tavimor

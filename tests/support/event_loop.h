// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting on the Qt event loop for something to happen, with a generous upper bound.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>

namespace tavimor::testing {

template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > limit.count()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Runs the event loop for a while, for checking that something does not happen.
void runEventLoopFor(std::chrono::milliseconds duration);

}  // namespace tavimor::testing

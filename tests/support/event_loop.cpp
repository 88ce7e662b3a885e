// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/event_loop.h"

namespace tavimor::testing {

void runEventLoopFor(std::chrono::milliseconds duration) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < duration.count()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
}

}  // namespace tavimor::testing

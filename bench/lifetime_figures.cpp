#include <QApplication>

#include <unistd.h>

#include <iostream>

#include "clocks.h"
#include "figures.h"
#include "process_stats.h"
#include "program_under_test.h"

namespace tavimor::bench {

int holdIdleWindow() {
  ProgramUnderTest program;
  program.showWindow();
  QApplication::processEvents();
  std::cout << "ready" << std::endl;
  return QApplication::exec();
}

int measureStartup(std::chrono::nanoseconds spawnedAt) {
  ProgramUnderTest program;
  program.showWindow();
  const auto elapsed = monotonicNow() - spawnedAt;
  std::cout << "startup_ms " << std::chrono::duration<double, std::milli>(elapsed).count() << '\n'
            << "rss_kib " << residentKiB(getpid()) << '\n';
  return 0;
}

}  // namespace tavimor::bench

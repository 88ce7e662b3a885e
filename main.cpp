// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include <cstdlib>

#include "app/monitor.h"
#include "app/termination_signals.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavimor"));
  QApplication::setDesktopFileName(QStringLiteral("tavimor"));
  const tavimor::TerminationSignals terminationSignals;
  tavimor::MessageBoxReporter reporter;
  if (const auto& error = terminationSignals.error()) {
    reporter.report(*error);
    return EXIT_FAILURE;
  }
  tavimor::Monitor monitor(tavimor::serialPortDevice(tavimor::kReceiverPort), reporter);
  if (!monitor.start()) return EXIT_FAILURE;
  monitor.window().show();
  return QApplication::exec();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include <cstdlib>
#include <memory>

#include "app/display_session.h"
#include "app/monitor.h"
#include "app/termination_signals.h"

namespace {

// The application object, or one line and status 1 where no display can be reached.
std::unique_ptr<QApplication> openApplication(int& argc, char** argv) {
  const tavimor::DisplaySessionGuard guard("tavimor");
  return std::make_unique<QApplication>(argc, argv);
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::unique_ptr<QApplication> application = openApplication(argc, argv);
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

#include "startup_error.h"

#include <QMessageBox>

namespace tavimor {

QString startupErrorMessage(const StartupError& error) {
  return QStringLiteral("Tavimor cannot start.\n\n%1\nError %2: %3")
      .arg(error.subject)
      .arg(error.number)
      .arg(error.description);
}

void MessageBoxReporter::report(const StartupError& error) {
  QMessageBox::critical(nullptr, QStringLiteral("Tavimor"), startupErrorMessage(error));
}

}  // namespace tavimor

#include "app/startup_error.h"

#include <QIcon>
#include <QMessageBox>

namespace tavimor {

QString startupErrorMessage(const StartupError& error) {
  return QStringLiteral("Tavimor cannot start.\n\n%1\nError %2: %3")
      .arg(error.subject)
      .arg(error.number)
      .arg(error.description);
}

void MessageBoxReporter::report(const StartupError& error) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Tavimor"), startupErrorMessage(error));
  box.setWindowIcon(QIcon(QStringLiteral(":/tavimor/tavimor.svg")));
  box.exec();
}

}  // namespace tavimor

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup_error.h"

#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>

namespace tavimor {

QStringList startupErrorLines(const StartupError& error) {
  return QStringList{QStringLiteral("Tavimor cannot start."), error.subject,
                     QStringLiteral("Error %1: %2").arg(error.number).arg(error.description)} +
         error.advice;
}

QString startupErrorMessage(const StartupError& error) {
  QStringList lines = startupErrorLines(error);
  const QString headline = lines.takeFirst();
  return headline + QStringLiteral("\n\n") + lines.join(QLatin1Char('\n'));
}

void MessageBoxReporter::report(const StartupError& error) {
  for (const QString& line : startupErrorLines(error)) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
  }
  std::fflush(stderr);
  // Where no one can see the box, no one can close it either.
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return;
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Tavimor"), startupErrorMessage(error));
  box.setWindowIcon(QIcon(QStringLiteral(":/tavimor/tavimor.svg")));
  box.exec();
}

}  // namespace tavimor

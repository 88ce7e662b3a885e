// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs of tavimor-radio, in the monitor's own toolkit: "frequency LAST" asks for the
// station's frequency and prints it (status 1 when cancelled); "message TEXT..." shows why the
// radio could not start, where no terminal shows its standard error.
#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/display_session.h"

namespace {

const QString kTitle = QStringLiteral("Tavimor Radio");

// Where no one can see a dialog, no one can answer it either.
bool canBeSeen() {
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

int askFrequency(const QString& last) {
  if (!canBeSeen()) return EXIT_FAILURE;
  bool accepted = false;
  const QString frequency = QInputDialog::getText(
      nullptr, kTitle, QStringLiteral("Frequency of the FM station in MHz, such as 94.5:"),
      QLineEdit::Normal, last, &accepted);
  if (!accepted) return EXIT_FAILURE;
  std::printf("%s\n", frequency.trimmed().toLocal8Bit().constData());
  return EXIT_SUCCESS;
}

int showMessage(const QString& text) {
  // The radio's messages begin as its terminal lines do, after "tavimor-radio: ".
  QString sentence = text;
  if (!sentence.isEmpty()) sentence[0] = sentence[0].toUpper();
  if (canBeSeen()) QMessageBox::critical(nullptr, kTitle, sentence);
  return EXIT_SUCCESS;
}

std::unique_ptr<QApplication> openApplication(int& argc, char** argv) {
  const tavimor::DisplaySessionGuard guard("tavimor-radio-dialog");
  return std::make_unique<QApplication>(argc, argv);
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::unique_ptr<QApplication> application = openApplication(argc, argv);
  QApplication::setApplicationName(kTitle);
  QApplication::setDesktopFileName(QStringLiteral("tavimor-radio"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/tavimor/tavimor.svg")));
  QStringList arguments = QApplication::arguments().mid(1);
  const QString mode = arguments.isEmpty() ? QString() : arguments.takeFirst();
  if (mode == QLatin1String("frequency")) return askFrequency(arguments.value(0));
  if (mode == QLatin1String("message")) return showMessage(arguments.join(QLatin1Char(' ')));
  std::fprintf(stderr, "Usage: tavimor-radio-dialog frequency LAST | message TEXT...\n");
  return 2;
}

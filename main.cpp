#include <QApplication>

#include <cstdlib>

#include "frm_main.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavimor"));
  QApplication::setDesktopFileName(QStringLiteral("tavimor"));
  tavimor::MessageBoxReporter reporter;
  tavimor::FrmMain frmMain(tavimor::serialPortDevice(tavimor::kCommPort), reporter);
  if (!frmMain.Form_Load()) return EXIT_FAILURE;
  frmMain.window().show();
  return QApplication::exec();
}

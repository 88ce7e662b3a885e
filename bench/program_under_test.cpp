#include "program_under_test.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstdlib>
#include <iostream>

namespace tavimor::bench {
namespace {

class PaintWatcher : public QObject {
 public:
  bool painted = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void ExitingReporter::report(const StartupError& error) {
  std::cerr << startupErrorMessage(error).toStdString() << '\n';
  std::exit(EXIT_FAILURE);
}

ProgramUnderTest::ProgramUnderTest()
    : frm_(QString::fromStdString(receiver_.devicePath()), reporter_) {
  frm_.Form_Load();
}

void ProgramUnderTest::showWindow() {
  PaintWatcher watcher;
  frm_.window().installEventFilter(&watcher);
  frm_.window().show();
  while (!watcher.painted)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  frm_.window().removeEventFilter(&watcher);
}

}  // namespace tavimor::bench

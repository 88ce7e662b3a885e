// SPDX-License-Identifier: GPL-3.0-or-later
// A start-up failure, and where it is reported: a message box and standard error in the
// program, a record in tests.
#pragma once

#include <QString>
#include <QStringList>

namespace tavimor {

struct StartupError {
  int number = 0;
  QString description;
  QString subject;     // the device or file concerned
  QStringList advice;  // what the user can do about it, if anything is known
};

// The text shown to the user, one fact per line.
QStringList startupErrorLines(const StartupError& error);

// The whole text of the message box.
QString startupErrorMessage(const StartupError& error);

class StartupErrorReporter {
 public:
  virtual ~StartupErrorReporter() = default;
  virtual void report(const StartupError& error) = 0;
};

// Writes the error to standard error, for scripts and remote sessions, then shows the box.
class MessageBoxReporter final : public StartupErrorReporter {
 public:
  void report(const StartupError& error) override;
};

}  // namespace tavimor

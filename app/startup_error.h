// A start-up failure, and where it is reported: a message box in the program, a record in tests.
#pragma once

#include <QString>

namespace tavimor {

struct StartupError {
  int number = 0;
  QString description;
  QString subject;  // the device or file concerned
};

// The whole text shown to the user.
QString startupErrorMessage(const StartupError& error);

class StartupErrorReporter {
 public:
  virtual ~StartupErrorReporter() = default;
  virtual void report(const StartupError& error) = 0;
};

class MessageBoxReporter final : public StartupErrorReporter {
 public:
  void report(const StartupError& error) override;
};

}  // namespace tavimor

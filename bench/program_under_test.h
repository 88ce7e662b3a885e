// The program as main.cpp starts it, with a pseudo-terminal in place of serial port 5.
#pragma once

#include "frm_main.h"
#include "startup_error.h"
#include "support/pseudo_terminal.h"

namespace tavimor::bench {

// A failed start-up ends the benchmark: a message box would wait for a click forever.
class ExitingReporter final : public StartupErrorReporter {
 public:
  void report(const StartupError& error) override;
};

class ProgramUnderTest {
 public:
  // Needs a QApplication; runs the load handler.
  ProgramUnderTest();

  // Shows the window and returns once its first frame has been painted.
  void showWindow();

  FrmMain& frm() { return frm_; }
  const testing::PseudoTerminal& receiver() const { return receiver_; }

 private:
  testing::PseudoTerminal receiver_;
  ExitingReporter reporter_;
  FrmMain frm_;
};

}  // namespace tavimor::bench

// SPDX-License-Identifier: GPL-3.0-or-later
// tavimor-radio put together: the command line, the window, the receiver behind it and the
// monitor on its port 5, until the window is closed or a signal ends the run.
#pragma once

#include <QObject>

#include <memory>
#include <optional>

#include "tools/radio/monitor_port.h"
#include "tools/radio/radio_options.h"
#include "tools/radio/radio_window.h"
#include "tools/radio/receiver.h"
#include "tools/radio/receiver_bridge.h"

namespace tavimor::radio {

class RadioApp : public QObject {
  Q_OBJECT

 public:
  RadioApp(RadioOptions options, MonitorPrograms programs);
  ~RadioApp() override;
  RadioApp(const RadioApp&) = delete;
  RadioApp& operator=(const RadioApp&) = delete;

  // Shows the window and runs the event loop: the exit status.
  int run();

  RadioWindow& window() { return window_; }

 private:
  std::unique_ptr<Receiver> firstReceiver();
  void begin(std::unique_ptr<Receiver> receiver);
  void onPortStarted();
  void tune(double hz);
  void retry(const QString& device);
  void scanBand();
  void say(const QString& line, bool trouble);
  void onMonitorEnded(int exitCode, bool crashed);

  RadioOptions options_;
  RadioWindow window_;
  ReceiverBridge bridge_;
  MonitorPort port_;
  std::unique_ptr<Receiver> receiver_;
  bool portStarted_ = false;
  bool portRequested_ = false;
  // Trouble that nothing has put right since: the run failed.
  bool troubled_ = false;
  int exitCode_ = 0;
};

// The whole program; main() calls it.
int runRadio(int argc, char* argv[]);

}  // namespace tavimor::radio

// SPDX-License-Identifier: GPL-3.0-or-later
// Two real pseudo-terminals joined back to back, as socat joins them for the demo: what a writer
// writes to one device arrives at the other, where the program reads it. The bytes are carried
// over by the Qt event loop, so the test must keep it running.
#pragma once

#include <QSocketNotifier>

#include <memory>
#include <string>

namespace tavimor::testing {

class PseudoTerminalLink {
 public:
  PseudoTerminalLink();
  ~PseudoTerminalLink();
  PseudoTerminalLink(const PseudoTerminalLink&) = delete;
  PseudoTerminalLink& operator=(const PseudoTerminalLink&) = delete;

  // The device a writer such as the feeder opens.
  const std::string& writerDevice() const { return writerDevice_; }
  // The device the program opens.
  const std::string& readerDevice() const { return readerDevice_; }

 private:
  void carryOver();
  void deliver();

  int writerMaster_ = -1;
  // Held open so that the link outlives the writer closing its device.
  int writerSide_ = -1;
  int readerMaster_ = -1;
  std::string writerDevice_;
  std::string readerDevice_;
  std::string pending_;
  std::unique_ptr<QSocketNotifier> writerOutput_;
  std::unique_ptr<QSocketNotifier> readerInputSpace_;
};

}  // namespace tavimor::testing

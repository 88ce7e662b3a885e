// A pseudo-terminal standing in for the receiver: the program opens the device side, the
// benchmark writes packets to the master.
#pragma once

#include <string>
#include <string_view>

namespace tavimor::bench {

class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& devicePath() const { return devicePath_; }

  // All bytes in one write, as a receiver's UART hands over a finished packet.
  void write(std::string_view bytes) const;

 private:
  int master_ = -1;
  std::string devicePath_;
};

}  // namespace tavimor::bench

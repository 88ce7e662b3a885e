#include "pty_pair.h"

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

namespace tavimor::bench {

PtyPair::PtyPair() {
  int device = -1;
  std::array<char, 128> name{};
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master_, &device, name.data(), &raw, nullptr) != 0) {
    throw std::runtime_error("openpty failed");
  }
  ::close(device);
  devicePath_ = name.data();
}

PtyPair::~PtyPair() {
  ::close(master_);
}

void PtyPair::write(std::string_view bytes) const {
  if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("write to pseudo-terminal failed");
  }
}

}  // namespace tavimor::bench

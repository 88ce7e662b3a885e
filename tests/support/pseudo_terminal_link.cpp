// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/pseudo_terminal_link.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

namespace tavimor::testing {
namespace {

// Opens a raw pseudo-terminal with a non-blocking master; returns the master and device side.
std::pair<int, int> openRawPair(std::string& devicePath) {
  int master = -1;
  int device = -1;
  std::array<char, 128> name{};
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master, &device, name.data(), &raw, nullptr) != 0) {
    throw std::runtime_error("openpty failed");
  }
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  devicePath = name.data();
  return {master, device};
}

}  // namespace

PseudoTerminalLink::PseudoTerminalLink() {
  std::tie(writerMaster_, writerSide_) = openRawPair(writerDevice_);
  int readerSide = -1;
  std::tie(readerMaster_, readerSide) = openRawPair(readerDevice_);
  // Only the program keeps the reading device open.
  ::close(readerSide);

  writerOutput_ = std::make_unique<QSocketNotifier>(writerMaster_, QSocketNotifier::Read);
  readerInputSpace_ = std::make_unique<QSocketNotifier>(readerMaster_, QSocketNotifier::Write);
  readerInputSpace_->setEnabled(false);
  QObject::connect(writerOutput_.get(), &QSocketNotifier::activated, [this] { carryOver(); });
  QObject::connect(readerInputSpace_.get(), &QSocketNotifier::activated, [this] { deliver(); });
}

PseudoTerminalLink::~PseudoTerminalLink() {
  writerOutput_.reset();
  readerInputSpace_.reset();
  for (const int fd : {writerMaster_, writerSide_, readerMaster_})
    ::close(fd);
}

void PseudoTerminalLink::carryOver() {
  std::array<char, 4096> buffer{};
  const ssize_t length = ::read(writerMaster_, buffer.data(), buffer.size());
  if (length > 0) pending_.append(buffer.data(), static_cast<std::size_t>(length));
  deliver();
}

// Writes what the reader's side has room for; while bytes wait, stops reading from the writer so
// that a full line holds the writer back, as a serial line does.
void PseudoTerminalLink::deliver() {
  while (!pending_.empty()) {
    const ssize_t written = ::write(readerMaster_, pending_.data(), pending_.size());
    if (written <= 0) break;
    pending_.erase(0, static_cast<std::size_t>(written));
  }
  writerOutput_->setEnabled(pending_.empty());
  readerInputSpace_->setEnabled(!pending_.empty());
}

}  // namespace tavimor::testing

// SPDX-License-Identifier: GPL-3.0-or-later
// Without a display Qt ends the program with an abort and advice to reinstall it. Around the
// application's construction, that failure becomes one line naming the display that was sought
// and exit status 1.
#pragma once

#include <QtGlobal>

#include <string>

namespace tavimor {

// The line for a program that found no display to open its window on, from DISPLAY,
// WAYLAND_DISPLAY and QT_QPA_PLATFORM as they were (null where unset).
std::string noDisplayLine(const char* program, const char* display, const char* waylandDisplay,
                          const char* platform);

// Holds Qt's messages while it lives, and hands them on when it ends; a fatal one meanwhile
// ends the program with noDisplayLine() and status 1. Construct it before the application
// object and end it once that exists.
class DisplaySessionGuard {
 public:
  explicit DisplaySessionGuard(const char* program);
  ~DisplaySessionGuard();

  DisplaySessionGuard(const DisplaySessionGuard&) = delete;
  DisplaySessionGuard& operator=(const DisplaySessionGuard&) = delete;

 private:
  QtMessageHandler previous_;
};

}  // namespace tavimor

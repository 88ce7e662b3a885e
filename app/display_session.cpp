// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/display_session.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace tavimor {
namespace {

struct HeldMessage {
  QtMsgType type;
  std::string category;
  QString text;
};

// The message handler is a plain function, so what it needs is global.
const char* guardedProgram = nullptr;
std::vector<HeldMessage> heldMessages;

std::string named(const char* variable, const char* value) {
  return std::string(variable) + "=" + value;
}

void holdOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    heldMessages.push_back({type, context.category != nullptr ? context.category : "", text});
    return;
  }
  const std::string line =
      noDisplayLine(guardedProgram, std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"),
                    std::getenv("QT_QPA_PLATFORM"));
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  // Qt aborts as soon as this returns, and nothing it built can be torn down safely.
  std::_Exit(EXIT_FAILURE);
}

}  // namespace

std::string noDisplayLine(const char* program, const char* display, const char* waylandDisplay,
                          const char* platform) {
  std::string line = std::string(program) + ": needs a graphical session to show its window, ";
  const bool hasDisplay = display != nullptr && *display != '\0';
  const bool hasWayland = waylandDisplay != nullptr && *waylandDisplay != '\0';
  if (!hasDisplay && !hasWayland) {
    line += "and neither DISPLAY nor WAYLAND_DISPLAY is set";
  } else {
    line += "and none could be reached at ";
    if (hasDisplay) line += named("DISPLAY", display);
    if (hasDisplay && hasWayland) line += " or ";
    if (hasWayland) line += named("WAYLAND_DISPLAY", waylandDisplay);
  }
  if (platform != nullptr && *platform != '\0') {
    line += " (through Qt's platform " + std::string(platform) + ", from QT_QPA_PLATFORM)";
  }
  return line;
}

DisplaySessionGuard::DisplaySessionGuard(const char* program) {
  guardedProgram = program;
  previous_ = qInstallMessageHandler(holdOrEnd);
}

DisplaySessionGuard::~DisplaySessionGuard() {
  qInstallMessageHandler(previous_);
  for (const HeldMessage& message : std::exchange(heldMessages, {})) {
    const QMessageLogContext context(nullptr, 0, nullptr, message.category.c_str());
    previous_(message.type, context, message.text);
  }
}

}  // namespace tavimor

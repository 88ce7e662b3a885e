// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "app/startup_error.h"

namespace tavimor::testing {

// Keeps start-up failures instead of showing a modal message box.
class RecordingReporter final : public StartupErrorReporter {
 public:
  void report(const StartupError& error) override { errors.push_back(error); }
  std::vector<StartupError> errors;
};

}  // namespace tavimor::testing

// Feeds reads through the real receive handler into a display-field model, in a scratch directory.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "receive_handler.h"
#include "support/temporary_working_directory.h"

namespace tavimor::testing {

class DecoderFixture : public ::testing::Test {
 protected:
  void feed(const std::string& read) { handleRead(read, state, fields, statusFile); }
  const std::string& caption(Field field) const { return fields.caption(field); }

  TemporaryWorkingDirectory workingDirectory;
  StatusFile statusFile;
  DecoderState state;
  DisplayFields fields;
};

}  // namespace tavimor::testing

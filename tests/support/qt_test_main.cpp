// SPDX-License-Identifier: GPL-3.0-or-later
// Test main for everything that needs widgets: one QApplication, drawn off screen.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
  ::testing::InitGoogleTest(&argc, argv);
  // The build lists the tests; that needs no application, whose warnings would read as faults.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}

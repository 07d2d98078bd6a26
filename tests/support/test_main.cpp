// Test entry: ends of the program become ProgramEnded exceptions, and a Qt
// application exists for the widget tests (offscreen platform).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/errors.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (!std::getenv("PELLARY_TEST_BIN")) setenv("PELLARY_TEST_BIN", PELLARY_TEST_BIN_DIR, 1);
  QApplication app(argc, argv);
  pellary::setEndHandler([](int code) { throw pellary::ProgramEnded{code}; });
  return RUN_ALL_TESTS();
}

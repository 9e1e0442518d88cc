// main() of the GUI suites: a QApplication on the platform the environment names (the test
// registration sets QT_QPA_PLATFORM=offscreen), then every GoogleTest test.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

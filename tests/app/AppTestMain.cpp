// The GUI tests run the real windows in one QApplication, offscreen unless
// the environment asks for another platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "app/EventPump.h"

int main(int argc, char* argv[]) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  // A closed main window must not end anything but its own test.
  QApplication::setQuitOnLastWindowClosed(false);
  cdx::ConnectMainThreadQueueToEventLoop();
  return RUN_ALL_TESTS();
}

// The GUI tests run the real windows in one QApplication, offscreen unless
// the environment asks for another platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/EventPump.h"

// A home and configuration folders of their own, so that no test reads
// or writes the user's settings, file-dialog history or music folder.
std::filesystem::path PrivateHome() {
  std::string home = (std::filesystem::temp_directory_path() / "cdx-app-home-XXXXXX").string();
  if (!mkdtemp(home.data())) return {};
  for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
    unsetenv(variable);
  setenv("HOME", home.c_str(), 1);
  return home;
}

int main(int argc, char* argv[]) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // No test asks a web service beyond the machine: nothing listens here.
  setenv("CDX_MUSICBRAINZ_URL", "http://127.0.0.1:1/ws/2", 0);
  setenv("CDX_COVERART_URL", "http://127.0.0.1:1", 0);
  const std::filesystem::path home = PrivateHome();
  if (home.empty()) return 1;
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  // A closed main window must not end anything but its own test.
  QApplication::setQuitOnLastWindowClosed(false);
  cdx::ConnectMainThreadQueueToEventLoop();
  const int failed = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return failed;
}

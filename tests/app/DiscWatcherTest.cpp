// Discs coming and going while the window is open: images added to and
// removed from the discs folders reach the drives and the open-file
// dialog's side panel, never in the middle of a job.
#include <QDir>
#include <QFileDialog>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "tests/app/AppFixture.h"

namespace cdx::test {
namespace {

namespace fs = std::filesystem;

class DiscWatcherTest : public AppTest {
 public:
  DiscWatcherTest() { CreateWindowsInSetUp = false; }
  std::string Later() const { return DiscDir() + "-later"; }  // made during the test
  void Put(const std::string& folder, const char* name) {
    fs::create_directories(folder);
    dm::WriteImage(folder + "/" + name + ".cue", {dm::Sine(75, 330)});
  }
  // The side panel drops the roots' final "/"; the home folder ends it.
  QStringList SidePanel() {
    QStringList roots;
    for (const QUrl& url : Main<QFileDialog>("OpenDialog1").sidebarUrls())
      roots << QDir::cleanPath(url.toLocalFile()) + "/";
    roots.removeLast();
    return roots;
  }
};

TEST_F(DiscWatcherTest, ImagesAddedAndRemovedReachTheDrivesAndTheSidePanel) {
  setenv("CDX_DISCS_DIR", (DiscDir() + ":" + Later()).c_str(), 1);
  WriteDisc();
  CreateWindows();
  const struct {
    const char* what;
    std::function<void()> act;
    std::vector<const char*> drives;
  } steps[] = {
      {"an image added", [&] { Put(DiscDir(), "second"); }, {"disc", "second"}},
      {"one in a folder made since", [&] { Put(Later(), "late"); }, {"disc", "second", "late"}},
      {"the first removed", [&] { fs::remove(DiscDir() + "/disc.cue"); }, {"second", "late"}},
  };
  for (const auto& step : steps) {
    step.act();
    QStringList roots;
    for (const char* name : step.drives)
      roots << QString::fromStdString(DrivesDir() + "/" + name + "/");
    EXPECT_TRUE(QTest::qWaitFor([&] { return SidePanel() == roots; }, 10000))
        << step.what << ": " << SidePanel().join(' ').toStdString();
    for (const QString& root : roots)
      EXPECT_TRUE(fs::exists(root.toStdString() + "Track01.cda")) << step.what;
  }
}

TEST_F(DiscWatcherTest, DuringAJobTheDrivesWaitForItsEnd) {
  auto extractor = MakeComponent<TExtractor>();
  bool busy = true;
  TDiscWatcher watcher(
      *extractor->CDIn1, [&] { return busy; }, 100);
  QSignalSpy changed(&watcher, &TDiscWatcher::DrivesChanged);
  Put(DiscDir(), "new");
  QTest::qWait(700);
  EXPECT_EQ(changed.count(), 0);
  EXPECT_EQ(extractor->CDIn1->DriveCount(), 0);
  busy = false;
  EXPECT_TRUE(QTest::qWaitFor([&] { return changed.count() == 1; }, 10000));
  EXPECT_EQ(extractor->CDIn1->DriveCount(), 1);
  QTest::qWait(300);
  EXPECT_EQ(changed.count(), 1) << "told again with nothing changed";
}

}  // namespace
}  // namespace cdx::test

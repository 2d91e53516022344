// Discs coming and going while the window is open: images added to and
// removed from a discs folder reach the drives and the open-file dialog's
// side panel, never in the middle of a job.
#include <QDir>
#include <QFileDialog>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "tests/app/AppFixture.h"

namespace cdx::test {
namespace {

namespace fs = std::filesystem;

constexpr int kWaitMs = 10000;
// Short, so that the looks the file system does not prompt come soon.
constexpr int kPollMs = 100;

class DiscWatcherTest : public AppTest {
 public:
  void AddImage(const std::string& folder, const std::string& name) {
    fs::create_directories(folder);
    dm::WriteImage(folder + "/" + name + ".cue", {dm::Sine(75, 330)});
  }
  void RemoveImage(const std::string& folder, const std::string& name) {
    fs::remove(folder + "/" + name + ".cue");
    fs::remove(folder + "/" + name + ".bin");
  }
  QString RootOf(const std::string& name) const {
    return QString::fromStdString(DrivesDir() + "/" + name + "/");
  }
  // The drive folders in the side panel (which drops their final "/"), the
  // home folder at its end left out.
  QStringList SidePanel() {
    QStringList roots;
    for (const QUrl& url : Main<QFileDialog>("OpenDialog1").sidebarUrls())
      if (url.toLocalFile().startsWith(QString::fromStdString(DrivesDir())))
        roots << QDir::cleanPath(url.toLocalFile()) + "/";
    return roots;
  }
  QStringList Drives(TCDIn& cd) {
    QStringList roots;
    for (int i = 0; i < cd.DriveCount(); ++i) roots << QString::fromStdString(cd.DriveRoot(i));
    return roots;
  }
};

struct TStep {
  const char* what;
  std::function<void(DiscWatcherTest&)> act;
  std::vector<std::string> drives;  // root names, in order
};

TEST_F(DiscWatcherTest, ImagesAddedAndRemovedReachTheDrivesAndTheSidePanel) {
  const std::vector<TStep> steps = {
      {"an image added", [](auto& t) { t.AddImage(t.DiscDir(), "second"); }, {"disc", "second"}},
      {"one sorted before",
       [](auto& t) { t.AddImage(t.DiscDir(), "a-first"); },
       {"a-first", "disc", "second"}},
      {"the first image removed",
       [](auto& t) { t.RemoveImage(t.DiscDir(), "disc"); },
       {"a-first", "second"}},
      {"another removed", [](auto& t) { t.RemoveImage(t.DiscDir(), "a-first"); }, {"second"}},
  };
  for (const TStep& step : steps) {
    step.act(*this);
    QStringList expected;
    for (const std::string& name : step.drives) expected << RootOf(name);
    EXPECT_TRUE(QTest::qWaitFor([&] { return SidePanel() == expected; }, kWaitMs))
        << step.what << ": the side panel shows " << SidePanel().join(" ").toStdString();
    EXPECT_EQ(Drives(*Ex().CDIn1), expected) << step.what;
    // Every drive's tracks are there to be picked.
    for (const QString& root : expected)
      EXPECT_TRUE(fs::exists(root.toStdString() + "Track01.cda")) << step.what;
  }
}

struct TWatch {
  const char* what;
  bool folderAtStart;  // else made after the watcher started
  bool busyMeanwhile;  // a job runs when the image comes
};
void PrintTo(const TWatch& w, std::ostream* out) {
  *out << w.what;
}

class DiscWatcherCases : public DiscWatcherTest, public ::testing::WithParamInterface<TWatch> {
 public:
  DiscWatcherCases() { CreateWindowsInSetUp = false; }
};

// On a CD source of its own, without the window's watcher.
TEST_P(DiscWatcherCases, ListsTheDrivesAgainOnceNoJobRuns) {
  const TWatch& c = GetParam();
  const std::string folder = c.folderAtStart ? DiscDir() : DiscDir() + "-later";
  setenv("CDX_DISCS_DIR", folder.c_str(), 1);
  fs::create_directories(DiscDir());
  auto extractor = MakeComponent<TExtractor>();
  TCDIn& cd = *extractor->CDIn1;
  bool busy = c.busyMeanwhile;
  TDiscWatcher watcher(
      cd, [&] { return busy; }, kPollMs);
  QSignalSpy changed(&watcher, &TDiscWatcher::DrivesChanged);
  ASSERT_EQ(cd.DriveCount(), 0);

  AddImage(folder, "new");
  if (c.busyMeanwhile) {
    QTest::qWait(5 * kPollMs + TDiscWatcher::kSettleMs);
    EXPECT_EQ(changed.count(), 0) << "the drives changed during a job";
    EXPECT_EQ(cd.DriveCount(), 0);
    busy = false;
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, kWaitMs));
  EXPECT_EQ(Drives(cd), QStringList{RootOf("new")});
  RemoveImage(folder, "new");
  ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 1; }, kWaitMs));
  EXPECT_EQ(cd.DriveCount(), 0);
  QTest::qWait(3 * kPollMs);
  EXPECT_EQ(changed.count(), 2) << "told again with nothing changed";
}

INSTANTIATE_TEST_SUITE_P(Watches, DiscWatcherCases,
                         ::testing::Values(TWatch{"WatchedFolder", true, false},
                                           TWatch{"FolderMadeLater", false, false},
                                           TWatch{"DuringAJob", true, true}),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace cdx::test

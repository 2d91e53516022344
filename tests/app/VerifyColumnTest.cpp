// The window's side of the proof of a rip: each row's AccurateRip result,
// the count of accurate tracks at the job's end, and the log beside the
// files, against a local service that knows the disc.
#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>
#include <filesystem>

#include "tests/app/AppFixture.h"
#include "tests/support/ArAnswers.h"
#include "tests/support/LocalHttpServer.h"

namespace cdx::test {
namespace {

using VerifyColumn = AppTest;

TEST_F(VerifyColumn, EachRowSaysWhatTheDatabaseFound) {
  std::filesystem::create_directories(OutDir() + "-web");
  TLocalHttpServer server(OutDir() + "-web");
  server.Serve({{ArPathOf(Tracks), Reply(200, ArAnswer(Tracks, 12))}});
  setenv("CDX_ACCURATERIP_URL", server.Base().c_str(), 1);
  const std::string log = OutFile("disc-" + ComputeDiscIds(TocOf(Tracks)).CddbText() + ".log");
  struct Case {
    const char* name;
    bool testAndCopy;
    std::function<void()> before;
    QString column;
    QString status;
    const char* log;  // a part of the log
  } cases[] = {
      {"known", false, [] {}, "Accurate (confidence 12)",
       "Done: 3 of 3 tracks written, 3 accurately ripped.", "All tracks accurately ripped"},
      {"tested and copied", true, [] {}, "Accurate (confidence 12)",
       "Done: 3 of 3 tracks written, 3 accurately ripped.", "All tracks accurately ripped"},
      // The image is not shifted: an offset kept for its model spoils it.
      {"an offset kept for the model", false,
       [this] {
         Main<QSpinBox>("OffsetField").setValue(667);
         ReopenWindows();
         EXPECT_EQ(Main<QSpinBox>("OffsetField").value(), 667);
       },
       "Mismatch", "Done: 3 of 3 tracks written, 0 accurately ripped.",
       "Read offset correction: +667 samples"},
      {"offline", false, [] { setenv("CDX_ACCURATERIP_URL", "http://127.0.0.1:1", 1); },
       "Not verified (no answer)", "Done: 3 of 3 tracks written, 0 accurately ripped.",
       "Not verified (no answer)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.before();
    Main<QCheckBox>("TestAndCopyBox").setChecked(c.testAndCopy);
    List().clear();
    AddTracks({1, 2, 3});
    Start();
    for (int row = 0; row < 3; ++row) EXPECT_EQ(List().topLevelItem(row)->text(2), c.column);
    EXPECT_EQ(Main<QLabel>("StatusLine").text(), c.status);
    const std::vector<uint8_t> bytes = ReadFile(log);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find(c.log), std::string::npos) << text;
    EXPECT_EQ(text.find("Test CRC32") != std::string::npos, c.testAndCopy);
    EXPECT_TRUE(Shown.empty());
  }
}

}  // namespace
}  // namespace cdx::test

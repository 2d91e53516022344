// Stop, Stop all and closing the window while the CD is slow to read: each
// cuts the read short and keeps a file of what was read.
#include <QTimer>
#include <memory>

#include "tests/app/AppFixture.h"
#include "tests/support/slowread/SlowReads.h"

namespace cdx::test {
namespace {

struct StopCase {
  const char* name;
  const char* button;  // null: close the window
};
void PrintTo(const StopCase& c, std::ostream* out) {
  *out << c.name;
}

class StopDuringASlowRead : public AppTest, public ::testing::WithParamInterface<StopCase> {
 protected:
  void SetUp() override {
    // Long enough that paranoia reads again well after the first chunk.
    Tracks = {dm::Noise(4500, 3, 0.4)};
    AppTest::SetUp();
  }
};

TEST_P(StopDuringASlowRead, CutsTheReadShortAndKeepsWhatWasRead) {
  auto slow = TSlowReads::Find();
  ASSERT_TRUE(slow) << TSlowReads::kMissing;
  AddTracks({1});
  // Once the first chunk is out, reads get slow; at the first slow one the
  // user gives up. The window keeps serving meanwhile.
  long atAction = -1;
  QTimer watch;
  long before = 0;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (slow->Count() <= before) return;
    watch.stop();
    atAction = slow->Count();
    if (GetParam().button)
      Button(GetParam().button).click();
    else
      Form1().close();
  });
  DuringJob([](int, int track) { return track >= 1 && track < 100; },
            [&] {
              before = slow->Count();
              slow->Slow(".bin", 300);
              watch.start(5);
            });
  slow->Slow(".bin", 2);
  Start();
  slow->Off();

  ASSERT_GE(atAction, 0) << "no slow read came";
  EXPECT_LE(slow->Count() - atAction, 1) << "the read went on after the user stopped it";
  TWavFile file = ReadWav(OutFile("Track01.wav"));
  ASSERT_TRUE(file.Valid) << "complete and closed";
  const auto track = TrackPcm(1);
  EXPECT_LT(file.Data.size(), track.size());
  EXPECT_TRUE(std::equal(file.Data.begin(), file.Data.end(), track.begin()));
  EXPECT_TRUE(Shown.empty()) << "a stopped track is not a failure";
}

INSTANTIATE_TEST_SUITE_P(, StopDuringASlowRead,
                         ::testing::Values(StopCase{"Stop", "JvXPButton6"},
                                           StopCase{"StopAll", "JvXPButton7"},
                                           StopCase{"CloseTheWindow", nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cdx::test

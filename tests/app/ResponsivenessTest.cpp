// How responsive the window stays while a long track is ripped: the longest
// gap between two turns of the event loop during the job. A measurement for
// the log, not a timing assertion.
#include <QComboBox>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <cstdio>

#include "tests/app/AppFixture.h"

namespace cdx::test {
namespace {

using Clock = std::chrono::steady_clock;

class Responsiveness : public AppTest {
 protected:
  // Two minutes of audio.
  Responsiveness() { Tracks = {dm::Noise(120 * dm::kSectorsPerSecond, 11, 0.5)}; }

  // Runs the job on the one row, timing every turn of the event loop.
  void MeasureJob(const char* what) {
    List().topLevelItem(0)->setCheckState(0, Qt::Checked);
    Clock::time_point last{};
    Clock::duration longest{};
    long turns = 0;
    QTimer everyTurn;
    everyTurn.setInterval(0);
    QObject::connect(&everyTurn, &QTimer::timeout, [&] {
      const Clock::time_point now = Clock::now();
      if (turns++ > 0) longest = std::max(longest, now - last);
      last = now;
    });
    everyTurn.start();
    const Clock::time_point begin = Clock::now();
    Start();
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    everyTurn.stop();
    ASSERT_GT(turns, 1);
    std::printf(
        "[ MEASURE  ] 120 s track to %s in %.2f s: %ld event-loop turns, longest gap between "
        "turns %.1f ms (target under 50 ms)\n",
        what, seconds, turns, std::chrono::duration<double, std::milli>(longest).count());
    std::fflush(stdout);
  }
};

TEST_F(Responsiveness, LongestEventLoopGapWhileRippingALongTrack) {
  AddTracks({1});
  MeasureJob("WAV 44100 Hz stereo 16 bits");
  TWavFile wav = ReadWav(OutFile("Track01.wav"));
  ASSERT_TRUE(wav.Valid);
  EXPECT_TRUE(wav.Data == TrackPcm(1));

  Control<QRadioButton>(Form2(), "RadioButton10").click();  // 22050
  Control<QRadioButton>(Form2(), "RadioButton5").click();   // Mono
  MeasureJob("WAV 22050 Hz mono (rate and channel converters)");
  TWavFile mono = ReadWav(OutFile("Track01.wav"));
  EXPECT_EQ(mono.SampleRate, 22050);
  EXPECT_NEAR(static_cast<double>(mono.Data.size()), 120.0 * 22050 * 2, 120.0 * 22050 * 2 / 1000);

  Main<QComboBox>("ComboBox1").setCurrentIndex(4);
  for (int i = 0; i < 2; ++i) Control<QToolButton>(Form6(), "SpinButton1Up").click();
  MeasureJob("APE level 4000");
  EXPECT_TRUE(Shown.empty());
}

}  // namespace
}  // namespace cdx::test

// "Ogg stettings" and the Ogg chain from the window: the controls and their
// rules, the chains the job builds, and the files, checked by ogginfo,
// oggdec and vorbiscomment.
#include <QComboBox>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <cstring>

#include "tests/app/AppFixture.h"
#include "tests/support/OggTools.h"

namespace cdx::test {
namespace {

class OggOptions : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    auto& format = Main<QComboBox>("ComboBox1");
    format.setCurrentIndex(format.findText("Ogg"));
  }
  QComboBox& Nominal() { return Control<QComboBox>(Form4(), "ComboBox5"); }
  QComboBox& Maximum() { return Control<QComboBox>(Form4(), "ComboBox4"); }
  QComboBox& Minimum() { return Control<QComboBox>(Form4(), "ComboBox6"); }
  QSlider& TrackBar() { return Control<QSlider>(Form4(), "JvTrackBar1"); }
  // Rips `track` with the window as it is set; returns the file.
  std::string Rip(int track) {
    List().clear();
    AddTracks({track});
    Start();
    return OutFile("Track0" + std::to_string(track) + ".ogg");
  }
  // The components from the source to VorbisOut1.
  std::vector<std::string> Chain() {
    std::vector<std::string> chain{"VorbisOut1"};
    for (TACSInput* input = Ex().VorbisOut1->Input(); input;) {
      chain.insert(chain.begin(), input == Ex().CDIn1          ? "CDIn1"
                                  : input == Ex().MSConverter4 ? "MSConverter4"
                                                               : "?");
      auto* converter = dynamic_cast<TACSConverter*>(input);
      input = converter ? converter->Input() : nullptr;
    }
    return chain;
  }
};

TEST_F(OggOptions, BitrateListsFollowTheirRulesAndTheWriterHoldsWhatTheyShow) {
  const struct {
    const char* steps;              // N, X, M: select in the nominal, maximum, minimum list
    int nominal, maximum, minimum;  // the lists' indices, and the writer's ordinals
  } cases[] = {
      {"N8", 8, 8, 0},               // 128 with both limits on AutoSelect
      {"N8 X6", 8, 0, 0},            // a maximum below the nominal falls back
      {"N8 X11 M4", 8, 11, 4},       // 128, 192, 64
      {"N8 X11 M10", 8, 11, 0},      // a minimum above the nominal falls back
      {"X11", 0, 0, 0},              // no maximum in quality mode
      {"M4", 0, 0, 0},               // nor a minimum
      {"N8 X11 M4 N13", 13, 13, 4},  // raising the nominal above the maximum
      {"N8 X11 M4 N2", 2, 11, 0},    // lowering it below the minimum
      {"N8 X11 M4 N0", 0, 11, 0},    // back to the quality mode
      // The maximum put on AutoSelect takes the minimum with it, in the
      // writer too: the files get no lower limit that the list hides.
      {"N8 X11 M4 X0", 8, 0, 0},
      // Back from the quality mode, the maximum shown is the one used.
      {"N8 X11 N0 N8", 8, 11, 0},
  };
  for (const auto& c : cases) {
    Select(Nominal(), 0);
    Select(Maximum(), 0);
    Select(Minimum(), 0);
    std::istringstream steps(c.steps);
    for (std::string step; steps >> step;) {
      QComboBox& list = step[0] == 'N' ? Nominal() : step[0] == 'X' ? Maximum() : Minimum();
      Select(list, std::stoi(step.substr(1)));
    }
    EXPECT_EQ(Nominal().currentIndex(), c.nominal) << c.steps;
    EXPECT_EQ(Maximum().currentIndex(), c.maximum) << c.steps;
    EXPECT_EQ(Minimum().currentIndex(), c.minimum) << c.steps;
    TVorbisOut& writer = Configured<TVorbisOut>("ogg");
    EXPECT_EQ(writer.DesiredNominalBitrate(), c.nominal) << c.steps;
    // In the quality mode the writer keeps no maximum, whatever is shown.
    EXPECT_EQ(writer.DesiredMaximumBitrate(), c.nominal == 0 ? 0 : c.maximum) << c.steps;
    EXPECT_EQ(writer.MinimumBitrate(), c.minimum) << c.steps;
  }
}

TEST_F(OggOptions, TheTrackBarSetsTheQualityWhenReleasedOrAtOnceFromTheKeyboard) {
  QSlider& bar = TrackBar();
  bar.setSliderDown(true);
  bar.setValue(45);
  EXPECT_EQ(Configured<TVorbisOut>("ogg").Compression(), 0.2f) << "not while it is dragged";
  bar.setSliderDown(false);
  EXPECT_EQ(Configured<TVorbisOut>("ogg").Compression(), 0.45f);
  QTest::keyClick(&bar, Qt::Key_Right);
  EXPECT_EQ(bar.value(), 46);
  EXPECT_EQ(Configured<TVorbisOut>("ogg").Compression(), 0.46f);
  QTest::keyClick(&bar, Qt::Key_End);
  EXPECT_EQ(Configured<TVorbisOut>("ogg").Compression(), 1.0f);
}

TEST_F(OggOptions, ChannelChoicesGiveTheirChainsAndCleanFilesWithTheComment) {
  const struct {
    const char* button;
    std::vector<std::string> chain;
    int channels;
  } cases[] = {{"RadioButton20", {"CDIn1", "MSConverter4", "VorbisOut1"}, 1},
               {"RadioButton21", {"CDIn1", "VorbisOut1"}, 2},
               {"RadioButton19", {"CDIn1", "VorbisOut1"}, 2}};
  for (const auto& c : cases) {
    Control<QRadioButton>(Form4(), c.button).click();
    const std::string file = Rip(4);
    EXPECT_EQ(Chain(), c.chain) << c.button;
    const TOggInfo info = OggInfo(file);
    EXPECT_TRUE(info.Clean()) << info.Output;
    ASSERT_EQ(info.Streams.size(), 1u) << info.Output;
    EXPECT_EQ(info.Streams[0].Channels, c.channels) << c.button;
    EXPECT_EQ(DecodeWithOggdec(file).size(), TrackPcm(4).size() / (3 - c.channels)) << c.button;
    // ffmpeg's length of the stream, from its granule positions.
    EXPECT_EQ(ProbeStream(file),
              "44100," + std::to_string(c.channels) + "," + std::to_string(TrackPcm(4).size() / 4))
        << c.button;
    EXPECT_EQ(VorbisCommentsOf(file), std::vector<std::string>{"COMMENT=Made with Quorvelle"});
  }
  EXPECT_TRUE(Shown.empty());
}

TEST_F(OggOptions, TheModeChosenReachesTheFiles) {
  Select(Nominal(), 8);
  Select(Maximum(), 11);
  Select(Minimum(), 4);
  TOggStream s = OggInfo(Rip(1)).Streams.at(0);
  EXPECT_EQ(s.Nominal, 128);
  EXPECT_EQ(s.Upper, 192);
  EXPECT_EQ(s.Lower, 64);

  Select(Nominal(), 0);
  TrackBar().setValue(50);
  s = OggInfo(Rip(2)).Streams.at(0);
  EXPECT_EQ(s.Nominal, 160) << "quality 0.5 at 44100 Hz stereo";
  EXPECT_EQ(s.Upper, -1);
  EXPECT_EQ(s.Lower, -1);
  EXPECT_TRUE(Shown.empty());
}

TEST_F(OggOptions, TheSettingsComeBackWithTheWindow) {
  TrackBar().setValue(45);
  Select(Nominal(), 8);
  Select(Maximum(), 11);
  Select(Minimum(), 4);
  Control<QRadioButton>(Form4(), "RadioButton20").click();
  ReopenWindows();
  EXPECT_EQ(Configured<TVorbisOut>("ogg").Compression(), 0.45f);
  EXPECT_EQ(Configured<TVorbisOut>("ogg").DesiredNominalBitrate(), bbr128);
  EXPECT_EQ(Configured<TVorbisOut>("ogg").DesiredMaximumBitrate(), bbr192);
  EXPECT_EQ(Configured<TVorbisOut>("ogg").MinimumBitrate(), bbr64);
  EXPECT_EQ(Ex().OggSettings.ChannelMode, TOggChannelMode::Mono);
  EXPECT_EQ(Maximum().currentIndex(), 11);
}

TEST_F(OggOptions, ATrackThatCannotBeRippedLeavesNoCommentForTheNextTrack) {
  Rip(9);  // the disc has no track 9
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(VorbisCommentsOf(Rip(1)), std::vector<std::string>{"COMMENT=Made with Quorvelle"});
}

TEST_F(OggOptions, StopLeavesAFinishedStreamOfWhatWasRead) {
  AddTracks({1, 2});
  DuringJob([](int job, int track) { return job == 50 && track >= 30 && track < 100; },
            [&] { Button("JvXPButton6").click(); });
  Start();
  const TOggInfo info = OggInfo(OutFile("Track01.ogg"));
  EXPECT_TRUE(info.Clean()) << info.Output;
  ASSERT_EQ(info.Streams.size(), 1u);
  EXPECT_TRUE(info.Streams[0].Ended);
  const size_t decoded = DecodeWithOggdec(OutFile("Track01.ogg")).size();
  EXPECT_GT(decoded, 0u);
  EXPECT_LT(decoded, TrackPcm(1).size());
  EXPECT_EQ(DecodeWithOggdec(OutFile("Track02.ogg")).size(), TrackPcm(2).size());
  EXPECT_EQ(Checks(), std::vector<bool>(2, false));
  EXPECT_TRUE(Shown.empty()) << "a stopped track is not a failure";
}

TEST_F(OggOptions, AFullDiskFailsTheTrackAndKeepsTheEarlierFile) {
  const std::vector<uint8_t> earlier(1000, 0x5A);
  WriteFile(OutFile("Track01.ogg"), earlier);
  AddTracks({1});
  {
    TFileSizeLimit full(4500);  // room for the headers only
    Start();
  }
  EXPECT_EQ(Checks(), std::vector<bool>{true});
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_TRUE(Shown[0].Text.contains(std::strerror(EFBIG))) << Shown[0].Text.toStdString();
  EXPECT_TRUE(Shown[0].Text.contains("(no file was written; the earlier Track01.ogg was kept)"))
      << Shown[0].Text.toStdString();
  EXPECT_EQ(ReadFile(OutFile("Track01.ogg")), earlier);
  EXPECT_TRUE(PartFilesIn(OutDir()).empty());
}

}  // namespace
}  // namespace cdx::test

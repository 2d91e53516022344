// The extraction job run from the window: files, bars, Stop, Stop all,
// changes during a job, failures, removal and closing.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "app/EventPump.h"
#include "tests/app/AppFixture.h"
#include "tests/support/JobOutcomes.h"

namespace cdx::test {
namespace {

namespace fs = std::filesystem;

using Job = AppTest;

std::vector<int> Values(const QSignalSpy& spy) {
  std::vector<int> values;
  for (const QList<QVariant>& call : spy) values.push_back(call.at(0).toInt());
  return values;
}

bool IsPrefix(const std::vector<uint8_t>& part, const std::vector<uint8_t>& whole) {
  return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

TEST_F(Job, ThreeCheckedRowsGiveThreeBitExactFilesWhileTheJobBarSteps) {
  AddTracks({1, 2, 3, 4, 5});
  List().topLevelItem(1)->setCheckState(0, Qt::Unchecked);
  List().topLevelItem(3)->setCheckState(0, Qt::Unchecked);
  QSignalSpy jobBar(&Main<QProgressBar>("JvXPProgressBar1"), &QProgressBar::valueChanged);
  std::vector<bool> startEnabled;
  PaceTheDrive();
  QObject hook;
  QObject::connect(&Main<QProgressBar>("JvXPProgressBar2"), &QProgressBar::valueChanged, &hook,
                   [&] { startEnabled.push_back(Button("JvXPButton5").isEnabled()); });

  Start();

  EXPECT_EQ(Values(jobBar), (std::vector<int>{33, 66, 99, 100, 0}));
  for (int track : {1, 3, 5}) {
    TWavFile wav = ReadWav(OutFile("Track0" + std::to_string(track) + ".wav"));
    ASSERT_TRUE(wav.Valid) << track;
    EXPECT_EQ(wav.FormatTag, 1);
    EXPECT_EQ(wav.SampleRate, 44100);
    EXPECT_EQ(wav.Channels, 2);
    EXPECT_EQ(wav.BitsPerSample, 16);
    EXPECT_TRUE(wav.Data == TrackPcm(track)) << "track " << track << " bit-exact";
  }
  EXPECT_FALSE(fs::exists(OutFile("Track02.wav")));
  EXPECT_FALSE(fs::exists(OutFile("Track04.wav")));
  EXPECT_EQ(Checks(), std::vector<bool>(5, false));
  ASSERT_FALSE(startEnabled.empty());
  EXPECT_EQ(std::count(startEnabled.begin(), startEnabled.end(), true), 0)
      << "Start is disabled while tracks are extracted";
  EXPECT_TRUE(Button("JvXPButton5").isEnabled());
  EXPECT_EQ(Main<QProgressBar>("JvXPProgressBar2").value(), 0);
  EXPECT_TRUE(Shown.empty());
}

TEST_F(Job, TheJobBarForOneCheckedRowAndForNone) {
  AddTracks({1, 2});
  List().topLevelItem(0)->setCheckState(0, Qt::Unchecked);
  QSignalSpy jobBar(&Main<QProgressBar>("JvXPProgressBar1"), &QProgressBar::valueChanged);
  Start();
  EXPECT_EQ(Values(jobBar), (std::vector<int>{100, 0}));
  EXPECT_TRUE(fs::exists(OutFile("Track02.wav")));

  jobBar.clear();
  Start();  // nothing checked: the rows are visited, nothing is written
  EXPECT_TRUE(Values(jobBar).empty());
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false}));
  EXPECT_FALSE(fs::exists(OutFile("Track01.wav")));
  EXPECT_TRUE(Button("JvXPButton5").isEnabled());
}

TEST_F(Job, StopEndsTheCurrentTrackWithACompleteFileAndTheJobGoesOn) {
  AddTracks({1, 2, 3});
  DuringJob([](int job, int track) { return job == 33 && track >= 30 && track < 100; },
            [&] { Button("JvXPButton6").click(); });
  Start();
  TWavFile stopped = ReadWav(OutFile("Track01.wav"));
  ASSERT_TRUE(stopped.Valid) << "the stopped file is closed with correct sizes";
  EXPECT_GT(stopped.Data.size(), 0u);
  EXPECT_LT(stopped.Data.size(), TrackPcm(1).size());
  EXPECT_TRUE(IsPrefix(stopped.Data, TrackPcm(1)));
  EXPECT_TRUE(ReadWav(OutFile("Track02.wav")).Data == TrackPcm(2));
  EXPECT_TRUE(ReadWav(OutFile("Track03.wav")).Data == TrackPcm(3));
  EXPECT_EQ(Checks(), std::vector<bool>(3, false));
  EXPECT_TRUE(Shown.empty()) << "a stopped track is not a failure";
}

TEST_F(Job, StopAllDuringTheSecondOfFiveTracksEndsTheJobAndKeepsTheRestChecked) {
  AddTracks({1, 2, 3, 4, 5});
  DuringJob([](int job, int track) { return job == 40 && track >= 30 && track < 100; },
            [&] { Button("JvXPButton7").click(); });
  Start();
  EXPECT_TRUE(ReadWav(OutFile("Track01.wav")).Data == TrackPcm(1));
  TWavFile second = ReadWav(OutFile("Track02.wav"));
  ASSERT_TRUE(second.Valid);
  EXPECT_LT(second.Data.size(), TrackPcm(2).size());
  EXPECT_TRUE(IsPrefix(second.Data, TrackPcm(2)));
  for (const char* name : {"Track03.wav", "Track04.wav", "Track05.wav"})
    EXPECT_FALSE(fs::exists(OutFile(name))) << name;
  // The tracks Stop all kept from being reached wait for the next Start.
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false, true, true, true}));
  EXPECT_TRUE(Main<QLabel>("StatusLine").text().endsWith(", 3 not reached, 0 accurately ripped."))
      << Main<QLabel>("StatusLine").text().toStdString();
  EXPECT_TRUE(Button("JvXPButton5").isEnabled());
  EXPECT_EQ(Main<QProgressBar>("JvXPProgressBar1").value(), 0);
}

TEST_F(Job, ChangesDuringAJobReachOnlyTheRowsNotYetStarted) {
  AddTracks({1, 2, 3});
  // During the first track: another format, a row added, the last caption
  // edited.
  DuringJob([](int job, int track) { return job == 33 && track >= 30 && track < 100; },
            [&] {
              Main<QComboBox>("ComboBox1").setCurrentIndex(4);
              AddTracks({4});
              List().topLevelItem(2)->setText(0, "Renamed");
            });
  Start();
  EXPECT_TRUE(ReadWav(OutFile("Track01.wav")).Data == TrackPcm(1));
  EXPECT_FALSE(fs::exists(OutFile("Track02.wav")));
  std::string errors;
  EXPECT_TRUE(DecodeWithFfmpeg(OutFile("Track02.ape"), &errors) == TrackPcm(2)) << errors;
  EXPECT_TRUE(DecodeWithFfmpeg(OutFile("Renamed.ape"), &errors) == TrackPcm(3)) << errors;
  EXPECT_FALSE(fs::exists(OutFile("Track04.ape"))) << "a row added during the job is not visited";
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false, false, true}));
}

TEST_F(Job, RemovingTheRowBeingRippedStopsItAndRemovedRowsAreSkipped) {
  AddTracks({1, 2, 3, 4});
  DuringJob([](int job, int track) { return job == 25 && track >= 30 && track < 100; },
            [&] {
              SelectRows({0, 2});  // the row being ripped and one still to come
              Button("JvXPButton2").click();
            });
  Start();
  TWavFile first = ReadWav(OutFile("Track01.wav"));
  ASSERT_TRUE(first.Valid);
  EXPECT_LT(first.Data.size(), TrackPcm(1).size()) << "the removed row's track was stopped";
  EXPECT_TRUE(IsPrefix(first.Data, TrackPcm(1)));
  EXPECT_FALSE(fs::exists(OutFile("Track03.wav")));
  EXPECT_TRUE(ReadWav(OutFile("Track02.wav")).Data == TrackPcm(2));
  EXPECT_TRUE(ReadWav(OutFile("Track04.wav")).Data == TrackPcm(4));
  EXPECT_EQ(Captions(), (std::vector<QString>{"Track02", "Track04"}));
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false}));
  EXPECT_TRUE(Shown.empty());
}

TEST_F(Job, ClosingTheWindowDuringAJobStopsTheTrackClosesItsFileThenEndsTheProgram) {
  AddTracks({1, 2, 3});
  Form1().show();
  Windows().Form2->show();  // an open dialog does not keep the program alive
  bool closedAtOnce = true;
  DuringJob([](int job, int track) { return job == 33 && track >= 30 && track < 100; },
            [&] { closedAtOnce = Form1().close(); });
  // The program's own loop, ended by the last window closing (or, failing
  // that, by the safety timer with another code).
  QApplication::setQuitOnLastWindowClosed(true);
  QTimer::singleShot(0, [&] { Start(); });
  QTimer::singleShot(30000, [] { QCoreApplication::exit(7); });
  const int code = QApplication::exec();
  QApplication::setQuitOnLastWindowClosed(false);

  EXPECT_EQ(code, 0) << "closing the main window ends the program";
  EXPECT_FALSE(closedAtOnce) << "the window waits for the file";
  EXPECT_FALSE(Form1().isVisible());
  TWavFile first = ReadWav(OutFile("Track01.wav"));
  ASSERT_TRUE(first.Valid) << "complete and closed";
  EXPECT_TRUE(IsPrefix(first.Data, TrackPcm(1)));
  EXPECT_LT(first.Data.size(), TrackPcm(1).size());
  EXPECT_FALSE(fs::exists(OutFile("Track02.wav")));
  EXPECT_TRUE(Shown.empty());
  EXPECT_EQ(Asked, std::vector<QString>{"A rip is running. Stop it and quit?"});
}

TEST_F(Job, ClosingTheWindowDuringAJobAndAnsweringNoLetsTheJobFinish) {
  AddTracks({1, 2});
  Form1().show();
  Answer = false;
  DuringJob([](int job, int track) { return job == 50 && track >= 30 && track < 100; },
            [&] { EXPECT_FALSE(Form1().close()); });
  Start();
  EXPECT_TRUE(Form1().isVisible());
  EXPECT_TRUE(ReadWav(OutFile("Track01.wav")).Data == TrackPcm(1));
  EXPECT_TRUE(ReadWav(OutFile("Track02.wav")).Data == TrackPcm(2));
  EXPECT_EQ(Asked.size(), 1u);
}

// Every format of the window now has a writer; a format table entry
// without one must still fail its track with the reason, not start a run.
TEST_F(Job, AFormatWithoutAWriterFailsTheTrackWithItsReason) {
  const TFormat none{"None", "none", ".none"};
  try {
    Ex().BuildChain(none, Ex().WavSettings, TDisc::Read(0), 1, OutFile("Track01.none"), {});
    ADD_FAILURE() << "no exception";
  } catch (const EACSException& e) {
    EXPECT_STREQ(e.what(), "The .none format is not available");
  }
  for (TACSOutput* writer : Ex().WriterSet()) EXPECT_NE(writer->Status(), 0);
  EXPECT_TRUE(fs::is_empty(OutDir()));
}

// The wait sleeps until something happens: the track bar's tick, a hand-off
// from the worker, the user. Two paced tracks take about a second.
TEST_F(Job, TheWaitDuringARipWakesAtMostFiftyTimesASecond) {
  AddTracks({1, 2});
  PaceTheDrive();
  const int before = Form1().WaitWakeups();
  const auto begun = std::chrono::steady_clock::now();
  Start();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
  const int wakeups = Form1().WaitWakeups() - before;
  EXPECT_GT(wakeups, 0);
  EXPECT_LE(wakeups, 50 * seconds + 2) << wakeups << " in " << seconds << " s";
  EXPECT_TRUE(ReadWav(OutFile("Track02.wav")).Data == TrackPcm(2));
}

class OneJob : public AppTest {
 protected:
  OneJob() { Tracks = OutcomeDisc(); }
};

// The window's side of the table the command line is checked against too.
TEST_F(OneJob, EachKindOfTrackHasTheOutcomeOfTheCommandLine) {
  for (const TOutcomeCase& c : OutcomeCases()) {
    SCOPED_TRACE(c.Name);
    List().clear();
    Shown.clear();
    Form1().AddTrackFiles({TrackPath(c.Track)});
    std::unique_ptr<TFileSizeLimit> full;
    if (c.Provoke == TOutcomeCase::DiskFull) full = std::make_unique<TFileSizeLimit>(100000);
    if (c.Provoke == TOutcomeCase::StopDuring)
      DuringJob([](int, int track) { return track > 0 && track < 100; },
                [&] { Button("JvXPButton6").click(); });
    Start();
    full.reset();
    const QString status = Main<QLabel>("StatusLine").text();
    switch (c.Kind) {
      case TOutcomeKind::Written:
        EXPECT_EQ(status, "Done: 1 of 1 tracks written, 0 accurately ripped.");
        EXPECT_TRUE(ReadWav(OutFile("Track01.wav")).Data == TrackPcm(1));
        break;
      case TOutcomeKind::Stopped:
        EXPECT_TRUE(status.contains("Track02 stopped at")) << status.toStdString();
        break;
      case TOutcomeKind::Failed:
        ASSERT_EQ(Shown.size(), 1u);
        EXPECT_TRUE(Shown[0].Text.contains(QString::fromStdString(c.Reason)))
            << Shown[0].Text.toStdString();
        EXPECT_EQ(Checks(), std::vector<bool>{true}) << "a failed track stays checked";
        break;
    }
  }
}

class FailingJob : public AppTest {
 protected:
  FailingJob() { Tracks = {dm::Sine(75, 440), dm::Data(75), dm::Noise(75, 3)}; }
};

TEST_F(FailingJob, FailedTracksStayCheckedAndAreListedInOneMessage) {
  AddTracks({1, 2});
  Form1().AddTrackFiles({"/nowhere/Track05.cda", TrackPath(9)});
  AddTracks({3});
  Start();

  EXPECT_TRUE(ReadWav(OutFile("Track01.wav")).Data == TrackPcm(1));
  EXPECT_TRUE(ReadWav(OutFile("Track03.wav")).Data == TrackPcm(3));
  EXPECT_EQ(Checks(), (std::vector<bool>{false, true, true, true, false}));
  ASSERT_EQ(Shown.size(), 1u) << "one message for the whole job";
  EXPECT_EQ(Shown[0].Kind, TMessageKind::Error);
  const QString& text = Shown[0].Text;
  EXPECT_TRUE(text.contains("Track02: Trying to rip a data track")) << text.toStdString();
  EXPECT_TRUE(text.contains("Track05: \"/nowhere/Track05.cda\" is not a track of a CD drive"))
      << text.toStdString();
  EXPECT_TRUE(
      text.contains("Track09: The disc has no track 9; its tracks are 1 to 3 (no file "
                    "was written)"))
      << text.toStdString();
  EXPECT_EQ(text.count('\n'), 4) << "a heading, a blank line and one line per failed track";

  // Start again: only what failed is tried again.
  fs::remove(OutFile("Track01.wav"));
  Shown.clear();
  QSignalSpy jobBar(&Main<QProgressBar>("JvXPProgressBar1"), &QProgressBar::valueChanged);
  Start();
  EXPECT_EQ(Values(jobBar).front(), 33) << "three rows were checked";
  EXPECT_FALSE(fs::exists(OutFile("Track01.wav")));
  ASSERT_EQ(Shown.size(), 1u);
}

TEST_F(FailingJob, AMissingOutputFolderIsCreatedAndOneThatCannotBeStopsTheJobAtOnce) {
  Main<QLineEdit>("Edit1").setText(QString::fromStdString(OutDir() + "/missing/folder"));
  AddTracks({1, 3});
  Start();
  EXPECT_TRUE(ReadWav(OutFile("missing/folder/Track01.wav")).Data == TrackPcm(1));
  EXPECT_TRUE(Shown.empty());

  WriteFile(OutFile("file"), {1});
  Main<QLineEdit>("Edit1").setText(QString::fromStdString(OutFile("file/folder")));
  List().topLevelItem(0)->setCheckState(0, Qt::Checked);
  Start();
  EXPECT_EQ(Checks(), (std::vector<bool>{true, false}));
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0].Text, "Cannot create the output directory \"" +
                               QString::fromStdString(OutFile("file/folder")) + "\".");
}

TEST_F(FailingJob, AFullDiskFailsTheTrackAndKeepsTheEarlierFile) {
  const std::vector<uint8_t> earlier(1000, 0x5A);
  WriteFile(OutFile("Track01.wav"), earlier);
  AddTracks({1, 3});
  // The disk is full while the first track is written, and has room again
  // for the next one.
  auto full = std::make_unique<TFileSizeLimit>(100000);
  QObject hook;
  QObject::connect(&Main<QProgressBar>("JvXPProgressBar1"), &QProgressBar::valueChanged, &hook,
                   [&](int job) {
                     if (job > 50) full.reset();
                   });
  Start();
  full.reset();
  EXPECT_EQ(Checks(), (std::vector<bool>{true, false}));
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_TRUE(Shown[0].Text.contains(std::strerror(EFBIG))) << Shown[0].Text.toStdString();
  EXPECT_TRUE(Shown[0].Text.contains("(no file was written; the earlier Track01.wav was kept)"))
      << Shown[0].Text.toStdString();
  EXPECT_FALSE(Shown[0].Text.contains("Track03")) << Shown[0].Text.toStdString();
  EXPECT_EQ(ReadFile(OutFile("Track01.wav")), earlier);
  EXPECT_TRUE(ReadWav(OutFile("Track03.wav")).Data == TrackPcm(3));
  EXPECT_TRUE(PartFilesIn(OutDir()).empty());
}

TEST_F(FailingJob, ATrackOfADiscThatIsGoneFailsAsNotReady) {
  AddTracks({1});
  fs::remove(BinPath());
  Start();
  EXPECT_EQ(Checks(), (std::vector<bool>{true}));
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_TRUE(Shown[0].Text.contains("Track01: The drive is not ready"))
      << Shown[0].Text.toStdString();
}

TEST_F(FailingJob, ANameWithoutATrackNumberEndsTheJobWithAnErrorBox) {
  AddTracks({1});
  Form1().AddTrackFiles({Root() + "TrackXY.cda"});
  AddTracks({3});
  QSignalSpy jobBar(&Main<QProgressBar>("JvXPProgressBar1"), &QProgressBar::valueChanged);
  Start();
  EXPECT_TRUE(fs::exists(OutFile("Track01.wav")));
  EXPECT_FALSE(fs::exists(OutFile("Track03.wav")));
  EXPECT_EQ(Checks(), (std::vector<bool>{false, true, true}))
      << "that row and later ones keep checks";
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0].Kind, TMessageKind::Error);
  EXPECT_EQ(Shown[0].Text, "'XY' is not a valid integer value");
  EXPECT_EQ(Values(jobBar).back(), 0);
  EXPECT_TRUE(Button("JvXPButton5").isEnabled());
}

class NoDrive : public AppTest {
 protected:
  NoDrive() { CreateWindowsInSetUp = false; }
};

TEST_F(NoDrive, ATrackWithNoDriveAtAllFailsInsteadOfRippingAnything) {
  CreateWindows();  // no disc image, no device
  ASSERT_EQ(Ex().CDIn1->DriveCount(), 0);
  Form1().AddTrackFiles({"/media/cd/Track01.cda"});
  Start();
  EXPECT_EQ(Checks(), (std::vector<bool>{true}));
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_TRUE(Shown[0].Text.contains("Track01: The drive is not ready"))
      << Shown[0].Text.toStdString();
}

class ReadFaultJob : public AppTest {
 protected:
  // Forty seconds: paranoia's read-ahead cannot have read it all when the
  // image is cut.
  ReadFaultJob() { Tracks = {dm::Noise(3000, 1)}; }
};

TEST_F(ReadFaultJob, AReadErrorFailsTheTrackInsteadOfEndingItEarly) {
  AddTracks({1});
  DuringJob([](int, int track) { return track >= 10 && track < 100; },
            [&] { fs::resize_file(BinPath(), 750 * dm::kSectorBytes); });
  Start();
  EXPECT_EQ(Checks(), (std::vector<bool>{true}));
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_TRUE(Shown[0].Text.contains("Track01: Read error at sector "))
      << Shown[0].Text.toStdString();
}

class ThreeDrives : public AppTest {
 protected:
  ThreeDrives() { CreateWindowsInSetUp = false; }
  std::vector<dm::TrackSpec> Disc(int drive) const {
    return {dm::Sine(40, 300.0 + 100 * drive), dm::Noise(40, 10 + drive)};
  }
};

TEST_F(ThreeDrives, EachTrackIsRippedFromTheDriveWhoseFolderHoldsIt) {
  for (int drive = 0; drive < 3; ++drive)
    dm::WriteImage(DiscDir() + "/disc" + std::to_string(drive) + ".cue", Disc(drive));
  CreateWindows();
  ASSERT_EQ(Ex().CDIn1->DriveCount(), 3);
  auto path = [&](int drive, int track) {
    return QString::fromStdString(Ex().CDIn1->DriveRoot(drive)) + "Track0" +
           QString::number(track) + ".cda";
  };
  Form1().AddTrackFiles({path(2, 2), path(1, 1), path(0, 2)});
  List().topLevelItem(0)->setText(0, "third");
  List().topLevelItem(1)->setText(0, "second");
  List().topLevelItem(2)->setText(0, "first");
  Start();
  auto pcm = [&](int drive, int track) {
    std::vector<dm::TrackSpec> tracks = Disc(drive);
    return dm::TrackBytes(tracks[track - 1], dm::StartSectors(tracks)[track - 1]);
  };
  EXPECT_TRUE(ReadWav(OutFile("third.wav")).Data == pcm(2, 2));
  EXPECT_TRUE(ReadWav(OutFile("second.wav")).Data == pcm(1, 1));
  EXPECT_TRUE(ReadWav(OutFile("first.wav")).Data == pcm(0, 2));
  EXPECT_TRUE(Shown.empty());
}

}  // namespace
}  // namespace cdx::test

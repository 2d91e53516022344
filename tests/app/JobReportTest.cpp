// What the window tells and keeps: the job's own files, its summary, which
// track is being written, and the settings that come back in the next run.
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>

#include "tests/app/AppFixture.h"

namespace cdx::test {
namespace {

namespace fs = std::filesystem;

using JobReport = AppTest;

QString Status(TForm1& window) {
  return window.findChild<QLabel*>("StatusLine")->text();
}

TEST_F(JobReport, ARowNamedLikeAnotherOfTheJobIsToldApart) {
  AddTracks({1, 2});
  List().topLevelItem(1)->setText(0, "Track01");
  Start();
  EXPECT_TRUE(ReadWav(OutFile("Track01.wav")).Data == TrackPcm(1))
      << "the second row replaced the first one's file";
  EXPECT_TRUE(ReadWav(OutFile("Track01 (2).wav")).Data == TrackPcm(2));
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false}));
  EXPECT_TRUE(Shown.empty());

  // A file of an earlier job is replaced as before.
  List().topLevelItem(1)->setCheckState(0, Qt::Checked);
  Start();
  EXPECT_TRUE(ReadWav(OutFile("Track01.wav")).Data == TrackPcm(2));
}

struct TEnding {
  const char* name;
  std::function<void(JobReport&)> prepare;
  const char* status;  // a pattern
};
void PrintTo(const TEnding& c, std::ostream* out) {
  *out << c.name;
}

class JobEnding : public JobReport, public ::testing::WithParamInterface<TEnding> {};

TEST_P(JobEnding, SaysWhatTheJobDid) {
  GetParam().prepare(*this);
  Start();
  const QString status = Status(Form1());
  EXPECT_TRUE(QRegularExpression(QString("^") + GetParam().status + "$").match(status).hasMatch())
      << status.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JobEnding,
    ::testing::Values(TEnding{"AllWritten",
                              [](JobReport& t) {
                                t.AddTracks({1, 2, 3});
                              },
                              "Done: 3 of 3 tracks written, 0 accurately ripped\\."},
                      TEnding{"NothingChecked",
                              [](JobReport& t) {
                                t.AddTracks({1});
                                t.List().topLevelItem(0)->setCheckState(0, Qt::Unchecked);
                              },
                              "Nothing is checked: check the tracks to extract\\."},
                      TEnding{"OneStopped",
                              [](JobReport& t) {
                                t.AddTracks({1, 2});
                                t.DuringJob(
                                    [](int job, int track) { return job == 50 && track >= 30; },
                                    [&t] { t.Button("JvXPButton6").click(); });
                              },
                              "Done: 2 of 2 tracks written, Track01 stopped at [3-9][0-9] %, 0 "
                              "accurately ripped\\."},
                      TEnding{"OneFailed",
                              [](JobReport& t) {
                                t.Form1().AddTrackFiles({t.TrackPath(1), t.TrackPath(9)});
                              },
                              "Done: 1 of 2 tracks written, 1 failed, 0 accurately ripped\\."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JobReport, ShowsWhichTrackIsWrittenAndHowFar) {
  AddTracks({1, 2, 3});
  QString during, bar;
  DuringJob([](int job, int track) { return job == 66 && track >= 30 && track < 100; },
            [&] {
              during = Status(Form1());
              bar = Main<QProgressBar>("JvXPProgressBar2").text();
            });
  Start();
  EXPECT_EQ(during, "Track02, 2 of 3");
  EXPECT_TRUE(QRegularExpression("^[0-9]+%$").match(bar).hasMatch()) << bar.toStdString();
}

TEST_F(JobReport, TheWindowFolderFormatAndDialogsComeBackInTheNextRun) {
  const QString folder = QString::fromStdString(OutFile("kept"));
  Main<QLineEdit>("Edit1").setText(folder);
  Main<QComboBox>("ComboBox1").setCurrentIndex(4);
  Control<QRadioButton>(Form2(), "RadioButton2").click();  // 8 bits
  Control<QRadioButton>(Form2(), "RadioButton5").click();  // mono
  Form1().resize(700, 650);
  Shown.clear();

  ReopenWindows();
  EXPECT_EQ(Main<QLineEdit>("Edit1").text(), folder);
  EXPECT_EQ(Main<QComboBox>("ComboBox1").currentIndex(), 4);
  EXPECT_TRUE(Control<QRadioButton>(Form2(), "RadioButton2").isChecked());
  EXPECT_EQ(Ex().WavSettings.Bits, 8) << "the dialog's handler took the restored choice";
  EXPECT_EQ(Ex().WavSettings.Channels, 1);
  EXPECT_EQ(Form1().size(), QSize(700, 650));
  EXPECT_TRUE(Shown.empty()) << "putting settings back shows no remark";
}

TEST_F(JobReport, TheDeleteKeyRemovesTheSelectedRowsAndNamesStayReadable) {
  AddTracks({1, 2, 3});
  List().topLevelItem(0)->setText(0, "A much longer name than any track's");
  EXPECT_GE(List().columnWidth(0),
            List().fontMetrics().horizontalAdvance(List().topLevelItem(0)->text(0)));
  SelectRows({0, 2});
  List().setFocus();
  QTest::keyClick(&List(), Qt::Key_Delete);
  EXPECT_EQ(Captions(), std::vector<QString>{"Track02"});
}

}  // namespace
}  // namespace cdx::test

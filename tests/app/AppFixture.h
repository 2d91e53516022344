// The real windows of the program on a generated disc image that the CD
// library takes as its only drive, with every message box recorded instead
// of shown.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/AppWindows.h"
#include "app/MessageBoxes.h"
#include "tests/support/TestSources.h"
#include "tools/discmaker.h"

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace cdx::test {

namespace dm = cdx::discmaker;

// What a list does when the user picks its index-th item.
inline void Select(QComboBox& combo, int index) {
  combo.setCurrentIndex(index);
  emit combo.activated(index);
}

// The same for the item that reads `item`.
inline void Select(QComboBox& combo, const QString& item) {
  const int index = combo.findText(item);
  ASSERT_GE(index, 0) << item.toStdString();
  Select(combo, index);
}

// Five two-second tracks with different content.
std::vector<dm::TrackSpec> FiveShortTracks();

// What a WAV file holds, read without any code of the program.
struct TWavFile {
  bool Valid = false;  // RIFF/WAVE with fmt and data, sizes matching the file
  int FormatTag = 0;
  int Channels = 0;
  int SampleRate = 0;
  int BitsPerSample = 0;
  std::vector<uint8_t> Data;
};
TWavFile ReadWav(const std::string& path);

// Decodes any audio file to 16-bit PCM with ffmpeg; empty on failure.
std::vector<uint8_t> DecodeWithFfmpeg(const std::string& path, std::string* errors = nullptr);

// Calls `answer` with the modal dialog that a blocking call is about to run,
// once it is shown.
class TModalAnswer : public QObject {
 public:
  explicit TModalAnswer(std::function<void(QWidget*)> answer);
  bool Answered() const { return answered_; }

 private:
  std::function<void(QWidget*)> answer_;
  QTimer poll_;
  bool answered_ = false;
};

class AppTest : public ::testing::Test {
 public:  // for the cases of table-driven tests too
  void SetUp() override;
  void TearDown() override;

  // The disc in the drive; a test may replace it before calling
  // CreateWindows() itself (with CreateWindowsInSetUp = false).
  std::vector<dm::TrackSpec> Tracks = FiveShortTracks();
  bool CreateWindowsInSetUp = true;
  void WriteDisc();
  void CreateWindows();
  // Closes the windows and opens them again, as a second run of the
  // program would, with what the first one saved.
  void ReopenWindows();
  void PlainFiles();

  TForm1& Form1() { return *windows_->Form1; }
  TForm2& Form2() { return *windows_->Form2; }
  TForm3& Form3() { return *windows_->Form3; }
  TForm4& Form4() { return *windows_->Form4; }
  TForm5& Form5() { return *windows_->Form5; }
  TForm6& Form6() { return *windows_->Form6; }
  TForm7& Form7() { return *windows_->Form7; }
  TAppWindows& Windows() { return *windows_; }
  TExtractor& Ex() { return Form1().Extractor(); }
  // The writer of `format` as the next chain would set it up, from the
  // settings as they are now.
  template <class Writer>
  Writer& Configured(const char* format) {
    const TFormat& row = *FindFormat(format);
    TACSFileOut& writer = *Ex().Parts(row).Writer;
    row.Configure(writer, Ex().Settings.For(row), TTrackRun{});
    return static_cast<Writer&>(writer);
  }
  TMP3Out& Mp3Writer() { return Configured<TMP3Out>("mp3"); }

  template <class T>
  T& Control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(name);
    if (!found) throw std::runtime_error(std::string("no control ") + name);
    return *found;
  }
  template <class T>
  T& Main(const char* name) {
    return Control<T>(Form1(), name);
  }
  QPushButton& Button(const char* name) { return Main<QPushButton>(name); }
  QTreeWidget& List() { return Main<QTreeWidget>("ListView1"); }

  std::string DiscDir() const { return temp_.Path() + "/discs"; }
  std::string DrivesDir() const { return temp_.Path() + "/drives"; }
  std::string OutDir() const { return temp_.Path() + "/out"; }
  std::string OutFile(const std::string& name) const { return OutDir() + "/" + name; }
  std::string BinPath() const { return DiscDir() + "/disc.bin"; }
  QString Root();
  QString TrackPath(int track);
  void AddTracks(std::initializer_list<int> tracks);
  std::vector<uint8_t> TrackPcm(int track) const;

  std::vector<QString> Captions();
  std::vector<bool> Checks();
  void SelectRows(std::initializer_list<int> rows);

  // Presses Start; returns when the job has ended.
  void Start();
  // Reads the disc image as a drive at 8x, so that a track takes long
  // enough for the window to show its way.
  void PaceTheDrive();
  // Runs `action` once during the job, the first time `when` holds after
  // the track bar moved (the drive paced as above).
  void DuringJob(std::function<bool(int jobBar, int trackBar)> when, std::function<void()> action);

  struct TShown {
    TMessageKind Kind;
    QString Text;
  };
  std::vector<TShown> Shown;
  // Every question asked, answered with Answer.
  std::vector<QString> Asked;
  bool Answer = true;

 private:
  TTempDir temp_;
  std::unique_ptr<TAppWindows> windows_;
  std::vector<std::unique_ptr<QObject>> jobHooks_;
};

}  // namespace cdx::test

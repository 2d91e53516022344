// Unit1, the main window "cd extractor": the track list and its editing,
// the output directory, the format choice, and the window's side of the rip
// job behind Start, Stop and Stop all.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <map>
#include <vector>

#include "app/AlbumBox.h"
#include "app/TitleStrip.h"
#include "extractor/RipJob.h"
#include "extractor/VerifyStage.h"

namespace cdx {

class TOptionsWindow;

// A row of the track list. Its id stays with the row whatever happens to the
// list, so a job can find the rows it started with, or learn they are gone.
class TTrackItem : public QTreeWidgetItem {
 public:
  explicit TTrackItem(quint64 id) : Id(id) {}
  const quint64 Id;
  // Sorting is always by caption, whatever column was clicked.
  bool operator<(const QTreeWidgetItem& other) const override;
};

class TForm1 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  TExtractor& Extractor() { return *extractor_; }
  // The dialogs among which "Options" finds the one of the chosen format.
  void SetOptionsDialogs(std::vector<TOptionsWindow*> dialogs) {
    optionsDialogs_ = std::move(dialogs);
  }

  // --- the track list ---
  bool AcceptTrackFile(const QString& path) const;
  TTrackItem* ajouttableau(const QString& path);
  // What both adders do with the paths they receive: each accepted one in
  // order becomes a new, checked row.
  void AddTrackFiles(const QStringList& paths);
  // Adds every audio track of the disc in `drive` that the list lacks, as
  // checked rows; how many it added.
  int AddDiscTracks(int drive);
  // At start: when exactly one drive holds an audio disc, lists its tracks.
  void ListTheOnlyAudioDisc();
  int SortColumn() const { return sortColumn_; }
  bool SortAscending() const { return sortAscending_; }

  // --- the job ---
  bool JobRunning() const { return jobRunning_; }
  int CheckedCount() const { return checkedCount_; }
  int StepCount() const { return stepCount_; }
  // How often the window's wait woke during the jobs so far.
  int WaitWakeups() const { return waitWakeups_; }

  // What the window keeps between runs: its place and size, the output
  // folder and the format.
  void SaveState(QSettings& settings) const;
  void RestoreState(const QSettings& settings);

 public slots:
  void AddTracksFromDialog();
  // "+": adds tracks through the open-file dialog.
  void JvXPButton1Click();
  void Add1Click();
  // "Add disc": adds the tracks of the drive chosen beside it.
  void AddDiscClick();
  // "-" and the Delete key: removes the selected rows.
  void deltruc();
  void JvXPButton2Click();
  void Remove1Click();
  void Rename1Click();
  void Checkselected1Click();
  void ListView1ColumnClick(int column);
  // "...": picks the output folder.
  void JvXPButton3Click();
  // "Options": shows the chosen format's options dialog.
  void JvXPButton4Click();
  // "website": opens the program's page.
  void JvLinkLabel1LinkClick();
  // "Start": runs the job over the checked rows.
  void JvXPButton5Click();
  // "Stop": ends the track being ripped; the job goes on.
  void JvXPButton6Click();
  // "Stop all": ends the track being ripped and the job.
  void JvXPButton7Click();
  // The track bar follows the track being ripped, read on a timer.
  void ShowTrackProgress();
  // The CD source listed its drives again: their folders and the open-file
  // dialog's side panel follow.
  void DrivesChanged();

 protected:
  // The Delete key in the list removes the selected rows.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class TWindowJob;
  // A track of the job that was not written whole, and why.
  struct TFailedTrack {
    QString Caption;
    QString Error;
  };

  void BuildTopBox();
  void BuildCheckRow(QGridLayout& top);
  void BuildJobBox();
  void BuildListBox();
  void BuildMenuAndDialog();
  void BuildWindowLayout();
  void ApplyColours();
  void ConnectHandlers();
  void FormCreate();

  TTrackItem* FindRow(quint64 id) const;
  std::vector<quint64> RowIds() const;
  QList<QUrl> DriveRootUrls();
  void RefreshDriveFolders();
  // The drive box lists every drive with what its disc holds.
  void FillDriveBox();
  void ShowDriveOffset();

  bool OutputFolderReady();
  void RunJob();
  // The file names and tags of the checked rows; false, having said why,
  // when they cannot be named.
  bool PlanNames(TTagStage& stage);
  // The file name of `row` as the job reaches it.
  std::string JobName(const TTrackItem& row, const TDiscTrack& track, const TFormat& format);
  TVerifySettings VerifySettings() const;
  // The window's wait while a track runs: one pass of its events and of
  // the hand-offs, asleep until one comes.
  void ServeDuringJob();
  void ReportJob();
  // Names the rows of `drive` still called TrackNN (or by a title given
  // before) after their titles.
  void TakeTitles(int drive, const std::map<int, QString>& titles);

  // Created before anything else of the job, destroyed after the controls.
  ComponentPtr<TExtractor> extractor_;

  TTitleStrip JvGradientCaption1;
  QGroupBox GroupBox1;
  QLabel Label1;
  QLineEdit Edit1;
  QPushButton JvXPButton3;
  QLabel Label2;
  QComboBox ComboBox1;
  QPushButton JvXPButton4;
  // The checks of a rip: the read offset of the first drive's model, and
  // test and copy.
  QLabel OffsetLabel;
  QSpinBox OffsetField;
  QCheckBox TestAndCopyBox;
  QGroupBox GroupBox2;
  QPushButton JvXPButton5;
  QPushButton JvXPButton6;
  QPushButton JvXPButton7;
  QFrame Panel1;
  QLabel Label3;
  QProgressBar JvXPProgressBar1;
  QProgressBar JvXPProgressBar2;
  // Which track is being written, and at the end what the job did.
  QLabel StatusLine;
  // Whether the job opens its drives' trays once every track is written.
  QCheckBox EjectBox;
  QGroupBox GroupBox3;
  QLabel Label4;
  QLabel JvLinkLabel1;
  QPushButton JvXPButton2;
  QPushButton JvXPButton1;
  TAlbumBox AlbumBox1;
  // The drives, and the button that adds the audio tracks of the one chosen.
  QComboBox DriveBox;
  QPushButton AddDiscButton;
  QTreeWidget ListView1;
  QMenu PopupMenu1;
  QFileDialog OpenDialog1;

  std::vector<TOptionsWindow*> optionsDialogs_;
  quint64 nextRowId_ = 1;
  int sortColumn_ = 0;
  bool sortAscending_ = true;

  bool jobRunning_ = false;
  bool closeRequested_ = false;
  int checkedCount_ = 0;
  int stepCount_ = 0;
  int waitWakeups_ = 0;
  TRipJob* job_ = nullptr;    // while a job runs
  quint64 currentRowId_ = 0;  // 0: no track is being ripped
  QTimer progressTimer_;
  std::vector<TFailedTrack> failures_;
  std::vector<TFailedTrack> stopped_;
  int writtenCount_ = 0;
  int notReachedCount_ = 0;
  // The job's file names by row (the album box's template), and the titles
  // the rows were given from the disc's names.
  std::map<quint64, std::string> jobNames_;
  std::map<quint64, QString> givenTitles_;
  std::map<quint64, QString> plannedCaptions_;
  TTagStage* jobStage_ = nullptr;  // while a job runs
  QString ejectProblems_;
  int accurateCount_ = 0;
  QString endError_;  // a log or CUE sheet not written
  // Read offsets by drive model, and the model the field shows.
  std::map<QString, int> offsets_;
  QString offsetModel_;
  QString databaseUrl_;  // the AccurateRip address; "" for the default
};

}  // namespace cdx

// The window's album fields above the track list: album, album artist,
// year and genre, the file-name template, the release to use when
// MusicBrainz knows several, and whether files are tagged. Filled from the
// disc as soon as its rows come, and from MusicBrainz when its answer
// comes (asked on a thread of its own, so the window never waits).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "extractor/DiscNames.h"
#include "extractor/TagStage.h"

namespace cdx {

class TAlbumBox : public QGroupBox {
  Q_OBJECT
 public:
  explicit TAlbumBox(QWidget* parent = nullptr);
  // Waits for a lookup still asking (a few seconds at most).
  ~TAlbumBox() override;

  // The rows of `drive`'s disc were added: its names now, MusicBrainz's
  // later. A disc already shown is not read again.
  void ShowDisc(int drive);

  struct TRow {
    quint64 Id;
    TDiscTrack Track;
    QString Caption;  // the row's name: the track's title unless it is TrackNN
  };
  // Gives `stage` each row's tags and returns each row's file name (below
  // the output folder, without extension) by id; `problem` is set, and
  // nothing is returned, when the template cannot name files.
  std::map<quint64, std::string> PlanJob(const std::vector<TRow>& rows, const TFormat& format,
                                         TTagStage& stage, QString& problem);
  bool Tagging() const { return TagFiles.isChecked(); }
  // The template and the tagging box are kept between runs; the album's
  // fields belong to a disc and are not.
  void SaveState(QSettings& settings) const;
  void RestoreState(const QSettings& settings);

  QLineEdit Album, AlbumArtist, Year, Genre, Template;
  QComboBox Release;
  QCheckBox TagFiles;
  QLabel NamesLine;

 signals:
  // The titles of a disc's tracks by number, for the rows still called
  // TrackNN (or by the title given before).
  void TitlesFound(int drive, const std::map<int, QString>& titles);

 private:
  void Show(int drive);
  void StartLookUp(int drive, TDiscNames names, bool lookUp);
  void LookedUp(int drive, unsigned generation, const TDiscNames& names);
  void ReleaseChosen(int index);
  TAlbumFields Fields() const;

  std::map<int, TDiscNames> discs_;
  int shown_ = -1;
  unsigned generation_ = 0;
  std::vector<std::thread> lookups_;
};

}  // namespace cdx

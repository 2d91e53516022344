// Notices discs coming and going while the window is open: a disc put in or
// taken out of a drive, and a disc image added to or removed from an image
// folder. The folders are watched by the file system, which tells at once;
// every few seconds the watcher also looks at the drives' status (cheap: no
// disc is read or spun up), at folders made since, and at data files still
// being copied. When something changed and no job runs, the CD source lists
// its drives again and DrivesChanged is raised; during a job, the first
// look after it does that.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <functional>

#include "cd/ACS_CDROM.h"

namespace cdx {

class TDiscWatcher : public QObject {
  Q_OBJECT
 public:
  static constexpr int kPollMs = 2000;
  // A copy into a folder brings a burst of events; the look waits this
  // long after the last one.
  static constexpr int kSettleMs = 200;

  // `busy` holds while the drives must stay as they are (a job runs).
  TDiscWatcher(TCDIn& cd, std::function<bool()> busy, int pollMs = kPollMs);

 signals:
  // After the CD source listed its drives again.
  void DrivesChanged();

 private:
  void Look();
  void WatchFolders();

  TCDIn& cd_;
  std::function<bool()> busy_;
  QFileSystemWatcher folders_;
  QTimer poll_;
  QTimer settle_;
};

}  // namespace cdx

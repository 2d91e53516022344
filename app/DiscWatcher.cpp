#include "app/DiscWatcher.h"

#include <QFileInfo>

namespace cdx {

TDiscWatcher::TDiscWatcher(TCDIn& cd, std::function<bool()> busy, int pollMs)
    : cd_(cd), busy_(std::move(busy)) {
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, &TDiscWatcher::Look);
  connect(&folders_, &QFileSystemWatcher::directoryChanged, &settle_, qOverload<>(&QTimer::start));
  poll_.setInterval(pollMs);
  connect(&poll_, &QTimer::timeout, this, &TDiscWatcher::Look);
  poll_.start();
  WatchFolders();
}

void TDiscWatcher::Look() {
  WatchFolders();
  if (busy_ && busy_()) return;
  if (!cd_.DrivesChanged()) return;
  cd_.RefreshDrives();
  emit DrivesChanged();
}

// A folder that is removed drops out of the watch by itself; one made
// later is found here.
void TDiscWatcher::WatchFolders() {
  const QStringList watched = folders_.directories();
  for (const std::string& folder : cd_.ImageFolders()) {
    const QString path = QString::fromStdString(folder);
    if (!watched.contains(path) && QFileInfo(path).isDir()) folders_.addPath(path);
  }
}

}  // namespace cdx

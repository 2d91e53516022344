// Drive folders shared by every process of the program: a window and a
// command line may list drives at once, each its own list.
//
// A process holds a shared lock (flock) on the folder of each drive it
// lists, from naming the drive until it lists the drives again or ends
// (the system drops the locks of a process that dies). A folder of the
// drives folder that no process holds and that is no drive of this
// process is stale: an image that was removed, renamed, or given with
// --image by a run that is over. Listing the drives removes such a folder
// under an exclusive lock, and only when it holds nothing but TrackNN.cda
// files, so nothing a user put there is ever lost.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "platform/cdrip/SafeFiles.h"

namespace cdrip {

// A shared lock on one drive folder, released with its owner.
class DriveFolderHold {
 public:
  explicit DriveFolderHold(UniqueFd folder) : folder_(std::move(folder)) {}

 private:
  UniqueFd folder_;
};

// Makes the drive folder `root` when missing and holds it; null when it
// cannot be made or is no real folder (a symbolic link is never held).
std::shared_ptr<const DriveFolderHold> HoldDriveFolder(const std::string& root);

// Removes the stale folders of `base`: real folders (never a link) that no
// process holds, not named in `drives`, not hidden, and holding only
// regular TrackNN.cda files.
void RemoveStaleDriveFolders(const std::string& base, const std::set<std::string>& drives);

}  // namespace cdrip

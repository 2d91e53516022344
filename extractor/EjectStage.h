// Opening the trays of the job's drives once it is over.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "extractor/RipJob.h"

namespace cdx {

// Ejects every real drive the job read a disc from, once the job has
// written each of its tracks whole: a failed, stopped or unfinished job
// leaves the disc in for another try. Image drives stay as they are.
class TEjectStage : public TJobStage {
 public:
  // What ejects a drive: CR_OK, or CR_ERROR with the reason in `why`. The
  // CD library's own by default; a drive tray is the one part a test
  // machine cannot have.
  using TEjector = std::function<int(int drive, std::string* why)>;
  explicit TEjectStage(TEjector eject = {});

  void DiscRead(const TDisc& disc) override { drives_.insert(disc.Drive()); }
  void JobEnded(const TJobSummary& summary) override;
  // One line for each drive that would not open: "cannot eject drive 0:
  // the drive is being read".
  const std::vector<std::string>& Problems() const { return problems_; }

 private:
  TEjector eject_;
  std::set<int> drives_;
  std::vector<std::string> problems_;
};

}  // namespace cdx

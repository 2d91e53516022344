#include "extractor/EjectStage.h"

#include "platform/cdrip/cdrip.h"

namespace cdx {

TEjectStage::TEjectStage(TEjector eject) : eject_(std::move(eject)) {
  if (!eject_)
    eject_ = [](int drive, std::string* why) { return cdrip::CR_EjectDrive(drive, why); };
}

void TEjectStage::JobEnded(const TJobSummary& summary) {
  const bool wholeJob = summary.Failed == 0 && summary.Stopped == 0 && summary.NotReached == 0;
  if (!wholeJob) return;
  for (int drive : drives_) {
    std::string why;
    if (eject_(drive, &why) != cdrip::CR_OK)
      problems_.push_back("cannot eject drive " + std::to_string(drive) + ": " + why);
  }
}

}  // namespace cdx

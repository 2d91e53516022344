// What the job tests share: a disc image as the only drive, and a front end
// that hands out tracks of it and keeps what became of them.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "extractor/RipJob.h"
#include "pipeline/MainThreadQueue.h"
#include "tests/support/TestSources.h"
#include "tools/discmaker.h"

namespace cdx::test {

// Makes `tracks` the disc of drive 0, the only drive, in temp's discs
// folder; its CUE sheet's path.
inline std::string UseImageDrive(const TTempDir& temp,
                                 const std::vector<discmaker::TrackSpec>& tracks) {
  std::filesystem::create_directories(temp.File("discs"));
  const std::string cue = temp.File("discs/disc.cue");
  discmaker::WriteImage(cue, tracks);
  setenv("CDX_NO_DEVICES", "1", 1);
  setenv("CDX_DISCS_DIR", temp.File("discs").c_str(), 1);
  setenv("CDX_DRIVES_DIR", temp.File("drives").c_str(), 1);
  return cue;
}

// Hands out tracks of drive 0 in order, as WAV unless told otherwise, each
// named by `Names` ("TrackN" where none is given); `Before` runs with each
// track number before it is handed out, `OnServe` on each pass of the
// job's wait.
class TListedTracks : public TJobFrontEnd {
 public:
  explicit TListedTracks(std::vector<int> tracks) : tracks_(std::move(tracks)) {}
  std::optional<TJobTrack> NextTrack() override {
    if (next_ >= tracks_.size()) return std::nullopt;
    const int track = tracks_[next_++];
    if (Before) Before(track);
    const std::string name =
        next_ <= Names.size() ? Names[next_ - 1] : "Track" + std::to_string(track);
    return TJobTrack{
        static_cast<uint64_t>(track), {0, track}, name, Format ? Format : FindFormat("wav")};
  }
  void Serve() override {
    TMainThreadQueue::Instance().WaitAndServe(std::chrono::milliseconds(5));
    if (OnServe) OnServe();
  }
  void TrackEnded(const TJobTrack&, const TTrackOutcome& outcome) override {
    Outcomes.push_back(outcome);
  }
  std::vector<TTrackResult> Results() const {
    std::vector<TTrackResult> results;
    for (const TTrackOutcome& outcome : Outcomes) results.push_back(outcome.Result);
    return results;
  }

  std::vector<std::string> Names;
  const TFormat* Format = nullptr;
  std::function<void(int)> Before;
  std::function<void()> OnServe;
  std::vector<TTrackOutcome> Outcomes;

 private:
  std::vector<int> tracks_;
  size_t next_ = 0;
};

}  // namespace cdx::test

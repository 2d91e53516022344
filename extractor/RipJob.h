// The rip job of both front ends: the tracks a front end hands it, one
// after another, each through its format's chain into the output folder,
// with one outcome per track. The job runs on the main thread; the front
// end keeps itself live while a track runs (Serve) and words the outcomes
// its own way.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "extractor/Disc.h"
#include "extractor/Extractor.h"

namespace cdx {

enum class TTrackResult { Written, Stopped, Failed, NotReached };

struct TTrackOutcome {
  TTrackResult Result = TTrackResult::Written;
  std::string File{};   // the track's file, written or not
  int StoppedAt = 0;    // a stopped track: how far it came, in percent
  std::string Error{};  // a failed track: why, as the part that failed said it
  // A failed or stopped track: an earlier file of its name is still there.
  bool EarlierKept = false;
  // Where what was ripped is: File, or for a track stopped over an earlier
  // file a name beside it that says so; "" when nothing was kept (a failed
  // track, one stopped before any audio was read).
  std::string KeptAs{};
  // What the checks of the rip found, when a stage checks them: the
  // database's word ("Accurate (confidence 12)", "Not verified (no
  // answer)") and the CRC32 of the track's audio as read.
  std::string Verification{};
  bool Accurate = false;
  std::optional<uint32_t> Crc{};
};

// A track a front end hands the job.
struct TJobTrack {
  uint64_t Id = 0;  // the front end's own name for it
  TDiscTrack Track{};
  std::string Name{};  // the file's base name
  const TFormat* Format = nullptr;
  // Not "": the track fails with this at once, and nothing is read.
  std::string Refused{};
};

class TJobFrontEnd {
 public:
  virtual ~TJobFrontEnd() = default;
  // The next track, or nothing when the job has no more; asked once the
  // track before has ended. After StopAll, the tracks still handed out are
  // not reached. What it throws ends the job.
  virtual std::optional<TJobTrack> NextTrack() = 0;
  // Keeps the front end live while a track runs: must serve the
  // main-thread queue (TMainThreadQueue), and may wait for it a little.
  virtual void Serve() = 0;
  virtual void TrackStarting(const TJobTrack&) {}
  virtual void TrackEnded(const TJobTrack& track, const TTrackOutcome& outcome) = 0;
};

struct TJobSummary;

// A part of the job beside the rip itself (checks of the audio, names and
// tags, what is done with the disc at the end): told on the main thread
// what the job does, it may add to it.
class TJobStage {
 public:
  virtual ~TJobStage() = default;
  virtual void JobStarting() {}
  // The disc of the next track, as just read (again after a change).
  virtual void DiscRead(const TDisc&) {}
  // The chain of `track` is built and about to run into `writer`'s file:
  // the stage may add what watches the CD source's samples, and set the
  // writer's hooks.
  virtual void ChainReady(const TJobTrack&, const TDisc&, TACSFileOut& /*writer*/,
                          std::vector<TSampleSink*>& /*sinks*/) {}
  // Whether `track` is read once before its copy, as a test: that pass's
  // samples go only to the sinks TestPassReady adds, and its file is not
  // kept. A test pass that fails or is stopped fails the track.
  virtual bool WantsTestPass(const TJobTrack&) { return false; }
  virtual void TestPassReady(const TJobTrack&, const TDisc&, std::vector<TSampleSink*>& /*sinks*/) {
  }
  // The track ended (or was not reached); the stage may add to its outcome.
  virtual void TrackEnded(const TJobTrack&, TTrackOutcome&) {}
  virtual void JobEnded(const TJobSummary&) {}
};

struct TJobSummary {
  int Written = 0;  // stopped ones with a file included
  int Stopped = 0;
  int Failed = 0;
  int NotReached = 0;
};

class TRipJob {
 public:
  TRipJob(TExtractor& extractor, std::string outputFolder);

  // Stages are told in the order added; each must outlive the job's run.
  void AddStage(TJobStage& stage) { stages_.push_back(&stage); }
  TJobSummary Run(TJobFrontEnd& frontEnd);
  // Ends the track being ripped with what it has; the job goes on.
  void Stop();
  // Ends the track being ripped, and reaches no other.
  void StopAll();
  bool StoppingAll() const { return stopAll_; }
  bool Running() const { return writer_ != nullptr; }
  // Percent of the track being ripped (the last seen once it has ended).
  int Progress() const;
  TDiscs& Discs() { return discs_; }

 private:
  TTrackOutcome RipTrack(TJobFrontEnd& frontEnd, const TJobTrack& track);
  TTrackOutcome RunChain(TJobFrontEnd& frontEnd, const TJobTrack& track, const TDisc& disc,
                         const std::string& file);
  // Reads the track once, into no file, for the stages that asked; its
  // outcome, with the track's own file.
  TTrackOutcome RunTestPass(TJobFrontEnd& frontEnd, const TJobTrack& track, const TDisc& disc,
                            const std::string& file);
  // Serves the front end until the run of writer_ has ended; the outcome
  // for `file`, with what `fileOut` kept when it has a file.
  TTrackOutcome AwaitRun(TJobFrontEnd& frontEnd, const std::string& file, TACSFileOut* fileOut);

  TExtractor& extractor_;
  std::string folder_;
  TDiscs discs_;
  TACSOutput* writer_ = nullptr;  // while a track runs
  int progress_ = 0;
  bool stop_ = false;
  bool stopAll_ = false;
  // The files this job wrote: a later track of the same name must not
  // replace one of them.
  std::set<std::string> written_;
  std::map<std::string, int> filesOfFormat_;
  std::vector<TJobStage*> stages_;
  // The TOC each drive's disc was last told of, to tell stages of a read.
  std::map<int, const cdrip::DiscToc*> discsTold_;
};

// A library message on one line: "Error finishing.\r\nI/O write error"
// gives "Error finishing; I/O write error".
std::string OneLine(const std::string& message);

}  // namespace cdx

// The proof of a good rip as a part of the job: the checksums of every
// track taken on the way, the disc's ids and its AccurateRip answer (asked
// off the main thread as soon as the disc is read), each track judged at
// its end, test and copy, the drive's read offset, and at the job's end a
// rip log and a CUE sheet beside the files.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cd/DiscIds.h"
#include "cd/TrackChecksums.h"
#include "extractor/RipJob.h"
#include "platform/cdrip/cdrip.h"
#include "verify/AccurateRip.h"
#include "verify/RipLog.h"

namespace cdx {

struct TVerifySettings {
  bool Verify = true;        // ask the AccurateRip database
  bool TestAndCopy = false;  // read each track twice and compare the CRCs
  // The read offset correction of a drive, in samples (images: 0).
  std::function<int(int drive)> ReadOffset = [](int) { return 0; };
  // Where the offset came from, for the log ("user", "settings").
  std::string OffsetSource = "user";
  verify::TArSettings Database;
  // For the log: the output format and its settings ("FLAC, level 5").
  std::string Format;
};

// No track waits longer than this for the database, counted from the moment
// the disc was read.
constexpr std::chrono::milliseconds kLookupWait{3000};

class TVerifyStage : public TJobStage {
 public:
  TVerifyStage(std::string outputFolder, TVerifySettings settings);
  ~TVerifyStage() override;

  void JobStarting() override;
  void DiscRead(const TDisc& disc) override;
  bool WantsTestPass(const TJobTrack&) override { return settings_.TestAndCopy; }
  void TestPassReady(const TJobTrack& track, const TDisc& disc,
                     std::vector<TSampleSink*>& sinks) override;
  void ChainReady(const TJobTrack& track, const TDisc& disc, TACSFileOut& writer,
                  std::vector<TSampleSink*>& sinks) override;
  void TrackEnded(const TJobTrack& track, TTrackOutcome& outcome) override;
  void JobEnded(const TJobSummary& summary) override;

  // Tracks of this job that the database confirmed.
  int AccurateTracks() const { return accurate_; }
  // The logs and CUE sheets written at the job's end.
  const std::vector<std::string>& WrittenFiles() const { return written_; }
  // Why a log or CUE sheet could not be written, one line; "" when all were.
  const std::string& EndError() const { return endError_; }

 private:
  struct TDiscState;
  TDiscState* DiscOf(int drive);
  TTrackChecksumSetup SetupOf(const TDiscState& disc, int track) const;
  // Sets the drive's offset and makes `sums` watch the next read of
  // `track`; false for a track of no disc the stage knows.
  bool Watch(const TJobTrack& track, TTrackChecksums& sums, std::vector<TSampleSink*>& sinks);
  const verify::TArDisc& Answer(TDiscState& disc);
  void LogTrack(TDiscState& disc, const TJobTrack& track, TTrackOutcome& outcome);
  void WriteDiscFiles(TDiscState& disc);

  std::string folder_;
  TVerifySettings settings_;
  std::vector<std::unique_ptr<TDiscState>> discs_;  // in the order read
  std::map<int, TDiscState*> current_;              // by drive
  TTrackChecksums test_, copy_;
  bool copyReady_ = false, testReady_ = false;
  // Set on the worker by the copy's file hook, read once the run has ended.
  bool crcMismatch_ = false;
  int accurate_ = 0;
  std::vector<std::string> written_;
  std::string endError_;
};

// The largest read offset correction, either way, in samples.
constexpr int kMaxReadOffset = cdrip::CR_MAX_READ_OFFSET;

// The model of drive `drive`, which its read offset belongs to: "image" for
// an image, "" when the drive does not say.
std::string DriveModelOf(int drive);

// The disc's ids as --list prints them, one "name: value" a line.
std::vector<std::string> DiscIdLines(const cdrip::DiscToc& toc);

// "1A2B3C4D"
std::string CrcText(uint32_t crc);

}  // namespace cdx

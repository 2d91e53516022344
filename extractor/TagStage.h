// The names-and-tags part of a rip job: each track's file gets its tags
// and the cover in its hidden part file before it takes its name; its
// folders are made first. Once the last track is written the
// track and album gains go into every file of the job in place, and the
// cover is saved beside them.
//
// The front end gives the tags of each track (TrackTagsOf) by the id its
// TJobTrack carries; a track without any still gets its number and gain.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cd/ReplayGain.h"
#include "extractor/RipJob.h"
#include "writers/Tagger.h"

namespace cdx {

// The tag container of a format's files; false for a format with none.
bool TagFormatOf(const TFormat& format, TTagFormat& tagFormat);

class TTagStage : public TJobStage {
 public:
  explicit TTagStage(TExtractor& extractor) : extractor_(extractor) {}

  void SetTrackTags(uint64_t id, TTrackTags tags) { tags_[id] = std::move(tags); }
  // Saved as cover.<ext> in each folder the job wrote files to; null for
  // none.
  void SetCoverFile(std::shared_ptr<const TCoverPicture> picture, std::string extension);
  // False: the files keep what their writers wrote (no tags, no gain, no
  // cover); only the template's folders are made.
  bool Tagging = true;
  bool ReplayGain = true;
  // What did not work out (a cover not saved, an album gain not written),
  // one line each; the files are there all the same.
  const std::vector<std::string>& Notes() const { return notes_; }

  void JobStarting() override;
  void ChainReady(const TJobTrack& track, const TDisc& disc, TACSFileOut& writer,
                  std::vector<TSampleSink*>& sinks) override;
  void TrackEnded(const TJobTrack& track, TTrackOutcome& outcome) override;
  void JobEnded(const TJobSummary& summary) override;

 private:
  struct TWrittenFile {
    std::string Path;
    TTagFormat Format;
    std::optional<size_t> Measured;  // the meter's number for the track
  };

  TTrackTags TagsOf(const TJobTrack& track, const std::string& file);
  void WriteAllGains();
  void SaveCovers();

  TExtractor& extractor_;
  std::map<uint64_t, TTrackTags> tags_;
  std::shared_ptr<const TCoverPicture> cover_;
  std::string coverExtension_;
  TReplayGainMeter meter_;
  // The running track's measurement, once its finished-file hook ended it
  // (on the worker, before the track's end is handed to the job).
  std::optional<size_t> measured_;
  std::map<std::string, int> filesOfFormat_;
  std::vector<TWrittenFile> written_;
  std::vector<TACSFileOut*> hooked_;
  std::vector<std::string> notes_;
};

}  // namespace cdx

#include "extractor/RipJob.h"

#include <filesystem>
#include <sstream>
#include <utility>

namespace cdx {

namespace {

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// Where a path leads once "." and ".." and doubled slashes are gone.
std::string Cleaned(const std::string& path) {
  return std::filesystem::path(path).lexically_normal().string();
}

std::string FileNamePart(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::string Capitalised(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

// A stopped run is no complete file: it must not replace one, so it goes
// beside an earlier file of its name, under a name that says how far it came.
void KeepEarlierFileOnStop(TACSFileOut& writer, const std::string& file) {
  writer.SetStoppedFileHook([file](int percent) {
    return Exists(file) ? StoppedTrackFileName(file, percent) : std::string();
  });
}

TTrackOutcome Failure(std::string file, std::string why) {
  TTrackOutcome outcome{TTrackResult::Failed, std::move(file)};
  outcome.Error = std::move(why);
  return outcome;
}

}  // namespace

TRipJob::TRipJob(TExtractor& extractor, std::string outputFolder)
    : extractor_(extractor), folder_(std::move(outputFolder)) {}

TJobSummary TRipJob::Run(TJobFrontEnd& frontEnd) {
  TJobSummary summary;
  for (TJobStage* stage : stages_) stage->JobStarting();
  while (std::optional<TJobTrack> track = frontEnd.NextTrack()) {
    TTrackOutcome outcome;
    if (stopAll_) {
      outcome.Result = TTrackResult::NotReached;
      outcome.File = TrackFileName(folder_, track->Name, *track->Format);
    } else {
      frontEnd.TrackStarting(*track);
      outcome = RipTrack(frontEnd, *track);
    }
    switch (outcome.Result) {
      case TTrackResult::Stopped:
        ++summary.Stopped;
        if (outcome.KeptAs.empty()) break;
        [[fallthrough]];
      case TTrackResult::Written:
        ++summary.Written;
        break;
      case TTrackResult::Failed:
        ++summary.Failed;
        break;
      case TTrackResult::NotReached:
        ++summary.NotReached;
        break;
    }
    for (TJobStage* stage : stages_) stage->TrackEnded(*track, outcome);
    frontEnd.TrackEnded(*track, outcome);
  }
  for (TJobStage* stage : stages_) stage->JobEnded(summary);
  return summary;
}

TTrackOutcome TRipJob::RipTrack(TJobFrontEnd& frontEnd, const TJobTrack& track) {
  const std::string file = TrackFileName(folder_, track.Name, *track.Format);
  if (!track.Refused.empty()) return Failure(file, track.Refused);
  if (written_.count(Cleaned(file)))
    return Failure(file, FileNamePart(file) + " was already written by this job; rename the row");
  const TDisc& disc = discs_.Of(track.Track.Drive);
  if (std::exchange(discsTold_[disc.Drive()], &disc.Toc()) != &disc.Toc())
    for (TJobStage* stage : stages_) stage->DiscRead(disc);
  if (std::string lacks = disc.Lacks(track.Track.Track); !lacks.empty())
    return Failure(file, Capitalised(lacks));
  const bool earlier = Exists(file);
  stop_ = false;
  for (TJobStage* stage : stages_)
    if (stage->WantsTestPass(track)) {
      TTrackOutcome test = RunTestPass(frontEnd, track, disc, file);
      if (test.Result == TTrackResult::Written) break;
      test.EarlierKept = earlier && Exists(file);
      return test;
    }
  TTrackOutcome outcome = RunChain(frontEnd, track, disc, file);
  if (outcome.Result != TTrackResult::Written)
    outcome.EarlierKept = earlier && outcome.KeptAs != file && Exists(file);
  if (outcome.KeptAs == file) written_.insert(Cleaned(file));
  return outcome;
}

TTrackOutcome TRipJob::RunChain(TJobFrontEnd& frontEnd, const TJobTrack& track, const TDisc& disc,
                                const std::string& file) {
  const TFormat& format = *track.Format;
  // A name from a template carries its folders; the file's own name is
  // what a title taken from it wants.
  const TTrackRun run{track.Track.Track, filesOfFormat_[format.Name]++, FileNamePart(track.Name)};
  progress_ = 0;
  TACSFileOut* fileOut = nullptr;
  try {
    writer_ = extractor_.BuildChain(format, extractor_.Settings.For(format), disc,
                                    track.Track.Track, file, run, [&](TACSFileOut& writer) {
                                      fileOut = &writer;
                                      KeepEarlierFileOnStop(writer, file);
                                      std::vector<TSampleSink*> sinks;
                                      writer.SetFinishedFileHook({});
                                      for (TJobStage* stage : stages_)
                                        stage->ChainReady(track, disc, writer, sinks);
                                      extractor_.CDIn1->SetSampleSinks(std::move(sinks));
                                    });
  } catch (const std::exception& e) {
    return Failure(file, e.what());
  }
  return AwaitRun(frontEnd, file, fileOut);
}

TTrackOutcome TRipJob::RunTestPass(TJobFrontEnd& frontEnd, const TJobTrack& track,
                                   const TDisc& disc, const std::string& file) {
  progress_ = 0;
  try {
    writer_ = extractor_.ReadTrack(disc, track.Track.Track, [&] {
      std::vector<TSampleSink*> sinks;
      for (TJobStage* stage : stages_)
        if (stage->WantsTestPass(track)) stage->TestPassReady(track, disc, sinks);
      extractor_.CDIn1->SetSampleSinks(std::move(sinks));
    });
  } catch (const std::exception& e) {
    return Failure(file, e.what());
  }
  TTrackOutcome test = AwaitRun(frontEnd, file, nullptr);
  if (test.Result == TTrackResult::Stopped)
    return Failure(file, "Stopped during the test read; no copy was made");
  return test;
}

TTrackOutcome TRipJob::AwaitRun(TJobFrontEnd& frontEnd, const std::string& file,
                                TACSFileOut* fileOut) {
  TRunEnd end = WaitForRunEnd(*writer_, [&] {
    frontEnd.Serve();
    progress_ = writer_->ReportedProgress();
    // Asked again on every pass: a stop may come before the run has begun.
    if (stop_) extractor_.StopRunning();
  });
  progress_ = writer_->ReportedProgress();
  writer_ = nullptr;
  TTrackOutcome outcome{TTrackResult::Written, file};
  if (end.Result == TRunResult::Stopped) {
    outcome.Result = TTrackResult::Stopped;
    outcome.StoppedAt = progress_;
  }
  if (end.Result == TRunResult::Failed) outcome = Failure(file, end.Message);
  if (fileOut && end.Result != TRunResult::Failed) outcome.KeptAs = fileOut->KeptFile();
  return outcome;
}

void TRipJob::Stop() {
  if (!writer_) return;
  stop_ = true;
  extractor_.StopRunning();
}

void TRipJob::StopAll() {
  stopAll_ = true;
  Stop();
}

int TRipJob::Progress() const {
  return writer_ ? writer_->Progress() : progress_;
}

std::string OneLine(const std::string& message) {
  std::string joined, line;
  std::stringstream lines(message);
  while (std::getline(lines, line)) {
    auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    if (!joined.empty()) {
      if (joined.back() == '.') joined.pop_back();
      joined += "; ";
    }
    joined += line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
  }
  return joined;
}

}  // namespace cdx

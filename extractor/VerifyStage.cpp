#include "extractor/VerifyStage.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "pipeline/ACS_Classes.h"
#include "platform/cdrip/cdrip.h"
#include "verify/AtomicFile.h"
#include "verify/CueSheet.h"

namespace cdx {

namespace {

using Clock = std::chrono::steady_clock;

// The place of track `number` in the TOC; -1 when it has none.
int IndexOf(const cdrip::DiscToc& toc, int number) {
  for (size_t i = 0; i < toc.tracks.size(); ++i)
    if (toc.tracks[i].number == number) return static_cast<int>(i);
  return -1;
}

verify::TArDisc LateAnswer() {
  verify::TArDisc late;
  late.Lookup = verify::TArLookup::NoAnswer;
  late.Reason = "no answer";
  late.Detail = "no answer within " + std::to_string(kLookupWait.count() / 1000) + " s";
  return late;
}

}  // namespace

std::string CrcText(uint32_t crc) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", crc);
  return text;
}

struct TVerifyStage::TDiscState {
  int Drive = -1;
  std::string Path, Model;
  cdrip::DiscToc Toc;
  TDiscIds Ids;
  std::future<verify::TArDisc> Lookup;
  Clock::time_point Deadline;
  std::optional<verify::TArDisc> Answer;
  int Offset = 0;
  uint64_t Silence = 0;
  std::vector<verify::TLogTrack> Tracks;
  std::vector<verify::TCueTrack> CueTracks;
};

TVerifyStage::TVerifyStage(std::string outputFolder, TVerifySettings settings)
    : folder_(std::move(outputFolder)), settings_(std::move(settings)) {}

// A lookup still under way is waited for here: its own timeout bounds it.
TVerifyStage::~TVerifyStage() = default;

void TVerifyStage::JobStarting() {
  discs_.clear();
  current_.clear();
  accurate_ = 0;
  written_.clear();
  endError_.clear();
}

void TVerifyStage::DiscRead(const TDisc& disc) {
  auto state = std::make_unique<TDiscState>();
  state->Drive = disc.Drive();
  state->Path = cdrip::CR_GetDrivePath(disc.Drive());
  state->Model = cdrip::CR_GetDriveModel(disc.Drive());
  state->Toc = disc.Toc();
  state->Ids = ComputeDiscIds(state->Toc);
  state->Offset = settings_.ReadOffset(disc.Drive());
  if (settings_.Verify && state->Ids.AudioTracks > 0) {
    // Asked now, answered while the first track is read: no track waits.
    state->Deadline = Clock::now() + kLookupWait;
    state->Lookup =
        std::async(std::launch::async, verify::LookUpDisc, state->Ids, settings_.Database);
  }
  current_[disc.Drive()] = state.get();
  discs_.push_back(std::move(state));
}

TVerifyStage::TDiscState* TVerifyStage::DiscOf(int drive) {
  auto found = current_.find(drive);
  return found == current_.end() ? nullptr : found->second;
}

TTrackChecksumSetup TVerifyStage::SetupOf(const TDiscState& disc, int track) const {
  const int index = IndexOf(disc.Toc, track);
  TTrackChecksumSetup setup;
  if (index < 0) return setup;
  int first = -1, last = -1;
  for (size_t i = 0; i < disc.Toc.tracks.size(); ++i)
    if (disc.Toc.tracks[i].audio) {
      if (first < 0) first = static_cast<int>(i);
      last = static_cast<int>(i);
    }
  setup.Samples = uint64_t{disc.Toc.length(static_cast<size_t>(index))} * 588;
  setup.FirstAudio = index == first;
  setup.LastAudio = index == last;
  return setup;
}

bool TVerifyStage::Watch(const TJobTrack& track, TTrackChecksums& sums,
                         std::vector<TSampleSink*>& sinks) {
  TDiscState* disc = DiscOf(track.Track.Drive);
  if (!disc) return false;
  cdrip::CR_SetReadOffset(disc->Offset);
  sums.Reset(SetupOf(*disc, track.Track.Track));
  sinks.push_back(&sums);
  return true;
}

void TVerifyStage::TestPassReady(const TJobTrack& track, const TDisc&,
                                 std::vector<TSampleSink*>& sinks) {
  if (Watch(track, test_, sinks)) testReady_ = true;
}

void TVerifyStage::ChainReady(const TJobTrack& track, const TDisc&, TACSFileOut& writer,
                              std::vector<TSampleSink*>& sinks) {
  if (!Watch(track, copy_, sinks)) return;
  copyReady_ = true;
  crcMismatch_ = false;
  if (!testReady_) return;
  // Before the file takes its name: a copy that differs from the test
  // fails the run, and an earlier file of the name stays.
  writer.SetFinishedFileHook([this, after = writer.FinishedFileHook()](const std::string& path) {
    const TTrackChecksumResult copy = copy_.Result(), test = test_.Result();
    if (copy.Complete() && copy.Crc32 != test.Crc32) {
      crcMismatch_ = true;
      throw EACSException("Test CRC " + CrcText(test.Crc32) + " differs from copy CRC " +
                          CrcText(copy.Crc32));
    }
    if (after) after(path);
  });
}

const verify::TArDisc& TVerifyStage::Answer(TDiscState& disc) {
  if (disc.Answer) return *disc.Answer;
  if (!disc.Lookup.valid())
    disc.Answer = verify::TArDisc{};
  else if (disc.Lookup.wait_until(disc.Deadline) == std::future_status::ready)
    disc.Answer = disc.Lookup.get();
  else
    disc.Answer = LateAnswer();
  return *disc.Answer;
}

void TVerifyStage::TrackEnded(const TJobTrack& track, TTrackOutcome& outcome) {
  TDiscState* disc = DiscOf(track.Track.Drive);
  if (disc && (copyReady_ || testReady_) && outcome.Result != TTrackResult::NotReached)
    LogTrack(*disc, track, outcome);
  copyReady_ = testReady_ = crcMismatch_ = false;
}

void TVerifyStage::LogTrack(TDiscState& disc, const TJobTrack& track, TTrackOutcome& outcome) {
  const int index = IndexOf(disc.Toc, track.Track.Track);
  if (index < 0) return;
  const cdrip::TocTrack& toc = disc.Toc.tracks[static_cast<size_t>(index)];
  const uint32_t sectors = disc.Toc.length(static_cast<size_t>(index));
  const bool kept = outcome.Result == TTrackResult::Written;
  verify::TLogTrack t;
  t.Number = toc.number;
  t.FirstSector = toc.start;
  t.LastSector = toc.start + (sectors > 0 ? sectors - 1 : 0);
  t.PregapSectors = index == 0 ? toc.start : toc.pregap;
  t.Isrc = toc.isrc;
  t.PreEmphasis = toc.preEmphasis;
  if (testReady_) t.TestCrc = test_.Result().Crc32;
  if (copyReady_) {
    t.Copy = copy_.Result();
    disc.Silence += cdrip::CR_GetOffsetSilence();
  }
  // Whole paths until the disc's files are written: they say where.
  if (outcome.Result == TTrackResult::Written) t.File = outcome.File;
  // A stopped track's file may lie beside an earlier one, or not be at all.
  if (outcome.Result == TTrackResult::Stopped && !outcome.KeptAs.empty()) t.File = outcome.KeptAs;
  if (outcome.Result == TTrackResult::Stopped)
    t.Status = "Stopped at " + std::to_string(outcome.StoppedAt) + " %";
  if (outcome.Result == TTrackResult::Failed) {
    t.Status = crcMismatch_ ? "CRC mismatch" : "Copy failed: " + OneLine(outcome.Error);
    // The CD library names the sector it could not read, retries spent.
    if (const uint32_t sector = cdrip::CR_GetLastErrorSector(); sector != 0 && !crcMismatch_) {
      t.ReadErrors = 1;
      t.SuspectSectors = {sector};
    }
  }
  if (outcome.Result == TTrackResult::Failed || !copyReady_) {
    t.Ar.Status = verify::TArStatus::NotCheckable;
  } else {
    t.Ar = verify::JudgeTrack(Answer(disc), verify::ArSlot(static_cast<size_t>(index)), t.Copy);
    outcome.Verification = verify::ResultText(t.Ar);
    outcome.Accurate = t.Ar.Status == verify::TArStatus::Accurate;
    outcome.Crc = t.Copy.Crc32;
    accurate_ += outcome.Accurate;
  }
  if (kept)
    disc.CueTracks.push_back(
        {toc.number, t.File, "", "", toc.isrc, toc.preEmphasis, sectors, t.PregapSectors});
  disc.Tracks.push_back(std::move(t));
}

void TVerifyStage::JobEnded(const TJobSummary&) {
  for (auto& disc : discs_)
    if (!disc->Tracks.empty()) WriteDiscFiles(*disc);
  cdrip::CR_SetReadOffset(0);
}

namespace {

// Where a disc's log and CUE sheet go: beside its files when they share a
// folder (an album's), else in the output folder. The sheet's FILE lines
// are then relative to it.
std::string FolderOfFiles(const std::vector<verify::TLogTrack>& tracks, const std::string& folder) {
  std::string common;
  for (const verify::TLogTrack& t : tracks) {
    if (t.File.empty()) continue;
    const std::string own = std::filesystem::path(t.File).parent_path().string();
    if (!common.empty() && own != common) return folder;
    common = own;
  }
  return common.empty() ? folder : common;
}

std::string RelativeTo(const std::string& folder, const std::string& file) {
  if (file.empty()) return file;
  return std::filesystem::path(file).lexically_relative(folder).string();
}

}  // namespace

void TVerifyStage::WriteDiscFiles(TDiscState& disc) {
  const std::string folder = FolderOfFiles(disc.Tracks, folder_);
  for (verify::TLogTrack& t : disc.Tracks) t.File = RelativeTo(folder, t.File);
  for (verify::TCueTrack& t : disc.CueTracks) t.File = RelativeTo(folder, t.File);
  verify::TLogRecord log;
  const bool image = disc.Model == "image";
  log.Drive = image ? "image: " + disc.Path
                    : (disc.Model.empty() ? "drive" : disc.Model) + ", " + disc.Path;
  log.ReadMode = "paranoia, full";
  log.ReadOffset = disc.Offset;
  log.OffsetSource = image && disc.Offset == 0 ? "image, 0" : settings_.OffsetSource;
  log.OffsetSilence = disc.Silence;
  log.TestAndCopy = settings_.TestAndCopy;
  log.GapHandling = "appended to previous track";
  log.Format = settings_.Format;
  log.Toc = disc.Toc;
  log.Ids = disc.Ids;
  log.Release = "no metadata";
  log.Lookup = Answer(disc);
  std::sort(disc.Tracks.begin(), disc.Tracks.end(),
            [](const auto& a, const auto& b) { return a.Number < b.Number; });
  log.Tracks = disc.Tracks;

  const std::string base =
      (std::filesystem::path(folder) / ("disc-" + disc.Ids.CddbText())).string();
  std::string error;
  if (verify::WriteFileAtomically(base + ".log", verify::BuildRipLog(log), error))
    written_.push_back(base + ".log");
  else if (endError_.empty())
    endError_ = "The rip log was not written: " + error;
  if (disc.CueTracks.empty()) return;
  verify::TCueRecord cue;
  cue.DiscId = disc.Ids.CddbText();
  cue.MusicBrainzId = disc.Ids.MusicBrainz;
  cue.Catalog = disc.Toc.mcn;
  cue.Tracks = disc.CueTracks;
  std::sort(cue.Tracks.begin(), cue.Tracks.end(),
            [](const auto& a, const auto& b) { return a.Number < b.Number; });
  if (verify::WriteFileAtomically(base + ".cue", verify::BuildCueSheet(cue), error))
    written_.push_back(base + ".cue");
  else if (endError_.empty())
    endError_ = "The CUE sheet was not written: " + error;
}

std::string DriveModelOf(int drive) {
  return cdrip::CR_GetDriveModel(drive);
}

std::vector<std::string> DiscIdLines(const cdrip::DiscToc& toc) {
  const TDiscIds ids = ComputeDiscIds(toc);
  return {"AccurateRip id: " + ids.ArText(), "CDDB id: " + ids.CddbText(),
          "MusicBrainz id: " + (ids.MusicBrainz.empty() ? std::string("none") : ids.MusicBrainz)};
}

}  // namespace cdx

#include "extractor/TagStage.h"

#include <filesystem>
#include <set>

#include "metadata/CoverArt.h"
#include "writers/ACS_FLAC.h"

namespace cdx {

namespace {

namespace fs = std::filesystem;

std::string FolderOf(const std::string& path) {
  return fs::path(path).parent_path().string();
}

std::string FileNameOf(const std::string& path) {
  return fs::path(path).filename().string();
}

std::optional<TReplayGain> AsGain(const std::optional<TReplayGainValues>& values) {
  if (!values) return std::nullopt;
  return TReplayGain{values->GainDb, values->Peak};
}

}  // namespace

bool TagFormatOf(const TFormat& format, TTagFormat& tagFormat) {
  static const std::map<std::string, TTagFormat> kByName = {
      {"wav", TTagFormat::Wav},      {"mp3", TTagFormat::Mp3},   {"ogg", TTagFormat::OggVorbis},
      {"opus", TTagFormat::OggOpus}, {"flac", TTagFormat::Flac}, {"ape", TTagFormat::Ape}};
  auto found = kByName.find(format.Name);
  if (found == kByName.end()) return false;
  tagFormat = found->second;
  return true;
}

void TTagStage::SetCoverFile(std::shared_ptr<const TCoverPicture> picture, std::string extension) {
  cover_ = std::move(picture);
  coverExtension_ = std::move(extension);
}

void TTagStage::JobStarting() {
  meter_.StartAlbum();
  filesOfFormat_.clear();
  written_.clear();
  notes_.clear();
}

TTrackTags TTagStage::TagsOf(const TJobTrack& track, const std::string& file) {
  auto given = tags_.find(track.Id);
  TTrackTags tags = given != tags_.end() ? given->second : TTrackTags{};
  if (tags.Get(TTagField::TrackNumber).empty())
    tags.Set(TTagField::TrackNumber, std::to_string(track.Track.Track));
  // What the format's own tag fields hold was typed by the user: it wins.
  const TTrackRun run{track.Track.Track, filesOfFormat_[track.Format->Name]++,
                      fs::path(FileNameOf(file)).stem().string()};
  if (track.Format->Name == "mp3") ApplyUserTags(tags, Mp3TagsOf(extractor_.Mp3Settings, run));
  if (track.Format->Name == "ogg")
    ApplyUserComments(tags, VorbisCommentFields(extractor_.OggSettings.Comments));
  return tags;
}

void TTagStage::ChainReady(const TJobTrack& track, const TDisc&, TACSFileOut& writer,
                           std::vector<TSampleSink*>& sinks) {
  // The template's folders: the writer puts its part file beside the file.
  std::error_code ec;
  fs::create_directories(FolderOf(writer.FileName()), ec);
  TTagFormat format;
  if (!Tagging || !TagFormatOf(*track.Format, format)) return;
  TTrackTags tags = TagsOf(track, writer.FileName());
  if (auto* flac = dynamic_cast<TFLACOut*>(&writer)) flac->SetPadding(FLACPaddingFor(tags));
  measured_ = false;
  if (ReplayGain) {
    meter_.BeginTrack();
    sinks.push_back(&meter_);
  }
  hooked_.push_back(&writer);
  // Runs on the worker, after the run's last block.
  writer.SetFinishedFileHook([this, format, tags = std::move(tags)](const std::string& path) {
    // The gains go in with the album's, once every track is measured.
    if (ReplayGain) measured_ = meter_.EndTrack();
    WriteTags(path, format, tags);
  });
}

void TTagStage::TrackEnded(const TJobTrack& track, TTrackOutcome& outcome) {
  const bool kept = outcome.Result == TTrackResult::Written;
  // A stopped track's loudness is not the album's; a file that failed
  // after its measurement ended is not there.
  const std::optional<size_t> measured = std::exchange(measured_, std::nullopt);
  if (measured && !kept) meter_.DropLastTrack();
  TTagFormat format;
  if (kept && Tagging && TagFormatOf(*track.Format, format))
    written_.push_back({outcome.File, format, measured});
}

void TTagStage::WriteAllGains() {
  if (!ReplayGain || written_.empty()) return;
  const std::optional<TReplayGain> album = AsGain(meter_.Album());
  for (const TWrittenFile& file : written_) {
    const std::optional<TReplayGain> track =
        file.Measured ? AsGain(meter_.TrackValues(*file.Measured)) : std::nullopt;
    try {
      WriteGains(file.Path, file.Format, track, album);
    } catch (const std::exception& e) {
      notes_.push_back(OneLine(e.what()) + " (the file has no ReplayGain tags)");
    }
  }
}

void TTagStage::SaveCovers() {
  if (!cover_ || !Tagging) return;
  std::set<std::string> folders;
  for (const TWrittenFile& file : written_) folders.insert(FolderOf(file.Path));
  for (const std::string& folder : folders) {
    std::string why;
    if (metadata::SaveCover(cover_->Data(), coverExtension_, folder, &why).empty())
      notes_.push_back("the cover was not saved in " + folder + ": " + why);
  }
}

void TTagStage::JobEnded(const TJobSummary&) {
  // The writers serve other jobs too, which may not tag.
  for (TACSFileOut* writer : hooked_) writer->SetFinishedFileHook({});
  hooked_.clear();
  WriteAllGains();
  SaveCovers();
}

}  // namespace cdx

#include "cli/CliNames.h"

#include "extractor/FileNames.h"

namespace cdx {

namespace {

std::string AlbumLine(const TTrackTags& tags) {
  std::string line = tags.Get(TTagField::AlbumArtist);
  const std::string& album = tags.Get(TTagField::Album);
  if (!album.empty()) line += (line.empty() ? "" : " \u2013 ") + album;
  const std::string& date = tags.Get(TTagField::Date);
  if (!date.empty()) line += " (" + date + ")";
  const std::string& genre = tags.Get(TTagField::Genre);
  if (!genre.empty()) line += ", " + genre;
  return line;
}

}  // namespace

TDiscNames GatherNames(const TDisc& disc, const TCliOptions& options) {
  TDiscNames names = ReadDiscNames(disc);
  TNameSources sources;
  sources.LookUp = !options.NoLookup;
  LookUpNames(names, sources);
  if (!options.Release.empty() && !names.Lookup.Releases.empty())
    ChooseRelease(names, options.Release);
  return names;
}

void PrintNames(const TDiscNames& names, std::ostream& out) {
  // Nothing asked and nothing found: nothing to say.
  if (names.Notes.empty()) return;
  if (!names.DiscId.empty()) out << "Disc ID: " << names.DiscId << "\n";
  for (const std::string& note : names.Notes) out << "  " << note << "\n";
  if (names.NeedsChoice()) {
    out << "Releases (choose one with --release N):\n";
    for (size_t k = 0; k < names.Lookup.Releases.size(); ++k)
      out << "  " << k + 1 << "  " << metadata::DescribeRelease(names.Lookup.Releases[k]) << "\n";
  }
}

bool PrepareNames(const TDisc& disc, const TCliOptions& options, const std::vector<int>& tracks,
                  TTagStage& stage, std::map<int, std::string>& files, std::ostream& out,
                  std::string& problem) {
  TDiscNames names = GatherNames(disc, options);
  PrintNames(names, out);
  if (!options.Release.empty() && !names.Lookup.Releases.empty() && names.Release < 0) {
    problem = "--release " + options.Release + " names none of the releases listed";
    return false;
  }
  if (names.NeedsChoice()) {
    problem =
        "several releases match the disc and its barcode names none: choose one with "
        "--release N";
    return false;
  }
  if (!names.HasNames() && !names.Notes.empty()) out << "  the files are called TrackNN\n";
  TNameSources sources;
  FetchCover(names, sources);
  if (names.Cover) stage.SetCoverFile(names.Cover, names.CoverExtension);
  std::vector<TTrackTags> tags;
  for (int track : tracks) tags.push_back(TrackTagsOf(names, disc, track, options.Album));
  std::vector<std::pair<int, const TTrackTags*>> numbered;
  for (size_t k = 0; k < tracks.size(); ++k) numbered.push_back({tracks[k], &tags[k]});
  const std::string tmpl = options.Template.empty() ? kDefaultTemplate : options.Template;
  const std::vector<TNamedFile> named = NameTracks(tmpl, *options.Format, names, numbered);
  if (!tags.empty() && names.HasNames()) out << "Album: " << AlbumLine(tags.front()) << "\n";
  for (size_t k = 0; k < tracks.size(); ++k) {
    if (!named[k].Problem.empty()) out << "  " << named[k].Problem << "\n";
    files[tracks[k]] = named[k].Name;
    stage.SetTrackTags(static_cast<uint64_t>(tracks[k]), std::move(tags[k]));
  }
  out.flush();
  return true;
}

}  // namespace cdx

#include "extractor/DiscNames.h"

#include <cstdio>

#include "cd/DiscIds.h"
#include "extractor/FileNames.h"
#include "platform/cdrip/cdrip.h"

namespace cdx {

namespace {

using F = TTagField;

// The last audio track's number: a data track among the audio ones keeps
// its number, so "4/3" never appears.
int LastAudioTrack(const TDisc& disc) {
  const std::vector<int> audio = disc.AudioTracks();
  return audio.empty() ? 0 : audio.back();
}

void TagFromDiscText(TTrackTags& tags, const cdrip::DiscText& text, int number) {
  const cdrip::TrackText* track = text.find(number);
  tags.Set(F::Album, text.title);
  tags.Set(F::AlbumArtist, text.performer);
  tags.Set(F::Artist, track && !track->performer.empty() ? track->performer : text.performer);
  if (track) tags.Set(F::Title, track->title);
  tags.Set(F::Genre, text.genre);
  tags.Set(F::Date, text.date);
}

void TagFromRelease(TTrackTags& tags, const metadata::TRelease& r, int number) {
  tags.Set(F::Album, r.Title);
  tags.Set(F::AlbumArtist, r.Artist);
  tags.Set(F::AlbumArtistSort, r.ArtistSort);
  tags.Set(F::MusicBrainzAlbumArtistId, r.ArtistIds);
  tags.Set(F::Date, r.Date);
  if (!r.Genre.empty()) tags.Set(F::Genre, r.Genre);
  if (!r.Barcode.empty()) tags.Set(F::Barcode, r.Barcode);
  std::vector<std::string> catalogs;
  for (const metadata::TLabel& label : r.Labels)
    if (!label.CatalogNumber.empty()) catalogs.push_back(label.CatalogNumber);
  tags.Set(F::CatalogNumber, catalogs);
  tags.Set(F::ReleaseType, r.ReleaseType);
  tags.Set(F::MusicBrainzAlbumId, r.Id);
  tags.Set(F::MusicBrainzReleaseGroupId, r.ReleaseGroupId);
  tags.Set(F::DiscNumber, std::to_string(r.DiscNumber));
  tags.Set(F::DiscTotal, std::to_string(r.DiscTotal));
  tags.Set(F::DiscSubtitle, r.DiscTitle);
  tags.Set(F::TrackTotal, std::to_string(r.Tracks.size()));
  const metadata::TTrack* track = r.Track(number);
  if (!track) return;
  tags.Set(F::Title, track->Title);
  tags.Set(F::Artist, track->Artist.empty() ? r.Artist : track->Artist);
  tags.Set(F::ArtistSort, track->ArtistSort);
  tags.Set(F::MusicBrainzArtistId, track->ArtistIds.empty() ? r.ArtistIds : track->ArtistIds);
  tags.Set(F::MusicBrainzReleaseTrackId, track->ReleaseTrackId);
  tags.Set(F::MusicBrainzRecordingId, track->RecordingId);
  if (!track->Isrcs.empty()) tags.Set(F::Isrc, track->Isrcs.front());
}

void TagFromUser(TTrackTags& tags, const TAlbumFields& user) {
  tags.SetByUser(F::Artist, user.Artist);
  tags.SetByUser(F::AlbumArtist, user.AlbumArtist.empty() ? user.Artist : user.AlbumArtist);
  tags.SetByUser(F::Album, user.Album);
  tags.SetByUser(F::Date, user.Year);
  tags.SetByUser(F::Genre, user.Genre);
  tags.SetByUser(F::Comment, user.Comment);
}

}  // namespace

const metadata::TRelease* TDiscNames::Chosen() const {
  if (Release < 0 || Release >= static_cast<int>(Lookup.Releases.size())) return nullptr;
  return &Lookup.Releases[static_cast<size_t>(Release)];
}

TDiscNames ReadDiscNames(const TDisc& disc) {
  TDiscNames names;
  const TDiscIds ids = ComputeDiscIds(disc.Toc());
  names.DiscId = ids.MusicBrainz;
  names.Toc = ids.MusicBrainzToc;
  names.Mcn = disc.Toc().mcn;
  cdrip::CR_SetActiveCDROM(disc.Drive());
  if (cdrip::CR_GetActiveCDROM() == disc.Drive() && cdrip::CR_ReadDiscText(names.Text))
    names.Notes.push_back("names from the disc's " + names.Text.source);
  return names;
}

void LookUpNames(TDiscNames& names, const TNameSources& sources) {
  if (!sources.LookUp || names.DiscId.empty()) return;
  const metadata::TDiscQuery query{names.DiscId, names.Toc, names.Mcn};
  names.Lookup = metadata::LookUpDisc(query, sources.MusicBrainz);
  for (const std::string& note : names.Lookup.Notes) names.Notes.push_back(note);
  if (names.Lookup.Releases.empty()) {
    names.Notes.push_back(names.Lookup.Reason);
    return;
  }
  names.Release = names.Lookup.Chosen;
  names.Notes.push_back("MusicBrainz knows " + std::to_string(names.Lookup.Releases.size()) +
                        (names.Lookup.Releases.size() == 1 ? " release" : " releases") +
                        " of this disc" + (names.Lookup.FromCache ? " (kept answer)" : ""));
}

bool ChooseRelease(TDiscNames& names, std::string_view choice) {
  const metadata::TRelease* picked = metadata::PickRelease(names.Lookup, choice);
  if (!picked) return false;
  names.Release = static_cast<int>(picked - names.Lookup.Releases.data());
  return true;
}

void FetchCover(TDiscNames& names, const TNameSources& sources) {
  const metadata::TRelease* release = names.Chosen();
  if (!sources.Cover || !release || !release->FrontCover) return;
  metadata::TCover cover = metadata::FetchFrontCover(*release, sources.CoverArt);
  if (cover.empty()) {
    names.Notes.push_back("no cover: " + cover.Reason);
    return;
  }
  std::string why;
  names.Cover = TCoverPicture::FromBytes(std::move(cover.Bytes), why);
  if (!names.Cover) {
    names.Notes.push_back(why);
    return;
  }
  names.CoverExtension = cover.Extension;
}

std::string TrackTitleOf(const TDiscNames& names, int number) {
  if (const metadata::TRelease* release = names.Chosen())
    if (const metadata::TTrack* track = release->Track(number)) return track->Title;
  const cdrip::TrackText* text = names.Text.find(number);
  return text ? text->title : "";
}

TTrackTags TrackTagsOf(const TDiscNames& names, const TDisc& disc, int number,
                       const TAlbumFields& user) {
  TTrackTags tags;
  TagFromUser(tags, user);
  tags.Set(F::TrackNumber, std::to_string(number));
  tags.Set(F::TrackTotal, std::to_string(LastAudioTrack(disc)));
  tags.Set(F::Barcode, names.Mcn.find_first_not_of('0') == std::string::npos ? "" : names.Mcn);
  tags.Set(F::MusicBrainzDiscId, names.DiscId);
  if (const metadata::TRelease* release = names.Chosen())
    TagFromRelease(tags, *release, number);
  else
    TagFromDiscText(tags, names.Text, number);
  // The disc's own ISRC is the one of this pressing.
  if (const cdrip::TocTrack* track = disc.Track(number); track && !track->isrc.empty())
    tags.Set(F::Isrc, track->isrc);
  tags.Cover = names.Cover;
  return tags;
}

std::vector<TNamedFile> NameTracks(const std::string& tmpl, const TFormat& format,
                                   const TDiscNames& names,
                                   const std::vector<std::pair<int, const TTrackTags*>>& tracks) {
  TJobNaming naming;
  naming.Template = tmpl;
  naming.Extension = format.Extension;
  // The disc-ID folder stands in for the template's folders; a template
  // without folders asks for the files straight in the output folder.
  if (tmpl.find('/') != std::string::npos) naming.DiscId = names.DiscId;
  if (const metadata::TRelease* release = names.Chosen())
    naming.Disambiguation = release->Disambiguation;
  std::vector<TNamedTrack> named;
  for (const auto& [number, tags] : tracks) named.push_back({number, tags});
  std::vector<TNamedFile> files;
  const std::vector<TJobFileName> planned = NameJobFiles(naming, named);
  for (size_t k = 0; k < planned.size(); ++k) {
    TNamedFile file;
    file.Name = planned[k].RelativePath;
    if (file.Name.ends_with(format.Extension))
      file.Name.resize(file.Name.size() - format.Extension.size());
    if (!planned[k].Problem.empty() || file.Name.empty()) {
      file.Problem = planned[k].Problem;
      char fallback[16];
      std::snprintf(fallback, sizeof fallback, "Track%02d", named[k].Number);
      file.Name = fallback;
    }
    files.push_back(std::move(file));
  }
  return files;
}

}  // namespace cdx

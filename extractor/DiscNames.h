// The names of a disc, gathered once before its tracks are ripped: the
// disc's own text (CD-Text or its CUE sheet), the MusicBrainz release the
// user or the disc's barcode chose, its front cover, and what the user
// typed for the album. From them come each track's tags and file name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "extractor/Disc.h"
#include "extractor/Formats.h"
#include "metadata/CoverArt.h"
#include "metadata/MusicBrainz.h"
#include "platform/cdrip/DiscText.h"
#include "writers/TrackTags.h"

namespace cdx {

// What the user typed for every track of the job; "" is no value. Artist
// names the album's artist as well, unless AlbumArtist is typed.
struct TAlbumFields {
  std::string Artist, Album, AlbumArtist, Year, Genre, Comment;
};

// Where names and covers are asked for.
struct TNameSources {
  bool LookUp = true;  // false: the disc's own text only
  bool Cover = true;
  metadata::TMusicBrainzSettings MusicBrainz{};
  metadata::TCoverArtSettings CoverArt{};
};

struct TDiscNames {
  cdrip::DiscText Text;      // the disc's own
  metadata::TLookup Lookup;  // MusicBrainz's; empty when not asked
  int Release = -1;          // the release used, in Lookup.Releases; -1 for none
  std::string DiscId;        // MusicBrainz disc id, "" when the TOC has none
  std::string Toc;           // for the lookup by track lengths
  std::string Mcn;
  std::shared_ptr<const TCoverPicture> Cover;
  std::string CoverExtension;  // for cover.jpg beside the files
  // One line each: where the names came from, what could not be had.
  std::vector<std::string> Notes;

  const metadata::TRelease* Chosen() const;
  // Several releases and none chosen: the user must pick one.
  bool NeedsChoice() const { return Release < 0 && !Lookup.Releases.empty(); }
  bool HasNames() const { return Chosen() || !Text.empty(); }
};

// The disc's own text and its ids. Reads through the CD library, so on the
// thread that rips.
TDiscNames ReadDiscNames(const TDisc& disc);
// Asks MusicBrainz for `names`' disc, and takes the release the barcode or
// the only answer names. Any thread; a few seconds at most, none offline.
void LookUpNames(TDiscNames& names, const TNameSources& sources);
// Uses the release `choice` names ("N" as listed, 1 up, or an MBID). False
// when it names none.
bool ChooseRelease(TDiscNames& names, std::string_view choice);
// The chosen release's front cover, when it has one. Any thread.
void FetchCover(TDiscNames& names, const TNameSources& sources);

// The title of track `number` as the release or the disc gives it; "".
std::string TrackTitleOf(const TDiscNames& names, int number);
// Track `number`'s tags: the release's, else the disc's text; the disc's
// own ISRC and MCN; what the user typed wins.
TTrackTags TrackTagsOf(const TDiscNames& names, const TDisc& disc, int number,
                       const TAlbumFields& user);

struct TNamedFile {
  std::string Name;     // under the output folder, without the extension
  std::string Problem;  // why the track has no name; Name is then TrackNN
};
// The file of each track (by `tags`, in the job's order) under `tmpl`
// (see FileNames.h), without `format`'s extension, as TJobTrack::Name
// takes it. A disc without names gets the disc-ID folder only when the
// template has folders.
std::vector<TNamedFile> NameTracks(const std::string& tmpl, const TFormat& format,
                                   const TDiscNames& names,
                                   const std::vector<std::pair<int, const TTrackTags*>>& tracks);

}  // namespace cdx

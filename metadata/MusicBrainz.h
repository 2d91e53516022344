// Names of a disc from MusicBrainz: the disc-id lookup (with the TOC, so
// that a disc MusicBrainz does not know by its id is found by its track
// lengths), read into plain records, and kept on disk so that the same
// disc is named again without the network.
//
// Every failure is an answer with no releases and a one-line reason; a
// call takes at most Timeout + MaxRetryWait after its turn to ask (see
// RequestInterval), and with no network at all it returns at once.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace metadata {

struct TMusicBrainzSettings {
  // The web service's base, "" for CDX_MUSICBRAINZ_URL or else
  // https://musicbrainz.org/ws/2.
  std::string BaseUrl;
  // Where answers are kept, "" for $XDG_CACHE_HOME/cd-extractor/musicbrainz
  // (default ~/.cache/...).
  std::string CacheDir;
  bool UseCache = true;
  // A kept answer younger than this is used without asking; an older one
  // only when the service cannot be asked.
  std::chrono::hours MaxCacheAge{24 * 30};
  std::chrono::milliseconds Timeout{std::chrono::seconds(4)};
  // Between two requests of the process; MusicBrainz asks for one a second
  // (a mirror of one's own may allow more).
  std::chrono::milliseconds RequestInterval{std::chrono::seconds(1)};
  // The longest wait in all that a busy service (503 or 429 with
  // Retry-After) may ask for; asked more, the lookup gives up at once.
  std::chrono::seconds MaxRetryWait{3};
};

// What the lookup knows of the disc (libdiscid's id and TOC string, the
// disc's MCN from its TOC).
struct TDiscQuery {
  std::string DiscId;  // "49HHV7Eb8UKF3aQiNmu1GR8vKTY-"
  std::string Toc;     // "1 6 95462 150 15363 32314 46592 63414 80489"
  std::string Mcn;     // 13 digits, "" or all zeros when the disc has none
};

struct TLabel {
  std::string Name, CatalogNumber;
};

struct TTrack {
  int Number = 0;  // its position on the medium: the disc's track number
  std::string Title;
  std::string Artist, ArtistSort;      // as credited; the album artist when none is
  std::vector<std::string> ArtistIds;  // MBIDs, in credit order
  std::string ReleaseTrackId;          // tracks[].id
  std::string RecordingId;             // tracks[].recording.id (MUSICBRAINZ_TRACKID)
  int LengthMs = 0;                    // 0 when unknown
  std::vector<std::string> Isrcs;
};

struct TRelease {
  std::string Id;  // release MBID
  std::string Title, Disambiguation;
  std::string Artist, ArtistSort;  // the album artist
  std::vector<std::string> ArtistIds;
  std::string Date;  // "YYYY", "YYYY-MM" or "YYYY-MM-DD"; "" when unknown
  std::string Country, Barcode, Status;
  std::vector<TLabel> Labels;
  std::string ReleaseGroupId, ReleaseType, OriginalDate;
  std::string Genre;        // the most voted of the release (else its group); "" when none
  bool FrontCover = false;  // the Cover Art Archive has a front picture
  // The medium that is this disc.
  int DiscNumber = 1, DiscTotal = 1;
  std::string DiscTitle, MediaFormat;
  std::vector<TTrack> Tracks;  // of that medium, by Number (1 up; no hidden track)
  std::string DiscId;          // the disc id looked up, for the tags

  // The track numbered `number`, or null.
  const TTrack* Track(int number) const;
  // Year of Date (its first four characters), "" when unknown.
  std::string Year() const;
};

struct TLookup {
  std::vector<TRelease> Releases;  // those that name every track of the disc
  // The one to use without asking: the only release, or the only one whose
  // barcode is the disc's MCN; -1 when the user must choose.
  int Chosen = -1;
  // Why there are no names, in one line ("MusicBrainz does not know this
  // disc"); "" when there are releases.
  std::string Reason;
  // Lines for the rip log: releases left out and why, where the answer
  // came from.
  std::vector<std::string> Notes;
  bool FromCache = false;
};

// Looks the disc up (the request waits for the process's turn).
TLookup LookUpDisc(const TDiscQuery& disc, const TMusicBrainzSettings& settings = {});

// Reads a web service answer for `disc` (what LookUpDisc does with the
// body of a 200); Reason tells what is wrong with a bad one.
TLookup ReadAnswer(std::string_view body, const TDiscQuery& disc);

// The release a user's choice names: "" for the chosen one, "N" for the
// N-th (1 up, as DescribeRelease lists them), or a release MBID. Null when
// it names none (or "" and none is chosen).
const TRelease* PickRelease(const TLookup& lookup, std::string_view choice);

// One line for a list to choose from: title (disambiguation) – artist,
// date, country, labels with catalog numbers, barcode, format, disc N/M.
std::string DescribeRelease(const TRelease& release);

}  // namespace metadata

#include "metadata/MusicBrainz.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "metadata/JsonFields.h"
#include "metadata/WebService.h"
#include "platform/cdrip/SafeFiles.h"
#include "platform/http/HttpGet.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace metadata {

namespace {

constexpr const char* kInclude = "artist-credits+labels+recordings+release-groups+isrcs+genres";
constexpr size_t kLargestAnswer = 4u << 20;
constexpr size_t kLargestCacheEntry = kLargestAnswer;

std::string NoNames(const std::string& why) {
  return "no names found: " + why;
}

bool IsDiscId(std::string_view id) {
  return !id.empty() && id.size() <= 64 && id[0] != '.' &&
         std::all_of(id.begin(), id.end(), [](char c) {
           return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
         });
}

bool IsTocString(std::string_view toc) {
  return !toc.empty() && toc.size() <= 1024 &&
         std::all_of(toc.begin(), toc.end(), [](char c) { return std::isdigit(c) || c == ' '; });
}

// Tracks of the disc by its TOC string ("first last lead-out offsets..."),
// 0 when the string says nothing usable.
int DiscTracks(const std::string& toc) {
  if (!IsTocString(toc)) return 0;
  int first = 0, last = 0;
  char* end = nullptr;
  first = static_cast<int>(std::strtol(toc.c_str(), &end, 10));
  last = static_cast<int>(std::strtol(end, nullptr, 10));
  return first >= 1 && last >= first && last <= 99 ? last - first + 1 : 0;
}

// ---- reading an answer ----

struct TCredit {
  std::string Name, SortName;
  std::vector<std::string> Ids;
};

TCredit ReadCredit(const json& credits) {
  TCredit credit;
  std::string name, sort;
  if (!credits.is_array()) return credit;
  for (const json& c : credits) {
    const json& artist = Member(c, "artist");
    std::string credited = Raw(c, "name");
    if (credited.empty()) credited = Raw(artist, "name");
    std::string sortName = Raw(artist, "sort-name");
    std::string join = Raw(c, "joinphrase");
    name += credited + join;
    sort += (sortName.empty() ? credited : sortName) + join;
    if (auto id = Mbid(artist, "id"); !id.empty()) credit.Ids.push_back(id);
  }
  credit.Name = text::CleanField(name);
  credit.SortName = text::CleanField(sort);
  return credit;
}

std::string TopGenre(const json& owner) {
  const json& genres = Member(owner, "genres");
  std::string best;
  long votes = LONG_MIN;
  if (!genres.is_array()) return best;
  for (const json& g : genres) {
    std::string name = Text(g, "name");
    long count = Int(g, "count", 0);
    if (!name.empty() && count > votes) {
      best = name;
      votes = count;
    }
  }
  return best;
}

bool HasDisc(const json& medium, const std::string& discId) {
  const json& discs = Member(medium, "discs");
  if (!discs.is_array() || discId.empty()) return false;
  return std::any_of(discs.begin(), discs.end(),
                     [&](const json& d) { return Raw(d, "id") == discId; });
}

// The medium of `release` that is the disc: the one listing its id, else
// (a lookup by track lengths) the first of its track count, else the first.
const json* FindMedium(const json& release, const std::string& discId, int discTracks) {
  const json& media = Member(release, "media");
  if (!media.is_array() || media.empty()) return nullptr;
  for (const json& m : media)
    if (HasDisc(m, discId)) return &m;
  for (const json& m : media)
    if (Int(m, "track-count", -1) == discTracks) return &m;
  return &media.front();
}

TTrack ReadTrack(const json& t) {
  TTrack track;
  const json& recording = Member(t, "recording");
  track.Number = static_cast<int>(Int(t, "position", 0));
  track.Title = Text(t, "title");
  if (track.Title.empty()) track.Title = Text(recording, "title");
  const json& credits = Member(t, "artist-credit").is_array() ? Member(t, "artist-credit")
                                                              : Member(recording, "artist-credit");
  TCredit credit = ReadCredit(credits);
  track.Artist = credit.Name;
  track.ArtistSort = credit.SortName;
  track.ArtistIds = credit.Ids;
  track.ReleaseTrackId = Mbid(t, "id");
  track.RecordingId = Mbid(recording, "id");
  track.LengthMs = static_cast<int>(Int(t, "length", Int(recording, "length", 0)));
  track.Isrcs = Isrcs(Member(recording, "isrcs"));
  return track;
}

void ReadMedium(const json& medium, TRelease& release) {
  release.DiscNumber = static_cast<int>(std::max(1L, Int(medium, "position", 1)));
  release.DiscTitle = Text(medium, "title");
  release.MediaFormat = Text(medium, "format");
  const json& tracks = Member(medium, "tracks");
  if (!tracks.is_array()) return;
  for (const json& t : tracks) {
    TTrack track = ReadTrack(t);
    // Position 0 is a hidden track before track 1, which is no track here.
    if (track.Number >= 1 && track.Number <= 99 && !release.Track(track.Number))
      release.Tracks.push_back(std::move(track));
  }
  std::sort(release.Tracks.begin(), release.Tracks.end(),
            [](const TTrack& a, const TTrack& b) { return a.Number < b.Number; });
}

void ReadReleaseFields(const json& r, TRelease& release) {
  release.Title = Text(r, "title");
  release.Disambiguation = Text(r, "disambiguation");
  TCredit credit = ReadCredit(Member(r, "artist-credit"));
  release.Artist = credit.Name;
  release.ArtistSort = credit.SortName;
  release.ArtistIds = credit.Ids;
  release.Date = Text(r, "date");
  release.Country = Text(r, "country");
  release.Barcode = Text(r, "barcode");
  release.Status = Text(r, "status");
  const json& labels = Member(r, "label-info");
  if (labels.is_array())
    for (const json& l : labels)
      release.Labels.push_back({Text(Member(l, "label"), "name"), Text(l, "catalog-number")});
  const json& group = Member(r, "release-group");
  release.ReleaseGroupId = Mbid(group, "id");
  release.ReleaseType = Text(group, "primary-type");
  release.OriginalDate = Text(group, "first-release-date");
  release.Genre = TopGenre(r);
  if (release.Genre.empty()) release.Genre = TopGenre(group);
  const json& cover = Member(r, "cover-art-archive");
  release.FrontCover = Member(cover, "front").is_boolean() && Member(cover, "front").get<bool>();
  const json& media = Member(r, "media");
  release.DiscTotal = media.is_array() ? static_cast<int>(std::max<size_t>(1, media.size())) : 1;
}

// The first track number from 1 to `discTracks` the release does not name;
// 0 when it names them all.
int FirstMissingTrack(const TRelease& release, int discTracks) {
  for (int n = 1; n <= discTracks; ++n)
    if (!release.Track(n)) return n;
  return 0;
}

// False, with `why`, for a release that cannot name the disc.
bool ReadRelease(const json& r, const TDiscQuery& disc, int discTracks, TRelease& release,
                 std::string& why) {
  release.Id = Mbid(r, "id");
  std::string title = Text(r, "title");
  std::string name = "the release \"" + (title.empty() ? release.Id : title) + "\"";
  if (release.Id.empty()) {
    why = "a release without an id was left out";
    return false;
  }
  const json* medium = FindMedium(r, disc.DiscId, discTracks);
  if (!medium) {
    why = name + " lists no medium; left out";
    return false;
  }
  ReadReleaseFields(r, release);
  ReadMedium(*medium, release);
  // A track credited to no one of its own is the album artist's.
  for (TTrack& t : release.Tracks)
    if (t.Artist.empty()) {
      t.Artist = release.Artist;
      t.ArtistSort = release.ArtistSort;
      t.ArtistIds = release.ArtistIds;
    }
  release.DiscId = IsDiscId(disc.DiscId) ? disc.DiscId : "";
  if (FirstMissingTrack(release, discTracks) != 0) {
    why = name + " has " + std::to_string(release.Tracks.size()) + " tracks, the disc " +
          std::to_string(discTracks) + "; left out";
    return false;
  }
  return true;
}

bool BarcodeIsMcn(const std::string& barcode, const std::string& mcn) {
  bool known = mcn.size() == 13 && mcn.find_first_not_of('0') != std::string::npos &&
               std::all_of(mcn.begin(), mcn.end(), [](char c) { return std::isdigit(c); });
  if (!known || barcode.empty()) return false;
  // A 12-digit UPC is the EAN without its leading 0.
  return barcode == mcn || (barcode.size() == 12 && mcn[0] == '0' && mcn.substr(1) == barcode);
}

void Choose(TLookup& lookup, const std::string& mcn) {
  if (lookup.Releases.size() == 1) {
    lookup.Chosen = 0;
    return;
  }
  int matches = 0;
  for (size_t i = 0; i < lookup.Releases.size(); ++i)
    if (BarcodeIsMcn(lookup.Releases[i].Barcode, mcn)) {
      lookup.Chosen = static_cast<int>(i);
      ++matches;
    }
  if (matches == 1)
    lookup.Notes.push_back("chose \"" + lookup.Releases[lookup.Chosen].Title +
                           "\": its barcode is the disc's catalogue number " + mcn);
  else
    lookup.Chosen = -1;
}

std::string NotData(std::string_view body) {
  size_t start = body.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return "MusicBrainz gave an empty answer";
  if (body[start] == '<') return "MusicBrainz answered with a web page, not with data";
  return "MusicBrainz's answer is not JSON";
}

// ---- the cache ----

std::string CacheFolder(const TMusicBrainzSettings& settings) {
  if (!settings.CacheDir.empty()) return settings.CacheDir;
  return UserCacheFolder("musicbrainz");
}

// One file per disc: by its id, else by a digest of its TOC.
std::string CachePath(const TMusicBrainzSettings& settings, const TDiscQuery& disc) {
  std::string name;
  if (IsDiscId(disc.DiscId) && disc.DiscId != "-") {
    name = disc.DiscId;
  } else {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a: stable between runs
    for (unsigned char c : disc.Toc) hash = (hash ^ c) * 1099511628211ull;
    char hex[24];
    std::snprintf(hex, sizeof hex, "toc-%016llx", static_cast<unsigned long long>(hash));
    name = hex;
  }
  return CacheFolder(settings) + "/" + name + ".json";
}

struct TCached {
  bool Found = false;
  std::string Body;
  std::chrono::hours Age{0};
};

TCached ReadCached(const std::string& path) {
  TCached cached;
  std::error_code ec;
  auto written = fs::last_write_time(path, ec);
  if (ec || !cdrip::ReadRegularFile(path, kLargestCacheEntry, cached.Body)) return cached;
  cached.Found = true;
  auto age = fs::file_time_type::clock::now() - written;
  cached.Age = std::chrono::duration_cast<std::chrono::hours>(age);
  return cached;
}

void WriteCached(const std::string& path, std::string_view body) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  cdrip::ReplaceFile(path, body);
}

// ---- asking ----

struct TFetched {
  bool Ok = false;
  std::string Body, Why;
};

std::string RequestUrl(const TDiscQuery& disc, const TMusicBrainzSettings& settings) {
  std::string base = settings.BaseUrl.empty()
                         ? http::ServiceBase("CDX_MUSICBRAINZ_URL", "https://musicbrainz.org/ws/2")
                         : settings.BaseUrl;
  while (!base.empty() && base.back() == '/') base.pop_back();
  // With the TOC even an id the service does not take gets the lookup by
  // track lengths.
  std::string id = IsDiscId(disc.DiscId) ? disc.DiscId : "-";
  std::string url = base + "/discid/" + id + "?inc=" + kInclude + "&fmt=json&cdstubs=no";
  if (IsTocString(disc.Toc)) {
    std::string toc = disc.Toc;
    std::replace(toc.begin(), toc.end(), ' ', '+');
    url += "&toc=" + toc;
  }
  return url;
}

std::string BusyReason(const http::TResponse& r) {
  std::string asked = r.RetryAfterSeconds >= 0
                          ? ", asking to wait " + std::to_string(r.RetryAfterSeconds) + " s"
                          : "";
  return "MusicBrainz is busy (HTTP " + std::to_string(r.Status) + asked + ")";
}

TFetched Fetch(const TDiscQuery& disc, const TMusicBrainzSettings& settings) {
  using namespace std::chrono;
  auto deadline = steady_clock::now() + settings.Timeout + settings.MaxRetryWait;
  http::TRequest request;
  request.Url = RequestUrl(disc, settings);
  request.UserAgent = UserAgent();
  request.Accept = "application/json";
  request.MaxBytes = kLargestAnswer;
  for (;;) {
    auto slot = MusicBrainzGate().Wait(settings.RequestInterval);
    // Never 0, which libcurl takes for no limit at all.
    auto left =
        std::max(milliseconds(100), duration_cast<milliseconds>(deadline - steady_clock::now()));
    request.Timeout = std::min(settings.Timeout, left);
    http::TResponse r = http::Get(request);
    if (r.Outcome == http::TOutcome::NoAnswer) {
      MusicBrainzGate().GiveBack(slot, settings.RequestInterval);
      return {false, "", "MusicBrainz could not be reached (" + r.Error + ")"};
    }
    if (r.Outcome != http::TOutcome::Answered)
      return {false, "", "MusicBrainz's answer was refused (" + r.Error + ")"};
    if (r.Status == 200) return {true, std::move(r.Body), ""};
    if (r.Status == 404) return {false, "", "MusicBrainz does not know this disc"};
    if (r.Status != 503 && r.Status != 429)
      return {false, "", "MusicBrainz answered HTTP " + std::to_string(r.Status)};
    // Asked to wait: within the bound, and with time left for the answer.
    seconds wait(std::max(1, r.RetryAfterSeconds));
    if (steady_clock::now() + wait + seconds(1) > deadline) return {false, "", BusyReason(r)};
    std::this_thread::sleep_for(wait);
  }
}

std::string DaysAgo(std::chrono::hours age) {
  auto days = age.count() / 24;
  return days == 0 ? "today" : days == 1 ? "a day ago" : std::to_string(days) + " days ago";
}

}  // namespace

const TTrack* TRelease::Track(int number) const {
  for (const TTrack& t : Tracks)
    if (t.Number == number) return &t;
  return nullptr;
}

std::string TRelease::Year() const {
  bool year = Date.size() >= 4 &&
              std::all_of(Date.begin(), Date.begin() + 4, [](char c) { return std::isdigit(c); });
  return year ? Date.substr(0, 4) : "";
}

TLookup ReadAnswer(std::string_view body, const TDiscQuery& disc) {
  TLookup lookup;
  json answer = json::parse(body, nullptr, false);
  if (answer.is_discarded()) {
    lookup.Reason = NoNames(NotData(body));
    return lookup;
  }
  const json& releases = Member(answer, "releases");
  if (!releases.is_array() || releases.empty()) {
    lookup.Reason = NoNames("MusicBrainz's answer holds no release");
    return lookup;
  }
  int discTracks = DiscTracks(disc.Toc);
  for (const json& r : releases) {
    TRelease release;
    std::string why;
    if (ReadRelease(r, disc, discTracks, release, why))
      lookup.Releases.push_back(std::move(release));
    else
      lookup.Notes.push_back(why);
  }
  if (lookup.Releases.empty())
    lookup.Reason = NoNames(lookup.Notes.size() == 1
                                ? lookup.Notes.front()
                                : "none of the " + std::to_string(lookup.Notes.size()) +
                                      " releases on MusicBrainz names every track of the disc");
  Choose(lookup, disc.Mcn);
  return lookup;
}

TLookup LookUpDisc(const TDiscQuery& disc, const TMusicBrainzSettings& settings) {
  if (!IsDiscId(disc.DiscId) && !IsTocString(disc.Toc)) {
    TLookup none;
    none.Reason = NoNames("the disc has no disc id to look up");
    return none;
  }
  std::string path = settings.UseCache ? CachePath(settings, disc) : "";
  TCached cached = path.empty() ? TCached{} : ReadCached(path);
  // A kept answer that no longer reads (cut short, overwritten) is none.
  TLookup kept = cached.Found ? ReadAnswer(cached.Body, disc) : TLookup{};
  bool usable = !kept.Releases.empty();
  auto fromCache = [&](const std::string& why) {
    kept.FromCache = true;
    kept.Notes.push_back(why + "MusicBrainz's answer of " + DaysAgo(cached.Age) + ", kept in " +
                         path);
    return kept;
  };
  if (usable && cached.Age < settings.MaxCacheAge) return fromCache("");
  TFetched fetched = Fetch(disc, settings);
  if (!fetched.Ok) {
    if (usable) return fromCache(fetched.Why + "; ");
    TLookup none;
    none.Reason = NoNames(fetched.Why);
    return none;
  }
  TLookup lookup = ReadAnswer(fetched.Body, disc);
  if (!lookup.Releases.empty() && !path.empty()) WriteCached(path, fetched.Body);
  return lookup;
}

const TRelease* PickRelease(const TLookup& lookup, std::string_view choice) {
  if (choice.empty())
    return lookup.Chosen >= 0 ? &lookup.Releases[static_cast<size_t>(lookup.Chosen)] : nullptr;
  bool number = choice.size() <= 3 && std::all_of(choice.begin(), choice.end(), [](char c) {
                  return std::isdigit(static_cast<unsigned char>(c));
                });
  if (number) {
    size_t n = std::stoul(std::string(choice));
    return n >= 1 && n <= lookup.Releases.size() ? &lookup.Releases[n - 1] : nullptr;
  }
  for (const TRelease& r : lookup.Releases)
    if (r.Id == choice) return &r;
  return nullptr;
}

std::string DescribeRelease(const TRelease& release) {
  std::string line = release.Title.empty() ? "(no title)" : release.Title;
  if (!release.Disambiguation.empty()) line += " (" + release.Disambiguation + ")";
  if (!release.Artist.empty()) line += " \u2013 " + release.Artist;
  std::vector<std::string> parts = {release.Date, release.Country};
  for (const TLabel& l : release.Labels) {
    std::string label =
        l.Name + (l.Name.empty() || l.CatalogNumber.empty() ? "" : " ") + l.CatalogNumber;
    parts.push_back(label);
  }
  parts.push_back(release.Barcode.empty() ? "" : "barcode " + release.Barcode);
  parts.push_back(release.MediaFormat);
  if (release.DiscTotal > 1)
    parts.push_back("disc " + std::to_string(release.DiscNumber) + " of " +
                    std::to_string(release.DiscTotal));
  for (const std::string& p : parts)
    if (!p.empty()) line += ", " + p;
  return line;
}

}  // namespace metadata

// MusicBrainz and the cover archive, played by a web service of the test's
// own that answers what the test writes: a release read into records, the
// release the disc's barcode names, every kind of answer that names
// nothing, a busy service, the answers kept on disk, covers taken or
// refused, the spacing of requests, and no network at all.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <thread>

#include "metadata/CoverArt.h"
#include "metadata/MusicBrainz.h"
#include "metadata/WebService.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TestSources.h"

namespace {

using namespace std::chrono;
using cdx::test::TAnswer;
using nlohmann::json;
namespace fs = std::filesystem;

const std::string kDiscId = "49HHV7Eb8UKF3aQiNmu1GR8vKTY-";
const std::string kRoute = "/ws/2/discid/" + kDiscId;
const std::string kRelease1 = "11111111-1111-4111-8111-111111111111";
const std::string kRelease2 = "22222222-2222-4222-8222-222222222222";
const std::string kArtist = "aaaaaaaa-aaaa-4aaa-8aaa-aaaaaaaaaaaa";

json Credit(const std::string& name, const std::string& join = "") {
  return {{"name", name},
          {"joinphrase", join},
          {"artist", {{"id", kArtist}, {"name", name}, {"sort-name", name + ", The"}}}};
}

// A release of one medium that is the disc, with `tracks` tracks.
json Release(const std::string& id, const std::string& title, const std::string& barcode,
             int tracks = 3) {
  json list = json::array();
  for (int n = 1; n <= tracks; ++n)
    list.push_back(
        {{"position", n}, {"title", "Track " + std::to_string(n)}, {"length", 200000 + n}});
  return {{"id", id},
          {"title", title},
          {"barcode", barcode},
          {"artist-credit", {Credit("Band")}},
          {"media",
           {{{"position", 1},
             {"track-count", tracks},
             {"format", "CD"},
             {"discs", {{{"id", kDiscId}}}},
             {"tracks", list}}}}};
}

std::string Answer(const std::vector<json>& releases) {
  return json{{"id", kDiscId}, {"releases", json(releases)}}.dump();
}

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() : server_(temp_.Path()) {
    settings_.BaseUrl = server_.Base() + "/ws/2";
    settings_.CacheDir = temp_.File("cache");
    settings_.RequestInterval = milliseconds(0);
    settings_.Timeout = seconds(2);
    settings_.MaxRetryWait = seconds(1);
    disc_ = {kDiscId, "1 3 60000 150 15150 30150", "0602517484573"};
  }
  metadata::TLookup LookUp(const std::string& body, int status = 200) {
    server_.Serve({{kRoute, {status, body, {}}}});
    return metadata::LookUpDisc(disc_, settings_);
  }

  cdx::test::TTempDir temp_;
  cdx::test::TLocalHttpServer server_;
  metadata::TMusicBrainzSettings settings_;
  metadata::TDiscQuery disc_;
};

TEST_F(ServiceTest, AReleaseIsReadIntoTheRecordsTheTagsNeed) {
  json r = Release(kRelease1, "Hom\u00e9genic \u65e5\u672c", "5016958026928");
  r["artist-credit"] = {Credit("Bj\u00f6rk", " feat. "), Credit("Sj\u00f3n")};
  r.update({{"date", "1997-09-22"},
            {"country", "GB"},
            {"status", "Official"},
            {"disambiguation", "deluxe"},
            {"cover-art-archive", {{"front", true}}},
            {"genres", {{{"name", "pop"}, {"count", 2}}, {{"name", "electronic"}, {"count", 5}}}},
            {"label-info",
             {{{"catalog-number", "TPLP71CD"}, {"label", {{"name", "One Little Indian"}}}}}},
            {"release-group",
             {{"id", kRelease2}, {"primary-type", "Album"}, {"first-release-date", "1997"}}}});
  // The disc is the second medium; its first track credits another artist
  // and a recording, a hidden track comes before it.
  json medium = r["media"][0];
  medium.update({{"position", 2}, {"title", "Live"}});
  medium["tracks"][0].update(
      {{"id", kRelease1},
       {"artist-credit", {Credit("Guest")}},
       {"recording", {{"id", kRelease2}, {"isrcs", {"GBAYE9700001", "bad"}}}}});
  medium["tracks"].push_back({{"position", 0}, {"title", "Hidden"}});
  r["media"] = {{{"position", 1}, {"discs", {{{"id", "other"}}}}, {"tracks", json::array()}},
                medium};
  metadata::TLookup lookup = LookUp(Answer({r}));
  ASSERT_EQ(lookup.Releases.size(), 1u) << lookup.Reason;
  EXPECT_EQ(lookup.Chosen, 0);
  EXPECT_FALSE(lookup.FromCache);
  const metadata::TRelease& got = lookup.Releases[0];
  ASSERT_EQ(got.Tracks.size(), 3u);
  const metadata::TTrack& first = got.Tracks[0];
  const std::pair<std::string, std::string> fields[] = {
      {got.Title, "Homégenic 日本"},
      {got.Artist, "Björk feat. Sjón"},
      {got.ArtistSort, "Björk, The feat. Sjón, The"},
      {std::to_string(got.ArtistIds.size()), "2"},
      {got.Year(), "1997"},
      {got.Genre, "electronic"},
      {got.FrontCover ? "front" : "none", "front"},
      {got.ReleaseGroupId + " " + got.OriginalDate, kRelease2 + " 1997"},
      {got.DiscId, kDiscId},
      {metadata::DescribeRelease(got),
       "Homégenic 日本 (deluxe) – Björk feat. Sjón, 1997-09-22, GB, One Little Indian TPLP71CD, "
       "barcode 5016958026928, CD, disc 2 of 2"},
      {std::to_string(first.Number) + " " + first.Title + " / " + first.Artist,
       "1 Track 1 / Guest"},
      {first.ReleaseTrackId + " " + first.RecordingId, kRelease1 + " " + kRelease2},
      {first.Isrcs.size() == 1 ? first.Isrcs[0] : "?", "GBAYE9700001"},
      {std::to_string(first.LengthMs), "200001"},
      {got.Tracks[2].Artist, got.Artist},  // no credit of its own: the album's
  };
  for (const auto& [value, expected] : fields) EXPECT_EQ(value, expected);
  // The service learns which disc, by id and by TOC, and who asks.
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].Path,
            kRoute +
                "?inc=artist-credits+labels+recordings+release-groups+isrcs+genres"
                "&fmt=json&cdstubs=no&toc=1+3+60000+150+15150+30150");
  EXPECT_EQ(server_.Requests()[0].UserAgent.rfind("cd-extractor/" CDX_VERSION, 0), 0u);
}

struct TChoiceCase {
  const char* name;
  std::string barcode1, barcode2, mcn;
  std::string choice;  // the user's, as --release takes it
  const char* used;    // the release's title; null for none
};

TEST_F(ServiceTest, TheReleaseUsedIsTheOneWithTheDiscsBarcodeOrTheUsersChoice) {
  const std::string mcn = "0602517484573", ean = "5016958026928";
  const TChoiceCase cases[] = {
      {"EAN of the second", ean, mcn, mcn, "", "Two"},
      {"UPC of the first", mcn.substr(1), ean, mcn, "", "One"},
      {"no barcode matches", ean, "", mcn, "", nullptr},
      {"both match", mcn, mcn.substr(1), mcn, "", nullptr},
      {"the disc has no MCN", "0000000000000", "", "0000000000000", "", nullptr},
      {"the user's number", ean, "", mcn, "2", "Two"},
      {"the user's release id", ean, "", mcn, kRelease1, "One"},
      {"a number past the list", ean, "", mcn, "3", nullptr},
      {"no number", ean, "", mcn, "x", nullptr},
  };
  settings_.UseCache = false;
  for (const TChoiceCase& c : cases) {
    SCOPED_TRACE(c.name);
    disc_.Mcn = c.mcn;
    metadata::TLookup lookup = LookUp(
        Answer({Release(kRelease1, "One", c.barcode1), Release(kRelease2, "Two", c.barcode2)}));
    ASSERT_EQ(lookup.Releases.size(), 2u);
    EXPECT_TRUE(lookup.Reason.empty());
    const metadata::TRelease* used = metadata::PickRelease(lookup, c.choice);
    EXPECT_EQ(used ? used->Title : "(none)", c.used ? c.used : "(none)");
  }
}

struct TNoNamesCase {
  const char* name;
  TAnswer answer;
  size_t releases;  // still usable
  const char* reason;
};

TEST_F(ServiceTest, AnswersThatNameNothingSayWhyInOneLine) {
  const TNoNamesCase cases[] = {
      {"fewer tracks than the disc",
       {200, Answer({Release(kRelease1, "Short", "", 2)}), {}},
       0,
       "the release \"Short\" has 2 tracks, the disc 3"},
      {"one short release of two",
       {200, Answer({Release(kRelease1, "Short", "", 2), Release(kRelease2, "Full", "")}), {}},
       1,
       ""},
      {"garbage", {200, "{\"releases\": [{\"id\": ", {}}, 0, "not JSON"},
      {"broken UTF-8", {200, "{\"releases\": [\"\xC3\"]}", {}}, 0, "not JSON"},
      {"empty", {200, "", {}}, 0, "empty answer"},
      {"a web page", {200, "<!DOCTYPE html><html><body>Oops</body></html>", {}}, 0, "web page"},
      {"fields of other types",
       {200, "{\"releases\": [{\"id\": 5, \"title\": [1], \"media\": \"x\"}, 7, null]}", {}},
       0,
       "none of the 3 releases"},
      {"no release list", {200, "{\"releases\": \"many\"}", {}}, 0, "holds no release"},
      {"unknown disc", {404, "{\"error\": \"Not Found\"}", {}}, 0, "does not know this disc"},
      {"server failure", {500, "", {}}, 0, "answered HTTP 500"},
      {"busy for a minute",
       {503, "", {{"Retry-After", "60"}}},
       0,
       "MusicBrainz is busy (HTTP 503, asking to wait 60 s)"},
  };
  for (const TNoNamesCase& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(settings_.CacheDir);
    server_.Serve({{kRoute, c.answer}});
    auto begun = steady_clock::now();
    metadata::TLookup lookup = metadata::LookUpDisc(disc_, settings_);
    EXPECT_LT(steady_clock::now() - begun, milliseconds(900));
    EXPECT_EQ(lookup.Releases.size(), c.releases);
    if (c.releases == 0) {
      EXPECT_EQ(lookup.Chosen, -1);
      EXPECT_EQ(lookup.Reason.rfind("no names found: ", 0), 0u) << lookup.Reason;
      EXPECT_NE(lookup.Reason.find(c.reason), std::string::npos) << lookup.Reason;
      EXPECT_EQ(lookup.Reason.find('\n'), std::string::npos);
      EXPECT_FALSE(fs::exists(settings_.CacheDir + "/" + kDiscId + ".json"));
    } else {
      EXPECT_EQ(lookup.Chosen, 0);
      ASSERT_EQ(lookup.Notes.size(), 1u);
      EXPECT_NE(lookup.Notes[0].find("\"Short\" has 2 tracks"), std::string::npos);
    }
  }
}

TEST_F(ServiceTest, ABusyServiceIsAskedAgainWhenItSoonWillAnswer) {
  // Asked to come back in a second: the lookup waits and gets the answer.
  server_.Serve({{kRoute, {503, "", {{"Retry-After", "1"}}}}});
  std::thread recovers([&] {
    while (server_.Requests().empty()) std::this_thread::sleep_for(milliseconds(20));
    server_.Serve({{kRoute, {200, Answer({Release(kRelease1, "Late", "")}), {}}}});
  });
  auto begun = steady_clock::now();
  metadata::TLookup lookup = metadata::LookUpDisc(disc_, settings_);
  recovers.join();
  EXPECT_GE(steady_clock::now() - begun, seconds(1));
  ASSERT_EQ(lookup.Releases.size(), 1u) << lookup.Reason;
  EXPECT_EQ(server_.Requests().size(), 2u);
}

TEST_F(ServiceTest, AnswersAreKeptOnDiskSoTheNextRipNeedsNoNetwork) {
  // Where the user's cache is, unless the caller says.
  ::setenv("XDG_CACHE_HOME", temp_.File("xdg").c_str(), 1);
  settings_.CacheDir.clear();
  const std::string kept = temp_.File("xdg") + "/cd-extractor/musicbrainz/" + kDiscId + ".json";
  auto age = [&](hours old) { fs::last_write_time(kept, fs::file_time_type::clock::now() - old); };
  auto corrupt = [&](hours) { std::ofstream(kept, std::ios::trunc) << "{\"releases\": [{"; };
  struct TCase {
    const char* name;
    std::function<void(hours)> before;  // done to the kept answer
    int status;                         // of the service now
    const char* title;                  // named after the lookup
    bool fromCache, asked;
  } cases[] = {
      {"first rip", nullptr, 200, "Fresh", false, true},
      {"second rip, service gone", nullptr, 500, "Fresh", true, false},
      {"corrupt entry", corrupt, 200, "Newer", false, true},
      {"old entry, service there", age, 200, "Newest", false, true},
      {"old entry, service gone", age, 500, "Newest", true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.before) c.before(hours(24 * 40));
    size_t requests = server_.Requests().size();
    metadata::TLookup lookup = LookUp(Answer({Release(kRelease1, c.title, "")}), c.status);
    ASSERT_EQ(lookup.Releases.size(), 1u) << lookup.Reason;
    EXPECT_EQ(lookup.Releases[0].Title, c.title);
    EXPECT_EQ(lookup.FromCache, c.fromCache);
    EXPECT_EQ(server_.Requests().size() > requests, c.asked);
    if (c.fromCache) {
      EXPECT_NE(lookup.Notes.back().find(kept), std::string::npos) << lookup.Notes.back();
    }
    // Written whole through a fresh file: nothing else lies beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(kept).parent_path()), {}), 1);
  }
  ::unsetenv("XDG_CACHE_HOME");
}

const std::string kId = "33333333-3333-4333-8333-333333333333";
const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0\0\x10JFIF", 10) + std::string(3000, 'j');
const std::string kPng = std::string("\x89PNG\r\n\x1A\n", 8) + std::string(500, 'p');

struct TCoverCase {
  const char* name;
  bool front;  // the release says the archive has a front cover
  TAnswer answer;
  std::string bytes;       // the picture got, "" for none
  const char* reasonPart;  // of the reason when there is none
  size_t requests;
};

TEST_F(ServiceTest, OnlyACoverOfABearableSizeIsTakenAndSaved) {
  metadata::TCoverArtSettings settings;
  settings.BaseUrl = server_.Base();
  settings.RequestInterval = std::chrono::milliseconds(0);
  settings.UseCache = false;
  const std::string route = "/release/" + kId + "/front-1200";
  const TCoverCase cases[] = {
      {"JPEG behind a redirect", true, {307, "", {{"Location", "/pictures/1.jpg"}}}, kJpeg, "", 2},
      {"PNG", true, {200, kPng, {}}, kPng, "", 1},
      {"a web page", true, {200, "<html>cover</html>", {}}, "", "not a JPEG or PNG picture", 1},
      {"50 MB", true, {200, "", {}, 0, 50u << 20}, "", "larger than 8 MB", 1},
      {"none in the archive", true, {404, "", {}}, "", "has no front cover", 1},
      {"the release says none", false, {200, kJpeg, {}}, "", "has no front cover", 0},
  };
  for (const TCoverCase& c : cases) {
    SCOPED_TRACE(c.name);
    server_.Serve({{route, c.answer}, {"/pictures/1.jpg", {200, kJpeg, {}}}});
    size_t before = server_.Requests().size();
    metadata::TRelease release;
    release.Id = kId;
    release.FrontCover = c.front;
    metadata::TCover cover = metadata::FetchFrontCover(release, settings);
    EXPECT_EQ(server_.Requests().size() - before, c.requests);
    EXPECT_EQ(cover.Bytes, c.bytes);
    std::string folder = temp_.File(c.name);
    fs::create_directories(folder);
    std::string why;
    std::string saved = metadata::SaveCover(cover, folder, &why);
    if (c.bytes.empty()) {
      EXPECT_NE(cover.Reason.find(c.reasonPart), std::string::npos) << cover.Reason;
      EXPECT_TRUE(saved.empty());
      EXPECT_TRUE(fs::is_empty(folder));
      continue;
    }
    EXPECT_EQ(saved, folder + (c.bytes == kPng ? "/cover.png" : "/cover.jpg"));
    EXPECT_EQ(cdx::test::ReadFile(saved), std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
  }
  // A folder that is not there: no file, and why.
  metadata::TCover cover{kJpeg, "image/jpeg", ".jpg", ""};
  std::string why;
  EXPECT_EQ(metadata::SaveCover(cover, temp_.File("missing"), &why), "");
  EXPECT_FALSE(why.empty());
}

// A cover once fetched is kept in the user's cache: the next rip of the
// release gets it with the archive gone; a kept file that is no picture,
// or an old one, is fetched again.
TEST_F(ServiceTest, ACoverIsKeptOnDiskSoTheNextRipNeedsNoNetwork) {
  ::setenv("XDG_CACHE_HOME", temp_.File("xdg").c_str(), 1);
  metadata::TCoverArtSettings settings;
  settings.BaseUrl = server_.Base();
  settings.RequestInterval = std::chrono::milliseconds(0);
  const std::string kept = temp_.File("xdg") + "/cd-extractor/covers/" + kId + "-1200";
  auto spoil = [&] { std::ofstream(kept, std::ios::trunc) << "<html>"; };
  auto age = [&] { fs::last_write_time(kept, fs::file_time_type::clock::now() - hours(24 * 40)); };
  const struct {
    const char* name;
    std::function<void()> before;  // done to the kept picture
    TAnswer answer;                // of the archive now
    std::string bytes;
    bool asked;
  } cases[] = {
      {"first rip", nullptr, {200, kJpeg, {}}, kJpeg, true},
      {"second rip, archive gone", nullptr, {500, "", {}}, kJpeg, false},
      {"kept file no picture", spoil, {200, kPng, {}}, kPng, true},
      {"kept file old", age, {200, kJpeg, {}}, kJpeg, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.before) c.before();
    server_.Serve({{"/release/" + kId + "/front-1200", c.answer}});
    const size_t requests = server_.Requests().size();
    metadata::TRelease release;
    release.Id = kId;
    release.FrontCover = true;
    EXPECT_EQ(metadata::FetchFrontCover(release, settings).Bytes, c.bytes);
    EXPECT_EQ(server_.Requests().size() > requests, c.asked);
    EXPECT_EQ(cdx::test::ReadFile(kept), std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()));
  }
  ::unsetenv("XDG_CACHE_HOME");
}

TEST(RequestGate, RequestsOfTheProcessAreSpacedByTheInterval) {
  // Asked at these moments (ms), one second apart they go at these.
  const std::pair<int, int> asks[] = {{0, 0}, {200, 1000}, {400, 2000}, {3500, 3500}, {3600, 4500}};
  metadata::TRequestGate gate;
  auto start = steady_clock::now();
  for (const auto& [asked, goes] : asks)
    EXPECT_EQ(gate.Reserve(start + milliseconds(asked), seconds(1)) - start, milliseconds(goes))
        << asked;
  // Threads asking at once get moments of their own.
  metadata::TRequestGate shared;
  std::vector<steady_clock::time_point> slots(8);
  std::vector<std::thread> threads;
  for (auto& slot : slots) threads.emplace_back([&] { slot = shared.Reserve(start, seconds(1)); });
  for (auto& t : threads) t.join();
  std::sort(slots.begin(), slots.end());
  for (size_t i = 1; i < slots.size(); ++i) EXPECT_EQ(slots[i] - slots[i - 1], seconds(1));
}

// Both lookups of a rip at `base` ("" for the services' own addresses):
// "" when each said at once that it could not reach its service.
std::string LookUpOffline(const std::string& base, const std::string& cache) {
  metadata::TMusicBrainzSettings names;
  names.BaseUrl = base.empty() ? "" : base + "/ws/2";
  names.CacheDir = cache;
  metadata::TCoverArtSettings covers;
  covers.BaseUrl = base;
  covers.CacheDir = cache + "/covers";
  metadata::TRelease release;
  release.Id = kRelease1;
  release.FrontCover = true;
  auto begun = steady_clock::now();
  std::string why = metadata::LookUpDisc({kDiscId, "1 3 60000 150 15150 30150", ""}, names).Reason +
                    " | " + metadata::FetchFrontCover(release, covers).Reason;
  bool quick = steady_clock::now() - begun < milliseconds(900);
  bool said =
      why.rfind("no names found: MusicBrainz could not be reached", 0) == 0 &&
      why.find("| no cover: the Cover Art Archive could not be reached") != std::string::npos;
  return quick && said ? "" : why;
}

TEST(Offline, WithNoNetworkEveryLookupSaysWhyAtOnce) {
  cdx::test::TTempDir temp;
  // A port nothing listens on any more.
  auto server = std::make_unique<cdx::test::TLocalHttpServer>(temp.Path());
  std::string closed = server->Base();
  server.reset();
  EXPECT_EQ(LookUpOffline(closed, temp.File("cache")), "");
  // In a network of its own with no interface up, at the services' real
  // addresses, where the kernel lets a user make one.
  pid_t child = ::fork();
  if (child == 0) {
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) ::_exit(77);
    std::string why = LookUpOffline("", temp.File("cache"));
    std::cerr << why << "\n";
    ::_exit(why.empty() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77)
    std::cout << "no network namespace here; only the closed port was tried\n";
  else
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace

// The database client: answers read defensively, tracks judged by the
// notes' rules, and lookups against a web service of the test's own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "tests/support/LocalHttpServer.h"
#include "verify/AccurateRip.h"

namespace cdx::verify {
namespace {

using namespace std::chrono;

std::string Le32(uint32_t v) {
  return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// The ids of the notes' decoded answer (2 tracks).
TDiscIds Ids() {
  TDiscIds ids;
  ids.AudioTracks = 2;
  ids.ArId1 = 0x0000f21c;
  ids.ArId2 = 0x00027ef8;
  ids.Cddb = 0x05021002;
  return ids;
}

// One chunk for `ids`: {confidence, crc, frame450} a slot.
std::string Chunk(const std::vector<TArEntry>& slots, TDiscIds ids = Ids()) {
  std::string bytes(1, char(slots.size()));
  bytes += Le32(ids.ArId1) + Le32(ids.ArId2) + Le32(ids.Cddb);
  for (const TArEntry& e : slots) bytes += char(e.Confidence) + Le32(e.Crc) + Le32(e.Frame450);
  return bytes;
}

TTrackChecksumResult Sums(uint32_t v1, uint32_t v2, uint32_t frame450 = 0, uint64_t seen = 1000) {
  TTrackChecksumResult r;
  r.ArV1 = v1, r.ArV2 = v2, r.Frame450 = frame450, r.HasFrame450 = true;
  r.SamplesSeen = seen, r.SamplesExpected = 1000;
  return r;
}

TEST(AccurateRip, AnswersAreWholeChunksOfThisDiscOrOfNoUse) {
  // The notes' decoded file, 62 bytes.
  std::string notes = Chunk({{12, 0x284fc705, 0x3b97f8a4}, {20, 0x9cc1f32e, 0xdc5500de}}) +
                      Chunk({{7, 0xdc77f9ab, 0}, {7, 0xdd97d2c3, 0}});
  TDiscIds other = Ids();
  other.ArId2 += 1;
  struct Case {
    const char* name;
    std::string body;
    TArLookup lookup;
  } cases[] = {
      {"the notes' file", notes, TArLookup::Found},
      {"empty", "", TArLookup::NoAnswer},
      {"a chunk head alone (13 bytes)", notes.substr(0, 13), TArLookup::NoAnswer},
      {"cut inside an entry", notes.substr(0, 61), TArLookup::NoAnswer},
      {"a byte after the chunks", notes + "x", TArLookup::NoAnswer},
      {"another disc's ids", notes + Chunk({{5, 1, 0}, {5, 2, 0}}, other), TArLookup::NoAnswer},
      {"another track count", Chunk({{5, 1, 0}, {5, 2, 0}, {5, 3, 0}}), TArLookup::NoAnswer},
      {"a web page", "\n<!DOCTYPE html><html>gone</html>", TArLookup::NotInDatabase},
  };
  for (const Case& c : cases) {
    TArDisc disc = ParseArAnswer(c.body, Ids());
    EXPECT_EQ(disc.Lookup, c.lookup) << c.name << ": " << disc.Detail;
    EXPECT_EQ(disc.Chunks.size(), c.lookup == TArLookup::Found ? 2u : 0u) << c.name;
  }
  TArDisc disc = ParseArAnswer(notes, Ids());
  ASSERT_EQ(disc.Chunks.size(), 2u);
  const TArEntry& last = disc.Chunks[1].Tracks[1];
  EXPECT_EQ(disc.Chunks[0].Tracks[1].Frame450, 0xdc5500deu);
  EXPECT_EQ(last.Confidence + 0, 7);
  EXPECT_EQ(last.Crc, 0xdd97d2c3u);
}

TEST(AccurateRip, TracksAreJudgedBySlotWithTheSummedConfidence) {
  // A v1 chunk and a v2 chunk of one pressing, a second pressing; slot 2
  // is empty.
  TArDisc found = ParseArAnswer(Chunk({{12, 0x11111111, 0x450}, {0, 0, 0}}) +
                                    Chunk({{7, 0x22222222, 0}, {0, 0, 0}}) +
                                    Chunk({{3, 0x11111111, 0}, {0, 0, 0}}),
                                Ids());
  TArDisc zeros = ParseArAnswer(Chunk({{4, 0, 0}, {4, 0, 0}}), Ids());
  TArDisc none{TArLookup::NoAnswer, {}, "no answer", "HTTP 500"};
  TArDisc absent{TArLookup::NotInDatabase, {}, "disc not in database", "HTTP 404"};
  struct Case {
    const char* name;
    const TArDisc& disc;
    int slot;
    TTrackChecksumResult sums;
    const char* text;
    const char* matched;  // "v1", "v2", "v1 v2" or ""
    int total;
    bool frame450;
  } cases[] = {
      {"v1 of two pressings", found, 0, Sums(0x11111111, 9), "Accurate (confidence 15)", "v1", 22,
       false},
      {"v2", found, 0, Sums(9, 0x22222222), "Accurate (confidence 7)", "v2", 22, false},
      {"v1 and v2", found, 0, Sums(0x11111111, 0x22222222), "Accurate (confidence 22)", "v1 v2", 22,
       false},
      {"no sum matches", found, 0, Sums(5, 6), "Mismatch", "", 22, false},
      {"frame-450 matches: the offset", found, 0, Sums(5, 6, 0x450), "Mismatch", "", 22, true},
      {"empty slot", found, 1, Sums(5, 6), "Not in database", "", 0, false},
      {"no slot (mixed mode's last track)", found, 2, Sums(5, 6), "Not in database", "", 0, false},
      {"a zero sum never matches", zeros, 0, Sums(0, 0), "Mismatch", "", 4, false},
      {"track not read whole", found, 0, Sums(0x11111111, 0, 0, 10), "Not checkable", "", 0, false},
      {"no answer", none, 0, Sums(0x11111111, 0), "Not verified (no answer)", "", 0, false},
      {"not asked", TArDisc{}, 0, Sums(0x11111111, 0), "Not verified", "", 0, false},
      {"disc not in database", absent, 0, Sums(0x11111111, 0), "Not in database", "", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TArTrackResult r = JudgeTrack(c.disc, c.slot, c.sums);
    EXPECT_EQ(ResultText(r), c.text);
    std::string matched = std::string(r.MatchedV1 ? "v1" : "") +
                          (r.MatchedV1 && r.MatchedV2 ? " " : "") + (r.MatchedV2 ? "v2" : "");
    EXPECT_EQ(matched, c.matched);
    EXPECT_EQ(r.Total, c.total);
    EXPECT_EQ(r.Frame450Matches, c.frame450);
  }
  TArTrackResult yes = JudgeTrack(found, 0, Sums(0x11111111, 0)),
                 no = JudgeTrack(found, 0, Sums(5, 6));
  EXPECT_EQ(DiscVerdict(found, {yes, yes}), "All tracks accurately ripped");
  EXPECT_EQ(DiscVerdict(found, {yes, no, yes}), "2 of 3 tracks accurately ripped");
  EXPECT_EQ(DiscVerdict(found, {no}), "No track accurately ripped (maybe another pressing)");
  EXPECT_EQ(DiscVerdict(absent, {no}), "Disc not in database");
}

TEST(AccurateRip, LookupsGiveEachKindOfAnswerWithinTheTimeout) {
  auto folder = std::filesystem::temp_directory_path() / ("cdx-ar-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  auto server = std::make_unique<test::TLocalHttpServer>(folder.string());
  const std::string path = "/ar/c/1/2/dBAR-002-0000f21c-00027ef8-05021002.bin";
  setenv("CDX_ACCURATERIP_URL", (server->Base() + "/ar/").c_str(), 1);
  TArSettings settings;
  settings.Base = "http://127.0.0.1:1/elsewhere";  // the environment goes first
  settings.Timeout = milliseconds(1500);
  settings.MinInterval = milliseconds(0);
  std::string sums = Chunk({{9, 0xabc, 0}, {9, 0xdef, 0}});
  struct Case {
    const char* name;
    test::TAnswer answer;
    TArLookup lookup;
    const char* reason;
  } cases[] = {
      {"sums", {200, sums, {}}, TArLookup::Found, ""},
      {"not found", {404, "no", {}}, TArLookup::NotInDatabase, "disc not in database"},
      {"server error", {500, "", {}}, TArLookup::NoAnswer, "no answer"},
      {"redirect loop", {302, "", {{"Location", path}}}, TArLookup::NoAnswer, "no answer"},
      {"10 MB", {200, "", {}, 0, 10u << 20}, TArLookup::NoAnswer, "no answer"},
      {"too slow", {200, sums, {}, 4000}, TArLookup::NoAnswer, "no answer"},
      {"a web page",
       {200, "<p>", {{"Content-Type", "text/html"}}},
       TArLookup::NotInDatabase,
       "disc not in database"},
      {"13 bytes", {200, sums.substr(0, 13), {}}, TArLookup::NoAnswer, "no usable answer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server->Serve({{path, c.answer}});
    auto begun = steady_clock::now();
    TArDisc disc = LookUpDisc(Ids(), settings);
    EXPECT_LT(steady_clock::now() - begun, milliseconds(2500));
    EXPECT_EQ(disc.Lookup, c.lookup) << disc.Detail;
    EXPECT_EQ(disc.Reason, c.reason);
  }
  ASSERT_FALSE(server->Requests().empty());
  EXPECT_EQ(server->Requests().front().Path, path);
  EXPECT_EQ(server->Requests().front().UserAgent, "cd-extractor/" CDX_VERSION);
  // Without the environment, the setting, then the default; nobody
  // listening is no answer at once.
  unsetenv("CDX_ACCURATERIP_URL");
  EXPECT_EQ(ArUrl(Ids(), settings), "http://127.0.0.1:1/elsewhere" + path.substr(3));
  EXPECT_EQ(ArUrl(Ids()), std::string(kArDefaultBase) + path.substr(3));
  auto begun = steady_clock::now();
  EXPECT_EQ(LookUpDisc(Ids(), settings).Lookup, TArLookup::NoAnswer);
  EXPECT_LT(steady_clock::now() - begun, milliseconds(1500));
  server.reset();
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace cdx::verify

// The database client: answers read defensively, tracks judged by the
// notes' rules, and lookups against a web service of the test's own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "tests/support/LocalHttpServer.h"
#include "verify/AccurateRip.h"

namespace cdx::verify {
namespace {

using namespace std::chrono;

std::string Le32(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

// One chunk of an answer for `ids`, one {confidence, crc, frame450} a slot.
std::string Chunk(const TDiscIds& ids, const std::vector<TArEntry>& slots) {
  std::string bytes(1, static_cast<char>(slots.size()));
  bytes += Le32(ids.ArId1) + Le32(ids.ArId2) + Le32(ids.Cddb);
  for (const TArEntry& e : slots)
    bytes += std::string(1, static_cast<char>(e.Confidence)) + Le32(e.Crc) + Le32(e.Frame450);
  return bytes;
}

TDiscIds TwoTracks() {
  TDiscIds ids;
  ids.AudioTracks = 2;
  ids.ArId1 = 0x0000f21c;
  ids.ArId2 = 0x00027ef8;
  ids.Cddb = 0x05021002;
  return ids;
}

TTrackChecksumResult Sums(uint32_t v1, uint32_t v2, uint32_t frame450 = 0) {
  TTrackChecksumResult r;
  r.ArV1 = v1;
  r.ArV2 = v2;
  r.Frame450 = frame450;
  r.HasFrame450 = true;
  r.SamplesSeen = r.SamplesExpected = 1000;
  return r;
}

TEST(AccurateRip, TheNotesDecodedAnswerReadsAsTwoChunks) {
  const unsigned char raw[] = {0x02, 0x1c, 0xf2, 0x00, 0x00, 0xf8, 0x7e, 0x02, 0x00, 0x02, 0x10,
                               0x02, 0x05, 0x0c, 0x05, 0xc7, 0x4f, 0x28, 0xa4, 0xf8, 0x97, 0x3b,
                               0x14, 0x2e, 0xf3, 0xc1, 0x9c, 0xde, 0x00, 0x55, 0xdc, 0x02, 0x1c,
                               0xf2, 0x00, 0x00, 0xf8, 0x7e, 0x02, 0x00, 0x02, 0x10, 0x02, 0x05,
                               0x07, 0xab, 0xf9, 0x77, 0xdc, 0x00, 0x00, 0x00, 0x00, 0x07, 0xc3,
                               0xd2, 0x97, 0xdd, 0x00, 0x00, 0x00, 0x00};
  TArDisc disc =
      ParseArAnswer(std::string(reinterpret_cast<const char*>(raw), sizeof raw), TwoTracks());
  ASSERT_EQ(disc.Lookup, TArLookup::Found) << disc.Detail;
  ASSERT_EQ(disc.Chunks.size(), 2u);
  const TArEntry expected[2][2] = {{{12, 0x284fc705, 0x3b97f8a4}, {20, 0x9cc1f32e, 0xdc5500de}},
                                   {{7, 0xdc77f9ab, 0}, {7, 0xdd97d2c3, 0}}};
  for (int c = 0; c < 2; ++c) {
    for (int t = 0; t < 2; ++t) {
      EXPECT_EQ(disc.Chunks[c].Tracks[t].Confidence, expected[c][t].Confidence);
      EXPECT_EQ(disc.Chunks[c].Tracks[t].Crc, expected[c][t].Crc);
      EXPECT_EQ(disc.Chunks[c].Tracks[t].Frame450, expected[c][t].Frame450);
    }
  }
}

TEST(AccurateRip, AnswersThatAreNotWholeChunksOfThisDiscAreOfNoUse) {
  TDiscIds ids = TwoTracks();
  TDiscIds other = ids;
  other.ArId2 += 1;
  std::string good = Chunk(ids, {{5, 1, 0}, {5, 2, 0}});
  struct Case {
    const char* name;
    std::string body;
    TArLookup lookup;
  } cases[] = {
      {"empty", "", TArLookup::NoAnswer},
      {"a chunk head alone (13 bytes)", good.substr(0, 13), TArLookup::NoAnswer},
      {"cut inside an entry", good.substr(0, good.size() - 1), TArLookup::NoAnswer},
      {"a byte after the chunks", good + "x", TArLookup::NoAnswer},
      {"another disc's ids", good + Chunk(other, {{5, 1, 0}, {5, 2, 0}}), TArLookup::NoAnswer},
      {"another track count", Chunk(ids, {{5, 1, 0}, {5, 2, 0}, {5, 3, 0}}), TArLookup::NoAnswer},
      {"a web page", "\n<!DOCTYPE html><html>gone</html>", TArLookup::NotInDatabase},
      {"two good chunks", good + good, TArLookup::Found},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TArDisc disc = ParseArAnswer(c.body, ids);
    EXPECT_EQ(disc.Lookup, c.lookup) << disc.Detail;
    EXPECT_EQ(disc.Chunks.empty(), c.lookup != TArLookup::Found);
  }
}

TEST(AccurateRip, TracksAreJudgedBySlotWithTheSummedConfidence) {
  TDiscIds ids = TwoTracks();
  // A v1 chunk and a v2 chunk of one pressing, and a second pressing.
  TArDisc found = ParseArAnswer(Chunk(ids, {{12, 0x11111111, 0x450}, {0, 0, 0}}) +
                                    Chunk(ids, {{7, 0x22222222, 0}, {0, 0, 0}}) +
                                    Chunk(ids, {{3, 0x11111111, 0}, {0, 0, 0}}),
                                ids);
  TArDisc zeroSlot = ParseArAnswer(Chunk(ids, {{4, 0, 0}, {4, 0, 0}}), ids);
  TArDisc none{TArLookup::NoAnswer, {}, "no answer", "HTTP 500"};
  TArDisc absent{TArLookup::NotInDatabase, {}, "disc not in database", "HTTP 404"};
  TTrackChecksumResult incomplete = Sums(0x11111111, 0x22222222);
  incomplete.SamplesSeen = 10;
  struct Case {
    const char* name;
    const TArDisc& disc;
    int slot;
    TTrackChecksumResult sums;
    TArStatus status;
    bool v1, v2;
    int confidence, total;
    bool frame450;
    const char* text;
  } cases[] = {
      {"v1 of two pressings", found, 0, Sums(0x11111111, 0x99), TArStatus::Accurate, true, false,
       15, 22, false, "Accurate (confidence 15)"},
      {"v2", found, 0, Sums(0x98, 0x22222222), TArStatus::Accurate, false, true, 7, 22, false,
       "Accurate (confidence 7)"},
      {"v1 and v2", found, 0, Sums(0x11111111, 0x22222222), TArStatus::Accurate, true, true, 22, 22,
       false, "Accurate (confidence 22)"},
      {"no sum matches", found, 0, Sums(0x5, 0x6), TArStatus::Mismatch, false, false, 0, 22, false,
       "Mismatch"},
      {"frame-450 matches: an offset fault", found, 0, Sums(0x5, 0x6, 0x450), TArStatus::Mismatch,
       false, false, 0, 22, true, "Mismatch"},
      {"empty slot", found, 1, Sums(0x5, 0x6), TArStatus::NotInDatabase, false, false, 0, 0, false,
       "Not in database"},
      {"no slot (mixed mode's last track)", found, 2, Sums(0x5, 0x6), TArStatus::NotInDatabase,
       false, false, 0, 0, false, "Not in database"},
      {"zero sums never match a zero entry", zeroSlot, 0, Sums(0, 0), TArStatus::Mismatch, false,
       false, 0, 4, false, "Mismatch"},
      {"track not read whole", found, 0, incomplete, TArStatus::NotCheckable, false, false, 0, 0,
       false, "Not checkable"},
      {"no answer", none, 0, Sums(0x11111111, 0x22222222), TArStatus::NotVerified, false, false, 0,
       0, false, "Not verified (no answer)"},
      {"not asked", TArDisc{}, 0, Sums(0x11111111, 0x22222222), TArStatus::NotVerified, false,
       false, 0, 0, false, "Not verified"},
      {"disc not in database", absent, 0, Sums(0x11111111, 0x22222222), TArStatus::NotInDatabase,
       false, false, 0, 0, false, "Not in database"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TArTrackResult r = JudgeTrack(c.disc, c.slot, c.sums);
    EXPECT_EQ(r.Status, c.status);
    EXPECT_EQ(r.MatchedV1, c.v1);
    EXPECT_EQ(r.MatchedV2, c.v2);
    EXPECT_EQ(r.Confidence, c.confidence);
    EXPECT_EQ(r.Total, c.total);
    EXPECT_EQ(r.Frame450Matches, c.frame450);
    EXPECT_EQ(ResultText(r), c.text);
  }
}

TEST(AccurateRip, DiscVerdictKeepsAbsentDiscsApartFromMismatches) {
  TArDisc found{TArLookup::Found, {}, "", ""};
  TArTrackResult yes, no;
  yes.Status = TArStatus::Accurate;
  no.Status = TArStatus::Mismatch;
  struct Case {
    TArDisc disc;
    std::vector<TArTrackResult> tracks;
    const char* verdict;
  } cases[] = {
      {found, {yes, yes}, "All tracks accurately ripped"},
      {found, {yes, no, yes}, "2 of 3 tracks accurately ripped"},
      {found, {no, no}, "No track accurately ripped (maybe another pressing)"},
      {{TArLookup::NotInDatabase, {}, "disc not in database", ""}, {no}, "Disc not in database"},
      {{TArLookup::NoAnswer, {}, "no usable answer", ""}, {no}, "Not verified (no usable answer)"},
  };
  for (const Case& c : cases) EXPECT_EQ(DiscVerdict(c.disc, c.tracks), c.verdict);
}

class AccurateRipLookup : public ::testing::Test {
 protected:
  AccurateRipLookup() {
    folder_ = std::filesystem::temp_directory_path() /
              ("cdx-ar-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    server_ = std::make_unique<test::TLocalHttpServer>(folder_.string());
    setenv("CDX_ACCURATERIP_URL", (server_->Base() + "/ar/").c_str(), 1);
  }
  ~AccurateRipLookup() override {
    unsetenv("CDX_ACCURATERIP_URL");
    server_.reset();
    std::filesystem::remove_all(folder_);
  }
  TArSettings Quick() {
    TArSettings s;
    s.Timeout = milliseconds(1500);
    s.MinInterval = milliseconds(0);
    return s;
  }

  std::filesystem::path folder_;
  std::unique_ptr<test::TLocalHttpServer> server_;
};

TEST_F(AccurateRipLookup, EachKindOfAnswerGivesItsLookupWithinTheTimeout) {
  TDiscIds ids = TwoTracks();
  const std::string path = "/ar/c/1/2/dBAR-002-0000f21c-00027ef8-05021002.bin";
  std::string sums = Chunk(ids, {{9, 0xabc, 0}, {9, 0xdef, 0}});
  test::TAnswer loop{302, "", {{"Location", "/loop"}}};
  struct Case {
    const char* name;
    test::TAnswer answer;
    TArLookup lookup;
    const char* reason;
  } cases[] = {
      {"sums", {200, sums, {{"Content-Type", "application/octet-stream"}}}, TArLookup::Found, ""},
      {"not found", {404, "no", {}}, TArLookup::NotInDatabase, "disc not in database"},
      {"server error", {500, "", {}}, TArLookup::NoAnswer, "no answer"},
      {"redirect loop", {302, "", {{"Location", path}}}, TArLookup::NoAnswer, "no answer"},
      {"10 MB", {200, "", {}, 0, 10u << 20}, TArLookup::NoAnswer, "no answer"},
      {"too slow", {200, sums, {}, 4000}, TArLookup::NoAnswer, "no answer"},
      {"a web page",
       {200, "<html></html>", {{"Content-Type", "text/html"}}},
       TArLookup::NotInDatabase,
       "disc not in database"},
      {"13 bytes", {200, sums.substr(0, 13), {}}, TArLookup::NoAnswer, "no usable answer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_->Serve({{path, c.answer}});
    auto begun = steady_clock::now();
    TArDisc disc = LookUpDisc(ids, Quick());
    EXPECT_LT(steady_clock::now() - begun, milliseconds(2500));
    EXPECT_EQ(disc.Lookup, c.lookup) << disc.Detail;
    EXPECT_EQ(disc.Reason, c.reason);
  }
  // The request names the program.
  auto requests = server_->Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.front().Path, path);
  EXPECT_EQ(requests.front().UserAgent.rfind("cd-extractor/", 0), 0u);
}

TEST_F(AccurateRipLookup, TheBaseComesFromTheEnvironmentThenTheSetting) {
  TDiscIds ids = TwoTracks();
  TArSettings s = Quick();
  s.Base = "http://127.0.0.1:1/elsewhere";
  EXPECT_EQ(ArUrl(ids, s), server_->Base() + "/ar/c/1/2/dBAR-002-0000f21c-00027ef8-05021002.bin");
  unsetenv("CDX_ACCURATERIP_URL");
  EXPECT_EQ(ArUrl(ids, s),
            "http://127.0.0.1:1/elsewhere/c/1/2/dBAR-002-0000f21c-00027ef8-05021002.bin");
  EXPECT_EQ(ArUrl(ids),
            std::string(kArDefaultBase) + "/c/1/2/dBAR-002-0000f21c-00027ef8-05021002.bin");
  // Nobody listens there: no answer, at once.
  auto begun = steady_clock::now();
  EXPECT_EQ(LookUpDisc(ids, s).Lookup, TArLookup::NoAnswer);
  EXPECT_LT(steady_clock::now() - begun, milliseconds(1500));
}

}  // namespace
}  // namespace cdx::verify

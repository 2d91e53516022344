// Names and tags of a rip, end to end: a disc whose CUE sheet names it and
// one only the test's MusicBrainz knows, ripped by the command line in
// every format, the files found under Artist/Album and their tags read
// back by mutagen, ffprobe and metaflac; and the choices a lookup leaves
// (several releases, none, no network).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cd/DiscIds.h"
#include "extractor/Formats.h"
#include "tests/support/ArAnswers.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TagViews.h"
#include "tests/support/TestSources.h"
#include "tools/discmaker.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;
namespace fs = std::filesystem;
using TView = TTagView;

const std::string kRelease = "11111111-1111-4111-8111-111111111111";
const std::string kRecording = "33333333-3333-4333-8333-33333333333";

// Every reader's view of a file's tags, under mutagen's lower-case names.
TView TagsOf(const std::string& path, const std::string& format) {
  if (format == "wav") return FfprobeTagView(path);
  return MutagenTagView(path, format == "opus" ? "ogg" : format);
}

std::string One(const TView& view, const std::string& name) {
  auto found = view.find(name);
  return found == view.end() ? "(none)" : found->second;
}

// A release of one medium that is the disc, in the web service's JSON.
std::string ReleaseJson(const std::string& discId, const std::string& id, const std::string& title,
                        const std::string& barcode, bool cover) {
  std::string tracks;
  const char* titles[] = {"First", "Second / Part"};
  for (int n = 1; n <= 2; ++n)
    tracks += std::string(n > 1 ? "," : "") + "{\"position\":" + std::to_string(n) +
              ",\"title\":\"" + titles[n - 1] + "\",\"id\":\"rt" + std::to_string(n) +
              "\",\"recording\":{\"id\":\"" + kRecording + std::to_string(n) + "\"}}";
  return "{\"id\":\"" + id + "\",\"title\":\"" + title + "\",\"barcode\":\"" + barcode +
         "\",\"date\":\"2001-02-03\",\"cover-art-archive\":{\"front\":" +
         (cover ? "true" : "false") +
         "},\"artist-credit\":[{\"name\":\"The Band\",\"joinphrase\":\"\",\"artist\":{\"id\":"
         "\"aaaa\",\"name\":\"The Band\",\"sort-name\":\"Band, The\"}}],\"media\":[{\"position\":"
         "1,\"track-count\":2,\"format\":\"CD\",\"discs\":[{\"id\":\"" +
         discId + "\"}],\"tracks\":[" + tracks + "]}]}";
}

class CliNames : public ::testing::Test {
 protected:
  CliNames() : server_(temp_.Path()) {
    fs::create_directories(temp_.Path() + "/discs");
    fs::create_directories(temp_.Path() + "/drives");
    plain_ = temp_.File("plain.cue");
    dm::WriteImage(plain_, tracks_);
    titled_ = temp_.File("titled.cue");
    dm::WriteImage(titled_, titledTracks_);
    std::string sheet = ReadText(titled_);
    // Disc text first, then each track's, after its TRACK line.
    // A line too long for libcdio does not keep the disc from being read.
    sheet = "PERFORMER \"Bj\xC3\xB6rk\"\nTITLE \"Homog\xC3\xA9nic\"\nREM DATE 1997\nSONGWRITER \"" +
            std::string(5000, 'w') + "\"\n" + sheet;
    for (int n : {2, 1}) {
      const std::string track = "TRACK 0" + std::to_string(n) + " AUDIO\n";
      const size_t at = sheet.find(track) + track.size();
      sheet.insert(at, n == 1 ? "    TITLE \"J\xC3\xB3ga\"\n" : "    TITLE \"..\"\n");
    }
    std::ofstream(titled_, std::ios::trunc) << sheet;
    discId_ = DiscIdOf(tracks_);
    titledId_ = DiscIdOf(titledTracks_);
    cover_ = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(3000, 'c');
  }

  static std::string DiscIdOf(const std::vector<dm::TrackSpec>& tracks) {
    return ComputeDiscIds(TocOf(tracks)).MusicBrainz;
  }
  static std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
  }
  void ServeReleases(const std::vector<std::string>& releases) {
    std::string list;
    for (const std::string& r : releases) list += (list.empty() ? "" : ",") + r;
    server_.Serve({{"/ws/2/discid/" + discId_, {200, "{\"releases\":[" + list + "]}", {}}},
                   {"/release/" + kRelease + "/front-1200", {200, cover_, {}}}});
  }
  int Run(const std::string& args, std::string* output, const std::string& base = "") {
    const std::string env =
        "CDX_NO_DEVICES=1 CDX_DISCS_DIR=" + temp_.Path() + "/discs CDX_DRIVES_DIR=" + temp_.Path() +
        "/drives XDG_CACHE_HOME=" + temp_.Path() + (base.empty() ? "/cache" : "/cache-elsewhere") +
        " CDX_MUSICBRAINZ_URL=" + (base.empty() ? server_.Base() : base) +
        "/ws/2 CDX_COVERART_URL=" + server_.Base() + " ";
    return RunCommand(env + CDX_CLI_PATH + " " + args + " 2>&1", output);
  }

  TTempDir temp_;
  TLocalHttpServer server_;
  std::vector<dm::TrackSpec> tracks_ = {dm::Sine(150, 440, 0.5), dm::Noise(120, 3, 0.2)};
  // Another disc, which the test's MusicBrainz does not know.
  std::vector<dm::TrackSpec> titledTracks_ = {dm::Sine(140, 440, 0.5), dm::Noise(120, 3, 0.2)};
  std::string plain_, titled_, discId_, titledId_, cover_;
};

// Both discs, in every format: the files under Artist/Album, their tags.
TEST_F(CliNames, EveryFormatGetsNamedFilesWithTagsFromTheSheetOrTheLookup) {
  ServeReleases({ReleaseJson(discId_, kRelease, "Album One", "", true)});
  struct TDiscCase {
    const char* name;
    std::string image;
    std::vector<std::string> files;  // below the output folder, without extension
    std::vector<std::string> titles;
    std::string artist, album, date, discId;
    bool lookedUp;
  };
  const std::vector<TDiscCase> discs = {
      {"CUE sheet",
       titled_,
       {"Bj\xC3\xB6rk/Homog\xC3\xA9nic/01 J\xC3\xB3ga", "Bj\xC3\xB6rk/Homog\xC3\xA9nic/02"},
       {"J\xC3\xB3ga", ".."},
       "Bj\xC3\xB6rk",
       "Homog\xC3\xA9nic",
       "1997",
       titledId_,
       false},
      {"MusicBrainz",
       plain_,
       {"The Band/Album One/01 First", "The Band/Album One/02 Second _ Part"},
       {"First", "Second / Part"},
       "The Band",
       "Album One",
       "2001-02-03",
       discId_,
       true},
  };
  for (const TFormat& format : Formats()) {
    if (!format.Available()) continue;
    const bool wav = format.Name == "wav";
    const std::string gain = format.Name == "opus" ? "r128_" : "replaygain_";
    for (const TDiscCase& disc : discs) {
      SCOPED_TRACE(format.Name + ", " + disc.name);
      const std::string out = temp_.File("out-" + format.Name + "-" + disc.name);
      std::string text;
      ASSERT_EQ(
          Run("--image " + disc.image + " --format " + format.Name + " --out " + ShellQuoted(out),
              &text),
          0)
          << text;
      for (size_t k = 0; k < disc.files.size(); ++k) {
        const std::string path = out + "/" + disc.files[k] + format.Extension;
        ASSERT_TRUE(fs::exists(path)) << path << "\n" << text;
        const TView tags = TagsOf(path, format.Name);
        EXPECT_EQ(One(tags, "title"), disc.titles[k]);
        EXPECT_EQ(One(tags, "artist"), disc.artist);
        EXPECT_EQ(One(tags, "album"), disc.album);
        EXPECT_EQ(One(tags, wav ? "track" : "tracknumber"), std::to_string(k + 1));
        if (wav) continue;
        EXPECT_EQ(One(tags, "albumartist"), disc.artist);
        EXPECT_EQ(One(tags, "date"), disc.date);
        EXPECT_NE(One(tags, gain + "track_gain"), "(none)");
        EXPECT_NE(One(tags, gain + "album_gain"), "(none)");
        EXPECT_EQ(One(tags, "musicbrainz_trackid"),
                  disc.lookedUp ? kRecording + std::to_string(k + 1) : "(none)");
        EXPECT_EQ(One(tags, "musicbrainz_discid"), disc.discId);
        EXPECT_EQ(tags.count("picturemd5"), disc.lookedUp ? 1u : 0u);
      }
      const std::string folder = out + "/" + fs::path(disc.files[0]).parent_path().string();
      EXPECT_EQ(fs::exists(folder + "/cover.jpg"), disc.lookedUp) << folder;
      if (disc.lookedUp) {
        EXPECT_EQ(ReadText(folder + "/cover.jpg"), cover_);
      }
      // The log and the CUE sheet lie beside the files, whose names the
      // sheet's FILE lines give.
      size_t sheets = 0, named = 0;
      for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".cue") continue;
        ++sheets;
        EXPECT_TRUE(fs::exists(fs::path(entry.path()).replace_extension(".log")));
        std::ifstream sheet(entry.path());
        for (std::string line; std::getline(sheet, line);)
          if (line.rfind("FILE \"", 0) == 0) {
            ++named;
            const std::string file = line.substr(6, line.rfind('"') - 6);
            EXPECT_TRUE(fs::exists(folder + "/" + file)) << line;
          }
      }
      EXPECT_EQ(sheets, 1u);
      EXPECT_EQ(named, disc.files.size());
      if (format.Name == "flac") {
        std::string tag;
        const std::string first = ShellQuoted(out + "/" + disc.files[0] + ".flac");
        EXPECT_EQ(RunCommand("metaflac --show-tag=TITLE --show-tag=ALBUMARTIST " + first, &tag), 0);
        EXPECT_EQ(tag, "TITLE=" + disc.titles[0] + "\nALBUMARTIST=" + disc.artist + "\n");
        EXPECT_EQ(RunCommand("metaflac --list --block-type=PADDING " + first, &tag), 0);
        EXPECT_NE(tag.find("type: 1 (PADDING)"), std::string::npos) << tag;
      }
    }
  }
}

// What the lookup leaves to the command line: a choice, or no names.
TEST_F(CliNames, ReleasesAreChosenOrListedAndNoNamesGiveDiscIdFolders) {
  const std::string two = ReleaseJson(discId_, kRelease, "Album One", "", false);
  const std::string other =
      ReleaseJson(discId_, "22222222-2222-4222-8222-222222222222", "Album Two", "", false);
  struct TCase {
    const char* name;
    std::string args;
    std::string base;  // "" for the test's MusicBrainz
    int status;
    std::vector<std::string> said;
    std::string file;  // "" for none
  };
  const std::string offline = "http://127.0.0.1:1";
  const std::vector<TCase> cases = {
      {"two releases, no choice",
       "",
       "",
       2,
       {"Releases (choose one with --release N)", "  2  Album Two \u2013 The Band", "--release N"},
       ""},
      {"the second chosen",
       "--release 2",
       "",
       0,
       {"Album: The Band \u2013 Album Two"},
       "The Band/Album Two/01 First.wav"},
      {"a choice that names none", "--release 7", "", 2, {"names none of the releases"}, ""},
      {"typed names win",
       "--release 1 --album-artist X --album 'Y Z' --year 1999",
       "",
       0,
       {"Album: X \u2013 Y Z (1999)"},
       "X/Y Z/01 First.wav"},
      {"no network", "", offline, 0, {"no names found"}, discId_ + "/Track01.wav"},
  };
  ServeReleases({two, other});
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = temp_.File(std::string("out-") + c.name);
    std::string text;
    EXPECT_EQ(Run("--image " + plain_ + " --tracks 1 --format wav --out " + ShellQuoted(out) + " " +
                      c.args,
                  &text, c.base),
              c.status)
        << text;
    for (const std::string& line : c.said) EXPECT_NE(text.find(line), std::string::npos) << text;
    const std::string made = c.file.empty() ? out : out + "/" + c.file;
    EXPECT_EQ(fs::exists(made), !c.file.empty()) << made << "\n" << text;
  }
  std::string text;
  ASSERT_EQ(Run("--list --image " + plain_ + " --release 2", &text), 0) << text;
  EXPECT_NE(text.find("00:02.00    First"), std::string::npos) << text;
}

}  // namespace
}  // namespace cdx::test

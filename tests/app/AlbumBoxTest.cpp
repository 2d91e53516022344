// The album box: the disc's names (its CUE sheet, or the releases the
// test's MusicBrainz knows, one chosen in the list) fill the fields and
// the rows, and Start files the tracks under Artist/Album with their tags.
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <fstream>

#include "cd/DiscIds.h"
#include "tests/app/AppFixture.h"
#include "tests/support/ArAnswers.h"
#include "tests/support/LocalHttpServer.h"

namespace cdx::test {
namespace {

class AlbumBox : public AppTest {
 protected:
  AlbumBox() { CreateWindowsInSetUp = false; }
  void OpenWithNames() {
    CreateWindows();
    Main<QLineEdit>("TemplateEdit").setText("%A/%d/%n %t");
    Main<QCheckBox>("TagFilesBox").setChecked(true);
  }
  std::string DiscId() const { return ComputeDiscIds(TocOf(Tracks)).MusicBrainz; }
  std::string Tag(const std::string& file, const char* name) {
    std::string out;
    RunCommand("ffprobe -v error -show_entries format_tags=" + std::string(name) +
                   " -of default=nw=1:nk=1 '" + file + "'",
               &out);
    return out;
  }
};

std::string ReleaseJson(const std::string& id, const std::string& album, const std::string& disc) {
  return R"({"id":")" + id + R"(","title":")" + album +
         R"(","artist-credit":[{"name":"The Band","artist":{"id":"a","name":"The Band"}}],)"
         R"("media":[{"position":1,"discs":[{"id":")" +
         disc + R"("}],"tracks":[)" +
         R"({"position":1,"title":"First"},{"position":2,"title":"Second"},)"
         R"({"position":3,"title":"Third"},{"position":4,"title":"Fourth"},)"
         R"({"position":5,"title":"Fifth"}]}]})";
}

TEST_F(AlbumBox, TheCueSheetNamesTheRowsTheFieldsAndTheFiles) {
  WriteDisc();
  const std::string cue = DiscDir() + "/disc.cue";
  std::ifstream in(cue);
  std::string sheet((std::istreambuf_iterator<char>(in)), {});
  in.close();
  const std::string track1 = "TRACK 01 AUDIO\n";
  sheet.insert(sheet.find(track1) + track1.size(), "    TITLE \"J\xC3\xB3ga\"\n");
  std::ofstream(cue, std::ios::trunc) << "PERFORMER \"Bj\xC3\xB6rk\"\nTITLE \"Homogenic\"\n"
                                      << "REM DATE 1997\n"
                                      << sheet;
  OpenWithNames();
  AddTracks({1, 2});
  EXPECT_EQ(Captions(), (std::vector<QString>{"J\u00f3ga", "Track02"}));
  EXPECT_EQ(Main<QLineEdit>("AlbumEdit").text(), "Homogenic");
  EXPECT_EQ(Main<QLineEdit>("AlbumArtistEdit").text(), "Bj\u00f6rk");
  EXPECT_EQ(Main<QLineEdit>("YearEdit").text(), "1997");
  // A field the user types wins over the disc's.
  Main<QLineEdit>("GenreEdit").setText("Art Pop");
  Start();
  const std::string first = OutFile("Bj\xC3\xB6rk/Homogenic/01 J\xC3\xB3ga.wav");
  EXPECT_TRUE(ReadWav(first).Data == TrackPcm(1));
  EXPECT_EQ(Tag(first, "title"), "J\xC3\xB3ga\n");
  EXPECT_EQ(Tag(first, "genre"), "Art Pop\n");
  EXPECT_TRUE(std::filesystem::exists(OutFile("Bj\xC3\xB6rk/Homogenic/02 Track02.wav")));
}

TEST_F(AlbumBox, AReleaseChosenInTheListNamesTheRowsAndTheFiles) {
  std::filesystem::create_directories(OutDir() + "-web");
  TLocalHttpServer server(OutDir() + "-web");
  const std::string id = DiscId();
  server.Serve(
      {{"/ws/2/discid/" + id,
        {200,
         R"({"releases":[)" + ReleaseJson("11111111-1111-4111-8111-111111111111", "Album One", id) +
             "," + ReleaseJson("22222222-2222-4222-8222-222222222222", "Album Two", id) + "]}",
         {}}}});
  setenv("CDX_MUSICBRAINZ_URL", (server.Base() + "/ws/2").c_str(), 1);
  WriteDisc();
  OpenWithNames();
  AddTracks({1});
  auto& releases = Main<QComboBox>("ReleaseBox");
  EXPECT_TRUE(QTest::qWaitFor([&] { return releases.count() == 3; }, 10000))
      << Main<QLabel>("NamesLine").text().toStdString();
  setenv("CDX_MUSICBRAINZ_URL", "http://127.0.0.1:1/ws/2", 1);
  EXPECT_EQ(Captions(), std::vector<QString>{"Track01"}) << "nothing is chosen yet";
  releases.setCurrentIndex(2);
  emit releases.activated(2);
  EXPECT_EQ(Captions(), std::vector<QString>{"First"});
  EXPECT_EQ(Main<QLineEdit>("AlbumEdit").text(), "Album Two");
  Start();
  const std::string file = OutFile("The Band/Album Two/01 First.wav");
  EXPECT_TRUE(ReadWav(file).Data == TrackPcm(1));
  EXPECT_EQ(Tag(file, "artist"), "The Band\n");
}

}  // namespace
}  // namespace cdx::test

// Drives: which images are drives and in what order, their roots and the
// .cda files in them, and images added by the front end.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "platform/cdrip/CdaFile.h"
#include "platform/cdrip/FileStamp.h"
#include "tests/cdrip/CdripFixture.h"

namespace cdx::test {
namespace {

using namespace cdrip;
namespace fs = std::filesystem;

std::set<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) names.insert(e.path().filename());
  return names;
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

class DrivesTest : public CdripTest {};

TEST_F(DrivesTest, ImagesOfEachFolderSortedByNameThenTheNextFolder) {
  std::string second = temp_.File("more");
  MakeDisc("b", {dm::Sine(10, 440)});
  MakeDisc("a", {dm::Sine(10, 440)});
  MakeDisc("a", {dm::Sine(20, 440)}, second);
  // Not drives: a lone BIN, text, and a CUE sheet that is not one.
  WriteFile(discs_ + "/lone.bin", std::vector<uint8_t>(2352));
  WriteFile(discs_ + "/notes.txt", {'h', 'i'});
  std::ofstream(discs_ + "/broken.cue") << "this is not a cue sheet\n";
  setenv("CDX_DISCS_DIR", (discs_ + ":" + second).c_str(), 1);
  Init();
  ASSERT_EQ(CR_GetNumCDROM(), 3);
  EXPECT_EQ(CR_GetDrivePath(0), fs::canonical(discs_ + "/a.cue").string());
  EXPECT_EQ(CR_GetDrivePath(1), fs::canonical(discs_ + "/b.cue").string());
  EXPECT_EQ(CR_GetDrivePath(2), fs::canonical(second + "/a.cue").string());
  EXPECT_EQ(CR_GetDriveRoot(0), Root("a"));
  EXPECT_EQ(CR_GetDriveRoot(1), Root("b"));
  EXPECT_EQ(CR_GetDriveRoot(2), Root("a-2"));
  EXPECT_EQ(CR_GetDriveRoot(3), "");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(fs::is_directory(CR_GetDriveRoot(i)));
}

TEST_F(DrivesTest, ActiveDriveComesFromTheIniAndBadIndexesAreIgnored) {
  for (auto name : {"one", "two", "three"}) MakeDisc(name, {dm::Sine(10, 440)});
  Init("[CD-ROM]\nnActive=2\n");
  EXPECT_EQ(CR_GetActiveCDROM(), 2);
  CR_SetActiveCDROM(3);
  CR_SetActiveCDROM(-1);
  EXPECT_EQ(CR_GetActiveCDROM(), 2);
  CR_SetActiveCDROM(1);
  EXPECT_EQ(CR_GetActiveCDROM(), 1);
  for (auto text : {"[CD-ROM]\nnActive=7\n", "[CD-ROM]\nnActive=x\n", "[Other]\nnActive=1\n", ""}) {
    Init(text);
    EXPECT_EQ(CR_GetActiveCDROM(), 0) << text;
  }
}

TEST_F(DrivesTest, ActiveDriveSelectsTheDiscRead) {
  MakeDisc("a", {dm::Noise(30, 1)});
  MakeDisc("b", {dm::Noise(20, 2), dm::Noise(5, 3)});
  Init();
  CR_SetActiveCDROM(1);
  ASSERT_EQ(CR_ReadToc(), CR_OK);
  EXPECT_EQ(CR_GetNumTocEntries(), 2);
  auto rip = Rip(20, 25);
  EXPECT_TRUE(rip.bytes == dm::TrackBytes(dm::Noise(5, 3), 20));
}

TEST_F(DrivesTest, CdaFilesForAudioTracksWithTheirFields) {
  // Track 1 0:02:01 long, a data track, track 3 from sector 301 for 1 s.
  MakeDisc("disc", {dm::Sine(151, 440), dm::Data(150), dm::Noise(75, 1)});
  Init();  // image roots are filled at start, before any TOC read
  EXPECT_EQ(FilesIn(Root("disc")), (std::set<std::string>{"Track01.cda", "Track03.cda"}));

  auto b = ReadFile(Root("disc") + "Track03.cda");
  ASSERT_EQ(b.size(), 44u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(U32(b, 4), 36u);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "CDDAfmt ");
  EXPECT_EQ(U32(b, 16), 24u);
  EXPECT_EQ(b[20] | b[21] << 8, 1);
  EXPECT_EQ(b[22] | b[23] << 8, 3);
  // CDDB id: start seconds (with the 150-sector lead-in) 2, 4, 6 give digit
  // sum 12; playing time 376/75 + 2 - 2 = 5 s; three tracks.
  EXPECT_EQ(U32(b, 24), 0x0C000503u);
  EXPECT_EQ(U32(b, 28), 301u);
  EXPECT_EQ(U32(b, 32), 75u);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 36, b.end()),
            (std::vector<uint8_t>{1, 4, 0, 0, 0, 1, 0, 0}));
  auto t1 = ReadFile(Root("disc") + "Track01.cda");
  EXPECT_EQ(U32(t1, 28), 0u);
  EXPECT_EQ(U32(t1, 32), 151u);
  EXPECT_EQ(std::vector<uint8_t>(t1.begin() + 40, t1.end()), (std::vector<uint8_t>{1, 2, 0, 0}));
}

TEST_F(DrivesTest, CdaTimesCountMinutes) {
  // Track 2 from 3:07:05 for 19:19:49.
  std::vector<TOCENTRY> toc = {
      {0, 0x10, 1}, {4500 * 3 + 75 * 7 + 5, 0x10, 2}, {14030 + 86974, 0x10, 0xAA}};
  auto b = CdaBytes(toc, 1);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 36, b.begin() + 40),
            (std::vector<uint8_t>{5, 7, 3, 0}));
  EXPECT_EQ(U32(std::vector<uint8_t>(b.begin(), b.end()), 32), 86974u);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 40, b.end()), (std::vector<uint8_t>{49, 19, 19, 0}));
}

TEST_F(DrivesTest, CdaFilesFollowDiscChangesAndGoWithTheDisc) {
  MakeDisc("disc", {dm::Sine(20, 440), dm::Sine(20, 440), dm::Sine(20, 440)});
  Init();
  EXPECT_EQ(FilesIn(Root("disc")).size(), 3u);
  std::ofstream(Root("disc") + "keep.txt") << "not ours";

  // Another disc "inserted": fewer tracks, different lengths.
  MakeDisc("disc", {dm::Sine(50, 440)});
  ASSERT_EQ(CR_ReadToc(), CR_OK);
  EXPECT_EQ(FilesIn(Root("disc")), (std::set<std::string>{"Track01.cda", "keep.txt"}));
  EXPECT_EQ(U32(ReadFile(Root("disc") + "Track01.cda"), 32), 50u);

  fs::remove(discs_ + "/disc.bin");
  int status = 0;
  CR_IsMediaLoaded(&status);
  EXPECT_NE(status, 0);
  EXPECT_EQ(FilesIn(Root("disc")), (std::set<std::string>{"keep.txt"}));
}

TEST_F(DrivesTest, RootsDefaultToTheRuntimeDir) {
  MakeDisc("demo2", {dm::Sine(10, 440)});
  std::string runtime = temp_.File("run");
  ScopedEnv noOverride("CDX_DRIVES_DIR", nullptr), env("XDG_RUNTIME_DIR", runtime.c_str());
  Init();
  EXPECT_EQ(CR_GetDriveRoot(0), runtime + "/cd-extractor/drives/demo2/");
  EXPECT_TRUE(fs::exists(CR_GetDriveRoot(0) + "Track01.cda"));
}

TEST_F(DrivesTest, DefaultFoldersAreBesideTheProgramThenTheUsersData) {
  std::string data = temp_.File("data");
  ScopedEnv noOverride("CDX_DISCS_DIR", nullptr), env("XDG_DATA_HOME", data.c_str());
  MakeDisc("mine", {dm::Sine(10, 440)}, data + "/cd-extractor/discs");
  Init();
  // The build puts the demo disc in `discs` beside every program; that
  // folder comes first, the user's folder last.
  auto exeDir = fs::read_symlink("/proc/self/exe").parent_path();
  std::string demo = fs::canonical(exeDir / "discs/demo.cue").string();
  int count = CR_GetNumCDROM();
  ASSERT_GE(count, 2);
  EXPECT_EQ(CR_GetDrivePath(count - 1),
            fs::canonical(data + "/cd-extractor/discs/mine.cue").string());
  int demoIndex = -1;
  for (int i = 0; i < count - 1; ++i)
    if (CR_GetDrivePath(i) == demo) demoIndex = i;
  ASSERT_GE(demoIndex, 0);
  EXPECT_EQ(CR_GetDriveRoot(demoIndex), Root("demo"));
}

TEST_F(DrivesTest, AddedImageIsADriveUntilTheNextInit) {
  MakeDisc("listed", {dm::Sine(10, 440)});
  std::string elsewhere = temp_.File("elsewhere");
  std::vector<dm::TrackSpec> tracks = {dm::Noise(40, 4), dm::Data(20)};
  auto cue = MakeDisc("listed", tracks, elsewhere);
  Init();
  ASSERT_EQ(CR_GetNumCDROM(), 1);

  int index = CR_AddImageDrive(cue);
  ASSERT_EQ(index, 1);
  EXPECT_EQ(CR_GetDriveRoot(1), Root("listed-2"));
  EXPECT_EQ(FilesIn(Root("listed-2")), (std::set<std::string>{"Track01.cda"}));
  EXPECT_EQ(CR_AddImageDrive(elsewhere + "/./listed.cue"), 1);
  EXPECT_EQ(CR_AddImageDrive(temp_.File("missing.cue")), -1);
  WriteFile(temp_.File("song.wav"), std::vector<uint8_t>(100));
  EXPECT_EQ(CR_AddImageDrive(temp_.File("song.wav")), -1);

  CR_SetActiveCDROM(1);
  ASSERT_EQ(CR_ReadToc(), CR_OK);
  EXPECT_EQ(CR_GetNumTocEntries(), 2);
  EXPECT_EQ(CR_GetTocEntry(1).btFlag, 0x14);
  EXPECT_TRUE(Rip(0, 40).bytes == dm::TrackBytes(tracks[0], 0));

  // A refresh finds new images, keeps the added one and the active drive.
  MakeDisc("new", {dm::Sine(10, 440)});
  ASSERT_EQ(CR_Refresh(), CR_OK);
  ASSERT_EQ(CR_GetNumCDROM(), 3);
  EXPECT_EQ(CR_GetDrivePath(1), fs::canonical(discs_ + "/new.cue").string());
  EXPECT_EQ(CR_GetDrivePath(2), fs::canonical(cue).string());
  EXPECT_EQ(CR_GetActiveCDROM(), 2);

  Init();
  EXPECT_EQ(CR_GetNumCDROM(), 2);
}

TEST(FileStampTest, AStampOfAFileJustWrittenVouchesForNothing) {
  TTempDir temp;
  std::string path = temp.File("new");
  WriteFile(path, {1, 2, 3});
  FileStamp first, second;
  ASSERT_TRUE(TakeStamp(path, first));
  ASSERT_TRUE(TakeStamp(path, second));
  EXPECT_EQ(first.size, 3);
  EXPECT_FALSE(first.settled);
  EXPECT_FALSE(first.Vouches(second));
  EXPECT_FALSE(TakeStamp(temp.File("missing"), first));
}

// A job reads a disc's TOC once and asks, before each track, whether the
// disc changed since: any change of an image's files shows, even one that
// keeps their sizes, and asking reads no TOC.
TEST_F(DrivesTest, AChangedImageShowsWithoutReadingItsTocAgain) {
  const std::vector<std::string> names = {"a", "b", "c", "d"};
  for (const auto& name : names) MakeDisc(name, {dm::Sine(100, 440), dm::Sine(100, 440)});
  Init();
  auto secondStart = [](int drive) {
    CR_SetActiveCDROM(drive);
    DiscToc toc;
    return CR_ReadDiscToc(toc) == CR_OK ? toc.tracks.at(1).start : 0u;
  };
  auto changed = [](int drive) {
    CR_SetActiveCDROM(drive);
    return CR_DiscChanged();
  };
  for (int drive = 0; drive < 4; ++drive) {
    ASSERT_EQ(secondStart(drive), 100u);
    EXPECT_FALSE(changed(drive));
  }
  const uint64_t reads = CR_GetTocReadCount();
  // a: the sheet rewritten in place, as long as before.
  std::ofstream(discs_ + "/a.cue") << "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                      "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                                      "    INDEX 01 00:01:30\n";
  // b: the data cut short, which moves the lead-out; c: the data gone.
  fs::resize_file(discs_ + "/b.bin", 150 * 2352);
  fs::remove(discs_ + "/c.bin");
  for (int drive = 0; drive < 4; ++drive) EXPECT_EQ(changed(drive), drive < 3) << names[drive];
  EXPECT_EQ(CR_GetTocReadCount(), reads) << "asking reads no TOC";

  EXPECT_EQ(secondStart(0), 105u);
  EXPECT_FALSE(changed(0)) << "read again, it is the disc of its TOC";
  CR_SetActiveCDROM(1);
  DiscToc cut;
  ASSERT_EQ(CR_ReadDiscToc(cut), CR_OK);
  EXPECT_EQ(cut.leadOut, 150u);
  EXPECT_EQ(secondStart(2), 0u);
  EXPECT_TRUE(changed(2)) << "a disc that cannot be read stays changed";
}

}  // namespace
}  // namespace cdx::test

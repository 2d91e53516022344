// Drive folders another local user cannot take over: what is planted in or
// instead of them is never written through, and image names never lead out
// of the drives folder.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "tests/cdrip/CdripFixture.h"

namespace cdx::test {
namespace {

using namespace cdrip;
namespace fs = std::filesystem;

const std::vector<dm::TrackSpec> kDisc = {dm::Sine(10, 440)};
const std::vector<uint8_t> kVictim = {'m', 'i', 'n', 'e'};

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

// What another user prepared at the fallback folder's name before the
// program first ran.
struct Planted {
  const char* name;
  std::function<void(const std::string& fallback, const std::string& elsewhere)> make;
  bool needsRoot;  // giving a folder to another user takes root
};
void PrintTo(const Planted& c, std::ostream* out) {
  *out << c.name;
}

const Planted kPlanted[] = {
    {"FolderOpenToAll",
     [](const std::string& fallback, const std::string&) {
       fs::create_directory(fallback);
       fs::permissions(fallback, fs::perms::all);
     },
     false},
    {"LinkToAnotherFolder",
     [](const std::string& fallback, const std::string& elsewhere) {
       fs::create_directory_symlink(elsewhere, fallback);
     },
     false},
    {"FolderOfAnotherUser",
     [](const std::string& fallback, const std::string&) {
       fs::create_directory(fallback);
       ASSERT_EQ(::chown(fallback.c_str(), 65534, 65534), 0);
       fs::permissions(fallback, fs::perms::owner_all);
     },
     true},
};

class PlantedFallbackFolder : public CdripTest, public ::testing::WithParamInterface<Planted> {};

TEST_P(PlantedFallbackFolder, IsLeftAloneForAFreshPrivateFolder) {
  if (GetParam().needsRoot && ::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder away";
  const std::string tmp = temp_.File("tmp"), elsewhere = temp_.File("elsewhere");
  fs::create_directories(tmp);
  fs::create_directories(elsewhere);
  const std::string fallback = tmp + "/cd-extractor-" + std::to_string(::geteuid());
  GetParam().make(fallback, elsewhere);
  // The link that once made a listing write the user's file.
  const std::string victim = temp_.File("victim");
  WriteFile(victim, kVictim);
  const std::string planted = fallback + "/drives/good";
  fs::create_directories(planted);
  fs::create_symlink(victim, planted + "/Track01.cda.tmp");

  ScopedEnv noDrivesDir("CDX_DRIVES_DIR", nullptr), noRuntime("XDG_RUNTIME_DIR", nullptr),
      tmpDir("TMPDIR", tmp.c_str());
  MakeDisc("good", kDisc);
  Init();

  EXPECT_EQ(ReadFile(victim), kVictim);
  const std::string root = CR_GetDriveRoot(0);
  EXPECT_FALSE(StartsWith(root, fallback + "/")) << root;
  EXPECT_TRUE(StartsWith(root, fallback + "-")) << root;
  struct stat st {};
  const std::string top = root.substr(0, root.rfind("/drives/"));
  ASSERT_EQ(::lstat(top.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(fs::is_regular_file(root + "Track01.cda"));
}

INSTANTIATE_TEST_SUITE_P(Cases, PlantedFallbackFolder, ::testing::ValuesIn(kPlanted),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CdripTest, LinksPlantedInADriveFolderAreReplacedNeverWrittenThrough) {
  const std::string victim = temp_.File("victim"), other = temp_.File("other");
  WriteFile(victim, kVictim);
  WriteFile(other, kVictim);
  fs::create_directories(Root("good"));
  fs::create_symlink(victim, Root("good") + "Track01.cda.tmp");
  fs::create_symlink(other, Root("good") + "Track01.cda");
  MakeDisc("good", kDisc);
  Init();
  EXPECT_EQ(ReadFile(victim), kVictim);
  EXPECT_EQ(ReadFile(other), kVictim);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Root("good") + "Track01.cda")));
}

TEST_F(CdripTest, ImageNamesOfDotsKeepTheirDriveFolderInsideTheDrivesFolder) {
  // A .cda file beside the drives folder, where "<drives>/.." would point.
  const std::string outside = temp_.File("Track07.cda");
  WriteFile(outside, kVictim);
  MakeDisc("..", kDisc);  // "...cue"
  MakeDisc(".hidden", kDisc);
  Init();
  ASSERT_EQ(CR_GetNumCDROM(), 2);
  for (int d = 0; d < 2; ++d) {
    const fs::path root = CR_GetDriveRoot(d);
    EXPECT_EQ(root.parent_path().parent_path(), fs::path(drives_)) << root;
    EXPECT_NE(root.parent_path().filename().string()[0], '.') << root;
    EXPECT_TRUE(fs::is_regular_file(root / "Track01.cda")) << root;
  }
  EXPECT_EQ(ReadFile(outside), kVictim);
}

}  // namespace
}  // namespace cdx::test

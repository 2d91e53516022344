// Drive folders another local user cannot take over: what is planted in or
// instead of them is never written through, and image names never lead out
// of the drives folder. Folders of drives gone are removed, and nothing
// else.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>

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

void MakeCdaFolder(const std::string& folder) {
  fs::create_directories(folder);
  WriteFile(folder + "/Track01.cda", kVictim);
  WriteFile(folder + "/Track02.cda", kVictim);
}

// What may be found in the drives folder when the drives are listed, and
// whether listing removes it; `elsewhere` is a folder of .cda files outside.
using TMakeEntry = void (*)(const std::string& entry, const std::string& elsewhere);
const struct {
  const char* name;
  TMakeEntry make;
  bool removed;
} kFolders[] = {
    {"gone", [](auto& entry, auto&) { MakeCdaFolder(entry); }, true},
    {"empty", [](auto& entry, auto&) { fs::create_directory(entry); }, true},
    {"current", [](auto& entry, auto&) { MakeCdaFolder(entry); }, false},
    {"withnotes",
     [](auto& entry, auto&) {
       MakeCdaFolder(entry);
       WriteFile(entry + "/notes.txt", kVictim);
     },
     false},
    {"withlinkedcda",
     [](auto& entry, auto& elsewhere) {
       fs::create_directory(entry);
       fs::create_symlink(elsewhere + "/Track01.cda", entry + "/Track01.cda");
     },
     false},
    {"link", [](auto& entry, auto& elsewhere) { fs::create_directory_symlink(elsewhere, entry); },
     false},
};

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Every entry under `top` but the current drive's folder, links not
// followed: a folder as "/", a link as its target, a file as its bytes.
std::map<std::string, std::string> Tree(const std::string& top, const std::string& current) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(top)) {
    const std::string path = entry.path().string();
    if (path.rfind(current, 0) == 0) continue;
    const auto status = fs::symlink_status(entry.path());
    if (fs::is_symlink(status))
      tree[path] = "-> " + fs::read_symlink(entry.path()).string();
    else if (fs::is_directory(status))
      tree[path] = "/";
    else
      tree[path] = Text(ReadFile(path));
  }
  return tree;
}

TEST_F(CdripTest, ListingRemovesTheFoldersOfDrivesGoneAndNothingElse) {
  MakeDisc("current", kDisc);
  for (const auto& c : kFolders) {
    const std::string elsewhere = temp_.File(std::string("elsewhere-") + c.name);
    MakeCdaFolder(elsewhere);
    c.make(drives_ + "/" + c.name, elsewhere);
  }
  auto expected = Tree(temp_.Path(), Root("current"));
  for (const auto& c : kFolders)
    if (c.removed)
      std::erase_if(expected, [&](const auto& entry) {
        return entry.first.rfind(drives_ + "/" + c.name, 0) == 0;
      });
  Init();
  EXPECT_EQ(Tree(temp_.Path(), Root("current")), expected);
  EXPECT_TRUE(fs::is_regular_file(Root("current") + "Track01.cda"));
}

// A window and a command line may list drives at once, each its own: the
// folder of a drive that another process lists stays until that process
// has gone.
TEST_F(CdripTest, TheFolderOfADriveAnotherProcessListsStays) {
  const std::string otherDiscs = temp_.File("other-discs");
  MakeDisc("theirs", kDisc, otherDiscs);
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t other = ::fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    // Only the test's ends of the pipes, so that closing `done` ends it.
    ::close(ready[0]);
    ::close(done[1]);
    ::setenv("CDX_DISCS_DIR", otherDiscs.c_str(), 1);
    cdrip::CR_Init(nullptr);
    char byte = 1;
    bool listed = cdrip::CR_GetNumCDROM() == 1 && ::write(ready[1], &byte, 1) == 1;
    // Lists its drive until the test lets it end.
    while (listed && ::read(done[0], &byte, 1) < 0 && errno == EINTR) {
    }
    ::_exit(listed ? 0 : 1);
  }
  ::close(ready[1]);
  ::close(done[0]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the other process listed no drive";
  MakeDisc("mine", kDisc);
  Init();
  EXPECT_TRUE(fs::is_regular_file(Root("theirs") + "Track01.cda"));
  ::close(done[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(other, &status, 0), other);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  Init();
  EXPECT_FALSE(fs::exists(Root("theirs")));
  EXPECT_TRUE(fs::is_regular_file(Root("mine") + "Track01.cda"));
  ::close(ready[0]);
}

}  // namespace
}  // namespace cdx::test

// Discs coming and going: the cheap look that tells a window the drives
// changed, ejecting, and a disc image taken away in the middle of a rip.
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/cdrip/CdaFile.h"
#include "tests/cdrip/CdripFixture.h"

namespace cdx::test {
namespace {

using namespace cdrip;
namespace fs = std::filesystem;

class DiscChangesTest : public CdripTest {
 protected:
  std::string File(const char* name) const { return discs_ + "/" + name; }
  void Put(const std::string& folder, const char* name) {
    MakeDisc(name, {dm::Sine(10, 440)}, folder);
  }
};

TEST_F(DiscChangesTest, DrivesChangedHoldsUntilTheDrivesAreListedAgainAndEjectKeepsImages) {
  const std::string later = temp_.File("later");
  const struct {
    const char* what;
    std::function<void()> change;
    bool changed;
  } cases[] = {
      {"nothing", [] {}, false},
      {"the TOC read", [] { CR_ReadToc(); }, false},
      // Ejecting an image drive does nothing; a bad index is refused.
      {"the image ejected",
       [&] {
         EXPECT_EQ(CR_EjectDrive(0), CR_OK);
         EXPECT_TRUE(fs::exists(Root("first") + CdaName(1)));
       },
       false},
      {"no drive ejected", [] { EXPECT_EQ(CR_EjectDrive(9), CR_ERROR); }, false},
      {"an image added", [&] { Put(discs_, "second"); }, true},
      {"a data file grown",
       [&] { std::ofstream(File("first.bin"), std::ios::app) << std::string(2352, '\0'); }, true},
      {"an image in a folder made since", [&] { Put(later, "late"); }, true},
      {"an image removed", [&] { fs::remove(File("second.cue")); }, true},
  };
  Put(discs_, "first");
  setenv("CDX_DISCS_DIR", (discs_ + ":" + later).c_str(), 1);
  Init();
  for (const auto& c : cases) {
    c.change();
    EXPECT_EQ(CR_DrivesChanged(), c.changed) << c.what;
    EXPECT_EQ(CR_DrivesChanged(), c.changed) << c.what << ", asked again";
    CR_Refresh();
    EXPECT_FALSE(CR_DrivesChanged()) << c.what << ", listed again";
  }
}

TEST_F(DiscChangesTest, ARipFailsOnceItsImageIsRemovedOrReplaced) {
  // The reader is at most five one-second chunks ahead when the image goes.
  const std::vector<dm::TrackSpec> tenSeconds = {dm::Noise(750, 3)};
  const auto pcm = dm::TrackBytes(tenSeconds[0], 0);
  const struct {
    const char* what;
    std::function<void()> remove;
  } removals[] = {
      {"sheet deleted", [&] { fs::remove(File("disc.cue")); }},
      {"data deleted", [&] { fs::remove(File("disc.bin")); }},
      {"data replaced",
       [&] {
         fs::copy_file(File("disc.bin"), File("copy"));
         fs::rename(File("copy"), File("disc.bin"));
       }},
  };
  for (const auto& r : removals) {
    MakeDisc("disc", tenSeconds);
    Init();
    auto rip = Rip(0, 750, 176400, [&](int chunk) {
      if (chunk == 1) r.remove();
    });
    EXPECT_EQ(rip.result, CR_READ_ERROR) << r.what;
    EXPECT_EQ(CR_GetLastErrorMessage(), "the disc was removed") << r.what;
    EXPECT_EQ(CR_GetLastErrorSector(), rip.bytes.size() / CR_SECTOR_BYTES) << r.what;
    EXPECT_TRUE(rip.bytes.size() < pcm.size() &&
                std::equal(rip.bytes.begin(), rip.bytes.end(), pcm.begin()))
        << r.what << ": what came before is the disc's audio";
  }
}

}  // namespace
}  // namespace cdx::test

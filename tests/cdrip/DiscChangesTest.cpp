// Discs coming and going: the cheap look that tells a window the drives
// changed, a disc image taken away in the middle of a rip, and ejecting.
#include <cctype>
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
 public:  // for the cases of the tables
  std::string Bin(const std::string& name) const { return discs_ + "/" + name + ".bin"; }
  std::string Cue(const std::string& name) const { return discs_ + "/" + name + ".cue"; }
  void MakeDiscIn(const std::string& name, const std::string& folder = "") {
    MakeDisc(name, {dm::Sine(10, 440)}, folder);
  }
  std::string Later() const { return temp_.File("later"); }
  void RemoveDisc(const std::string& name) {
    fs::remove(Cue(name));
    fs::remove(Bin(name));
  }
  void GrowData(const std::string& name) {
    std::ofstream(Bin(name), std::ios::app).write(std::string(2352, '\0').data(), 2352);
  }
};

struct TChange {
  const char* what;
  std::function<void(DiscChangesTest&)> make;
  bool changed;
};
void PrintTo(const TChange& c, std::ostream* out) {
  *out << c.what;
}

class DrivesChangedTest : public DiscChangesTest, public ::testing::WithParamInterface<TChange> {};

// An image folder that does not exist yet may be made later.
TEST_P(DrivesChangedTest, ToldUntilTheDrivesAreListedAgain) {
  MakeDiscIn("first");
  setenv("CDX_DISCS_DIR", (discs_ + ":" + Later()).c_str(), 1);
  Init();
  ASSERT_FALSE(CR_DrivesChanged()) << "right after the drives were listed";
  GetParam().make(*this);
  EXPECT_EQ(CR_DrivesChanged(), GetParam().changed);
  EXPECT_EQ(CR_DrivesChanged(), GetParam().changed) << "asked a second time";
  ASSERT_EQ(CR_Refresh(), CR_OK);
  EXPECT_FALSE(CR_DrivesChanged()) << "after CR_Refresh";
}

INSTANTIATE_TEST_SUITE_P(
    Changes, DrivesChangedTest,
    ::testing::Values(TChange{"nothing", [](auto&) {}, false},
                      TChange{"an image added", [](auto& t) { t.MakeDiscIn("second"); }, true},
                      TChange{"the image removed", [](auto& t) { t.RemoveDisc("first"); }, true},
                      TChange{"a data file still growing", [](auto& t) { t.GrowData("first"); },
                              true},
                      TChange{"an image in a folder made since",
                              [](auto& t) { t.MakeDiscIn("late", t.Later()); }, true},
                      TChange{"the TOC read again", [](auto&) { CR_ReadToc(); }, false}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

// Ten seconds: the reader is at most five chunks ahead when the image goes.
const std::vector<dm::TrackSpec> kTenSeconds = {dm::Noise(750, 3)};

struct TRemoval {
  const char* what;
  std::function<void(DiscChangesTest&)> remove;
};
void PrintTo(const TRemoval& r, std::ostream* out) {
  *out << r.what;
}

class RemovedDuringARipTest : public DiscChangesTest,
                              public ::testing::WithParamInterface<TRemoval> {};

TEST_P(RemovedDuringARipTest, FailsAfterTheSectorsReadBeforeWithAClearReason) {
  MakeDisc("disc", kTenSeconds);
  Init();
  auto rip = Rip(0, 750, 176400, [this](int chunk) {
    if (chunk == 1) GetParam().remove(*this);
  });
  EXPECT_EQ(rip.result, CR_READ_ERROR);
  EXPECT_EQ(CR_GetLastErrorMessage(), "the disc was removed");
  EXPECT_EQ(CR_GetLastErrorSector(), rip.bytes.size() / CR_SECTOR_BYTES);
  EXPECT_LT(rip.bytes.size(), 750u * CR_SECTOR_BYTES);
  auto pcm = dm::TrackBytes(kTenSeconds[0], 0);
  EXPECT_TRUE(std::equal(rip.bytes.begin(), rip.bytes.end(), pcm.begin()))
      << "what was read before is the disc's audio";
  EXPECT_EQ(rip.resultAfterFailure, CR_READ_ERROR);
}

INSTANTIATE_TEST_SUITE_P(
    Removals, RemovedDuringARipTest,
    ::testing::Values(TRemoval{"sheet", [](auto& t) { fs::remove(t.Cue("disc")); }},
                      TRemoval{"data", [](auto& t) { fs::remove(t.Bin("disc")); }},
                      TRemoval{"replaced",
                               [](auto& t) {
                                 fs::copy_file(t.Bin("disc"), t.Bin("copy"));
                                 fs::rename(t.Bin("copy"), t.Bin("disc"));
                               }}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(DiscChangesTest, EjectLeavesAnImageInItsDriveAndRefusesBadIndexes) {
  MakeDisc("disc", {dm::Sine(10, 440), dm::Sine(10, 880)});
  Init();
  struct {
    int index;
    int result;
    const char* why;
  } cases[] = {{0, CR_OK, ""}, {1, CR_ERROR, "no such drive"}, {-1, CR_ERROR, "no such drive"}};
  for (const auto& c : cases) {
    std::string why;
    EXPECT_EQ(CR_EjectDrive(c.index, &why), c.result) << "drive " << c.index;
    EXPECT_EQ(why, c.why) << "drive " << c.index;
  }
  int status = -1;
  CR_IsMediaLoaded(&status);
  EXPECT_EQ(status, 0) << "the image is still in its drive";
  EXPECT_TRUE(fs::exists(Root("disc") + CdaName(2)));
  EXPECT_EQ(Rip(0, 10).result, CR_OK);
}

}  // namespace
}  // namespace cdx::test

// Image files that must not be handed to libcdio, and sheets it cannot read
// as they are.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "tests/cdrip/CdripFixture.h"

namespace cdx::test {
namespace {

using namespace cdrip;
namespace fs = std::filesystem;

const std::vector<dm::TrackSpec> kGood = {dm::Sine(10, 440)};

struct NotAFile {
  const char* name;
  std::function<void(const std::string& discs)> make;  // makes odd.cue and odd.bin
  std::string reason;                                  // with <discs> for the folder
};

void PrintTo(const NotAFile& c, std::ostream* out) {
  *out << c.name;
}

void ReplaceData(const std::string& discs, const std::function<void(const std::string&)>& make) {
  fs::remove(discs + "/odd.bin");
  make(discs + "/odd.bin");
}

const NotAFile kNotFiles[] = {
    {"DataIsAFolder",
     [](const std::string& d) { ReplaceData(d, [](auto& p) { fs::create_directory(p); }); },
     "its data file <discs>/odd.bin is a folder"},
    {"DataIsAFifo",
     [](const std::string& d) { ReplaceData(d, [](auto& p) { mkfifo(p.c_str(), 0600); }); },
     "its data file <discs>/odd.bin is a FIFO"},
    {"DataIsADevice",
     [](const std::string& d) {
       ReplaceData(d, [](auto& p) { fs::create_symlink("/dev/zero", p); });
     },
     "its data file <discs>/odd.bin is a device"},
    {"SheetIsAFifo",
     [](const std::string& d) {
       fs::remove(d + "/odd.cue");
       mkfifo((d + "/odd.cue").c_str(), 0600);
     },
     "it is a FIFO, not a file"},
};

class ImageThatIsNoFile : public CdripTest, public ::testing::WithParamInterface<NotAFile> {};

TEST_P(ImageThatIsNoFile, IsSkippedWithItsReasonNeverOpenedAndTheOtherImagesRip) {
  MakeDisc("good", kGood);
  MakeDisc("odd", kGood);
  GetParam().make(discs_);
  Init();  // a FIFO opened here would block for good
  ASSERT_EQ(CR_GetNumCDROM(), 1);
  EXPECT_EQ(CR_GetDrivePath(0), fs::canonical(discs_ + "/good.cue").string());
  auto skipped = CR_GetSkippedImages();
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].path, discs_ + "/odd.cue");
  std::string reason = GetParam().reason;
  if (auto at = reason.find("<discs>"); at != std::string::npos) reason.replace(at, 7, discs_);
  EXPECT_EQ(skipped[0].reason, reason);
  EXPECT_EQ(CR_AddImageDrive(discs_ + "/odd.cue"), -1);
  EXPECT_TRUE(Rip(0, 10).bytes == dm::TrackBytes(kGood[0], 0));
}

INSTANTIATE_TEST_SUITE_P(Cases, ImageThatIsNoFile, ::testing::ValuesIn(kNotFiles),
                         [](const auto& info) { return std::string(info.param.name); });

// Sheets as other programs and editors save them.
struct SheetStyle {
  const char* name;
  bool mark, crlf;
};
void PrintTo(const SheetStyle& c, std::ostream* out) {
  *out << c.name;
}

void Restyle(const std::string& sheet, const SheetStyle& style) {
  auto text = ReadFile(sheet);
  std::vector<uint8_t> styled;
  if (style.mark) styled = {0xEF, 0xBB, 0xBF};
  for (uint8_t c : text) {
    if (c == '\n' && style.crlf) styled.push_back('\r');
    styled.push_back(c);
  }
  WriteFile(sheet, styled);
}

class SheetOfAnyStyle : public CdripTest, public ::testing::WithParamInterface<SheetStyle> {};

TEST_P(SheetOfAnyStyle, ListsAndRipsLikeAnyOther) {
  const std::vector<dm::TrackSpec> disc = {dm::Sine(10, 440), dm::Noise(20, 3)};
  const std::string sheet = MakeDisc("styled", disc);
  Restyle(sheet, GetParam());
  Init();
  ASSERT_EQ(CR_GetNumCDROM(), 1) << "the sheet was not listed";
  EXPECT_EQ(CR_GetDrivePath(0), fs::canonical(sheet).string());
  EXPECT_TRUE(CR_GetSkippedImages().empty());
  EXPECT_TRUE(Rip(10, 30).bytes == dm::TrackBytes(disc[1], 10));
  CR_DeInit();
  setenv("CDX_DISCS_DIR", "", 1);
  Init();
  const std::string bin = sheet.substr(0, sheet.size() - 3) + "bin";
  for (const std::string& image : {sheet, bin}) EXPECT_GE(CR_AddImageDrive(image), 0) << image;
}

INSTANTIATE_TEST_SUITE_P(Cases, SheetOfAnyStyle,
                         ::testing::Values(SheetStyle{"ByteOrderMark", true, false},
                                           SheetStyle{"CrLf", false, true},
                                           SheetStyle{"ByteOrderMarkAndCrLf", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cdx::test

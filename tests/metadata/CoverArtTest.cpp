// Front covers from a cover archive of the test's own: followed through
// its redirect, checked to be a picture of a bearable size, and saved
// beside the files.
#include <gtest/gtest.h>

#include <filesystem>

#include "metadata/CoverArt.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TestSources.h"

namespace {

namespace fs = std::filesystem;
using cdx::test::TAnswer;

const std::string kId = "33333333-3333-4333-8333-333333333333";
const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0\0\x10JFIF", 10) + std::string(3000, 'j');
const std::string kPng = std::string("\x89PNG\r\n\x1A\n", 8) + std::string(500, 'p');

struct TCoverCase {
  const char* name;
  bool front;  // the release says the archive has a front cover
  TAnswer answer;
  std::string bytes;       // the picture got, "" for none
  const char* reasonPart;  // of the reason when there is none
  size_t requests;
};

TEST(CoverArt, OnlyAPictureOfABearableSizeIsTakenAndSaved) {
  cdx::test::TTempDir temp;
  cdx::test::TLocalHttpServer server(temp.Path());
  metadata::TCoverArtSettings settings;
  settings.BaseUrl = server.Base();
  settings.RequestInterval = std::chrono::milliseconds(0);
  const std::string route = "/release/" + kId + "/front-1200";
  const TCoverCase cases[] = {
      {"JPEG behind a redirect", true, {307, "", {{"Location", "/pictures/1.jpg"}}}, kJpeg, "", 2},
      {"PNG", true, {200, kPng, {}}, kPng, "", 1},
      {"a web page", true, {200, "<html>cover</html>", {}}, "", "not a JPEG or PNG picture", 1},
      {"50 MB", true, {200, "", {}, 0, 50u << 20}, "", "larger than 8 MB", 1},
      {"none in the archive", true, {404, "", {}}, "", "has no front cover", 1},
      {"the release says none", false, {200, kJpeg, {}}, "", "has no front cover", 0},
  };
  for (const TCoverCase& c : cases) {
    SCOPED_TRACE(c.name);
    server.Serve({{route, c.answer}, {"/pictures/1.jpg", {200, kJpeg, {}}}});
    size_t before = server.Requests().size();
    metadata::TRelease release;
    release.Id = kId;
    release.FrontCover = c.front;
    metadata::TCover cover = metadata::FetchFrontCover(release, settings);
    EXPECT_EQ(server.Requests().size() - before, c.requests);
    EXPECT_EQ(cover.Bytes, c.bytes);
    std::string folder = temp.File(c.name);
    fs::create_directories(folder);
    std::string why;
    std::string saved = metadata::SaveCover(cover, folder, &why);
    if (c.bytes.empty()) {
      EXPECT_NE(cover.Reason.find(c.reasonPart), std::string::npos) << cover.Reason;
      EXPECT_TRUE(saved.empty());
      EXPECT_TRUE(fs::is_empty(folder));
      continue;
    }
    EXPECT_EQ(saved, folder + (c.bytes == kPng ? "/cover.png" : "/cover.jpg"));
    EXPECT_EQ(cdx::test::ReadFile(saved), std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
  }
  // A folder that is not there: no file, and why.
  metadata::TCover cover{kJpeg, "image/jpeg", ".jpg", ""};
  std::string why;
  EXPECT_EQ(metadata::SaveCover(cover, temp.File("missing"), &why), "");
  EXPECT_FALSE(why.empty());
}

}  // namespace

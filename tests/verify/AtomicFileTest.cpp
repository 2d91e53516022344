// A log or sheet replaces an earlier one whole, or leaves it as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/TestSources.h"
#include "verify/AtomicFile.h"

namespace cdx::verify {
namespace {

std::string Read(const std::string& path) {
  auto bytes = test::ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(AtomicFile, ReplacesWholeOrLeavesTheEarlierFileAndNoTemporary) {
  test::TTempDir temp;
  const std::string path = temp.File("disc.log");
  std::ofstream(path) << "earlier";
  std::string error;
  struct Case {
    const char* name;
    std::string path;
    size_t limit;  // bytes a file may grow to; 0 for none
    bool ok;
    std::string left;  // in disc.log afterwards
    const char* error;
  } cases[] = {
      {"disk full", path, 100, false, "earlier", "File too large"},
      {"no such folder", temp.File("gone/disc.log"), 0, false, "earlier", "No such file"},
      {"written", path, 0, true, std::string(5000, 'x'), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::unique_ptr<test::TFileSizeLimit> limit;
      if (c.limit) limit = std::make_unique<test::TFileSizeLimit>(c.limit);
      EXPECT_EQ(WriteFileAtomically(c.path, std::string(5000, 'x'), error), c.ok);
    }
    EXPECT_EQ(Read(path), c.left);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(error.find(c.path) != std::string::npos, !c.ok) << error;
    auto files = std::filesystem::directory_iterator(temp.Path());
    EXPECT_EQ(std::distance(begin(files), end(files)), 1);
  }
}

}  // namespace
}  // namespace cdx::verify

// The program as a user gets it: installed by `cmake --install` into a
// prefix of its own, and packaged by CPack. The files are judged by the
// tools a distribution judges them with, and the installed command line
// rips the installed demo disc.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/FlacTools.h"
#include "tests/support/TestSources.h"

namespace cdx::test {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& text) {
  return "'" + text + "'";
}

std::string Text(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every file under `dir`, relative to it, with its size.
std::map<std::string, uintmax_t> FilesUnder(const fs::path& dir) {
  std::map<std::string, uintmax_t> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (!entry.is_directory()) files[fs::relative(entry.path(), dir).string()] = entry.file_size();
  return files;
}

std::vector<fs::path> FilesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) files.push_back(entry.path());
  return files;
}

std::vector<std::string> Matches(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  std::regex re(pattern, std::regex::multiline);
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it)
    found.push_back((*it)[1]);
  return found;
}

class InstallTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    temp_ = std::make_unique<TTempDir>();
    std::string output;
    installStatus_ = RunCommand(
        Quote(CDX_CMAKE) + " --install " + Quote(CDX_BUILD_DIR) + " --prefix " + Quote(Prefix()),
        &output);
    installOutput_ = output;
  }
  static void TearDownTestSuite() { temp_.reset(); }

  void SetUp() override { ASSERT_EQ(installStatus_, 0) << installOutput_; }

  static std::string Prefix() { return temp_->File("prefix"); }
  static std::string Home() { return temp_->File("home"); }

  // An installed program run as a user would run it: nothing of the test's
  // environment (no discs folder of a test), a home of its own.
  static int RunInstalled(const std::string& program, const std::string& args,
                          std::string* output) {
    fs::create_directories(Home());
    fs::create_directories(temp_->File("runtime"));
    fs::permissions(temp_->File("runtime"), fs::perms::owner_all);
    return RunCommand("env -i PATH=/usr/bin:/bin HOME=" + Quote(Home()) +
                          " XDG_RUNTIME_DIR=" + Quote(temp_->File("runtime")) +
                          " CDX_NO_DEVICES=1 " + Quote(Prefix() + "/bin/" + program) + " " + args,
                      output);
  }

  static std::unique_ptr<TTempDir> temp_;
  static int installStatus_;
  static std::string installOutput_;
};

std::unique_ptr<TTempDir> InstallTest::temp_;
int InstallTest::installStatus_ = -1;
std::string InstallTest::installOutput_;

TEST_F(InstallTest, TheCommandLineRipsTheInstalledDemoDiscAndWritesNothingIntoThePrefix) {
  const auto before = FilesUnder(Prefix());
  std::string list, rip;
  ASSERT_EQ(RunInstalled("cd-extractor-cli", "--list", &list), 0) << list;
  const auto demo = fs::canonical(Prefix() + "/share/cd-extractor/discs/demo.cue");
  EXPECT_NE(list.find("(" + demo.string() + ")"), std::string::npos) << list;
  const auto audioTracks = Matches(list, R"(^ +(\d+) +audio )").size();
  ASSERT_GT(audioTracks, 0u) << list;

  const std::string out = temp_->File("out");
  ASSERT_EQ(RunInstalled("cd-extractor-cli", "--format flac --out " + Quote(out), &rip), 0) << rip;
  const auto ripped = FilesIn(out);
  EXPECT_EQ(ripped.size(), audioTracks) << rip;
  for (const auto& file : ripped) {
    std::string errors;
    EXPECT_TRUE(FlacTestPasses(file.string(), &errors)) << file << ": " << errors;
  }
  // The prefix may belong to root: the settings go to the user's folder.
  EXPECT_TRUE(fs::exists(Home() + "/.config/cd-extractor/cdr.ini"));
  EXPECT_EQ(FilesUnder(Prefix()), before);
}

TEST_F(InstallTest, EveryInstalledDataFilePassesItsValidator) {
  struct {
    const char* folder;
    const char* tool;
    bool silent;  // a pass prints nothing
  } validators[] = {
      {"share/applications", "desktop-file-validate", true},
      {"share/metainfo", "appstreamcli validate --no-net", false},
      {"share/man/man1", "groff -man -ww -z", true},
  };
  for (const auto& v : validators) {
    const auto files = FilesIn(Prefix() + "/" + v.folder);
    EXPECT_FALSE(files.empty()) << v.folder;
    for (const auto& file : files) {
      std::string output;
      EXPECT_EQ(RunCommand(std::string(v.tool) + " " + Quote(file.string()), &output), 0)
          << file << ": " << output;
      if (v.silent) {
        EXPECT_EQ(output, "") << file;
      }
    }
  }
}

// A desktop that reads one file looks for what it names at these places.
TEST_F(InstallTest, WhatTheMenuEntryAndItsDataNameIsInstalled) {
  struct {
    const char* folder;
    const char* pattern;  // group 1: the name
    const char* place;    // where that name must be, with NAME for it
  } references[] = {
      {"share/applications", R"(^Exec=([^ \n]+))", "bin/NAME"},
      {"share/applications", R"(^Icon=([^\n]+))", "share/icons/hicolor/scalable/apps/NAME.svg"},
      {"share/applications", R"(^MimeType=.*(x-content/audio-cdda);)", "NAME"},
      {"share/metainfo", R"(<launchable type="desktop-id">([^<]+)<)", "share/applications/NAME"},
      {"share/metainfo", R"(<binary>([^<]+)<)", "bin/NAME"},
      {"bin", R"(^(.+)$)", "share/man/man1/NAME.1"},
  };
  for (const auto& r : references) {
    std::vector<std::string> names;
    for (const auto& file : FilesIn(Prefix() + "/" + r.folder)) {
      auto found = Matches(std::string(r.folder) == "bin" ? file.filename().string() : Text(file),
                           r.pattern);
      names.insert(names.end(), found.begin(), found.end());
    }
    EXPECT_FALSE(names.empty()) << r.folder << " names nothing like " << r.pattern;
    for (const auto& name : names) {
      if (std::string(r.place) == "NAME") continue;  // the name itself was the point
      auto place = std::regex_replace(std::string(r.place), std::regex("NAME"), name);
      EXPECT_TRUE(fs::exists(Prefix() + "/" + place)) << r.folder << " names " << place;
    }
  }
}

TEST_F(InstallTest, TheCommandLinePageDescribesEveryOptionOfItsHelp) {
  std::string help;
  ASSERT_EQ(RunInstalled("cd-extractor-cli", "--help", &help), 0);
  const std::string page = Text(Prefix() + "/share/man/man1/cd-extractor-cli.1");
  std::set<std::string> options;
  for (const auto& option : Matches(help, R"(^  (--[a-z0-9-]+))")) options.insert(option);
  EXPECT_GT(options.size(), 20u) << help;
  for (const auto& option : options) {
    const std::string roff = "\\fB" + std::regex_replace(option, std::regex("-"), "\\-") + "\\fR";
    EXPECT_NE(page.find(roff), std::string::npos) << option << " is missing from the page";
  }
}

TEST_F(InstallTest, ThePackageHoldsWhatTheInstallHoldsAndNamesItsLibraries) {
  const std::string out = temp_->File("package");
  std::string output;
  ASSERT_EQ(
      RunCommand(Quote(CDX_CPACK) + " -G DEB --config " +
                     Quote(std::string(CDX_BUILD_DIR) + "/CPackConfig.cmake") + " -B " + Quote(out),
                 &output),
      0)
      << output;
  std::vector<fs::path> debs;
  for (const auto& file : FilesIn(out))
    if (file.extension() == ".deb") debs.push_back(file);
  ASSERT_EQ(debs.size(), 1u) << output;
  EXPECT_TRUE(std::regex_match(debs[0].filename().string(),
                               std::regex("cd-extractor_" CDX_VERSION "_[a-z0-9]+\\.deb")))
      << debs[0];

  std::string contents;
  ASSERT_EQ(RunCommand("dpkg-deb --contents " + Quote(debs[0].string()), &contents), 0);
  std::set<std::string> packaged, installed;
  for (const auto& path : Matches(contents, R"( \./usr/([^\n]*[^/\n])$)")) packaged.insert(path);
  for (const auto& [path, size] : FilesUnder(Prefix())) installed.insert(path);
  EXPECT_EQ(packaged, installed) << contents;

  std::string depends;
  ASSERT_EQ(RunCommand("dpkg-deb --field " + Quote(debs[0].string()) + " Depends", &depends), 0);
  for (const char* library :
       {"libc6", "libqt6widgets6", "libcdio", "libflac", "libmp3lame", "qt6-qpa-plugins"})
    EXPECT_NE(depends.find(library), std::string::npos) << library << " not in " << depends;
}

}  // namespace
}  // namespace cdx::test

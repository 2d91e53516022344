// The program as a user gets it: installed by `cmake --install` into a
// prefix of its own (once, for every test), and packaged by CPack; judged
// by the tools a distribution judges it with.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "tests/support/FlacTools.h"
#include "tests/support/TestSources.h"

namespace cdx::test {
namespace {

namespace fs = std::filesystem;

std::string Q(const std::string& text) {
  return "'" + text + "'";
}

std::string Text(const fs::path& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

// Every file under `dir`, relative to it.
std::set<std::string> FilesUnder(const fs::path& dir) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (!entry.is_directory()) files.insert(fs::relative(entry.path(), dir).string());
  return files;
}

std::vector<std::string> Matches(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  std::regex re(pattern, std::regex::multiline);
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it)
    found.push_back((*it)[1]);
  return found;
}

const TTempDir temp;
const std::string prefix = temp.File("prefix");

// Installs once, for the first test that asks.
int Installed() {
  static const int status = RunCommand(Q(CDX_CMAKE) + " --install " + Q(CDX_BUILD_DIR) +
                                       " --prefix " + Q(prefix) + " >/dev/null");
  return status;
}

// The installed command line as a user runs it: none of the test's
// environment (no discs folder of a test), a home of its own.
int RunCli(const std::string& args, std::string* output) {
  fs::create_directories(temp.File("run"));
  fs::permissions(temp.File("run"), fs::perms::owner_all);
  return RunCommand("env -i PATH=/usr/bin:/bin HOME=" + Q(temp.File("home")) +
                        " XDG_RUNTIME_DIR=" + Q(temp.File("run")) + " CDX_NO_DEVICES=1 " +
                        Q(prefix + "/bin/cd-extractor-cli") + " " + args,
                    output);
}

TEST(Install, TheCommandLineRipsTheInstalledDemoDiscAndWritesNothingIntoThePrefix) {
  ASSERT_EQ(Installed(), 0);
  const auto before = FilesUnder(prefix);
  std::string list, rip;
  ASSERT_EQ(RunCli("--list", &list), 0) << list;
  EXPECT_NE(list.find(fs::canonical(prefix + "/share/cd-extractor/discs/demo.cue")),
            std::string::npos)
      << list;
  // Offline, as tests are: the database is not asked.
  ASSERT_EQ(RunCli("--no-verify --format flac --out " + Q(temp.File("out")), &rip), 0) << rip;
  std::vector<std::string> audio, beside;
  for (const auto& file : FilesUnder(temp.File("out")))
    (fs::path(file).extension() == ".flac" ? audio : beside).push_back(file);
  EXPECT_EQ(audio.size(), Matches(list, R"(^ +(\d+) +audio )").size());
  // The rip log and the CUE sheet.
  EXPECT_EQ(beside.size(), 2u);
  for (const auto& file : audio) {
    std::string errors;
    EXPECT_TRUE(FlacTestPasses(temp.File("out/" + file), &errors)) << file << ": " << errors;
  }
  EXPECT_TRUE(fs::exists(temp.File("home/.config/cd-extractor/cdr.ini")));
  EXPECT_EQ(FilesUnder(prefix), before);
}

TEST(Install, TheDataFilesPassTheirValidatorsAndNameInstalledFiles) {
  ASSERT_EQ(Installed(), 0);
  const struct {
    const char* folder;
    const char* tool;
    bool silent;  // a pass prints nothing
  } validators[] = {{"share/applications", "desktop-file-validate", true},
                    {"share/metainfo", "appstreamcli validate --no-net", false},
                    {"share/man/man1", "groff -man -ww -z", true}};
  for (const auto& v : validators) {
    ASSERT_TRUE(fs::is_directory(prefix + "/" + v.folder)) << v.folder;
    for (const auto& file : fs::directory_iterator(prefix + "/" + v.folder)) {
      std::string output;
      EXPECT_EQ(RunCommand(std::string(v.tool) + " " + Q(file.path()), &output), 0) << output;
      EXPECT_TRUE(!v.silent || output.empty()) << file.path() << ": " << output;
    }
  }
  const std::string entry = Text(fs::directory_iterator(prefix + "/share/applications")->path());
  for (const auto& name : Matches(entry, "^Exec=(.+)$"))
    EXPECT_TRUE(fs::exists(prefix + "/bin/" + name));
  for (const auto& name : Matches(entry, "^Icon=(.+)$"))
    EXPECT_TRUE(fs::exists(prefix + "/share/icons/hicolor/scalable/apps/" + name + ".svg"));
  // The page the window's "website" link opens when the sources are gone.
  EXPECT_TRUE(fs::exists(prefix + "/share/doc/cd-extractor/README.md"));
  // The command line's page, made from its --help, has every option of it.
  std::string help;
  ASSERT_EQ(RunCli("--help", &help), 0);
  const std::string page = Text(prefix + "/share/man/man1/cd-extractor-cli.1");
  for (const auto& option : Matches(help, "^  (--[a-z0-9-]+)"))
    EXPECT_NE(page.find("\\fB" + std::regex_replace(option, std::regex("-"), "\\-") + "\\fR"),
              std::string::npos)
        << option;
}

TEST(Install, ThePackageHoldsWhatTheInstallHoldsAndNamesItsLibraries) {
  ASSERT_EQ(Installed(), 0);
  std::string output, contents, depends;
  ASSERT_EQ(RunCommand(Q(CDX_CPACK) + " -G DEB --config " + Q(CDX_BUILD_DIR "/CPackConfig.cmake") +
                           " -B " + Q(temp.File("package")),
                       &output),
            0)
      << output;
  std::string deb;
  for (const auto& file : fs::directory_iterator(temp.File("package")))
    if (file.path().extension() == ".deb") deb = file.path();
  EXPECT_EQ(fs::path(deb).filename().string().rfind("cd-extractor_" CDX_VERSION "_", 0), 0u);
  ASSERT_EQ(RunCommand("dpkg-deb --contents " + Q(deb), &contents), 0) << output;
  const auto packaged = Matches(contents, R"( \./usr/([^\n]*[^/\n])$)");
  EXPECT_EQ(std::set<std::string>(packaged.begin(), packaged.end()), FilesUnder(prefix));
  ASSERT_EQ(RunCommand("dpkg-deb --field " + Q(deb) + " Depends", &depends), 0);
  for (const char* library : {"libc6", "libqt6widgets6", "libcdio", "libflac", "qt6-qpa-plugins"})
    EXPECT_NE(depends.find(library), std::string::npos) << library << " not in " << depends;
}

}  // namespace
}  // namespace cdx::test

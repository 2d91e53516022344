// cdr.ini: where it is written, what it holds, and reading it back.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/cdrip/Ini.h"
#include "tests/cdrip/CdripFixture.h"

namespace cdx::test {
namespace {

using namespace cdrip;
namespace fs = std::filesystem;

std::string Text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(CdrIni, WrittenInThePreferredFolderWithTheTwoKeys) {
  TTempDir dir;
  auto path = CR_WriteSettingsFileIn(dir.Path(), dir.File("fallback"));
  EXPECT_EQ(path, dir.File("cdr.ini"));
  EXPECT_EQ(Text(path), "[CD-ROM]\nnActive=0\nnTransportLayer=1\n");
  EXPECT_FALSE(fs::exists(dir.File("fallback")));
}

TEST(CdrIni, OtherContentIsKeptAndKeysMatchWhateverTheirCase) {
  TTempDir dir;
  std::ofstream(dir.File("cdr.ini")) << "; note\n[Other]\nx = 1\n[cd-rom]\nNACTIVE=3\nnSpeed=8\n";
  CR_WriteSettingsFileIn(dir.Path(), "");
  EXPECT_EQ(Text(dir.File("cdr.ini")),
            "[Other]\nx=1\n[cd-rom]\nNACTIVE=0\nnSpeed=8\nnTransportLayer=1\n");
}

TEST(CdrIni, FallsBackWhenTheProgramFolderCannotBeWritten) {
  TTempDir dir;
  WriteFile(dir.File("plain-file"), {'x'});
  std::string unwritable = dir.File("plain-file") + "/sub";  // a folder under a file
  auto path = CR_WriteSettingsFileIn(unwritable, dir.File("config/cd-extractor"));
  EXPECT_EQ(path, dir.File("config/cd-extractor/cdr.ini"));
  EXPECT_EQ(Text(path), "[CD-ROM]\nnActive=0\nnTransportLayer=1\n");
  EXPECT_EQ(CR_WriteSettingsFileIn(unwritable, unwritable), "");
}

TEST(CdrIni, DefaultGoesBesideTheProgramAndInitReadsIt) {
  ScopedEnv noDevices("CDX_NO_DEVICES", "1");
  auto path = CR_WriteSettingsFile();
  auto exeDir = fs::read_symlink("/proc/self/exe").parent_path();
  EXPECT_EQ(path, (exeDir / "cdr.ini").string());
  IniFile ini;
  ASSERT_TRUE(ini.Load(path));
  EXPECT_EQ(ini.GetInt("CD-ROM", "nActive", -1), 0);
  EXPECT_EQ(ini.Get("cd-rom", "ntransportlayer"), "1");
  EXPECT_EQ(CR_Init(path.c_str()), CR_OK);
  EXPECT_EQ(CR_GetActiveCDROM(), 0);
  CR_DeInit();
}

TEST(IniFile, ReadsSectionsKeysAndNumbers) {
  TTempDir dir;
  std::ofstream(dir.File("a.ini")) << "top=ignored\n# comment\n [ A ] \n k1 = v 1 \nn=42\nbad=4x\n"
                                      "[B]\nk1=other\nno equals sign\n";
  IniFile ini;
  ASSERT_TRUE(ini.Load(dir.File("a.ini")));
  EXPECT_EQ(ini.Get("a", "K1"), "v 1");
  EXPECT_EQ(ini.Get("B", "k1"), "other");
  EXPECT_EQ(ini.Get("A", "top"), std::nullopt);
  EXPECT_EQ(ini.GetInt("A", "n", -1), 42);
  EXPECT_EQ(ini.GetInt("A", "bad", -1), -1);
  EXPECT_EQ(ini.GetInt("C", "n", 7), 7);
  EXPECT_FALSE(IniFile().Load(dir.File("none.ini")));
}

}  // namespace
}  // namespace cdx::test

// The CD source on an image whose reads the preloaded shim makes fail, or
// whose read ends the program.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "cd/ACS_CDROM.h"
#include "tests/cd/DiscFolder.h"
#include "tests/support/TestSources.h"
#include "tests/support/slowread/FreadFaults.h"
#include "tools/discmaker.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;

const std::vector<dm::TrackSpec> kDisc = {dm::Noise(300, 5), dm::Sine(75, 440)};
constexpr long long kBadSector = 200;

void Select(TCDIn& cd, int track) {
  cd.SetStartTrack(track);
  cd.SetEndTrack(track);
}

// Reads the open range to its end; the message of the error that stopped
// it, or "" when none did.
std::string ErrorReadingAll(TCDIn& cd, std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> buffer(TCDIn::kChunkBytes);
  try {
    while (int n = cd.ReadData(buffer.data(), TCDIn::kChunkBytes))
      bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + n);
  } catch (const EACSException& e) {
    return e.what();
  }
  return "";
}

TEST(CDInFaults, AReadErrorFailsItsTrackWithTheSectorAndWhyAndTheNextTrackRips) {
  auto faults = TFreadFaults::Find();
  ASSERT_TRUE(faults) << TFreadFaults::kMissing;
  DiscFolder folder;
  folder.Add("scratched", kDisc);
  auto cd = MakeComponent<TCDIn>();
  faults->FailBytes("scratched.bin", kBadSector * TCDIn::kSectorBytes,
                    (kBadSector + 1) * TCDIn::kSectorBytes, EIO);

  Select(*cd, 1);
  cd->OpenStream();
  std::vector<uint8_t> bytes;
  std::string error = ErrorReadingAll(*cd, bytes);
  cd->CloseStream();
  EXPECT_GT(faults->FailedReads(), 0);
  EXPECT_EQ(error.rfind("Read error at sector 200: ", 0), 0u) << error;
  EXPECT_NE(error.find(std::strerror(EIO)), std::string::npos) << error;

  Select(*cd, 2);
  cd->OpenStream();
  bytes.clear();
  EXPECT_EQ(ErrorReadingAll(*cd, bytes), "");
  cd->CloseStream();
  faults->Off();
  EXPECT_TRUE(bytes == dm::TrackBytes(kDisc[1], 300));
}

// A library that calls exit while a chunk is being read: the program's exit
// handlers close the CD library, which must not wait for that read.
void ExitInTheMiddleOfARead(int status) {
  auto faults = TFreadFaults::Find();
  if (!faults) return;
  DiscFolder folder;
  folder.Add("exiting", kDisc);
  auto cd = MakeComponent<TCDIn>();
  Select(*cd, 1);
  cd->OpenStream();
  faults->ExitInRead("exiting.bin", status);
  std::vector<uint8_t> bytes;
  ErrorReadingAll(*cd, bytes);
}

TEST(CDInFaultsDeathTest, AnExitDuringAReadEndsTheProgram) {
  ASSERT_TRUE(TFreadFaults::Find()) << TFreadFaults::kMissing;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ExitInTheMiddleOfARead(3), ::testing::ExitedWithCode(3), "");
}

}  // namespace
}  // namespace cdx::test

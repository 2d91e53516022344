#include "tests/cdrip/CdripFixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace cdx::test {

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const char* old = std::getenv(name);
  had_ = old != nullptr;
  if (had_) old_ = old;
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    setenv(name_.c_str(), old_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

void CdripTest::SetUp() {
  discs_ = temp_.File("discs");
  drives_ = temp_.File("drives");
  std::filesystem::create_directories(discs_);
  setenv("CDX_DISCS_DIR", discs_.c_str(), 1);
  setenv("CDX_DRIVES_DIR", drives_.c_str(), 1);
  setenv("CDX_NO_DEVICES", "1", 1);
}

void CdripTest::TearDown() {
  cdrip::CR_SetReadOffset(0);
  cdrip::CR_DeInit();
  unsetenv("CDX_DISCS_DIR");
  unsetenv("CDX_DRIVES_DIR");
  unsetenv("CDX_NO_DEVICES");
}

std::string CdripTest::MakeDisc(const std::string& name, const std::vector<dm::TrackSpec>& tracks,
                                const std::string& folder) {
  std::string dir = folder.empty() ? discs_ : folder;
  std::filesystem::create_directories(dir);
  std::string cue = dir + "/" + name + ".cue";
  dm::WriteImage(cue, tracks);
  return cue;
}

void CdripTest::Init(const std::string& iniText) {
  std::string ini = temp_.File("cdr.ini");
  std::filesystem::remove(ini);
  if (!iniText.empty()) std::ofstream(ini) << iniText;
  ASSERT_EQ(cdrip::CR_Init(ini.c_str()), cdrip::CR_OK);
}

RipResult CdripTest::Rip(uint32_t start, uint32_t end, int bufferSize,
                         const std::function<void(int)>& afterChunk) {
  RipResult r;
  int capacity = bufferSize;
  r.result = cdrip::CR_OpenRipper(&capacity, start, end);
  if (r.result != cdrip::CR_OK) return r;
  std::vector<uint8_t> buffer(bufferSize);
  bool abort = false;
  // A bound well above any test range, so that a library that never ends
  // fails the test instead of hanging it.
  for (int guard = 0; guard < 100000; ++guard) {
    int numBytes = -1;
    r.result = cdrip::CR_RipChunk(buffer.data(), &numBytes, &abort);
    r.lastNumBytes = numBytes;
    if (r.result != cdrip::CR_OK || numBytes <= 0) break;
    r.bytes.insert(r.bytes.end(), buffer.begin(), buffer.begin() + numBytes);
    r.largestChunk = std::max(r.largestChunk, numBytes);
    ++r.chunks;
    if (afterChunk) afterChunk(r.chunks);
  }
  if (r.result != cdrip::CR_OK)
    r.resultAfterFailure = cdrip::CR_RipChunk(buffer.data(), &r.bytesAfterFailure, &abort);
  cdrip::CR_CloseRipper();
  return r;
}

}  // namespace cdx::test

#include "platform/cdrip/CdaFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/cdrip/SafeFiles.h"

namespace fs = std::filesystem;

namespace cdrip {

namespace {

constexpr uint32_t kLeadIn = 150;

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutMsf(uint8_t* p, uint32_t frames) {
  p[0] = static_cast<uint8_t>(frames % 75);
  p[1] = static_cast<uint8_t>((frames / 75) % 60);
  p[2] = static_cast<uint8_t>(std::min<uint32_t>(frames / 4500, 255));
  p[3] = 0;
}

uint32_t DigitSum(uint32_t n) {
  uint32_t sum = 0;
  for (; n > 0; n /= 10) sum += n % 10;
  return sum;
}

// Never follows a symbolic link nor waits on a FIFO put in its place.
bool SameContent(const fs::path& path, const std::array<uint8_t, kCdaBytes>& bytes) {
  std::string old;
  return ReadRegularFile(path.string(), kCdaBytes, old, false) && old.size() == kCdaBytes &&
         std::memcmp(old.data(), bytes.data(), kCdaBytes) == 0;
}

}  // namespace

uint32_t DiscId(const std::vector<TOCENTRY>& toc) {
  if (toc.size() < 2) return 0;
  size_t tracks = toc.size() - 1;
  uint32_t sum = 0;
  for (size_t i = 0; i < tracks; ++i) sum += DigitSum((toc[i].dwStartSector + kLeadIn) / 75);
  uint32_t seconds =
      (toc[tracks].dwStartSector + kLeadIn) / 75 - (toc[0].dwStartSector + kLeadIn) / 75;
  return (sum % 255) << 24 | (seconds & 0xFFFF) << 8 | static_cast<uint32_t>(tracks & 0xFF);
}

std::array<uint8_t, kCdaBytes> CdaBytes(const std::vector<TOCENTRY>& toc, size_t index) {
  std::array<uint8_t, kCdaBytes> b{};
  uint32_t start = toc.at(index).dwStartSector;
  uint32_t length = toc.at(index + 1).dwStartSector - start;
  std::memcpy(&b[0], "RIFF", 4);
  Put32(&b[4], kCdaBytes - 8);
  std::memcpy(&b[8], "CDDA", 4);
  std::memcpy(&b[12], "fmt ", 4);
  Put32(&b[16], 24);
  Put16(&b[20], 1);
  Put16(&b[22], toc[index].btTrackNumber);
  Put32(&b[24], DiscId(toc));
  Put32(&b[28], start);
  Put32(&b[32], length);
  PutMsf(&b[36], start);
  PutMsf(&b[40], length);
  return b;
}

bool IsCdaName(const std::string& name) {
  return name.size() == 11 && name.compare(0, 5, "Track") == 0 && std::isdigit(name[5]) &&
         std::isdigit(name[6]) && name.compare(7, 4, ".cda") == 0;
}

std::string CdaName(int trackNumber) {
  char name[32];
  std::snprintf(name, sizeof name, "Track%02d.cda", trackNumber);
  return name;
}

void WriteCdaFiles(const std::string& root, const std::vector<TOCENTRY>& toc) {
  if (root.empty()) return;  // the drive has no folder
  std::error_code ec;
  fs::create_directories(root, ec);
  std::set<std::string> wanted;
  for (size_t i = 0; i + 1 < toc.size(); ++i) {
    if (toc[i].btFlag != CR_FLAG_AUDIO) continue;
    auto name = CdaName(toc[i].btTrackNumber);
    wanted.insert(name);
    auto bytes = CdaBytes(toc, i);
    fs::path path = fs::path(root) / name;
    if (!SameContent(path, bytes))
      ReplaceFile(path.string(), {reinterpret_cast<const char*>(bytes.data()), kCdaBytes});
  }
  for (const auto& entry : fs::directory_iterator(root, ec)) {
    auto name = entry.path().filename().string();
    if (IsCdaName(name) && !wanted.count(name)) fs::remove(entry.path(), ec);
  }
}

void RemoveCdaFiles(const std::string& root) {
  WriteCdaFiles(root, {});
}

}  // namespace cdrip

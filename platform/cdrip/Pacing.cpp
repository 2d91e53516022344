#include "platform/cdrip/Pacing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/cdrip/Ini.h"

namespace fs = std::filesystem;

namespace cdrip {

namespace {

// A real drive takes longer to reach a higher speed: about a second at 40x.
constexpr auto kSpinUpPerSpeed = std::chrono::milliseconds(25);
constexpr auto kLongestSpinUp = std::chrono::milliseconds(1500);

std::optional<int> ParseSpeed(const std::string& text) {
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < 0 || value > kMaxImageSpeed) return std::nullopt;
  return value;
}

bool SamePath(const std::string& written, const std::string& canonical) {
  std::error_code ec;
  auto resolved = fs::weakly_canonical(written, ec);
  return !ec && resolved == canonical;
}

int SpeedInSettings(const std::string& imagePath, const std::string& iniPath) {
  IniFile ini;
  if (iniPath.empty() || !ini.Load(iniPath)) return 0;
  for (const auto& section : ini.SectionNames()) {
    if (!section.starts_with('/') || !SamePath(section, imagePath)) continue;
    if (auto speed = ParseSpeed(ini.Get(section, "nSpeed").value_or(""))) return *speed;
  }
  return 0;
}

}  // namespace

int ImageSpeed(const Drive& drive, const std::string& iniPath) {
  if (!drive.image) return 0;
  const char* env = std::getenv("CDX_IMAGE_SPEED");
  if (auto speed = ParseSpeed(env ? env : "")) return *speed;
  return SpeedInSettings(drive.path, iniPath);
}

Pacer::Clock::duration Pacer::SpinUp() const {
  if (!Paced()) return Clock::duration::zero();
  return std::min<Clock::duration>(kSpinUpPerSpeed * speed_, kLongestSpinUp);
}

void Pacer::Resume(Clock::time_point now) {
  next_ = std::max(next_, now);
}

Pacer::Clock::time_point Pacer::Due(int sectors) const {
  if (!Paced()) return next_;
  return next_ + std::chrono::duration_cast<Clock::duration>(
                     std::chrono::duration<double>(sectors / SectorsPerSecond()));
}

int Pacer::CameBy(Clock::time_point now, int sectors) const {
  if (!Paced() || now >= Due(sectors)) return sectors;
  if (now <= next_) return 0;
  double came = std::chrono::duration<double>(now - next_).count() * SectorsPerSecond();
  return std::clamp(static_cast<int>(std::floor(came)), 0, sectors);
}

void Pacer::Delivered(int sectors, Clock::time_point readDone) {
  next_ = std::max(Due(sectors), readDone);
}

}  // namespace cdrip

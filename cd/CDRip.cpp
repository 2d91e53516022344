#include "cd/CDRip.h"

#include <cstdlib>
#include <mutex>

namespace cdx {

namespace {
void DeInitAtExit() {
  cdrip::CR_DeInit();
}
}  // namespace

void BindCDRip() {
  static std::once_flag atExit;
  std::string ini = cdrip::CR_WriteSettingsFile();
  cdrip::CR_Init(ini.c_str());
  std::call_once(atExit, [] { std::atexit(DeInitAtExit); });
}

bool CDRipLoaded() {
  return true;
}

}  // namespace cdx

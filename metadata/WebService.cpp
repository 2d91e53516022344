#include "metadata/WebService.h"

#include <cstdlib>

#include <algorithm>
#include <thread>

namespace metadata {

std::string UserAgent() {
  std::string contact = CDX_SERVICE_CONTACT;
  std::string agent = "cd-extractor/" CDX_VERSION;
  return contact.empty() ? agent : agent + " ( " + contact + " )";
}

std::string UserCacheFolder(const std::string& leaf) {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  std::string base = cache && *cache ? cache : std::string(home ? home : "") + "/.cache";
  return base + "/cd-extractor/" + leaf;
}

TRequestGate::TClock::time_point TRequestGate::Reserve(TClock::time_point now,
                                                       std::chrono::milliseconds interval) {
  std::lock_guard lock(mutex_);
  TClock::time_point slot = std::max(now, next_);
  next_ = slot + interval;
  return slot;
}

TRequestGate::TClock::time_point TRequestGate::Wait(std::chrono::milliseconds interval) {
  TClock::time_point slot = Reserve(TClock::now(), interval);
  std::this_thread::sleep_until(slot);
  return slot;
}

void TRequestGate::GiveBack(TClock::time_point slot, std::chrono::milliseconds interval) {
  std::lock_guard lock(mutex_);
  if (next_ == slot + interval) next_ = slot;
}

TRequestGate& MusicBrainzGate() {
  static TRequestGate gate;
  return gate;
}

TRequestGate& CoverArtGate() {
  static TRequestGate gate;
  return gate;
}

}  // namespace metadata

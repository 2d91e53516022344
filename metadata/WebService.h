// What every request to a web service of names and covers shares: who
// calls, and how often a service may be asked.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

namespace metadata {

// "cd-extractor/0.1.0 ( contact )": the services want each program named,
// with its version and a way to reach its makers (the build's
// CDX_SERVICE_CONTACT; without one the name and version alone).
std::string UserAgent();

// The folder `leaf` in the user's cache ($XDG_CACHE_HOME, else
// ~/.cache)/cd-extractor, where answers are kept between rips.
std::string UserCacheFolder(const std::string& leaf);

// Spaces the requests of one process to one service: each gets a moment
// at least `interval` after the one before, in the order they asked.
class TRequestGate {
 public:
  using TClock = std::chrono::steady_clock;

  // The moment a request asking at `now` may go, kept for it.
  TClock::time_point Reserve(TClock::time_point now, std::chrono::milliseconds interval);
  // Sleeps until the moment reserved now, and returns it.
  TClock::time_point Wait(std::chrono::milliseconds interval);
  // Gives back the moment `slot` of a request that reached no one (no
  // connection), unless a later request took its turn after it already:
  // offline, one lookup after another returns at once.
  void GiveBack(TClock::time_point slot, std::chrono::milliseconds interval);

 private:
  std::mutex mutex_;
  TClock::time_point next_{};
};

// The gates of the whole process, one per service.
TRequestGate& MusicBrainzGate();
TRequestGate& CoverArtGate();

}  // namespace metadata

// A folder of disc images that the CD library takes as its only drives.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TestSources.h"
#include "tools/discmaker.h"

namespace cdx::test {

class DiscFolder {
 public:
  DiscFolder() {
    std::filesystem::create_directories(Dir());
    setenv("CDX_DISCS_DIR", Dir().c_str(), 1);
    setenv("CDX_DRIVES_DIR", (temp_.Path() + "/drives").c_str(), 1);
    setenv("CDX_NO_DEVICES", "1", 1);
  }
  std::string Dir() const { return temp_.Path() + "/discs"; }
  std::string Add(const std::string& name, const std::vector<discmaker::TrackSpec>& tracks) {
    return discmaker::WriteImage(Dir() + "/" + name + ".cue", tracks);
  }

 private:
  TTempDir temp_;
};

}  // namespace cdx::test

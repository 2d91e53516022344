// Who writes the logs and asks the web services: the program's name and
// version as they appear there.
#pragma once

#include <string>

namespace cdx::verify {

// "0.1.0"
std::string ProgramVersion();
// "cd extractor 0.1.0"
std::string ProgramAndVersion();

}  // namespace cdx::verify

#include "verify/Program.h"

namespace cdx::verify {

std::string ProgramVersion() {
  return CDX_VERSION;
}

std::string ProgramAndVersion() {
  return "cd extractor " + ProgramVersion();
}

}  // namespace cdx::verify

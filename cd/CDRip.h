// Binding of the CD extraction library. The library is linked into the
// program, so it is always loaded; binding writes its settings file and
// initialises it, and the program de-initialises it when it ends.
#pragma once

#include "platform/cdrip/cdrip.h"

namespace cdx {

// Writes cdr.ini and initialises the library with it (again on every call,
// so a new CD source sees the drives as they are now).
void BindCDRip();
// The loaded flag of the binding.
bool CDRipLoaded();

}  // namespace cdx

#pragma once
// Registering the module in the registry of the user, and removing it again.

#include "platform/com/Result.h"

namespace varnkit::midictl {

// The type library, then the four classes: S_OK, SELFREG_E_TYPELIB (and no class
// registered), or SELFREG_E_CLASS.
com::HRESULT registerModule() noexcept;
// The type library's version 1.0, then the four classes, with the same results.
com::HRESULT unregisterModule() noexcept;

}  // namespace varnkit::midictl

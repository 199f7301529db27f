// Keeps the Midi module loaded for the whole test program, as a host that holds its controls
// would: the leak checker then still sees the module's globals at exit.

#include <dlfcn.h>

namespace {

[[maybe_unused]] void* const kModule = dlopen(MIDI_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);

}  // namespace

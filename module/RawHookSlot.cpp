// The raw-hook slot, set at build time. In a file of its own so that a test
// build of the module (tests/module/ProbeModule.cpp) sets it to a recording
// hook instead.
#include "ModuleLifecycle.h"

namespace quorbix {

ModuleHook const kRawHookSlot = RawAttachHook;

}  // namespace quorbix

// The raw-hook slot, set at build time. In a file of its own so that a test
// build of the module can put a recording hook in its place.
#include "ModuleLifecycle.h"

namespace quorbix {

ModuleHook gRawHookSlot = RawAttachHook;

}  // namespace quorbix

// A test build of the module: the real load and unload sequence and the
// platform's hooks, plus a recording raw hook, a static initialiser, an exit
// handler and a termination-table entry that note themselves in the
// framework's log.
#include <string>

#include "ModuleLifecycle.h"
#include "QuorbixFrameworkTesting.h"

namespace quorbix {
namespace {

int ProbeRawHook(void* instance, uint32_t reason, void* reserved) {
  QfwTestNote(reason == kProcessAttach ? "raw hook 1" : reason == kProcessDetach ? "raw hook 0"
                                                                                 : "raw hook other");
  return RawAttachHook(instance, reason, reserved);
}

// Constructed by static initialisation; its destructor is an exit handler.
struct StaticProbe {
  StaticProbe() { QfwTestNote("static initialiser"); }
  ~StaticProbe() { QfwTestNote("exit handler"); }
};
StaticProbe gStaticProbe;

__attribute__((destructor)) void TerminationProbe() { QfwTestNote("termination table"); }

}  // namespace

// This build's raw-hook slot, in place of module/RawHookSlot.cpp's.
ModuleHook const kRawHookSlot = ProbeRawHook;

}  // namespace quorbix

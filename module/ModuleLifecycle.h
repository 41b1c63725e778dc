// The module's load and unload sequence: registration with the application
// framework (QuorbixFramework) when a process loads the library, and
// unregistration when it unloads it.
//
// Platform-neutral. A platform file (ModuleElf_linux.cpp,
// ModuleStartup_win32.cpp) builds the ModulePlatform record of its pieces and
// calls ModuleStartup with it from whatever the platform's loader runs at
// load and unload; the tests build records of their own.
#pragma once

#include <cstdint>

#include "QuorbixFramework.h"

namespace quorbix {

// Reason codes of the start-up routine, as the platform loader passes them.
enum ModuleReason : uint32_t {
  kProcessDetach = 0,
  kProcessAttach = 1,
  kThreadAttach = 2,
  kThreadDetach = 3,
};

// The shape of the start-up routine, the raw hook and the module entry:
// (instance handle, reason, reserved) -> nonzero on success.
using ModuleHook = int (*)(void* instance, uint32_t reason, void* reserved);

// The module's extension-module record: zero when the module is loaded,
// written only by the framework.
extern QfwExtensionModule gExtensionModule;

// The raw-hook slot: consulted by the start-up routine before static
// initialisation; set at build time (RawHookSlot.cpp) to RawAttachHook.
extern ModuleHook const kRawHookSlot;

// What the start-up routine takes from the platform.
struct ModulePlatform {
  // The raw-hook slot's value; null skips the raw hook.
  ModuleHook rawHook;
  // Runs the module's static initialisers.
  void (*runStaticInitialisers)();
  // Runs the module's exit processing: the exit handlers it registered,
  // last first, then its termination tables.
  void (*runExitProcessing)();
};

// On process attach, moves the framework's two module-state lists into their
// "before" slots and empties them, so that static initialisation starts from
// empty lists. Returns 1 for every reason.
int RawAttachHook(void* instance, uint32_t reason, void* reserved);

// Process attach: initialises the extension module and registers a library
// record (a failed allocation is not a failure). Process detach: terminates
// the extension module. Other reasons: nothing.
int ModuleEntry(void* instance, uint32_t reason, void* reserved);

// The start-up routine: orders the raw hook, the platform's static
// initialisation and exit processing, and the module entry for each reason.
// Returns 0 when a process attach failed.
int ModuleStartup(const ModulePlatform& platform, void* instance, uint32_t reason,
                  void* reserved);

// After a process attach that ModuleStartup refused: the module was never
// registered, so the framework is not called; what did run is undone (the
// module's exit processing, then the raw hook with process detach).
void UndoRefusedAttach(const ModulePlatform& platform, void* instance, void* reserved);

}  // namespace quorbix

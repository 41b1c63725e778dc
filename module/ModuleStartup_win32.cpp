// Windows: the DLL's entry point, and the static initialisation and exit
// processing it hands the start-up routine.
//
// The loader calls a DLL's entry point with the reason codes of the start-up
// routine. mingw-w64's DLL start-up (DllMainCRTStartup) has no raw-hook slot:
// on process attach it runs the C initialisers and the C++ static
// constructors, then DllMain; on process detach DllMain, then the exit
// handlers and the termination table. So the DLL is linked with
// QbgModuleStartup as its entry point (-e), which runs the start-up routine,
// and the runtime's start-up serves as the routine's static initialisation
// and exit processing, with a DllMain that does nothing: the raw hook runs
// before the first static initialiser and after the last exit handler.
#include <windows.h>

#include "ModuleLifecycle.h"

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE instance, DWORD reason, LPVOID reserved);

namespace quorbix {
namespace {

// What the loader passed with the current process attach or detach, handed
// on to the runtime's start-up.
HANDLE gInstance;
LPVOID gReserved;

// The runtime's start-up ran for process attach and its exit processing is
// still to run.
bool gRuntimeAttached;
// The start-up routine's process attach succeeded: the module is registered
// with the framework and a process detach must unregister it.
bool gModuleAttached;

void RunStaticInitialisers() {
  gRuntimeAttached = DllMainCRTStartup(gInstance, DLL_PROCESS_ATTACH, gReserved) != FALSE;
}

void RunExitProcessing() {
  if (!gRuntimeAttached) return;
  gRuntimeAttached = false;
  DllMainCRTStartup(gInstance, DLL_PROCESS_DETACH, gReserved);
}

// Built at each call rather than as a static record: the raw-hook slot lives
// in another file, and a record initialised from it would wait for the
// static initialisation that it is to run.
ModulePlatform Platform() { return {kRawHookSlot, RunStaticInitialisers, RunExitProcessing}; }

}  // namespace
}  // namespace quorbix

extern "C" {

// Called by the runtime's start-up between static initialisation and exit
// processing; the start-up routine does the module's work itself.
BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD /*reason*/, LPVOID /*reserved*/) {
  return TRUE;
}

// The DLL's entry point.
BOOL WINAPI QbgModuleStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  using namespace quorbix;
  gInstance = instance;
  gReserved = reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    const int attached = ModuleStartup(Platform(), instance, kProcessAttach, reserved);
    if (attached != 0 && gRuntimeAttached) {
      gModuleAttached = true;
      return TRUE;
    }
    // The load fails. Whether or not the loader follows with a process
    // detach, what ran is undone now, as the C runtime does when DllMain
    // refuses an attach: a registered module is unregistered, the runtime's
    // exit processing runs, the raw hook last.
    if (attached != 0) {
      ModuleStartup(Platform(), instance, kProcessDetach, reserved);
    } else {
      UndoRefusedAttach(Platform(), instance, reserved);
    }
    return FALSE;
  }
  if (reason == DLL_PROCESS_DETACH) {
    if (!gModuleAttached) return TRUE;  // a failed attach was undone already
    gModuleAttached = false;
    return ModuleStartup(Platform(), instance, kProcessDetach, reserved) != 0 ? TRUE : FALSE;
  }
  return ModuleStartup(Platform(), instance, reason, reserved) != 0 ? TRUE : FALSE;
}

}  // extern "C"

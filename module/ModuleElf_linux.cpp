// Linux: the module's ELF load and unload hooks, and the static
// initialisation and exit processing they hand the start-up routine.
//
// The dynamic loader calls no start-up routine with reason codes. Instead it
// runs a module's DT_INIT function, then its DT_INIT_ARRAY (the static
// initialisers), and at unload its DT_FINI_ARRAY, then DT_FINI. The module is
// linked with ModuleTables_linux.ld, which turns the two arrays into private
// tables, and with -init/-fini naming the two hooks below; so the loader only
// calls the hooks, and the start-up routine runs the tables at its own steps:
// the raw hook before any static initialiser, the module entry before any
// exit processing, the raw hook with reason 0 last.
//
// At process exit without dlclose, the C library runs every exit handler
// registered with __cxa_atexit before any unload hook; the module registers
// none of its own.
#include "ModuleLifecycle.h"

namespace {

using TableEntry = void (*)(int argc, char** argv, char** envp);

}  // namespace

extern "C" {
// Set by the linker: the tables (ModuleTables_linux.ld), this module's ELF
// header (its load address, the instance handle) and its exit-handler key.
extern const TableEntry qbg_init_table_start[] __attribute__((visibility("hidden")));
extern const TableEntry qbg_init_table_end[] __attribute__((visibility("hidden")));
extern const TableEntry qbg_fini_table_start[] __attribute__((visibility("hidden")));
extern const TableEntry qbg_fini_table_end[] __attribute__((visibility("hidden")));
extern const char __ehdr_start __attribute__((visibility("hidden")));
extern void* __dso_handle __attribute__((visibility("hidden")));
void __cxa_finalize(void* dso);
}

namespace quorbix {
namespace {

// What the loader passes to DT_INIT, handed on to the static initialisers as
// it would have handed it to DT_INIT_ARRAY.
int gArgc;
char** gArgv;
char** gEnvp;

bool gStaticInitialised;

enum AttachState { kNotAttached, kAttached, kAttachFailed };
AttachState gAttachState = kNotAttached;

void* Instance() { return const_cast<char*>(&__ehdr_start); }

void RunStaticInitialisers() {
  for (const TableEntry* entry = qbg_init_table_start; entry != qbg_init_table_end; ++entry) {
    (*entry)(gArgc, gArgv, gEnvp);
  }
  gStaticInitialised = true;
}

void RunExitProcessing() {
  // Nothing to undo when the raw hook refused the load before static
  // initialisation.
  if (!gStaticInitialised) return;
  gStaticInitialised = false;
  __cxa_finalize(&__dso_handle);
  for (const TableEntry* entry = qbg_fini_table_end; entry != qbg_fini_table_start;) {
    (*--entry)(gArgc, gArgv, gEnvp);
  }
}

// Built at each call rather than as a static record: the raw-hook slot lives
// in another file, and a record initialised from it would wait for the
// static initialisation that it is to run.
ModulePlatform Platform() { return {kRawHookSlot, RunStaticInitialisers, RunExitProcessing}; }

}  // namespace
}  // namespace quorbix

extern "C" {

// DT_INIT. A failed attach cannot refuse the load here: dlopen still
// succeeds. The module then stays loaded without a framework registration;
// BMPGlow, which needs no framework service, keeps working.
__attribute__((visibility("hidden"))) void QbgModuleLoad(int argc, char** argv, char** envp) {
  using namespace quorbix;
  gArgc = argc;
  gArgv = argv;
  gEnvp = envp;
  const int attached = ModuleStartup(Platform(), Instance(), kProcessAttach, nullptr);
  gAttachState = attached != 0 ? kAttached : kAttachFailed;
}

// DT_FINI. After a failed attach the framework holds nothing of the module,
// so the module entry is skipped; the module's exit processing and the raw
// hook still run, as the code they belong to is about to be unmapped.
__attribute__((visibility("hidden"))) void QbgModuleUnload() {
  using namespace quorbix;
  if (gAttachState == kAttached) {
    ModuleStartup(Platform(), Instance(), kProcessDetach, nullptr);
  } else if (gAttachState == kAttachFailed) {
    UndoRefusedAttach(Platform(), Instance(), nullptr);
  }
  gAttachState = kNotAttached;
}

}  // extern "C"

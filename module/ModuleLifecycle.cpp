// The load and unload sequence of the module (see ModuleLifecycle.h).
#include "ModuleLifecycle.h"

namespace quorbix {

QfwExtensionModule gExtensionModule;

int RawAttachHook(void* /*instance*/, uint32_t reason, void* /*reserved*/) {
  if (reason == kProcessAttach) {
    QfwModuleState* state = QfwGetModuleState();
    state->firstListBefore = state->firstListHead;
    state->firstListHead = nullptr;
    state->secondListBefore = state->secondListHead;
    state->secondListHead = nullptr;
  }
  return 1;
}

int ModuleEntry(void* instance, uint32_t reason, void* /*reserved*/) {
  if (reason == kProcessAttach) {
    if (QfwInitExtensionModule(&gExtensionModule, instance) == 0) return 0;
    // The framework owns the record once constructed; the module keeps no
    // pointer to it. Without memory the module stays initialised but
    // unlisted, which the load does not treat as a failure.
    void* block = QfwAllocate(QFW_LIBRARY_RECORD_SIZE);
    if (block != nullptr) QfwConstructLibraryRecord(block, &gExtensionModule, 0);
    return 1;
  }
  if (reason == kProcessDetach) {
    QfwTermExtensionModule(&gExtensionModule, 0);
  }
  return 1;
}

int ModuleStartup(const ModulePlatform& platform, void* instance, uint32_t reason,
                  void* reserved) {
  if (reason == kProcessAttach) {
    if (platform.rawHook != nullptr && platform.rawHook(instance, reason, reserved) == 0) return 0;
    platform.runStaticInitialisers();
    return ModuleEntry(instance, reason, reserved);
  }
  if (reason == kProcessDetach) {
    int result = ModuleEntry(instance, reason, reserved);
    platform.runExitProcessing();
    if (platform.rawHook != nullptr && platform.rawHook(instance, kProcessDetach, reserved) == 0) {
      result = 0;
    }
    return result;
  }
  return ModuleEntry(instance, reason, reserved);
}

void UndoRefusedAttach(const ModulePlatform& platform, void* instance, void* reserved) {
  platform.runExitProcessing();
  if (platform.rawHook != nullptr) platform.rawHook(instance, kProcessDetach, reserved);
}

}  // namespace quorbix

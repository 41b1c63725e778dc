// QuorbixFramework: module state, extension modules, allocator and library
// records, with the call log and failure switches of the test seam.
//
// All state is plain static data with no constructors or destructors: the
// framework is called from modules' load and unload hooks, which can run
// before this library's static initialisers would and after its exit
// handlers have run.
#include "QuorbixFramework.h"

#include <cstdlib>
#include <cstring>

#include "QuorbixFrameworkTesting.h"

namespace {

// A library record as the framework lays it out in its 64-byte block.
struct LibraryRecord {
  LibraryRecord* next;
  QfwExtensionModule* module;
  void* instance;
  int32_t flag;
};
static_assert(sizeof(LibraryRecord) <= QFW_LIBRARY_RECORD_SIZE,
              "a library record must fit the block modules allocate for it");

QfwModuleState gModuleState;
LibraryRecord* gLibraryRecords;

int32_t gFailInit;
int32_t gFailAllocate;
QfwCall gCalls[QFW_CALL_LOG_SIZE];
size_t gCallCount;

QfwCall* LogCall(int32_t operation) {
  const size_t index = gCallCount++;
  if (index >= QFW_CALL_LOG_SIZE) return nullptr;
  QfwCall* call = &gCalls[index];
  std::memset(call, 0, sizeof *call);
  call->operation = operation;
  return call;
}

// Unlinks and releases the records of `module`, or every record when null.
void ReleaseLibraryRecords(const QfwExtensionModule* module) {
  LibraryRecord** link = &gLibraryRecords;
  while (*link != nullptr) {
    LibraryRecord* record = *link;
    if (module == nullptr || record->module == module) {
      *link = record->next;
      std::free(record);
    } else {
      link = &record->next;
    }
  }
}

}  // namespace

extern "C" {

QfwModuleState* QfwGetModuleState(void) {
  LogCall(QFW_GET_MODULE_STATE);
  return &gModuleState;
}

int32_t QfwInitExtensionModule(QfwExtensionModule* module, void* instance) {
  const int32_t result = (gFailInit != 0 || module == nullptr) ? 0 : 1;
  if (QfwCall* call = LogCall(QFW_INIT_EXTENSION_MODULE)) {
    call->module = module;
    call->pointer = instance;
    call->value = result;
  }
  if (result != 0) {
    module->initialised = 1;
    module->instance = instance;
  }
  return result;
}

void QfwTermExtensionModule(QfwExtensionModule* module, int32_t all) {
  if (QfwCall* call = LogCall(QFW_TERM_EXTENSION_MODULE)) {
    call->module = module;
    call->value = all;
  }
  if (module == nullptr) return;
  ReleaseLibraryRecords(all != 0 ? nullptr : module);
  module->initialised = 0;
}

void* QfwAllocate(size_t size) {
  void* block = gFailAllocate != 0 ? nullptr : std::malloc(size == 0 ? 1 : size);
  if (QfwCall* call = LogCall(QFW_ALLOCATE)) {
    call->pointer = block;
    call->size = size;
  }
  return block;
}

void QfwConstructLibraryRecord(void* block, QfwExtensionModule* module, int32_t flag) {
  if (QfwCall* call = LogCall(QFW_CONSTRUCT_LIBRARY_RECORD)) {
    call->module = module;
    call->pointer = block;
    call->value = flag;
  }
  if (block == nullptr) return;
  auto* record = static_cast<LibraryRecord*>(block);
  std::memset(block, 0, QFW_LIBRARY_RECORD_SIZE);
  record->module = module;
  record->instance = module != nullptr ? module->instance : nullptr;
  record->flag = flag;
  record->next = gLibraryRecords;
  gLibraryRecords = record;
}

void QfwTestReset(void) {
  ReleaseLibraryRecords(nullptr);
  std::memset(&gModuleState, 0, sizeof gModuleState);
  gFailInit = 0;
  gFailAllocate = 0;
  gCallCount = 0;
}

void QfwTestFailInit(int32_t fail) { gFailInit = fail; }

void QfwTestFailAllocate(int32_t fail) { gFailAllocate = fail; }

void QfwTestNote(const char* text) {
  if (QfwCall* call = LogCall(QFW_NOTE)) {
    if (text != nullptr) std::strncpy(call->note, text, QFW_NOTE_SIZE - 1);
  }
}

size_t QfwTestCallCount(void) { return gCallCount; }

int32_t QfwTestCall(size_t index, QfwCall* call) {
  if (index >= gCallCount || index >= QFW_CALL_LOG_SIZE || call == nullptr) return 0;
  *call = gCalls[index];
  return 1;
}

size_t QfwTestLibraryRecordCount(const QfwExtensionModule* module) {
  size_t count = 0;
  for (const LibraryRecord* record = gLibraryRecords; record != nullptr; record = record->next) {
    if (module == nullptr || record->module == module) ++count;
  }
  return count;
}

}  // extern "C"

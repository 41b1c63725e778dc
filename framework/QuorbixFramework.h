/*
 * QuorbixFramework: the application framework that extension modules such as
 * QuorbixBMPGlow register with when a process loads them.
 *
 * A small plain-C library: the module state of the current module, the
 * initialisation and termination of extension modules, the framework's
 * allocator and its library records. The framework keeps every constructed
 * library record in one list until the extension module that owns it is
 * terminated, so "registered" means "has a library record in that list".
 */
#ifndef QUORBIXFRAMEWORK_H
#define QUORBIXFRAMEWORK_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(QUORBIXFRAMEWORK_BUILDING)
#    define QUORBIXFRAMEWORK_API __declspec(dllexport)
#  else
#    define QUORBIXFRAMEWORK_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define QUORBIXFRAMEWORK_API __attribute__((visibility("default")))
#else
#  define QUORBIXFRAMEWORK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Size in bytes of a library record; allocate this much with QfwAllocate
 * before QfwConstructLibraryRecord. */
#define QFW_LIBRARY_RECORD_SIZE 64

/* The framework's record of the current module. Static initialisers add
 * entries to the two lists; each list head is paired with a slot that keeps
 * the list as it stood before the module's static initialisation. */
typedef struct QfwModuleState {
  void* firstListHead;
  void* firstListBefore;
  void* secondListHead;
  void* secondListBefore;
} QfwModuleState;

/* One extension module. The module owns a zero-filled static instance and
 * passes it by reference; only the framework writes it. */
typedef struct QfwExtensionModule {
  int32_t initialised;   /* nonzero between initialisation and termination */
  int32_t reserved;
  void* instance;        /* the instance handle given at initialisation */
} QfwExtensionModule;

QUORBIXFRAMEWORK_API QfwModuleState* QfwGetModuleState(void);

/* Initialises `module` for the module loaded at `instance`. Returns nonzero on
 * success, zero when the framework refuses the module. */
QUORBIXFRAMEWORK_API int32_t QfwInitExtensionModule(QfwExtensionModule* module, void* instance);

/* Terminates `module`: releases its library records (every library record
 * when `all` is nonzero) and marks it uninitialised. */
QUORBIXFRAMEWORK_API void QfwTermExtensionModule(QfwExtensionModule* module, int32_t all);

/* The framework's allocator: a block of `size` bytes, or null. */
QUORBIXFRAMEWORK_API void* QfwAllocate(size_t size);

/* Constructs a library record for `module` in `block` (QFW_LIBRARY_RECORD_SIZE
 * bytes from QfwAllocate) and adds it to the framework's list. The framework
 * owns the block from then on and releases it when `module` is terminated.
 * `flag` is kept in the record; extension modules pass 0. */
QUORBIXFRAMEWORK_API void QfwConstructLibraryRecord(void* block, QfwExtensionModule* module,
                                                    int32_t flag);

#ifdef __cplusplus
}
#endif

#endif /* QUORBIXFRAMEWORK_H */

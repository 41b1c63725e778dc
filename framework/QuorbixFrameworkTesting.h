/*
 * Test seam of QuorbixFramework: makes initialisation or allocation fail and
 * reads back the calls the framework received and what is registered.
 * Not meant for production callers.
 */
#ifndef QUORBIXFRAMEWORKTESTING_H
#define QUORBIXFRAMEWORKTESTING_H

#include "QuorbixFramework.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum QfwOperation {
  QFW_GET_MODULE_STATE = 1,
  QFW_INIT_EXTENSION_MODULE = 2,
  QFW_TERM_EXTENSION_MODULE = 3,
  QFW_ALLOCATE = 4,
  QFW_CONSTRUCT_LIBRARY_RECORD = 5,
  QFW_NOTE = 6 /* an event a test recorded with QfwTestNote */
} QfwOperation;

#define QFW_NOTE_SIZE 32

/* One call the framework received, in the order received. */
typedef struct QfwCall {
  int32_t operation;                /* QfwOperation */
  int32_t value;                    /* the flag of term and construct; the result of init */
  const QfwExtensionModule* module; /* init, term, construct */
  const void* pointer;              /* init: instance; allocate: the block; construct: block */
  size_t size;                      /* allocate: the byte count */
  char note[QFW_NOTE_SIZE];         /* note: its text (copied, truncated) */
} QfwCall;

/* Forgets the call log and every library record and clears the module state
 * and both failure switches. */
QUORBIXFRAMEWORK_API void QfwTestReset(void);

/* While nonzero, QfwInitExtensionModule refuses (returns zero). */
QUORBIXFRAMEWORK_API void QfwTestFailInit(int32_t fail);
/* While nonzero, QfwAllocate returns null. */
QUORBIXFRAMEWORK_API void QfwTestFailAllocate(int32_t fail);

/* Appends a note to the call log, so that a test can place its own events
 * (a static initialiser ran, a hook was called) among the framework calls. */
QUORBIXFRAMEWORK_API void QfwTestNote(const char* text);

/* The number of calls logged (the log keeps the first QFW_CALL_LOG_SIZE). */
#define QFW_CALL_LOG_SIZE 64
QUORBIXFRAMEWORK_API size_t QfwTestCallCount(void);
/* Copies call `index` into `call`; returns zero when there is no such call. */
QUORBIXFRAMEWORK_API int32_t QfwTestCall(size_t index, QfwCall* call);

/* Library records registered for `module`, or for all modules when null. */
QUORBIXFRAMEWORK_API size_t QfwTestLibraryRecordCount(const QfwExtensionModule* module);

#ifdef __cplusplus
}
#endif

#endif /* QUORBIXFRAMEWORKTESTING_H */

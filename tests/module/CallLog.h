// Reading the framework's call log in tests, one line per call, so that a
// sequence compares as a whole and a mismatch shows both sequences.
#pragma once

#include <string>
#include <vector>

#include "QuorbixFrameworkTesting.h"

namespace calllog {

// "get-state", "init", "init-refused", "term", "allocate 64", "allocate 64
// null", "construct", or the text of a note.
inline std::string Describe(const QfwCall& call) {
  switch (call.operation) {
    case QFW_GET_MODULE_STATE: return "get-state";
    case QFW_INIT_EXTENSION_MODULE: return call.value != 0 ? "init" : "init-refused";
    case QFW_TERM_EXTENSION_MODULE: return "term " + std::to_string(call.value);
    case QFW_ALLOCATE:
      return "allocate " + std::to_string(call.size) + (call.pointer == nullptr ? " null" : "");
    case QFW_CONSTRUCT_LIBRARY_RECORD: return "construct " + std::to_string(call.value);
    case QFW_NOTE: return call.note;
    default: return "unknown";
  }
}

// The calls logged from index `from` on.
inline std::vector<QfwCall> Calls(size_t from = 0) {
  std::vector<QfwCall> calls;
  QfwCall call;
  for (size_t i = from; QfwTestCall(i, &call) != 0; ++i) calls.push_back(call);
  return calls;
}

inline std::vector<std::string> Sequence(size_t from = 0) {
  std::vector<std::string> lines;
  for (const QfwCall& call : Calls(from)) lines.push_back(Describe(call));
  return lines;
}

// The first logged call of `operation` from index `from` on.
inline QfwCall First(int32_t operation, size_t from = 0) {
  for (const QfwCall& call : Calls(from)) {
    if (call.operation == operation) return call;
  }
  return QfwCall{};
}

}  // namespace calllog

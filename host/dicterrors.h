#ifndef HOST_DICTERRORS_H
#define HOST_DICTERRORS_H

// Raising the dictionary classes' errors: trace "Throwing exception" with the
// source, line, key and first insert, then throw.

#include "zelexception.h"
#include "zellog.h"

#include <cstdint>
#include <cstddef>

template <class Exception, class... Inserts>
[[noreturn]] void throwDictError(const char* sourceName, long line, const char* function, std::uint32_t message,
                                 const Inserts&... inserts) {
  Exception error(sourceName, line, function, zelDefaultLogSourceName(), message);
  (error.addInsert(inserts), ...);
  if (ZelLog::traceOn()) {
    ZelLog::trace(nullptr, function,
                  {"Throwing exception", sourceName, line, ZelMessages::keyOf(message), error.insertText(0)});
  }
  throw error;
}

// The error of a corrupt or truncated serialized dictionary.
[[noreturn]] void throwDictFormatError(const char* function, const std::string& what, std::size_t offset);

#endif

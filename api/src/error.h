#ifndef WFXML_SRC_ERROR_H
#define WFXML_SRC_ERROR_H

// Turning the host framework's exceptions into wfxml::Error at the API's
// edge, and raising the API's own errors.

#include "wfxml/wfxml.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace wfxml::detail {

// Raises Error with the message's key and these inserts, its host
// exception naming the throw site (file, line, function) as the host's do.
[[noreturn]] void throwError(const char* file, long line, const char* function, std::uint32_t messageNumber,
                             std::initializer_list<std::string> inserts);

// Throws the scanner's host exception (ZelParserException
// CP_XML_XERCES_PARSER_EXCEPTION) for a document refused beside the
// scanner: at line and column (from 1), for reason, with Xerces-C's error
// code (0 for none) and the element's path where known.
[[noreturn]] void throwDocumentRefusal(long line, long column, const std::string& reason, std::int64_t code,
                                       const char* function, const std::string& path = "");

// Raises Error CP_NOT_SCHEMA_VALID (inserts: the number of problems, the
// first as describe() writes it) carrying the problems (at least one).
[[noreturn]] void throwNotValid(const char* file, long line, const char* function,
                                std::vector<ValidationError> problems);
// "LINE:COLUMN: PATH: MESSAGE" ("/" for no path).
std::string describe(const ValidationError& problem);

// A line and column (from 1) moved elsewhere: where a place in a document
// made of parts of another lies in that other.
using PlaceMove = std::function<std::pair<long, long>(long line, long column)>;
// The same error with every place it names moved: its location (in what()
// too), the scanner's line and column inserts, the validation problems (and
// the first one's insert). The host exception kept is a copy located at the
// moved place, its inserts that name the place moved too.
Error withPlacesMoved(const Error& error, const PlaceMove& move);

// Runs work and returns what it returns; a host exception leaves as Error,
// anything else (a callback's own exception, std::bad_alloc) unchanged.
template <class Work>
decltype(auto) translated(Work&& work);

// Inside a handler: rethrows the exception being handled, a host exception
// as the Error that stands for it (key, number, inserts in UTF-8, the host
// exception kept for hosts). Out of line, so that callers need not know the
// host's exception classes.
[[noreturn]] void rethrowTranslated();

// translated(work) for loading the dictionary file at path: an error in the
// dictionary's content names the file.
template <class Work>
decltype(auto) translatedLoad(const std::string& path, Work&& work);

template <class Work>
decltype(auto) translated(Work&& work) {
  try {
    return std::forward<Work>(work)();
  } catch (...) {
    rethrowTranslated();
  }
}

// Whether the error is about the content of a dictionary (which then names its file).
bool isDictionaryContentError(const Error& error);

template <class Work>
decltype(auto) translatedLoad(const std::string& path, Work&& work) {
  try {
    return translated(std::forward<Work>(work));
  } catch (const Error& e) {
    if (isDictionaryContentError(e)) throw e.inFile(path);
    throw;
  }
}

}  // namespace wfxml::detail

#endif

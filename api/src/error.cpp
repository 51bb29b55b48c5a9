#include "error.h"

#include "zelexception.h"

#include <tuple>

namespace wfxml {
namespace {
ZelLocation hostLocationOf(const Error::Location& location) {
  ZelLocation host;
  host.file = location.file;
  host.line = location.line;
  host.column = location.column;
  host.path = location.path;
  return host;
}
}  // namespace

Error::Error(std::string key, std::uint32_t number, std::vector<std::string> inserts, const std::string& message)
    : std::runtime_error(message),
      key_(std::move(key)),
      number_(number),
      inserts_(std::move(inserts)),
      description_(message) {}

Error::Error(std::string key, std::uint32_t number, std::vector<std::string> inserts, std::string description,
             Location location, std::exception_ptr hostException, std::vector<ValidationError> validationErrors)
    : std::runtime_error(zelOneLine(hostLocationOf(location), description)),
      key_(std::move(key)),
      number_(number),
      inserts_(std::move(inserts)),
      description_(std::move(description)),
      location_(std::move(location)),
      hostException_(std::move(hostException)),
      validationErrors_(std::move(validationErrors)) {}

Error::~Error() = default;

Error Error::inFile(const std::string& file) const {
  if (!location_.file.empty()) return *this;
  Location location = location_;
  location.file = file;
  return Error(key_, number_, inserts_, description_, std::move(location), hostException_, validationErrors_);
}

namespace detail {
namespace {
// Inside the handler of e.
Error toError(const ZelException& e) {
  std::vector<std::string> inserts;
  inserts.reserve(e.getInserts().size());
  for (const ZelInsert& insert : e.getInserts()) inserts.push_back(insert.toUtf8());
  const ZelLocation where = e.location();
  Error::Location location;
  location.file = where.file;
  location.line = where.line;
  location.column = where.column;
  location.path = where.path;
  return Error(e.getKey(), e.getMessageNumber(), std::move(inserts), e.describe(), std::move(location),
               std::current_exception());
}
}  // namespace

void throwError(const char* file, long line, const char* function, std::uint32_t messageNumber,
                std::initializer_list<std::string> inserts) {
  try {
    ZelFatalException e(file, line, function, nullptr, messageNumber);
    for (const std::string& insert : inserts) e.addInsert(insert);
    throw e;
  } catch (const ZelException& e) {
    throw toError(e);
  }
}

namespace {
// Error CP_NOT_SCHEMA_VALID for problems (at least one), its host exception
// thrown at file, line, function.
Error notValid(const char* file, long line, const char* function, std::vector<ValidationError> problems) {
  const ValidationError& first = problems.front();
  try {
    ZelFatalException e(file, line, function, nullptr, ZelMessages::CP_NOT_SCHEMA_VALID);
    e.addInsert(static_cast<unsigned long>(problems.size()));
    e.addInsert(describe(first));
    ZelLocation where;
    where.line = static_cast<long>(first.line);
    where.column = static_cast<long>(first.column);
    where.path = first.path;
    e.setLocation(where);
    e.setSummary(problems.size() == 1 ? first.message
                                      : first.message + " (and " + std::to_string(problems.size() - 1) + " more)");
    throw e;
  } catch (const ZelException& e) {
    const Error error = toError(e);
    return Error(error.key(), error.number(), error.inserts(), error.description(), error.location(),
                 error.hostException(), std::move(problems));
  }
}

}  // namespace

void throwDocumentRefusal(long line, long column, const std::string& reason, std::int64_t code, const char* function,
                          const std::string& path) {
  ZelParserException e(__FILE__, __LINE__, function, nullptr, ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION);
  e.addInsert("the document's bytes")
      .addInsert(static_cast<long long>(code))
      .addInsert("")
      .addInsert(static_cast<long long>(line))
      .addInsert(static_cast<long long>(column))
      .addInsert(reason)
      .addInsert("")
      .addInsert("");
  e.setSummary(reason);
  e.setLocation({"", line, column, path});
  throw e;
}

void throwNotValid(const char* file, long line, const char* function, std::vector<ValidationError> problems) {
  throw notValid(file, line, function, std::move(problems));
}

std::string describe(const ValidationError& problem) {
  return std::to_string(problem.line) + ":" + std::to_string(problem.column) + ": " +
         (problem.path.empty() ? "/" : problem.path) + ": " + problem.message;
}

Error withPlacesMoved(const Error& error, const PlaceMove& move) {
  std::vector<ValidationError> problems = error.validationErrors();
  for (ValidationError& problem : problems) {
    const auto [line, column] = move(static_cast<long>(problem.line), static_cast<long>(problem.column));
    problem.line = static_cast<std::uint64_t>(line);
    problem.column = static_cast<std::uint64_t>(column);
  }
  Error::Location location = error.location();
  if (location.line > 0) std::tie(location.line, location.column) = move(location.line, location.column);
  std::exception_ptr host;
  if (error.hostException()) {
    try {
      std::rethrow_exception(error.hostException());
    } catch (const ZelException& thrown) {
      if (!problems.empty())
        return notValid(thrown.getSourceFile().c_str(), thrown.getLine(), thrown.getFunction().c_str(),
                        std::move(problems));
      try {
        thrown.throwThis();  // a copy: the error moved may not change the one it came from
      } catch (ZelException& copy) {
        if (location.line > 0) copy.moveTo(location.line, location.column);
        host = std::current_exception();
      }
    } catch (...) {
      host = error.hostException();
    }
  }
  std::vector<std::string> inserts = error.inserts();
  // The scanner's error event names its line and column as inserts 3 and 4
  // (text, code, public id, line, column, reason, message, element).
  if (error.number() == ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION && inserts.size() == 8 && location.line > 0) {
    inserts[3] = std::to_string(location.line);
    inserts[4] = std::to_string(location.column);
  }
  return Error(error.key(), error.number(), std::move(inserts), error.description(), std::move(location), host,
               std::move(problems));
}

bool isDictionaryContentError(const Error& error) {
  return error.number() == ZelMessages::CP_DICTIONARY_FORMAT_ERROR;
}

void rethrowTranslated() {
  try {
    throw;
  } catch (const ZelException& e) {
    throw toError(e);
  }
}

}  // namespace detail
}  // namespace wfxml

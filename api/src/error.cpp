#include "error.h"

#include "zelexception.h"

namespace wfxml {

Error::Error(std::string key, std::uint32_t number, std::vector<std::string> inserts, const std::string& message)
    : Error(std::move(key), number, std::move(inserts), message, nullptr) {}

Error::Error(std::string key, std::uint32_t number, std::vector<std::string> inserts, const std::string& message,
             std::exception_ptr hostException)
    : Error(std::move(key), number, std::move(inserts), message, std::move(hostException), {}) {}

Error::Error(std::string key, std::uint32_t number, std::vector<std::string> inserts, const std::string& message,
             std::exception_ptr hostException, std::vector<ValidationError> validationErrors)
    : std::runtime_error(message),
      key_(std::move(key)),
      number_(number),
      inserts_(std::move(inserts)),
      hostException_(std::move(hostException)),
      validationErrors_(std::move(validationErrors)) {}

Error::~Error() = default;

namespace detail {
namespace {
// "KEY: insert 1 | insert 2": what a user reads; the throw site stays with
// the host exception.
std::string messageOf(const std::string& key, const std::vector<std::string>& inserts) {
  std::string text = key;
  for (std::size_t i = 0; i < inserts.size(); ++i) text += (i == 0 ? ": " : " | ") + inserts[i];
  return text;
}

// Inside the handler of e.
Error toError(const ZelException& e) {
  std::vector<std::string> inserts;
  inserts.reserve(e.getInserts().size());
  for (const ZelInsert& insert : e.getInserts()) inserts.push_back(insert.toUtf8());
  std::string key = e.getKey();
  std::string message = messageOf(key, inserts);
  return Error(std::move(key), e.getMessageNumber(), std::move(inserts), message, std::current_exception());
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

void throwNotValid(const char* file, long line, const char* function, std::vector<ValidationError> problems) {
  const ValidationError& first = problems.front();
  try {
    ZelFatalException e(file, line, function, nullptr, ZelMessages::CP_NOT_SCHEMA_VALID);
    e.addInsert(static_cast<unsigned long>(problems.size()));
    e.addInsert(describe(first));
    throw e;
  } catch (const ZelException& e) {
    Error error = toError(e);
    throw Error(error.key(), error.number(), error.inserts(), error.what(), error.hostException(), std::move(problems));
  }
}

std::string describe(const ValidationError& problem) {
  return std::to_string(problem.line) + ":" + std::to_string(problem.column) + ": " +
         (problem.path.empty() ? "/" : problem.path) + ": " + problem.message;
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

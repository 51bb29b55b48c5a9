#ifndef WFXML_SRC_SCHEMAVALIDATOR_H
#define WFXML_SRC_SCHEMAVALIDATOR_H

// Documents checked against a message set's XML Schema documents by
// Xerces-C's schema validator. The grammar is parsed once, into a locked
// grammar pool that any number of threads validate against at once; each
// thread borrows a reader (with its scanner and buffers) from a pool.

#include "wfxml/wfxml.h"

#include "entitylimits.h"
#include "schemadocument.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {

// A document checked while it is read, token by token, so that a caller
// holding only a part of it knows how far the check has come.
class SteppedCheck {
public:
  virtual ~SteppedCheck() = default;
  // Checks the next piece of markup or text, reading bytes as it needs
  // them; false once the check has ended (at the document's end or at a
  // fault that ends it). What the source throws passes out.
  virtual bool next() = 0;
  // How many of the document's bytes have been checked: all before this
  // offset have been read, their problems found. Expansions of entities
  // count as the reference that made them.
  virtual std::uint64_t checked() const = 0;
  // The problems found so far, in document order.
  virtual const std::vector<ValidationError>& problems() const = 0;
};

// Where a problem lies: per element of its path from the root, its position
// (from 1) among its siblings of its name; and the attribute of the last
// one's start tag the problem is about (its name as written), where the
// problem tells which (the validator's messages quote the value, or name it).
struct ProblemPlace {
  std::vector<std::size_t> positions;
  std::string attribute;
};

class SchemaValidator {
public:
  // Parses the documents (the roots, which find the others through their
  // includes and imports) with full schema checking. Nothing outside
  // documents is read: a schemaLocation that names no kept document is
  // unresolved, as Xerces-C treats a missing file. Throws Error
  // CP_DICTIONARY_SOURCE_ERROR (inserts: the schema document, "line L,
  // column C", what Xerces-C says) for a schema it refuses, CP_NO_SCHEMA
  // (insert: why) when documents is empty.
  explicit SchemaValidator(const SchemaDocuments& documents);
  ~SchemaValidator();
  SchemaValidator(const SchemaValidator&) = delete;
  SchemaValidator& operator=(const SchemaValidator&) = delete;

  // Every problem of the document, in order; empty when it is valid.
  // reading: the encoding to force ("UTF-16LE", "ibm-500"; empty to find
  // it from the document) and the entity references expanded at most, as
  // the parse reads it. places, when given, gets each problem's
  // ProblemPlace, in the problems' order. Thread-safe.
  std::vector<ValidationError> validate(const void* bytes, std::size_t size, const ReadingOfParse& reading,
                                        std::vector<ProblemPlace>* places = nullptr) const;

  // A check of the document whose first bytes are firstBytes and whose
  // other bytes rest gives (each view valid until the next call, empty at
  // the end); the check holds no more of it than the scanner's buffer. The
  // validator must outlive it. reading as for validate.
  std::unique_ptr<SteppedCheck> checkInSteps(std::string_view firstBytes, std::function<std::string_view()> rest,
                                             const ReadingOfParse& reading) const;

  // Elements nested deeper than this are reported and end the check.
  static constexpr std::size_t kMaxElementDepth = 1000;
  // Names of elements the schemas do not declare (what a wildcard admits, or
  // a mistake) per document before the check stops: Xerces-C keeps a
  // declaration for each in a table that does not grow, and each new name
  // walks more of it.
  static constexpr std::size_t kMaxUndeclaredNames = 10000;
  // Problems reported per document before the check stops with one more
  // that says so: a fault repeated in each of a file's million records would
  // otherwise be held a million times.
  static constexpr std::size_t kMaxProblems = 10000;
  // Elements that lax content holds and Xerces-C leaves unchecked are
  // checked apart, each with what it holds, and within them again: so many
  // times over at most, past which the check reports it.
  static constexpr std::size_t kMaxApartNesting = 8;

private:
  class Grammar;
  class Checker;
  class Stepped;
  std::unique_ptr<Checker> takeChecker() const;
  void giveBack(std::unique_ptr<Checker> checker) const;

  std::unique_ptr<Grammar> grammar_;
  mutable std::mutex idleLock_;
  mutable std::vector<std::unique_ptr<Checker>> idle_;
};

}  // namespace wfxml::detail

#endif

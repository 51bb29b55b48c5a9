#ifndef WFXML_SRC_VALUEPATTERN_H
#define WFXML_SRC_VALUEPATTERN_H

// A type's pattern facet, matched by Xerces-C's own expressions: whether a
// spelling passes is what its validator decides of the document written.

#include <xercesc/util/XercesDefs.hpp>

#include <memory>
#include <string>
#include <string_view>

XERCES_CPP_NAMESPACE_BEGIN
class RegularExpression;
XERCES_CPP_NAMESPACE_END

namespace wfxml::detail {

// Xerces-C's expressions build a character class's lookup table when it is
// first matched, writing into the expression (and into the classes \d, \w
// ... that all expressions share): two threads doing so at once fail an
// assertion and abort. Builds every table of expression, so that threads
// only read it.
void buildLookupTables(const xercesc::RegularExpression& expression);

class ValuePattern {
public:
  // Null for an expression Xerces-C cannot read, or cannot match in bounded
  // time (unboundedPatternMatch): a schema it compiled has neither, and the
  // validator refuses the schema of a dictionary made otherwise.
  static std::unique_ptr<const ValuePattern> compile(const std::string& expression);
  ~ValuePattern();
  ValuePattern(const ValuePattern&) = delete;
  ValuePattern& operator=(const ValuePattern&) = delete;

  // Whether the whole text (UTF-8) matches. Thread-safe.
  bool matches(std::string_view text) const;

private:
  struct Expression;
  explicit ValuePattern(std::unique_ptr<Expression> expression);
  std::unique_ptr<Expression> expression_;
};

}  // namespace wfxml::detail

#endif

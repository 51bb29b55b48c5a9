#ifndef WFXML_SRC_ENTITYLIMITS_H
#define WFXML_SRC_ENTITYLIMITS_H

#include <cstddef>
#include <string>

namespace wfxml::detail {

// The parser's bounds on what entity references may add to a document, kept
// by every other reading of the same bytes, so that none does more than the
// parse would: entity references expanded per document (unless the message
// property "entityExpansionLimit" gives another), and the character data
// they may add beyond the document's length, in UTF-16 units.
constexpr std::size_t kEntityExpansionLimit = 1000;
constexpr std::size_t kEntityTextAllowance = std::size_t{4} << 20;

// The limit a caller asked for (ParseOptions, the message property), 0 for
// the default.
inline std::size_t entityExpansionLimitOf(std::size_t asked) { return asked > 0 ? asked : kEntityExpansionLimit; }

// How the parse reads the document: the encoding name forced on the
// scanner (empty for none), and the entity references it expands at most.
// Every other reading of the document reads it so too.
struct ReadingOfParse {
  std::u16string scannerEncoding;
  std::size_t entityExpansionLimit = kEntityExpansionLimit;
};

}  // namespace wfxml::detail

#endif

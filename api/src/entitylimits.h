#ifndef WFXML_SRC_ENTITYLIMITS_H
#define WFXML_SRC_ENTITYLIMITS_H

#include <cstddef>

namespace wfxml::detail {

// The parser's bounds on what entity references may add to a document, kept
// by every other reading of the same bytes, so that none does more than the
// parse would: entity references expanded per document (unless the message
// property "entityExpansionLimit" gives another), and the character data
// they may add beyond the document's length, in UTF-16 units.
constexpr std::size_t kEntityExpansionLimit = 1000;
constexpr std::size_t kEntityTextAllowance = std::size_t{4} << 20;

}  // namespace wfxml::detail

#endif

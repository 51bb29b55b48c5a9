#ifndef WFXML_SRC_OUTPUTCHECK_H
#define WFXML_SRC_OUTPUTCHECK_H

// A document written from a message, checked against the XML Schema
// documents its message set keeps before it leaves the library: Xerces-C's
// validator sees what the content check cannot (values outside their
// facets: enumerations, patterns, lengths, ranges, digits; choices with no
// branch given). Its first problem is refused at the tree element it names,
// found by name and position along the validator's path.

#include <cstddef>

class MessageTree;

namespace wfxml::detail {

struct CodePage;
struct MessageSetState;

// How a refusal names the element: the JSON path of typed data
// (CP_JSON_MISMATCH, "$.Payment.Amount.@Ccy") or the tree path
// (CP_INVALID_CONTENT, "/Payment/Amount"); the second insert is the
// validator's message.
enum class ProblemPath { Json, Tree };

// Does nothing for a set without schema documents (a message-set source).
void refuseInvalidDocument(const MessageSetState& set, const MessageTree& tree, const void* bytes, std::size_t size,
                           const CodePage& codePage, ProblemPath style);

}  // namespace wfxml::detail

#endif

#ifndef WFXML_SRC_TYPEDDATAWRITER_H
#define WFXML_SRC_TYPEDDATAWRITER_H

// The typed mapping from a message tree to typed data (docs/typed-json.md),
// reported call by call to a TypedDataHandler.

#include "wfxml/wfxml.h"

#include <memory>
#include <string>
#include <string_view>

class MessageTree;
class TreeElement;

namespace wfxml::detail {

class ElementRecorder;
class SchemaView;

// The spellings the mapping shares with the builder.
namespace typedkeys {
constexpr char kAttributeMarker = '@';
constexpr std::string_view kValue = "$";          // the value of an element with attributes; mixed content
constexpr std::string_view kXsiType = "@xsi:type";
constexpr std::string_view kXsiNil = "@xsi:nil";
// "@xmlns:p": a namespace a QName value's prefix stands for, on the element
// that holds the value (or its attribute that does).
constexpr std::string_view kNamespaceDeclaration = "@xmlns:";
// "@xmlns": the default namespace a QName value without a prefix names.
constexpr std::string_view kDefaultNamespaceDeclaration = "@xmlns";
// The prefix of a QName value's text ("p" of " p:name"); empty when none.
std::string_view prefixOf(std::string_view qualifiedName);
constexpr std::string_view kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";
// Deeper trees are refused (CP_JSON_MISMATCH): the parser and the writer
// stop at 1,000 levels of elements too, and the mapping's recursion stays far
// from the end of a thread's stack.
constexpr int kMaxDepth = 1000;
// The data of an element nest up to three levels below its parent's object
// (a "$" array of content in order, the one-key object in it, its own
// object), and a list value one more: data as deep as the deepest tree the
// writer gives are taken back, deeper ones refused (CP_JSON_MISMATCH).
constexpr int kMaxDataDepth = 3 * (kMaxDepth + 1);
// The local name of the built-in XML Schema type a reference names ("int",
// or the tree's "http://www.w3.org/2001/XMLSchema:int"); empty when it names
// none.
std::string_view builtinTypeName(std::string_view reference);
}  // namespace typedkeys

// Reports tree as one object whose one key is the message's element name.
// view is null for a message set without a dictionary (every element then
// reads as self-defining). An empty tree gives an empty object. Throws
// Error CP_JSON_MISMATCH for a tree deeper than kMaxDepth; what out throws
// passes through.
void writeTypedData(const SchemaView* view, const MessageTree& tree, TypedDataHandler& out);
// The JSON path at which the typed data of tree hold element, an attribute
// too ("$.UANodeSet.$[4].UAVariable.@ValueRank"); where they hold nothing of
// its own (an xsi:type), the path of its nearest ancestor they hold.
std::string typedDataPathOf(const SchemaView* view, const MessageTree& tree, const TreeElement& element);
// The working storage of the walk over recorded messages, kept from message
// to message (a session keeps one) so that a warm walk allocates nothing of
// its own: per level of nesting, the keys and elements of the object at hand.
class RecordedWalkLevels {
public:
  RecordedWalkLevels();
  ~RecordedWalkLevels();
  RecordedWalkLevels(const RecordedWalkLevels&) = delete;
  RecordedWalkLevels& operator=(const RecordedWalkLevels&) = delete;
  struct Levels;
  Levels& levels() { return *levels_; }

private:
  std::unique_ptr<Levels> levels_;
};

// The same for a message recorded from the parse events, with the same
// output; levels serves one walk at a time.
void writeTypedData(const SchemaView* view, const ElementRecorder& recorded, TypedDataHandler& out,
                    RecordedWalkLevels& levels);

}  // namespace wfxml::detail

#endif

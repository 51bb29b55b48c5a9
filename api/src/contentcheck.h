#ifndef WFXML_SRC_CONTENTCHECK_H
#define WFXML_SRC_CONTENTCHECK_H

// What the message set forbids in an element's content, found from the
// children a tree element holds: a required member missing, a member given
// more or fewer times than it may occur, two branches of one choice, a null
// child that is not nillable (the parse gives one to an element whose
// value attribute is absent, and the set's null text written in its place
// would not read back). The
// typed-data builder checks each element it builds (naming the JSON path),
// Session::write every element of the tree it writes (naming the tree path).
//
// The check refuses only what no document of the schema has. Members that
// share a name (the branches of a choice, a group listed twice) are counted
// together against their summed bounds, since a tree cannot tell which of
// them an element stands for; a member inside a choice is required only
// when a member of its branch is given and the choice is made once.

#include "functionref.h"
#include "schemaview.h"

#include <string>
#include <utility>
#include <vector>

class MessageTree;
class TreeElement;

namespace wfxml::detail {

struct ContentProblem {
  const SchemaMember* member = nullptr;  // the member it is about; null: no problem
  std::string what;
  explicit operator bool() const { return member != nullptr; }
};

class ContentCheck {
public:
  explicit ContentCheck(const SchemaView& view) : view_(view) {}

  // The first problem of element's content, whose effective type is type.
  // A nil element (a null value, or xsi:nil="true" kept as an attribute)
  // has none.
  ContentProblem check(const TreeElement& element, const SchemaType& type);

  // Checks every element of tree; throws Error CP_INVALID_CONTENT, inserts:
  // the tree path ("/order/party[2]/name", "/order/@id"), what is wrong.
  void checkTree(const MessageTree& tree);

private:
  long positionOf(const TreeElement& child, const SchemaType& type) const;
  // The position of the member whose name and namespace an element has that
  // the parser gave the wildcard (a global element, a self-defining one);
  // -1 none.
  long positionOfName(const TreeElement& child, const SchemaType& type) const;
  bool required(const SchemaMember& member) const;
  static bool holdsNull(const TreeElement& child);
  // Whether the child's own declaration (a substitute's, not its head's) is.
  bool nillable(const TreeElement& child) const;
  // Whether each of these branches is given, in choices made once.
  bool taken(const std::vector<SchemaMember::Branch>& branches) const;
  // A choice not made though it must be, or made too often or too seldom.
  ContentProblem choiceProblem(const SchemaType& type, const SchemaType::Choice& choice) const;
  ContentProblem tooFew(const SchemaType& type, const SchemaType::NameBounds& bounds) const;

  const SchemaView& view_;
  std::vector<long> counts_;  // per member position (the first of its name): the children matched to it
  std::vector<std::size_t> counted_;  // the positions counts_ has above zero
  // Per member position: elements of its name a wildcard also admits,
  // each the member's while it has room, else the wildcard's.
  std::vector<long> spare_;
  std::vector<std::size_t> spared_;
  // Per choice id of the type (exclusive choices only): the branch given and
  // the member that gave it first; (-1, -1) none.
  std::vector<std::pair<int, long>> taken_;
};

// xsi:nil="true" as the parse keeps it on an element whose value cannot be
// null (of a complex type, of a list type): an attribute of its own, "@nil"
// in the schema instance namespace.
bool isNilAttribute(const ZelWstring& name, const ZelWstring& namespaceUri, const PWFData& value);

// An anonymous value: a text run, a list item, the simple content of an
// element with attributes.
bool isAnonymous(const TreeElement& element);

// The element after element in document order (its first child, else the
// next sibling of it or of its nearest ancestor that has one), null at the
// end: a walk without recursion, since trees may be of any depth.
TreeElement* nextInDocumentOrder(const TreeElement& element);

// A tree element's name as documents spell it: "@id" for an attribute,
// empty for an anonymous value.
std::string treeNameOf(const SchemaView& view, const TreeElement& element);
// "/order/party[2]/name": an index (from 1) where siblings share the name.
std::string treePathOf(const TreeElement& element, FunctionRef<std::string(const TreeElement&)> nameOf);
std::string treePathOf(const SchemaView& view, const TreeElement& element);

}  // namespace wfxml::detail

#endif

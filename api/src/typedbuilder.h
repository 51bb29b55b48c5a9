#ifndef WFXML_SRC_TYPEDBUILDER_H
#define WFXML_SRC_TYPEDBUILDER_H

// The typed mapping from typed data back to a message tree
// (docs/typed-json.md): the data are collected first, since an object's
// keys may come in any order and the tree needs its content in the order
// the message set gives it.

#include "wfxml/wfxml.h"

#include "treeassembly.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class MessageTree;

namespace wfxml::detail {

class SchemaView;

// One JSON value.
struct TypedNode {
  enum class Kind { Value, Object, Array };
  Kind kind = Kind::Value;
  GivenValue value;                                       // Kind::Value
  std::vector<std::pair<std::string, TypedNode>> fields;  // Kind::Object, in the order given
  std::vector<TypedNode> items;                           // Kind::Array
};

// Collects typed data into a TypedNode. Calls out of order (a value where a
// key is due, an end without a start) and nesting deeper than the mapping's
// limit throw Error CP_JSON_MISMATCH.
class TypedNodeCollector : public TypedDataHandler {
public:
  void startObject() override;
  void key(std::string_view name) override;
  void endObject() override;
  void startArray() override;
  void endArray() override;
  void null() override;
  void boolean(bool value) override;
  void integer(std::int64_t value) override;
  void bigInteger(std::string_view digits) override;
  void decimal(std::string_view digits) override;
  void number(double value) override;
  void string(std::string_view text) override;
  void binary(const std::uint8_t* bytes, std::size_t size) override;

  // The whole value, once complete; throws CP_JSON_MISMATCH when it is not.
  TypedNode take();

private:
  TypedNode& place(TypedNode node);
  void openNode(TypedNode::Kind kind);
  void add(GivenValue value);
  [[noreturn]] void misuse(const char* what) const;

  TypedNode root_;
  bool hasRoot_ = false;
  std::vector<TypedNode*> open_;
  bool keyPending_ = false;
};

// Builds tree (empty) from a message's typed data: one object whose one key
// names a message of the set. Data that do not fit are refused with Error
// CP_JSON_MISMATCH, inserts: the JSON path ("$.order.items[2].qty"), what
// is wrong; the tree is then incomplete. With checkContent, so is content
// the message set forbids (contentcheck.h).
void buildMessageTree(const SchemaView* view, const TypedNode& data, MessageTree& tree, bool checkContent);

}  // namespace wfxml::detail

#endif

#ifndef WFXML_SRC_TREEASSEMBLY_H
#define WFXML_SRC_TREEASSEMBLY_H

// Building message trees by name, checked against the message set: the
// elements get the ids, kinds and types the parser would give them, so the
// writer writes them as if they had been parsed. Element::append and the
// typed-data builder share it.

#include "pwfdata.h"
#include "schemaview.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class DataCnv;

class MessageTree;
class TreeElement;

namespace wfxml::detail {

// A value as the API or typed data gives it, before it meets its type.
struct GivenValue {
  enum class Kind { Null, Boolean, Integer, BigInteger, Decimal, Number, String, Binary, DateTime, Duration };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::int64_t integer = 0;
  double number = 0;
  std::string text;  // digits of big integers and decimals; strings, date-times, durations (UTF-8)
  std::vector<std::uint8_t> bytes;

  static GivenValue ofBoolean(bool value) {
    GivenValue given(Kind::Boolean);
    given.boolean = value;
    return given;
  }
  static GivenValue ofInteger(std::int64_t value) {
    GivenValue given(Kind::Integer);
    given.integer = value;
    return given;
  }
  static GivenValue ofNumber(double value) {
    GivenValue given(Kind::Number);
    given.number = value;
    return given;
  }
  // kind: one of those whose value is text.
  static GivenValue ofText(Kind kind, std::string_view value) {
    GivenValue given(kind);
    given.text = value;
    return given;
  }
  static GivenValue ofBytes(const std::uint8_t* bytes, std::size_t size) {
    GivenValue given(Kind::Binary);
    given.bytes.assign(bytes, bytes + size);
    return given;
  }

  GivenValue() = default;

private:
  explicit GivenValue(Kind of) : kind(of) {}
};
const char* kindName(GivenValue::Kind kind);
// The value converter of the calling thread (building one per value would
// cost more than the value). preserveUtcFormat: a zero offset keeps its
// spelling ("+00:00") rather than reading as "Z", as the message set says.
const DataCnv& valueConverter(bool preserveUtcFormat = false);

// A value's text as a document would spell it in the typed mapping ("true", "1.5").
std::string textOf(const GivenValue& given);
// Whether a value is given as text (a string, a date-time, a duration).
bool isText(GivenValue::Kind kind);
// Text as a type's whitespace rule (DictCodes::eWhiteSpace*) leaves it: tab,
// line feed and carriage return replaced by blanks; collapsed, runs of blanks
// made one and none left at either end.
std::string withWhiteSpace(std::string_view text, std::uint8_t rule);

// The value for an element of type (null: untyped, any value taken as text).
// Returns false with what wrong filled in when the value does not suit it.
// Text for a union is read as a document's (parsedTextValue); text that
// only a list member takes is the caller's (unionListMember). memberType,
// when given, is set to the member type that took a union's value.
bool typedValue(const GivenValue& given, const SchemaType* type, PWFData& out, std::string& wrong,
                const ValueSpellings& spellings = {}, long* memberType = nullptr);

// Text converted as the parser converts a document's text to a value of
// logicalType, after the whitespace rule; false when it is no such value.
bool parsedTextValue(std::string_view text, ELogicalType logicalType, std::uint8_t whiteSpace, PWFData& out,
                     const ValueSpellings& spellings);
// The same for a union's member, or an item of a list a union chose: only
// text in the lexical space of its built-in type that a string type's
// enumeration lists, as the parser decides a union's member (binary given
// as base64 text, as the mapping spells it).
bool memberTextValue(std::string_view text, XsdBuiltin builtin, const std::vector<std::string>& enumeration,
                     ELogicalType logicalType, std::uint8_t whiteSpace, PWFData& out, const ValueSpellings& spellings);

// The simple member of a union that takes a value, as the parser tries the
// members of a document's text: each by its own built-in type's spelling,
// then the first binary member by base64 text (the mapping's spelling of
// bytes; given bytes are never read as hexadecimal digits). out is its
// value; text not the value's own spelling is kept as its lexical form.
// Null when none takes it.
const SchemaType::UnionMember* unionMemberTaking(const GivenValue& given, const SchemaType& type, PWFData& out,
                                                 const ValueSpellings& spellings);

// What a union's text resolves to, as the parser tries the members in
// order: the first simple member that takes the whole text, or the first
// list member whose item type takes every item (none for text without
// items). itemValue converts one item as a document's.
using ListItemValue = std::function<bool(std::string_view item, long itemType, PWFData& out)>;
struct UnionResolution {
  const SchemaType::UnionMember* member = nullptr;  // null: no member takes the text
  PWFData value;                                    // a simple member's
  std::vector<PWFData> items;                       // a list member's
};
UnionResolution resolvedUnion(std::string_view text, const SchemaType& type, const ValueSpellings& spellings,
                              const ListItemValue& itemValue);

// The items of a list's text, split at whitespace.
std::vector<std::string_view> listItems(std::string_view text);

// What a name resolves to under a parent.
struct Resolution {
  const SchemaMember* member = nullptr;    // a member of the parent's type
  const SchemaElement* global = nullptr;   // a global element the parent's wildcard admits, or:
  const SchemaMember* substitutes = nullptr;  // the member whose place the global element takes
  bool selfDefining = false;               // admitted by a wildcard, known nowhere
  explicit operator bool() const { return member || global || selfDefining; }
};

class TreeAssembly {
public:
  // view: null for a message set without dictionary (everything is
  // self-defining). Both are borrowed.
  TreeAssembly(const SchemaView* view, MessageTree& tree) : view_(view), tree_(tree) {}

  TreeElement& createMessage(const SchemaElement& message);
  TreeElement& createSelfDefiningMessage(std::string_view name, std::string_view namespaceUri);

  // name without "@" (a member's typed-data key with byKey, else its XML
  // name); an empty namespace matches a member of any namespace when the
  // name is unique among the type's members, and is the parent's unless
  // namespaceGiven (none).
  Resolution resolve(const TreeElement& parent, std::string_view name, std::string_view namespaceUri,
                     bool attribute, bool byKey = false, bool namespaceGiven = false) const;
  // An element of that name as content of type's element wildcard: the
  // global element it admits, or a self-defining one; nothing where no
  // wildcard admits the namespace.
  Resolution byWildcard(const SchemaType& type, std::string_view name, std::string_view namespaceUri) const;
  // A self-defining element without namespaceGiven takes its parent's
  // namespace; an attribute none.
  TreeElement& append(TreeElement& parent, const Resolution& resolution, std::string_view name,
                      std::string_view namespaceUri, bool attribute, bool namespaceGiven = false);
  // An anonymous value (a list item, a text run, simple content).
  TreeElement& appendValue(TreeElement& parent, PWFData value);
  // The type named by an xsi:type, as the parser keeps it: the element's type
  // index and an xsi:type attribute child.
  void setXsiType(TreeElement& element, long typeRow);
  // xsi:nil as the parser keeps it where the element's value cannot be
  // null: an attribute child of that value, the one it has if any.
  void setXsiNil(TreeElement& element, std::string_view value);
  // Takes that attribute child away, when a value replaces the nil.
  void clearXsiNil(TreeElement& element);
  // A built-in type the message set does not have (its schemas never use
  // it): the attribute child alone; the element keeps its declared type.
  void setBuiltinXsiType(TreeElement& element, std::string_view local);
  // A type that content the set does not type (skipped) names, of the set's
  // or another: the attribute child alone.
  void nameXsiType(TreeElement& element, long typeRow);
  void nameXsiType(TreeElement& element, const std::string& namespaceUri, std::string_view local);

  // The namespace a child's name means when it gives none: its parent's.
  std::string namespaceOf(const TreeElement& element) const;

  const SchemaView* view() const { return view_; }
  MessageTree& tree() const { return tree_; }

private:
  void appendXsiType(TreeElement& element, const std::string& typeText);

  const SchemaView* view_;
  MessageTree& tree_;
};

}  // namespace wfxml::detail

#endif

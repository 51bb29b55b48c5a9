#include "typeddatawriter.h"

#include "base64converter.h"
#include "contentcheck.h"
#include "datacnv.h"
#include "elementrecorder.h"
#include "jsonpath.h"
#include "error.h"
#include "memberorder.h"
#include "messageset.h"
#include "messagetree.h"
#include "schemaview.h"
#include "treeassembly.h"
#include "utf8.h"
#include "xmlproperties.h"
#include "xsdlexical.h"
#include "zelexception.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace wfxml::detail {

std::string_view typedkeys::builtinTypeName(std::string_view reference) {
  const std::size_t colon = reference.rfind(':');
  if (colon != std::string_view::npos && reference.substr(0, colon) != msgset::kXmlSchemaNamespace) return {};
  const std::string_view local = colon == std::string_view::npos ? reference : reference.substr(colon + 1);
  const std::vector<std::string_view>& builtins = msgset::builtinTypeNames();
  return std::find(builtins.begin(), builtins.end(), local) != builtins.end() ? local : std::string_view();
}

std::string_view typedkeys::prefixOf(std::string_view qualifiedName) {
  const std::size_t start = qualifiedName.find_first_not_of(" \t\r\n");
  const std::size_t colon = qualifiedName.find(':');
  if (start == std::string_view::npos || colon == std::string_view::npos || colon <= start) return {};
  return qualifiedName.substr(start, colon - start);
}

namespace {

std::string utf8(const ZelWstring& text) { return text.toUtf8(); }

template <typename Element>
bool isXsiType(const Element& element) {
  return element.getTagId() < 0 && element.getMemberId() < 1 && element.getName().view() == u"type" &&
         element.getNamespaceURI().toUtf8() == typedkeys::kSchemaInstanceNamespace;
}

// An anonymous value: a text run, a list item, the simple content of an
// element with attributes.
template <typename Element>
bool isAnonymous(const Element& element) {
  return element.getTagId() < 0 && element.getMemberId() < 1 && element.getName().empty();
}

// The namespace a QName value's prefix stood for in the document, as the
// parse noted it; empty when none.
std::u16string_view valueNamespaceOf(const TreeElement& holder) {
  const WorkerInfoPtr& info = holder.getDataInfo();
  if (!info || info->getDataPropertyCount() <= kValueNamespaceProperty) return {};
  const PWFData& uri = info->getDataProperty(kValueNamespaceProperty);
  return uri.getDataLogicalType() == eLogicalString ? uri.getText().view() : std::u16string_view();
}

std::u16string_view valueNamespaceOf(const RecordedElement& holder) {
  return holder.getValueNamespace() ? holder.getValueNamespace()->view() : std::u16string_view();
}

// A decimal spelled as a JSON number: no "+" sign, no leading zeros, a digit
// on both sides of the point. The value stays the same.
std::string jsonDecimal(std::u16string_view text) {
  std::string digits = ZelWstring(text.data(), text.size()).toUtf8();
  if (!digits.empty() && digits.front() == '+') digits.erase(0, 1);
  const std::size_t sign = !digits.empty() && digits.front() == '-' ? 1 : 0;
  if (digits.size() > sign && digits[sign] == '.') digits.insert(sign, "0");
  std::size_t zeros = 0;  // leading zeros, which JSON numbers may not have ("007.5")
  while (sign + zeros + 1 < digits.size() && digits[sign + zeros] == '0' && digits[sign + zeros + 1] != '.') ++zeros;
  digits.erase(sign, zeros);
  if (!digits.empty() && digits.back() == '.') digits.pop_back();
  return digits;
}

// A decimal integer without its leading zeros ("-0" is "0").
std::string plainInteger(const std::string& digits) {
  const bool negative = !digits.empty() && digits.front() == '-';
  std::size_t start = negative ? 1 : 0;
  while (start + 1 < digits.size() && digits[start] == '0') ++start;
  std::string out = digits.substr(start);
  if (out.empty()) out = "0";
  return negative && out != "0" ? "-" + out : out;
}

// One key of the output and the tree elements it stands for. The texts
// are views of the schema view's strings or of texts the walker keeps.
struct Entry {
  std::string_view name;
  std::string_view namespaceUri;
  bool isAttribute = false;
  bool alwaysArray = false;
  const SchemaMember* member = nullptr;
  const SchemaMember* substitutes = nullptr;  // a substitution group member's head
  long typeRow = -1;  // the declared type of a global element met under a wildcard
  std::size_t first = 0;  // the elements under its key: the level's ordered elements [first, first + count)
  std::size_t count = 0;
};

// What an object under construction keeps while its children are sorted
// into entries. One per depth, reused from element to element, so that a
// walk allocates per level of nesting rather than per element.
template <typename Element>
struct Level {
  std::vector<Entry> entries;          // those of the children, in the order first met
  std::vector<int> entryOfMember;      // by member position: the entry of members of that name, or -1 (only grows)
  std::vector<std::size_t> keyOrder;   // the entries in key order
  std::vector<std::pair<std::size_t, const Element*>> placed;  // (entry, element) in document order
  std::vector<const Element*> ordered;                          // placed, grouped by entry
  std::vector<std::pair<std::size_t, const Element*>> content;  // mixed content in order; text: npos
  // Scratch for judging the order: per member, the positions (among the
  // placed elements) of those the way back writes there; per entry, the
  // positions of its elements.
  std::vector<std::vector<std::size_t>> byMember;
  std::vector<std::vector<std::size_t>> byEntry;
  std::vector<std::size_t> byKey;  // scratch: keyOrder sorted by key, to find keys that clash

  // An element has a few entries, which a scan compares at once; one of
  // thousands (content no schema types, or a hostile document) finds them
  // through an index of names, in linear time.
  static constexpr std::size_t kScannedEntries = 16;
  // By (attribute, namespace, name): the entry of the members of that name
  // and the other entry of it, each at most one; -1 for none.
  struct Name {
    bool isAttribute;
    std::string_view namespaceUri;
    std::string_view name;
    bool operator==(const Name& other) const {
      return isAttribute == other.isAttribute && name == other.name && namespaceUri == other.namespaceUri;
    }
  };
  struct NameHash {
    std::size_t operator()(const Name& key) const {
      const std::hash<std::string_view> hash;
      return (hash(key.name) * 31 + hash(key.namespaceUri)) * 2 + key.isAttribute;
    }
  };
  struct Named {
    int member = -1;
    int other = -1;
  };
  std::unordered_map<Name, Named, NameHash> byName;  // empty while the entries are scanned

  static Name nameOf(const Entry& entry) {
    return {entry.isAttribute, entry.namespaceUri, entry.member ? entry.member->name : std::string_view(entry.name)};
  }
  bool indexed() const { return entries.size() > kScannedEntries; }
  // Files entries[index], new or now a member's, in the index once it is in use.
  void noteEntry(std::size_t index) {
    if (!indexed()) return;
    if (byName.empty()) {
      for (std::size_t i = 0; i < entries.size(); ++i) file(i);
    } else {
      file(index);
    }
  }

private:
  void file(std::size_t index) {
    Named& named = byName[nameOf(entries[index])];
    const int position = static_cast<int>(index);
    if (!entries[index].member) {
      if (named.other < 0) named.other = position;
      return;
    }
    if (named.other == position) named.other = -1;
    if (named.member < 0 || position < named.member) named.member = position;
  }
};

constexpr std::size_t kText = static_cast<std::size_t>(-1);

// Element: a message tree's Element, or a RecordedElement of the parse
// events; both have the same shape.
template <typename Element>
class TreeWalker {
  using Level = detail::Level<Element>;

public:
  // levels: by depth, possibly left by an earlier walk.
  TreeWalker(const SchemaView* view, TypedDataHandler& out, std::deque<Level>& levels)
      : view_(view),
        out_(out),
        convert_(1200, 0, 1, 53, nullptr, false, nullptr, 0, true, 53, false, 0, nullptr),
        levels_(levels) {}

  // Told of each element (an attribute too) as the walk reaches it, before
  // anything of its own is reported.
  void onElement(std::function<void(const Element&)> visit) { visit_ = std::move(visit); }

  void message(const Element* root) {
    out_.startObject();
    if (root) {
      const Entry entry = rootEntry(*root);
      out_.key(entry.name);
      element(*root, entry, 0);
    }
    out_.endObject();
  }

private:
  Entry rootEntry(const Element& root) {
    Entry entry;
    const SchemaElement* defined = view_ ? view_->element(root.getTagIndex()) : nullptr;
    if (!defined && view_ && root.getTagId() >= 0) {
      for (const SchemaElement& e : view_->elements())
        if (e.tagId == root.getTagId()) defined = &e;
    }
    if (view_ && !defined && root.getTypeIndex() < 0) refuseUnknownRoot(root);
    if (defined) {
      entry.name = defined->name;
      entry.namespaceUri = defined->namespaceUri;
      entry.typeRow = defined->typeRow;
      if (defined->rootNameShared) qualify(entry);
    } else {
      entry.name = keep(utf8(root.getName()));
      entry.namespaceUri = keep(utf8(root.getNamespaceURI()));
      // Typed by its xsi:type alone: no declaration gives the way back its namespace.
      if (view_ && !entry.namespaceUri.empty()) qualify(entry);
    }
    return entry;
  }

  // A document whose root the set does not define, nor types by an
  // xsi:type, would come out untyped, every value a string: typed data
  // refuse it (MessageSet::none() reads any document self-defining).
  [[noreturn]] void refuseUnknownRoot(const Element& root) const {
    const std::string uri = utf8(root.getNamespaceURI());
    const std::string name = utf8(root.getName());
    // Named by its element path: the data come from a document, not from JSON.
    throwError(__FILE__, __LINE__, "Session::toTypedData", ZelMessages::CP_JSON_MISMATCH,
               {"/" + name, "the root '" + (uri.empty() ? "" : "{" + uri + "}") + name +
                                "' is not a message of the set (its messages: " + view_->messageNames(name) + ")"});
  }

  // The type an element of this entry has: its xsi:type, else its member's
  // or global element's; null when self-defining or untyped.
  const SchemaType* typeOf(const Element& e, const Entry& entry) const {
    if (!view_) return nullptr;
    const long declared = entry.member ? entry.member->typeRow : entry.typeRow;
    return view_->typeOf(declared, e.getTypeIndex());
  }

  void element(const Element& e, const Entry& entry, int depth) {
    if (visit_) visit_(e);
    if (depth > typedkeys::kMaxDepth)
      throwError(__FILE__, __LINE__, "Session::toTypedData", ZelMessages::CP_JSON_MISMATCH,
                 {"$", "the message is nested deeper than " + std::to_string(typedkeys::kMaxDepth) + " levels"});
    const SchemaType* type = typeOf(e, entry);
    const bool selfDefining = !type && !entry.member && entry.typeRow < 0;
    if (selfDefining) return selfDefiningElement(e, entry.namespaceUri, depth);
    if (!type) return scalar(e, nullptr);
    // A value with no attributes beside it stands alone, also where the type
    // would allow some.
    // An xsi:type keeps the element an object, for its "@xsi:type" key.
    // xsi:nil="true" the parse keeps as an attribute, alone: null, as for
    // an element whose value is null.
    if (const Element* c = e.getFirstChild();
        c && !c->getNextSibling() && isNilAttribute(c->getName(), c->getNamespaceURI(), c->getValue()) &&
        isNillable(e, entry))
      return out_.null();
    // An attribute's go on its element, which holds it.
    const std::vector<Declaration> declarations = entry.isAttribute ? std::vector<Declaration>() : valueDeclarations(e);
    const bool withAttributes = hasAttributeChild(e) || !declarations.empty();
    const bool plainValue = e.getTypeIndex() < 0 && (!type->isComplex || type->hasSimpleContent);
    if (plainValue && !withAttributes && untypedXsiType(e).empty()) {
      if (isList(e, *type)) return list(e, *type);
      return scalar(e, type);
    }
    // A null value beside an xsi:type is "$": null, as beside attributes.
    if (e.hasValue() && e.getValue().isNull() && !withAttributes && e.getTypeIndex() < 0 && untypedXsiType(e).empty())
      return out_.null();
    complexElement(e, type, entry.namespaceUri, depth, declarations);
  }

  using Declaration = std::pair<std::string, std::string>;  // a prefix and its namespace

  // Whether the way back takes null for the element. One that is not may be
  // nil in content a skip wildcard admits, where its "@xsi:nil" stays a key.
  bool isNillable(const Element& e, const Entry& entry) const {
    if (entry.member) return entry.member->nillable;
    const SchemaElement* global = view_->element(e.getTagIndex());
    return !global || global->nillable;
  }

  // What the QName values of e (its own, its items', its attributes') need
  // declared for the way back: each prefix the document bound to a
  // namespace that the message set does not give that prefix, and the
  // default namespace of a value without a prefix (prefix ""), which the
  // written document binds nowhere of itself.
  std::vector<Declaration> valueDeclarations(const Element& e) const {
    std::vector<Declaration> declarations;
    if (!view_ || !view_->hasQualifiedNames()) return declarations;
    const auto add = [&](const Element& holder) {
      const std::u16string_view uri = valueNamespaceOf(holder);
      if (uri.empty() || !holder.hasValue() || holder.getValue().isNull() ||
          holder.getValue().getDataLogicalType() != eLogicalString)
        return;
      const std::string name = utf8(holder.getValue().getText());
      Declaration declaration{std::string(typedkeys::prefixOf(name)), ZelWstring(uri.data(), uri.size()).toUtf8()};
      if ((!declaration.first.empty() && view_->namespaceOfPrefix(declaration.first) == declaration.second) ||
          std::find(declarations.begin(), declarations.end(), declaration) != declarations.end())
        return;
      declarations.push_back(std::move(declaration));
    };
    add(e);
    for (const Element* c = e.getFirstChild(); c; c = c->getNextSibling()) {
      if (!isAnonymous(*c) && !isAttributeChild(*c)) continue;
      add(*c);
      for (const Element* item = c->getFirstChild(); item; item = item->getNextSibling())
        if (isAnonymous(*item)) add(*item);
    }
    return declarations;
  }

  // The parse gives a self-defining element the text before its first child
  // as its own value; the rest of its text comes in anonymous children.
  static bool hasLeadingText(const Element& e) { return e.hasValue() && !e.getValue().isNull(); }

  // Self-defining content is mixed when text runs stand beside elements.
  static bool hasMixedContent(const Element& e) {
    bool text = hasLeadingText(e);
    bool elements = false;
    for (const Element* c = e.getFirstChild(); c; c = c->getNextSibling()) {
      if (isAnonymous(*c)) {
        text = true;
      } else if (c->getName().view().substr(0, 1) != u"@" && !isXsiType(*c)) {
        elements = true;
      }
    }
    return text && elements;
  }

  bool hasAttributeChild(const Element& e) const {
    for (const Element* c = e.getFirstChild(); c; c = c->getNextSibling())
      if (isAttributeChild(*c)) return true;
    return false;
  }

  bool isAttributeChild(const Element& c) const {
    if (c.getName().view().substr(0, 1) == u"@") return true;
    if (!view_) return false;
    if (const SchemaMember* member = view_->memberOf(c.getMemberId(), c.getMemberIndex()); member && member->isAttribute)
      return true;
    if (c.getMemberId() >= 1 || c.getTagId() < 0) return false;
    const SchemaElement* global = view_->element(c.getTagIndex());
    return global && global->isAttribute;
  }

  // Nil by an xsi:nil="true" the parse keeps as an attribute.
  static bool isNil(const Element& e) {
    for (const Element* c = e.getFirstChild(); c; c = c->getNextSibling())
      if (isNilAttribute(c->getName(), c->getNamespaceURI(), c->getValue())) return true;
    return false;
  }

  // A list, or a union whose value is one of its list member's.
  static bool isList(const Element& e, const SchemaType& type) {
    return type.isList || (type.isUnion && e.getItemTypeIndex() >= 0);
  }

  void list(const Element& e, const SchemaType& type) {
    if (e.hasValue() && e.getValue().isNull()) return out_.null();
    const SchemaType* itemType = view_->type(type.isList ? type.listItemType : e.getItemTypeIndex());
    out_.startArray();
    if (!e.hasChildren() && e.hasValue()) value(e.getValue(), itemType);  // a single item kept on the element
    for (const Element* c = e.getFirstChild(); c; c = c->getNextSibling()) {
      if (!isAnonymous(*c)) continue;  // an attribute, an xsi:type
      memberValue(c->getValue(), c->getValueTypeIndex(), itemType);
    }
    out_.endArray();
  }

  // The reference to a type an xsi:type names where the message set does not
  // have it: the parse keeps the name as "uri:name" in a child of its own. A
  // built-in type's local name (its schemas never use it), or that text where
  // a type of the set has the local name; another type's "{uri}name" (content
  // a wildcard skips may name any). Empty when none.
  std::string_view untypedXsiType(const Element& e) {
    if (e.getTypeIndex() >= 0 || !view_) return {};
    for (const Element* c = e.getFirstChild(); c; c = c->getNextSibling()) {
      if (!isXsiType(*c) || !c->hasValue()) continue;
      const std::string named = utf8(c->getValue().getText());
      const std::string_view local = typedkeys::builtinTypeName(named);
      if (!local.empty()) return keep(view_->findTypeReference(local) < 0 ? std::string(local) : named);
      const std::size_t colon = named.rfind(':');
      return keep(colon == std::string::npos ? "{}" + named
                                             : "{" + named.substr(0, colon) + "}" + named.substr(colon + 1));
    }
    return {};
  }

  // An element of a simple type: its value, or that of the anonymous child
  // that holds it.
  void scalar(const Element& e, const SchemaType* type) {
    if (e.hasValue()) return memberValue(e.getValue(), e.getValueTypeIndex(), type);
    // An xsi:type naming a type the message set does not have (a built-in
    // type its schemas do not use) is passed over, not taken for the value.
    const Element* c = e.getFirstChild();
    while (c && isXsiType(*c)) c = c->getNextSibling();
    const Element* after = c ? c->getNextSibling() : nullptr;
    while (after && isXsiType(*after)) after = after->getNextSibling();
    if (c && isAnonymous(*c) && !after) return memberValue(c->getValue(), c->getValueTypeIndex(), type);
    out_.string("");
  }

  Level& level(int depth) {
    while (levels_.size() <= static_cast<std::size_t>(depth)) levels_.emplace_back();
    Level& level = levels_[static_cast<std::size_t>(depth)];
    // Of the member slots only those of the last element's entries are set.
    for (const Entry& entry : level.entries)
      if (entry.member) level.entryOfMember[entry.member->firstOfName] = -1;
    level.entries.clear();
    if (!level.byName.empty()) level.byName = {};  // clearing keeps the buckets, which every element would wipe again
    level.keyOrder.clear();
    level.placed.clear();
    level.content.clear();
    return level;
  }

  void complexElement(const Element& e, const SchemaType* type, std::string_view ownNamespace, int depth,
                      const std::vector<Declaration>& declarations = {}) {
    Level& at = level(depth);
    bool mixed = type ? type->isMixed : hasMixedContent(e);
    const Element* firstText = sortChildren(e, type, mixed, at);
    // Text where the type allows neither a value nor mixed content (open
    // content, or a document beyond its schema) is kept as mixed content:
    // every run, in order, and readable on the way back. So are elements
    // that keys would reorder.
    const bool reordered = type ? type->isComplex && !type->hasSimpleContent &&
                                      (firstText || !comesBackInOrder(*type, at))
                                : !keysKeepOrder(at);
    if (!mixed && reordered) {
      mixed = true;
      sortChildren(e, type, mixed, level(depth));
    }
    groupByEntry(at);
    qualifyForeignNames(at, ownNamespace, type);
    qualifyClashingNames(at);
    out_.startObject();
    if (e.getTypeIndex() >= 0 && view_) {
      out_.key(typedkeys::kXsiType);
      out_.string(view_->typeReference(e.getTypeIndex()));
    } else if (const std::string_view untyped = untypedXsiType(e); !untyped.empty()) {
      out_.key(typedkeys::kXsiType);
      out_.string(untyped);
    }
    for (const auto& [prefix, uri] : declarations) {
      out_.key(prefix.empty() ? typedkeys::kDefaultNamespaceDeclaration
                              : keep(std::string(typedkeys::kNamespaceDeclaration) + prefix));
      out_.string(uri);
    }
    for (const std::size_t index : at.keyOrder) {
      const Entry& entry = at.entries[index];
      if (entry.count == 0) continue;  // in mixed content only
      out_.key(entry.isAttribute ? attributeKey(entry) : entry.name);
      occurrences(entry, at, depth);
    }
    if (mixed) {
      out_.key(typedkeys::kValue);
      mixedContent(at, depth);
    } else if (type && isList(e, *type) && !isNil(e)) {  // a nil list has its "@xsi:nil" and no items
      out_.key(typedkeys::kValue);
      list(e, *type);
    } else if (!type && firstText) {
      out_.key(typedkeys::kValue);
      joinedText(e);
    } else if (e.hasValue() || firstText) {
      out_.key(typedkeys::kValue);
      value(e.hasValue() ? e.getValue() : firstText->getValue(), type);
    }
    out_.endObject();
  }

  // Files the children by entry: attributes (and every element unless the
  // content is mixed) are placed by key, the rest go into the content array
  // in document order. Returns the first text run, null when none.
  const Element* sortChildren(const Element& e, const SchemaType* type, bool mixed, Level& at) {
    if (type && at.entryOfMember.size() < type->members.size()) at.entryOfMember.resize(type->members.size(), -1);
    const Element* firstText = nullptr;
    if (!type && hasLeadingText(e)) {
      firstText = &e;
      if (mixed) at.content.emplace_back(kText, &e);
    }
    for (const Element* c = e.getFirstChild(); c; c = c->getNextSibling()) {
      if (isXsiType(*c)) continue;
      if (isAnonymous(*c)) {
        if (!firstText) firstText = c;
        if (mixed) at.content.emplace_back(kText, c);
        continue;
      }
      const std::size_t entry = entryFor(*c, type, at);
      if (mixed && !at.entries[entry].isAttribute) {
        at.content.emplace_back(entry, c);
      } else {
        at.placed.emplace_back(entry, c);
        ++at.entries[entry].count;
      }
    }
    return firstText;
  }

  // Whether the way back (memberorder.h) gives the placed elements in their
  // document order. When not (a repeating choice whose branches come in
  // another order than in turns, say), they are kept in order as content
  // ("$"), since keys alone would reorder them.
  static bool comesBackInOrder(const SchemaType& type, Level& at) {
    for (auto& positions : at.byEntry) positions.clear();
    at.byEntry.resize(at.entries.size());
    std::size_t elements = 0;
    for (const auto& [index, element] : at.placed)
      if (!at.entries[index].isAttribute) at.byEntry[index].push_back(elements++);
    for (auto& positions : at.byMember) positions.clear();
    at.byMember.resize(type.members.size());
    // As the keys come: members in their order, then the others as first
    // met; a substitution group member goes to its head.
    for (std::size_t index = 0; index < at.entries.size(); ++index) {
      const Entry& entry = at.entries[index];
      if (entry.member && !entry.isAttribute) at.byMember[entry.member->lastOfName].swap(at.byEntry[index]);
    }
    for (std::size_t index = 0; index < at.entries.size(); ++index) {
      const SchemaMember* head = at.entries[index].substitutes;
      if (!head) continue;
      std::vector<std::size_t>& slot = at.byMember[head->lastOfName];
      slot.insert(slot.end(), at.byEntry[index].begin(), at.byEntry[index].end());
    }
    placeSharedNames(type, at.byMember);
    std::size_t expected = 0;
    bool inOrder = true;
    inWriteOrder(
        type, at.byMember, [&](const SchemaMember&, std::size_t position) { inOrder = inOrder && position == expected++; },
        [&] {
          for (std::size_t index = 0; index < at.entries.size(); ++index) {
            const Entry& entry = at.entries[index];
            if (entry.member || entry.substitutes) continue;
            for (const std::size_t position : at.byEntry[index]) inOrder = inOrder && position == expected++;
          }
        });
    return inOrder;
  }

  // Without a schema the way back writes each key's elements together, the
  // keys as first met: the document's order where no name comes back after
  // another name.
  static bool keysKeepOrder(const Level& at) {
    std::size_t last = 0;
    for (const auto& [index, element] : at.placed) {
      if (at.entries[index].isAttribute) continue;
      if (index < last) return false;
      last = index;
    }
    return true;
  }

  // Lays the placed elements out entry by entry, each entry's in document
  // order, and lists the entries in key order: attributes first, as a start
  // tag has them, then elements; each the type's members in their order,
  // then the others as first met.
  static void groupByEntry(Level& at) {
    std::size_t next = 0;
    for (Entry& entry : at.entries) {
      entry.first = next;
      next += entry.count;
    }
    for (std::size_t i = 0; i < at.entries.size(); ++i) at.keyOrder.push_back(i);
    const auto rank = [&at](std::size_t index) {
      const Entry& entry = at.entries[index];
      return std::make_tuple(!entry.isAttribute, !entry.member, entry.member ? entry.member->firstOfName : index);
    };
    std::sort(at.keyOrder.begin(), at.keyOrder.end(),
              [&rank](std::size_t a, std::size_t b) { return rank(a) < rank(b); });
    at.ordered.resize(next);
    for (Entry& entry : at.entries) entry.count = 0;
    for (const auto& [index, element] : at.placed) {
      Entry& entry = at.entries[index];
      at.ordered[entry.first + entry.count++] = element;
    }
  }

  void occurrences(const Entry& entry, const Level& at, int depth) {
    const bool array = entry.alwaysArray || entry.count > 1;
    if (array) out_.startArray();
    for (std::size_t i = entry.first; i < entry.first + entry.count; ++i) element(*at.ordered[i], entry, depth + 1);
    if (array) out_.endArray();
  }

  // Text runs as strings, elements as objects of one key, in document order.
  // Runs side by side (a comment or an instruction cut the text) are one
  // string, as the way back writes them.
  void mixedContent(const Level& at, int depth) {
    out_.startArray();
    for (std::size_t i = 0; i < at.content.size(); ++i) {
      const auto& [index, c] = at.content[i];
      if (index == kText) {
        const bool cut = i + 1 < at.content.size() && at.content[i + 1].first == kText;
        if (!cut) {
          value(c->getValue(), nullptr);
          continue;
        }
        joined_.clear();
        for (; i < at.content.size() && at.content[i].first == kText; ++i) appendRun(*at.content[i].second);
        --i;
        string(joined_);
        continue;
      }
      const Entry& entry = at.entries[index];
      out_.startObject();
      out_.key(entry.name);
      element(*c, entry, depth + 1);
      out_.endObject();
    }
    out_.endArray();
  }

  void selfDefiningElement(const Element& e, std::string_view ownNamespace, int depth) {
    if (!e.hasChildren()) {
      if (e.hasValue()) return value(e.getValue(), nullptr);
      return out_.string("");
    }
    if (holdsTextOnly(e)) return joinedText(e);
    complexElement(e, nullptr, ownNamespace, depth);
  }

  static bool holdsTextOnly(const Element& e) {
    for (const Element* c = e.getFirstChild(); c; c = c->getNextSibling())
      if (!isAnonymous(*c)) return false;
    return true;
  }

  // A comment or an instruction inside a self-defining element's text cuts
  // it into runs (its own value, then anonymous children), which are one
  // value all the same.
  void joinedText(const Element& e) {
    joined_.clear();
    appendRun(e);
    for (const Element* c = e.getFirstChild(); c; c = c->getNextSibling())
      if (isAnonymous(*c)) appendRun(*c);
    string(joined_);
  }

  void appendRun(const Element& run) {
    if (run.hasValue() && !run.getValue().isNull() && !run.getValue().isNothing())
      joined_ += run.getValue().getText().view();
  }

  // The entry a child belongs to: that of its member's name, else one by its
  // name (made on first sight).
  std::size_t entryFor(const Element& c, const SchemaType* type, Level& at) {
    if (type && c.getMemberId() >= 1) {
      const SchemaMember* member = type->memberAt(c.getMemberIndex());
      if (!member) {
        for (const SchemaMember& m : type->members)
          if (m.memberId == c.getMemberId()) member = &m;
      }
      if (member) return memberEntry(type->members[member->firstOfName], type->hasWildcard, at);
    }
    Entry probe;
    const SchemaElement* global = view_ && c.getTagId() >= 0 ? view_->element(c.getTagIndex()) : nullptr;
    if (global) {
      probe.name = global->name;
      probe.namespaceUri = global->namespaceUri;
      probe.isAttribute = global->isAttribute;
      probe.typeRow = global->typeRow;
      // A member of a substitution group repeats as its head would.
      const SchemaMember* head = type ? view_->substitutedMember(*type, global->tagRow) : nullptr;
      probe.alwaysArray = head && head->repeats;
      probe.substitutes = head;
    } else {
      std::u16string_view name = c.getName().view();
      probe.isAttribute = !name.empty() && name.front() == u'@';
      if (probe.isAttribute) name.remove_prefix(1);
      probe.name = writeUtf8(text_, name);
      probe.namespaceUri = namespaceText(c.getNamespaceURI());
    }
    // An element of a member's name beside the member's own is a wildcard's
    // (the way back gives a wildcard those beyond the member's occurrences):
    // it joins the member's key, as the parse marks it, since a key of its
    // own would repeat that key (memberEntry joins those met first).
    const bool joinsMember = type && type->hasWildcard && !probe.isAttribute && !probe.substitutes;
    if (const std::optional<std::size_t> met = entryOfName(probe, joinsMember, at)) return *met;
    if (!global) probe.name = keep(std::string(probe.name));
    at.entries.push_back(probe);
    at.noteEntry(at.entries.size() - 1);
    return at.entries.size() - 1;
  }

  // The first entry of probe's name: a member's, where joinsMember, or another.
  static std::optional<std::size_t> entryOfName(const Entry& probe, bool joinsMember, Level& at) {
    if (!at.indexed()) {
      for (std::size_t i = 0; i < at.entries.size(); ++i) {
        const Entry& entry = at.entries[i];
        if (entry.isAttribute != probe.isAttribute || entry.namespaceUri != probe.namespaceUri) continue;
        if (entry.member ? joinsMember && entry.member->name == probe.name : entry.name == probe.name) return i;
      }
      return std::nullopt;
    }
    const auto found = at.byName.find(Level::nameOf(probe));
    if (found == at.byName.end()) return std::nullopt;
    const auto [member, other] = found->second;
    const int first = joinsMember && member >= 0 && (other < 0 || member < other) ? member : other;
    if (first < 0) return std::nullopt;
    return static_cast<std::size_t>(first);
  }

  // The entry of the members of first's name, made on first sight; with
  // joinsWildcards, that of a wildcard's element of its name met before.
  static std::size_t memberEntry(const SchemaMember& first, bool joinsWildcards, Level& at) {
    int& slot = at.entryOfMember[first.firstOfName];
    if (slot < 0) {
      Entry* met = nullptr;
      if (joinsWildcards && !first.isAttribute) {
        Entry probe;
        probe.name = first.name;
        probe.namespaceUri = first.namespaceUri;
        const std::optional<std::size_t> named = entryOfName(probe, false, at);
        if (named && !at.entries[*named].substitutes) met = &at.entries[*named];
      }
      Entry& entry = met ? *met : at.entries.emplace_back();
      entry.name = first.key;
      entry.namespaceUri = first.namespaceUri;
      entry.isAttribute = first.isAttribute;
      entry.alwaysArray = first.repeats;
      entry.member = &first;
      entry.typeRow = -1;
      slot = static_cast<int>(&entry - at.entries.data());  // set once the entry is there, for a reused level
      at.noteEntry(static_cast<std::size_t>(slot));
    }
    return static_cast<std::size_t>(slot);
  }

  // Elements the type does not declare, substitution group members among
  // them, keep their namespace in the key when it is not their parent's
  // (attributes: when they have one): the way back looks a bare name up in
  // the parent's namespace. So do those whose bare name the way back would
  // give to a member of the type in another namespace (<p:foo> standing for
  // p:e1 beside a member foo of no namespace; an attribute role a wildcard
  // admits beside a member x:role is "@{}role").
  void qualifyForeignNames(Level& at, std::string_view parentNamespace, const SchemaType* type) {
    for (const std::size_t index : at.keyOrder) {
      Entry& entry = at.entries[index];
      if (entry.member) continue;
      if (entry.isAttribute && entry.namespaceUri.empty()) {
        if (takenByMemberElsewhere(type, entry)) entry.name = keep("{}" + std::string(entry.name));
      } else if (entry.isAttribute || entry.namespaceUri != parentNamespace || takenByMemberElsewhere(type, entry)) {
        qualify(entry);
      }
    }
  }

  static bool takenByMemberElsewhere(const SchemaType* type, const Entry& entry) {
    const SchemaMember* member = type ? type->findMember(entry.name, {}, entry.isAttribute, /*byKey=*/true) : nullptr;
    return member && member->namespaceUri != entry.namespaceUri;
  }

  // Keys are local names, unless two entries of an object share one, or
  // two members of its type in different namespaces do (the way back must
  // tell them apart when only one occurs): then those with a namespace take
  // its prefix ("prefix:name"), and a namespace without a preferred prefix
  // is spelled out ("{uri}name").
  void qualifyClashingNames(Level& at) {
    for (const std::size_t index : at.keyOrder) {
      Entry& entry = at.entries[index];
      if (entry.member && entry.member->sharesKeyAcrossNamespaces) qualify(entry);
    }
    const auto keyOf = [&at](std::size_t index) {
      return std::make_pair(at.entries[index].isAttribute, at.entries[index].name);
    };
    if (at.keyOrder.size() <= Level::kScannedEntries) {
      std::uint32_t clashing = 0;  // by position in keyOrder
      for (std::size_t i = 0; i < at.keyOrder.size(); ++i)
        for (std::size_t j = i + 1; j < at.keyOrder.size(); ++j)
          if (keyOf(at.keyOrder[i]) == keyOf(at.keyOrder[j])) clashing |= (1U << i) | (1U << j);
      for (std::size_t i = 0; clashing >> i; ++i)
        if (clashing >> i & 1U) qualify(at.entries[at.keyOrder[i]]);
      return;
    }
    // Sorted by key, entries that share one are neighbours.
    at.byKey = at.keyOrder;
    std::sort(at.byKey.begin(), at.byKey.end(), [&](std::size_t a, std::size_t b) { return keyOf(a) < keyOf(b); });
    for (std::size_t run = 0, end = 0; run < at.byKey.size(); run = end) {
      for (end = run + 1; end < at.byKey.size() && keyOf(at.byKey[end]) == keyOf(at.byKey[run]);) ++end;
      if (end - run < 2) continue;
      for (std::size_t i = run; i < end; ++i) qualify(at.entries[at.byKey[i]]);
    }
  }

  // "{}name" is an element in no namespace under one that has one.
  void qualify(Entry& entry) {
    if (entry.name.find(':') != std::string_view::npos || entry.name.find('}') != std::string_view::npos) return;
    const std::string name(entry.name);
    const std::string uri(entry.namespaceUri);
    if (uri.empty()) {
      if (!entry.isAttribute) entry.name = keep("{}" + name);
      return;
    }
    const std::string prefix = view_ ? view_->prefixOf(uri) : std::string();
    entry.name = keep(prefix.empty() ? "{" + uri + "}" + name : prefix + ":" + name);
  }

  // A tree namespace as UTF-8; the tree keeps one ZelWstring per namespace.
  std::string_view namespaceText(const ZelWstring& uri) {
    if (uri.empty()) return {};
    const auto found = namespaces_.find(&uri);
    if (found != namespaces_.end()) return found->second;
    return namespaces_.emplace(&uri, keep(utf8(uri))).first->second;
  }

  // Its key with the attribute marker: a member's from the schema view,
  // whose text stays at one address (which the key caches of handlers
  // notice), else one kept for the message.
  std::string_view attributeKey(const Entry& entry) {
    if (entry.member && entry.name == entry.member->key) return entry.member->attributeKey;
    return keep(typedkeys::kAttributeMarker + std::string(entry.name));
  }

  // Keeps a name for the rest of the message.
  std::string_view keep(std::string text) { return names_.emplace_back(std::move(text)); }

  // A value of the type the parse chose (ownRow: a union's member, a list's
  // item type; -1 none) for one declared of type. A union's value is given
  // as the document's text where its own form would be read back as a value
  // of another member (12.0 of xs:float as the 12 of an xs:int before it),
  // after the member's whitespace rule, as the member read it (" cafe " of
  // xs:hexBinary is "cafe").
  void memberValue(const PWFData& data, long ownRow, const SchemaType* type) {
    const SchemaType* own = view_ ? view_->type(ownRow) : nullptr;
    if (own && type && type->isUnion && own != type && !readsBackAsMember(data, ownRow, *type))
      return out_.string(withWhiteSpace(writeUtf8(text_, documentText(data, *own)), own->whiteSpace));
    value(data, own ? own : type);
  }

  // Whether the builder gives the value, as this mapping writes it (in JSON
  // or as Python objects), to the union's member of type memberRow.
  bool readsBackAsMember(const PWFData& data, long memberRow, const SchemaType& type) const {
    const auto takenBy = [&](const GivenValue& given) {
      PWFData read;
      const SchemaType::UnionMember* member = unionMemberTaking(given, type, read, view_->spellings());
      return member && member->typeRow == memberRow;
    };
    switch (data.isNull() ? eLogicalNone : data.getDataLogicalType()) {
      case eLogicalInteger: return takenBy(GivenValue::ofInteger(data.getIntegerValue()));
      case eLogicalFloat: return takenBy(GivenValue::ofNumber(data.getFloatValue()));
      case eLogicalDecimal: return takenBy(GivenValue::ofText(GivenValue::Kind::Decimal, jsonDecimal(data.getDecimalValue().view())));
      case eLogicalBoolean: return takenBy(GivenValue::ofBoolean(data.getBooleanValue()));
      case eLogicalBinary: {
        const std::vector<std::uint8_t>& bytes = data.getBinaryValue();
        ZelWstring base64;
        CPBase64Converter::binToBase64(bytes.data(), bytes.size(), base64);
        return takenBy(GivenValue::ofBytes(bytes.data(), bytes.size())) &&
               takenBy(GivenValue::ofText(GivenValue::Kind::String, utf8(base64)));
      }
      case eLogicalNone:
      case eLogicalString:
      case eLogicalDateTime:
      case eLogicalInterval: return true;  // text already, or no value
    }
    return true;
  }

  // The value as a document spells it: the text it was read from, else as
  // the writer writes it.
  std::u16string_view documentText(const PWFData& data, const SchemaType& own) {
    if (const ZelWstring* lexical = data.getLexicalForm()) return lexical->view();
    switch (data.getDataLogicalType()) {
      case eLogicalInteger:
        scratch_ = ZelWstring::fromUtf8(std::to_string(data.getIntegerValue()));
        return scratch_.view();
      case eLogicalFloat: return convert_.StrFromDbl(data.getFloatValue(), scratch_).view();
      case eLogicalBoolean: {
        const std::string& spelled = data.getBooleanValue() ? view_->spellings().trueText : view_->spellings().falseText;
        scratch_ = ZelWstring::fromUtf8(spelled.empty() ? (data.getBooleanValue() ? "true" : "false") : spelled);
        return scratch_.view();
      }
      case eLogicalBinary: {
        const std::vector<std::uint8_t>& bytes = data.getBinaryValue();
        if (own.builtin == XsdBuiltin::HexBinary) return convert_.StrFromBin(bytes.data(), bytes.size(), scratch_).view();
        return CPBase64Converter::binToBase64(bytes.data(), bytes.size(), scratch_).view();
      }
      default: return data.getText().view();
    }
  }

  // The text the value was read from, without the blanks around it; empty
  // where none was kept.
  static std::u16string_view readText(const PWFData& data) {
    const ZelWstring* lexical = data.getLexicalForm();
    if (!lexical) return {};
    const std::u16string_view read = lexical->view();
    const std::size_t first = read.find_first_not_of(u" \t\n\r");
    if (first == std::u16string_view::npos) return {};
    return read.substr(first, read.find_last_not_of(u" \t\n\r") + 1 - first);
  }

  bool isOutsideLexicalSpace(const PWFData& data, const SchemaType& type) {
    if (type.builtin == XsdBuiltin::None || data.getDataLogicalType() == eLogicalString) return false;
    const std::u16string_view text = readText(data);
    if (text.empty()) return false;
    if (data.getDataLogicalType() == eLogicalBoolean) {
      const std::string& spelled = data.getBooleanValue() ? view_->spellings().trueText : view_->spellings().falseText;
      if (!spelled.empty() && ZelWstring::fromUtf8(spelled).view() == text) return false;
    }
    // Within the text too (base64 on lines of its own).
    scratch_ = ZelWstring::fromUtf8(withWhiteSpace(writeUtf8(text_, text), type.whiteSpace));
    return !isXsdLexicalForm(type.builtin, scratch_.view());
  }

  // The text of a gMonth read as --MM--, which the value spells --MM; empty
  // for any other.
  static std::u16string_view firstGMonthForm(const PWFData& data) {
    const std::u16string_view text = readText(data);
    return isFirstGMonthForm(text) ? text : std::u16string_view();
  }

  void value(const PWFData& data, const SchemaType* type) {
    if (data.isNull()) return out_.null();
    // The parse's conversions are lenient (a boolean of any number, an
    // integer of a decimal's text): such a value, of a document the schema
    // refuses, keeps its text, which the way back refuses, rather than
    // becoming another valid value.
    if (type && isOutsideLexicalSpace(data, *type)) return string(readText(data));
    switch (data.getDataLogicalType()) {
      case eLogicalNone:
        if (data.isNothing()) return out_.string({});
        return string(data.getText().view());
      case eLogicalString:
        return string(data.getText().view());
      case eLogicalInteger:
        return out_.integer(data.getIntegerValue());
      case eLogicalDecimal:
        return decimal(data.getDecimalValue().view(), type);
      case eLogicalFloat:
        return out_.number(data.getFloatValue());
      case eLogicalBoolean:
        return out_.boolean(data.getBooleanValue());
      case eLogicalBinary: {
        const std::vector<std::uint8_t>& bytes = data.getBinaryValue();
        return out_.binary(bytes.data(), bytes.size());
      }
      case eLogicalDateTime:
        if (const std::u16string_view kept = firstGMonthForm(data); !kept.empty()) return string(kept);
        return string(
            convert_.StrFromDateTime(data.getDateTimeValue(), DataCnv::XML_SCHEMA_FORMAT, nullptr, scratch_).view());
      case eLogicalInterval:
        // As read: the value keeps no zeros before a field's digits (P01M), which a pattern may want.
        if (const std::u16string_view kept = readText(data); !kept.empty()) return string(kept);
        return string(convert_.StrFromInterval(data.getIntervalValue(), scratch_).view());
    }
    string(data.getText().view());
  }

  void string(std::u16string_view text) {
    out_.string(writeUtf8(text_, text));
  }

  // Values of the integer types are integers, beyond 64 bits too. One the
  // parse read with a fraction (1.5, 12.000: a document the schema refuses)
  // stays a decimal, which the way back refuses, rather than becoming
  // another integer.
  void decimal(std::u16string_view text, const SchemaType* type) {
    const std::string digits = jsonDecimal(text);
    if (!type || !type->isIntegerFamily || digits.find('.') != std::string::npos) return out_.decimal(digits);
    const std::string integer = plainInteger(digits);
    std::int64_t value = 0;
    const auto [end, fault] = std::from_chars(integer.data(), integer.data() + integer.size(), value);
    if (fault == std::errc() && end == integer.data() + integer.size()) return out_.integer(value);
    out_.bigInteger(integer);
  }

  const SchemaView* view_;
  TypedDataHandler& out_;
  DataCnv convert_;
  ZelWstring scratch_;
  std::u16string joined_;     // text runs that are one value
  std::string text_;          // holds the UTF-8 of the value or name at hand
  std::function<void(const Element&)> visit_;
  std::deque<Level>& levels_;  // a deque: levels stay where they are while deeper ones are added
  std::deque<std::string> names_;  // kept for the message; a deque: the names stay where they are
  std::unordered_map<const ZelWstring*, std::string_view> namespaces_;  // the tree's namespaces as UTF-8
};

// Follows typed data as they are reported: the JSON path of the value that
// comes next ("$.doc.$[4].a" in content kept in order).
class JsonPathTracker : public TypedDataHandler {
public:
  std::string path() const { return path_.text(); }

  void startObject() override { path_.open(false); }
  void key(std::string_view name) override { path_.key(name); }
  void endObject() override { path_.close(); }
  void startArray() override { path_.open(true); }
  void endArray() override { path_.close(); }
  void null() override { path_.valueDone(); }
  void boolean(bool) override { path_.valueDone(); }
  void integer(std::int64_t) override { path_.valueDone(); }
  void bigInteger(std::string_view) override { path_.valueDone(); }
  void decimal(std::string_view) override { path_.valueDone(); }
  void number(double) override { path_.valueDone(); }
  void string(std::string_view) override { path_.valueDone(); }
  void binary(const std::uint8_t*, std::size_t) override { path_.valueDone(); }

private:
  JsonPath path_;
};

// Ends a walk that has reached the element it looks for.
struct ElementReached {};

}  // namespace

struct RecordedWalkLevels::Levels {
  std::deque<Level<RecordedElement>> byDepth;
};

RecordedWalkLevels::RecordedWalkLevels() : levels_(std::make_unique<Levels>()) {}
RecordedWalkLevels::~RecordedWalkLevels() = default;

void writeTypedData(const SchemaView* view, const MessageTree& tree, TypedDataHandler& out) {
  std::deque<Level<TreeElement>> levels;
  TreeWalker<TreeElement>(view, out, levels).message(tree.getRoot());
}

std::string typedDataPathOf(const SchemaView* view, const MessageTree& tree, const TreeElement& element) {
  std::vector<const TreeElement*> ancestry;
  for (const TreeElement* at = &element; at; at = at->getParent()) ancestry.push_back(at);
  JsonPathTracker tracker;
  std::deque<Level<TreeElement>> levels;
  TreeWalker<TreeElement> walker(view, tracker, levels);
  std::string nearest = "$";
  walker.onElement([&](const TreeElement& reached) {
    if (std::find(ancestry.begin(), ancestry.end(), &reached) == ancestry.end()) return;
    nearest = tracker.path();
    if (&reached == &element) throw ElementReached{};
  });
  try {
    walker.message(tree.getRoot());
  } catch (const ElementReached&) {
  }
  return nearest;
}

void writeTypedData(const SchemaView* view, const ElementRecorder& recorded, TypedDataHandler& out,
                    RecordedWalkLevels& levels) {
  TreeWalker<RecordedElement>(view, out, levels.levels().byDepth).message(recorded.root());
}

}  // namespace wfxml::detail

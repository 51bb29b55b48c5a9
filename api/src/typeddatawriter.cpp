#include "typeddatawriter.h"

#include "base64converter.h"
#include "datacnv.h"
#include "error.h"
#include "messagetree.h"
#include "schemaview.h"
#include "utf8.h"
#include "zelexception.h"

#include <charconv>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {
namespace {

std::string utf8(const ZelWstring& text) { return text.toUtf8(); }

bool isXsiType(const TreeElement& element) {
  return element.getTagId() < 0 && element.getMemberId() < 1 && element.getName().view() == u"type" &&
         element.getNamespaceURI().toUtf8() == typedkeys::kSchemaInstanceNamespace;
}

// An anonymous value: a text run, a list item, the simple content of an
// element with attributes.
bool isAnonymous(const TreeElement& element) {
  return element.getTagId() < 0 && element.getMemberId() < 1 && element.getName().empty();
}

// A decimal spelled as a JSON number: no "+" sign, a digit on both sides of
// the point. The value stays the same.
std::string jsonDecimal(std::u16string_view text) {
  std::string digits = ZelWstring(text.data(), text.size()).toUtf8();
  if (!digits.empty() && digits.front() == '+') digits.erase(0, 1);
  const std::size_t sign = !digits.empty() && digits.front() == '-' ? 1 : 0;
  if (digits.size() > sign && digits[sign] == '.') digits.insert(sign, "0");
  if (!digits.empty() && digits.back() == '.') digits.pop_back();
  return digits;
}

// A decimal integer without its leading zeros ("-0" is "0").
std::string plainInteger(const std::string& digits) {
  const bool negative = !digits.empty() && digits.front() == '-';
  std::size_t start = negative ? 1 : 0;
  while (start + 1 < digits.size() && digits[start] == '0') ++start;
  std::string out = digits.substr(start);
  if (out.find('.') != std::string::npos) out.erase(out.find('.'));  // "12.000" of an integer type
  if (out.empty()) out = "0";
  return negative && out != "0" ? "-" + out : out;
}

// One element of the output: a key and the tree elements it stands for. Its
// names are the schema view's, or texts the walker keeps for the message.
struct Entry {
  std::string_view name;  // the key, without an attribute's marker
  std::string_view namespaceUri;
  bool isAttribute = false;
  bool alwaysArray = false;
  const SchemaMember* member = nullptr;
  const SchemaMember* substitutes = nullptr;  // a substitution group member's head
  long typeRow = -1;  // the declared type of a global element met under a wildcard
  std::vector<const TreeElement*> elements;  // those written under its key
  bool present = false;  // the element has children of it, under its key or in mixed content
};

// A child in mixed content: a text run, or an element with its entry's position.
struct Content {
  const TreeElement* child;
  std::size_t entry;
};
constexpr std::size_t kTextRun = static_cast<std::size_t>(-1);

class TreeWalker {
public:
  TreeWalker(const SchemaView* view, TypedDataHandler& out)
      : view_(view), out_(out), convert_(1200, 0, 1, 53, nullptr, false, nullptr, 0, true, 53, false, 0, nullptr) {}

  void message(const MessageTree& tree) {
    out_.startObject();
    if (const TreeElement* root = tree.getRoot()) {
      Entry entry = rootEntry(*root);
      out_.key(entry.name);
      element(*root, entry, 0);
    }
    out_.endObject();
  }

private:
  Entry rootEntry(const TreeElement& root) {
    Entry entry;
    entry.elements.push_back(&root);
    const SchemaElement* defined = view_ ? view_->element(root.getTagIndex()) : nullptr;
    if (!defined && view_ && root.getTagId() >= 0) {
      for (const SchemaElement& e : view_->elements())
        if (e.tagId == root.getTagId()) defined = &e;
    }
    if (defined) {
      entry.name = defined->name;
      entry.namespaceUri = defined->namespaceUri;
      entry.typeRow = defined->typeRow;
    } else {
      entry.name = keep(utf8(root.getName()));
      entry.namespaceUri = keep(utf8(root.getNamespaceURI()));
    }
    return entry;
  }

  // The type an element of this entry has: its xsi:type, else its member's
  // or global element's; null when self-defining or untyped.
  const SchemaType* typeOf(const TreeElement& e, const Entry& entry) const {
    if (!view_) return nullptr;
    const long declared = entry.member ? entry.member->typeRow : entry.typeRow;
    return view_->typeOf(declared, e.getTypeIndex());
  }

  void element(const TreeElement& e, const Entry& entry, int depth) {
    if (depth > typedkeys::kMaxDepth)
      throwError(__FILE__, __LINE__, "Session::toTypedData", ZelMessages::CP_JSON_MISMATCH,
                 {"$", "the message is nested deeper than " + std::to_string(typedkeys::kMaxDepth) + " levels"});
    const SchemaType* type = typeOf(e, entry);
    const bool selfDefining = !type && !entry.member && entry.typeRow < 0;
    if (selfDefining) return selfDefiningElement(e, entry.namespaceUri, depth);
    if (!type) return scalar(e, nullptr);
    // A value with no attributes beside it stands alone, also where the type
    // would allow some.
    const bool plainValue =
        !type->isComplex || (type->hasSimpleContent && !hasAttributeChild(e) && e.getTypeIndex() < 0);
    if (plainValue && !hasAttributeChild(e)) {
      if (type->isList) return list(e, *type);
      return scalar(e, type);
    }
    if (e.hasValue() && e.getValue().isNull() && !hasAttributeChild(e)) return out_.null();
    complexElement(e, type, entry.namespaceUri, depth);
  }

  // Self-defining content is mixed when text runs stand beside elements.
  static bool hasMixedContent(const TreeElement& e) {
    bool text = false;
    bool elements = false;
    for (const TreeElement* c = e.getFirstChild(); c; c = c->getNextSibling()) {
      if (isAnonymous(*c)) {
        text = true;
      } else if (c->getName().view().substr(0, 1) != u"@" && !isXsiType(*c)) {
        elements = true;
      }
    }
    return text && elements;
  }

  bool hasAttributeChild(const TreeElement& e) const {
    for (const TreeElement* c = e.getFirstChild(); c; c = c->getNextSibling()) {
      if (c->getName().view().substr(0, 1) == u"@") return true;
      if (!view_) continue;
      if (const SchemaMember* member = view_->memberOf(*c); member && member->isAttribute) return true;
      if (c->getMemberId() < 1 && c->getTagId() >= 0) {
        if (const SchemaElement* global = view_->element(c->getTagIndex()); global && global->isAttribute) return true;
      }
    }
    return false;
  }

  void list(const TreeElement& e, const SchemaType& type) {
    if (e.hasValue() && e.getValue().isNull()) return out_.null();
    const SchemaType* itemType = view_->type(type.listItemType);
    out_.startArray();
    if (!e.hasChildren() && e.hasValue()) value(e.getValue(), itemType);  // a single item kept on the element
    for (const TreeElement* c = e.getFirstChild(); c; c = c->getNextSibling()) {
      const SchemaType* own = view_->type(c->getValueTypeIndex());
      value(c->getValue(), own ? own : itemType);
    }
    out_.endArray();
  }

  // An element of a simple type: its value, or that of the anonymous child
  // that holds it.
  void scalar(const TreeElement& e, const SchemaType* type) {
    const SchemaType* own = view_ ? view_->type(e.getValueTypeIndex()) : nullptr;
    if (e.hasValue()) return value(e.getValue(), own ? own : type);
    const TreeElement* c = e.getFirstChild();
    if (c && isAnonymous(*c) && !c->getNextSibling()) {
      const SchemaType* childOwn = view_ ? view_->type(c->getValueTypeIndex()) : nullptr;
      return value(c->getValue(), childOwn ? childOwn : type);
    }
    out_.string("");
  }

  void complexElement(const TreeElement& e, const SchemaType* type, std::string_view ownNamespace, int depth) {
    std::vector<Entry> entries = type ? memberEntries(*type) : std::vector<Entry>();
    std::vector<const TreeElement*> anonymous;
    std::vector<Content> content;  // mixed content in order
    const bool mixed = type ? type->isMixed : hasMixedContent(e);
    for (const TreeElement* c = e.getFirstChild(); c; c = c->getNextSibling()) {
      if (isXsiType(*c)) continue;
      if (isAnonymous(*c)) {
        anonymous.push_back(c);
        content.push_back({c, kTextRun});
        continue;
      }
      Entry* entry = entryFor(*c, type, entries);
      entry->present = true;
      if (entry->isAttribute) {
        entry->elements.push_back(c);
      } else if (mixed) {
        content.push_back({c, static_cast<std::size_t>(entry - entries.data())});  // into the content array
      } else {
        entry->elements.push_back(c);
      }
    }
    qualifyForeignNames(entries, ownNamespace);
    qualifyClashingNames(entries);
    out_.startObject();
    if (e.getTypeIndex() >= 0 && view_) {
      out_.key(typedkeys::kXsiType);
      out_.string(view_->typeReference(e.getTypeIndex()));
    }
    for (const Entry& entry : entries) {
      if (entry.elements.empty()) continue;
      if (entry.isAttribute) {
        attributeKey_.assign(1, typedkeys::kAttributeMarker).append(entry.name);
        out_.key(attributeKey_);
      } else {
        out_.key(entry.name);
      }
      occurrences(entry, depth);
    }
    if (mixed) {
      out_.key(typedkeys::kValue);
      mixedContent(content, entries, depth);
    } else if (e.hasValue() || !anonymous.empty()) {
      out_.key(typedkeys::kValue);
      if (e.hasValue()) {
        value(e.getValue(), type);
      } else {
        value(anonymous.front()->getValue(), type);
      }
    }
    out_.endObject();
  }

  void occurrences(const Entry& entry, int depth) {
    const bool array = entry.alwaysArray || entry.elements.size() > 1;
    if (array) out_.startArray();
    for (const TreeElement* c : entry.elements) element(*c, entry, depth + 1);
    if (array) out_.endArray();
  }

  // Text runs as strings, elements as objects of one key, in document order.
  void mixedContent(const std::vector<Content>& content, const std::vector<Entry>& entries, int depth) {
    out_.startArray();
    for (const auto& [c, entry] : content) {
      if (entry == kTextRun) {
        value(c->getValue(), nullptr);
        continue;
      }
      out_.startObject();
      out_.key(entries[entry].name);
      element(*c, entries[entry], depth + 1);
      out_.endObject();
    }
    out_.endArray();
  }

  void selfDefiningElement(const TreeElement& e, std::string_view ownNamespace, int depth) {
    if (!e.hasChildren()) {
      if (e.hasValue()) return value(e.getValue(), nullptr);
      return out_.string("");
    }
    complexElement(e, nullptr, ownNamespace, depth);
  }

  static std::vector<Entry> memberEntries(const SchemaType& type) {
    std::vector<Entry> entries;
    entries.reserve(type.members.size());
    for (const SchemaMember& member : type.members) {
      Entry entry;
      entry.name = member.name;
      entry.namespaceUri = member.namespaceUri;
      entry.isAttribute = member.isAttribute;
      entry.alwaysArray = member.repeats;
      entry.member = &member;
      entries.push_back(std::move(entry));
    }
    return entries;
  }

  // The entry a child belongs to: its member's, else one by its name (made
  // on first sight, after the members).
  Entry* entryFor(const TreeElement& c, const SchemaType* type, std::vector<Entry>& entries) {
    if (type && c.getMemberId() >= 1) {
      const SchemaMember* member = type->memberAt(c.getMemberIndex());
      if (!member) {
        for (const SchemaMember& m : type->members)
          if (m.memberId == c.getMemberId()) member = &m;
      }
      if (member) return &entries[member->firstOfName];
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
      assignUtf8(name_, c.getName().view());
      assignUtf8(namespace_, c.getNamespaceURI().view());
      probe.name = name_;
      probe.isAttribute = !probe.name.empty() && probe.name.front() == typedkeys::kAttributeMarker;
      if (probe.isAttribute) probe.name.remove_prefix(1);
      probe.namespaceUri = namespace_;
    }
    for (Entry& entry : entries) {
      if (!entry.member && entry.name == probe.name && entry.namespaceUri == probe.namespaceUri &&
          entry.isAttribute == probe.isAttribute)
        return &entry;
    }
    if (!global) {
      probe.name = keep(std::string(probe.name));
      probe.namespaceUri = keep(namespace_);
    }
    entries.push_back(std::move(probe));
    return &entries.back();
  }

  // Elements the type does not declare keep their namespace in the key
  // when it is not their parent's (attributes: when they have one).
  void qualifyForeignNames(std::vector<Entry>& entries, std::string_view parentNamespace) {
    for (Entry& entry : entries) {
      if (entry.member || entry.substitutes || !entry.present) continue;
      if (entry.isAttribute ? !entry.namespaceUri.empty() : entry.namespaceUri != parentNamespace) qualify(entry);
    }
  }

  // Keys are local names, unless two entries of an object share one: then
  // those with a namespace take its prefix ("prefix:name"), and a namespace
  // without a preferred prefix is spelled out ("{uri}name").
  void qualifyClashingNames(std::vector<Entry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      for (std::size_t j = i + 1; j < entries.size(); ++j) {
        Entry& a = entries[i];
        Entry& b = entries[j];
        if (!a.present || !b.present || a.name != b.name || a.isAttribute != b.isAttribute) continue;
        qualify(a);
        qualify(b);
      }
    }
  }

  // "{}name" is an element in no namespace under one that has one.
  void qualify(Entry& entry) {
    if (entry.name.find(':') != std::string_view::npos || entry.name.find('}') != std::string_view::npos) return;
    if (entry.namespaceUri.empty()) {
      if (!entry.isAttribute) entry.name = keep("{}" + std::string(entry.name));
      return;
    }
    const std::string prefix = view_ ? view_->prefixOf(entry.namespaceUri) : std::string();
    std::string qualified = prefix.empty() ? "{" + std::string(entry.namespaceUri) + "}" : prefix + ":";
    entry.name = keep(qualified.append(entry.name));
  }

  // Keeps a name for the rest of the message.
  std::string_view keep(std::string text) { return names_.emplace_back(std::move(text)); }

  void value(const PWFData& data, const SchemaType* type) {
    if (data.isNull()) return out_.null();
    switch (data.getDataLogicalType()) {
      case eLogicalNone:
        return out_.string(data.isNothing() ? std::string() : utf8(data.getText()));
      case eLogicalString:
        return out_.string(utf8(data.getText()));
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
        return out_.string(utf8(convert_.StrFromDateTime(data.getDateTimeValue(), DataCnv::XML_SCHEMA_FORMAT,
                                                         nullptr, scratch_)));
      case eLogicalInterval:
        return out_.string(utf8(convert_.StrFromInterval(data.getIntervalValue(), scratch_)));
    }
    out_.string(utf8(data.getText()));
  }

  // Values of the integer types are integers, beyond 64 bits too.
  void decimal(std::u16string_view text, const SchemaType* type) {
    const std::string digits = jsonDecimal(text);
    if (!type || !type->isIntegerFamily) return out_.decimal(digits);
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
  std::deque<std::string> names_;  // a deque: the kept names stay where they are
  std::string name_;               // a self-defining child's names, converted once per child
  std::string namespace_;
  std::string attributeKey_;
};

}  // namespace

void writeTypedData(const SchemaView* view, const MessageTree& tree, TypedDataHandler& out) {
  TreeWalker(view, out).message(tree);
}

}  // namespace wfxml::detail

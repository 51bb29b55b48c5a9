#include "typedbuilder.h"

#include "contentcheck.h"
#include "error.h"
#include "memberorder.h"
#include "messageset.h"
#include "messagetree.h"
#include "schemaspellings.h"
#include "schemaview.h"
#include "typeddatawriter.h"
#include "unwritablecharacter.h"
#include "utf8.h"
#include "workerinfo.h"
#include "xmlproperties.h"
#include "xsdlexical.h"
#include "zelexception.h"
#include "zelwstring.h"


#include <algorithm>
#include <optional>
#include <unordered_map>

namespace wfxml::detail {

// ---------------------------------------------------------------------------
// Collecting

void TypedNodeCollector::misuse(const char* what) const {
  throwError(__FILE__, __LINE__, "Session::fromJson", ZelMessages::CP_JSON_MISMATCH,
             {"$", std::string("typed data out of order: ") + what});
}

TypedNode& TypedNodeCollector::place(TypedNode node) {
  if (open_.empty()) {
    if (hasRoot_) misuse("a second value after the first");
    hasRoot_ = true;
    root_ = std::move(node);
    return root_;
  }
  TypedNode& parent = *open_.back();
  if (parent.kind == TypedNode::Kind::Object) {
    if (!keyPending_) misuse("a value where a key is due");
    keyPending_ = false;
    parent.fields.back().second = std::move(node);
    return parent.fields.back().second;
  }
  parent.items.push_back(std::move(node));
  return parent.items.back();
}

void TypedNodeCollector::add(GivenValue value) {
  TypedNode node;
  node.value = std::move(value);
  place(std::move(node));
}

void TypedNodeCollector::openNode(TypedNode::Kind kind) {
  if (open_.size() >= static_cast<std::size_t>(typedkeys::kMaxDataDepth))
    throwError(__FILE__, __LINE__, "Session::fromJson", ZelMessages::CP_JSON_MISMATCH,
               {"$", "the data are nested deeper than " + std::to_string(typedkeys::kMaxDataDepth) + " levels"});
  TypedNode node;
  node.kind = kind;
  open_.push_back(&place(std::move(node)));
}

void TypedNodeCollector::startObject() { openNode(TypedNode::Kind::Object); }

void TypedNodeCollector::key(std::string_view name) {
  if (open_.empty() || open_.back()->kind != TypedNode::Kind::Object || keyPending_) misuse("a key outside an object");
  open_.back()->fields.emplace_back(std::string(name), TypedNode());
  keyPending_ = true;
}

void TypedNodeCollector::endObject() {
  if (open_.empty() || open_.back()->kind != TypedNode::Kind::Object || keyPending_) misuse("an object's end");
  open_.pop_back();
}

void TypedNodeCollector::startArray() { openNode(TypedNode::Kind::Array); }

void TypedNodeCollector::endArray() {
  if (open_.empty() || open_.back()->kind != TypedNode::Kind::Array) misuse("an array's end");
  open_.pop_back();
}

void TypedNodeCollector::null() { add({}); }

void TypedNodeCollector::boolean(bool value) { add(GivenValue::ofBoolean(value)); }

void TypedNodeCollector::integer(std::int64_t value) { add(GivenValue::ofInteger(value)); }

void TypedNodeCollector::bigInteger(std::string_view digits) {
  add(GivenValue::ofText(GivenValue::Kind::BigInteger, digits));
}

void TypedNodeCollector::decimal(std::string_view digits) { add(GivenValue::ofText(GivenValue::Kind::Decimal, digits)); }

void TypedNodeCollector::number(double value) { add(GivenValue::ofNumber(value)); }

void TypedNodeCollector::string(std::string_view text) { add(GivenValue::ofText(GivenValue::Kind::String, text)); }

void TypedNodeCollector::binary(const std::uint8_t* bytes, std::size_t size) {
  add(GivenValue::ofBytes(bytes, size));
}

TypedNode TypedNodeCollector::take() {
  if (!hasRoot_ || !open_.empty()) misuse("the data end before they are complete");
  hasRoot_ = false;
  return std::move(root_);
}

// ---------------------------------------------------------------------------
// Mapping onto the tree

namespace {

// Whether an xsi:type names XML Schema's xs:anyType, which no set has as a
// type of its own: the reader names it by namespace and name.
bool namesAnyType(std::string_view reference) {
  const std::string_view xsd = msgset::kXmlSchemaNamespace;
  return reference.size() > xsd.size() && reference[0] == '{' && reference.substr(1, xsd.size()) == xsd &&
         reference.substr(1 + xsd.size()) == "}anyType";
}

struct Name {
  std::string local;
  std::string namespaceUri;
  bool namespaceGiven = false;  // "{}name" gives no namespace; "name" gives none and inherits
  bool isAttribute = false;
};

class TreeMapper {
public:
  TreeMapper(const SchemaView* view, MessageTree& tree, bool checkContent) : view_(view), assembly_(view, tree) {
    if (view && checkContent) check_.emplace(*view);
  }

  void message(const TypedNode& data) {
    if (data.kind != TypedNode::Kind::Object || data.fields.size() != 1)
      fail("one object with one key, the message's element name, was expected");
    const auto& [key, content] = data.fields.front();
    Step step(*this, "." + key);
    const Name name = parseName(key);
    if (!view_) {
      refuseUnlessXmlName(name.local);
      TreeElement& root = assembly_.createSelfDefiningMessage(name.local, name.namespaceUri);
      return selfDefining(root, content);
    }
    // A document may have any global element at its root, as the parse
    // reads it: the messages of that name first, else the global elements.
    std::vector<const SchemaElement*> candidates;
    for (const bool messagesOnly : {true, false}) {
      for (const SchemaElement& element : view_->elements()) {
        if ((element.isMessage || !messagesOnly) && !element.isAttribute && element.name == name.local &&
            (name.namespaceUri.empty() || element.namespaceUri == name.namespaceUri))
          candidates.push_back(&element);
      }
      if (!candidates.empty()) break;
    }
    if (candidates.empty()) return typedRoot(name, key, content);
    // Messages that share an element name (told apart by an ID attribute in
    // XML): the first whose content the data fit; when none does, the
    // mistake is where the best fit found it, the deepest.
    std::optional<Error> bestFit;
    for (const SchemaElement* candidate : candidates) {
      try {
        TreeElement& root = assembly_.createMessage(*candidate);
        return defined(root, content, candidate->typeRow, candidate->nillable);
      } catch (const Error& e) {
        if (!bestFit || depthOf(e) > depthOf(*bestFit)) bestFit = e;
        assembly_.tree().clear();
        declared_.clear();
      }
    }
    throw *bestFit;
  }

  // Gives each QName value the namespace of its prefix, as the parse notes it
  // for the writer: declared by "@xmlns:p" on its element or one around it,
  // else the message set's for that prefix; a value without a prefix takes
  // the default namespace "@xmlns" declares on its element, else none. The
  // writer declares them again where it writes the value, unless the
  // elements around bind them so.
  void bindValuePrefixes() {
    for (TreeElement* e = assembly_.tree().getRoot(); e; e = nextInDocumentOrder(*e)) {
      if (!e->hasValue() || e->getValue().isNull() || e->getValue().getDataLogicalType() != eLogicalString ||
          !holdsQualifiedName(*e))
        continue;
      const std::string name = e->getValue().getText().toUtf8();
      const std::string_view prefix = typedkeys::prefixOf(name);
      const bool unprefixed = name.find(':') == std::string::npos;
      const std::string uri = prefix.empty() && !unprefixed ? std::string() : namespaceOfValuePrefix(*e, prefix);
      if (uri.empty()) continue;
      WorkerInfoPtr record(new DataWorkerInfo<kValueNamespaceProperty + 1>);
      record->setProperty(kValueNamespaceProperty, PWFData::makeString(ZelWstring::fromUtf8(uri)));
      e->setDataInfo(record);
    }
  }

private:
  // A root no global element declares, typed by its xsi:type alone, as the
  // parse reads such a document.
  void typedRoot(const Name& name, const std::string& key, const TypedNode& content) {
    const std::string* xsiType = xsiTypeOf(content);
    if (!xsiType || view_->findTypeReference(*xsiType) < 0) fail("the message set has no message '" + key + "' (its messages: " + view_->messageNames() + ")");
    refuseUnlessElementName(name);
    defined(assembly_.createSelfDefiningMessage(name.local, name.namespaceUri), content, -1, false);
  }

  // One step down the JSON path, undone when it ends.
  class Step {
  public:
    Step(TreeMapper& mapper, std::string segment) : mapper_(mapper) { mapper_.path_.push_back(std::move(segment)); }
    ~Step() { mapper_.path_.pop_back(); }
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;

  private:
    TreeMapper& mapper_;
  };

  // Content a wildcard admits is matched at least as loosely as the wildcard
  // says, for as long as the scope lasts.
  class Loosened {
  public:
    Loosened(TreeMapper& mapper, WildcardProcessing wildcard) : mapper_(mapper), outer_(mapper.processing_) {
      mapper_.processing_ = std::max(outer_, wildcard);
    }
    ~Loosened() { mapper_.processing_ = outer_; }
    Loosened(const Loosened&) = delete;
    Loosened& operator=(const Loosened&) = delete;

  private:
    TreeMapper& mapper_;
    const WildcardProcessing outer_;
  };

  // A name the data make up must be one the XML can have (without a
  // dictionary, where the parse reads no namespaces, any XML name).
  void refuseUnlessXmlName(const std::string& name) const {
    refuseUnlessUtf8(name, "name");
    const ZelWstring wide = ZelWstring::fromUtf8(name);
    if (!isXmlName(wide.view(), view_ != nullptr)) fail("'" + name + "' is not an XML name");
  }

  // An element the data name: an XML name, and not of the schema-instance
  // namespace, whose names the writer gives as attributes.
  void refuseUnlessElementName(const Name& name) const {
    refuseUnlessXmlName(name.local);
    if (name.namespaceUri == typedkeys::kSchemaInstanceNamespace)
      fail("an element cannot be in the XML Schema instance namespace");
  }

  // A list's items are written between blanks and read back split at white
  // space, so an item must be one: not empty, no white space inside, and none
  // at its ends unless its type collapses white space (as the parse does).
  void refuseUnlessOneItem(const GivenValue& given, bool collapsed) const {
    if (!isText(given.kind)) return;
    const std::vector<std::string_view> items = listItems(given.text);
    if (items.size() == 1 && (collapsed || items.front().size() == given.text.size())) return;
    fail("a list item must be one word: '" + given.text + "' would read back as " + std::to_string(items.size()) +
         " items");
  }

  // Text that is not UTF-8, or holds a character the document's XML version
  // cannot carry (C0 controls but tab and line ends, which XML 1.1 carries
  // but for U+0000; U+FFFE, U+FFFF), would be refused by the writer without
  // a path. One pass over the bytes for both.
  void refuseUnlessXmlText(const std::string& utf8) const {
    const bool xml11 = view_ && view_->writesXml11();
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t size = utf8.size();
    for (std::size_t i = 0; i < size;) {
      const unsigned char c = bytes[i];
      if (c >= 0x80) {
        const std::size_t length = utf8SequenceLength(bytes + i, size - i);
        if (length == 0) refuseNonUtf8At("text", i);
        if (c == 0xEF && bytes[i + 1] == 0xBF && (bytes[i + 2] & 0xFE) == 0xBE)
          refuseCharacterAt(utf8, i, 0xFFFE | (bytes[i + 2] & 1), xml11);
        i += length;
      } else {
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && (c == 0 || !xml11)) refuseCharacterAt(utf8, i, c, xml11);
        ++i;
      }
    }
  }

  [[noreturn]] void refuseCharacterAt(std::string_view utf8, std::size_t at, char32_t code, bool xml11) const {
    // Characters, not bytes, as a person counts them in the text.
    const auto starts = [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; };
    const auto before = static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.begin() + at, starts));
    fail(unwritableCharacterReason(code, before + 1, "the text", xml11 ? "1.1" : "1.0"));
  }

  void refuseUnlessUtf8(std::string_view text, const char* what) const {
    if (const std::size_t at = firstNonUtf8(text); at != std::string_view::npos) refuseNonUtf8At(what, at);
  }

  [[noreturn]] void refuseNonUtf8At(const char* what, std::size_t at) const {
    fail(std::string("the ") + what + " is not UTF-8 (at byte " + std::to_string(at) + ")");
  }

  [[noreturn]] void refuseUnknown(const std::string& key, const Name& name, const SchemaType& type) const {
    const std::string notMember = "'" + key + "' is not a member of this element";
    if (name.isAttribute && type.attributeWildcard)
      fail(notMember + ", and its attribute wildcard admits no attribute of " +
           (name.namespaceUri.empty() ? std::string("no namespace") : "namespace '" + name.namespaceUri + "'"));
    if (!name.isAttribute && type.hasWildcard) fail(notMember + ", and its wildcard admits no element of its namespace");
    fail(notMember + ", and nothing else may be here");
  }

  // How deep into the data the JSON path of a refusal goes.
  static std::size_t depthOf(const Error& e) {
    const std::string& path = e.inserts().empty() ? std::string() : e.inserts().front();
    return static_cast<std::size_t>(std::count_if(path.begin(), path.end(), [](char c) { return c == '.' || c == '['; }));
  }

  [[noreturn]] void fail(const std::string& what) const {
    std::string path = "$";
    for (const std::string& segment : path_) path += segment;
    throwError(__FILE__, __LINE__, "Session::fromJson", ZelMessages::CP_JSON_MISMATCH, {path, what});
  }

  // "name", "prefix:name", "{uri}name", each after an optional "@".
  Name parseName(std::string_view key) const {
    // With a dictionary the parse reads a namespace declaration as one,
    // never as an attribute: written, such a key would change namespaces
    // and not come back.
    if (view_ && (key == typedkeys::kDefaultNamespaceDeclaration || key.rfind(typedkeys::kNamespaceDeclaration, 0) == 0 ||
                  key.rfind("@{http://www.w3.org/2000/xmlns/}", 0) == 0))
      fail("a namespace declaration is no attribute: only an element that holds a QName value binds its prefix, "
           "with \"@xmlns\" or \"@xmlns:p\"");
    Name name;
    if (!key.empty() && key.front() == typedkeys::kAttributeMarker) {
      name.isAttribute = true;
      key.remove_prefix(1);
    }
    if (!key.empty() && key.front() == '{') {
      // A name holds no '}', a namespace may ("urn:x}y" is no URI, but XML takes it).
      const std::size_t close = key.rfind('}');
      if (close == std::string_view::npos) fail("the key's namespace has no closing '}'");
      name.namespaceUri = key.substr(1, close - 1);
      refuseUnlessXmlText(name.namespaceUri);
      name.namespaceGiven = true;
      name.local = key.substr(close + 1);
      return name;
    }
    // Without a dictionary names stay as written, prefix and all, as the
    // parse gives them (it reads no namespaces then).
    const std::size_t colon = view_ ? key.find(':') : std::string_view::npos;
    if (colon != std::string_view::npos) {
      const std::string_view prefix = key.substr(0, colon);
      name.namespaceUri = view_->namespaceOfPrefix(prefix);
      if (name.namespaceUri.empty()) fail("the prefix '" + std::string(prefix) + "' names no namespace");
      name.namespaceGiven = true;
      name.local = key.substr(colon + 1);
      return name;
    }
    name.local = key;
    return name;
  }

  // The value for an element of type; in lax content text of the type's
  // lexical space is its value and any other stays text, as a parse takes
  // it: the conversions alone would make another value of some (true of -1).
  // memberType, when given, is set to the member type that took a union's value.
  PWFData valueOf(const GivenValue& given, const SchemaType* type, long* memberType = nullptr) const {
    if (given.kind == GivenValue::Kind::String) refuseUnlessXmlText(given.text);
    PWFData value;
    std::string wrong;
    if (typedValue(given, type, value, wrong, spellings(), memberType)) return value;
    if (processing_ != WildcardProcessing::Lax) fail(wrong);
    if (type && !type->isList && given.kind == GivenValue::Kind::String &&
        memberTextValue(given.text, type->builtin, {}, type->logicalType, type->whiteSpace, value, spellings()))
      return value;
    if (typedValue(given, nullptr, value, wrong)) return value;
    fail(wrong);
  }

  void setValue(TreeElement& element, const TypedNode& node, const SchemaType* type) {
    if (node.kind != TypedNode::Kind::Value) fail("a single value was expected");
    long memberType = -1;
    element.setValue(valueOf(node.value, type, &memberType));
    element.setValueTypeIndex(memberType);
  }

  // An element defined by the message set, of the declared type.
  void defined(TreeElement& element, const TypedNode& node, long declaredType, bool nillable) {
    const SchemaType* type = view_->type(declaredType);
    if (isNull(node)) return nullGiven(element, node, type, nillable);
    if (node.kind == TypedNode::Kind::Object) {
      const auto xsiType = std::find_if(node.fields.begin(), node.fields.end(),
                                        [](const auto& field) { return field.first == typedkeys::kXsiType; });
      if (xsiType != node.fields.end()) {
        Step step(*this, "." + xsiType->first);
        const TypedNode& reference = xsiType->second;
        if (reference.kind != TypedNode::Kind::Value || reference.value.kind != GivenValue::Kind::String)
          fail("the type's name was expected");
        const long typeRow = view_->findTypeReference(reference.value.text);
        if (typeRow >= 0) {
          assembly_.setXsiType(element, typeRow);
          type = view_->type(typeRow);
        } else if (const std::string_view builtin = typedkeys::builtinTypeName(reference.value.text); !builtin.empty()) {
          assembly_.setBuiltinXsiType(element, builtin);
        } else if (namesAnyType(reference.value.text)) {
          // Anything goes in, as in an element declared of xs:anyType.
          return selfDefining(element, node);
        } else {
          fail("the message set has no type '" + reference.value.text + "'");
        }
      }
    }
    if (!type) return selfDefining(element, node);
    if (type->isComplex) {
      if (type->hasSimpleContent && node.kind != TypedNode::Kind::Object) {
        simpleContent(element, node, *type);
      } else if (type->isMixed && node.kind == TypedNode::Kind::Value && node.value.kind == GivenValue::Kind::String) {
        // Text alone, as an element of mixed content the parse reads
        // undeclared (in lax content) gives it.
        mixed(element, node, type);
      } else {
        if (node.kind != TypedNode::Kind::Object) fail("an object was expected");
        complex(element, node, *type, nillable);
      }
      return checkContent(element, *type);
    }
    if (node.kind == TypedNode::Kind::Object) return simpleWithXsiType(element, node, *type, nillable);
    simpleValue(element, node, *type);
  }

  // The text of an object's "@xsi:type", null when it has none.
  static const std::string* xsiTypeOf(const TypedNode& node) {
    for (const auto& [key, field] : node.fields)
      if (key == typedkeys::kXsiType && field.kind == TypedNode::Kind::Value && field.value.kind == GivenValue::Kind::String)
        return &field.value.text;
    return nullptr;
  }

  // "@xmlns:p": the namespace QName values of the element, of its
  // attributes and of the elements within take for the prefix p; "@xmlns"
  // the one values without a prefix take. An element of no namespace cannot
  // bind a default namespace without taking it for its own name.
  bool declaresPrefix(TreeElement& element, const std::string& key, const TypedNode& value) {
    std::string prefix;
    if (key == typedkeys::kDefaultNamespaceDeclaration) {
      if (assembly_.namespaceOf(element).empty()) fail("an element of no namespace cannot bind a default namespace");
    } else if (key.compare(0, typedkeys::kNamespaceDeclaration.size(), typedkeys::kNamespaceDeclaration) == 0) {
      prefix = key.substr(typedkeys::kNamespaceDeclaration.size());
      refuseUnlessXmlName(prefix);
    } else {
      return false;
    }
    if (value.kind != TypedNode::Kind::Value || value.value.kind != GivenValue::Kind::String || value.value.text.empty())
      fail("a namespace was expected");
    refuseUnlessXmlText(value.value.text);
    declared_[&element].emplace_back(prefix, value.value.text);
    return true;
  }

  // A nil element whose value cannot be null has xsi:nil="true" as an
  // attribute, as the parse keeps it.
  void markNil(TreeElement& element, const char* nil = "true") { assembly_.setXsiNil(element, nil); }

  static bool isNull(const TypedNode& node) {
    return node.kind == TypedNode::Kind::Value && node.value.kind == GivenValue::Kind::Null;
  }

  // A null given for an element: nil, where it is nillable.
  void nullGiven(TreeElement& element, const TypedNode& node, const SchemaType* type, bool nillable) {
    if (!nillable) fail("null, but the element is not nillable");
    if (type && type->nilIsAnAttribute()) return markNil(element);
    setValue(element, node, type);
  }

  // An element of a simple type given as an object: named by its xsi:type,
  // or declaring its value's prefix ({"@xmlns:p": ..., "$": value}); with
  // the "@xsi:nil" the parse keeps on a list, or on an element nil where it
  // is not nillable (content a skip wildcard admits).
  void simpleWithXsiType(TreeElement& element, const TypedNode& node, const SchemaType& type, bool nillable) {
    const TypedNode* value = nullptr;
    bool nil = false;
    for (const auto& [key, field] : node.fields) {
      if (key == typedkeys::kValue) {
        value = &field;
      } else if (key == typedkeys::kXsiNil) {
        Step step(*this, "." + key);
        nil = nilAttribute(element, field);
      } else if (key != typedkeys::kXsiType) {
        Step step(*this, "." + key);
        if (!declaresPrefix(element, key, field))
          fail("'" + key + "' is not a member of this element, and nothing else may be here");
      }
    }
    if (!value) return;  // an empty element, as the walk gives one
    Step step(*this, "." + std::string(typedkeys::kValue));
    const bool empty = value->kind == TypedNode::Kind::Value && isText(value->value.kind) && value->value.text.empty();
    if (nil && !empty) fail("the element is nil: it has no value");  // lax content keeps an empty one as text
    if (isNull(*value)) return nullGiven(element, *value, &type, nillable);
    simpleValue(element, *value, type);
  }

  // An "@xsi:nil", "true" or "false", kept as the parse keeps it (the
  // document's check refuses it where the element may not be nil); whether
  // it makes the element nil.
  bool nilAttribute(TreeElement& element, const TypedNode& given) {
    const bool spelled = given.kind == TypedNode::Kind::Value && given.value.kind == GivenValue::Kind::String &&
                         (given.value.text == "true" || given.value.text == "false");
    if (!spelled) fail("\"true\" or \"false\" was expected");
    markNil(element, given.value.text.c_str());
    return given.value.text == "true";
  }

  const ValueSpellings& spellings() const {
    static const ValueSpellings none;
    return view_ ? view_->spellings() : none;
  }

  void simpleValue(TreeElement& element, const TypedNode& node, const SchemaType& type) {
    if (type.isUnion && type.hasListMember()) {
      PWFData value;
      long memberType = -1;
      if (unionItems(element, node, type, value, memberType)) return;
      element.setValue(std::move(value));
      element.setValueTypeIndex(memberType);
      return;
    }
    if (!type.isList) return setValue(element, node, &type);
    if (node.kind != TypedNode::Kind::Array) fail("an array (the list's items) was expected");
    listValue(element, node, type.listItemType);
  }

  void listValue(TreeElement& element, const TypedNode& node, long itemTypeRow) {
    const SchemaType* itemType = view_->type(itemTypeRow);
    element.setItemTypeIndex(itemTypeRow);
    for (std::size_t i = 0; i < node.items.size(); ++i) {
      Step step(*this, "[" + std::to_string(i) + "]");
      if (node.items[i].kind != TypedNode::Kind::Value || node.items[i].value.kind == GivenValue::Kind::Null)
        fail("a list item was expected");
      refuseUnlessOneItem(node.items[i].value, itemType && itemType->whiteSpace == DictCodes::eWhiteSpaceCollapse);
      long memberType = -1;
      TreeElement& item = assembly_.appendValue(element, valueOf(node.items[i].value, itemType, &memberType));
      item.setValueTypeIndex(memberType >= 0 ? memberType : itemTypeRow);
    }
  }

  // A union with a list member takes text as a document's: the items of the
  // first list member that takes them all, unless a simple member before it
  // takes the whole text. An array is taken so too, as the text it is
  // written as: [7] for a union of xs:int and a list is the number 7.
  // Returns false, with value and the member's type set, when a simple member takes it.
  bool unionItems(TreeElement& element, const TypedNode& node, const SchemaType& type, PWFData& value,
                  long& memberType) {
    const bool isArray = node.kind == TypedNode::Kind::Array;
    if (!isArray && node.kind != TypedNode::Kind::Value) fail("a single value was expected");
    if (!isArray && !isText(node.value.kind)) {
      value = valueOf(node.value, &type, &memberType);
      return false;
    }
    std::string text;
    if (isArray) {
      for (std::size_t i = 0; i < node.items.size(); ++i) {
        const TypedNode& item = node.items[i];
        if (item.kind != TypedNode::Kind::Value || item.value.kind == GivenValue::Kind::Null) fail(kNoMemberForItems);
        Step step(*this, "[" + std::to_string(i) + "]");
        refuseUnlessOneItem(item.value, /*collapsed=*/false);
        text += (text.empty() ? "" : " ") + textOf(item.value);
      }
    } else {
      text = node.value.text;
    }
    refuseUnlessXmlText(text);
    UnionResolution resolution = resolvedUnion(text, type, spellings(), [&](std::string_view item, long itemTypeRow,
                                                                            PWFData& out) {
      const SchemaType* itemType = view_->type(itemTypeRow);
      if (!itemType) return false;
      std::string wrong;
      if (itemType->isUnion)
        return typedValue(GivenValue::ofText(GivenValue::Kind::String, item), itemType, out, wrong, spellings());
      return memberTextValue(item, itemType->builtin, itemType->enumeration, itemType->logicalType, itemType->whiteSpace,
                             out, spellings());
    });
    if (!resolution.member) {
      if (isArray) fail(kNoMemberForItems);
      value = valueOf(node.value, &type);  // refused, or text where the content is lax
      return false;
    }
    if (!resolution.member->isList) {
      value = std::move(resolution.value);
      memberType = resolution.member->typeRow;
      return false;
    }
    const long itemTypeRow = resolution.member->listItemType;
    // Items given one by one keep their values and the member that takes
    // each, as a list's: their text alone would keep its spelling.
    if (isArray) {
      listValue(element, node, itemTypeRow);
      return true;
    }
    element.setItemTypeIndex(itemTypeRow);
    for (PWFData& item : resolution.items)
      assembly_.appendValue(element, std::move(item)).setValueTypeIndex(itemTypeRow);
    return true;
  }
  static constexpr char kNoMemberForItems[] = "the union has no member type these items are values of";

  // What the type forbids in the element's content, named at the member's key.
  void checkContent(const TreeElement& element, const SchemaType& type) {
    if (!check_) return;
    if (const ContentProblem problem = check_->check(element, type)) {
      Step step(*this, "." + std::string(problem.member->isAttribute ? "@" : "") + problem.member->name);
      fail(problem.what);
    }
  }

  // One occurrence of a member: where it is in the data, and the element of
  // the member's substitution group that stands in its place, if any.
  struct Occurrence {
    std::string path;
    const TypedNode* node;
    const SchemaElement* substitute;
  };

  struct Pending {
    std::string key;
    Name name;
    Resolution resolution;
    std::vector<const TypedNode*> occurrences;
  };

  // The occurrences of a member's key outside [first, first + taken), as
  // content of the type's wildcard.
  Pending beyondMember(const SchemaMember& member, const SchemaType& type, const std::string& key,
                       const TypedNode& value, std::size_t first, std::size_t taken) const {
    Pending beyond{key, {member.name, member.namespaceUri, /*namespaceGiven=*/true, false}, {}, {}};
    if (type.wildcardProcessing != WildcardProcessing::Skip)
      beyond.resolution.global = view_->findElement(member.name, member.namespaceUri, NamespaceMatch::exact);
    beyond.resolution.selfDefining = !beyond.resolution.global;
    for (std::size_t i = 0; i < value.items.size(); ++i)
      if (i < first || i >= first + taken) beyond.occurrences.push_back(&value.items[i]);
    return beyond;
  }

  // The keys of one object: what each names, and the key that named it first.
  using KeysNamed = std::unordered_map<std::string, std::string>;

  // What a key names: a member (the same for all members of its key), a
  // global element, or an element or attribute by its expanded name.
  std::string identityOf(const TreeElement& parent, const Pending& pending) const {
    const Resolution& resolution = pending.resolution;
    if (resolution.global) return "element " + std::to_string(resolution.global->tagRow);
    if (resolution.member) return "member " + std::to_string(resolution.member->firstOfName);
    const Name& name = pending.name;
    const bool inherits = name.namespaceUri.empty() && !name.isAttribute && !name.namespaceGiven;
    return (name.isAttribute ? "@{" : "{") + (inherits ? assembly_.namespaceOf(parent) : name.namespaceUri) + "}" +
           name.local;
  }

  // Two keys that name one thing would write it twice: an attribute twice is
  // not well-formed XML ("@Ccy" and "@{}Ccy"), an element twice may break its
  // occurrences. The second is refused.
  void claimOnce(KeysNamed& named, std::string identity, const std::string& key) const {
    const auto [earlier, first] = named.try_emplace(std::move(identity), key);
    if (!first) {
      const std::string& itsKey = earlier->second;
      fail(itsKey == key ? "the key is given twice" : "'" + key + "' names the same as '" + itsKey + "'");
    }
  }

  void complex(TreeElement& element, const TypedNode& node, const SchemaType& type, bool nillable) {
    std::vector<std::vector<Occurrence>> byMember(type.members.size());
    std::vector<Pending> extras;
    const TypedNode* content = nullptr;
    KeysNamed named;
    for (const auto& [key, value] : node.fields) {
      Step step(*this, "." + key);
      if (key == typedkeys::kXsiType || key == typedkeys::kValue || declaresPrefix(element, key, value)) {
        claimOnce(named, key, key);
        if (key == typedkeys::kValue) content = &value;
        continue;
      }
      Pending pending{key, parseName(key), {}, {}};
      pending.resolution = assembly_.resolve(element, pending.name.local, pending.name.namespaceUri,
                                             pending.name.isAttribute, true, pending.name.namespaceGiven);
      if (!pending.resolution) refuseUnknown(key, pending.name, type);
      claimOnce(named, identityOf(element, pending), key);
      const SchemaMember* member =
          pending.resolution.member ? pending.resolution.member : pending.resolution.substitutes;
      const SchemaElement* global = pending.resolution.substitutes ? pending.resolution.global : nullptr;
      if (member) {
        const SchemaType* memberType = view_->type(member->typeRow);
        const bool takesArray = memberType && (memberType->isList || memberType->hasListMember());
        // Occurrences of a name that several members share (the branches of
        // a choice) go to the last of them: valid wherever the others'
        // neighbours are absent, and the data cannot tell more.
        auto& slots = byMember[member->lastOfName];
        // Elements of the member's name beyond what it takes are the
        // wildcard's that admits them, as the validator reads them: the walk
        // gave them the member's key.
        const long most = type.mostOfName[member->firstOfName];
        const bool beyond = value.kind == TypedNode::Kind::Array && !takesArray && most != kUnboundedOccurs &&
                            value.items.size() > static_cast<std::size_t>(most) && !member->isAttribute &&
                            type.admitsElement(member->namespaceUri);
        const std::size_t taken = beyond ? static_cast<std::size_t>(most) : value.items.size();
        // The document's order: a wildcard written before the member had the
        // first of them, one after it the last.
        const std::size_t first =
            beyond && type.wildcardPosition <= member->lastOfName ? value.items.size() - taken : 0;
        if (beyond) extras.push_back(beyondMember(*member, type, key, value, first, taken));
        if (member->repeats) {
          if (value.kind != TypedNode::Kind::Array) fail("the member may repeat: an array was expected");
          for (std::size_t i = first; i < first + taken; ++i)
            slots.push_back({"." + key + "[" + std::to_string(i) + "]", &value.items[i], global});
        } else if (beyond) {
          slots.push_back({"." + key + "[" + std::to_string(first) + "]", &value.items[first], global});
        } else if (value.kind == TypedNode::Kind::Array && !takesArray) {
          fail("the member does not repeat: an array is not allowed");
        } else {
          slots.push_back({"." + key, &value, global});
        }
        continue;
      }
      if (value.kind == TypedNode::Kind::Array && !pending.name.isAttribute) {
        for (const TypedNode& item : value.items) pending.occurrences.push_back(&item);
      } else {
        pending.occurrences.push_back(&value);
      }
      extras.push_back(std::move(pending));
    }

    placeSharedNames(type, byMember);

    // Attributes first, as the start tag has them; then the content.
    for (std::size_t i = 0; i < type.members.size(); ++i) {
      if (type.members[i].isAttribute) appendAll(element, type.members[i], byMember[i]);
    }
    appendExtras(element, type, extras, /*attributes=*/true);
    inWriteOrder(
        type, byMember,
        [&](const SchemaMember& member, const Occurrence& occurrence) { appendOne(element, member, occurrence); },
        [&] { appendExtras(element, type, extras, /*attributes=*/false); });

    if (!content) return;
    Step step(*this, std::string(".") + std::string(typedkeys::kValue));
    // Text in content that is neither simple nor mixed comes as mixed
    // content, the way the writer keeps it.
    if (type.isMixed || (!type.hasSimpleContent && content->kind == TypedNode::Kind::Array))
      return mixed(element, *content, &type);
    if (isNull(*content)) return nullGiven(element, *content, &type, nillable);
    if (!type.hasSimpleContent) fail("the element has no value of its own");
    simpleContent(element, *content, type);
  }

  // The value of an element of a complex type with simple content, in the
  // anonymous child a parse gives it.
  void simpleContent(TreeElement& element, const TypedNode& node, const SchemaType& type) {
    PWFData value;
    long memberType = -1;
    if (type.isUnion && type.hasListMember()) {
      if (!unionItems(element, node, type, value, memberType))
        assembly_.appendValue(element, std::move(value)).setValueTypeIndex(memberType);
      return;
    }
    if (type.isList) {
      if (node.kind != TypedNode::Kind::Array) fail("an array (the list's items) was expected");
      return listValue(element, node, type.listItemType);
    }
    if (node.kind != TypedNode::Kind::Value) fail("a single value was expected");
    assembly_.appendValue(element, valueOf(node.value, &type, &memberType)).setValueTypeIndex(memberType);
  }

  // A child of parent. An element deeper than the writer writes (the
  // message's element is the first level) is refused here, before the
  // mapping recurses into it: the data may nest three times as deep.
  TreeElement& appendChild(TreeElement& parent, const Resolution& resolution, std::string_view name,
                           std::string_view namespaceUri, bool attribute, bool namespaceGiven = false) {
    if (!attribute) {
      int level = 2;
      for (const TreeElement* e = &parent; e->getParent(); e = e->getParent()) ++level;
      if (level > typedkeys::kMaxDepth)
        fail("the elements are nested deeper than " + std::to_string(typedkeys::kMaxDepth) + " levels");
    }
    return assembly_.append(parent, resolution, name, namespaceUri, attribute, namespaceGiven);
  }

  void appendAll(TreeElement& parent, const SchemaMember& member, const std::vector<Occurrence>& occurrences) {
    for (const Occurrence& occurrence : occurrences) appendOne(parent, member, occurrence);
  }

  void appendOne(TreeElement& parent, const SchemaMember& member, const Occurrence& occurrence) {
    Step step(*this, occurrence.path);
    Resolution resolution;
    if (const SchemaElement* global = occurrence.substitute) {
      resolution.global = global;
      TreeElement& child = appendChild(parent, resolution, global->name, global->namespaceUri, false);
      defined(child, *occurrence.node, global->typeRow, global->nillable);
      return refuseEmptyWhereConstrained(child, global->typeRow, global->valueConstraint);
    }
    resolution.member = &member;
    const TypedNode& node = *occurrence.node;
    // An element's object without "$" is an empty element; an attribute's
    // would be written as no attribute at all.
    if (member.isAttribute && node.kind == TypedNode::Kind::Object) {
      if (std::none_of(node.fields.begin(), node.fields.end(),
                       [](const auto& field) { return field.first == typedkeys::kValue; }))
        fail("the attribute's object has no \"$\", its value");
      // Only an element is typed or made nil by them: they would be dropped.
      for (const auto& field : node.fields) {
        if (field.first != typedkeys::kXsiType && field.first != typedkeys::kXsiNil) continue;
        Step step(*this, "." + field.first);
        fail("an attribute has no " + field.first.substr(1) + " of its own");
      }
    }
    TreeElement& child = appendChild(parent, resolution, member.name, member.namespaceUri, member.isAttribute);
    defined(child, node, member.typeRow, member.nillable);
    refuseEmptyWhereConstrained(child, member.typeRow, member.valueConstraint);
  }

  // An element written empty reads back as its default or fixed value, which
  // the parse gives one of a simple type or simple content (but a union's): an
  // empty value given for one that has another (an empty string, list or
  // binary value) would come back as that.
  void refuseEmptyWhereConstrained(const TreeElement& element, long typeRow, const std::optional<std::string>& constraint) {
    const SchemaType* type = view_->type(typeRow);
    if (!constraint || constraint->empty() || !type || type->isUnion || (type->isComplex && !type->hasSimpleContent) ||
        !writtenEmpty(element))
      return;
    fail("an empty element reads back as its default or fixed value '" +
         withWhiteSpace(*constraint, DictCodes::eWhiteSpaceCollapse) + "', not as the empty value given");
  }

  bool writtenEmpty(const TreeElement& element) const {
    if (element.hasValue() && !isEmptyValue(element.getValue())) return false;
    for (const TreeElement* child = element.getFirstChild(); child; child = child->getNextSibling()) {
      if (isNilAttribute(child->getName(), child->getNamespaceURI(), child->getValue())) return false;
      if (isAnonymous(*child) ? child->hasValue() && !isEmptyValue(child->getValue())
                              : treeNameOf(*view_, *child).front() != typedkeys::kAttributeMarker)
        return false;
    }
    return true;
  }

  static bool isEmptyValue(const PWFData& value) {
    if (value.isNothing()) return true;
    if (value.isNull()) return false;  // nil, written as such
    switch (value.getDataLogicalType()) {
      case eLogicalString: return value.getText().empty();
      case eLogicalBinary: return value.getBinaryValue().empty();
      default: return false;
    }
  }

  void appendExtras(TreeElement& parent, const SchemaType& type, const std::vector<Pending>& extras, bool attributes) {
    for (const Pending& pending : extras) {
      if (pending.name.isAttribute != attributes) continue;
      for (std::size_t i = 0; i < pending.occurrences.size(); ++i) {
        Step step(*this, "." + pending.key + (pending.occurrences.size() > 1 ? "[" + std::to_string(i) + "]" : ""));
        appendExtra(parent, &type, pending, *pending.occurrences[i]);
      }
    }
  }

  // An attribute occurs once and holds text: one value, or the items of a
  // list its declaration (global: null when none) types.
  void refuseUnlessAttributeValue(const SchemaElement* global, const TypedNode& node) {
    if (node.kind == TypedNode::Kind::Value && node.value.kind == GivenValue::Kind::Null)
      fail("null, but an attribute cannot be nil");
    if (node.kind == TypedNode::Kind::Object) fail("an attribute holds a value, not an object");
    const SchemaType* type = global ? view_->type(global->typeRow) : nullptr;
    if (node.kind == TypedNode::Kind::Array && !(type && type->isList))
      fail("an attribute occurs once and its type is no list: an array is not allowed");
  }

  // An element no member of the parent's type (null: self-defining) holds.
  void appendExtra(TreeElement& parent, const SchemaType* parentType, const Pending& pending, const TypedNode& node) {
    if (!pending.resolution.global) {
      if (pending.name.isAttribute) refuseUnlessXmlName(pending.name.local);
      else refuseUnlessElementName(pending.name);
    }
    if (pending.name.isAttribute) refuseUnlessAttributeValue(pending.resolution.global, node);
    const Loosened wildcard(*this, parentType ? parentType->wildcardProcessing : WildcardProcessing::Strict);
    TreeElement& child = appendChild(parent, pending.resolution, pending.name.local,
                                          pending.name.namespaceUri, pending.name.isAttribute,
                                          pending.name.namespaceGiven);
    if (const SchemaElement* global = pending.resolution.global)
      return defined(child, node, global->typeRow, global->nillable);
    selfDefining(child, node);
  }

  // Text runs and elements in order: strings and objects of one key. type:
  // the element's, null when self-defining. Strings side by side are one run
  // in the document. A run of whitespace alone is kept and written, though
  // the parser drops such runs on the way back: it may be data (the blank
  // between two words in elements of their own).
  void mixed(TreeElement& element, const TypedNode& content, const SchemaType* type) {
    // Text alone may be a string, also as "$" beside attributes.
    if (content.kind == TypedNode::Kind::Value && content.value.kind == GivenValue::Kind::String) {
      TypedNode run;
      run.kind = TypedNode::Kind::Array;
      run.items.push_back(content);
      return mixed(element, run, type);
    }
    if (content.kind != TypedNode::Kind::Array) fail("mixed content is a text or an array of texts and elements");
    std::string run;
    std::vector<long> given;  // occurrences of each name of type's members, by its first member
    const auto endRun = [&] {
      if (!run.empty()) assembly_.appendValue(element, PWFData::makeString(ZelWstring::fromUtf8(run)));
      run.clear();
    };
    for (std::size_t i = 0; i < content.items.size(); ++i) {
      Step step(*this, "[" + std::to_string(i) + "]");
      const TypedNode& item = content.items[i];
      if (item.kind == TypedNode::Kind::Value && item.value.kind == GivenValue::Kind::String) {
        refuseUnlessXmlText(item.value.text);
        run += item.value.text;
        continue;
      }
      endRun();
      if (item.kind != TypedNode::Kind::Object || item.fields.size() != 1)
        fail("a text or an object of one key (an element) was expected");
      const auto& [key, value] = item.fields.front();
      Step keyStep(*this, "." + key);
      Pending pending{key, parseName(key), {}, {&value}};
      if (pending.name.isAttribute) fail("attributes belong outside the mixed content");
      pending.resolution =
          assembly_.resolve(element, pending.name.local, pending.name.namespaceUri, false, true, pending.name.namespaceGiven);
      if (!pending.resolution) fail("'" + key + "' is not a member of this element, and nothing else may be here");
      if (const SchemaMember* member = pending.resolution.member) {
        // One beyond the occurrences of its name's members is content of a
        // wildcard that admits it, as the parser and the validator read it.
        const long most = type->mostOfName[member->firstOfName];
        if (given.empty()) given.resize(type->members.size(), 0);
        if (most != kUnboundedOccurs && given[member->firstOfName] >= most) {
          if (Resolution extra = assembly_.byWildcard(*type, member->name, member->namespaceUri)) {
            pending.resolution = extra;
            appendExtra(element, type, pending, value);
            continue;
          }
        }
        ++given[member->firstOfName];
        TreeElement& child = appendChild(element, pending.resolution, member->name, member->namespaceUri, false);
        defined(child, value, member->typeRow, member->nillable);
        continue;
      }
      appendExtra(element, type, pending, value);
    }
    endRun();
  }

  // Content no definition describes: values as text, objects as elements.
  void selfDefining(TreeElement& element, const TypedNode& node) {
    if (node.kind == TypedNode::Kind::Array) fail("an array is only allowed for an element that repeats");
    // Nil where no declaration makes it nillable reads back as the attribute
    // it is, not as null; without a dictionary an empty element reads back
    // as "", so null has no form there.
    if (isNull(node))
      fail(view_ ? "null, but no declaration makes the element nillable: give {\"@xsi:nil\": \"true\"}"
                 : "null, but without a dictionary nothing reads back as null: give \"\" or {\"@xsi:nil\": \"true\"}");
    if (node.kind == TypedNode::Kind::Value) return setValue(element, node, nullptr);
    // Content the parser matches takes an xsi:type of the set's, or of XML
    // Schema's, as the type it names: so does the way back. Skipped content
    // is not typed, but its xsi:type names the type all the same, in the
    // type's namespace.
    const bool matched = view_ && processing_ != WildcardProcessing::Skip;
    const std::string* xsiType = view_ ? xsiTypeOf(node) : nullptr;
    const long xsiTypeRow = xsiType ? view_->findTypeReference(*xsiType) : -1;
    if (matched && xsiTypeRow >= 0) return defined(element, node, -1, false);
    KeysNamed named;
    for (const auto& [key, value] : node.fields) {
      Step step(*this, "." + key);
      if (xsiType && key == typedkeys::kXsiType) {
        claimOnce(named, key, key);
        if (xsiTypeRow >= 0) {
          assembly_.nameXsiType(element, xsiTypeRow);
        } else if (const std::string_view builtin = typedkeys::builtinTypeName(*xsiType); !builtin.empty()) {
          assembly_.setBuiltinXsiType(element, builtin);
        } else {
          const Name type = parseName(*xsiType);
          if (!type.namespaceGiven) fail("the message set has no type '" + *xsiType + "'");
          assembly_.nameXsiType(element, type.namespaceUri, type.local);
        }
        continue;
      }
      if (key == typedkeys::kValue) {
        claimOnce(named, key, key);
        if (value.kind == TypedNode::Kind::Array) {
          mixed(element, value, nullptr);
        } else {
          PWFData text;
          std::string wrong;
          if (value.kind != TypedNode::Kind::Value || !typedValue(value.value, nullptr, text, wrong))
            fail("a single value was expected");
          assembly_.appendValue(element, std::move(text));
        }
        continue;
      }
      Pending pending{key, parseName(key), {}, {}};
      // The parser matches known global elements inside content it does not
      // know, unless a wildcard skips it; so does the way back. It looks for
      // messages only where one may stand (the root, a wildcard's content):
      // one in here stays self-defining.
      const std::string inherited = pending.name.namespaceGiven ? pending.name.namespaceUri
                                                                : assembly_.namespaceOf(element);
      // Attributes take a global attribute declaration of their own name and
      // namespace, as the parser types them.
      pending.resolution.global = !matched                  ? nullptr
                                  : pending.name.isAttribute ? view_->findAttribute(pending.name.local, pending.name.namespaceUri)
                                                             : view_->findElement(pending.name.local, inherited);
      if (const SchemaElement* global = pending.resolution.global;
          global && ((inherited.empty() && !global->namespaceUri.empty()) || global->isMessage))
        pending.resolution.global = nullptr;
      pending.resolution.selfDefining = !pending.resolution.global;
      claimOnce(named, identityOf(element, pending), key);
      if (value.kind == TypedNode::Kind::Array && !pending.name.isAttribute) {
        for (std::size_t i = 0; i < value.items.size(); ++i) {
          Step item(*this, "[" + std::to_string(i) + "]");
          appendExtra(element, nullptr, pending, value.items[i]);
        }
      } else {
        appendExtra(element, nullptr, pending, value);
      }
    }
  }

  // The element whose start tag holds a value: its own, its item's or its
  // attribute's (an item of a list attribute's: the attribute's).
  const TreeElement& elementOfValue(const TreeElement& holder) const {
    const TreeElement* parent = holder.getParent();
    if (!parent) return holder;
    if (isAnonymous(holder)) return elementOfValue(*parent);
    if (holder.getName().view().substr(0, 1) == u"@") return *parent;
    const SchemaMember* member = view_->memberOf(holder);
    const SchemaElement* global = holder.getMemberId() < 1 ? view_->element(holder.getTagIndex()) : nullptr;
    return (member && member->isAttribute) || (global && global->isAttribute) ? *parent : holder;
  }

  static bool isAnonymous(const TreeElement& e) {
    return e.getName().empty() && e.getTagId() < 0 && e.getMemberId() < 1;
  }

  bool holdsQualifiedName(const TreeElement& holder) const {
    const TreeElement* parent = holder.getParent();
    const SchemaType* type = !isAnonymous(holder) || !parent       ? view_->typeOf(holder)
                             : parent->getItemTypeIndex() >= 0 ? view_->type(parent->getItemTypeIndex())
                                                               : view_->typeOf(*parent);
    for (std::size_t steps = 0; type && steps < view_->typeCount(); ++steps, type = view_->type(type->baseType))
      if (type->takesQualifiedNames()) return true;
    return false;
  }

  // "@xmlns" binds the values of its own element alone: the walk gives it
  // on each element that needs it, and a value of no namespace within
  // stays so.
  std::string namespaceOfValuePrefix(const TreeElement& holder, std::string_view prefix) const {
    if (prefix.empty()) return declaredOn(elementOfValue(holder), prefix).value_or(std::string());
    for (const TreeElement* e = &holder; e; e = e->getParent())
      if (std::optional<std::string> uri = declaredOn(*e, prefix)) return *uri;
    return view_->namespaceOfPrefix(prefix);
  }

  // The namespace e's "@xmlns…" keys bind prefix to (the last key of it);
  // none when they do not name it.
  std::optional<std::string> declaredOn(const TreeElement& e, std::string_view prefix) const {
    const auto declarations = declared_.find(&e);
    if (declarations == declared_.end()) return std::nullopt;
    for (auto d = declarations->second.rbegin(); d != declarations->second.rend(); ++d)
      if (d->first == prefix) return d->second;
    return std::nullopt;
  }

  const SchemaView* view_;
  TreeAssembly assembly_;
  // The "@xmlns:p" keys by the element whose object gave them: prefix, namespace.
  std::unordered_map<const TreeElement*, std::vector<std::pair<std::string, std::string>>> declared_;
  std::optional<ContentCheck> check_;  // none: content taken as given
  std::vector<std::string> path_;
  // How loosely the content being built is matched: by the loosest wildcard
  // it came through.
  WildcardProcessing processing_ = WildcardProcessing::Strict;
};

}  // namespace

void buildMessageTree(const SchemaView* view, const TypedNode& data, MessageTree& tree, bool checkContent) {
  TreeMapper mapper(view, tree, checkContent);
  mapper.message(data);
  if (!view) return;
  spellAsTheSchemaDoes(*view, tree);
  if (view->hasQualifiedNames()) mapper.bindValuePrefixes();
}

}  // namespace wfxml::detail

#include "messagesetjson.h"

#include "zelexception.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <set>
#include <sstream>
#include <unordered_map>

using nlohmann::json;

namespace msgset {
namespace {

constexpr const char* kFunction = "parseMessageSetJson";

template <typename E>
struct EnumSpelling {
  std::string_view name;
  E value;
};

constexpr EnumSpelling<Render> kRenders[] = {
    {"undefined", Render::Undefined},
    {"element", Render::Element},
    {"attribute", Render::Attribute},
    {"elementWithId", Render::ElementWithId},
    {"elementWithValue", Render::ElementWithValue},
    {"elementWithIdAndValue", Render::ElementWithIdAndValue},
};
constexpr EnumSpelling<DataEncoding> kEncodings[] = {
    {"cdata", DataEncoding::CData}, {"hex", DataEncoding::Hex}, {"base64", DataEncoding::Base64}};
constexpr EnumSpelling<NullEncoding> kNullEncodings[] = {
    {"trueAttribute", NullEncoding::TrueAttribute},
    {"emptyContent", NullEncoding::EmptyContent},
    {"valueText", NullEncoding::ValueText},
    {"nullElement", NullEncoding::NullElement},
    {"omitValueAttribute", NullEncoding::OmitValueAttribute},
    {"xsiNil", NullEncoding::XsiNil},
};
constexpr EnumSpelling<XsiTypePolicy> kXsiTypePolicies[] = {
    {"never", XsiTypePolicy::Never},
    {"namedTypes", XsiTypePolicy::NamedTypes},
    {"always", XsiTypePolicy::Always},
    {"alwaysWithSoapEncodingStyle", XsiTypePolicy::AlwaysWithSoapEncodingStyle},
    {"neverAndDrop", XsiTypePolicy::NeverAndDrop},
};
constexpr EnumSpelling<NamespaceDeclPolicy> kNamespaceDeclPolicies[] = {
    {"atFirstUse", NamespaceDeclPolicy::AtFirstUse}, {"allOnMessage", NamespaceDeclPolicy::AllOnMessage}};
constexpr EnumSpelling<ElementClass> kElementClasses[] = {
    {"message", ElementClass::Message}, {"structure", ElementClass::Structure}, {"field", ElementClass::Field}};
constexpr EnumSpelling<TypeVariety> kVarieties[] = {
    {"simple", TypeVariety::Simple},
    {"complex", TypeVariety::Complex},
    {"list", TypeVariety::List},
    {"union", TypeVariety::Union},
};
constexpr EnumSpelling<Derivation> kDerivations[] = {
    {"restriction", Derivation::Restriction}, {"extension", Derivation::Extension}};
constexpr EnumSpelling<Composition> kCompositions[] = {
    {"empty", Composition::Empty},
    {"sequence", Composition::Sequence},
    {"choice", Composition::Choice},
    {"all", Composition::All},
    {"simpleContent", Composition::SimpleContent},
    {"mixed", Composition::Mixed},
    {"orderedMixed", Composition::OrderedMixed},
    {"open", Composition::Open},
};
constexpr EnumSpelling<ProcessContents> kProcessContents[] = {
    {"strict", ProcessContents::Strict}, {"lax", ProcessContents::Lax}, {"skip", ProcessContents::Skip}};
constexpr EnumSpelling<ELogicalType> kLogicalTypes[] = {
    {"none", eLogicalNone},         {"string", eLogicalString},     {"integer", eLogicalInteger},
    {"float", eLogicalFloat},       {"binary", eLogicalBinary},     {"boolean", eLogicalBoolean},
    {"interval", eLogicalInterval}, {"dateTime", eLogicalDateTime}, {"decimal", eLogicalDecimal},
};

// Fields every item with XML properties accepts.
const std::initializer_list<std::string_view> kItemXmlFields = {
    "xmlName", "render", "idAttributeName", "idAttributeNamespace", "idAttributeValue", "format", "encoding"};

[[noreturn]] void sourceError(const std::string& sourceName, const std::string& place, const std::string& what) {
  throwSourceError(kFunction, sourceName, place, what);
}

// A JSON value together with the path that leads to it, for messages.
struct Node {
  const json& value;
  std::string path;

  Node child(const std::string& key) const { return {value.at(key), path.empty() ? key : path + "." + key}; }
  Node item(std::size_t i) const { return {value.at(i), path + "[" + std::to_string(i) + "]"}; }
  std::string pathOf(const std::string& key) const { return path.empty() ? key : path + "." + key; }
  bool has(const char* key) const { return value.contains(key); }
};

std::string describe(const json& value) {
  switch (value.type()) {
    case json::value_t::null: return "null";
    case json::value_t::object: return "an object";
    case json::value_t::array: return "an array";
    case json::value_t::string: return "a string";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned: return "an integer";
    case json::value_t::number_float: return "a number";
    default: return "an unknown value";
  }
}

// Finds a named definition by "local" (any namespace) or "prefix:local".
// Quiet: the caller reports what went wrong.
struct NameLookup {
  enum class Status { Found, NotFound, Ambiguous, UnknownPrefix };
  Status status = Status::NotFound;
  int position = kNone;
  int namespaceIndex = kAnyNamespace;  // the prefix's namespace, if one was given
  std::string local;
  std::string prefix;
  static constexpr int kAnyNamespace = -2;
};

// The positions of the definitions a source declares, by local name: a
// reference looks at those of its name, not at every one (a source may
// declare tens of thousands).
using NameIndex = std::unordered_map<std::string, std::vector<int>>;

template <typename Def, typename Skip>
NameLookup lookUp(const MessageSet& set, const std::vector<Def>& defs, const NameIndex& declared,
                  const std::string& ref, Skip skip) {
  NameLookup result;
  result.local = ref;
  const std::size_t colon = ref.find(':');
  if (colon != std::string::npos) {
    result.prefix = ref.substr(0, colon);
    result.local = ref.substr(colon + 1);
    const auto& namespaces = set.namespaces;
    const auto bound = std::find_if(namespaces.begin(), namespaces.end(),
                                    [&](const NamespaceDef& ns) { return ns.preferredPrefix == result.prefix; });
    if (bound == namespaces.end()) {
      result.status = NameLookup::Status::UnknownPrefix;
      return result;
    }
    result.namespaceIndex = static_cast<int>(bound - namespaces.begin());
  }
  const auto named = declared.find(result.local);
  if (named == declared.end()) return result;
  for (const int position : named->second) {
    const Def& def = defs[position];
    if (skip(def)) continue;
    if (result.namespaceIndex != NameLookup::kAnyNamespace && def.namespaceIndex != result.namespaceIndex) continue;
    if (result.position != kNone) {
      result.status = NameLookup::Status::Ambiguous;
      return result;
    }
    result.position = position;
    result.status = NameLookup::Status::Found;
  }
  return result;
}

// Reads one source into a MessageSet. Names may be used before they are
// declared: all type, element and namespace names are collected first.
class JsonSourceReader {
public:
  explicit JsonSourceReader(const std::string& sourceName) : sourceName_(sourceName) {}

  MessageSet read(const json& document);
  // An object of the fields of "properties", applied over base.
  MessageSetXmlProperties readPropertiesOnly(const json& document, const MessageSetXmlProperties& base) {
    set_.xml = base;
    // The fields wrapped as a source wraps them.
    if (document.is_object() && document.contains("properties"))
      fail("properties", "unknown field 'properties': a properties file holds the fields of a source's "
                         "\"properties\" themselves, such as {\"booleanTrueValue\": \"Y\"}");
    readProperties(Node{document, ""});
    return set_.xml;
  }

private:
  // Appends a definition and indexes its name, refusing a second of the
  // same name and namespace.
  template <typename Def>
  void declare(Def def, std::vector<Def>& defs, NameIndex& byName, const std::string& place, const char* what) {
    std::vector<int>& named = byName[def.name];
    for (const int other : named)
      if (defs[other].namespaceIndex == def.namespaceIndex)
        fail(place, std::string("duplicate ") + what + " name '" + def.name + "'");
    named.push_back(static_cast<int>(defs.size()));
    defs.push_back(std::move(def));
  }
  [[noreturn]] void fail(const std::string& place, const std::string& what) const {
    sourceError(sourceName_, place, what);
  }

  // unknownHint follows the name of an unknown field.
  void expectObject(const Node& node, std::initializer_list<std::initializer_list<std::string_view>> fieldSets,
                    const std::string& unknownHint = {}) const {
    if (!node.value.is_object()) fail(node.path, "expected an object, found " + describe(node.value));
    for (const auto& [key, value] : node.value.items()) {
      bool known = false;
      for (const auto& fields : fieldSets) {
        for (std::string_view field : fields) known = known || field == key;
      }
      if (!known) fail(node.pathOf(key), "unknown field '" + key + "'" + unknownHint);
    }
  }

  void expectType(const Node& node, bool ok, const char* expected) const {
    if (!ok) fail(node.path, std::string("expected ") + expected + ", found " + describe(node.value));
  }

  std::string string(const Node& node) const {
    expectType(node, node.value.is_string(), "a string");
    return node.value.get<std::string>();
  }
  std::optional<std::string> optString(const Node& node, const char* key) const {
    if (!node.has(key)) return std::nullopt;
    return string(node.child(key));
  }
  void readString(const Node& node, const char* key, std::string& target) const {
    if (auto value = optString(node, key)) target = *value;
  }
  void readBool(const Node& node, const char* key, bool& target) const {
    if (!node.has(key)) return;
    const Node value = node.child(key);
    expectType(value, value.value.is_boolean(), "true or false");
    target = value.value.get<bool>();
  }
  void readLong(const Node& node, const char* key, long& target) const {
    if (!node.has(key)) return;
    const Node value = node.child(key);
    expectType(value, value.value.is_number_integer(), "an integer");
    target = value.value.get<long>();
  }
  template <typename E, std::size_t N>
  std::optional<E> optEnum(const Node& node, const char* key, const EnumSpelling<E> (&spellings)[N]) const {
    if (!node.has(key)) return std::nullopt;
    const Node value = node.child(key);
    const std::string text = string(value);
    std::string expected;
    for (const auto& spelling : spellings) {
      if (spelling.name == text) return spelling.value;
      expected += (expected.empty() ? "" : ", ") + std::string(spelling.name);
    }
    fail(value.path, "bad value '" + text + "' (expected one of: " + expected + ")");
  }
  template <typename E, std::size_t N>
  void readEnum(const Node& node, const char* key, const EnumSpelling<E> (&spellings)[N], E& target) const {
    if (auto value = optEnum(node, key, spellings)) target = *value;
  }
  template <typename Fn>
  void forEach(const Node& node, const char* key, Fn&& fn) const {
    if (!node.has(key)) return;
    const Node array = node.child(key);
    expectType(array, array.value.is_array(), "an array");
    for (std::size_t i = 0; i < array.value.size(); ++i) fn(array.item(i), i);
  }

  // Names.
  int namespaceRef(const Node& node) const;
  int optNamespace(const Node& node, const char* key) const;
  int resolved(const Node& node, const NameLookup& lookup, const char* what) const;
  int typeRef(const Node& node);
  TypeVariety inferVariety(const json& type) const;
  int elementRef(const Node& node) const;
  std::string describeType(int type) const;

  // Parts.
  void readIdentification(const Node& node);
  void readProperties(const Node& node);
  void readNamespaces(const Node& root);
  void declareNames(const Node& root);
  void readTypeBody(const Node& node, int position);
  void readMember(const Node& node, MemberDef& member);
  void readOccurs(const Node& node, MemberDef& member) const;
  void readElement(const Node& node, ElementDef& element);
  void readItemXml(const Node& node, ItemXmlProperties& xml) const;
  void checkNamespaceAllowed(const Node& node, const char* key) const;
  void checkNoTypeCycle() const;

  const std::string& sourceName_;
  MessageSet set_;
  std::vector<std::string> typePaths_;  // where each type of set_.types was written
  std::vector<const json*> declaredTypes_;  // the source of each type listed under types
  NameIndex typesByName_;     // those listed under types
  NameIndex elementsByName_;  // those listed under elements
  NameLookup lookUpDeclaredType(const std::string& ref) const {
    return lookUp(set_, set_.types, typesByName_, ref, [](const TypeDef& type) { return type.builtin; });
  }
  bool namespacesDisabled_ = false;     // namespaces switched off explicitly
};

MessageSet JsonSourceReader::read(const json& document) {
  const Node root{document, ""};
  // The other JSON files of the system, given to compile by mistake.
  if (document.is_object() && document.contains("format") && document.contains("root"))
    fail("format", "this is a message tree (as wfhost parse --json prints it), not a message-set source "
                   "(docs/message-set-source.md)");
  // One unknown key alone: typed JSON of a message, given as a source by mistake.
  const bool typedJson = document.is_object() && document.size() == 1;
  expectObject(root,
               {{"name", "identification", "dependencies", "namespacesEnabled", "properties", "namespaces", "types",
                 "elements"}},
               typedJson ? ": this looks like typed JSON of a message, not a message-set source "
                           "(docs/message-set-source.md), which starts {\"name\": ...}"
                         : "");
  if (!root.has("name")) fail("name", "the message set needs a name");
  set_.name = string(root.child("name"));
  if (set_.name.empty()) fail("name", "the message set needs a name");
  if (root.has("identification")) readIdentification(root.child("identification"));
  forEach(root, "dependencies", [&](const Node& item, std::size_t) { set_.dependencies.push_back(string(item)); });
  if (root.has("namespacesEnabled")) {
    bool enabled = false;
    readBool(root, "namespacesEnabled", enabled);
    set_.namespacesEnabled = enabled;
    namespacesDisabled_ = !enabled;
  }
  if (root.has("properties")) readProperties(root.child("properties"));
  readNamespaces(root);
  if (set_.formatVersion < 4 && namespacesEnabled(set_)) {
    fail("identification.formatVersion", "namespaces need a format version of 4 or more");
  }
  declareNames(root);
  forEach(root, "types", [&](const Node& item, std::size_t i) { readTypeBody(item, static_cast<int>(i)); });
  forEach(root, "elements", [&](const Node& item, std::size_t i) { readElement(item, set_.elements[i]); });
  checkNoTypeCycle();
  return std::move(set_);
}

void JsonSourceReader::readIdentification(const Node& node) {
  expectObject(node, {{"name", "formatVersion", "mode"}});
  readString(node, "name", set_.identificationName);
  readLong(node, "formatVersion", set_.formatVersion);
  readLong(node, "mode", set_.dictionaryMode);
  if (set_.dictionaryMode != 0 && set_.dictionaryMode != 1) fail(node.pathOf("mode"), "the mode is 0 or 1");
  if (set_.formatVersion <= 0) fail(node.pathOf("formatVersion"), "the format version must be above 0");
}

void JsonSourceReader::readProperties(const Node& node) {
  expectObject(node, {{"suppressXmlDeclaration", "xmlVersion", "suppressXmlEncoding", "standalone",
                       "suppressDoctype", "doctypeSystemId", "doctypePublicId", "doctypeText",
                       "suppressTimestampComment", "rootTagName", "enableVersioningSupport", "booleanTrueValue",
                       "booleanFalseValue", "nullNumEncoding", "nullNumValue", "nullNonNumEncoding",
                       "nullNonNumValue", "defaultDateTimeFormat", "defaultTimeZone", "centuryWindow",
                       "firstDayOfWeek", "firstWeekOfYear", "allowLenientDatetimes", "xsiTypePolicy",
                       "preserveUtcFormat"}});
  MessageSetXmlProperties& xml = set_.xml;
  readBool(node, "suppressXmlDeclaration", xml.suppressXmlDeclaration);
  readString(node, "xmlVersion", xml.xmlVersion);
  readBool(node, "suppressXmlEncoding", xml.suppressXmlEncoding);
  readString(node, "standalone", xml.standalone);
  readBool(node, "suppressDoctype", xml.suppressDoctype);
  readString(node, "doctypeSystemId", xml.doctypeSystemId);
  readString(node, "doctypePublicId", xml.doctypePublicId);
  readString(node, "doctypeText", xml.doctypeText);
  readBool(node, "suppressTimestampComment", xml.suppressTimestampComment);
  readString(node, "rootTagName", xml.rootTagName);
  readBool(node, "enableVersioningSupport", xml.enableVersioningSupport);
  readString(node, "booleanTrueValue", xml.booleanTrueValue);
  readString(node, "booleanFalseValue", xml.booleanFalseValue);
  readEnum(node, "nullNumEncoding", kNullEncodings, xml.nullNumEncoding);
  readString(node, "nullNumValue", xml.nullNumValue);
  readEnum(node, "nullNonNumEncoding", kNullEncodings, xml.nullNonNumEncoding);
  readString(node, "nullNonNumValue", xml.nullNonNumValue);
  readString(node, "defaultDateTimeFormat", xml.defaultDateTimeFormat);
  readString(node, "defaultTimeZone", xml.defaultTimeZone);
  readLong(node, "centuryWindow", xml.centuryWindow);
  readString(node, "firstDayOfWeek", xml.firstDayOfWeek);
  readLong(node, "firstWeekOfYear", xml.firstWeekOfYear);
  readBool(node, "allowLenientDatetimes", xml.allowLenientDatetimes);
  readEnum(node, "xsiTypePolicy", kXsiTypePolicies, xml.xsiTypePolicy);
  readBool(node, "preserveUtcFormat", xml.preserveUtcFormat);
}

void JsonSourceReader::readNamespaces(const Node& root) {
  forEach(root, "namespaces", [&](const Node& item, std::size_t) {
    expectObject(item, {{"uri", "prefix"}});
    if (!item.has("uri")) fail(item.path, "a namespace needs a uri");
    NamespaceDef ns;
    ns.uri = string(item.child("uri"));
    readString(item, "prefix", ns.preferredPrefix);
    if (ns.uri.empty()) fail(item.pathOf("uri"), "a namespace uri cannot be empty");
    for (const NamespaceDef& other : set_.namespaces) {
      if (other.uri == ns.uri) fail(item.pathOf("uri"), "duplicate namespace '" + ns.uri + "'");
      if (!ns.preferredPrefix.empty() && other.preferredPrefix == ns.preferredPrefix) {
        fail(item.pathOf("prefix"), "duplicate prefix '" + ns.preferredPrefix + "'");
      }
    }
    if (ns.preferredPrefix.find(':') != std::string::npos) {
      fail(item.pathOf("prefix"), "a prefix cannot contain ':'");
    }
    set_.namespaces.push_back(std::move(ns));
  });
}

// Gives every named type and element its position, so that references may
// point forwards. Inline types are appended later, when they are read.
void JsonSourceReader::declareNames(const Node& root) {
  forEach(root, "types", [&](const Node& item, std::size_t) {
    expectType(item, item.value.is_object(), "an object");
    if (!item.has("name")) fail(item.path, "a type listed under types needs a name");
    TypeDef type;
    type.name = string(item.child("name"));
    if (type.name.empty()) fail(item.pathOf("name"), "a type listed under types needs a name");
    type.namespaceIndex = optNamespace(item, "namespace");
    declare(std::move(type), set_.types, typesByName_, item.pathOf("name"), "type");
    typePaths_.push_back(item.path);
    declaredTypes_.push_back(&item.value);
  });
  // Group members and element classes need to know which types are complex
  // before the types they name have been read.
  for (std::size_t i = 0; i < declaredTypes_.size(); ++i) set_.types[i].variety = inferVariety(*declaredTypes_[i]);
  forEach(root, "elements", [&](const Node& item, std::size_t) {
    expectType(item, item.value.is_object(), "an object");
    if (!item.has("name")) fail(item.path, "an element needs a name");
    ElementDef element;
    element.name = string(item.child("name"));
    if (element.name.empty()) fail(item.pathOf("name"), "an element needs a name");
    element.namespaceIndex = optNamespace(item, "namespace");
    declare(std::move(element), set_.elements, elementsByName_, item.pathOf("name"), "element");
  });
}

int JsonSourceReader::namespaceRef(const Node& node) const {
  const std::string ref = string(node);
  for (std::size_t i = 0; i < set_.namespaces.size(); ++i) {
    if (!ref.empty() && set_.namespaces[i].preferredPrefix == ref) return static_cast<int>(i);
  }
  for (std::size_t i = 0; i < set_.namespaces.size(); ++i) {
    if (set_.namespaces[i].uri == ref) return static_cast<int>(i);
  }
  fail(node.path, "unknown namespace '" + ref + "' (neither a declared prefix nor a declared uri)");
}

int JsonSourceReader::optNamespace(const Node& node, const char* key) const {
  if (!node.has(key)) return kNone;
  checkNamespaceAllowed(node, key);
  return namespaceRef(node.child(key));
}

void JsonSourceReader::checkNamespaceAllowed(const Node& node, const char* key) const {
  if (namespacesDisabled_) fail(node.pathOf(key), "namespaces are disabled for this message set");
}

int JsonSourceReader::resolved(const Node& node, const NameLookup& lookup, const char* what) const {
  const std::string ref = node.value.get<std::string>();
  switch (lookup.status) {
    case NameLookup::Status::Found: return lookup.position;
    case NameLookup::Status::Ambiguous:
      fail(node.path, std::string("ambiguous ") + what + " name '" + ref + "': qualify it with a namespace prefix");
    case NameLookup::Status::UnknownPrefix:
      fail(node.path, "unknown namespace prefix '" + lookup.prefix + "' in '" + ref + "'");
    case NameLookup::Status::NotFound: break;
  }
  fail(node.path, std::string("unknown ") + what + " '" + ref + "'");
}

int JsonSourceReader::typeRef(const Node& node) {
  if (node.value.is_object()) {
    set_.types.emplace_back();
    typePaths_.push_back(node.path);
    const int position = static_cast<int>(set_.types.size() - 1);
    readTypeBody(node, position);
    return position;
  }
  expectType(node, node.value.is_string(), "a type name or a type object");
  const NameLookup lookup = lookUpDeclaredType(node.value.get<std::string>());
  if (lookup.status != NameLookup::Status::NotFound) return resolved(node, lookup, "type");
  const bool schemaName = lookup.namespaceIndex == NameLookup::kAnyNamespace ||
                          set_.namespaces[lookup.namespaceIndex].uri == kXmlSchemaNamespace;
  if (schemaName) {
    const std::size_t before = set_.types.size();
    const int builtin = useBuiltinType(set_, lookup.local);
    if (set_.types.size() != before) typePaths_.push_back("(predefined)");
    if (builtin != kNone) return builtin;
  }
  return resolved(node, lookup, "type");
}

int JsonSourceReader::elementRef(const Node& node) const {
  expectType(node, node.value.is_string(), "an element name");
  const auto lookup =
      lookUp(set_, set_.elements, elementsByName_, node.value.get<std::string>(), [](const ElementDef&) { return false; });
  return resolved(node, lookup, "element");
}

namespace {
// What a type's own fields say it is: its kind; a list with an itemType, a
// union with memberTypes, complex with members; none where its base decides;
// else simple with a logical type, complex without (an element without
// content).
std::optional<TypeVariety> statedVariety(const json& type) {
  if (type.contains("kind") && type["kind"].is_string()) {
    for (const auto& spelling : kVarieties) {
      if (spelling.name == type["kind"].get<std::string>()) return spelling.value;
    }
  }
  if (type.contains("itemType")) return TypeVariety::List;
  if (type.contains("memberTypes")) return TypeVariety::Union;
  if (type.contains("members")) return TypeVariety::Complex;
  if (type.contains("base")) return std::nullopt;
  return type.contains("logicalType") ? TypeVariety::Simple : TypeVariety::Complex;
}
}  // namespace

// What a type is when its kind is not given: as its fields say, or complex
// where it derives from a complex base (however deep), else simple. Bases
// are followed without recursion: a source may chain any number.
TypeVariety JsonSourceReader::inferVariety(const json& source) const {
  std::set<const json*> seen;  // a cycle of bases, reported later, is simple
  const json* type = &source;
  bool derived = false;
  while (type && type->is_object() && seen.insert(type).second) {
    if (const std::optional<TypeVariety> own = statedVariety(*type))
      return derived && *own != TypeVariety::Complex ? TypeVariety::Simple : *own;
    const json& base = (*type)["base"];
    type = base.is_object() ? &base : nullptr;
    if (base.is_string()) {
      const NameLookup lookup = lookUpDeclaredType(base.get<std::string>());
      const bool declared = lookup.status == NameLookup::Status::Found &&
                            static_cast<std::size_t>(lookup.position) < declaredTypes_.size();
      if (declared) type = declaredTypes_[lookup.position];
    }
    derived = true;
  }
  return TypeVariety::Simple;
}

void JsonSourceReader::readTypeBody(const Node& node, int position) {
  if (!set_.types[position].name.empty()) {
    expectObject(node, {{"name", "namespace"},
                        {"kind", "logicalType", "base", "derivation", "itemType", "memberTypes", "composition",
                         "processContents", "members", "abstract"}});
  } else {
    expectObject(node, {{"kind", "logicalType", "base", "derivation", "itemType", "memberTypes", "composition",
                         "processContents", "members", "abstract"}});
  }
  // References may append inline types, so the type is filled in a local
  // and stored at the end.
  TypeDef type = set_.types[position];
  type.logicalType = optEnum(node, "logicalType", kLogicalTypes);
  readBool(node, "abstract", type.isAbstract);
  if (node.has("base")) type.baseType = typeRef(node.child("base"));
  if (node.has("itemType")) type.listItemType = typeRef(node.child("itemType"));
  forEach(node, "memberTypes", [&](const Node& item, std::size_t) { type.unionMemberTypes.push_back(typeRef(item)); });
  type.composition = optEnum(node, "composition", kCompositions);
  if (auto processContents = optEnum(node, "processContents", kProcessContents)) {
    if (type.composition != Composition::Open)
      fail(node.pathOf("processContents"), "only open content has processContents");
    type.processContents = *processContents;
  }
  forEach(node, "members", [&](const Node& item, std::size_t) {
    MemberDef member;
    readMember(item, member);
    type.members.push_back(std::move(member));
  });

  if (auto kind = optEnum(node, "kind", kVarieties)) {
    type.variety = *kind;
  } else {
    type.variety = inferVariety(node.value);
  }
  if (type.variety == TypeVariety::List && type.listItemType == kNone) {
    fail(node.path, "a list type needs an itemType");
  }
  if (type.variety != TypeVariety::List && node.has("itemType")) {
    fail(node.pathOf("itemType"), "only a list type has an itemType");
  }
  if (type.variety == TypeVariety::Union && type.unionMemberTypes.empty()) {
    fail(node.path, "a union type needs at least one of memberTypes");
  }
  if (type.variety != TypeVariety::Union && node.has("memberTypes")) {
    fail(node.pathOf("memberTypes"), "only a union type has memberTypes");
  }
  if (type.variety != TypeVariety::Complex && !type.members.empty()) {
    fail(node.pathOf("members"), "only a complex type has members");
  }

  if (auto derivation = optEnum(node, "derivation", kDerivations)) {
    if (type.baseType == kNone) fail(node.pathOf("derivation"), "a derivation needs a base type");
    type.derivation = *derivation;
  } else if (type.baseType != kNone) {
    type.derivation = type.members.empty() ? Derivation::Restriction : Derivation::Extension;
  }
  // Open content admits any attribute too, matched as its elements are.
  if (type.composition == Composition::Open) type.attributeWildcard = AttributeWildcard{{}, {}, type.processContents};
  set_.types[position] = std::move(type);
}

void JsonSourceReader::readItemXml(const Node& node, ItemXmlProperties& xml) const {
  xml.xmlName = optString(node, "xmlName");
  xml.render = optEnum(node, "render", kRenders);
  xml.idAttributeName = optString(node, "idAttributeName");
  xml.idAttributeNamespace = optNamespace(node, "idAttributeNamespace");
  xml.idAttributeValue = optString(node, "idAttributeValue");
  readString(node, "format", xml.format);
  xml.encoding = optEnum(node, "encoding", kEncodings);
}

void JsonSourceReader::readOccurs(const Node& node, MemberDef& member) const {
  readLong(node, "minOccurs", member.minOccurs);
  if (member.minOccurs < 0) fail(node.pathOf("minOccurs"), "minOccurs cannot be negative");
  if (node.has("maxOccurs")) {
    const Node max = node.child("maxOccurs");
    if (max.value.is_string()) {
      if (max.value.get<std::string>() != "unbounded") fail(max.path, "expected an integer or \"unbounded\"");
      member.maxOccurs = kUnbounded;
    } else {
      long value = 0;
      readLong(node, "maxOccurs", value);
      if (value < 1 || value < member.minOccurs) {
        fail(max.path, "maxOccurs must be at least 1 and at least minOccurs");
      }
      member.maxOccurs = value;
    }
  } else if (member.minOccurs > member.maxOccurs) {
    fail(node.pathOf("minOccurs"), "minOccurs is above maxOccurs (1 unless given)");
  }
}

void JsonSourceReader::readMember(const Node& node, MemberDef& member) {
  expectType(node, node.value.is_object(), "an object");
  const int forms = int(node.has("element")) + int(node.has("name")) + int(node.has("group"));
  if (forms > 1) fail(node.path, "a member has only one of element, name and group");
  const std::initializer_list<std::string_view> memberXml = {"valueAttributeName", "valueAttributeNamespace",
                                                             "minOccurs", "maxOccurs"};
  if (node.has("element")) {
    expectObject(node, {{"element"}, kItemXmlFields, memberXml});
    member.form = MemberDef::Form::ElementRef;
    member.element = elementRef(node.child("element"));
  } else if (node.has("name")) {
    expectObject(node, {{"name", "namespace", "nillable", "type"}, kItemXmlFields, memberXml});
    member.form = MemberDef::Form::LocalElement;
    member.name = string(node.child("name"));
    if (member.name.empty()) fail(node.pathOf("name"), "a local element needs a name");
    member.namespaceIndex = optNamespace(node, "namespace");
    readBool(node, "nillable", member.nillable);
    if (node.has("type")) member.type = typeRef(node.child("type"));
  } else if (node.has("group")) {
    expectObject(node, {{"group", "minOccurs", "maxOccurs"}});
    member.form = MemberDef::Form::Group;
    member.type = typeRef(node.child("group"));
    if (set_.types[member.type].variety != TypeVariety::Complex) {
      fail(node.pathOf("group"), "a group member needs a complex type");
    }
  } else {
    expectObject(node, {{"type"}, kItemXmlFields, memberXml});
    if (!node.has("type")) fail(node.path, "a member needs element, name, group or type");
    member.form = MemberDef::Form::Simple;
    member.type = typeRef(node.child("type"));
  }
  readOccurs(node, member);
  readItemXml(node, member.xml);
  member.xml.valueAttributeName = optString(node, "valueAttributeName");
  member.xml.valueAttributeNamespace = optNamespace(node, "valueAttributeNamespace");
}

void JsonSourceReader::readElement(const Node& node, ElementDef& element) {
  expectObject(node, {{"name", "namespace", "type", "class", "nillable", "attribute", "abstract", "substitutionGroup"},
                      kItemXmlFields,
                      {"doctypeSystemId", "doctypePublicId", "doctypeText", "rootTagName", "schemaLocation",
                       "noNamespaceSchemaLocation", "namespaceDeclarationPolicy", "xsiTypePolicy"}});
  if (node.has("type")) element.type = typeRef(node.child("type"));
  element.elementClass = optEnum(node, "class", kElementClasses);
  readBool(node, "nillable", element.nillable);
  readBool(node, "attribute", element.isAttribute);
  readBool(node, "abstract", element.isAbstract);
  if (node.has("substitutionGroup")) element.substitutionGroup = elementRef(node.child("substitutionGroup"));
  ElementXmlProperties& xml = element.xml;
  readItemXml(node, xml);
  xml.doctypeSystemId = optString(node, "doctypeSystemId");
  xml.doctypePublicId = optString(node, "doctypePublicId");
  xml.doctypeText = optString(node, "doctypeText");
  xml.rootTagName = optString(node, "rootTagName");
  readString(node, "schemaLocation", xml.schemaLocation);
  readString(node, "noNamespaceSchemaLocation", xml.noNamespaceSchemaLocation);
  readEnum(node, "namespaceDeclarationPolicy", kNamespaceDeclPolicies, xml.namespaceDeclPolicy);
  xml.xsiTypePolicy = optEnum(node, "xsiTypePolicy", kXsiTypePolicies);
}

std::string JsonSourceReader::describeType(int type) const {
  const TypeDef& def = set_.types[type];
  return def.name.empty() ? "(anonymous type at " + typePaths_[type] + ")" : def.name;
}

void JsonSourceReader::checkNoTypeCycle() const {
  const std::vector<int> cycle = findTypeCycle(set_);
  if (cycle.empty()) return;
  std::string chain;
  for (int type : cycle) chain += (chain.empty() ? "" : " -> ") + describeType(type);
  fail(typePaths_[cycle.front()], "types form a cycle through base, item, member or group types: " + chain);
}

// "line L, column C" of a byte offset (1-based, columns in bytes).
std::string placeOf(std::string_view text, std::size_t offset) {
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace
}  // namespace msgset

namespace msgset {
namespace {

// Follows the parse to know the path of every value, and rejects an object
// that names a field twice: the later value would silently win.
class DuplicateFieldCheck {
public:
  explicit DuplicateFieldCheck(const std::string& sourceName) : sourceName_(sourceName) {}

  bool operator()(int /*depth*/, json::parse_event_t event, json& parsed) {
    switch (event) {
      case json::parse_event_t::object_start:
      case json::parse_event_t::array_start: {
        std::string path = nextPath();
        frames_.push_back({event == json::parse_event_t::array_start, 0, "", {}, std::move(path)});
        break;
      }
      case json::parse_event_t::object_end:
      case json::parse_event_t::array_end: frames_.pop_back(); break;
      case json::parse_event_t::key: {
        Frame& object = frames_.back();
        object.key = parsed.get<std::string>();
        if (!object.keys.insert(object.key).second) {
          sourceError(sourceName_, nextPath(), "duplicate field '" + object.key + "'");
        }
        break;
      }
      case json::parse_event_t::value: nextPath(); break;
    }
    return true;
  }

private:
  struct Frame {
    bool array;
    std::size_t count;
    std::string key;
    std::set<std::string> keys;
    std::string path;
  };

  // The path of the value that comes next in the innermost container.
  std::string nextPath() {
    if (frames_.empty()) return "";
    Frame& top = frames_.back();
    if (top.array) return top.path + "[" + std::to_string(top.count++) + "]";
    return top.path.empty() ? top.key : top.path + "." + top.key;
  }

  const std::string& sourceName_;
  std::vector<Frame> frames_;
};

json parseDocument(std::string_view text, const std::string& sourceName) {
  DuplicateFieldCheck duplicates(sourceName);
  try {
    return json::parse(
        text.begin(), text.end(),
        [&duplicates](int depth, json::parse_event_t event, json& parsed) { return duplicates(depth, event, parsed); },
        /*allow_exceptions=*/true, /*ignore_comments=*/true);
  } catch (const json::parse_error& e) {
    std::string what = e.what();
    // Keep the library's reason, not its own position and error number.
    const std::size_t reason = what.find(": ");
    if (reason != std::string::npos) what = what.substr(reason + 2);
    sourceError(sourceName, placeOf(text, e.byte > 0 ? e.byte - 1 : 0), what);
  }
}

}  // namespace
}  // namespace msgset

msgset::MessageSet parseMessageSetJson(std::string_view text, const std::string& sourceName) {
  return msgset::JsonSourceReader(sourceName).read(msgset::parseDocument(text, sourceName));
}

msgset::MessageSetXmlProperties parseMessageSetPropertiesJson(std::string_view text, const std::string& sourceName,
                                                              const msgset::MessageSetXmlProperties& base) {
  return msgset::JsonSourceReader(sourceName).readPropertiesOnly(msgset::parseDocument(text, sourceName), base);
}

msgset::MessageSet readMessageSetJsonFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) {
    ZelFatalException error(__FILE__, __LINE__, "readMessageSetJsonFile", zelDefaultLogSourceName(),
                            ZelMessages::CP_IO_ERROR);
    error.addInsert(path).addInsert(std::strerror(errno));
    throw error;
  }
  return parseMessageSetJson(text.str(), path);
}

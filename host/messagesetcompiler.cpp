#include "messagesetcompiler.h"

#include "stddictionaryinfo.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <map>
#include <utility>

using namespace msgset;

namespace {

// Tables the XML descriptor keeps ahead of the standard ones: its
// element-name index. The serialized layout must match the descriptor's.
constexpr int kDescriptorTables = 1;

constexpr char16_t kXml[] = u"XML";

// Property names, as the XML descriptor looks them up.
namespace prop {
constexpr char16_t kSuppressXmlDeclaration[] = u"Suppress XML Declaration";
constexpr char16_t kStandaloneDocument[] = u"Standalone Document";
constexpr char16_t kSuppressDoctype[] = u"Suppress DOCTYPE";
constexpr char16_t kSuppressXmlEncoding[] = u"Suppress XML Encoding";
constexpr char16_t kSuppressTimestampComment[] = u"Suppress Timestamp Comment";
constexpr char16_t kDoctypeSystemId[] = u"DOCTYPE System ID";
constexpr char16_t kDoctypePublicId[] = u"DOCTYPE Public ID";
constexpr char16_t kDoctypeText[] = u"DOCTYPE Text";
constexpr char16_t kRootTagName[] = u"Root Tag Name";
constexpr char16_t kEnableVersioningSupport[] = u"Enable Versioning Support";
constexpr char16_t kBooleanTrueValue[] = u"Boolean True Value";
constexpr char16_t kBooleanFalseValue[] = u"Boolean False Value";
constexpr char16_t kEncodingNullNum[] = u"Encoding Null Num";
constexpr char16_t kEncodingNullNumVal[] = u"Encoding Null Num Val";
constexpr char16_t kEncodingNullNonNum[] = u"Encoding Null Non-num";
constexpr char16_t kEncodingNullNonNumVal[] = u"Encoding Null Non-num Val";
constexpr char16_t kDefaultDateTimeFormat[] = u"Default DateTime Format";
constexpr char16_t kDefaultTimeZone[] = u"Default Time Zone ID";
constexpr char16_t kCenturyWindow[] = u"Century Window";
constexpr char16_t kFirstDayOfWeek[] = u"First Day of Week";
constexpr char16_t kFirstWeekOfYear[] = u"First Week of Year";
constexpr char16_t kAllowLenientDatetimes[] = u"Allow Lenient Datetimes";
constexpr char16_t kOutputXsiTypePolicy[] = u"Output xsi:type policy";
constexpr char16_t kXmlVersionKey[] = u"XML Version Key";
constexpr char16_t kPreserveUtcFormat[] = u"Preserve UTC Format";
constexpr char16_t kXmlName[] = u"XML Name";
constexpr char16_t kRender[] = u"Render";
constexpr char16_t kIdAttributeName[] = u"ID Attribute Name";
constexpr char16_t kIdAttributeNamespace[] = u"ID Attribute Namespace";
constexpr char16_t kIdAttributeValue[] = u"ID Attribute Value";
constexpr char16_t kValueAttributeName[] = u"Value Attribute Name";
constexpr char16_t kValueAttributeNamespace[] = u"Value Attribute Namespace";
constexpr char16_t kEncoding[] = u"Encoding";
constexpr char16_t kFormat[] = u"Format";
constexpr char16_t kSchemaLocation[] = u"Schema Location";
constexpr char16_t kNoNamespaceSchemaLocation[] = u"No Namespace Schema Location";
constexpr char16_t kOutputNamespaceDeclPolicy[] = u"Output Namespace Declaration Policy";
constexpr char16_t kPreferredPrefix[] = u"Preferred Prefix";
constexpr char16_t kAttributeWildcard[] = u"Attribute Wildcard";
constexpr char16_t kAttributeWildcardNamespaces[] = u"Attribute Wildcard Namespaces";
// Open types: the namespaces their elements may have, spelled as those of an
// attribute wildcard; absent: any.
constexpr char16_t kElementWildcardNamespaces[] = u"Element Wildcard Namespaces";
}  // namespace prop

ZelWstring wide(const std::string& utf8) { return ZelWstring::fromUtf8(utf8); }

void copyInline(char16_t (&target)[DICT_INLINE_NAME_UNITS], const std::string& utf8) {
  const ZelWstring text = wide(utf8);
  const std::size_t units = std::min(text.length(), DICT_INLINE_NAME_UNITS - 1);
  std::copy_n(text.data(), units, target);
  target[units] = 0;
}

bool usesIdAttribute(Render render) {
  return render == Render::ElementWithId || render == Render::ElementWithIdAndValue;
}
bool usesValueAttribute(Render render) {
  return render == Render::ElementWithValue || render == Render::ElementWithIdAndValue;
}

std::int32_t contentKindOf(Composition composition, ProcessContents processContents) {
  switch (composition) {
    case Composition::Empty: return DictCodes::eContentEmpty;
    case Composition::Sequence: return DictCodes::eContentSequence;
    case Composition::Choice: return DictCodes::eContentChoice;
    case Composition::All: return DictCodes::eContentAll;
    case Composition::SimpleContent: return DictCodes::eContentSimple;
    case Composition::Mixed: return DictCodes::eContentMixed;
    case Composition::OrderedMixed: return DictCodes::eContentMixedOrdered;
    case Composition::Open:
      switch (processContents) {
        case ProcessContents::Strict: return DictCodes::eContentOpen;
        case ProcessContents::Lax: return DictCodes::eContentOpenLax;
        case ProcessContents::Skip: return DictCodes::eContentOpenSkip;
      }
      return DictCodes::eContentOpen;
  }
  return DictCodes::eContentEmpty;
}

// "Attribute Wildcard": what a complex type does with attributes no member
// declares: -1 refuses them, 0-2 admits them, matched strictly, laxly or not
// at all. Dictionaries without the property predate it.
std::int64_t attributeWildcardCode(const std::optional<AttributeWildcard>& wildcard) {
  if (!wildcard) return -1;
  switch (wildcard->processContents) {
    case ProcessContents::Strict: return 0;
    case ProcessContents::Lax: return 1;
    case ProcessContents::Skip: return 2;
  }
  return 0;
}

// "Attribute Wildcard Namespaces": "##any"; "##other" and the namespace it
// excludes, if any; or the namespaces admitted, "##local" for none, blank
// separated.
std::string attributeWildcardNamespaces(const AttributeWildcard& wildcard) {
  if (wildcard.constraint == AttributeWildcard::Namespaces::Any) return "##any";
  std::string text = wildcard.constraint == AttributeWildcard::Namespaces::Not ? "##other" : "";
  for (const std::string& uri : wildcard.namespaces) {
    if (wildcard.constraint == AttributeWildcard::Namespaces::Not && uri.empty()) continue;
    if (!text.empty()) text += ' ';
    text += uri.empty() ? "##local" : uri;
  }
  return text;
}

std::int32_t typeKindOf(TypeVariety variety) {
  switch (variety) {
    case TypeVariety::Simple: return DictCodes::eTypeKindAtomic;
    case TypeVariety::Complex: return DictCodes::eTypeKindComplex;
    case TypeVariety::List: return DictCodes::eTypeKindList;
    case TypeVariety::Union: return DictCodes::eTypeKindUnion;
  }
  return DictCodes::eTypeKindUnspecified;
}

std::uint8_t whiteSpaceCode(WhiteSpace whiteSpace) {
  switch (whiteSpace) {
    case WhiteSpace::Unset: return DictCodes::eWhiteSpaceByLogicalType;
    case WhiteSpace::Preserve: return DictCodes::eWhiteSpacePreserve;
    case WhiteSpace::Replace: return DictCodes::eWhiteSpaceReplace;
    case WhiteSpace::Collapse: return DictCodes::eWhiteSpaceCollapse;
  }
  return DictCodes::eWhiteSpaceByLogicalType;
}

std::int32_t derivationOf(Derivation derivation) {
  switch (derivation) {
    case Derivation::None: return DictCodes::eDerivationNone;
    case Derivation::Restriction: return DictCodes::eDerivationRestriction;
    case Derivation::Extension: return DictCodes::eDerivationExtension;
  }
  return DictCodes::eDerivationNone;
}

// Rejects references outside the model's vectors and cycles of types, so
// that layout and the parser's searches always end.
class ModelChecker {
public:
  ModelChecker(const MessageSet& set, const std::string& sourceName) : set_(set), sourceName_(sourceName) {}

  void check() const {
    for (std::size_t i = 0; i < set_.elements.size(); ++i) {
      const ElementDef& element = set_.elements[i];
      const std::string place = "elements[" + std::to_string(i) + "]";
      checkNamespace(element.namespaceIndex, place + ".namespaceIndex");
      checkOptional(element.type, set_.types.size(), place + ".type");
      checkOptional(element.substitutionGroup, set_.elements.size(), place + ".substitutionGroup");
      checkNamespace(element.xml.idAttributeNamespace, place + ".xml.idAttributeNamespace");
    }
    for (std::size_t i = 0; i < set_.types.size(); ++i) checkType(set_.types[i], "types[" + std::to_string(i) + "]");
    const std::vector<int> cycle = findTypeCycle(set_);
    if (!cycle.empty()) {
      std::string chain;
      for (int type : cycle) chain += (chain.empty() ? "types[" : " -> types[") + std::to_string(type) + "]";
      fail("types[" + std::to_string(cycle.front()) + "]", "types form a cycle: " + chain);
    }
    checkExtensionChains();
    checkGroupExpansion();
  }

private:
  [[noreturn]] void fail(const std::string& place, const std::string& what) const {
    throwSourceError("compileMessageSet", sourceName_, place, what);
  }
  void checkOptional(int position, std::size_t size, const std::string& place) const {
    if (position != kNone && (position < 0 || static_cast<std::size_t>(position) >= size)) {
      fail(place, "no entry " + std::to_string(position));
    }
  }
  void checkRequired(int position, std::size_t size, const std::string& place) const {
    if (position == kNone) fail(place, "a reference is required");
    checkOptional(position, size, place);
  }
  void checkNamespace(int position, const std::string& place) const {
    checkOptional(position, set_.namespaces.size(), place);
    if (position != kNone && !namespacesEnabled(set_)) fail(place, "namespaces are disabled for this message set");
  }
  void checkType(const TypeDef& type, const std::string& place) const {
    const std::size_t types = set_.types.size();
    checkOptional(type.namespaceIndex, set_.namespaces.size(), place + ".namespaceIndex");
    checkOptional(type.baseType, types, place + ".baseType");
    if (type.variety == TypeVariety::List) checkRequired(type.listItemType, types, place + ".listItemType");
    for (std::size_t i = 0; i < type.unionMemberTypes.size(); ++i) {
      checkRequired(type.unionMemberTypes[i], types, place + ".unionMemberTypes[" + std::to_string(i) + "]");
    }
    for (std::size_t i = 0; i < type.members.size(); ++i) {
      const MemberDef& member = type.members[i];
      const std::string at = place + ".members[" + std::to_string(i) + "]";
      switch (member.form) {
        case MemberDef::Form::ElementRef: checkRequired(member.element, set_.elements.size(), at + ".element"); break;
        case MemberDef::Form::LocalElement: checkOptional(member.type, types, at + ".type"); break;
        case MemberDef::Form::Simple:
        case MemberDef::Form::Group: checkRequired(member.type, types, at + ".type"); break;
      }
      checkNamespace(member.namespaceIndex, at + ".namespaceIndex");
      checkNamespace(member.xml.idAttributeNamespace, at + ".xml.idAttributeNamespace");
      checkNamespace(member.xml.valueAttributeNamespace, at + ".xml.valueAttributeNamespace");
    }
  }

  // The tables repeat a type's extended bases' members, found by walking
  // its chain of bases: bounded as a schema's are, so that the walks cost
  // no more than the chain squared. Runs once cycles are ruled out.
  static constexpr std::size_t kMaxExtensionChain = 100;
  void checkExtensionChains() const {
    const auto extendsComplex = [&](int type) {
      const TypeDef& def = set_.types[type];
      return def.derivation == Derivation::Extension && def.baseType != kNone &&
             set_.types[def.baseType].variety == TypeVariety::Complex;
    };
    constexpr std::size_t kUnknown = std::numeric_limits<std::size_t>::max();
    std::vector<std::size_t> extensions(set_.types.size(), kUnknown);  // of each type, one above the other
    for (std::size_t start = 0; start < set_.types.size(); ++start) {
      std::vector<int> unknown;
      int type = static_cast<int>(start);
      for (; extensions[type] == kUnknown && extendsComplex(type); type = set_.types[type].baseType) unknown.push_back(type);
      if (extensions[type] == kUnknown) extensions[type] = 0;
      std::size_t count = extensions[type];
      for (auto at = unknown.rbegin(); at != unknown.rend(); ++at) {
        extensions[*at] = ++count;
        if (count > kMaxExtensionChain)
          fail("types[" + std::to_string(*at) + "]",
               "it extends more than " + std::to_string(kMaxExtensionChain) + " types, each extending the next");
      }
    }
  }

  // The parser's search for an element's member, and the walks of typed
  // data, go through a type's groups (and its extended bases) as often as
  // they are referenced: groups that each hold the next twice, 40 deep,
  // made one search of 2^40 groups. Bounded as a schema's particles are;
  // counted from the leaves up, without recursion. Runs once cycles are
  // ruled out.
  static constexpr std::size_t kMaxExpandedMembers = 100000;
  void checkGroupExpansion() const {
    constexpr std::size_t kUnknown = std::numeric_limits<std::size_t>::max();
    std::vector<std::size_t> expanded(set_.types.size(), kUnknown);
    const auto expandsInto = [&](int type, auto visit) {
      const TypeDef& def = set_.types[type];
      for (const MemberDef& member : def.members)
        if (member.form == MemberDef::Form::Group) visit(member.type);
      if (def.derivation == Derivation::Extension && def.baseType != kNone) visit(def.baseType);
    };
    for (std::size_t start = 0; start < set_.types.size(); ++start) {
      std::vector<std::pair<int, bool>> pending{{static_cast<int>(start), false}};  // type, its parts counted
      while (!pending.empty()) {
        const auto [type, partsCounted] = pending.back();
        pending.pop_back();
        if (expanded[type] != kUnknown) continue;
        if (!partsCounted) {
          pending.push_back({type, true});
          expandsInto(type, [&](int part) {
            if (expanded[part] == kUnknown) pending.push_back({part, false});
          });
          continue;
        }
        std::size_t count = set_.types[type].members.size();
        expandsInto(type, [&](int part) { count = std::min(count + expanded[part], kMaxExpandedMembers + 1); });
        if (count > kMaxExpandedMembers)
          fail("types[" + std::to_string(type) + "]", std::string("its members, with those of its groups and extended bases as often as referenced,") +
                                                          " are more than " +
                                                          std::to_string(kMaxExpandedMembers));
        expanded[type] = count;
      }
    }
  }

  const MessageSet& set_;
  const std::string& sourceName_;
};

// One element definition as it goes into the tag table, defaults applied.
struct TagRow {
  std::string name;
  int namespaceIndex = kNone;
  int type = kNone;
  ElementClass elementClass = ElementClass::Field;
  bool nillable = false;
  bool isAttribute = false;
  bool isAbstract = false;
  int substitutionGroup = kNone;  // a tag index
  int messageIndex = kNone;
  std::optional<ValueConstraint> valueConstraint;
  std::string xmlName;
  Render render = Render::Element;
  std::string idAttributeName;
  int idAttributeNamespace = kNone;
  std::string idAttributeValue;
  DataEncoding encoding = DataEncoding::Unset;
  std::string format;
  std::string doctypeSystemId, doctypePublicId, doctypeText, rootTagName;
  std::string schemaLocation, noNamespaceSchemaLocation;
  NamespaceDeclPolicy namespaceDeclPolicy = NamespaceDeclPolicy::Unset;
  XsiTypePolicy xsiTypePolicy = XsiTypePolicy::Never;
};

// One type member as it goes into the member table, defaults applied.
struct MemberRow {
  std::string name;     // empty for nameless members
  int containingType = kNone;
  int tagIndex = kNone;
  int type = kNone;
  ElementClass kind = ElementClass::Field;
  long minOccurs = 1;
  long maxOccurs = 1;
  std::optional<ValueConstraint> valueConstraint;
  std::string xmlName;
  Render render = Render::Undefined;
  std::string idAttributeName;
  int idAttributeNamespace = kNone;
  std::string idAttributeValue;
  std::string valueAttributeName;
  int valueAttributeNamespace = kNone;
  std::string format;
  DataEncoding encoding = DataEncoding::Unset;
};

// Assigns every row of the tag, member, message and namespace tables and
// resolves the defaults the model leaves open.
class DictionaryLayout {
public:
  explicit DictionaryLayout(const MessageSet& set) : set_(set), namespaces_(set.namespaces) {
    placeSchemaNamespace();
    for (const ElementDef& element : set.elements) addGlobalTag(element);
    firstMember_.assign(set.types.size(), kNone);
    for (std::size_t t = 0; t < set.types.size(); ++t) addMembersOf(static_cast<int>(t));
  }

  const std::vector<NamespaceDef>& namespaces() const { return namespaces_; }
  const std::vector<TagRow>& tags() const { return tags_; }
  const std::vector<MemberRow>& members() const { return members_; }
  const std::vector<int>& messages() const { return messages_; }  // tag indexes
  int firstMember(int type) const { return firstMember_[type]; }
  int typeNamespace(int type) const {
    const TypeDef& def = set_.types[type];
    return def.builtin && namespacesEnabled(set_) ? schemaNamespace_ : def.namespaceIndex;
  }

private:
  void placeSchemaNamespace() {
    const bool needed = namespacesEnabled(set_) &&
                        std::any_of(set_.types.begin(), set_.types.end(), [](const TypeDef& t) { return t.builtin; });
    if (!needed) return;
    for (std::size_t i = 0; i < namespaces_.size(); ++i) {
      if (namespaces_[i].uri == kXmlSchemaNamespace) schemaNamespace_ = static_cast<int>(i);
    }
    if (schemaNamespace_ != kNone) return;
    const bool xsTaken = std::any_of(namespaces_.begin(), namespaces_.end(),
                                     [](const NamespaceDef& ns) { return ns.preferredPrefix == "xs"; });
    namespaces_.push_back({std::string(kXmlSchemaNamespace), xsTaken ? "" : "xs"});
    schemaNamespace_ = static_cast<int>(namespaces_.size() - 1);
  }

  void addGlobalTag(const ElementDef& element) {
    TagRow row;
    row.name = element.name;
    row.namespaceIndex = element.namespaceIndex;
    row.type = element.type;
    row.elementClass = effectiveClass(set_, element);
    row.nillable = element.nillable;
    row.isAttribute = element.isAttribute;
    row.isAbstract = element.isAbstract;
    row.substitutionGroup = element.substitutionGroup;  // global tags keep their positions
    row.valueConstraint = element.valueConstraint;
    const ElementXmlProperties& xml = element.xml;
    row.xmlName = xml.xmlName.value_or(element.name);
    row.render = xml.render.value_or(element.isAttribute ? Render::Attribute : Render::Element);
    row.idAttributeName = xml.idAttributeName.value_or(usesIdAttribute(row.render) ? "id" : "");
    row.idAttributeNamespace = xml.idAttributeNamespace;
    row.idAttributeValue = xml.idAttributeValue.value_or(usesIdAttribute(row.render) ? row.xmlName : "");
    row.encoding = xml.encoding.value_or(encodings_.of(element.type));
    row.format = xml.format;
    row.schemaLocation = xml.schemaLocation;
    row.noNamespaceSchemaLocation = xml.noNamespaceSchemaLocation;
    row.namespaceDeclPolicy = xml.namespaceDeclPolicy;
    // A message read by its definition is written with its own DOCTYPE,
    // wrapper and xsi:type policy, so by default they repeat the set's.
    const bool message = row.elementClass == ElementClass::Message;
    const MessageSetXmlProperties& setXml = set_.xml;
    row.doctypeSystemId = xml.doctypeSystemId.value_or(message ? setXml.doctypeSystemId : "");
    row.doctypePublicId = xml.doctypePublicId.value_or(message ? setXml.doctypePublicId : "");
    row.doctypeText = xml.doctypeText.value_or(message ? setXml.doctypeText : "");
    row.rootTagName = xml.rootTagName.value_or(message ? setXml.rootTagName : "");
    row.xsiTypePolicy = xml.xsiTypePolicy.value_or(message ? setXml.xsiTypePolicy : XsiTypePolicy::Never);
    if (message) {
      row.messageIndex = static_cast<int>(messages_.size());
      messages_.push_back(static_cast<int>(tags_.size()));
    }
    tags_.push_back(std::move(row));
  }

  // The tag of a local element, made once however many types repeat it.
  int localTag(const MemberDef& member, const MemberRow& resolved) {
    const auto known = localTags_.find(&member);
    if (known != localTags_.end()) return known->second;
    TagRow row;
    row.name = member.name;
    row.namespaceIndex = member.namespaceIndex;
    row.type = member.type;
    row.elementClass = resolved.kind;
    row.nillable = member.nillable;
    row.valueConstraint = member.valueConstraint;
    row.isAttribute = resolved.render == Render::Attribute;
    // No XML name: a local element is found through its type only.
    row.render = resolved.render;
    row.encoding = resolved.encoding;
    row.format = resolved.format;
    tags_.push_back(std::move(row));
    const int index = static_cast<int>(tags_.size() - 1);
    localTags_.emplace(&member, index);
    return index;
  }

  // Members in table order: union member types, then the members of a
  // complex base that this type extends (as that base lists them), then its
  // own. A source's extensions may chain without bound: no recursion.
  void collectMembers(int type, std::vector<std::pair<const MemberDef*, int>>& out) const {
    std::vector<const TypeDef*> chain{&set_.types[type]};  // the type, then each base it extends
    for (;;) {
      const TypeDef& def = *chain.back();
      const bool extendsComplex = def.derivation == Derivation::Extension && def.baseType != kNone &&
                                  set_.types[def.baseType].variety == TypeVariety::Complex;
      if (!extendsComplex || chain.size() > set_.types.size()) break;
      chain.push_back(&set_.types[def.baseType]);
    }
    for (const TypeDef* def : chain)
      for (int memberType : def->unionMemberTypes) out.emplace_back(nullptr, memberType);
    for (auto def = chain.rbegin(); def != chain.rend(); ++def)
      for (const MemberDef& member : (*def)->members) out.emplace_back(&member, memberType(set_, member));
  }

  void addMembersOf(int type) {
    std::vector<std::pair<const MemberDef*, int>> sources;
    collectMembers(type, sources);
    if (!sources.empty()) firstMember_[type] = static_cast<int>(members_.size());
    for (const auto& [member, memberTypeIndex] : sources) {
      MemberRow row;
      row.containingType = type;
      row.type = memberTypeIndex;
      if (member) {
        resolveMember(*member, row);
      } else {
        row.encoding = encodings_.of(memberTypeIndex);
      }
      members_.push_back(std::move(row));
    }
  }

  void resolveMember(const MemberDef& member, MemberRow& row) {
    const MemberXmlProperties& xml = member.xml;
    row.minOccurs = member.minOccurs;
    row.maxOccurs = member.maxOccurs;
    std::string defaultXmlName;
    Render defaultRender = Render::Undefined;
    std::string defaultFormat;
    DataEncoding defaultEnc = encodings_.of(row.type);
    switch (member.form) {
      case MemberDef::Form::ElementRef: {
        const TagRow& tag = tags_[member.element];
        row.name = tag.name;
        row.tagIndex = member.element;
        row.kind = tag.elementClass;
        defaultXmlName = tag.xmlName;
        defaultRender = tag.isAttribute ? Render::Attribute : Render::Element;
        defaultFormat = tag.format;
        defaultEnc = tag.encoding;
        row.valueConstraint = member.valueConstraint ? member.valueConstraint : tag.valueConstraint;
        break;
      }
      case MemberDef::Form::LocalElement:
        row.name = member.name;
        row.kind = row.type != kNone && set_.types[row.type].variety == TypeVariety::Complex ? ElementClass::Structure
                                                                                              : ElementClass::Field;
        defaultXmlName = member.name;
        defaultRender = Render::Element;
        row.valueConstraint = member.valueConstraint;
        break;
      case MemberDef::Form::Simple: row.kind = ElementClass::Field; break;
      case MemberDef::Form::Group: row.kind = ElementClass::Structure; break;
    }
    row.xmlName = xml.xmlName.value_or(defaultXmlName);
    row.render = xml.render.value_or(defaultRender);
    row.idAttributeName = xml.idAttributeName.value_or(usesIdAttribute(row.render) ? "id" : "");
    row.idAttributeNamespace = xml.idAttributeNamespace;
    row.idAttributeValue = xml.idAttributeValue.value_or(usesIdAttribute(row.render) ? row.xmlName : "");
    row.valueAttributeName = xml.valueAttributeName.value_or(usesValueAttribute(row.render) ? "val" : "");
    row.valueAttributeNamespace = xml.valueAttributeNamespace;
    row.format = xml.format.empty() ? defaultFormat : xml.format;
    row.encoding = xml.encoding.value_or(defaultEnc);
    if (member.form == MemberDef::Form::LocalElement) row.tagIndex = localTag(member, row);
  }

  const MessageSet& set_;
  DefaultEncodings encodings_{set_};
  std::vector<NamespaceDef> namespaces_;
  int schemaNamespace_ = kNone;
  std::vector<TagRow> tags_;
  std::vector<MemberRow> members_;
  std::vector<int> messages_;
  std::vector<int> firstMember_;
  std::map<const MemberDef*, int> localTags_;
};

// Writes the tables of one dictionary from a layout.
class TableWriter {
public:
  TableWriter(const MessageSet& set, const DictionaryLayout& layout, StdDictionaryInfo& dictionary)
      : set_(set), layout_(layout), dictionary_(dictionary) {}

  void write(const std::string& sourceName) {
    dictionary_.setWireFormatName(ZelWstring(kXml));
    dictionary_.setDictionaryMode(set_.dictionaryMode);
    std::vector<ZelWstring> dependencies;
    for (const std::string& dependency : set_.dependencies) dependencies.push_back(wide(dependency));
    dictionary_.setProjectDependencies(std::move(dependencies));
    dictionary_.setSchemaDocuments(set_.schemaDocuments);
    // The element-name index is the descriptor's to fill; created empty with
    // its entry size so that the descriptor accepts it as it is.
    dictionary_.getTable(0)->Create(sizeof(std::int32_t), 0);

    writeIdentification(sourceName);
    writeMessageSet();
    dictionary_.getStringTableEntries().Create(0);
    writeWireFormat();
    writeTags();
    writeMembers();
    writeTypes();
    dictionary_.getPathBasedDefs().Create(0);
    dictionary_.getInt32s().Create(0);
    writeValueSets();
    writeValues();
    writeMemberIds();
    writeNamespaces();
    writeMessages();
  }

private:
  // A property column under the "XML" table name, one value per row. Empty
  // strings are left unset: the descriptor reads a missing value as empty,
  // and the dictionary stays small.
  class Column {
  public:
    Column(DictTableRefBase table, const char16_t* name, ELogicalType type)
        : table_(table.GetTable()->CreateProperty(kXml, name, type, 0)) {}
    void set(long row, const std::string& value) const {
      if (!value.empty()) table_->SetValue(row, wide(value).c_str());
    }
    void set(long row, std::int64_t value) const { table_->SetIntValue(row, value); }

  private:
    StringTableRef table_;
  };
  static void setString(DictTableRefBase table, const char16_t* name, const std::string& value) {
    Column(table, name, eLogicalString).set(0, value);
  }
  static void setInteger(DictTableRefBase table, const char16_t* name, std::int64_t value) {
    Column(table, name, eLogicalInteger).set(0, value);
  }

  static std::int32_t typeId(int type) { return type == kNone ? 0 : type + 1; }
  static std::int32_t tagId(int tag) { return tag == kNone ? 0 : tag + 1; }

  void writeIdentification(const std::string& sourceName) {
    const DictIdentificationDefs& table = dictionary_.getIdentificationDefs();
    table.Create(1);
    DICTIONARY_IDENTIFICATION& record = *table[0];
    copyInline(record.messageSetName, set_.name);
    // The file's name only: a dictionary does not depend on the folder it was compiled in.
    copyInline(record.sourceName, std::filesystem::path(sourceName).filename().string());
    record.buildKind = DictCodes::eBuildCompiled;
    record.formatVersion = static_cast<std::int32_t>(set_.formatVersion);
    table.SetRowName(0, wide(set_.identificationName.empty() ? set_.name : set_.identificationName).c_str());
  }

  void writeMessageSet() {
    const StdDictMsgSetDefs& table = dictionary_.getMsgSetDefs();
    table.Create(1);
    copyInline(table[0]->inlineName, set_.name);
    table[0]->namespacesEnabled = namespacesEnabled(set_) ? 1 : 0;
    table.SetRowName(0, wide(set_.name).c_str());

    const MessageSetXmlProperties& xml = set_.xml;
    setInteger(table, prop::kSuppressXmlDeclaration, xml.suppressXmlDeclaration);
    if (!xml.xmlVersion.empty()) setString(table, prop::kXmlVersionKey, xml.xmlVersion);
    setInteger(table, prop::kSuppressXmlEncoding, xml.suppressXmlEncoding);
    setInteger(table, prop::kSuppressTimestampComment, xml.suppressTimestampComment);
    setString(table, prop::kStandaloneDocument, xml.standalone);
    setInteger(table, prop::kSuppressDoctype, xml.suppressDoctype);
    setString(table, prop::kDoctypeSystemId, xml.doctypeSystemId);
    setString(table, prop::kDoctypePublicId, xml.doctypePublicId);
    setString(table, prop::kDoctypeText, xml.doctypeText);
    setString(table, prop::kRootTagName, xml.rootTagName);
    setInteger(table, prop::kEnableVersioningSupport, xml.enableVersioningSupport);
    setString(table, prop::kBooleanTrueValue, xml.booleanTrueValue);
    setString(table, prop::kBooleanFalseValue, xml.booleanFalseValue);
    setInteger(table, prop::kEncodingNullNum, static_cast<long>(xml.nullNumEncoding));
    setString(table, prop::kEncodingNullNumVal, xml.nullNumValue);
    setInteger(table, prop::kEncodingNullNonNum, static_cast<long>(xml.nullNonNumEncoding));
    setString(table, prop::kEncodingNullNonNumVal, xml.nullNonNumValue);
    setString(table, prop::kDefaultTimeZone, xml.defaultTimeZone);
    setInteger(table, prop::kPreserveUtcFormat, xml.preserveUtcFormat);
    setString(table, prop::kDefaultDateTimeFormat, xml.defaultDateTimeFormat);
    setInteger(table, prop::kCenturyWindow, xml.centuryWindow);
    setString(table, prop::kFirstDayOfWeek, xml.firstDayOfWeek);
    setInteger(table, prop::kFirstWeekOfYear, xml.firstWeekOfYear);
    setInteger(table, prop::kAllowLenientDatetimes, xml.allowLenientDatetimes);
    setInteger(table, prop::kOutputXsiTypePolicy, static_cast<long>(xml.xsiTypePolicy));
  }

  void writeWireFormat() {
    const StdDictWireFormatDefs& table = dictionary_.getWireFormatDefs();
    table.Create(1);
    std::copy_n(kXml, sizeof kXml / sizeof kXml[0], table[0]->inlineName);
    table.SetRowName(0, kXml);
  }

  void writeTags() {
    const StdDictTagDefs& table = dictionary_.getTagDefs();
    const std::vector<TagRow>& tags = layout_.tags();
    table.Create(static_cast<std::int32_t>(tags.size()));
    const Column xmlName(table, prop::kXmlName, eLogicalString);
    const Column systemId(table, prop::kDoctypeSystemId, eLogicalString);
    const Column publicId(table, prop::kDoctypePublicId, eLogicalString);
    const Column doctypeText(table, prop::kDoctypeText, eLogicalString);
    const Column rootTagName(table, prop::kRootTagName, eLogicalString);
    const Column render(table, prop::kRender, eLogicalInteger);
    const Column idName(table, prop::kIdAttributeName, eLogicalString);
    const Column idNamespace(table, prop::kIdAttributeNamespace, eLogicalInteger);
    const Column idValue(table, prop::kIdAttributeValue, eLogicalString);
    const Column encoding(table, prop::kEncoding, eLogicalInteger);
    const Column format(table, prop::kFormat, eLogicalString);
    const Column schemaLocation(table, prop::kSchemaLocation, eLogicalString);
    const Column noNamespaceSchemaLocation(table, prop::kNoNamespaceSchemaLocation, eLogicalString);
    const Column namespaceDeclPolicy(table, prop::kOutputNamespaceDeclPolicy, eLogicalInteger);
    const Column xsiTypePolicy(table, prop::kOutputXsiTypePolicy, eLogicalInteger);
    for (std::size_t i = 0; i < tags.size(); ++i) {
      const TagRow& tag = tags[i];
      const long row = static_cast<long>(i);
      SMD_TAG_DEFINITION& record = *table[row];
      record.tagId = tagId(row);
      record.tagClass = static_cast<std::int32_t>(tag.elementClass);
      record.typeId = typeId(tag.type);
      record.typeIndex = tag.type;
      record.substitutionGroupTagId = tag.substitutionGroup == kNone ? -1 : tagId(tag.substitutionGroup);
      record.nillable = tag.nillable ? 1 : 0;
      record.messageIndex = tag.messageIndex;
      record.namespaceIndex = tag.namespaceIndex;
      record.isAbstract = tag.isAbstract ? 1 : 0;
      record.declaredAsAttribute = tag.isAttribute ? 1 : 0;
      if (tag.valueConstraint)
        (tag.valueConstraint->fixed ? record.fixedValueIndex : record.defaultValueIndex) = addValue(*tag.valueConstraint);
      table.SetRowName(row, wide(tag.name).c_str());

      xmlName.set(row, tag.xmlName);
      systemId.set(row, tag.doctypeSystemId);
      publicId.set(row, tag.doctypePublicId);
      doctypeText.set(row, tag.doctypeText);
      rootTagName.set(row, tag.rootTagName);
      render.set(row, static_cast<std::int64_t>(tag.render));
      idName.set(row, tag.idAttributeName);
      idNamespace.set(row, std::int64_t{tag.idAttributeNamespace});
      idValue.set(row, tag.idAttributeValue);
      encoding.set(row, static_cast<std::int64_t>(tag.encoding));
      format.set(row, tag.format);
      schemaLocation.set(row, tag.schemaLocation);
      noNamespaceSchemaLocation.set(row, tag.noNamespaceSchemaLocation);
      namespaceDeclPolicy.set(row, static_cast<std::int64_t>(tag.namespaceDeclPolicy));
      xsiTypePolicy.set(row, static_cast<std::int64_t>(tag.xsiTypePolicy));
    }
  }

  void writeMembers() {
    const StdDictStructDefs& table = dictionary_.getStructDefs();
    const std::vector<MemberRow>& members = layout_.members();
    table.Create(static_cast<std::int32_t>(members.size()));
    const Column xmlName(table, prop::kXmlName, eLogicalString);
    const Column render(table, prop::kRender, eLogicalInteger);
    const Column idName(table, prop::kIdAttributeName, eLogicalString);
    const Column idNamespace(table, prop::kIdAttributeNamespace, eLogicalInteger);
    const Column idValue(table, prop::kIdAttributeValue, eLogicalString);
    const Column valueName(table, prop::kValueAttributeName, eLogicalString);
    const Column valueNamespace(table, prop::kValueAttributeNamespace, eLogicalInteger);
    const Column format(table, prop::kFormat, eLogicalString);
    const Column encoding(table, prop::kEncoding, eLogicalInteger);
    for (std::size_t i = 0; i < members.size(); ++i) {
      const MemberRow& member = members[i];
      const long row = static_cast<long>(i);
      SMD_STRUCTURE_ELEMENT_DEFINITION& record = *table[row];
      record.memberId = static_cast<std::int32_t>(row + 1);
      record.containingTypeId = typeId(member.containingType);
      record.elementId = tagId(member.tagIndex);
      record.memberTypeId = typeId(member.type);
      record.memberKind = static_cast<std::int32_t>(member.kind);
      record.minOccurs = static_cast<std::int32_t>(member.minOccurs);
      record.maxOccurs = static_cast<std::int32_t>(member.maxOccurs);
      record.elementIndex = member.tagIndex;
      record.typeIndex = member.type;
      if (member.valueConstraint) {
        record.defaultValueIndex = addValue(*member.valueConstraint);
        record.isFixed = member.valueConstraint->fixed ? 1 : 0;
      }
      if (!member.name.empty()) table.SetRowName(row, wide(member.name).c_str());

      xmlName.set(row, member.xmlName);
      render.set(row, static_cast<std::int64_t>(member.render));
      idName.set(row, member.idAttributeName);
      idNamespace.set(row, std::int64_t{member.idAttributeNamespace});
      idValue.set(row, member.idAttributeValue);
      valueName.set(row, member.valueAttributeName);
      valueNamespace.set(row, std::int64_t{member.valueAttributeNamespace});
      format.set(row, member.format);
      encoding.set(row, static_cast<std::int64_t>(member.encoding));
    }
  }

  void writeTypes() {
    const StdDictTypeDefs& table = dictionary_.getTypeDefs();
    table.Create(static_cast<std::int32_t>(set_.types.size()));
    const Column wildcard(table, prop::kAttributeWildcard, eLogicalInteger);
    const Column wildcardNamespaces(table, prop::kAttributeWildcardNamespaces, eLogicalString);
    const Column elementWildcardNamespaces(table, prop::kElementWildcardNamespaces, eLogicalString);
    for (std::size_t i = 0; i < set_.types.size(); ++i) {
      const TypeDef& type = set_.types[i];
      const int index = static_cast<int>(i);
      SMD_TYPE_DEFINITION& record = *table[index];
      record.typeId = typeId(index);
      record.derivationMethod = derivationOf(type.derivation);
      record.contentKind = contentKindOf(effectiveComposition(type), type.processContents);
      record.baseTypeId = typeId(type.baseType);
      record.logicalType = static_cast<std::int32_t>(effectiveLogicalType(set_, index));
      record.firstMemberIndex = layout_.firstMember(index);
      record.isAbstract = type.isAbstract ? 1 : 0;
      record.isAnonymous = type.name.empty() ? 1 : 0;
      record.whiteSpace = whiteSpaceCode(effectiveWhiteSpace(set_, index));
      record.skipsUndeclaredAttributes =
          type.attributeWildcard && type.attributeWildcard->processContents == ProcessContents::Skip ? 1 : 0;
      if (type.variety == TypeVariety::Complex) {
        wildcard.set(index, attributeWildcardCode(type.attributeWildcard));
        if (type.attributeWildcard) wildcardNamespaces.set(index, attributeWildcardNamespaces(*type.attributeWildcard));
        if (type.elementWildcard) elementWildcardNamespaces.set(index, attributeWildcardNamespaces(*type.elementWildcard));
      }
      record.typeKind = typeKindOf(type.variety);
      record.listItemTypeIndex = type.listItemType;
      record.namespaceIndex = layout_.typeNamespace(index);
      if (!type.enumeration.empty() || !type.pattern.empty()) record.valueSetIndex = addValueSet(type);
      if (!type.name.empty()) table.SetRowName(index, wide(type.name).c_str());
    }
  }

  // The default and fixed values, the members of enumerations and patterns, one row
  // each, named by their text.
  std::int32_t addValue(const ValueConstraint& constraint) {
    values_.push_back({constraint.text, constraint.fixed ? DictCodes::eFacetFixed : DictCodes::eFacetDefault, -1});
    return static_cast<std::int32_t>(values_.size() - 1);
  }

  // A type's enumeration members, then its pattern.
  std::int32_t addValueSet(const TypeDef& type) {
    const auto set = static_cast<std::int32_t>(valueSets_.size());
    const std::size_t count = type.enumeration.size() + (type.pattern.empty() ? 0 : 1);
    valueSets_.push_back({static_cast<std::int32_t>(values_.size()), static_cast<std::int32_t>(count)});
    for (const std::string& text : type.enumeration) values_.push_back({text, DictCodes::eFacetEnumeration, set});
    if (!type.pattern.empty()) values_.push_back({type.pattern, DictCodes::eFacetPattern, set});
    return set;
  }

  void writeValueSets() {
    const StdDictValueSetDefs& table = dictionary_.getValueSetDefs();
    table.Create(static_cast<std::int32_t>(valueSets_.size()));
    for (std::size_t i = 0; i < valueSets_.size(); ++i) *table[static_cast<std::int32_t>(i)] = valueSets_[i];
  }

  void writeValues() {
    const StdDictValueDefs& table = dictionary_.getValueDefs();
    table.Create(static_cast<std::int32_t>(values_.size()));
    for (std::size_t i = 0; i < values_.size(); ++i) {
      const auto row = static_cast<std::int32_t>(i);
      table[row]->facetKind = values_[i].facetKind;
      table[row]->valueSetIndex = values_[i].valueSet;
      table.SetRowName(row, wide(values_[i].text).c_str());
    }
  }

  void writeMemberIds() {
    const StdDictMbrIdToStructDefs& table = dictionary_.getMbrIdToStructDefs();
    const auto count = static_cast<std::int32_t>(layout_.members().size());
    table.Create(count);
    for (std::int32_t row = 0; row < count; ++row) *table[row] = {row + 1, row};
  }

  void writeNamespaces() {
    const StdDictNamespaceDefs& table = dictionary_.getNamespaceDefs();
    const std::vector<NamespaceDef>& namespaces = layout_.namespaces();
    table.Create(static_cast<std::int32_t>(namespaces.size()));
    const Column prefix(table, prop::kPreferredPrefix, eLogicalString);
    for (std::size_t i = 0; i < namespaces.size(); ++i) {
      table.SetRowName(static_cast<long>(i), wide(namespaces[i].uri).c_str());
      prefix.set(static_cast<long>(i), namespaces[i].preferredPrefix);
    }
  }

  void writeMessages() {
    const StdDictMessageDefs& table = dictionary_.getMessageDefs();
    const std::vector<int>& messages = layout_.messages();
    table.Create(static_cast<std::int32_t>(messages.size()));
    for (std::size_t i = 0; i < messages.size(); ++i) {
      const TagRow& tag = layout_.tags()[messages[i]];
      SMD_MESSAGE_DEFINITION& record = *table[static_cast<long>(i)];
      record.tagIndex = messages[i];
      record.typeIndex = tag.type;
      table.SetRowName(static_cast<long>(i), wide(tag.name).c_str());
    }
  }

  const MessageSet& set_;
  const DictionaryLayout& layout_;
  StdDictionaryInfo& dictionary_;
  struct Value {
    std::string text;
    std::int32_t facetKind;
    std::int32_t valueSet;  // an enumeration's, -1 none
  };
  std::vector<Value> values_;  // by value row
  std::vector<SMD_VALUE_SET_DEFINITION> valueSets_;
};

}  // namespace

std::unique_ptr<StdDictionaryInfo> compileMessageSet(const MessageSet& set, const std::string& sourceName) {
  ModelChecker(set, sourceName).check();
  const DictionaryLayout layout(set);
  auto dictionary = std::make_unique<StdDictionaryInfo>(kDescriptorTables);
  TableWriter(set, layout, *dictionary).write(sourceName);
  return dictionary;
}

std::vector<unsigned char> compileMessageSetToExtract(const MessageSet& set, const std::string& sourceName) {
  return compileMessageSet(set, sourceName)->ToQLBuffer();
}

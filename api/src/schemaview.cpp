#include "schemaview.h"

#include "dictrecords.h"
#include "largestack.h"
#include "messageset.h"
#include "messagetree.h"
#include "stddictionaryinfo.h"
#include "typeddatawriter.h"
#include "valuepattern.h"
#include "xmlproperties.h"
#include "zelwstring.h"

#include <algorithm>
#include <unordered_set>

namespace wfxml::detail {
namespace {

// The parts of a list's pattern that stand apart by blanks outside any
// group, class, count or escape, one for each item; none where there is one
// part, an alternative ('|') at the top, or a part Xerces-C cannot read.
std::vector<std::shared_ptr<const ValuePattern>> patternPerItem(const std::string& expression) {
  std::vector<std::string> parts(1);
  int depth = 0;  // inside (), [] or {}
  for (std::size_t i = 0; i < expression.size(); ++i) {
    const char c = expression[i];
    if (c == '\\' && i + 1 < expression.size()) {
      parts.back() += expression.substr(i++, 2);
      continue;
    }
    if (c == '(' || c == '[' || c == '{') ++depth;
    if ((c == ')' || c == ']' || c == '}') && depth > 0) --depth;
    if (depth == 0 && c == '|') return {};
    if (depth == 0 && c == ' ') {
      if (!parts.back().empty()) parts.emplace_back();
      continue;
    }
    parts.back() += c;
  }
  if (parts.back().empty()) parts.pop_back();
  std::vector<std::shared_ptr<const ValuePattern>> patterns;
  if (parts.size() < 2) return patterns;
  for (const std::string& part : parts) {
    std::shared_ptr<const ValuePattern> pattern = ValuePattern::compile(part);
    if (!pattern) return {};
    patterns.push_back(std::move(pattern));
  }
  return patterns;
}

// The part every item of a list matches where its pattern is that part
// repeated after blanks ("\d{3}( \d{3})*", "(\d{3} )+\d{3}"); null otherwise,
// or where the part has an alternative ('|') at its top.
std::shared_ptr<const ValuePattern> patternOfEveryItem(const std::string& expression) {
  if (expression.size() < 6 || expression.size() % 2 != 0) return nullptr;
  const std::size_t length = (expression.size() - 4) / 2;
  const std::string first = expression.substr(0, length);
  const std::string last = expression.substr(expression.size() - length);
  std::string part;
  for (const char* repeat : {"*", "+"}) {
    if (expression == first + "( " + first + ")" + repeat) part = first;
    if (expression == "(" + last + " )" + repeat + last) part = last;
  }
  int depth = 0;  // inside (), [] or {}
  for (std::size_t i = 0; i < part.size(); ++i) {
    const char c = part[i];
    if (c == '\\') ++i;
    else if (c == '(' || c == '[' || c == '{') ++depth;
    else if ((c == ')' || c == ']' || c == '}') && depth > 0) --depth;
    else if (depth == 0 && c == '|') return nullptr;
  }
  return part.empty() ? nullptr : ValuePattern::compile(part);
}

constexpr std::string_view kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";
constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

std::string utf8(const char16_t* text) { return text ? ZelWstring(text).toUtf8() : std::string(); }

WildcardProcessing processingOf(std::int32_t openContentKind) {
  switch (openContentKind) {
    case DictCodes::eContentOpenLax: return WildcardProcessing::Lax;
    case DictCodes::eContentOpenSkip: return WildcardProcessing::Skip;
    default: return WildcardProcessing::Strict;
  }
}

constexpr char16_t kAttributeWildcard[] = u"Attribute Wildcard";
constexpr char16_t kAttributeWildcardNamespaces[] = u"Attribute Wildcard Namespaces";
constexpr char16_t kElementWildcardNamespaces[] = u"Element Wildcard Namespaces";

// "##any"; "##other" and the namespace it excludes; or the namespaces
// admitted, "##local" for none.
AttributeWildcard attributeWildcardOf(std::int64_t code, const std::string& namespaces) {
  AttributeWildcard wildcard;
  wildcard.processing = code == 2 ? WildcardProcessing::Skip : code == 1 ? WildcardProcessing::Lax
                                                                          : WildcardProcessing::Strict;
  wildcard.constraint = AttributeWildcard::Namespaces::List;
  std::size_t at = 0;
  while (at < namespaces.size()) {
    const std::size_t end = std::min(namespaces.find(' ', at), namespaces.size());
    const std::string token = namespaces.substr(at, end - at);
    at = end + 1;
    if (token == "##any") wildcard.constraint = AttributeWildcard::Namespaces::Any;
    else if (token == "##other") wildcard.constraint = AttributeWildcard::Namespaces::Not;
    else if (!token.empty()) wildcard.namespaces.push_back(token == "##local" ? std::string() : token);
  }
  if (wildcard.constraint == AttributeWildcard::Namespaces::Not && wildcard.namespaces.empty())
    wildcard.namespaces.emplace_back();
  return wildcard;
}

// Reads the tables into the view's types and elements.
class SchemaReader {
public:
  explicit SchemaReader(const StdDictionaryInfo& dictionary)
      : dictionary_(dictionary),
        tagNames_(dictionary, StdDictionaryInfo::eTagTable, kXmlName),
        memberNames_(dictionary, StdDictionaryInfo::eStructTable, kXmlName),
        memberRenders_(dictionary, StdDictionaryInfo::eStructTable, kRender),
        tagRenders_(dictionary, StdDictionaryInfo::eTagTable, kRender),
        attributeWildcards_(dictionary, StdDictionaryInfo::eTypeTable, kAttributeWildcard),
        attributeWildcardNamespaces_(dictionary, StdDictionaryInfo::eTypeTable, kAttributeWildcardNamespaces),
        elementWildcardNamespaces_(dictionary, StdDictionaryInfo::eTypeTable, kElementWildcardNamespaces) {}

  // A value row's text (a default or fixed value); none for -1.
  std::optional<std::string> valueText(long row) const {
    if (row < 0 || row >= dictionary_.getValueDefs().GetRowCount()) return std::nullopt;
    return utf8(dictionary_.getValueText(row));
  }

  std::vector<SchemaElement> readElements() const {
    const auto& tags = dictionary_.getTagCache();
    std::vector<SchemaElement> elements(tags.size());
    for (std::size_t row = 0; row < tags.size(); ++row) {
      const prf_SMD_TAG_DEFINITION& tag = tags[row];
      const long r = static_cast<long>(row);
      SchemaElement& element = elements[row];
      element.name = tagNames_.text(r);  // local elements have none: they are found through their types only
      element.namespaceUri = namespaceUriOf(dictionary_, tag.namespaceIndex);
      element.tagRow = r;
      element.tagId = tag.tagId;
      element.typeRow = tag.typeIndex;
      element.nillable = tag.nillable;
      element.isAttribute = tag.declaredAsAttribute || tagRenders_.integer(r, 0) == kRenderAttribute;
      element.kind = kindOf(r, tag.typeIndex);
      const long headId = dictionary_.getTagDefs().GetBuffer()[r].substitutionGroupTagId;
      element.headRow = headId >= 0 ? dictionary_.getTagDefIndex(headId) : -1;
      element.valueConstraint = valueText(tag.valueIndex);
      if (element.valueConstraint && dictionary_.getValueDefs()[tag.valueIndex]->facetKind == DictCodes::eFacetFixed)
        element.fixedValue = element.valueConstraint;
    }
    const StdDictMessageDefs& messages = dictionary_.getMessageDefs();
    for (long row = 0; row < messages.GetRowCount(); ++row) {
      const long tagRow = messages.GetBuffer()[row].tagIndex;
      if (tagRow >= 0 && static_cast<std::size_t>(tagRow) < elements.size()) elements[tagRow].isMessage = true;
    }
    return elements;
  }

  // The texts of a value set's rows of one facet kind.
  std::vector<std::string> valuesOf(long valueSet, std::int32_t facetKind) const {
    if (!dictionary_.getValueSetDefs().containsRow(valueSet)) return {};
    const SMD_VALUE_SET_DEFINITION& set = *dictionary_.getValueSetDefs()[valueSet];
    std::vector<std::string> values;
    for (long row = set.firstValueIndex; row < long{set.firstValueIndex} + set.valueCount; ++row)
      if (dictionary_.getValueDefs().containsRow(row) && dictionary_.getValueDefs()[row]->facetKind == facetKind)
        values.push_back(utf8(dictionary_.getValueText(row)));
    return values;
  }

  std::vector<SchemaType> readTypes() const {
    const auto& cache = dictionary_.getTypeCache();
    std::vector<SchemaType> types(cache.size());
    const std::vector<bool> groups = namelessGroups();
    for (std::size_t row = 0; row < cache.size(); ++row) {
      const prf_SMD_TYPE_DEFINITION& def = cache[row];
      SchemaType& type = types[row];
      type.name = utf8(dictionary_.getTypeName(static_cast<long>(row)));
      type.namespaceUri = namespaceUriOf(dictionary_, def.namespaceIndex);
      type.logicalType = def.logicalType > 0 ? static_cast<ELogicalType>(def.logicalType) : eLogicalString;
      type.builtin = def.builtin;
      type.isComplex = def.typeKind == DictCodes::eTypeKindComplex;
      type.isUnion = def.typeKind == DictCodes::eTypeKindUnion || (def.flags & prf_SMD_TYPE_DEFINITION::eUnion);
      type.isQualifiedName = (def.flags & prf_SMD_TYPE_DEFINITION::eQualifiedName) != 0;
      type.isMixed = def.contentKind == DictCodes::eContentMixed || def.contentKind == DictCodes::eContentMixedOrdered;
      type.hasSimpleContent = type.isComplex && def.contentKind == DictCodes::eContentSimple;
      type.baseType = def.baseTypeIndex;
      type.listItemType = type.isComplex ? simpleContentListItemType(def) : listItemTypeOf(static_cast<long>(row));
      type.isList = type.listItemType >= 0;
      type.isIntegerFamily = type.logicalType == eLogicalDecimal && isXsdIntegerType(def.builtin);
      type.whiteSpace = DictCodes::valueWhiteSpace(type.logicalType, def.whiteSpace);
      const long valueSet = dictionary_.getTypeDefs()[static_cast<long>(row)]->valueSetIndex;
      type.enumeration = valuesOf(valueSet, DictCodes::eFacetEnumeration);
      for (const std::string& expression : valuesOf(valueSet, DictCodes::eFacetPattern)) {
        type.pattern = ValuePattern::compile(expression);
        if (!type.isList) continue;
        type.itemPatterns = patternPerItem(expression);
        type.everyItemPattern = patternOfEveryItem(expression);
      }
      if (type.isUnion) addUnionMembers(unionOf(static_cast<long>(row)), type.unionMembers);
      // A nameless group is flattened into its holders, never read alone:
      // flattening each of groups nested n deep would cost n cubed.
      if (type.isComplex && !groups[row]) {
        Walk walk;
        addMembers(static_cast<long>(row), 1, 1, -1, walk, type);
        readAttributeWildcard(static_cast<long>(row), walk.openGroup, def, type);
      }
      for (std::size_t i = 0; i < type.members.size(); ++i) {
        SchemaMember& member = type.members[i];
        type.byRow.emplace(member.memberRow, i);
        member.firstOfName = i;
        member.repeats = member.mayRepeat();
        for (std::size_t j = 0; j < i; ++j) {
          SchemaMember& other = type.members[j];
          if (other.key != member.key || other.isAttribute != member.isAttribute) continue;
          if (other.namespaceUri != member.namespaceUri) {
            other.sharesKeyAcrossNamespaces = member.sharesKeyAcrossNamespaces = true;
            continue;
          }
          if (member.firstOfName == i) member.firstOfName = other.firstOfName;
          if (member.mayStandWith(other)) member.repeats = true;
        }
        SchemaMember& first = type.members[member.firstOfName];
        first.repeats = first.repeats || member.repeats;
        first.lastOfName = i;
        member.lastOfName = i;
      }
      // Every member of a key shares the first's verdict.
      for (std::size_t i = 0; i < type.members.size(); ++i) {
        SchemaMember& member = type.members[i];
        member.repeats = type.members[member.firstOfName].repeats;
        member.lastOfName = type.members[member.firstOfName].lastOfName;
        member.turnStart = i;
        if (member.isAttribute || member.group < 0) continue;
        for (std::size_t j = 0; j < i; ++j) {
          if (!type.members[j].isAttribute && type.members[j].group == member.group) {
            member.turnStart = j;
            break;
          }
        }
      }
      addNameBounds(type);
      addChoiceSlots(type);
    }
    return types;
  }

private:
  static bool inChoiceMadeOnce(const SchemaMember& member) {
    return std::any_of(member.branches.begin(), member.branches.end(),
                       [](const SchemaMember::Branch& branch) { return branch.exclusive; });
  }

  static void addNameBounds(SchemaType& type) {
    type.mostOfName.assign(type.members.size(), kUnboundedOccurs);
    for (std::size_t i = 0; i < type.members.size(); ++i) {
      const SchemaMember& head = type.members[i];
      if (head.firstOfName != i) continue;
      if (head.lastOfName == i && inChoiceMadeOnce(head)) type.branchMembers.push_back(i);
      SchemaType::NameBounds bounds;
      bounds.first = i;
      long most = 0;
      for (std::size_t j = i; j <= head.lastOfName; ++j) {
        const SchemaMember& member = type.members[j];
        if (member.firstOfName != i) continue;
        if (member.branches.empty()) bounds.least += member.minOccurs;
        bounds.inChoice = bounds.inChoice || (member.minOccurs > 0 && inChoiceMadeOnce(member));
        if (most != kUnboundedOccurs)
          most = member.maxOccurs == kUnboundedOccurs ? kUnboundedOccurs : most + member.maxOccurs;
      }
      type.mostOfName[i] = most;
      if (bounds.least > 0 || bounds.inChoice) type.requiredNames.push_back(bounds);
    }
  }

  static void addChoiceSlots(SchemaType& type) {
    for (std::size_t i = 0; i < type.members.size(); ++i) {
      const SchemaMember& member = type.members[i];
      for (std::size_t k = 0; k < member.branches.size(); ++k) {
        SchemaType::Choice& choice = type.choices[member.branches[k].choice];
        choice.slots.push_back({i, k});
        choice.namesOwn = choice.namesOwn && member.firstOfName == i && member.lastOfName == i;
      }
    }
    // Inner choices have the higher ids: theirs are known first.
    for (std::size_t c = type.choices.size(); c-- > 0;) {
      SchemaType::Choice& choice = type.choices[c];
      choice.needsContent = !choice.optionalGroup && choice.least > 0 && !choice.branches.empty();
      for (std::size_t b = 0; choice.needsContent && b < choice.branches.size(); ++b)
        choice.needsContent = branchNeedsContent(type, static_cast<int>(c), choice.branches[b]);
      // An element a wildcard admits may stand for a branch the tables do not show.
      choice.needsContent = choice.needsContent && !type.hasWildcard;
      if (!choice.slots.empty() && (choice.needsContent || (choice.most != 1 && !choice.optionalGroup)))
        type.countedChoices.push_back(c);
    }
    std::reverse(type.countedChoices.begin(), type.countedChoices.end());
  }

  // Whether the branch cannot be empty: a member directly in it is
  // required, or a choice directly in it needs content.
  static bool branchNeedsContent(const SchemaType& type, int choice, int branch) {
    for (const SchemaType::Choice::Slot& slot : type.choices[choice].slots) {
      const std::vector<SchemaMember::Branch>& branches = type.members[slot.member].branches;
      const SchemaMember::Branch& marker = branches[slot.marker];
      if (marker.branch == branch && marker.least > 0 && slot.marker + 1 == branches.size()) return true;
    }
    for (std::size_t inner = choice + 1; inner < type.choices.size(); ++inner) {
      const SchemaType::Choice& nested = type.choices[inner];
      if (nested.needsContent && !nested.around.empty() && nested.around.back().choice == choice &&
          nested.around.back().branch == branch)
        return true;
    }
    return false;
  }

  bool validType(long row) const {
    return row >= 0 && static_cast<std::size_t>(row) < dictionary_.getTypeCache().size();
  }

  // The tree element kind the parser gives an element of this tag and type.
  unsigned short kindOf(long tagRow, long typeRow) const {
    const auto& tags = dictionary_.getTagCache();
    if (tagRow < 0 || static_cast<std::size_t>(tagRow) >= tags.size()) return eKindField;
    const long tagClass = tags[tagRow].tagClass;
    if (tagClass == eTagClassMessage) return eKindMessage;
    if (validType(typeRow) && dictionary_.getTypeCache()[typeRow].typeKind == DictCodes::eTypeKindList)
      return eKindList;
    return tagClass == eTagClassStructure ? eKindStructure : eKindField;
  }

  // A type without an attribute wildcard of its own takes that of an open
  // group it holds (a message-set source's open types admit any attribute).
  // Dictionaries from before attribute wildcards were recorded admit any
  // attribute where content is open or a wildcard skips attributes.
  void readAttributeWildcard(long row, long openGroup, const prf_SMD_TYPE_DEFINITION& def, SchemaType& type) const {
    constexpr std::int64_t kNotRecorded = -2;
    std::int64_t code = attributeWildcards_.integer(row, kNotRecorded);
    if (code == -1 && openGroup >= 0 && attributeWildcards_.integer(openGroup, -1) >= 0) {
      row = openGroup;
      code = attributeWildcards_.integer(row, -1);
    }
    if (code >= 0) {
      type.attributeWildcard = attributeWildcardOf(code, attributeWildcardNamespaces_.text(row));
    } else if (code == kNotRecorded && (type.hasWildcard || def.skipsUndeclaredAttributes)) {
      type.attributeWildcard.emplace();
      type.attributeWildcard->processing =
          def.skipsUndeclaredAttributes ? WildcardProcessing::Skip : type.wildcardProcessing;
    }
  }

  // A type restricted from a list keeps its base's items. The walk is
  // bounded: dictionaries from files may loop.
  long listItemTypeOf(long row) const {
    const auto& cache = dictionary_.getTypeCache();
    for (std::size_t steps = 0; validType(row) && steps < cache.size(); ++steps) {
      if (cache[row].typeKind == DictCodes::eTypeKindComplex) return -1;
      if (cache[row].listItemTypeIndex >= 0) return cache[row].listItemTypeIndex;
      row = cache[row].baseTypeIndex;
    }
    return -1;
  }

  // The item type of a complex type whose simple content is a list, as the
  // parser finds it: the type's own or its direct base's (a type extending
  // such a complex type in turn is no list to the parser); -1 for others.
  long simpleContentListItemType(const prf_SMD_TYPE_DEFINITION& def) const {
    if (!(def.flags & prf_SMD_TYPE_DEFINITION::eList)) return -1;
    if (def.listItemTypeIndex >= 0) return def.listItemTypeIndex;
    return validType(def.baseTypeIndex) ? dictionary_.getTypeCache()[def.baseTypeIndex].listItemTypeIndex : -1;
  }

  // The union whose members a union type's values are tried against: its
  // own, or a restricted base union's.
  long unionOf(long row) const {
    const auto& cache = dictionary_.getTypeCache();
    const long base = cache[row].baseTypeIndex;
    const bool restricts = cache[row].baseTypeId > 0 && validType(base) && cache[base].typeKind == DictCodes::eTypeKindUnion;
    return restricts ? base : row;
  }

  // The member types of a union, nested unions flattened in place, each type
  // once: a later repeat of a member type takes no text the first did not.
  // Each union is entered once, so a dictionary from a file that loops ends,
  // and unions nested thousands deep cost their depth, not a stack frame each.
  void addUnionMembers(long row, std::vector<SchemaType::UnionMember>& members) const {
    const auto& types = dictionary_.getTypeCache();
    const auto& rows = dictionary_.getMemberCache();
    std::vector<bool> seen(types.size(), false);
    struct Level {
      long member;
      long end;
    };
    std::vector<Level> open;
    const auto enter = [&](long unionRow) {
      if (!validType(unionRow) || seen[static_cast<std::size_t>(unionRow)]) return;
      seen[static_cast<std::size_t>(unionRow)] = true;
      const long first = types[unionRow].firstMemberIndex;
      if (first >= 0) open.push_back({first, first + rowCount(unionRow)});
    };
    enter(row);
    while (!open.empty()) {
      if (open.back().member >= open.back().end) {
        open.pop_back();
        continue;
      }
      const long m = open.back().member++;
      const long memberType = rows[m].typeIndex;
      if (rows[m].elementId != 0 || !validType(memberType)) continue;
      const prf_SMD_TYPE_DEFINITION& def = types[memberType];
      if (def.typeKind == DictCodes::eTypeKindUnion) {
        enter(memberType);
        continue;
      }
      if ((def.typeKind != DictCodes::eTypeKindList && def.logicalType <= 0) || seen[static_cast<std::size_t>(memberType)])
        continue;
      seen[static_cast<std::size_t>(memberType)] = true;
      SchemaType::UnionMember member;
      member.isList = def.typeKind == DictCodes::eTypeKindList;
      member.logicalType = def.logicalType > 0 ? static_cast<ELogicalType>(def.logicalType) : eLogicalString;
      member.builtin = def.builtin;
      if (member.logicalType == eLogicalString)
        member.enumeration = valuesOf(dictionary_.getTypeDefs()[memberType]->valueSetIndex, DictCodes::eFacetEnumeration);
      member.whiteSpace = DictCodes::valueWhiteSpace(member.logicalType, def.whiteSpace);
      member.isQualifiedName = (def.flags & prf_SMD_TYPE_DEFINITION::eQualifiedName) != 0;
      if (member.isList) member.listItemType = listItemTypeOf(memberType);
      member.typeRow = memberType;
      members.push_back(member);
    }
  }

  // The anonymous types that members take as nameless groups; no element
  // has one as its type.
  std::vector<bool> namelessGroups() const {
    const auto& cache = dictionary_.getTypeCache();
    const auto& members = dictionary_.getMemberCache();
    const SMD_STRUCTURE_ELEMENT_DEFINITION* records = dictionary_.getStructDefs().GetBuffer();
    std::vector<bool> groups(cache.size(), false);
    for (std::size_t row = 0; row < members.size(); ++row) {
      const prf_SMD_TYPEMEMBER_DEFINITION& member = members[row];
      const long memberType = member.memberTypeIndex >= 0 ? member.memberTypeIndex : records[row].typeIndex;
      if (member.elementIndex < 0 && member.memberKind == DictCodes::eClassStructure && validType(memberType) &&
          utf8(dictionary_.getTypeName(memberType)).empty())
        groups[static_cast<std::size_t>(memberType)] = true;
    }
    return groups;
  }

  // Where the flattening of one type is.
  struct Walk {
    int groupIds = 0;
    int choiceIds = 0;
    std::vector<long> groups;  // the groups being expanded, so that a group that contains itself ends
    std::vector<SchemaMember::Branch> branches;  // the choices around the current member
    long openGroup = -1;  // a nameless group of open content, -1 none
  };

  // The members of typeRow, nameless groups flattened into their holder with
  // their occurrences multiplied in.
  void addMembers(long typeRow, long groupMin, long groupMax, int group, Walk& walk, SchemaType& type) const {
    if (!validType(typeRow)) return;
    const long first = dictionary_.getTypeCache()[typeRow].firstMemberIndex;
    addSpan(typeRow, first, first + rowCount(typeRow), groupMin, groupMax, group, walk, type, 0);
  }

  // The member rows of a type (its table lists an extended base's first).
  long rowCount(long typeRow) const {
    const auto& members = dictionary_.getMemberCache();
    const long first = dictionary_.getTypeCache()[typeRow].firstMemberIndex;
    long end = first;
    while (end >= 0 && static_cast<std::size_t>(end) < members.size() && members[end].containingTypeIndex == typeRow)
      ++end;
    return first < 0 ? 0 : end - first;
  }

  // The complex type an extension's first member rows come from; -1 none.
  long extendedBase(long typeRow) const {
    const auto& cache = dictionary_.getTypeCache();
    const long base = cache[typeRow].baseTypeIndex;
    const bool extends = cache[typeRow].derivationMethod == DictCodes::eDerivationExtension && validType(base) &&
                         base != typeRow && cache[base].typeKind == DictCodes::eTypeKindComplex;
    return extends ? base : -1;
  }

  // The rows [begin, end) arranged as structure arranges its members: an
  // extension's inherited rows as its base arranges them (a base's choice
  // stays a choice), then its own.
  void addSpan(long structure, long begin, long end, long groupMin, long groupMax, int group, Walk& walk,
               SchemaType& type, std::size_t depth) const {
    const auto& cache = dictionary_.getTypeCache();
    const std::int32_t contentKind = cache[structure].contentKind;
    if (DictCodes::isOpenContent(contentKind)) {
      // The namespaces its elements may have; any where none are recorded.
      const std::string namespaces = elementWildcardNamespaces_.text(structure);
      type.elementWildcards.push_back(namespaces.empty() ? AttributeWildcard() : attributeWildcardOf(0, namespaces));
      if (!type.hasWildcard) type.wildcardPosition = type.members.size();
      if (walk.openGroup < 0 && !walk.groups.empty()) walk.openGroup = structure;
      type.hasWildcard = true;
      type.wildcardProcessing = std::max(type.wildcardProcessing, processingOf(contentKind));
    }
    // Bounded: derivations read from a file may loop.
    const long base = depth < cache.size() ? extendedBase(structure) : -1;
    if (base >= 0) {
      const long inherited = std::min(end - begin, rowCount(base));
      addSpan(base, begin, begin + inherited, groupMin, groupMax, group, walk, type, depth + 1);
      begin += inherited;
    }
    // Each member of a choice is a branch of its own; the type's attributes,
    // listed beside its content, are none.
    const bool choice = contentKind == DictCodes::eContentChoice;
    const int choiceId = choice ? openChoice(groupMin, groupMax, false, walk, type) : -1;
    // Mixed content in any order may come from a choice, whose branches the
    // tables do not keep: none of its members counts as required.
    const bool mixed = contentKind == DictCodes::eContentMixed;
    const long memberMin = mixed ? 0 : groupMin;
    const std::vector<SchemaMember::Branch> outer = scaleBranches(walk, mixed ? 0 : 1, 1);
    for (long row = begin; row < end; ++row) {
      const bool branch = choice && memberRenders_.integer(row, 0) != kRenderAttribute;
      if (branch) {
        walk.branches.push_back({choiceId, static_cast<int>(row - begin), groupMax == 1});
        type.choices[choiceId].branches.push_back(walk.branches.back().branch);
      }
      addMember(row, memberMin, groupMax, group, walk, type);
      if (branch) walk.branches.pop_back();
    }
    walk.branches = outer;
  }

  // A new choice of the type (or optional group), held by the choices the
  // walk is in; least relative to them.
  static int openChoice(long least, long most, bool optionalGroup, Walk& walk, SchemaType& type) {
    const int id = walk.choiceIds++;
    type.choices.resize(id + 1);
    SchemaType::Choice& choice = type.choices[id];
    choice.around = walk.branches;
    choice.least = least;
    choice.most = most;
    choice.optionalGroup = optionalGroup;
    return id;
  }

  // The occurrences of what follows in each open branch, times those of a
  // member or group; returns the branches as they were.
  static std::vector<SchemaMember::Branch> scaleBranches(Walk& walk, long least, long most) {
    std::vector<SchemaMember::Branch> before = walk.branches;
    for (SchemaMember::Branch& branch : walk.branches) {
      branch.least *= least;
      branch.most = times(branch.most, most);
    }
    return before;
  }

  void addMember(long row, long groupMin, long groupMax, int group, Walk& walk, SchemaType& type) const {
    const auto& members = dictionary_.getMemberCache();
    const SMD_STRUCTURE_ELEMENT_DEFINITION* records = dictionary_.getStructDefs().GetBuffer();
    const prf_SMD_TYPEMEMBER_DEFINITION& member = members[row];
    const long ownMin = std::max(0L, member.minOccurs);
    const long maxOccurs = times(records[row].maxOccurs, groupMax);
    const long minOccurs = ownMin * groupMin;
    const long memberType = member.memberTypeIndex >= 0 ? member.memberTypeIndex : records[row].typeIndex;
    if (member.elementIndex < 0) {
      // Nameless: a group whose members count as the type's own, or a text
      // run (mixed content, union member types).
      const bool isGroup = member.memberKind == DictCodes::eClassStructure && validType(memberType);
      if (!isGroup || std::find(walk.groups.begin(), walk.groups.end(), memberType) != walk.groups.end()) return;
      walk.groups.push_back(memberType);
      const bool repeats = records[row].maxOccurs == kUnboundedOccurs || records[row].maxOccurs > 1;
      std::vector<SchemaMember::Branch> outer = scaleBranches(walk, ownMin, records[row].maxOccurs);
      // An optional group given once at most is given whole or not at all:
      // what it requires is required once one of its members is given.
      const bool optional = ownMin == 0 && groupMin > 0 && maxOccurs == 1;
      if (optional) {
        const int id = openChoice(0, 1, true, walk, type);
        type.choices[id].branches.push_back(0);
        walk.branches.push_back({id, 0, true});
      }
      addMembers(memberType, optional ? 1 : minOccurs, maxOccurs, repeats ? walk.groupIds++ : group, walk, type);
      walk.branches = std::move(outer);
      walk.groups.pop_back();
      return;
    }
    SchemaMember out;
    out.memberRow = row;
    out.memberId = member.memberId;
    out.tagRow = member.elementIndex;
    const auto& tags = dictionary_.getTagCache();
    if (static_cast<std::size_t>(out.tagRow) < tags.size()) {
      const prf_SMD_TAG_DEFINITION& tag = tags[out.tagRow];
      out.tagId = tag.tagId;
      out.namespaceUri = namespaceUriOf(dictionary_, tag.namespaceIndex);
      out.nillable = tag.nillable;
    }
    out.name = memberNames_.text(row);
    if (out.name.empty()) out.name = utf8(dictionary_.getMemberName(row));
    if (out.name.empty()) out.name = tagNames_.text(out.tagRow);
    const std::int64_t render = memberRenders_.integer(row, 0);
    out.isAttribute = render == kRenderAttribute;
    // Members of one XML name told apart by an ID attribute keep their own
    // names as keys, so that each finds its way back.
    const bool chosenById = render == kRenderElementWithId || render == kRenderElementWithIdAndValue;
    out.key = chosenById ? utf8(dictionary_.getMemberName(row)) : out.name;
    if (out.key.empty()) out.key = out.name;
    if (out.isAttribute) out.attributeKey = typedkeys::kAttributeMarker + out.key;
    out.typeRow = memberType;
    out.minOccurs = minOccurs;
    out.maxOccurs = out.isAttribute ? 1 : maxOccurs;
    out.kind = kindOf(out.tagRow, memberType);
    // The parse asks the member's value first, then its element's.
    if (!out.isAttribute) {
      out.valueConstraint = valueText(member.valueIndex);
      if (!out.valueConstraint && static_cast<std::size_t>(out.tagRow) < tags.size())
        out.valueConstraint = valueText(tags[out.tagRow].valueIndex);
    }
    out.group = group;
    out.branches = walk.branches;
    for (SchemaMember::Branch& branch : out.branches) {
      branch.least *= ownMin;
      branch.most = out.isAttribute ? branch.most : times(branch.most, records[row].maxOccurs);
    }
    type.members.push_back(std::move(out));
  }

  static long times(long occurs, long groupOccurs) {
    if (occurs == kUnboundedOccurs || groupOccurs == kUnboundedOccurs) return kUnboundedOccurs;
    return std::max(0L, occurs) * groupOccurs;
  }

  const StdDictionaryInfo& dictionary_;
  XmlProperty tagNames_;
  XmlProperty memberNames_;
  XmlProperty memberRenders_;
  XmlProperty tagRenders_;
  XmlProperty attributeWildcards_;
  XmlProperty attributeWildcardNamespaces_;
  XmlProperty elementWildcardNamespaces_;
};

}  // namespace

bool AttributeWildcard::admits(std::string_view namespaceUri) const {
  switch (constraint) {
    case Namespaces::Any: return true;
    case Namespaces::Not: return !namespaceUri.empty() && namespaceUri != namespaces.front();
    case Namespaces::List: return std::find(namespaces.begin(), namespaces.end(), namespaceUri) != namespaces.end();
  }
  return false;
}

bool SchemaType::admitsElement(std::string_view namespaceUri) const {
  return std::any_of(elementWildcards.begin(), elementWildcards.end(),
                     [&](const AttributeWildcard& wildcard) { return wildcard.admits(namespaceUri); });
}

const SchemaMember* SchemaType::memberAt(long memberRow) const {
  const auto found = byRow.find(memberRow);
  return found == byRow.end() ? nullptr : &members[found->second];
}

const SchemaMember* SchemaType::findMember(std::string_view name, std::string_view namespaceUri, bool attribute,
                                           bool byKey, NamespaceMatch namespaceMatch) const {
  const SchemaMember* match = nullptr;
  int matches = 0;
  for (const SchemaMember& member : members) {
    if (member.isAttribute != attribute || (byKey ? member.key : member.name) != name) continue;
    if (!namespaceUri.empty() || namespaceMatch == NamespaceMatch::exact) {
      if (member.namespaceUri == namespaceUri) return &member;
      continue;
    }
    // A type may list one member twice (a repeated group); that is one name.
    if (!match || match->namespaceUri != member.namespaceUri) ++matches;
    if (!match) match = &member;
  }
  return matches == 1 ? match : nullptr;
}

SchemaView::SchemaView(const StdDictionaryInfo& dictionary) {
  const SchemaReader reader(dictionary);
  types_ = reader.readTypes();
  elements_ = reader.readElements();
  spellsValues_ = std::any_of(elements_.begin(), elements_.end(), [](const SchemaElement& e) { return e.fixedValue.has_value(); }) ||
                  std::any_of(types_.begin(), types_.end(), [](const SchemaType& t) { return !t.enumeration.empty() || t.pattern; });
  hasQualifiedNames_ = std::any_of(types_.begin(), types_.end(), [](const SchemaType& t) { return t.takesQualifiedNames(); });
  spellings_.preserveUtcFormat =
      XmlProperty(dictionary, StdDictionaryInfo::eMsgSetTable, kPreserveUtcFormat).integer(0, 0) != 0;
  spellings_.trueText = XmlProperty(dictionary, StdDictionaryInfo::eMsgSetTable, kBooleanTrueValue).text(0);
  spellings_.falseText = XmlProperty(dictionary, StdDictionaryInfo::eMsgSetTable, kBooleanFalseValue).text(0);
  writesXml11_ = XmlProperty(dictionary, StdDictionaryInfo::eMsgSetTable, kXmlVersion).text(0) == "1.1";
  const XmlProperty prefixes(dictionary, StdDictionaryInfo::eNamespaceTable, kPreferredPrefix);
  const auto& namespaces = dictionary.getNamespaceCache();
  for (std::size_t row = 0; row < namespaces.size(); ++row) {
    const std::string uri = namespaceUriOf(dictionary, static_cast<long>(row));
    const std::string prefix = prefixes.text(static_cast<long>(row));
    if (!uri.empty() && !prefix.empty()) prefixes_.emplace(uri, prefix);
  }
  for (std::size_t row = 0; row < types_.size(); ++row) {
    const SchemaType& type = types_[row];
    if (type.name.empty()) continue;
    const auto [slot, added] = typesByLocalName_.emplace(type.name, static_cast<long>(row));
    // -2 marks a name already shared by types of different namespaces.
    if (!added && slot->second >= 0 && types_[slot->second].namespaceUri != type.namespaceUri) slot->second = -2;
  }
  // Names that global elements (and among them messages) of several namespaces share.
  const auto sharedNames = [this](bool messagesOnly) {
    std::unordered_map<std::string_view, std::string_view> namespaceOfName;
    std::unordered_set<std::string_view> shared;
    for (const SchemaElement& element : elements_) {
      if (element.name.empty() || element.isAttribute || (messagesOnly && !element.isMessage)) continue;
      const auto [slot, added] = namespaceOfName.emplace(element.name, element.namespaceUri);
      if (!added && slot->second != element.namespaceUri) shared.insert(element.name);
    }
    return shared;
  };
  const std::unordered_set<std::string_view> sharedByMessages = sharedNames(true);
  const std::unordered_set<std::string_view> sharedByElements = sharedNames(false);
  for (SchemaElement& element : elements_)
    element.rootNameShared = (element.isMessage ? sharedByMessages : sharedByElements).count(element.name) > 0;
  for (const SchemaType& type : types_) {
    for (const SchemaMember& member : type.members) {
      membersByRow_.emplace(member.memberRow, &member);
      membersById_.emplace(member.memberId, &member);
    }
  }
}

const SchemaMember* SchemaView::memberOf(const TreeElement& element) const {
  return memberOf(element.getMemberId(), element.getMemberIndex());
}

const SchemaMember* SchemaView::memberOf(long memberId, long memberIndex) const {
  if (memberId < 1) return nullptr;
  const auto byRow = membersByRow_.find(memberIndex);
  if (byRow != membersByRow_.end()) return byRow->second;
  const auto byId = membersById_.find(memberId);
  return byId == membersById_.end() ? nullptr : byId->second;
}

const SchemaType* SchemaView::typeOf(const TreeElement& element) const {
  if (const SchemaMember* member = memberOf(element)) return typeOf(member->typeRow, element.getTypeIndex());
  if (element.getTagId() < 0) return type(element.getTypeIndex());
  const SchemaElement* global = this->element(element.getTagIndex());
  return typeOf(global ? global->typeRow : -1, element.getTypeIndex());
}

const SchemaType* SchemaView::type(long typeRow) const {
  return typeRow >= 0 && static_cast<std::size_t>(typeRow) < types_.size() ? &types_[typeRow] : nullptr;
}

const SchemaElement* SchemaView::element(long tagRow) const {
  return tagRow >= 0 && static_cast<std::size_t>(tagRow) < elements_.size() ? &elements_[tagRow] : nullptr;
}

namespace {
const SchemaElement* findGlobal(const std::vector<SchemaElement>& elements, std::string_view name,
                                std::string_view namespaceUri, bool messagesOnly, NamespaceMatch namespaceMatch) {
  const SchemaElement* match = nullptr;
  for (const SchemaElement& element : elements) {
    if (element.name != name || element.isAttribute || (messagesOnly && !element.isMessage)) continue;
    if ((!namespaceUri.empty() || namespaceMatch == NamespaceMatch::exact) && element.namespaceUri != namespaceUri)
      continue;
    if (match && match->namespaceUri != element.namespaceUri) return nullptr;  // ambiguous
    if (!match || (element.isMessage && !match->isMessage)) match = &element;
  }
  return match;
}
}  // namespace

std::string SchemaView::messageNames(std::string_view namespaced) const {
  std::string names;
  int listed = 0;
  for (const SchemaElement& e : elements_) {
    if (!e.isMessage) continue;
    if (++listed > 10) return names + ", ...";
    const bool withNamespace = !namespaced.empty() && e.name == namespaced && !e.namespaceUri.empty();
    names += (names.empty() ? "" : ", ") + (withNamespace ? "{" + e.namespaceUri + "}" : std::string()) + e.name;
  }
  return names.empty() ? "none" : names;
}

const SchemaElement* SchemaView::findMessage(std::string_view name, std::string_view namespaceUri) const {
  return findGlobal(elements_, name, namespaceUri, /*messagesOnly=*/true, NamespaceMatch::anyWhenEmpty);
}

const SchemaElement* SchemaView::findElement(std::string_view name, std::string_view namespaceUri,
                                             NamespaceMatch match) const {
  return findGlobal(elements_, name, namespaceUri, /*messagesOnly=*/false, match);
}

const SchemaElement* SchemaView::findAttribute(std::string_view name, std::string_view namespaceUri) const {
  for (const SchemaElement& element : elements_) {
    if (element.isAttribute && element.name == name && element.namespaceUri == namespaceUri) return &element;
  }
  return nullptr;
}

std::string SchemaView::prefixOf(std::string_view namespaceUri) const {
  const auto found = prefixes_.find(std::string(namespaceUri));
  if (found != prefixes_.end()) return found->second;
  if (namespaceUri == kXmlNamespace) return "xml";
  if (namespaceUri == kSchemaInstanceNamespace) return "xsi";
  return {};
}

std::string SchemaView::namespaceOfPrefix(std::string_view prefix) const {
  if (prefix == "xml") return std::string(kXmlNamespace);
  if (prefix == "xsi") return std::string(kSchemaInstanceNamespace);
  for (const auto& [uri, own] : prefixes_)
    if (own == prefix) return uri;
  return {};
}

std::string SchemaView::typeReference(long typeRow) const {
  const SchemaType* t = type(typeRow);
  if (!t) return {};
  const auto unique = typesByLocalName_.find(t->name);
  if (unique != typesByLocalName_.end() && unique->second >= 0) return t->name;
  const std::string prefix = prefixOf(t->namespaceUri);
  return prefix.empty() ? t->name : prefix + ":" + t->name;
}

long SchemaView::findTypeReference(std::string_view reference) const {
  const auto byLocal = typesByLocalName_.find(std::string(reference));
  if (byLocal != typesByLocalName_.end() && byLocal->second >= 0) return byLocal->second;
  // "prefix:name" or the tree's "uri:name": the namespace is what comes
  // before the last colon.
  const std::size_t colon = reference.rfind(':');
  if (colon == std::string_view::npos) return -1;
  const std::string_view qualifier = reference.substr(0, colon);
  const std::string_view local = reference.substr(colon + 1);
  for (std::size_t row = 0; row < types_.size(); ++row) {
    const SchemaType& t = types_[row];
    if (t.name != local) continue;
    if (t.namespaceUri == qualifier || (!t.namespaceUri.empty() && prefixOf(t.namespaceUri) == qualifier))
      return static_cast<long>(row);
  }
  return -1;
}

const SchemaMember* SchemaView::substitutedMember(const SchemaType& type, long tagRow) const {
  const SchemaElement* e = element(tagRow);
  // Bounded: heads read from a file may loop.
  for (std::size_t steps = 0; e && e->headRow >= 0 && steps < elements_.size(); ++steps) {
    for (const SchemaMember& member : type.members) {
      if (member.tagRow == e->headRow) return &member;
    }
    e = element(e->headRow);
  }
  return nullptr;
}

const SchemaView* SchemaViewCache::get(const StdDictionaryInfo* dictionary) const {
  if (!dictionary) return nullptr;
  // Nameless groups are flattened within each other on the stack, as deep
  // as a schema's groups nest through their references.
  std::call_once(once_, [&] { runWithLargeStack([&] { view_ = std::make_unique<const SchemaView>(*dictionary); }); });
  return view_.get();
}

std::string SchemaView::treeTypeText(long typeRow) const {
  const SchemaType* t = type(typeRow);
  if (!t) return {};
  return t->namespaceUri.empty() ? t->name : t->namespaceUri + ":" + t->name;
}

}  // namespace wfxml::detail

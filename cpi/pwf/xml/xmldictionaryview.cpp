#include "xmldictionaryview.h"

#include <algorithm>
#include <string_view>
#include <utility>

long XMLDictionaryView::firstMember(long typeIndex) const {
  if (typeIndex < 0) return -1;
  const prf_SMD_TYPE_DEFINITION& definition = type(typeIndex);
  if (definition.flags & prf_SMD_TYPE_DEFINITION::eNoMembers) return -1;
  const long first = definition.firstMemberIndex;
  return member(first).containingTypeId == definition.typeId ? first : -1;
}

long XMLDictionaryView::memberEnd(long typeIndex) const {
  if (typeIndex < 0) return -1;
  if (iMemberEnds.at(static_cast<std::size_t>(typeIndex)) == kNotKnown) learnMembers(typeIndex);
  return iMemberEnds[static_cast<std::size_t>(typeIndex)];
}

void XMLDictionaryView::learnMembers(long typeIndex) const {
  const long first = firstMember(typeIndex);
  long& end = iMemberEnds.at(static_cast<std::size_t>(typeIndex));
  end = first;
  if (first < 0) return;
  const CheckedVector<prf_SMD_TYPEMEMBER_DEFINITION>& table = iDictionary.getMemberCache();
  const long typeId = type(typeIndex).typeId;
  bool hasGroups = false;
  std::vector<std::pair<std::u16string_view, long>> elementNames;
  for (; end < static_cast<long>(table.size()) && table[end].containingTypeId == typeId; ++end) {
    iUniqueElementNames[static_cast<std::size_t>(end)] = 0;
    if (table[end].elementId == 0) {
      hasGroups = hasGroups || table[end].memberKind == DictCodes::eClassStructure;
      continue;
    }
    const prf_XML_TYPEMEMBER_DEFINITION& xml = iDictionary.getXMLTypeMemberDefinition(end);
    if (xml.render != erAttribute && xml.render != erUndefined) elementNames.emplace_back(xml.xmlName.view(), end);
  }
  // Members of nested groups interleave in table order: no name is unique then.
  iNestedGroups[static_cast<std::size_t>(typeIndex)] = hasGroups;
  if (hasGroups) return;
  std::sort(elementNames.begin(), elementNames.end());
  for (std::size_t i = 0; i < elementNames.size(); ++i) {
    const bool sameAsPrevious = i > 0 && elementNames[i - 1].first == elementNames[i].first;
    const bool sameAsNext = i + 1 < elementNames.size() && elementNames[i + 1].first == elementNames[i].first;
    if (!sameAsPrevious && !sameAsNext) iUniqueElementNames[static_cast<std::size_t>(elementNames[i].second)] = 1;
  }
}

long XMLDictionaryView::nextMember(long memberIndex) const {
  const CheckedVector<prf_SMD_TYPEMEMBER_DEFINITION>& members = iDictionary.getMemberCache();
  const long next = memberIndex + 1;
  if (memberIndex < 0 || next >= static_cast<long>(members.size())) return -1;
  return members[next].containingTypeId == members.get(memberIndex).containingTypeId ? next : -1;
}

long listItemTypeOf(const XMLDictionaryInfo& dictionary, long typeIndex) {
  if (typeIndex < 0) return -1;
  const CheckedVector<prf_SMD_TYPE_DEFINITION>& types = dictionary.getTypeCache();
  const prf_SMD_TYPE_DEFINITION& definition = types.get(typeIndex);
  if (!(definition.flags & prf_SMD_TYPE_DEFINITION::eList)) return -1;
  if (definition.listItemTypeIndex >= 0) return definition.listItemTypeIndex;
  if (definition.baseTypeId > 0 && definition.baseTypeIndex >= 0) {
    const long baseItemType = types.get(definition.baseTypeIndex).listItemTypeIndex;
    if (baseItemType >= 0) return baseItemType;
  }
  return -1;
}

bool XMLDictionaryView::isUnion(long typeIndex) const {
  return typeIndex >= 0 && (type(typeIndex).flags & prf_SMD_TYPE_DEFINITION::eUnion);
}

ELogicalType XMLDictionaryView::logicalType(long typeIndex) const {
  return typeIndex < 0 ? eLogicalNone : static_cast<ELogicalType>(type(typeIndex).logicalType);
}

const char16_t* XMLDictionaryView::typeName(long typeIndex) const {
  const char16_t* name = iDictionary.getTypeName(typeIndex);
  return name ? name : u"";
}

bool XMLDictionaryView::namespaceMatches(long namespaceIndex, const ZelWstring& uri) const {
  if (namespaceIndex < 0) return uri.empty();
  return iDictionary.getNamespaceCache().get(namespaceIndex).getURI() == uri;
}

bool XMLDictionaryView::elementNamespaceMatches(long tagIndex, const ZelWstring& uri) const {
  if (tagIndex < 0) return uri.empty();
  return namespaceMatches(tag(tagIndex).namespaceIndex, uri);
}

bool XMLDictionaryView::isNillable(long tagIndex) const { return tagIndex >= 0 && tag(tagIndex).nillable; }

bool XMLDictionaryView::hasPattern(long typeIndex) const {
  constexpr int kMostDerivationSteps = 64;  // a bound on a cycle of bases a corrupt dictionary might hold
  const StdDictValueSetDefs& sets = iDictionary.getValueSetDefs();
  const StdDictValueDefs& values = iDictionary.getValueDefs();
  for (int steps = 0; typeIndex >= 0 && steps < kMostDerivationSteps;
       ++steps, typeIndex = type(typeIndex).baseTypeIndex) {
    const long valueSet = iDictionary.getTypeDefs()[typeIndex]->valueSetIndex;
    if (!sets.containsRow(valueSet)) continue;
    const SMD_VALUE_SET_DEFINITION& set = *sets[valueSet];
    for (long row = set.firstValueIndex; row < long{set.firstValueIndex} + set.valueCount; ++row)
      if (values.containsRow(row) && values[row]->facetKind == DictCodes::eFacetPattern) return true;
  }
  return false;
}

bool XMLDictionaryView::enumerationLists(long typeIndex, std::u16string_view text) const {
  const StdDictValueSetDefs& sets = iDictionary.getValueSetDefs();
  const long valueSet = typeIndex >= 0 ? iDictionary.getTypeDefs()[typeIndex]->valueSetIndex : -1;
  if (!sets.containsRow(valueSet)) return true;
  const SMD_VALUE_SET_DEFINITION& set = *sets[valueSet];
  const StdDictValueDefs& values = iDictionary.getValueDefs();
  bool enumerated = false;
  for (long row = set.firstValueIndex; row < long{set.firstValueIndex} + set.valueCount; ++row) {
    if (!values.containsRow(row) || values[row]->facetKind != DictCodes::eFacetEnumeration) continue;
    enumerated = true;
    const char16_t* value = iDictionary.getValueText(row);
    if (value && text == value) return true;
  }
  return !enumerated;
}

#include "dictlayout.h"

#include "dictionaryinfo.h"
#include "dictrecords.h"

namespace {
#define WF_FIELD(record, field, kind) \
  DictFieldInfo { #field, offsetof(record, field), DictFieldKind::kind }

const DictFieldInfo kIdentification[] = {
    WF_FIELD(DICTIONARY_IDENTIFICATION, messageSetName, InlineText),
    WF_FIELD(DICTIONARY_IDENTIFICATION, versionMajor, Int32),
    WF_FIELD(DICTIONARY_IDENTIFICATION, versionMinor, Int32),
    WF_FIELD(DICTIONARY_IDENTIFICATION, versionPatch, Int32),
    WF_FIELD(DICTIONARY_IDENTIFICATION, sourceName, InlineText),
    WF_FIELD(DICTIONARY_IDENTIFICATION, buildKind, Int32),
    WF_FIELD(DICTIONARY_IDENTIFICATION, formatVersion, Int32),
    WF_FIELD(DICTIONARY_IDENTIFICATION, revision, Int32),
    WF_FIELD(DICTIONARY_IDENTIFICATION, buildTime, InlineText),
};
const DictFieldInfo kMsgSet[] = {
    WF_FIELD(MSGSET_DEFINITION, inlineName, InlineText),
    WF_FIELD(MSGSET_DEFINITION, namespacesEnabled, Int32),
};
const DictFieldInfo kWireFormat[] = {
    WF_FIELD(WIREFORMAT_DEFINITION, inlineName, InlineText),
};
const DictFieldInfo kTag[] = {
    WF_FIELD(SMD_TAG_DEFINITION, tagId, Int32),
    WF_FIELD(SMD_TAG_DEFINITION, tagClass, Char),
    WF_FIELD(SMD_TAG_DEFINITION, typeId, Int32),
    WF_FIELD(SMD_TAG_DEFINITION, substitutionGroupTagId, Int32),
    WF_FIELD(SMD_TAG_DEFINITION, valueSetIndex, Int32),
    WF_FIELD(SMD_TAG_DEFINITION, nillable, Byte),
    WF_FIELD(SMD_TAG_DEFINITION, defaultValueIndex, Int32),
    WF_FIELD(SMD_TAG_DEFINITION, fixedValueIndex, Int32),
    WF_FIELD(SMD_TAG_DEFINITION, messageIndex, Int32),
    WF_FIELD(SMD_TAG_DEFINITION, typeIndex, Int32),
    WF_FIELD(SMD_TAG_DEFINITION, namespaceIndex, Int32),
    WF_FIELD(SMD_TAG_DEFINITION, isAbstract, Int32),
    WF_FIELD(SMD_TAG_DEFINITION, declaredAsAttribute, Byte),
    WF_FIELD(SMD_TAG_DEFINITION, blockFlags, Int32),
};
const DictFieldInfo kMember[] = {
    WF_FIELD(SMD_STRUCTURE_ELEMENT_DEFINITION, memberId, Int32),
    WF_FIELD(SMD_STRUCTURE_ELEMENT_DEFINITION, containingTypeId, Int32),
    WF_FIELD(SMD_STRUCTURE_ELEMENT_DEFINITION, elementId, Int32),
    WF_FIELD(SMD_STRUCTURE_ELEMENT_DEFINITION, memberTypeId, Int32),
    WF_FIELD(SMD_STRUCTURE_ELEMENT_DEFINITION, memberKind, Char),
    WF_FIELD(SMD_STRUCTURE_ELEMENT_DEFINITION, minOccurs, Int32),
    WF_FIELD(SMD_STRUCTURE_ELEMENT_DEFINITION, maxOccurs, Int32),
    WF_FIELD(SMD_STRUCTURE_ELEMENT_DEFINITION, defaultValueIndex, Int32),
    WF_FIELD(SMD_STRUCTURE_ELEMENT_DEFINITION, isFixed, Int32),
    WF_FIELD(SMD_STRUCTURE_ELEMENT_DEFINITION, elementIndex, Int32),
    WF_FIELD(SMD_STRUCTURE_ELEMENT_DEFINITION, typeIndex, Int32),
};
const DictFieldInfo kType[] = {
    WF_FIELD(SMD_TYPE_DEFINITION, typeId, Int32),
    WF_FIELD(SMD_TYPE_DEFINITION, derivationMethod, Int32),
    WF_FIELD(SMD_TYPE_DEFINITION, contentKind, Int32),
    WF_FIELD(SMD_TYPE_DEFINITION, baseTypeId, Int32),
    WF_FIELD(SMD_TYPE_DEFINITION, logicalType, Int32),
    WF_FIELD(SMD_TYPE_DEFINITION, firstMemberIndex, Int32),
    WF_FIELD(SMD_TYPE_DEFINITION, valueSetIndex, Int32),
    WF_FIELD(SMD_TYPE_DEFINITION, minLength, Int32),
    WF_FIELD(SMD_TYPE_DEFINITION, isAbstract, Int32),
    WF_FIELD(SMD_TYPE_DEFINITION, isAnonymous, Byte),
    WF_FIELD(SMD_TYPE_DEFINITION, whiteSpace, Byte),
    WF_FIELD(SMD_TYPE_DEFINITION, skipsUndeclaredAttributes, Byte),
    WF_FIELD(SMD_TYPE_DEFINITION, typeKind, Int32),
    WF_FIELD(SMD_TYPE_DEFINITION, maxLength, Int32),
    WF_FIELD(SMD_TYPE_DEFINITION, listItemTypeIndex, Int32),
    WF_FIELD(SMD_TYPE_DEFINITION, namespaceIndex, Int32),
};
const DictFieldInfo kPathBased[] = {
    WF_FIELD(SMD_PATH_BASED_DEFINITION, definitionId, Int32),
    WF_FIELD(SMD_PATH_BASED_DEFINITION, tagIndex, Int32),
    WF_FIELD(SMD_PATH_BASED_DEFINITION, memberIndex, Int32),
    WF_FIELD(SMD_PATH_BASED_DEFINITION, pathStart, Int32),
    WF_FIELD(SMD_PATH_BASED_DEFINITION, pathLength, Int32),
    WF_FIELD(SMD_PATH_BASED_DEFINITION, typeIndex, Int32),
    WF_FIELD(SMD_PATH_BASED_DEFINITION, valueSetIndex, Int32),
    WF_FIELD(SMD_PATH_BASED_DEFINITION, minOccurs, Int32),
    WF_FIELD(SMD_PATH_BASED_DEFINITION, maxOccurs, Int32),
    WF_FIELD(SMD_PATH_BASED_DEFINITION, flags, Int32),
};
const DictFieldInfo kInt32[] = {
    WF_FIELD(PWFInt32, value, Int32),
};
const DictFieldInfo kValueSet[] = {
    WF_FIELD(SMD_VALUE_SET_DEFINITION, firstValueIndex, Int32),
    WF_FIELD(SMD_VALUE_SET_DEFINITION, valueCount, Int32),
};
const DictFieldInfo kValue[] = {
    WF_FIELD(SMD_VALUE_DEFINITION, valueSetIndex, Int32),
    WF_FIELD(SMD_VALUE_DEFINITION, logicalType, Int32),
    WF_FIELD(SMD_VALUE_DEFINITION, facetKind, Int32),
    WF_FIELD(SMD_VALUE_DEFINITION, flags, Int32),
    WF_FIELD(SMD_VALUE_DEFINITION, integerValue, Int64),
    WF_FIELD(SMD_VALUE_DEFINITION, floatValue, Double),
};
const DictFieldInfo kMbrIdToStruct[] = {
    WF_FIELD(SMD_MBRID_TO_STRUCT_DEF, memberId, Int32),
    WF_FIELD(SMD_MBRID_TO_STRUCT_DEF, structIndex, Int32),
};
const DictFieldInfo kMessage[] = {
    WF_FIELD(SMD_MESSAGE_DEFINITION, tagIndex, Int32),
    WF_FIELD(SMD_MESSAGE_DEFINITION, typeIndex, Int32),
};
#undef WF_FIELD

template <class Record, std::size_t N>
constexpr DictRecordLayout layout(const char* name, std::size_t nameOffset, const DictFieldInfo (&fields)[N]) {
  return {name, static_cast<std::uint32_t>(sizeof(Record)), nameOffset, fields, N};
}
template <class Record>
constexpr DictRecordLayout layoutWithoutFields(const char* name, std::size_t nameOffset) {
  return {name, static_cast<std::uint32_t>(sizeof(Record)), nameOffset, nullptr, 0};
}

const DictRecordLayout kLayouts[] = {
    layout<DICTIONARY_IDENTIFICATION>("DICTIONARY_IDENTIFICATION", offsetof(DICTIONARY_IDENTIFICATION, name),
                                      kIdentification),
    layout<MSGSET_DEFINITION>("MSGSET_DEFINITION", offsetof(MSGSET_DEFINITION, name), kMsgSet),
    layoutWithoutFields<STRING_TABLE_ENTRY>("STRING_TABLE_ENTRY", offsetof(STRING_TABLE_ENTRY, name)),
    layout<WIREFORMAT_DEFINITION>("WIREFORMAT_DEFINITION", offsetof(WIREFORMAT_DEFINITION, name), kWireFormat),
    layout<SMD_TAG_DEFINITION>("SMD_TAG_DEFINITION", offsetof(SMD_TAG_DEFINITION, name), kTag),
    layout<SMD_STRUCTURE_ELEMENT_DEFINITION>("SMD_STRUCTURE_ELEMENT_DEFINITION",
                                             offsetof(SMD_STRUCTURE_ELEMENT_DEFINITION, name), kMember),
    layout<SMD_TYPE_DEFINITION>("SMD_TYPE_DEFINITION", offsetof(SMD_TYPE_DEFINITION, name), kType),
    layout<SMD_PATH_BASED_DEFINITION>("SMD_PATH_BASED_DEFINITION", DICT_NO_NAME_FIELD, kPathBased),
    layout<PWFInt32>("PWFInt32", DICT_NO_NAME_FIELD, kInt32),
    layout<SMD_VALUE_SET_DEFINITION>("SMD_VALUE_SET_DEFINITION", DICT_NO_NAME_FIELD, kValueSet),
    layout<SMD_VALUE_DEFINITION>("SMD_VALUE_DEFINITION", DICT_NO_NAME_FIELD, kValue),
    layout<SMD_MBRID_TO_STRUCT_DEF>("SMD_MBRID_TO_STRUCT_DEF", DICT_NO_NAME_FIELD, kMbrIdToStruct),
    layoutWithoutFields<SMD_NAMESPACE_DEFINITION>("SMD_NAMESPACE_DEFINITION", offsetof(SMD_NAMESPACE_DEFINITION, name)),
    layout<SMD_MESSAGE_DEFINITION>("SMD_MESSAGE_DEFINITION", DICT_NO_NAME_FIELD, kMessage),
};
}  // namespace

const DictRecordLayout* dictStandardLayout(int standardIndex) {
  constexpr int count = static_cast<int>(sizeof kLayouts / sizeof kLayouts[0]);
  return standardIndex >= 0 && standardIndex < count ? &kLayouts[standardIndex] : nullptr;
}

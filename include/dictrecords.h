#ifndef DICTRECORDS_H
#define DICTRECORDS_H

// The fourteen standard dictionary records, in the order of their tables, and
// the codes stored in their fields. Each record is a plain struct in the
// machine's natural layout; the default member values are the default record
// that a freshly created row receives. A name field (`const char16_t* name`)
// is never stored: it is refreshed from the table's row-name property when a
// row is read through its DictTableWVLSRef, and is null otherwise.
//
// Indexes stored in records (type index, namespace index, element index ...)
// are row numbers of the tables named; any negative value means "none". They
// come from the dictionary file, so a reader must range-check them before use
// (the caches of StdDictionaryInfo are CheckedVectors for that reason).

#include "pwfdata.h"
#include "xsdlexical.h"
#include "zelapi.h"
#include "zelwstring.h"

#include <cstddef>
#include <cstdint>

// Number of UTF-16 units of an inline name (the last one is kept for the
// terminator by every writer; readers never scan past the array).
constexpr std::size_t DICT_INLINE_NAME_UNITS = 256;

// Codes stored in record fields. Only the values named here have a meaning;
// other values are carried through unchanged.
namespace DictCodes {
// SMD_TAG_DEFINITION::tagClass and SMD_STRUCTURE_ELEMENT_DEFINITION::memberKind.
constexpr std::int32_t eClassMessage = 'M';    // a message (tag) / a member that refers to a message
constexpr std::int32_t eClassStructure = 'S';  // a structure element / a nameless member: a nested group
constexpr std::int32_t eClassField = 'F';      // a simple field

// SMD_TYPE_DEFINITION::derivationMethod: how a type is derived from its base.
constexpr std::int32_t eDerivationNone = -1;
constexpr std::int32_t eDerivationRestriction = 1;
constexpr std::int32_t eDerivationExtension = 2;
constexpr std::int32_t eDerivationListOrUnion = 4;  // base = list item type or first member type

// SMD_TYPE_DEFINITION::contentKind: what an instance of the type may contain.
constexpr std::int32_t eContentEmpty = 0;
constexpr std::int32_t eContentSequence = 1;      // child elements in order
constexpr std::int32_t eContentChoice = 2;        // one of the child elements
constexpr std::int32_t eContentSimple = 3;        // a value only (attributes allowed)
constexpr std::int32_t eContentAll = 4;           // child elements in any order
constexpr std::int32_t eContentMixedOrdered = 5;  // text runs fill the nameless simple members in order
constexpr std::int32_t eContentMixed = 6;         // as 5, members in any order
constexpr std::int32_t eContentOpen = 7;          // anything, including embedded messages
// Open content whose elements are typed where a declaration matches, and
// whose values stay text when they do not convert (lax), or never typed (skip).
constexpr std::int32_t eContentOpenLax = 8;
constexpr std::int32_t eContentOpenSkip = 9;
constexpr bool isOpenContent(std::int32_t contentKind) {
  return contentKind >= eContentOpen && contentKind <= eContentOpenSkip;
}

// SMD_TYPE_DEFINITION::typeKind.
constexpr std::int32_t eTypeKindUnspecified = -1;
constexpr std::int32_t eTypeKindAtomic = 1;   // a simple type with a single value
constexpr std::int32_t eTypeKindComplex = 2;  // a type with members or attributes
constexpr std::int32_t eTypeKindList = 5;     // whitespace-separated items of listItemTypeIndex
constexpr std::int32_t eTypeKindUnion = 6;    // the types of its nameless members, tried in order

// SMD_TYPE_DEFINITION::whiteSpace: what a value of the type does with
// whitespace before it is converted. A dictionary that names none leaves
// strings as read and collapses every other value.
constexpr std::uint8_t eWhiteSpaceByLogicalType = 0;
constexpr std::uint8_t eWhiteSpacePreserve = 1;
constexpr std::uint8_t eWhiteSpaceReplace = 2;   // tab, line feed and carriage return become blanks
constexpr std::uint8_t eWhiteSpaceCollapse = 3;  // replaced, runs of blanks made one, none at either end

// The rule a value of a type follows, from the type's logical type and the
// whiteSpace of its record: a String its type's rule (kept as read when the
// dictionary names none); every other value collapsed.
constexpr std::uint8_t stringWhiteSpace(long rule) {
  return rule == eWhiteSpaceByLogicalType ? eWhiteSpacePreserve : static_cast<std::uint8_t>(rule);
}
constexpr std::uint8_t valueWhiteSpace(ELogicalType logicalType, long rule) {
  return logicalType == eLogicalString ? stringWhiteSpace(rule) : eWhiteSpaceCollapse;
}

// SMD_VALUE_DEFINITION::facetKind.
constexpr std::int32_t eFacetEnumeration = 0;
constexpr std::int32_t eFacetDefault = 1;
constexpr std::int32_t eFacetFixed = 2;
constexpr std::int32_t eFacetPattern = 5;

// DICTIONARY_IDENTIFICATION::buildKind.
constexpr std::int32_t eBuildCompiled = 1;  // compiled from a message-set source
constexpr std::int32_t eBuildGeneric = 2;   // derived from another dictionary without wire-format properties

// DICTIONARY_IDENTIFICATION::formatVersion: thresholds the XML side compares with.
constexpr std::int32_t eFormatVersionCurrent = 1000;
}  // namespace DictCodes

// Standard index 0: one row that identifies the dictionary. Row name = the dictionary's name.
struct DICTIONARY_IDENTIFICATION {
  const char16_t* name = nullptr;
  char16_t messageSetName[DICT_INLINE_NAME_UNITS] = {};  // the message set compiled
  std::int32_t versionMajor = -1;                        // the message set's version, -1 unset
  std::int32_t versionMinor = -1;
  std::int32_t versionPatch = -1;
  char16_t sourceName[DICT_INLINE_NAME_UNITS] = {};      // the source the dictionary came from
  std::int32_t buildKind = DictCodes::eBuildCompiled;
  std::int32_t formatVersion = DictCodes::eFormatVersionCurrent;
  std::int32_t revision = -1;                            // the source's revision, -1 unknown
  char16_t buildTime[DICT_INLINE_NAME_UNITS] = {};       // when it was built, as text
};

// Standard index 1: the message set (one row). Row name = the message set's name.
struct MSGSET_DEFINITION {
  char16_t inlineName[DICT_INLINE_NAME_UNITS] = {};
  const char16_t* name = nullptr;
  std::int32_t namespacesEnabled = 0;  // 1: elements and attributes are namespace-qualified
};

// Standard index 2: the dictionary's shared strings; the text is the row name.
struct STRING_TABLE_ENTRY {
  const char16_t* name = nullptr;
};

// Standard index 3: the wire formats described. Row name = the format's name ("XML").
struct WIREFORMAT_DEFINITION {
  char16_t inlineName[DICT_INLINE_NAME_UNITS] = {};
  const char16_t* name = nullptr;
};

// Standard index 4: element definitions (tags). Row name = the element's name.
struct SMD_TAG_DEFINITION {
  std::int32_t tagId = -99;
  const char16_t* name = nullptr;
  std::int32_t tagClass = -99;               // DictCodes::eClass*
  std::int32_t typeId = -99;
  std::int32_t substitutionGroupTagId = -1;  // head of its substitution group, -1 none
  std::int32_t valueSetIndex = -1;           // row of SMD_VALUE_SET_DEFINITION, -1 none
  std::uint8_t nillable = 1;
  std::int32_t defaultValueIndex = -1;       // row of SMD_VALUE_DEFINITION, -1 none
  std::int32_t fixedValueIndex = -1;         // row of SMD_VALUE_DEFINITION, -1 none
  std::int32_t messageIndex = -1;            // row of SMD_MESSAGE_DEFINITION for a message tag
  std::int32_t typeIndex = -99;              // row of SMD_TYPE_DEFINITION
  std::int32_t namespaceIndex = -1;          // row of SMD_NAMESPACE_DEFINITION, -1 no namespace
  std::int32_t isAbstract = 0;
  std::uint8_t declaredAsAttribute = 0;      // a global attribute declaration
  std::int32_t blockFlags = 0;               // substitutions blocked (bit set of derivation methods)
};

// Standard index 5: type members (the members of every type, grouped by
// containing type, in declaration order). Row name = the member's name.
struct SMD_STRUCTURE_ELEMENT_DEFINITION {
  std::int32_t memberId = -99;
  std::int32_t containingTypeId = -99;
  std::int32_t elementId = 0;                      // tag ID of the element, 0: not an element
  std::int32_t memberTypeId = -99;
  std::int32_t memberKind = DictCodes::eClassStructure;  // DictCodes::eClass*
  const char16_t* name = nullptr;
  std::int32_t minOccurs = -99;                    // -99 unspecified
  std::int32_t maxOccurs = -1;                     // -1 unbounded
  std::int32_t defaultValueIndex = -1;             // row of SMD_VALUE_DEFINITION, -1 none
  std::int32_t isFixed = 0;                        // the default value is fixed
  std::int32_t elementIndex = -99;                 // row of SMD_TAG_DEFINITION, negative none
  std::int32_t typeIndex = -99;                    // row of SMD_TYPE_DEFINITION
};

// Standard index 6: types. Row name = the type's name; empty or none for an
// anonymous type.
struct SMD_TYPE_DEFINITION {
  std::int32_t typeId = -99;
  const char16_t* name = nullptr;
  std::int32_t derivationMethod = DictCodes::eDerivationNone;  // DictCodes::eDerivation*
  std::int32_t contentKind = -1;                  // DictCodes::eContent*
  std::int32_t baseTypeId = 0;                    // 0 or less: not derived
  std::int32_t logicalType = -99;                 // ELogicalType number
  std::int32_t firstMemberIndex = -99;            // row of its first member
  std::int32_t valueSetIndex = -1;                // row of SMD_VALUE_SET_DEFINITION, -1 none
  std::int32_t minLength = -1;                    // length facets, -1 none
  std::int32_t isAbstract = 0;
  // 1: an anonymous (local) type that has no global name of its own. The
  // writer's xsi:type policy 1 names only types where this is 0.
  std::uint8_t isAnonymous = 0;
  std::uint8_t whiteSpace = DictCodes::eWhiteSpaceByLogicalType;  // DictCodes::eWhiteSpace*
  // 1: attributes that no member declares are never typed by a global
  // attribute declaration (an attribute wildcard that skips them).
  std::uint8_t skipsUndeclaredAttributes = 0;
  std::int32_t typeKind = DictCodes::eTypeKindUnspecified;  // DictCodes::eTypeKind*
  std::int32_t maxLength = -1;
  std::int32_t listItemTypeIndex = -1;            // row of the list's item type, -1 not a list
  std::int32_t namespaceIndex = -1;               // namespace of the type's name, -1 none
};

// Standard index 7: definitions found by a path of members (no row names).
struct SMD_PATH_BASED_DEFINITION {
  std::int32_t definitionId = 0;
  std::int32_t tagIndex = -1;
  std::int32_t memberIndex = -1;
  std::int32_t pathStart = 0;   // first row of the path in the PWFInt32 table
  std::int32_t pathLength = 0;  // number of member indexes on the path
  std::int32_t typeIndex = -1;
  std::int32_t valueSetIndex = -1;
  std::int32_t minOccurs = 0;
  std::int32_t maxOccurs = 0;
  std::int32_t flags = 0;
};

// Standard index 8: a plain array of 32-bit integers (paths and lists).
struct PWFInt32 {
  std::int32_t value = 0;
};

// Standard index 9: value sets (enumerations): a run of SMD_VALUE_DEFINITION rows.
struct SMD_VALUE_SET_DEFINITION {
  std::int32_t firstValueIndex = 0;
  std::int32_t valueCount = 0;
};

// Standard index 10: values (enumeration members, defaults). Row name = the value's text.
struct SMD_VALUE_DEFINITION {
  std::int32_t valueSetIndex = -1;
  std::int32_t logicalType = 0;
  std::int32_t facetKind = 0;  // 0 enumeration member, 1 default, 2 fixed, 3 minimum, 4 maximum, 5 pattern
  std::int32_t flags = 0;
  std::int64_t integerValue = 0;
  double floatValue = 0;
};

// Standard index 11: member ID to type-member row.
struct SMD_MBRID_TO_STRUCT_DEF {
  std::int32_t memberId = 0;
  std::int32_t structIndex = -1;  // row of SMD_STRUCTURE_ELEMENT_DEFINITION
};

// Standard index 12: namespaces. Row name = the namespace URI.
struct SMD_NAMESPACE_DEFINITION {
  const char16_t* name = nullptr;
};

// Standard index 13: messages. Row name = the message's name.
struct SMD_MESSAGE_DEFINITION {
  std::int32_t tagIndex = -1;   // row of its SMD_TAG_DEFINITION
  std::int32_t typeIndex = -1;  // row of its SMD_TYPE_DEFINITION
};

// ---------------------------------------------------------------------------
// Prefetched records, rebuilt by StdDictionaryInfo::postProcessDictionary from
// the tables above. Names are left empty (read them from the row-name tables).

enum TAG_CLASS : long {
  eTagClassMessage = DictCodes::eClassMessage,
  eTagClassStructure = DictCodes::eClassStructure,
  eTagClassField = DictCodes::eClassField,
};

struct prf_SMD_TAG_DEFINITION {
  long tagId = 0;
  ZelWstring name;
  TAG_CLASS tagClass = eTagClassField;  // any value of the record's class word
  long typeId = 0;
  long typeIdIndex = -1;      // the type row of typeId (prf_getTypeDefIndex), -1 none
  bool nillable = false;
  long typeIndex = -1;        // the record's type index (what XMLItem reads)
  long namespaceIndex = -1;
  long valueIndex = -1;       // its default or fixed value (a value row), -1 none
  bool declaredAsAttribute = false;
};

struct prf_SMD_TYPEMEMBER_DEFINITION {
  long memberId = 0;
  long containingTypeId = 0;
  long containingTypeIndex = -1;
  long elementId = 0;         // 0: not an element
  long memberTypeId = 0;
  long memberTypeIndex = -1;
  long memberKind = 0;        // DictCodes::eClass*
  ZelWstring name;
  long minOccurs = 0;
  long maxOccurs = -1;        // -1 unbounded
  long elementIndex = -1;
  long typeIndex = -1;
  long valueIndex = -1;       // its default or fixed value (a value row), -1 none
  long flags = 0;
};

struct prf_SMD_TYPE_DEFINITION {
  // flags
  static constexpr long eNoMembers = 1;  // first member index outside the member table
  static constexpr long eUnion = 2;      // a union, or derived from one
  static constexpr long eList = 4;       // a list, or derived from one
  static constexpr long eQualifiedName = 8;  // QName or NOTATION, or derived from one: values carry a prefix

  long typeId = 0;
  long index = -1;
  ZelWstring name;
  long derivationMethod = 0;
  long contentKind = 0;
  long baseTypeId = 0;
  long baseTypeIndex = -1;
  long logicalType = 0;
  long firstMemberIndex = -1;
  long typeKind = -1;
  long listItemTypeIndex = -1;
  long namespaceIndex = -1;
  long whiteSpace = DictCodes::eWhiteSpaceByLogicalType;
  bool skipsUndeclaredAttributes = false;
  long flags = 0;
  XsdBuiltin builtin = XsdBuiltin::None;  // whose lexical space its values have
};

// The URI is interned by the dictionary: equal URIs share one string, which
// lives as long as the dictionary.
struct prf_SMD_NAMESPACE_DEFINITION {
  const ZelWstring* uri = nullptr;
  const ZelWstring& getURI() const { return *uri; }
};

struct prf_SMD_MBRID_TO_STRUCT_DEF {
  long memberId = 0;
  long structIndex = -1;
};

#endif

#ifndef XMLDICTIONARYVIEW_H
#define XMLDICTIONARYVIEW_H

// The questions the parser asks about types, members and namespaces of a
// post-processed descriptor, answered from its caches. Negative indexes mean
// "none" and give "none" back; an index beyond a table raises the
// CheckedVector error (ZelParserException CP_INTERNAL_ERROR), as a corrupt
// dictionary should.

#include "xmldictionaryinfo.h"

#include <vector>

// The item type of a list type, or of the base of a type derived from a
// list; -1 when the type is no list (or typeIndex is negative).
long listItemTypeOf(const XMLDictionaryInfo& dictionary, long typeIndex);

class XMLDictionaryView {
public:
  // Borrows the descriptor, which must outlive the view.
  explicit XMLDictionaryView(const XMLDictionaryInfo& dictionary)
      : iDictionary(dictionary),
        iMemberEnds(dictionary.getTypeCache().size(), kNotKnown),
        iNestedGroups(dictionary.getTypeCache().size(), 0),
        iUniqueElementNames(dictionary.getMemberCache().size(), -1) {}

  const prf_SMD_TYPE_DEFINITION& type(long typeIndex) const { return iDictionary.getTypeCache().get(typeIndex); }
  const prf_SMD_TYPEMEMBER_DEFINITION& member(long memberIndex) const {
    return iDictionary.getMemberCache().get(memberIndex);
  }
  const prf_SMD_TAG_DEFINITION& tag(long tagIndex) const { return iDictionary.getTagCache().get(tagIndex); }

  // The members of a type are the consecutive rows of the member table from
  // its first member on that name the type as their container.
  // firstMember: -1 when the type (or typeIndex) has none.
  long firstMember(long typeIndex) const;
  // One past the type's last member (with firstMember an empty range when
  // the type has none).
  long memberEnd(long typeIndex) const;
  // Whether the member stands for an element (element id not 0, render 0,
  // 2, 3 or 4) whose XML name no other such member of its type has, in a
  // type without nested groups (members with element id 0 and kind 'S'):
  // an element of that name can then stand only for this member.
  // memberIndex must lie within the members of typeIndex (the answer for
  // a member of another type is that type's).
  bool hasUniqueElementName(long typeIndex, long memberIndex) const {
    if (memberIndex < 0 || static_cast<std::size_t>(memberIndex) >= iUniqueElementNames.size()) return false;
    if (iUniqueElementNames[static_cast<std::size_t>(memberIndex)] < 0) learnMembers(typeIndex);
    return iUniqueElementNames[static_cast<std::size_t>(memberIndex)] == 1;
  }
  // Whether the type has nested groups (members with element id 0 and kind 'S').
  bool hasNestedGroups(long typeIndex) const {
    if (memberEnd(typeIndex) < 0) return false;
    return iNestedGroups[static_cast<std::size_t>(typeIndex)] != 0;
  }
  // The member after memberIndex when it belongs to the same type, else -1.
  long nextMember(long memberIndex) const;

  long listItemType(long typeIndex) const { return listItemTypeOf(iDictionary, typeIndex); }
  // A union (type kind 6), or derived from one.
  bool isUnion(long typeIndex) const;
  // QName or NOTATION, or derived from one: the value's prefix stands for a
  // namespace the document binds.
  bool isQualifiedName(long typeIndex) const {
    return typeIndex >= 0 && (type(typeIndex).flags & prf_SMD_TYPE_DEFINITION::eQualifiedName);
  }
  // What a String value of the type does with whitespace
  // (DictCodes::eWhiteSpace*): the type's rule, Preserve when it names none
  // or there is no type. Values of other logical types always collapse it.
  std::uint8_t stringWhiteSpace(long typeIndex) const {
    return typeIndex < 0 ? DictCodes::eWhiteSpacePreserve : DictCodes::stringWhiteSpace(type(typeIndex).whiteSpace);
  }
  // Whether the type's enumeration lists the text; true when the type has
  // none.
  bool enumerationLists(long typeIndex, std::u16string_view text) const;
  // Whether the type or one of its bases has a pattern facet.
  bool hasPattern(long typeIndex) const;
  // The logical type of a type; None for a negative index.
  ELogicalType logicalType(long typeIndex) const;
  // The row name of a type for messages; empty when it has none.
  const char16_t* typeName(long typeIndex) const;

  // Whether a namespace URI (empty = no namespace) is the one at
  // namespaceIndex; a negative index stands for no namespace.
  bool namespaceMatches(long namespaceIndex, const ZelWstring& uri) const;
  // The same for the namespace of an element definition (a negative tag
  // index: no element definition, so no namespace).
  bool elementNamespaceMatches(long tagIndex, const ZelWstring& uri) const;
  // The default or fixed value of a member (memberIndex 0 or more), else of
  // an element definition; null when none.
  const char16_t* valueConstraint(long memberIndex, long tagIndex) const {
    const long value = memberIndex >= 0 ? member(memberIndex).valueIndex : tagIndex >= 0 ? tag(tagIndex).valueIndex : -1;
    return value >= 0 ? iDictionary.getValueText(value) : nullptr;
  }
  // Whether the element definition has its nillable flag set (false for a negative index).
  bool isNillable(long tagIndex) const;

private:
  static constexpr long kNotKnown = -2;
  // Finds the end of a type's members and which of them have unique element names.
  void learnMembers(long typeIndex) const;

  const XMLDictionaryInfo& iDictionary;
  // Learnt per type and member on first use.
  mutable std::vector<long> iMemberEnds;                 // by type; kNotKnown until learnt
  mutable std::vector<signed char> iNestedGroups;        // by type, learnt with its member end
  mutable std::vector<signed char> iUniqueElementNames;  // by member: -1 not learnt, 0 no, 1 yes
};

#endif

#ifndef XMLITEM_H
#define XMLITEM_H

// The common base of the parser's and the writer's per-element items: where
// the element is defined in the dictionary, and the tag, type and logical
// type questions answered from the descriptor's caches.
//
// The item borrows its descriptor, which must be post-processed and outlive
// it. Queries with an index outside the descriptor's tables raise the
// CheckedVector error (ZelParserException CP_INTERNAL_ERROR).

#include "elementkinds.h"
#include "xmldictionaryinfo.h"
#include "zellog.h"

#include <cstdint>

class XMLItem : public ZelOwnedLogSource {
public:
  ~XMLItem() override;

  // How the element is written or was read.
  virtual ERender getRender() const = 0;

  // The explicit type index when one was given, else the definition's type
  // index (the tag's or the member's); -1 when there is none.
  long getTypeIndex() const;
  // The logical type of getTypeIndex's type; String when there is none.
  ELogicalType getLogicalType() const;
  // The logical type of the item's value: for a defined element whose type
  // derives from another, the base type's logical type, else getLogicalType.
  // Computed once and cached.
  ELogicalType getValueLogicalType() const {
    return iLogicalType != kNotComputed ? static_cast<ELogicalType>(iLogicalType) : computeValueLogicalType();
  }

  const XMLDictionaryInfo* getDictionary() const { return iDictionary; }
  long getIndex() const { return iIndex; }
  EWhereDefined getWhereDefined() const { return iWhereDefined; }
  std::uint16_t getElementKind() const { return iElementKind; }
  ENullEncoding getNullEncoding() const { return iNullEncoding; }
  // The null-encoding text, null when none. Borrowed from the descriptor.
  const char16_t* getNullEncodingValue() const { return iNullEncodingValue; }

protected:
  static constexpr long kNotComputed = -1;
  ELogicalType computeValueLogicalType() const;

  XMLItem(const ZelNamedLogSource* owner, const XMLDictionaryInfo* dictionary) : ZelOwnedLogSource(owner),
                                                                                 iDictionary(dictionary) {}
  XMLItem(const XMLItem&) = default;
  XMLItem& operator=(const XMLItem&) = default;

  // Sets the null encoding and its text from the message set: the numeric
  // ones for Integer, Float and Decimal values, the others for the rest, none
  // for a value of logical type None. Needs the dictionary.
  void useMessageSetNullEncoding();

  const XMLDictionaryInfo* iDictionary;
  long iIndex = -1;       // tag index (eDefinedAsElement) or member index (eDefinedAsTypeMember)
  long iTypeIndex = -1;   // explicit type index (xsi:type, list item), -1 = the definition's
  EWhereDefined iWhereDefined = eWhereDefinedNotSet;
  mutable long iLogicalType = kNotComputed;  // cache of getValueLogicalType
  std::uint16_t iElementKind = eKindNone;
  ENullEncoding iNullEncoding = eNULLNone;
  const char16_t* iNullEncodingValue = nullptr;
};

#endif

#ifndef STDDICTIONARYINFO_H
#define STDDICTIONARYINFO_H

// The standard dictionary: the fourteen standard tables (records in
// dictrecords.h), their prefetched caches and the lookups by ID and name.
//
// Lifecycle: construct, fill (load through FromQLBuffer / FromExtractFormat,
// or build with the table references' Create and the properties' setters),
// then postProcessDictionary; afterwards the dictionary is read-only and the
// lookups and caches are valid. Loading again is not supported.

#include "dictionaryinfo.h"
#include "dictrecords.h"
#include "zelapi.h"
#include "zelwstring.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// Raises the CheckedVector error: ZelParserException CP_INTERNAL_ERROR with
// the inserts "CPI Internal Error", "CheckedVector::error - vector index out
// of range.", the index and the size.
[[noreturn]] ZEL_API void checkedVectorError(long index, std::size_t size);

// A vector whose get and checkRange reject an index outside 0..size-1.
template <class T>
class CheckedVector : public std::vector<T> {
public:
  T& get(long i) {
    checkRange(i);
    return (*this)[static_cast<std::size_t>(i)];
  }
  const T& get(long i) const {
    checkRange(i);
    return (*this)[static_cast<std::size_t>(i)];
  }
  void checkRange(long i) const {
    if (i < 0 || static_cast<std::size_t>(i) >= this->size()) error(i);
  }
  [[noreturn]] void error(long i) const { checkedVectorError(i, this->size()); }
};

using DictIdentificationDefs = DictTableWVLSRef<DICTIONARY_IDENTIFICATION, offsetof(DICTIONARY_IDENTIFICATION, name)>;
using StdDictMsgSetDefs = DictTableWVLSRef<MSGSET_DEFINITION, offsetof(MSGSET_DEFINITION, name)>;
using StdDictStringTableEntries = DictTableWVLSRef<STRING_TABLE_ENTRY, offsetof(STRING_TABLE_ENTRY, name)>;
using StdDictWireFormatDefs = DictTableWVLSRef<WIREFORMAT_DEFINITION, offsetof(WIREFORMAT_DEFINITION, name)>;
using StdDictTagDefs = DictTableWVLSRef<SMD_TAG_DEFINITION, offsetof(SMD_TAG_DEFINITION, name)>;
using StdDictStructDefs =
    DictTableWVLSRef<SMD_STRUCTURE_ELEMENT_DEFINITION, offsetof(SMD_STRUCTURE_ELEMENT_DEFINITION, name)>;
using StdDictTypeDefs = DictTableWVLSRef<SMD_TYPE_DEFINITION, offsetof(SMD_TYPE_DEFINITION, name)>;
using StdDictPathBasedDefs = DictTableRef<SMD_PATH_BASED_DEFINITION>;
using StdDictInt32s = DictTableRef<PWFInt32>;
using StdDictValueSetDefs = DictTableRef<SMD_VALUE_SET_DEFINITION>;
using StdDictValueDefs = DictTableWVLSRef<SMD_VALUE_DEFINITION, DICT_NO_NAME_FIELD>;
using StdDictMbrIdToStructDefs = DictTableRef<SMD_MBRID_TO_STRUCT_DEF>;
using StdDictNamespaceDefs = DictTableWVLSRef<SMD_NAMESPACE_DEFINITION, offsetof(SMD_NAMESPACE_DEFINITION, name)>;
using StdDictMessageDefs = DictTableWVLSRef<SMD_MESSAGE_DEFINITION, DICT_NO_NAME_FIELD>;

class ZEL_API StdDictionaryInfo : public DictionaryInfo {
public:
  // Standard indexes: table number = getStandardTableBase() + index.
  enum StandardTable {
    eIdentificationTable = 0,
    eMsgSetTable = 1,
    eStringTableEntryTable = 2,
    eWireFormatTable = 3,
    eTagTable = 4,
    eStructTable = 5,
    eTypeTable = 6,
    ePathBasedTable = 7,
    eInt32Table = 8,
    eValueSetTable = 9,
    eValueTable = 10,
    eMbrIdToStructTable = 11,
    eNamespaceTable = 12,
    eMessageTable = 13,
  };
  static constexpr int kStandardTableCount = 14;

  // The record size of a standard table (sizeof its record), 0 for an
  // unknown index; its record-type name ("SMD_TAG_DEFINITION"), or null.
  static std::uint32_t standardEntrySize(int standardIndex);
  static const char* standardRecordName(int standardIndex);

  // derivedTableCount: the tables further-derived classes add; they get
  // numbers 0..derivedTableCount-1, the standard tables follow.
  explicit StdDictionaryInfo(int derivedTableCount);
  ~StdDictionaryInfo() override;

  // Remembers the row-name tables of the standard tables.
  void MapTableProperty(DictTableRefBase table, StringTableRef property) override;
  // Standard tables: the entry size is corrected by VerifyEntrySize first.
  // Tables below the standard base belong to a derived class and are created
  // as given.
  std::uint32_t CreateTable(int tableNumber, std::uint32_t entrySize, std::int32_t count) override;
  // Builds the ID and name maps from the tables.
  void populateMaps() override;
  // Builds the caches and maps (buildStandardCaches).
  void postProcessDictionary() override;
  // The record size of a standard index when entrySize differs (traced
  // "Actual <record> is bigger than that in QL buffer. Will adjust to the
  // actual size."); entrySize when it matches; 0 for an unknown index
  // (traced "Unknown index, ").
  virtual std::uint32_t VerifyEntrySize(int standardIndex, std::uint32_t entrySize);

  // Table references (valid as long as the dictionary). The row names of
  // the referenced tables are mapped once their row-name property exists.
  const DictIdentificationDefs& getIdentificationDefs() const { return identification_; }
  const StdDictMsgSetDefs& getMsgSetDefs() const { return msgSets_; }
  const StdDictStringTableEntries& getStringTableEntries() const { return strings_; }
  const StdDictWireFormatDefs& getWireFormatDefs() const { return wireFormats_; }
  const StdDictTagDefs& getTagDefs() const { return tags_; }
  const StdDictStructDefs& getStructDefs() const { return members_; }
  const StdDictTypeDefs& getTypeDefs() const { return types_; }
  const StdDictPathBasedDefs& getPathBasedDefs() const { return pathBased_; }
  const StdDictInt32s& getInt32s() const { return int32s_; }
  const StdDictValueSetDefs& getValueSetDefs() const { return valueSets_; }
  const StdDictValueDefs& getValueDefs() const { return values_; }
  const StdDictMbrIdToStructDefs& getMbrIdToStructDefs() const { return mbrIdToStruct_; }
  const StdDictNamespaceDefs& getNamespaceDefs() const { return namespaces_; }
  const StdDictMessageDefs& getMessageDefs() const { return messages_; }
  // The table of a standard index (null for an unknown index).
  DictTable* getStandardTable(int standardIndex) const;

  // Prefetched caches, one entry per row (namespaces: at least one), built
  // by postProcessDictionary.
  const CheckedVector<prf_SMD_TAG_DEFINITION>& getTagCache() const { return tagCache_; }
  const CheckedVector<prf_SMD_TYPEMEMBER_DEFINITION>& getMemberCache() const { return memberCache_; }
  const CheckedVector<prf_SMD_TYPE_DEFINITION>& getTypeCache() const { return typeCache_; }
  const CheckedVector<prf_SMD_NAMESPACE_DEFINITION>& getNamespaceCache() const { return namespaceCache_; }
  const std::vector<prf_SMD_MBRID_TO_STRUCT_DEF>& getMbrIdCache() const { return mbrIdCache_; }

  // Lookups by ID (hash maps built by populateMaps; the first row with an ID
  // wins). Each returns the row, -1 when absent.
  long getTagDefIndex(long tagId) const;
  long getTypeDefIndex(long typeId) const;
  long getStructDefIndexFromMbrID(long memberId) const;
  // As getTypeDefIndex, usable while the caches are being built (before populateMaps).
  long prf_getTypeDefIndex(long typeId) const;

  // The type named localName in namespaceURI (the namespace of a type is its
  // namespaceIndex; -1 means no namespace, matched by an empty URI). With
  // ignoreNamespace only the local name counts. Returns 0 and index = the
  // type row or -1 when there is none; returns 1 (index -1) when localName is
  // null, or when ignoring namespaces and types of that name exist in more
  // than one namespace.
  long getTypeIndexForTypeText(const char16_t* localName, const ZelWstring& namespaceURI, long& index,
                               bool ignoreNamespace) const;
  // The name of the nearest named type, starting with the type itself and
  // following base types; null when there is none or typeIndex is out of
  // range. The text lives as long as the dictionary.
  const char16_t* getEventualParentTypeName(long typeIndex) const;
  // A readable text for an ID in traces: the name of the element with that
  // tag ID, else of the type with that type ID, else of the member with that
  // member ID, else the ID in decimal.
  ZelWstring getTraceTextForID(long id) const;
  // Row 0 of the identification table, or null when it has no rows.
  const DICTIONARY_IDENTIFICATION* getDictionaryIdentification() const;
  // The identification's formatVersion (DictCodes::eFormatVersionCurrent
  // when there is no identification row).
  long getFormatVersion() const;
  // Whether the message set has namespaces enabled (false without a message set).
  bool getNamespacesEnabled() const;

  // Row names, null when none or out of range (never throws).
  const char16_t* getTagName(long tagIndex) const { return tags_.GetRowName(tagIndex); }
  const char16_t* getMemberName(long memberIndex) const { return members_.GetRowName(memberIndex); }
  const char16_t* getTypeName(long typeIndex) const { return types_.GetRowName(typeIndex); }
  const char16_t* getNamespaceURI(long namespaceIndex) const { return namespaces_.GetRowName(namespaceIndex); }
  const char16_t* getMessageSetName() const { return msgSets_.GetRowName(0); }
  // The text of a default or fixed value (valueIndex of a prefetched tag or
  // member); null when none.
  const char16_t* getValueText(long valueIndex) const { return values_.GetRowName(valueIndex); }

protected:
  // Rebuilds the caches from the tables and then calls the virtual
  // populateMaps: tag, member, type and namespace caches (namespace URIs
  // interned), the member-ID cache. A derived postProcessDictionary calls
  // this first. Throws ZelFatalException CP_DICTIONARY_FORMAT_ERROR when a
  // standard table's entry size is not its record size.
  void buildStandardCaches();

private:
  void checkEntrySizes() const;
  void buildTypeIdIndex();

  DictIdentificationDefs identification_;
  StdDictMsgSetDefs msgSets_;
  StdDictStringTableEntries strings_;
  StdDictWireFormatDefs wireFormats_;
  StdDictTagDefs tags_;
  StdDictStructDefs members_;
  StdDictTypeDefs types_;
  StdDictPathBasedDefs pathBased_;
  StdDictInt32s int32s_;
  StdDictValueSetDefs valueSets_;
  StdDictValueDefs values_;
  StdDictMbrIdToStructDefs mbrIdToStruct_;
  StdDictNamespaceDefs namespaces_;
  StdDictMessageDefs messages_;

  CheckedVector<prf_SMD_TAG_DEFINITION> tagCache_;
  CheckedVector<prf_SMD_TYPEMEMBER_DEFINITION> memberCache_;
  CheckedVector<prf_SMD_TYPE_DEFINITION> typeCache_;
  CheckedVector<prf_SMD_NAMESPACE_DEFINITION> namespaceCache_;
  std::vector<prf_SMD_MBRID_TO_STRUCT_DEF> mbrIdCache_;

  std::unordered_map<long, long> typeIdIndex_;  // for prf_getTypeDefIndex, built before the caches
  std::unordered_map<long, long> tagIds_;
  std::unordered_map<long, long> typeIds_;
  std::unordered_map<long, long> memberIds_;
  // (namespace URI, local name) -> first type; local name -> first type, or
  // -2 when several namespaces define it.
  std::unordered_map<ZelWstring, long, ZelWstringHash> typesByQName_;
  std::unordered_map<ZelWstring, long, ZelWstringHash> typesByLocalName_;
};

#endif

#include "stddictionaryinfo.h"

#include "dicterrors.h"
#include "dictlayout.h"
#include "zelexception.h"
#include "zellog.h"

#include <string>

namespace {
constexpr const char* kSource = "stddictionaryinfo";

// The key under which a type is found by namespace URI and local name. Row
// names never contain U+0000, so the separator cannot be part of either.
ZelWstring qualifiedKey(std::u16string_view uri, std::u16string_view localName) {
  ZelWstring key(uri);
  key.append(u'\0');
  key.append(localName);
  return key;
}

bool isEmpty(const char16_t* text) { return !text || !*text; }
}  // namespace

void checkedVectorError(long index, std::size_t size) {
  throwDictError<ZelParserException>(kSource, __LINE__, "CheckedVector::error", ZelMessages::CP_INTERNAL_ERROR,
                                     "CPI Internal Error", "CheckedVector::error - vector index out of range.", index,
                                     static_cast<unsigned long>(size));
}

std::uint32_t StdDictionaryInfo::standardEntrySize(int standardIndex) {
  const DictRecordLayout* layout = dictStandardLayout(standardIndex);
  return layout ? layout->size : 0;
}

const char* StdDictionaryInfo::standardRecordName(int standardIndex) {
  const DictRecordLayout* layout = dictStandardLayout(standardIndex);
  return layout ? layout->recordName : nullptr;
}

StdDictionaryInfo::StdDictionaryInfo(int derivedTableCount)
    : DictionaryInfo(derivedTableCount + kStandardTableCount),
      identification_(getTable(derivedTableCount + eIdentificationTable)),
      msgSets_(getTable(derivedTableCount + eMsgSetTable)),
      strings_(getTable(derivedTableCount + eStringTableEntryTable)),
      wireFormats_(getTable(derivedTableCount + eWireFormatTable)),
      tags_(getTable(derivedTableCount + eTagTable)),
      members_(getTable(derivedTableCount + eStructTable)),
      types_(getTable(derivedTableCount + eTypeTable)),
      pathBased_(getTable(derivedTableCount + ePathBasedTable)),
      int32s_(getTable(derivedTableCount + eInt32Table)),
      valueSets_(getTable(derivedTableCount + eValueSetTable)),
      values_(getTable(derivedTableCount + eValueTable)),
      mbrIdToStruct_(getTable(derivedTableCount + eMbrIdToStructTable)),
      namespaces_(getTable(derivedTableCount + eNamespaceTable)),
      messages_(getTable(derivedTableCount + eMessageTable)) {
  setStandardTableBase(derivedTableCount);
  // Empty standard tables already have their record size, so that an empty
  // table is written and read back unchanged.
  for (int index = 0; index < kStandardTableCount; ++index) getStandardTable(index)->Create(standardEntrySize(index), 0);
}

StdDictionaryInfo::~StdDictionaryInfo() = default;

DictTable* StdDictionaryInfo::getStandardTable(int standardIndex) const {
  return standardIndex >= 0 && standardIndex < kStandardTableCount ? getTable(getStandardTableBase() + standardIndex)
                                                                    : nullptr;
}

void StdDictionaryInfo::MapTableProperty(DictTableRefBase table, StringTableRef property) {
  identification_.MapTableProperty(table, property);
  msgSets_.MapTableProperty(table, property);
  strings_.MapTableProperty(table, property);
  wireFormats_.MapTableProperty(table, property);
  tags_.MapTableProperty(table, property);
  members_.MapTableProperty(table, property);
  types_.MapTableProperty(table, property);
  values_.MapTableProperty(table, property);
  namespaces_.MapTableProperty(table, property);
  messages_.MapTableProperty(table, property);
}

std::uint32_t StdDictionaryInfo::VerifyEntrySize(int standardIndex, std::uint32_t entrySize) {
  const char* recordName = standardRecordName(standardIndex);
  if (!recordName) {
    if (ZelLog::traceOn()) ZelLog::trace(nullptr, "StdDictionaryInfo::VerifyEntrySize", {"Unknown index, ", standardIndex});
    return 0;
  }
  const std::uint32_t size = standardEntrySize(standardIndex);
  if (entrySize == size) return entrySize;
  if (ZelLog::traceOn()) {
    ZelLog::trace(nullptr, "StdDictionaryInfo::VerifyEntrySize",
                  {std::string("Actual ") + recordName +
                   " is bigger than that in QL buffer. Will adjust to the actual size."});
  }
  return size;
}

std::uint32_t StdDictionaryInfo::CreateTable(int tableNumber, std::uint32_t entrySize, std::int32_t count) {
  const int standardIndex = tableNumber - getStandardTableBase();
  if (standardIndex >= 0) entrySize = VerifyEntrySize(standardIndex, entrySize);
  DictionaryInfo::CreateTable(tableNumber, entrySize, count);
  return entrySize;
}

void StdDictionaryInfo::checkEntrySizes() const {
  for (int index = 0; index < kStandardTableCount; ++index) {
    const DictTable& table = *getStandardTable(index);
    if (table.getRowCount() > 0 && table.getEntrySize() != standardEntrySize(index)) {
      throwDictFormatError("StdDictionaryInfo::postProcessDictionary",
                           std::string(standardRecordName(index)) + " rows are " +
                               std::to_string(table.getEntrySize()) + " bytes, not " +
                               std::to_string(standardEntrySize(index)),
                           0);
    }
  }
}

void StdDictionaryInfo::buildTypeIdIndex() {
  typeIds_.clear();
  const SMD_TYPE_DEFINITION* types = types_.GetBuffer();
  for (long i = 0; i < types_.GetRowCount(); ++i) typeIds_.emplace(types[i].typeId, i);
}

long StdDictionaryInfo::prf_getTypeDefIndex(long typeId) const { return getTypeDefIndex(typeId); }

void StdDictionaryInfo::postProcessDictionary() { buildStandardCaches(); }

void StdDictionaryInfo::buildStandardCaches() {
  ZelTraceScope scope(nullptr, "StdDictionaryInfo::buildStandardCaches");
  checkEntrySizes();
  buildTypeIdIndex();
  identification_.StoreRowNames();
  msgSets_.StoreRowNames();
  strings_.StoreRowNames();
  wireFormats_.StoreRowNames();
  tags_.StoreRowNames();
  members_.StoreRowNames();
  types_.StoreRowNames();
  namespaces_.StoreRowNames();

  const long tagCount = tags_.GetRowCount();
  const long memberCount = members_.GetRowCount();
  const long typeCount = types_.GetRowCount();
  const long namespaceCount = namespaces_.GetRowCount();
  tagCache_.clear();
  memberCache_.clear();
  typeCache_.clear();
  namespaceCache_.clear();
  mbrIdCache_.clear();
  tagCache_.reserve(static_cast<std::size_t>(tagCount));
  memberCache_.reserve(static_cast<std::size_t>(memberCount));
  typeCache_.reserve(static_cast<std::size_t>(typeCount));
  namespaceCache_.reserve(static_cast<std::size_t>(namespaceCount > 0 ? namespaceCount : 1));

  const SMD_TAG_DEFINITION* tags = tags_.GetBuffer();
  for (long i = 0; i < tagCount; ++i) {
    const SMD_TAG_DEFINITION& tag = tags[i];
    prf_SMD_TAG_DEFINITION entry;
    entry.tagId = tag.tagId;
    entry.tagClass = static_cast<TAG_CLASS>(tag.tagClass);
    entry.typeId = tag.typeId;
    entry.typeIdIndex = prf_getTypeDefIndex(tag.typeId);
    entry.nillable = tag.nillable != 0;
    entry.typeIndex = tag.typeIndex;
    entry.namespaceIndex = tag.namespaceIndex;
    entry.declaredAsAttribute = tag.declaredAsAttribute != 0;
    entry.valueIndex = tag.fixedValueIndex >= 0 ? tag.fixedValueIndex : tag.defaultValueIndex;
    tagCache_.push_back(std::move(entry));
  }

  const SMD_STRUCTURE_ELEMENT_DEFINITION* members = members_.GetBuffer();
  for (long i = 0; i < memberCount; ++i) {
    const SMD_STRUCTURE_ELEMENT_DEFINITION& member = members[i];
    prf_SMD_TYPEMEMBER_DEFINITION entry;
    entry.memberId = member.memberId;
    entry.containingTypeId = member.containingTypeId;
    entry.containingTypeIndex = prf_getTypeDefIndex(member.containingTypeId);
    entry.elementId = member.elementId;
    entry.memberTypeId = member.memberTypeId;
    entry.memberTypeIndex = prf_getTypeDefIndex(member.memberTypeId);
    entry.memberKind = member.memberKind;
    entry.minOccurs = member.minOccurs;
    entry.maxOccurs = member.maxOccurs;
    entry.elementIndex = member.elementIndex;
    entry.typeIndex = member.typeIndex;
    entry.valueIndex = member.defaultValueIndex;
    memberCache_.push_back(std::move(entry));
  }

  const SMD_TYPE_DEFINITION* types = types_.GetBuffer();
  // The built-in type a type derives from: the root of its base chain, named
  // as one in the XML Schema namespace or in none (a chain bounded by the
  // number of types, so that a cycle cannot hang us).
  const auto builtinOf = [&](long index) {
    for (long steps = 0; index >= 0 && steps <= typeCount; ++steps) {
      if (types[index].baseTypeId > 0) {
        index = prf_getTypeDefIndex(types[index].baseTypeId);
        continue;
      }
      const char16_t* name = types_.GetRowName(index);
      const char16_t* uri = namespaces_.GetRowName(types[index].namespaceIndex);
      const std::u16string_view ns = uri ? std::u16string_view(uri) : std::u16string_view();
      if (!name || !(ns.empty() || ns == u"http://www.w3.org/2001/XMLSchema")) return XsdBuiltin::None;
      return xsdBuiltinNamed(name);
    }
    return XsdBuiltin::None;
  };
  for (long i = 0; i < typeCount; ++i) {
    const SMD_TYPE_DEFINITION& type = types[i];
    const long baseIndex = type.baseTypeId > 0 ? prf_getTypeDefIndex(type.baseTypeId) : -1;
    const SMD_TYPE_DEFINITION* base = baseIndex >= 0 ? &types[baseIndex] : nullptr;
    long flags = 0;
    if (type.firstMemberIndex < 0 || type.firstMemberIndex >= memberCount) flags |= prf_SMD_TYPE_DEFINITION::eNoMembers;
    if (type.typeKind == DictCodes::eTypeKindUnion || (base && base->typeKind == DictCodes::eTypeKindUnion)) {
      flags |= prf_SMD_TYPE_DEFINITION::eUnion;
    }
    if (type.listItemTypeIndex >= 0 || (base && base->listItemTypeIndex >= 0)) flags |= prf_SMD_TYPE_DEFINITION::eList;
    const XsdBuiltin builtin = builtinOf(i);
    if (builtin == XsdBuiltin::QName || builtin == XsdBuiltin::Notation) flags |= prf_SMD_TYPE_DEFINITION::eQualifiedName;

    prf_SMD_TYPE_DEFINITION entry;
    entry.typeId = type.typeId;
    entry.index = i;
    entry.derivationMethod = type.derivationMethod;
    entry.contentKind = type.contentKind == DictCodes::eContentSequence && getDictionaryMode() == 1
                            ? DictCodes::eContentMixed
                            : type.contentKind;
    entry.baseTypeId = type.baseTypeId;
    entry.baseTypeIndex = prf_getTypeDefIndex(type.baseTypeId);
    entry.logicalType = type.logicalType;
    entry.firstMemberIndex = type.firstMemberIndex;
    entry.typeKind = type.typeKind;
    entry.listItemTypeIndex = type.listItemTypeIndex;
    entry.namespaceIndex = type.namespaceIndex;
    entry.whiteSpace = type.whiteSpace;
    entry.skipsUndeclaredAttributes = type.skipsUndeclaredAttributes != 0;
    entry.flags = flags;
    entry.builtin = builtin;
    typeCache_.push_back(std::move(entry));
  }

  if (namespaceCount == 0) {
    namespaceCache_.push_back({&internName(u"")});
  } else {
    for (long i = 0; i < namespaceCount; ++i) {
      const char16_t* uri = namespaces_.GetRowName(i);
      namespaceCache_.push_back({&internName(uri ? std::u16string_view(uri) : std::u16string_view())});
    }
  }

  const SMD_MBRID_TO_STRUCT_DEF* mbrIds = mbrIdToStruct_.GetBuffer();
  for (long i = 0; i < mbrIdToStruct_.GetRowCount(); ++i) {
    mbrIdCache_.push_back({mbrIds[i].memberId, mbrIds[i].structIndex});
  }

  populateMaps();
}

void StdDictionaryInfo::populateMaps() {
  buildTypeIdIndex();
  tagIds_.clear();
  memberIds_.clear();
  typesByQName_.clear();
  typesByLocalName_.clear();

  const SMD_TAG_DEFINITION* tags = tags_.GetBuffer();
  for (long i = 0; i < tags_.GetRowCount(); ++i) tagIds_.emplace(tags[i].tagId, i);

  // The member-ID table is authoritative; member records fill in IDs it lacks.
  const SMD_MBRID_TO_STRUCT_DEF* mbrIds = mbrIdToStruct_.GetBuffer();
  for (long i = 0; i < mbrIdToStruct_.GetRowCount(); ++i) memberIds_.emplace(mbrIds[i].memberId, mbrIds[i].structIndex);
  const SMD_STRUCTURE_ELEMENT_DEFINITION* members = members_.GetBuffer();
  for (long i = 0; i < members_.GetRowCount(); ++i) memberIds_.emplace(members[i].memberId, i);

  const SMD_TYPE_DEFINITION* types = types_.GetBuffer();
  auto namespaceOf = [&](long typeIndex) {
    const char16_t* uri = namespaces_.GetRowName(types[typeIndex].namespaceIndex);
    return uri ? std::u16string_view(uri) : std::u16string_view();
  };
  for (long i = 0; i < types_.GetRowCount(); ++i) {
    const char16_t* name = types_.GetRowName(i);
    if (isEmpty(name)) continue;
    typesByQName_.emplace(qualifiedKey(namespaceOf(i), name), i);
    auto [entry, added] = typesByLocalName_.emplace(ZelWstring(name), i);
    if (!added && entry->second >= 0 && namespaceOf(entry->second) != namespaceOf(i)) entry->second = -2;
  }
}

namespace {
long findIndex(const std::unordered_map<long, long>& map, long id) {
  auto found = map.find(id);
  return found == map.end() ? -1 : found->second;
}
}  // namespace

long StdDictionaryInfo::getTagDefIndex(long tagId) const { return findIndex(tagIds_, tagId); }

long StdDictionaryInfo::getTypeDefIndex(long typeId) const { return findIndex(typeIds_, typeId); }

long StdDictionaryInfo::getStructDefIndexFromMbrID(long memberId) const { return findIndex(memberIds_, memberId); }

long StdDictionaryInfo::getTypeIndexForTypeText(const char16_t* localName, const ZelWstring& namespaceURI,
                                                long& index, bool ignoreNamespace) const {
  index = -1;
  if (!localName) return 1;
  if (ignoreNamespace) {
    auto found = typesByLocalName_.find(ZelWstring(localName));
    if (found == typesByLocalName_.end()) return 0;
    if (found->second < 0) return 1;  // defined in several namespaces
    index = found->second;
    return 0;
  }
  auto found = typesByQName_.find(qualifiedKey(namespaceURI.view(), localName));
  if (found != typesByQName_.end()) index = found->second;
  return 0;
}

const char16_t* StdDictionaryInfo::getEventualParentTypeName(long typeIndex) const {
  // A corrupt dictionary may derive a type from itself: never take more
  // steps than there are types.
  for (long steps = 0; steps <= types_.GetRowCount() && types_.containsRow(typeIndex); ++steps) {
    const char16_t* name = types_.GetRowName(typeIndex);
    if (!isEmpty(name)) return name;
    const std::int32_t baseTypeId = types_.GetBuffer()[typeIndex].baseTypeId;
    if (baseTypeId <= 0) return nullptr;
    typeIndex = getTypeDefIndex(baseTypeId);
  }
  return nullptr;
}

ZelWstring StdDictionaryInfo::getTraceTextForID(long id) const {
  if (const char16_t* name = getTagName(getTagDefIndex(id)); !isEmpty(name)) return ZelWstring(name);
  if (const char16_t* name = getTypeName(getTypeDefIndex(id)); !isEmpty(name)) return ZelWstring(name);
  if (const char16_t* name = getMemberName(getStructDefIndexFromMbrID(id)); !isEmpty(name)) return ZelWstring(name);
  return ZelWstring::fromUtf8(std::to_string(id));
}

const DICTIONARY_IDENTIFICATION* StdDictionaryInfo::getDictionaryIdentification() const {
  return identification_.GetRowCount() > 0 && identification_.GetTable()->getEntrySize() == sizeof(DICTIONARY_IDENTIFICATION)
             ? identification_[0]
             : nullptr;
}

long StdDictionaryInfo::getFormatVersion() const {
  const DICTIONARY_IDENTIFICATION* identification = getDictionaryIdentification();
  return identification ? identification->formatVersion : DictCodes::eFormatVersionCurrent;
}

bool StdDictionaryInfo::getNamespacesEnabled() const {
  return msgSets_.GetRowCount() > 0 && msgSets_.GetTable()->getEntrySize() == sizeof(MSGSET_DEFINITION) &&
         msgSets_.GetBuffer()[0].namespacesEnabled != 0;
}

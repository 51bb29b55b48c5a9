#ifndef DICTIONARYINFO_H
#define DICTIONARYINFO_H

// The generic dictionary: numbered tables of fixed-size binary records, each
// with a group of property string tables (one value per row and property).
//
// Ownership: a DictionaryInfo owns its DictTables; a DictTable owns its record
// buffer and, through its StringTableGroup, the StringTables created by
// CreateProperty. The references (DictTableRefBase and derived,
// StringTableRef, EnumTableRef) are pointer-sized handles that borrow; they
// are valid as long as the dictionary.
//
// Errors: out-of-range property rows raise ZelFatalException
// CP_INTERNAL_ERROR; loading a corrupt buffer raises ZelFatalException
// CP_DICTIONARY_FORMAT_ERROR (see dictformat.h).

#include "pwfdata.h"
#include "schemadocument.h"
#include "zelapi.h"
#include "zelwstring.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class BitstreamWorker;
class DictionaryInfo;
class DictTable;

// The host allocator for record and property buffers. cpMalloc throws
// std::bad_alloc when memory is exhausted; cpFree(nullptr) does nothing.
ZEL_API void* cpMalloc(std::size_t size);
ZEL_API void cpFree(void* block);

// Table and property names of the row-name property that every table with
// row names carries (a String value per row: the row's name).
inline constexpr char16_t CPI_VLS_TABMBR[] = u"CPI_VLS";
inline constexpr char16_t CPI_StringMember[] = u"StringMember";

// ---------------------------------------------------------------------------
// One property of one table: a value (a UTF-16 string or a signed 64-bit
// integer) per row, all values in one buffer. Layout of the buffer: one
// 32-bit offset per row (0 = no value), then the values one after the other
// (strings zero-terminated, integers as 8 unaligned bytes). Values are never
// removed; setting a row again appends and leaves the old bytes unused.
class ZEL_API StringTable {
public:
  StringTable();
  virtual ~StringTable();
  StringTable(const StringTable&) = delete;
  StringTable& operator=(const StringTable&) = delete;

  // Names the property and sizes the buffer: initialSize bytes, or 4 per row
  // when 0. A table with no rows and initialSize 0 allocates nothing.
  void Create(const char16_t* tableName, const char16_t* propertyName, ELogicalType type, std::int32_t rowCount,
              std::uint32_t initialSize);

  // Append a value for a row. A null string stores no value. Throws
  // ZelFatalException CP_INTERNAL_ERROR for a row outside the table (the
  // buffer would be written out of bounds otherwise) or when the buffer
  // would exceed 4 GiB.
  void SetValue(long row, const char16_t* value);
  void SetValue(long row, std::u16string_view value);  // value must not contain U+0000
  void SetIntValue(long row, std::int64_t value);

  // The row's string (valid until the row is set again), or null when the row
  // has none or the property holds integers. Throws ZelFatalException
  // CP_INTERNAL_ERROR (inserts: "CPI Internal Error", "GetValue - Dictionary
  // index out of range.", row, row count) for a row outside 0..rowCount-1.
  const char16_t* GetValue(long row) const;
  // The row's integer, or 0 when it has none or the property holds strings.
  // Same range rule ("GetIntValue - Dictionary index out of range.").
  std::int64_t GetIntValue(long row) const;
  // Whether the row has a value of the property's type; false out of range.
  bool HasValue(long row) const;

  const ZelWstring& getTableName() const { return tableName_; }
  const ZelWstring& getPropertyName() const { return propertyName_; }
  ELogicalType getType() const { return type_; }
  std::int32_t getRowCount() const { return rowCount_; }
  std::uint32_t getCapacity() const { return capacity_; }
  std::uint32_t getBytesInUse() const { return inUse_; }
  const unsigned char* getBuffer() const { return buffer_; }

private:
  void appendValue(long row, const void* bytes, std::uint32_t size, std::uint32_t zeroBytes, const char* function);
  std::uint32_t offsetOf(long row) const;
  void checkRow(long row, const char* function, const char* text) const;

  ZelWstring tableName_;
  ZelBufferedWstring<16> propertyName_;
  ELogicalType type_ = static_cast<ELogicalType>(-1);
  unsigned char* buffer_ = nullptr;
  std::uint32_t capacity_ = 0;
  std::int32_t rowCount_ = 0;
  std::uint32_t inUse_ = 0;
};

// The property tables of one table, kept sorted by property name (unsigned
// UTF-16 code units, a prefix first). Owns the tables added to it.
class ZEL_API StringTableGroup {
public:
  StringTableGroup() = default;
  ~StringTableGroup();
  StringTableGroup(const StringTableGroup&) = delete;
  StringTableGroup& operator=(const StringTableGroup&) = delete;

  // Adopts the table and inserts it at the lower bound of its property name
  // (after nothing, before any table of an equal or greater name), unless
  // that position already holds this very table.
  void AddTable(StringTable* table);
  // From the lower bound of the property name, the first table whose table
  // name equals tableName (any table name when tableName is null); null at
  // the end. Only meaningful for a property created under that table name:
  // otherwise it may return a table of a later property name.
  StringTable* FindTable(const char16_t* tableName, const char16_t* propertyName) const;
  // The table with exactly these names, or null.
  StringTable* FindExact(std::u16string_view tableName, std::u16string_view propertyName) const;

  static bool tablePred(const StringTable* a, const StringTable* b);
  static bool tablePreds(const StringTable* table, const char16_t* propertyName);  // null = empty name

  std::size_t size() const { return tables_.size(); }
  StringTable* at(std::size_t i) const { return tables_[i]; }
  std::vector<StringTable*>::const_iterator begin() const { return tables_.begin(); }
  std::vector<StringTable*>::const_iterator end() const { return tables_.end(); }

private:
  std::vector<StringTable*> tables_;
};

// A borrowed handle of a property table; may be null.
class ZEL_API StringTableRef {
public:
  StringTableRef(StringTable* table = nullptr) : table_(table) {}
  StringTable* get() const { return table_; }
  StringTable* operator->() const { return table_; }
  explicit operator bool() const { return table_ != nullptr; }
  bool operator==(const StringTableRef& o) const { return table_ == o.table_; }

private:
  StringTable* table_;
};

// An Integer property read as an enumeration: the low 32 bits of the row's value.
template <class E>
class EnumTableRef {
public:
  EnumTableRef(StringTableRef table = StringTableRef()) : table_(table.get()) {}
  E operator[](long row) const { return static_cast<E>(static_cast<std::int32_t>(table_->GetIntValue(row))); }
  StringTable* get() const { return table_; }
  explicit operator bool() const { return table_ != nullptr; }

private:
  StringTable* table_;
};

// ---------------------------------------------------------------------------
// One table: rowCount records of entrySize bytes and the table's properties.
class ZEL_API DictTable {
public:
  explicit DictTable(DictionaryInfo* owner) : owner_(owner) {}
  virtual ~DictTable();
  DictTable(const DictTable&) = delete;
  DictTable& operator=(const DictTable&) = delete;

  // Allocates entrySize * count zeroed bytes and sets the row count. When
  // that product is 0 nothing is allocated and the row count stays as it
  // was. A previous record buffer is freed. Throws ZelFatalException
  // CP_INTERNAL_ERROR for a negative count or a buffer beyond 4 GiB.
  void Create(std::uint32_t entrySize, std::int32_t count);

  // Creates a property table with this table's row count, adds it to the
  // group and reports it to the owner's MapTableProperty.
  StringTableRef CreateProperty(const char16_t* tableName, const char16_t* propertyName, ELogicalType type,
                                std::uint32_t initialSize);
  // FindTable and SetValue / SetIntValue. Throws ZelFatalException
  // CP_INTERNAL_ERROR when the property was never created.
  void SetProperty(long row, const char16_t* tableName, const char16_t* propertyName, const char16_t* value);
  void SetIntProperty(long row, const char16_t* tableName, const char16_t* propertyName, std::int64_t value);

  // The property with exactly these names, or null.
  const StringTable* FindProperty(std::u16string_view tableName, std::u16string_view propertyName) const {
    return properties_.FindExact(tableName, propertyName);
  }
  // The row-name property (CPI_VLS_TABMBR / CPI_StringMember), or null.
  const StringTable* GetRowNames() const { return FindProperty(CPI_VLS_TABMBR, CPI_StringMember); }
  // The row's name; null when it has none, the table has no row names or the
  // row is out of range (never throws).
  const char16_t* GetRowName(long row) const;

  DictionaryInfo* getOwner() const { return owner_; }
  unsigned char* getBuffer() const { return buffer_; }
  std::int32_t getRowCount() const { return rowCount_; }
  std::uint32_t getByteSize() const { return byteSize_; }
  std::uint32_t getEntrySize() const { return entrySize_; }  // 0 until first created
  bool containsRow(long row) const { return row >= 0 && row < rowCount_; }
  const StringTableGroup& getProperties() const { return properties_; }

private:
  DictionaryInfo* owner_;
  unsigned char* buffer_ = nullptr;
  std::int32_t rowCount_ = 0;
  std::uint32_t byteSize_ = 0;
  StringTableGroup properties_;
  std::uint32_t entrySize_ = 0;
};

// A borrowed handle of a table; references are copied by value.
class ZEL_API DictTableRefBase {
public:
  DictTableRefBase(DictTable* table = nullptr) : table_(table) {}
  DictTable* GetTable() const { return table_; }
  std::int32_t GetRowCount() const { return table_ ? table_->getRowCount() : 0; }
  bool containsRow(long row) const { return table_ && table_->containsRow(row); }
  bool operator==(const DictTableRefBase& o) const { return table_ == o.table_; }
  bool operator!=(const DictTableRefBase& o) const { return table_ != o.table_; }

protected:
  DictTable* table_;
};

// A table of records T without row names.
template <class T>
class DictTableRef : public DictTableRefBase {
public:
  DictTableRef(DictTable* table = nullptr) : DictTableRefBase(table) {}
  void Create(std::int32_t count) const { table_->Create(sizeof(T), count); }
  // The record's address; no range check (see containsRow).
  T* operator[](long row) const { return reinterpret_cast<T*>(table_->getBuffer()) + row; }
  T* GetBuffer() const { return reinterpret_cast<T*>(table_->getBuffer()); }
};

// No name field in the record: the table has row names, but they are only
// read through GetRowName.
constexpr std::size_t DICT_NO_NAME_FIELD = static_cast<std::size_t>(-1);

// A table of records T with row names. N is the byte offset in T of the
// `const char16_t*` name field (DICT_NO_NAME_FIELD when T has none).
template <class T, std::size_t N>
class DictTableWVLSRef : public DictTableRefBase {
public:
  DictTableWVLSRef(DictTable* table = nullptr) : DictTableRefBase(table) {}

  // Creates count default records (T's member defaults) and the row-name property.
  void Create(std::int32_t count) const;
  // The record's address, after storing the row's name into its name field
  // (null when the row has none) when the row names are mapped. No range
  // check of its own; with row names mapped an out-of-range row throws the
  // GetValue error.
  T* operator[](long row) const;
  T* GetBuffer() const { return reinterpret_cast<T*>(table_->getBuffer()); }
  // Stores every row's name into its record, as operator[] would on first
  // use: done while the dictionary is post-processed, so that the threads
  // sharing it afterwards only read.
  void StoreRowNames() const {
    if (!table_ || !rowNames_) return;
    const long rows = std::min(table_->getRowCount(), rowNames_->getRowCount());
    for (long row = 0; row < rows; ++row) (*this)[row];
  }

  // Remembers the row-name table when it belongs to this table.
  void MapTableProperty(DictTableRefBase table, StringTableRef property);
  StringTable* GetRowNames() const { return rowNames_; }
  // The row's name, null when none or out of range (never throws).
  const char16_t* GetRowName(long row) const {
    return rowNames_ && row >= 0 && row < rowNames_->getRowCount() ? rowNames_->GetValue(row) : nullptr;
  }
  // Throws ZelFatalException CP_INTERNAL_ERROR when the row names are not mapped.
  void SetRowName(long row, const char16_t* name) const;
  void SetRowName(long row, std::u16string_view name) const;

private:
  StringTable* rowNames_ = nullptr;
};

// Raises the error of a row-name write on a table without row names.
[[noreturn]] ZEL_API void dictRowNamesMissing(const char* function);

template <class T, std::size_t N>
void DictTableWVLSRef<T, N>::Create(std::int32_t count) const {
  table_->Create(sizeof(T), count);
  // Build the default record in zeroed storage so that padding bytes are 0
  // and serialized dictionaries are byte-for-byte reproducible.
  alignas(T) unsigned char defaults[sizeof(T)];
  std::memset(defaults, 0, sizeof defaults);
  ::new (static_cast<void*>(defaults)) T;
  unsigned char* rows = table_->getBuffer();
  for (std::int32_t i = 0; rows && i < table_->getRowCount(); ++i) std::memcpy(rows + i * sizeof(T), defaults, sizeof(T));
  table_->CreateProperty(CPI_VLS_TABMBR, CPI_StringMember, eLogicalString, 0);
}

template <class T, std::size_t N>
T* DictTableWVLSRef<T, N>::operator[](long row) const {
  T* record = reinterpret_cast<T*>(table_->getBuffer()) + row;
  if constexpr (N != DICT_NO_NAME_FIELD) {
    if (rowNames_) {
      // Written only when it changed: a post-processed dictionary is read
      // by many threads at once, and equal stores still race.
      const char16_t* name = rowNames_->GetValue(row);
      unsigned char* field = reinterpret_cast<unsigned char*>(record) + N;
      const char16_t* stored;
      std::memcpy(&stored, field, sizeof stored);
      if (stored != name) std::memcpy(field, &name, sizeof name);
    }
  }
  return record;
}

template <class T, std::size_t N>
void DictTableWVLSRef<T, N>::MapTableProperty(DictTableRefBase table, StringTableRef property) {
  if (table.GetTable() == table_ && property && property->getPropertyName() == std::u16string_view(CPI_StringMember) &&
      property->getTableName() == std::u16string_view(CPI_VLS_TABMBR)) {
    rowNames_ = property.get();
  }
}

template <class T, std::size_t N>
void DictTableWVLSRef<T, N>::SetRowName(long row, const char16_t* name) const {
  if (!rowNames_) dictRowNamesMissing("DictTableWVLSRef::SetRowName");
  rowNames_->SetValue(row, name);
}

template <class T, std::size_t N>
void DictTableWVLSRef<T, N>::SetRowName(long row, std::u16string_view name) const {
  if (!rowNames_) dictRowNamesMissing("DictTableWVLSRef::SetRowName");
  rowNames_->SetValue(row, name);
}

// ---------------------------------------------------------------------------
// A dictionary of tableCount numbered tables. Derived classes put the tables
// they add ahead of their base's: a class constructed with n (the tables its
// own derived classes add) passes n plus its own count to its base.
//
// Loading (FromQLBuffer, FromExtractFormat) creates every table through the
// virtual CreateTable and every property through DictTable::CreateProperty,
// so a derived class sees every table and property as it arrives. Load into
// a fresh dictionary only.
class ZEL_API DictionaryInfo {
public:
  explicit DictionaryInfo(int tableCount);
  virtual ~DictionaryInfo();
  DictionaryInfo(const DictionaryInfo&) = delete;
  DictionaryInfo& operator=(const DictionaryInfo&) = delete;

  // Called by DictTable::CreateProperty for every new property table.
  virtual void MapTableProperty(DictTableRefBase table, StringTableRef property);
  // Creates table tableNumber with count records of entrySize bytes and
  // returns the entry size used. Throws ZelFatalException CP_INTERNAL_ERROR
  // for a table number out of range.
  virtual std::uint32_t CreateTable(int tableNumber, std::uint32_t entrySize, std::int32_t count);
  // Loads a serialized dictionary (the format of dictformat.h); the worker is
  // not used by the host's loader. Throws ZelFatalException
  // CP_DICTIONARY_FORMAT_ERROR for a truncated, corrupt or foreign buffer
  // (inserts: what is wrong, the byte offset), CP_INTERNAL_ERROR when a
  // table of the dictionary already has rows or properties.
  virtual void FromExtractFormat(BitstreamWorker* worker, const unsigned char* buffer, std::size_t length);
  // Copies every table and property of another dictionary of the same table
  // numbering (through CreateTable and CreateProperty, like a load).
  virtual void FromDictionary(const DictionaryInfo& source);
  virtual void FromQLBuffer(const unsigned char* buffer, std::size_t length);
  // The serialized form of every table and property (dictformat.h).
  virtual std::vector<unsigned char> ToQLBuffer() const;
  // The record-type name shown for a table in dumps ("SMD_TAG_DEFINITION",
  // "TABLE 0" for tables the host does not know).
  virtual std::string DumpContentsName(int tableNumber) const;
  // Writes every table (every row's name and fields) and every property
  // table with its values; deterministic.
  virtual void DumpContents(FILE* file) const;
  virtual void DumpTableProperties(FILE* file, int tableNumber) const;
  // Builds the lookup maps (nothing in the generic dictionary).
  virtual void populateMaps();
  // Completes a loaded dictionary (the generic one only builds its maps).
  virtual void postProcessDictionary();
  // Destroys the dictionary (delete this).
  virtual void release();

  int getTableCount() const { return static_cast<int>(tables_.size()); }
  // The table, or null for a number out of range.
  DictTable* getTable(int tableNumber) const;

  // The wire format whose properties this dictionary serves (its table name
  // in property tables, e.g. "XML"). A load adopts the name stored in the
  // buffer when this one is still empty.
  const ZelWstring& getWireFormatName() const { return wireFormatName_; }
  void setWireFormatName(const ZelWstring& name) { wireFormatName_ = name; }

  // The dictionary's mode word: 0 normal; 1 single-project mode (the last
  // dependency is the project's own namespace; sequence content counts as
  // mixed content).
  long getDictionaryMode() const { return mode_; }
  void setDictionaryMode(long mode) { mode_ = mode; }
  // The ordered list of the projects (namespace names) this dictionary depends on.
  const std::vector<ZelWstring>& getProjectDependencies() const { return dependencies_; }
  void setProjectDependencies(std::vector<ZelWstring> dependencies) { dependencies_ = std::move(dependencies); }
  // The XML Schema documents the dictionary was compiled from (none for a
  // message-set source or a dictionary of format version 1).
  const SchemaDocuments& getSchemaDocuments() const { return schemaDocuments_; }
  void setSchemaDocuments(SchemaDocuments documents) { schemaDocuments_ = std::move(documents); }

  // One shared copy of a name, alive as long as the dictionary: equal texts
  // give the same object.
  const ZelWstring& internName(std::u16string_view text);

  // The first of the fourteen standard tables, -1 when there are none.
  int getStandardTableBase() const { return standardBase_; }

protected:
  void setStandardTableBase(int base) { standardBase_ = base; }

private:
  std::vector<std::unique_ptr<DictTable>> tables_;
  ZelWstring wireFormatName_;
  long mode_ = 0;
  std::vector<ZelWstring> dependencies_;
  SchemaDocuments schemaDocuments_;
  std::unordered_set<ZelWstring, ZelWstringHash> names_;
  int standardBase_ = -1;
};

#endif

#include "dictionaryinfo.h"

#include "dicterrors.h"
#include "dictlayout.h"
#include "dictserializer.h"
#include "zelexception.h"
#include "zellog.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {
constexpr const char* kSource = "dictionaryinfo";
constexpr const char* kInternalText = "CPI Internal Error";

std::u16string_view viewOf(const char16_t* text) { return text ? std::u16string_view(text) : std::u16string_view(); }
}  // namespace

void* cpMalloc(std::size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  return block;
}

void cpFree(void* block) { std::free(block); }

void throwDictFormatError(const char* function, const std::string& what, std::size_t offset) {
  throwDictError<ZelFatalException>(kSource, __LINE__, function, ZelMessages::CP_DICTIONARY_FORMAT_ERROR, what,
                                    static_cast<unsigned long>(offset));
}

void dictRowNamesMissing(const char* function) {
  throwDictError<ZelFatalException>(kSource, __LINE__, function, ZelMessages::CP_INTERNAL_ERROR, kInternalText,
                                    "The table has no row names.");
}

// ---------------------------------------------------------------------------
StringTable::StringTable() = default;

StringTable::~StringTable() { cpFree(buffer_); }

void StringTable::Create(const char16_t* tableName, const char16_t* propertyName, ELogicalType type,
                         std::int32_t rowCount, std::uint32_t initialSize) {
  if (rowCount < 0) {
    throwDictError<ZelFatalException>(kSource, __LINE__, "StringTable::Create", ZelMessages::CP_INTERNAL_ERROR,
                                      kInternalText, "Create - negative row count.", rowCount);
  }
  tableName_.assign(tableName);
  propertyName_.assign(propertyName);
  type_ = type;
  rowCount_ = rowCount;
  const std::uint32_t offsetBytes = static_cast<std::uint32_t>(rowCount) * 4u;  // < 2^33, checked below
  if (static_cast<std::uint64_t>(rowCount) * 4u > std::numeric_limits<std::uint32_t>::max()) {
    throwDictError<ZelFatalException>(kSource, __LINE__, "StringTable::Create", ZelMessages::CP_INTERNAL_ERROR,
                                      kInternalText, "Create - too many rows.", rowCount);
  }
  // The offsets always fit, even when the initial size given is smaller.
  const std::uint32_t size = std::max(initialSize, offsetBytes);
  cpFree(buffer_);
  buffer_ = nullptr;
  capacity_ = 0;
  inUse_ = 0;
  if (size == 0) return;
  buffer_ = static_cast<unsigned char*>(cpMalloc(size));
  std::memset(buffer_, 0, size);
  capacity_ = size;
  inUse_ = offsetBytes;
}

void StringTable::checkRow(long row, const char* function, const char* text) const {
  if (row < 0 || row >= rowCount_) {
    throwDictError<ZelFatalException>(kSource, __LINE__, function, ZelMessages::CP_INTERNAL_ERROR, kInternalText,
                                      text, row, rowCount_);
  }
}

std::uint32_t StringTable::offsetOf(long row) const {
  std::uint32_t offset;
  std::memcpy(&offset, buffer_ + static_cast<std::size_t>(row) * 4u, sizeof offset);
  return offset;
}

void StringTable::appendValue(long row, const void* bytes, std::uint32_t size, std::uint32_t zeroBytes,
                              const char* function) {
  const std::uint64_t total = static_cast<std::uint64_t>(inUse_) + size + zeroBytes;
  if (total > std::numeric_limits<std::uint32_t>::max()) {
    throwDictError<ZelFatalException>(kSource, __LINE__, function, ZelMessages::CP_INTERNAL_ERROR, kInternalText,
                                      "Property values exceed 4 GiB.", row, rowCount_);
  }
  const auto need = static_cast<std::uint32_t>(total);
  unsigned char* target = buffer_;
  if (capacity_ < need) {
    std::uint64_t grown = static_cast<std::uint64_t>(capacity_) + capacity_ / 4u;
    if (grown < need) grown = need;
    if (grown > std::numeric_limits<std::uint32_t>::max()) grown = std::numeric_limits<std::uint32_t>::max();
    target = static_cast<unsigned char*>(cpMalloc(static_cast<std::size_t>(grown)));
    if (inUse_) std::memcpy(target, buffer_, inUse_);
    capacity_ = static_cast<std::uint32_t>(grown);
  }
  // The value may come from this table's own buffer: copy it before the old
  // buffer is released.
  std::memcpy(target + inUse_, bytes, size);
  std::memset(target + inUse_ + size, 0, zeroBytes);
  if (target != buffer_) {
    cpFree(buffer_);
    buffer_ = target;
  }
  std::memcpy(buffer_ + static_cast<std::size_t>(row) * 4u, &inUse_, sizeof inUse_);
  inUse_ = need;
}

void StringTable::SetValue(long row, const char16_t* value) {
  checkRow(row, "StringTable::SetValue", "SetValue - Dictionary index out of range.");
  if (!value) {
    const std::uint32_t none = 0;
    std::memcpy(buffer_ + static_cast<std::size_t>(row) * 4u, &none, sizeof none);
    return;
  }
  SetValue(row, std::u16string_view(value));
}

void StringTable::SetValue(long row, std::u16string_view value) {
  checkRow(row, "StringTable::SetValue", "SetValue - Dictionary index out of range.");
  if (value.size() >= std::numeric_limits<std::uint32_t>::max() / 2u) {
    throwDictError<ZelFatalException>(kSource, __LINE__, "StringTable::SetValue", ZelMessages::CP_INTERNAL_ERROR,
                                      kInternalText, "Property values exceed 4 GiB.", row, rowCount_);
  }
  appendValue(row, value.data(), static_cast<std::uint32_t>(value.size()) * 2u, /*zeroBytes=*/2,
              "StringTable::SetValue");
}

void StringTable::SetIntValue(long row, std::int64_t value) {
  checkRow(row, "StringTable::SetIntValue", "SetIntValue - Dictionary index out of range.");
  appendValue(row, &value, sizeof value, /*zeroBytes=*/0, "StringTable::SetIntValue");
}

const char16_t* StringTable::GetValue(long row) const {
  checkRow(row, "StringTable::GetValue", "GetValue - Dictionary index out of range.");
  if (type_ != eLogicalString) return nullptr;
  const std::uint32_t offset = offsetOf(row);
  return offset ? reinterpret_cast<const char16_t*>(buffer_ + offset) : nullptr;
}

std::int64_t StringTable::GetIntValue(long row) const {
  checkRow(row, "StringTable::GetIntValue", "GetIntValue - Dictionary index out of range.");
  if (type_ != eLogicalInteger) return 0;
  const std::uint32_t offset = offsetOf(row);
  if (!offset) return 0;
  std::int64_t value;
  std::memcpy(&value, buffer_ + offset, sizeof value);
  return value;
}

bool StringTable::HasValue(long row) const {
  return row >= 0 && row < rowCount_ && (type_ == eLogicalString || type_ == eLogicalInteger) && offsetOf(row) != 0;
}

// ---------------------------------------------------------------------------
StringTableGroup::~StringTableGroup() {
  // AddTable may hold one table at two positions; delete each once.
  std::sort(tables_.begin(), tables_.end());
  tables_.erase(std::unique(tables_.begin(), tables_.end()), tables_.end());
  for (StringTable* table : tables_) delete table;
}

bool StringTableGroup::tablePred(const StringTable* a, const StringTable* b) {
  return a->getPropertyName().compare(b->getPropertyName()) < 0;
}

bool StringTableGroup::tablePreds(const StringTable* table, const char16_t* propertyName) {
  return table->getPropertyName().compare(viewOf(propertyName)) < 0;
}

void StringTableGroup::AddTable(StringTable* table) {
  auto position = std::lower_bound(tables_.begin(), tables_.end(), table, tablePred);
  if (position == tables_.end() || *position != table) tables_.insert(position, table);
}

StringTable* StringTableGroup::FindTable(const char16_t* tableName, const char16_t* propertyName) const {
  auto position = std::lower_bound(tables_.begin(), tables_.end(), propertyName, tablePreds);
  while (position != tables_.end() && tableName && (*position)->getTableName() != viewOf(tableName)) ++position;
  return position == tables_.end() ? nullptr : *position;
}

StringTable* StringTableGroup::FindExact(std::u16string_view tableName, std::u16string_view propertyName) const {
  auto position = std::lower_bound(tables_.begin(), tables_.end(), propertyName,
                                   [](const StringTable* t, std::u16string_view name) {
                                     return t->getPropertyName().compare(name) < 0;
                                   });
  for (; position != tables_.end() && (*position)->getPropertyName() == propertyName; ++position) {
    if ((*position)->getTableName() == tableName) return *position;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
DictTable::~DictTable() { cpFree(buffer_); }

void DictTable::Create(std::uint32_t entrySize, std::int32_t count) {
  if (count < 0) {
    throwDictError<ZelFatalException>(kSource, __LINE__, "DictTable::Create", ZelMessages::CP_INTERNAL_ERROR,
                                      kInternalText, "Create - negative row count.", count);
  }
  const std::uint64_t bytes = static_cast<std::uint64_t>(entrySize) * static_cast<std::uint64_t>(count);
  if (bytes > std::numeric_limits<std::uint32_t>::max()) {
    throwDictError<ZelFatalException>(kSource, __LINE__, "DictTable::Create", ZelMessages::CP_INTERNAL_ERROR,
                                      kInternalText, "Create - table exceeds 4 GiB.", count);
  }
  entrySize_ = entrySize;
  if (bytes == 0) {
    // Nothing to allocate. Rows never outlive their records, so a table that
    // had some is emptied.
    if (buffer_) {
      cpFree(buffer_);
      buffer_ = nullptr;
      rowCount_ = 0;
    }
    byteSize_ = 0;
    return;
  }
  auto* records = static_cast<unsigned char*>(cpMalloc(static_cast<std::size_t>(bytes)));
  std::memset(records, 0, static_cast<std::size_t>(bytes));
  cpFree(buffer_);
  buffer_ = records;
  rowCount_ = count;
  byteSize_ = static_cast<std::uint32_t>(bytes);
}

StringTableRef DictTable::CreateProperty(const char16_t* tableName, const char16_t* propertyName, ELogicalType type,
                                         std::uint32_t initialSize) {
  auto table = std::make_unique<StringTable>();
  table->Create(tableName, propertyName, type, rowCount_, initialSize);
  StringTable* added = table.release();
  properties_.AddTable(added);
  if (owner_) owner_->MapTableProperty(DictTableRefBase(this), StringTableRef(added));
  return StringTableRef(added);
}

void DictTable::SetProperty(long row, const char16_t* tableName, const char16_t* propertyName,
                            const char16_t* value) {
  StringTable* table = properties_.FindTable(tableName, propertyName);
  if (!table) {
    throwDictError<ZelFatalException>(kSource, __LINE__, "DictTable::SetProperty", ZelMessages::CP_INTERNAL_ERROR,
                                      kInternalText, "SetProperty - no such property.", propertyName);
  }
  table->SetValue(row, value);
}

void DictTable::SetIntProperty(long row, const char16_t* tableName, const char16_t* propertyName,
                               std::int64_t value) {
  StringTable* table = properties_.FindTable(tableName, propertyName);
  if (!table) {
    throwDictError<ZelFatalException>(kSource, __LINE__, "DictTable::SetIntProperty",
                                      ZelMessages::CP_INTERNAL_ERROR, kInternalText,
                                      "SetIntProperty - no such property.", propertyName);
  }
  table->SetIntValue(row, value);
}

const char16_t* DictTable::GetRowName(long row) const {
  const StringTable* names = GetRowNames();
  return names && row >= 0 && row < names->getRowCount() ? names->GetValue(row) : nullptr;
}

// ---------------------------------------------------------------------------
DictionaryInfo::DictionaryInfo(int tableCount) {
  tables_.reserve(tableCount > 0 ? static_cast<std::size_t>(tableCount) : 0u);
  for (int i = 0; i < tableCount; ++i) tables_.push_back(std::make_unique<DictTable>(this));
}

DictionaryInfo::~DictionaryInfo() = default;

void DictionaryInfo::MapTableProperty(DictTableRefBase, StringTableRef) {}

DictTable* DictionaryInfo::getTable(int tableNumber) const {
  return tableNumber >= 0 && tableNumber < getTableCount() ? tables_[static_cast<std::size_t>(tableNumber)].get()
                                                           : nullptr;
}

std::uint32_t DictionaryInfo::CreateTable(int tableNumber, std::uint32_t entrySize, std::int32_t count) {
  DictTable* table = getTable(tableNumber);
  if (!table) {
    throwDictError<ZelFatalException>(kSource, __LINE__, "DictionaryInfo::CreateTable",
                                      ZelMessages::CP_INTERNAL_ERROR, kInternalText,
                                      "CreateTable - table number out of range.", tableNumber, getTableCount());
  }
  table->Create(entrySize, count);
  return entrySize;
}

void DictionaryInfo::FromExtractFormat(BitstreamWorker*, const unsigned char* buffer, std::size_t length) {
  FromQLBuffer(buffer, length);
}

void DictionaryInfo::FromQLBuffer(const unsigned char* buffer, std::size_t length) {
  ZelTraceScope scope(nullptr, "DictionaryInfo::FromQLBuffer");
  readDictionary(*this, buffer, length);
}

std::vector<unsigned char> DictionaryInfo::ToQLBuffer() const { return writeDictionary(*this); }

void DictionaryInfo::FromDictionary(const DictionaryInfo& source) {
  const std::vector<unsigned char> copy = source.ToQLBuffer();
  FromQLBuffer(copy.data(), copy.size());
}

std::string DictionaryInfo::DumpContentsName(int tableNumber) const {
  if (const DictRecordLayout* layout = dictStandardLayout(tableNumber - standardBase_);
      layout && standardBase_ >= 0) {
    return layout->recordName;
  }
  return "TABLE " + std::to_string(tableNumber);
}

void DictionaryInfo::populateMaps() {}

void DictionaryInfo::postProcessDictionary() { populateMaps(); }

void DictionaryInfo::release() { delete this; }

const ZelWstring& DictionaryInfo::internName(std::u16string_view text) {
  return *names_.emplace(text).first;
}

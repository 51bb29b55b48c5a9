#include "dictserializer.h"

#include "dicterrors.h"
#include "dictformat.h"
#include "dictionaryinfo.h"
#include "dictlayout.h"

#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace {
constexpr const char* kReadFunction = "DictionaryInfo::FromQLBuffer";

// The name pointer offset of a table's records, DICT_NO_NAME_FIELD when none.
std::size_t nameFieldOf(const DictionaryInfo& dictionary, int tableNumber, std::uint32_t entrySize) {
  const int base = dictionary.getStandardTableBase();
  if (base < 0) return DICT_NO_NAME_FIELD;
  const DictRecordLayout* layout = dictStandardLayout(tableNumber - base);
  if (!layout || layout->nameOffset == DICT_NO_NAME_FIELD) return DICT_NO_NAME_FIELD;
  return layout->nameOffset + sizeof(const char16_t*) <= entrySize ? layout->nameOffset : DICT_NO_NAME_FIELD;
}

std::uint32_t valueBytesOf(const StringTable& property) {
  std::uint64_t bytes = static_cast<std::uint64_t>(property.getRowCount()) * 4u;
  for (long row = 0; row < property.getRowCount(); ++row) {
    if (!property.HasValue(row)) continue;
    if (property.getType() == eLogicalString) {
      bytes += 2u * (std::char_traits<char16_t>::length(property.GetValue(row)) + 1u);
    } else {
      bytes += 8u;
    }
  }
  return static_cast<std::uint32_t>(bytes);  // the table itself holds at least this many bytes
}

class ByteWriter {
public:
  void u8(unsigned value) { out_.push_back(static_cast<unsigned char>(value)); }
  void u32(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) u8((value >> (8 * i)) & 0xFFu);
  }
  void u64(std::uint64_t value) {
    for (int i = 0; i < 8; ++i) u8(static_cast<unsigned>((value >> (8 * i)) & 0xFFu));
  }
  void text(std::u16string_view value) {
    u32(static_cast<std::uint32_t>(value.size()));
    for (char16_t unit : value) {
      u8(unit & 0xFFu);
      u8(unit >> 8);
    }
  }
  void bytes(const unsigned char* data, std::size_t size) { out_.insert(out_.end(), data, data + size); }
  std::vector<unsigned char>& out() { return out_; }

private:
  std::vector<unsigned char> out_;
};

void writeProperty(ByteWriter& writer, const StringTable& property) {
  writer.text(property.getTableName().view());
  writer.text(property.getPropertyName().view());
  writer.u32(static_cast<std::uint32_t>(property.getType()));
  writer.u32(valueBytesOf(property));
  for (long row = 0; row < property.getRowCount(); ++row) {
    if (!property.HasValue(row)) {
      writer.u8(0);
      continue;
    }
    writer.u8(1);
    if (property.getType() == eLogicalString) {
      writer.text(property.GetValue(row));
    } else {
      writer.u64(static_cast<std::uint64_t>(property.GetIntValue(row)));
    }
  }
}

void writeTable(ByteWriter& writer, const DictionaryInfo& dictionary, int tableNumber) {
  const DictTable& table = *dictionary.getTable(tableNumber);
  writer.u32(static_cast<std::uint32_t>(tableNumber));
  writer.u32(table.getEntrySize());
  writer.u32(static_cast<std::uint32_t>(table.getRowCount()));
  const std::size_t recordStart = writer.out().size();
  if (table.getByteSize()) writer.bytes(table.getBuffer(), table.getByteSize());
  // Name pointers are refreshed from the row names when read; storing them
  // would make the file depend on addresses.
  const std::size_t nameField = nameFieldOf(dictionary, tableNumber, table.getEntrySize());
  if (nameField != DICT_NO_NAME_FIELD) {
    for (long row = 0; row < table.getRowCount(); ++row) {
      std::memset(writer.out().data() + recordStart + row * table.getEntrySize() + nameField, 0,
                  sizeof(const char16_t*));
    }
  }
  // Tables of equal property name are written newest first: AddTable puts
  // each at the front of its run, so the loaded group has the same order.
  const StringTableGroup& group = table.getProperties();
  writer.u32(static_cast<std::uint32_t>(group.size()));
  for (std::size_t runStart = 0; runStart < group.size();) {
    std::size_t runEnd = runStart + 1;
    while (runEnd < group.size() && group.at(runEnd)->getPropertyName() == group.at(runStart)->getPropertyName()) {
      ++runEnd;
    }
    for (std::size_t i = runEnd; i > runStart; --i) writeProperty(writer, *group.at(i - 1));
    runStart = runEnd;
  }
}

// Bounds-checked little-endian reading; every failure names what was being
// read and where.
class ByteReader {
public:
  ByteReader(const unsigned char* data, std::size_t length) : data_(data), length_(length) {}

  std::size_t offset() const { return offset_; }
  std::size_t left() const { return length_ - offset_; }
  void seek(std::size_t offset) { offset_ = offset; }

  [[noreturn]] void fail(const std::string& what) const { fail(what, offset_); }
  [[noreturn]] void fail(const std::string& what, std::size_t at) const {
    throwDictFormatError(kReadFunction, what, at);
  }

  void need(std::size_t bytes, const char* what) const {
    if (left() < bytes) fail(std::string("truncated: ") + what);
  }
  unsigned u8(const char* what) {
    need(1, what);
    return data_[offset_++];
  }
  std::uint32_t u32(const char* what) { return little<std::uint32_t>(what); }
  std::int32_t i32(const char* what) { return static_cast<std::int32_t>(u32(what)); }
  std::uint64_t u64(const char* what) { return little<std::uint64_t>(what); }
  // A string into text; U+0000 inside it is rejected (values are zero-terminated).
  void text(std::u16string& text, const char* what) {
    const std::size_t start = offset_;
    const std::uint32_t units = u32(what);
    if (units > left() / 2) fail(std::string("string longer than the buffer: ") + what, start);
    text.resize(units);
    for (std::uint32_t i = 0; i < units; ++i) {
      text[i] = static_cast<char16_t>(data_[offset_] | (data_[offset_ + 1] << 8));
      if (text[i] == 0) fail(std::string("string contains U+0000: ") + what);
      offset_ += 2;
    }
  }
  const unsigned char* take(std::size_t bytes, const char* what) {
    need(bytes, what);
    const unsigned char* at = data_ + offset_;
    offset_ += bytes;
    return at;
  }

private:
  template <class Unsigned>
  Unsigned little(const char* what) {
    need(sizeof(Unsigned), what);
    Unsigned value = 0;
    for (std::size_t i = 0; i < sizeof(Unsigned); ++i) value |= static_cast<Unsigned>(data_[offset_ + i]) << (8 * i);
    offset_ += sizeof(Unsigned);
    return value;
  }

  const unsigned char* data_;
  std::size_t length_;
  std::size_t offset_ = 0;
};

class DictReader {
public:
  DictReader(DictionaryInfo& dictionary, const unsigned char* buffer, std::size_t length)
      : dictionary_(dictionary), in_(buffer, length), buffer_(buffer), length_(length) {}

  void read() {
    const std::uint32_t tableCount = readHeader();
    std::u16string text;
    in_.text(text, "wire-format name");
    if (dictionary_.getWireFormatName().empty()) dictionary_.setWireFormatName(ZelWstring(text));
    const std::uint32_t dependencyCount = in_.u32("dependency count");
    if (dependencyCount > in_.left() / 4) in_.fail("dependency count larger than the buffer", in_.offset() - 4);
    std::vector<ZelWstring> dependencies;
    dependencies.reserve(dependencyCount);
    for (std::uint32_t i = 0; i < dependencyCount; ++i) {
      in_.text(text, "project dependency");
      dependencies.emplace_back(text);
    }
    dictionary_.setProjectDependencies(std::move(dependencies));
    dictionary_.setDictionaryMode(mode_);
    if (version_ >= 2) readSchemaDocuments();

    long previous = -1;
    for (std::uint32_t i = 0; i < tableCount; ++i) previous = readTable(previous);
    if (in_.left() != 0) in_.fail("bytes left over after the last table");
  }

private:
  // What is given for a dictionary by mistake most often: what it compiles from.
  const char* sourceDocumentKind() const {
    const std::string_view text(reinterpret_cast<const char*>(buffer_), length_);
    const std::size_t at = text.find_first_not_of(" \t\r\n", text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0);
    if (at == std::string_view::npos) return nullptr;
    if (text[at] == '<') return "an XML document (schemas are compiled into a dictionary first)";
    if (text[at] == '{' || text.compare(at, 2, "//") == 0 || text.compare(at, 2, "/*") == 0)
      return "a JSON document (a message-set source is compiled into a dictionary first)";
    return nullptr;
  }

  std::uint32_t readHeader() {
    if (const char* source = sourceDocumentKind()) in_.fail(std::string("not a dictionary but ") + source, 0);
    if (length_ < DICT_FORMAT_HEADER_SIZE) in_.fail("buffer shorter than the dictionary header", 0);
    if (std::memcmp(buffer_, DICT_FORMAT_MAGIC, sizeof DICT_FORMAT_MAGIC) != 0) {
      in_.fail("not a dictionary (bad magic)", 0);
    }
    in_.seek(sizeof DICT_FORMAT_MAGIC);
    version_ = in_.u32("format version");
    if (version_ < 1 || version_ > DICT_FORMAT_VERSION) {
      in_.fail("unsupported format version " + std::to_string(version_), 8);
    }
    if (in_.u32("header size") != DICT_FORMAT_HEADER_SIZE) in_.fail("bad header size", 12);
    const std::uint64_t total = in_.u64("total length");
    if (total != length_) {
      in_.fail("buffer length " + std::to_string(length_) + " differs from the recorded length " +
                   std::to_string(total),
               16);
    }
    const std::uint64_t checksum = in_.u64("checksum");
    const std::size_t covered = DICT_FORMAT_CHECKSUM_OFFSET + 8;
    if (checksum != dictFormatChecksum(buffer_ + covered, length_ - covered)) {
      in_.fail("checksum mismatch", DICT_FORMAT_CHECKSUM_OFFSET);
    }
    const std::uint32_t tableCount = in_.u32("table count");
    if (tableCount > static_cast<std::uint32_t>(dictionary_.getTableCount())) {
      in_.fail("the buffer has " + std::to_string(tableCount) + " tables, the dictionary " +
                   std::to_string(dictionary_.getTableCount()),
               32);
    }
    const std::int32_t base = in_.i32("standard table base");
    if (base != dictionary_.getStandardTableBase()) {
      in_.fail("standard tables start at table " + std::to_string(base) + ", the dictionary's at " +
                   std::to_string(dictionary_.getStandardTableBase()),
               36);
    }
    mode_ = in_.i32("mode word");
    if (in_.u32("reserved header word") != 0) in_.fail("reserved header word is not 0", 44);
    for (int t = 0; t < dictionary_.getTableCount(); ++t) {
      const DictTable* table = dictionary_.getTable(t);
      if (table->getRowCount() != 0 || table->getProperties().size() != 0) {
        throwDictError<ZelFatalException>("dictionaryinfo", __LINE__, kReadFunction, ZelMessages::CP_INTERNAL_ERROR,
                                          "CPI Internal Error", "The dictionary is already loaded.");
      }
    }
    return tableCount;
  }

  void readSchemaDocuments() {
    const std::uint32_t count = in_.u32("schema document count");
    // Every document takes at least its location's count, its flag and its size.
    if (count > in_.left() / 9) in_.fail("schema document count larger than the buffer", in_.offset() - 4);
    SchemaDocuments documents(count);
    std::u16string location;
    for (SchemaDocument& document : documents) {
      in_.text(location, "schema document location");
      document.location = ZelWstring(location).toUtf8();
      const unsigned flag = in_.u8("schema document flag");
      if (flag > 1) in_.fail("bad schema document flag " + std::to_string(flag), in_.offset() - 1);
      document.isRoot = flag == 1;
      const std::uint32_t size = in_.u32("schema document size");
      const unsigned char* bytes = in_.take(size, "schema document");
      document.bytes.assign(reinterpret_cast<const char*>(bytes), size);
    }
    dictionary_.setSchemaDocuments(std::move(documents));
  }

  long readTable(long previous) {
    const std::size_t start = in_.offset();
    const std::uint32_t number = in_.u32("table number");
    if (number >= static_cast<std::uint32_t>(dictionary_.getTableCount()) || static_cast<long>(number) <= previous) {
      in_.fail("table number " + std::to_string(number) + " out of order or out of range", start);
    }
    const std::uint32_t entrySize = in_.u32("entry size");
    const std::int32_t rows = in_.i32("row count");
    if (rows < 0 || (rows > 0 && entrySize == 0) ||
        static_cast<std::uint64_t>(rows) * entrySize > in_.left()) {
      in_.fail("row count " + std::to_string(rows) + " does not fit the buffer", start + 8);
    }
    const int tableNumber = static_cast<int>(number);
    const std::uint32_t actualSize = dictionary_.CreateTable(tableNumber, entrySize, rows);
    DictTable& table = *dictionary_.getTable(tableNumber);
    const unsigned char* records = in_.take(static_cast<std::size_t>(rows) * entrySize, "records");
    if (table.getRowCount() == rows && table.getEntrySize() == actualSize && actualSize != 0) {
      copyRecords(table, tableNumber, records, entrySize, rows);
    }
    const std::uint32_t propertyCount = in_.u32("property count");
    // Every property takes at least its two names, type, size and one flag per row.
    if (propertyCount > in_.left() / (16u + static_cast<std::uint64_t>(rows))) {
      in_.fail("property count larger than the buffer", in_.offset() - 4);
    }
    for (std::uint32_t i = 0; i < propertyCount; ++i) readProperty(table, rows);
    return static_cast<long>(number);
  }

  void copyRecords(DictTable& table, int tableNumber, const unsigned char* records, std::uint32_t entrySize,
                   std::int32_t rows) {
    const std::uint32_t actualSize = table.getEntrySize();
    const std::uint32_t copied = entrySize < actualSize ? entrySize : actualSize;
    const std::size_t nameField = nameFieldOf(dictionary_, tableNumber, actualSize);
    for (std::int32_t row = 0; row < rows; ++row) {
      unsigned char* record = table.getBuffer() + static_cast<std::size_t>(row) * actualSize;
      std::memcpy(record, records + static_cast<std::size_t>(row) * entrySize, copied);
      if (nameField != DICT_NO_NAME_FIELD) std::memset(record + nameField, 0, sizeof(const char16_t*));
    }
  }

  void readProperty(DictTable& table, std::int32_t storedRows) {
    const std::size_t start = in_.offset();
    std::u16string tableName;
    std::u16string propertyName;
    in_.text(tableName, "property table name");
    in_.text(propertyName, "property name");
    const std::uint32_t type = in_.u32("property type");
    if (type != eLogicalString && type != eLogicalInteger) {
      in_.fail("property type " + std::to_string(type) + " is neither String nor Integer", in_.offset() - 4);
    }
    const std::uint32_t valueBytes = in_.u32("property size");
    const std::uint64_t offsets = static_cast<std::uint64_t>(storedRows) * 4u;
    // Stored values never take more room than their serialized form.
    if (storedRows > 0 && (valueBytes < offsets || valueBytes - offsets > in_.left())) {
      in_.fail("property size " + std::to_string(valueBytes) + " does not fit the buffer", in_.offset() - 4);
    }
    if (static_cast<std::uint64_t>(storedRows) > in_.left()) in_.fail("property rows exceed the buffer", start);
    StringTableRef property = table.CreateProperty(tableName.c_str(), propertyName.c_str(),
                                                   static_cast<ELogicalType>(type), valueBytes);
    const std::int32_t rows = property->getRowCount();
    for (std::int32_t row = 0; row < storedRows; ++row) {
      const unsigned flag = in_.u8("value flag");
      if (flag == 0) continue;
      if (flag != 1) in_.fail("bad value flag " + std::to_string(flag), in_.offset() - 1);
      if (type == eLogicalString) {
        in_.text(value_, "property value");
        if (row < rows) property->SetValue(row, std::u16string_view(value_));
      } else {
        const auto value = static_cast<std::int64_t>(in_.u64("property value"));
        if (row < rows) property->SetIntValue(row, value);
      }
    }
  }

  DictionaryInfo& dictionary_;
  ByteReader in_;
  const unsigned char* buffer_;
  std::size_t length_;
  std::int32_t mode_ = 0;
  std::uint32_t version_ = 0;
  std::u16string value_;
};
}  // namespace

std::uint64_t dictFormatChecksum(const unsigned char* bytes, std::size_t length) {
  std::uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a offset basis
  for (std::size_t i = 0; i < length; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001b3ull;  // FNV prime
  }
  return hash;
}

std::vector<unsigned char> writeDictionary(const DictionaryInfo& dictionary) {
  ByteWriter writer;
  writer.bytes(DICT_FORMAT_MAGIC, sizeof DICT_FORMAT_MAGIC);
  const SchemaDocuments& schemaDocuments = dictionary.getSchemaDocuments();
  // Dictionaries without schema documents stay in the first version.
  writer.u32(schemaDocuments.empty() ? 1 : DICT_FORMAT_VERSION);
  writer.u32(DICT_FORMAT_HEADER_SIZE);
  writer.u64(0);  // total length, set below
  writer.u64(0);  // checksum, set below
  writer.u32(static_cast<std::uint32_t>(dictionary.getTableCount()));
  writer.u32(static_cast<std::uint32_t>(dictionary.getStandardTableBase()));
  writer.u32(static_cast<std::uint32_t>(dictionary.getDictionaryMode()));
  writer.u32(0);  // unused; keeps the header at DICT_FORMAT_HEADER_SIZE
  writer.text(dictionary.getWireFormatName().view());
  writer.u32(static_cast<std::uint32_t>(dictionary.getProjectDependencies().size()));
  for (const ZelWstring& dependency : dictionary.getProjectDependencies()) writer.text(dependency.view());
  if (!schemaDocuments.empty()) {
    writer.u32(static_cast<std::uint32_t>(schemaDocuments.size()));
    for (const SchemaDocument& document : schemaDocuments) {
      writer.text(ZelWstring::fromUtf8(document.location).view());
      writer.u8(document.isRoot ? 1 : 0);
      writer.u32(static_cast<std::uint32_t>(document.bytes.size()));
      writer.bytes(reinterpret_cast<const unsigned char*>(document.bytes.data()), document.bytes.size());
    }
  }
  for (int t = 0; t < dictionary.getTableCount(); ++t) writeTable(writer, dictionary, t);

  std::vector<unsigned char>& out = writer.out();
  const std::uint64_t total = out.size();
  for (int i = 0; i < 8; ++i) out[16 + i] = static_cast<unsigned char>(total >> (8 * i));
  const std::size_t covered = DICT_FORMAT_CHECKSUM_OFFSET + 8;
  const std::uint64_t checksum = dictFormatChecksum(out.data() + covered, out.size() - covered);
  for (int i = 0; i < 8; ++i) out[DICT_FORMAT_CHECKSUM_OFFSET + i] = static_cast<unsigned char>(checksum >> (8 * i));
  return std::move(out);
}

void readDictionary(DictionaryInfo& dictionary, const unsigned char* buffer, std::size_t length) {
  if (!buffer && length != 0) throwDictFormatError(kReadFunction, "no buffer", 0);
  static const unsigned char kEmpty[1] = {0};
  DictReader(dictionary, buffer ? buffer : kEmpty, length).read();
}

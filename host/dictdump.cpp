// DictionaryInfo::DumpContents and DumpTableProperties: a readable,
// deterministic listing of every table, row and property.

#include "dictionaryinfo.h"

#include "dictlayout.h"
#include "dictrecords.h"

#include <cinttypes>
#include <cstring>
#include <string>

namespace {
// Text in double quotes, UTF-8, with quotes, backslashes and control
// characters escaped so that every value stays on its line.
std::string quoted(std::u16string_view text) {
  std::string out = "\"";
  std::size_t runStart = 0;
  auto flushRun = [&](std::size_t runEnd) {
    if (runEnd > runStart) out += ZelWstring(text.data() + runStart, runEnd - runStart).toUtf8();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit != u'"' && unit != u'\\' && unit >= 0x20) continue;
    flushRun(i);
    runStart = i + 1;
    if (unit == u'"' || unit == u'\\') {
      out += '\\';
      out += static_cast<char>(unit);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
      out += escape;
    }
  }
  flushRun(text.size());
  return out + "\"";
}

std::string quotedOrNone(const char16_t* text) { return text ? quoted(text) : std::string("(none)"); }

template <class T>
T fieldAt(const unsigned char* record, std::size_t offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

void dumpField(FILE* file, const unsigned char* record, const DictFieldInfo& field) {
  switch (field.kind) {
    case DictFieldKind::Int32:
      std::fprintf(file, " %s=%" PRId32, field.name, fieldAt<std::int32_t>(record, field.offset));
      break;
    case DictFieldKind::Byte:
      std::fprintf(file, " %s=%u", field.name, static_cast<unsigned>(record[field.offset]));
      break;
    case DictFieldKind::Int64:
      std::fprintf(file, " %s=%" PRId64, field.name, fieldAt<std::int64_t>(record, field.offset));
      break;
    case DictFieldKind::Double:
      std::fprintf(file, " %s=%.17g", field.name, fieldAt<double>(record, field.offset));
      break;
    case DictFieldKind::Char: {
      const auto value = fieldAt<std::int32_t>(record, field.offset);
      if (value > 0x20 && value < 0x7F) {
        std::fprintf(file, " %s='%c'", field.name, static_cast<char>(value));
      } else {
        std::fprintf(file, " %s=%" PRId32, field.name, value);
      }
      break;
    }
    case DictFieldKind::InlineText: {
      // Never read past the array, terminated or not.
      char16_t units[DICT_INLINE_NAME_UNITS];
      std::memcpy(units, record + field.offset, sizeof units);
      std::size_t length = 0;
      while (length < DICT_INLINE_NAME_UNITS && units[length] != 0) ++length;
      std::fprintf(file, " %s=%s", field.name, quoted(std::u16string_view(units, length)).c_str());
      break;
    }
  }
}

// Rows of a table the host has no layout for: its 32-bit words, then any odd bytes.
void dumpRawRecord(FILE* file, const unsigned char* record, std::uint32_t size) {
  std::uint32_t at = 0;
  for (; at + 4 <= size; at += 4) std::fprintf(file, " %" PRId32, fieldAt<std::int32_t>(record, at));
  for (; at < size; ++at) std::fprintf(file, " 0x%02X", static_cast<unsigned>(record[at]));
}
}  // namespace

void DictionaryInfo::DumpContents(FILE* file) const {
  std::fprintf(file, "Dictionary: wire format %s, mode %ld, %d tables\n", quoted(wireFormatName_.view()).c_str(),
               mode_, getTableCount());
  std::fprintf(file, "Project dependencies: %zu\n", dependencies_.size());
  for (std::size_t i = 0; i < dependencies_.size(); ++i) {
    std::fprintf(file, "  [%zu] %s\n", i, quoted(dependencies_[i].view()).c_str());
  }
  for (int t = 0; t < getTableCount(); ++t) {
    const DictTable& table = *getTable(t);
    std::fprintf(file, "\nTable %d %s: %" PRId32 " rows, entry size %" PRIu32 "\n", t, DumpContentsName(t).c_str(),
                 table.getRowCount(), table.getEntrySize());
    const DictRecordLayout* layout = standardBase_ >= 0 ? dictStandardLayout(t - standardBase_) : nullptr;
    if (layout && layout->size != table.getEntrySize()) layout = nullptr;  // not the record it should be
    const bool hasRowNames = table.GetRowNames() != nullptr;
    for (long row = 0; row < table.getRowCount(); ++row) {
      const unsigned char* record = table.getBuffer() + static_cast<std::size_t>(row) * table.getEntrySize();
      std::fprintf(file, "  [%ld]", row);
      if (hasRowNames) std::fprintf(file, " name=%s", quotedOrNone(table.GetRowName(row)).c_str());
      if (layout) {
        for (std::size_t f = 0; f < layout->fieldCount; ++f) dumpField(file, record, layout->fields[f]);
      } else {
        dumpRawRecord(file, record, table.getEntrySize());
      }
      std::fputc('\n', file);
    }
    DumpTableProperties(file, t);
  }
}

void DictionaryInfo::DumpTableProperties(FILE* file, int tableNumber) const {
  const DictTable* table = getTable(tableNumber);
  if (!table) return;
  for (const StringTable* property : table->getProperties()) {
    const bool rowNames = property == table->GetRowNames();
    std::fprintf(file, "  property %s/%s (%s)%s\n", quoted(property->getTableName().view()).c_str(),
                 quoted(property->getPropertyName().view()).c_str(),
                 property->getType() == eLogicalString    ? "String"
                 : property->getType() == eLogicalInteger ? "Integer"
                                                          : "other",
                 rowNames ? ": the row names above" : "");
    if (rowNames) continue;
    for (long row = 0; row < property->getRowCount(); ++row) {
      if (!property->HasValue(row)) continue;
      if (property->getType() == eLogicalString) {
        std::fprintf(file, "    [%ld] %s\n", row, quoted(property->GetValue(row)).c_str());
      } else {
        std::fprintf(file, "    [%ld] %" PRId64 "\n", row, property->GetIntValue(row));
      }
    }
  }
}

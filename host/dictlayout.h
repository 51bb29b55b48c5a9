#ifndef HOST_DICTLAYOUT_H
#define HOST_DICTLAYOUT_H

// Field-by-field descriptions of the standard records, for the serializer
// (which clears name pointers) and the dump (which prints every field).

#include <cstddef>
#include <cstdint>

enum class DictFieldKind { Int32, Byte, Int64, Double, Char, InlineText };

struct DictFieldInfo {
  const char* name;
  std::size_t offset;
  DictFieldKind kind;
};

struct DictRecordLayout {
  const char* recordName;
  std::uint32_t size;
  std::size_t nameOffset;  // DICT_NO_NAME_FIELD when the record has no name pointer
  const DictFieldInfo* fields;
  std::size_t fieldCount;
};

// The layout of a standard index 0..13, or null.
const DictRecordLayout* dictStandardLayout(int standardIndex);

#endif

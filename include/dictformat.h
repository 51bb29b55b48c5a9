#ifndef DICTFORMAT_H
#define DICTFORMAT_H

// The serialized dictionary (DictionaryInfo::ToQLBuffer, FromQLBuffer and
// FromExtractFormat; the `.dict` files of `wfhost compile`). All integers are
// little-endian; a string is a u32 count of UTF-16 units followed by the units.
//
//   header (DICT_FORMAT_HEADER_SIZE bytes)
//     0  8  magic DICT_FORMAT_MAGIC
//     8  4  format version: 1, or DICT_FORMAT_VERSION (2) with schema documents
//    12  4  header size
//    16  8  total length of the buffer in bytes
//    24  8  checksum: dictFormatChecksum of every byte from offset 32 on
//    32  4  number of tables that follow
//    36  4  first standard table number (-1: none)
//    40  4  dictionary mode word
//    44  4  reserved, 0
//   then  string  wire-format name
//         u32     number of project dependencies, then each as a string
//   version 2 only (written when the dictionary keeps schema documents):
//         u32     number of schema documents, then per document
//                 string location, u8 1 (named by the user) or 0, u32 byte count, the bytes
//   then per table
//     u32 table number, u32 entry size, i32 row count,
//     row count * entry size record bytes (name pointer fields stored as 0),
//     u32 property count, per property:
//       string table name, string property name, u32 value type (2 String, 4 Integer),
//       u32 value bytes (the property buffer size needed to hold all values),
//       per row: u8 0 (no value) or 1 followed by the value (a string, or an i64).
//
// Any deviation (wrong magic, version or sizes, a count larger than the bytes
// left, a bad flag or type, bytes left over) raises ZelFatalException
// CP_DICTIONARY_FORMAT_ERROR whose inserts say what is wrong and at which
// byte offset. Nothing is read outside the buffer.

#include "zelapi.h"

#include <cstddef>
#include <cstdint>

inline constexpr unsigned char DICT_FORMAT_MAGIC[8] = {'W', 'F', 'D', 'I', 'C', 'T', '\r', '\n'};
constexpr std::uint32_t DICT_FORMAT_VERSION = 2;
constexpr std::size_t DICT_FORMAT_HEADER_SIZE = 48;
constexpr std::size_t DICT_FORMAT_CHECKSUM_OFFSET = 24;

// The 64-bit FNV-1a hash of the bytes: any change of a single byte changes it.
ZEL_API std::uint64_t dictFormatChecksum(const unsigned char* bytes, std::size_t length);

#endif

#include "xmldeclaration.h"

#include "icuconverter.h"

#include <algorithm>
#include <array>
#include <cstring>

std::optional<std::string_view> declaredEncoding(std::string_view declaration) {
  const std::size_t key = declaration.find("encoding");
  if (key == std::string_view::npos) return std::nullopt;
  const std::size_t open = declaration.find_first_of("\"'", key);
  if (open == std::string_view::npos) return std::nullopt;
  const std::size_t close = declaration.find(declaration[open], open + 1);
  if (close == std::string_view::npos) return std::nullopt;
  return declaration.substr(open + 1, close - open - 1);
}

namespace {
// An EBCDIC document's first bytes in one EBCDIC table, as far as they are ASCII.
std::string ebcdicStart(std::string_view start, const char* table) {
  std::string text;
  const IcuConverter converter = openIcuConverter(table);
  if (!converter) return text;
  std::array<UChar, 512> wide{};
  UErrorCode status = U_ZERO_ERROR;
  const int32_t read = ucnv_toUChars(converter.get(), wide.data(), wide.size(), start.data(),
                                     static_cast<int32_t>(std::min(start.size(), wide.size())), &status);
  for (int32_t i = 0; i < std::min<int32_t>(read, wide.size()); ++i) text += wide[i] < 0x80 ? static_cast<char>(wide[i]) : '?';
  return text;
}

std::optional<std::string> encodingOfDeclaration(std::string_view start) {
  if (start.substr(0, 5) != "<?xml") return std::nullopt;
  const std::size_t end = start.find("?>");
  if (end == std::string_view::npos) return std::nullopt;
  const std::optional<std::string_view> declared = declaredEncoding(start.substr(0, end));
  return declared ? std::optional<std::string>(*declared) : std::nullopt;
}
}  // namespace

std::optional<std::string> documentDeclaredEncoding(const void* bytes, std::size_t size) {
  constexpr std::size_t kDeclarationAtMost = 512;
  static constexpr unsigned char kEbcdicStart[] = {0x4C, 0x6F};  // "<?"
  std::string_view start(static_cast<const char*>(bytes), std::min(size, kDeclarationAtMost));
  if (start.size() < sizeof kEbcdicStart || std::memcmp(start.data(), kEbcdicStart, sizeof kEbcdicStart) != 0) {
    if (start.substr(0, 3) == "\xEF\xBB\xBF") start.remove_prefix(3);
    return encodingOfDeclaration(start);
  }
  // Most EBCDIC tables agree on the declaration's characters; the Katakana
  // ones (ibm-290, ibm-930, ibm-1390) move the small letters, the Turkish
  // ones (ibm-1026) the quotation mark.
  for (const char* table : {"ibm-37", "ibm-290", "ibm-1026"})
    if (std::optional<std::string> declared = encodingOfDeclaration(ebcdicStart(start, table))) return declared;
  return std::nullopt;
}

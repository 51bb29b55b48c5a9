#include "asciilayout.h"

#include "icuconverter.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>

namespace wfxml::detail {
namespace {
constexpr std::uint8_t kEbcdicSpace = 0x40;  // in every EBCDIC table
constexpr char16_t kNextLine = 0x85;         // EBCDIC's NL, which the scanner reads as LF

// Each byte read alone in the code page's single-byte state: a shift
// (0x0E of the stateful double-byte forms) reads as no character.
std::optional<EbcdicCharacters> ebcdicCharactersOf(long ccsid) {
  const IcuConverter converter = openIcuConverter(("ibm-" + std::to_string(ccsid)).c_str());
  if (!converter) return std::nullopt;
  EbcdicCharacters characters{};
  for (int byte = 0; byte < 256; ++byte) {
    const char in = static_cast<char>(byte);
    UChar read[2] = {};
    UErrorCode status = U_ZERO_ERROR;
    if (ucnv_toUChars(converter.get(), read, 2, &in, 1, &status) != 1 || U_FAILURE(status)) continue;
    const char16_t c = read[0] == kNextLine ? u'\n' : read[0];
    if (c < 0x80) characters[byte] = static_cast<char>(c);
  }
  return characters;
}
}  // namespace

char AsciiLayout::characterAt(std::string_view document, std::size_t first) const {
  if (first + width > document.size()) return 0;
  if (ebcdic) return (*ebcdic)[static_cast<unsigned char>(document[first])];
  for (std::size_t i = 0; i < width; ++i)
    if (i != low && document[first + i] != 0) return 0;
  const char c = document[first + low];
  return static_cast<unsigned char>(c) < 0x80 ? c : 0;
}

void AsciiLayout::putSpace(std::uint8_t* unit) const {
  std::fill(unit, unit + width, std::uint8_t{0});
  unit[low] = ebcdic ? kEbcdicSpace : std::uint8_t{' '};
}

std::optional<AsciiLayout> asciiLayoutOf(std::string_view document) {
  const auto startsWith = [&](std::string_view prefix) { return document.substr(0, prefix.size()) == prefix; };
  using namespace std::string_view_literals;
  if (startsWith("\xFF\xFE\0\0"sv)) return AsciiLayout{4, 4, 0};
  if (startsWith("\0\0\xFE\xFF"sv)) return AsciiLayout{4, 4, 3};
  if (startsWith("\xFF\xFE"sv)) return AsciiLayout{2, 2, 0};
  if (startsWith("\xFE\xFF"sv)) return AsciiLayout{2, 2, 1};
  if (startsWith("<\0\0\0"sv)) return AsciiLayout{0, 4, 0};
  if (startsWith("\0\0\0<"sv)) return AsciiLayout{0, 4, 3};
  if (startsWith("<\0"sv)) return AsciiLayout{0, 2, 0};
  if (startsWith("\0<"sv)) return AsciiLayout{0, 2, 1};
  const std::size_t first = document.find_first_not_of(" \t\r\n", startsWith("\xEF\xBB\xBF") ? 3 : 0);
  if (first == std::string_view::npos || document[first] != '<') return std::nullopt;
  return AsciiLayout{};
}

std::optional<AsciiLayout> ebcdicLayoutOf(long ccsid) {
  // Kept by CCSID: the code pages are the few EBCDIC tables ICU has.
  static std::mutex mutex;
  static std::map<long, EbcdicCharacters> known;
  const std::lock_guard<std::mutex> lock(mutex);
  auto it = known.find(ccsid);
  if (it == known.end()) {
    const std::optional<EbcdicCharacters> characters = ebcdicCharactersOf(ccsid);
    if (!characters) return std::nullopt;
    it = known.emplace(ccsid, *characters).first;
  }
  AsciiLayout layout;
  layout.ebcdic = &it->second;
  return layout;
}

}  // namespace wfxml::detail

#include "asciilayout.h"

#include "encoding.h"
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
    characters[byte] = c < 0x80 ? static_cast<char>(c) : kOtherCharacter;
  }
  return characters;
}
}  // namespace

SpelledCharacter AsciiLayout::characterFrom(std::string_view document, std::size_t first) const {
  if (first + width > document.size()) return {};
  if (ebcdic) {
    const char c = (*ebcdic)[static_cast<unsigned char>(document[first])];
    return {c, c == 0 ? 0u : 1u};
  }
  const auto unitAt = [&](std::size_t at) {
    std::uint32_t unit = 0;
    for (std::size_t i = 0; i < width; ++i)
      unit = unit << 8 | static_cast<unsigned char>(document[at + (low == 0 ? width - 1 - i : i)]);
    return unit;
  };
  const auto isLowSurrogate = [](std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };
  const std::uint32_t unit = unitAt(first);
  if (unit == 0 || unit > 0x10FFFF || isLowSurrogate(unit)) return {};
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    const bool paired = width == 2 && first + 2 * width <= document.size() && isLowSurrogate(unitAt(first + width));
    return paired ? SpelledCharacter{kOtherCharacter, 2 * width, 2} : SpelledCharacter{};
  }
  return {unit < 0x80 ? static_cast<char>(unit) : kOtherCharacter, width, unit > 0xFFFF ? 2u : 1u};
}

SpelledCharacter AsciiLayout::characterFrom(std::string_view document, std::size_t first, bool& doubleByte) const {
  constexpr unsigned char kShiftOut = 0x0E, kShiftIn = 0x0F;
  if (!ebcdic || first >= document.size()) return characterFrom(document, first);
  const auto byte = static_cast<unsigned char>(document[first]);
  if (doubleByte) {
    if (byte == kShiftIn) {
      doubleByte = false;
      return {kOtherCharacter, 1, 0};
    }
    return first + 2 <= document.size() ? SpelledCharacter{kOtherCharacter, 2, 1} : SpelledCharacter{};
  }
  if (byte == kShiftOut && (*ebcdic)[byte] == 0) {  // a shift, not the control character of a single-byte page
    doubleByte = true;
    return {kOtherCharacter, 1, 0};
  }
  return characterFrom(document, first);
}

void AsciiLayout::putSpaces(std::uint8_t* first, std::size_t bytes) const {
  std::fill(first, first + bytes, std::uint8_t{0});
  for (std::size_t unit = 0; unit < bytes; unit += width) first[unit + low] = ebcdic ? kEbcdicSpace : std::uint8_t{' '};
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

std::optional<AsciiLayout> markupLayoutOf(std::string_view document, const std::u16string& scannerEncoding) {
  if (std::optional<AsciiLayout> layout = asciiLayoutOf(document)) return layout;
  const long ebcdic = nlAsLfCodePage(scannerEncoding, document.data(), document.size());
  return ebcdic ? ebcdicLayoutOf(ebcdic) : std::nullopt;
}

}  // namespace wfxml::detail

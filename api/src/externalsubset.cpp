#include "externalsubset.h"

#include "widenedutf8.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace wfxml::detail {
namespace {

// How a document's characters are laid out: from which byte, how many bytes
// each, and whether the last of them is the low one.
struct CharacterLayout {
  std::size_t start = 0;
  std::size_t width = 1;
  bool bigEndian = false;
};

// A byte-order mark, or '<' as the first character, tells UTF-16 and UTF-32;
// every other document is read a byte at a time. In the encodings Xerces-C
// reads with ASCII markup (UTF-8, ISO-8859, Windows, EUC, Shift_JIS, GB18030,
// Big5) a byte below 0x80 is that ASCII character.
CharacterLayout layoutOf(std::string_view document) {
  const auto startsWith = [&](std::string_view prefix) { return document.substr(0, prefix.size()) == prefix; };
  using namespace std::string_view_literals;
  if (startsWith("\xFF\xFE\0\0"sv)) return {4, 4, false};
  if (startsWith("\0\0\xFE\xFF"sv)) return {4, 4, true};
  if (startsWith("\xFF\xFE"sv)) return {2, 2, false};
  if (startsWith("\xFE\xFF"sv)) return {2, 2, true};
  if (startsWith("<\0\0\0"sv)) return {0, 4, false};
  if (startsWith("\0\0\0<"sv)) return {0, 4, true};
  if (startsWith("<\0"sv)) return {0, 2, false};
  if (startsWith("\0<"sv)) return {0, 2, true};
  return {};
}

// The leading ASCII characters of a UTF-16 or UTF-32 document, a byte each,
// up to the root element's start tag (the id stands before it).
std::string asciiProlog(std::string_view document, const CharacterLayout& layout) {
  constexpr std::size_t kMostCharacters = 64 * 1024;
  const std::size_t low = layout.bigEndian ? layout.width - 1 : 0;
  std::string ascii;
  for (std::size_t at = layout.start; at + layout.width <= document.size() && ascii.size() < kMostCharacters;
       at += layout.width) {
    const auto c = static_cast<unsigned char>(document[at + low]);
    bool otherBytesZero = true;
    for (std::size_t i = 0; i < layout.width; ++i) otherBytesZero = otherBytesZero && (i == low || document[at + i] == 0);
    if (c >= 0x80 || !otherBytesZero) break;
    if (!ascii.empty() && ascii.back() == '<' && c != '?' && c != '!') break;
    ascii += static_cast<char>(c);
  }
  return ascii;
}

// Where the external id of a document's type declaration stands in its
// ASCII characters: offset and length; nullopt when there is none, or when
// it holds an escape of ISO-2022's stateful forms (whose bytes below 0x80
// are not ASCII).
std::optional<std::pair<std::size_t, std::size_t>> externalIdOf(std::string_view document) {
  const std::string_view rest = afterProlog(document);
  if (rest.substr(0, 9) != "<!DOCTYPE") return std::nullopt;
  std::size_t at = 9;
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  const auto skipSpaces = [&] {
    const std::size_t from = at;
    while (at < rest.size() && isSpace(rest[at])) ++at;
    return at > from;
  };
  if (!skipSpaces()) return std::nullopt;
  while (at < rest.size() && !isSpace(rest[at]) && rest[at] != '[' && rest[at] != '>') ++at;  // the root's name
  if (!skipSpaces()) return std::nullopt;
  const std::size_t start = at;
  const bool isPublic = rest.substr(at, 6) == "PUBLIC";
  if (!isPublic && rest.substr(at, 6) != "SYSTEM") return std::nullopt;
  at += 6;
  for (int literal = isPublic ? 2 : 1; literal > 0; --literal) {
    if (!skipSpaces() || at >= rest.size() || (rest[at] != '"' && rest[at] != '\'')) return std::nullopt;
    const std::size_t close = rest.find(rest[at], at + 1);
    if (close == std::string_view::npos) return std::nullopt;
    at = close + 1;
  }
  if (rest.substr(start, at - start).find('\x1B') != std::string_view::npos) return std::nullopt;
  return std::make_pair(static_cast<std::size_t>(rest.data() - document.data()) + start, at - start);
}

}  // namespace

bool blankExternalSubsetId(std::string_view document, std::vector<std::uint8_t>& copy) {
  const CharacterLayout layout = layoutOf(document);
  const std::string wideProlog = layout.width > 1 ? asciiProlog(document, layout) : std::string();
  const std::string_view characters = layout.width > 1 ? std::string_view(wideProlog) : document;
  const auto externalId = externalIdOf(characters);
  if (!externalId) return false;
  if (copy.empty()) copy.assign(document.begin(), document.end());
  for (std::size_t i = externalId->first; i < externalId->first + externalId->second; ++i) {
    if (characters[i] == '\n' || characters[i] == '\r') continue;
    const auto unit = copy.begin() + static_cast<std::ptrdiff_t>(layout.start + i * layout.width);
    std::fill(unit, unit + static_cast<std::ptrdiff_t>(layout.width), std::uint8_t{0});
    unit[layout.bigEndian ? static_cast<std::ptrdiff_t>(layout.width) - 1 : 0] = ' ';
  }
  return true;
}

}  // namespace wfxml::detail

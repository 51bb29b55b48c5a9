#include "externalsubset.h"

#include "asciilayout.h"
#include "widenedutf8.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace wfxml::detail {
namespace {

// The leading ASCII characters of a UTF-16 or UTF-32 document, a byte each,
// up to the root element's start tag (the id stands before it).
std::string asciiProlog(std::string_view document, const AsciiLayout& layout) {
  constexpr std::size_t kMostCharacters = 64 * 1024;
  std::string ascii;
  for (std::size_t at = layout.start; ascii.size() < kMostCharacters; at += layout.width) {
    const char c = layout.characterAt(document, at);
    if (c == 0 || (!ascii.empty() && ascii.back() == '<' && c != '?' && c != '!')) break;
    ascii += c;
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
  const std::optional<AsciiLayout> layout = asciiLayoutOf(document);
  if (!layout) return false;
  const std::string wideProlog = layout->width > 1 ? asciiProlog(document, *layout) : std::string();
  const std::string_view characters = layout->width > 1 ? std::string_view(wideProlog) : document;
  const auto externalId = externalIdOf(characters);
  if (!externalId) return false;
  if (copy.empty()) copy.assign(document.begin(), document.end());
  for (std::size_t i = externalId->first; i < externalId->first + externalId->second; ++i) {
    if (characters[i] == '\n' || characters[i] == '\r') continue;
    const auto unit = copy.begin() + static_cast<std::ptrdiff_t>(layout->start + i * layout->width);
    std::fill(unit, unit + static_cast<std::ptrdiff_t>(layout->width), std::uint8_t{0});
    unit[static_cast<std::ptrdiff_t>(layout->low)] = ' ';
  }
  return true;
}

}  // namespace wfxml::detail

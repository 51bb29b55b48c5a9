#include "externalsubset.h"

#include "asciilayout.h"
#include "encoding.h"
#include "utf8.h"
#include "widenedutf8.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace wfxml::detail {
namespace {

// The leading ASCII characters of a UTF-16, UTF-32 or EBCDIC document, a byte each,
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

// Whether a literal's characters can go blank: the scanner refuses a public
// id's others (a fault to report, not to hide), and a system id's escape or
// shift of ISO-2022's stateful forms makes its bytes below 0x80 other than
// ASCII.
bool canBlank(std::string_view literal, bool isPublicId) {
  constexpr std::string_view kPublicIdPunctuation = " \r\n-'()+,./:=?;!*#@$_%";
  return std::all_of(literal.begin(), literal.end(), [&](char c) {
    if (isPublicId)
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
             kPublicIdPunctuation.find(c) != std::string_view::npos;
    return c != '\x1B' && c != '\x0E' && c != '\x0F';
  });
}

// Where the external id of a document's type declaration stands in its
// ASCII characters: offset and length; nullopt when there is none, or when
// a literal of it cannot go blank.
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
    if (close == std::string_view::npos ||
        !canBlank(rest.substr(at + 1, close - at - 1), isPublic && literal == 2))
      return std::nullopt;
    at = close + 1;
  }
  return std::make_pair(static_cast<std::size_t>(rest.data() - document.data()) + start, at - start);
}

}  // namespace

bool blankExternalSubsetId(std::string_view document, const std::u16string& scannerEncoding,
                           std::vector<std::uint8_t>& copy) {
  std::optional<AsciiLayout> layout = asciiLayoutOf(document);
  if (!layout)
    if (const long ebcdic = nlAsLfCodePage(scannerEncoding, document.data(), document.size())) layout = ebcdicLayoutOf(ebcdic);
  if (!layout) return false;
  const std::string prolog = layout->isAscii() ? std::string() : asciiProlog(document, *layout);
  const std::string_view characters = layout->isAscii() ? document : std::string_view(prolog);
  const auto externalId = externalIdOf(characters);
  if (!externalId) return false;
  // Bytes that are not UTF-8 where the scanner reads UTF-8: a fault to report, not to blank.
  if (layout->isAscii() && firstNonUtf8(document.substr(externalId->first, externalId->second)) != std::string_view::npos &&
      readsAsUtf8(document.data(), document.size(), scannerEncoding))
    return false;
  if (copy.empty()) copy.assign(document.begin(), document.end());
  for (std::size_t i = externalId->first; i < externalId->first + externalId->second; ++i)
    if (characters[i] != '\n' && characters[i] != '\r') layout->putSpace(&copy[layout->start + i * layout->width]);
  return true;
}

}  // namespace wfxml::detail

#include "externalsubset.h"

#include "asciilayout.h"
#include "encoding.h"
#include "icuconverter.h"
#include "undefinedbytes.h"
#include "utf8.h"
#include "widenedutf8.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace wfxml::detail {
namespace {

// Follows a prolog a character at a time to where its document type's
// external id can no longer stand: the root's start tag, or the '[' or '>'
// after the id's place in the type declaration. Comments, instructions and
// the declaration's literals may hold those characters.
class PrologWalk {
public:
  // Whether the walk goes on after the last character of `text` (the prolog so far).
  bool goesOnAfter(std::string_view text) {
    const char c = text.back();
    const auto ends = [&](std::string_view tail) {
      return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
    };
    switch (place_) {
      case Place::kBetweenMarkup:
        if (ends("<!--")) enter(Place::kComment, text);
        else if (ends("<?")) enter(Place::kInstruction, text);
        else if (ends("<!DOCTYPE")) place_ = Place::kDocumentType;
        return text.size() < 2 || text[text.size() - 2] != '<' || c == '?' || c == '!';
      case Place::kComment:  // its end may not share the start's dashes
        if (text.size() >= opened_ + 3 && ends("-->")) place_ = Place::kBetweenMarkup;
        return true;
      case Place::kInstruction:
        if (text.size() >= opened_ + 2 && ends("?>")) place_ = Place::kBetweenMarkup;
        return true;
      case Place::kDocumentType:
        if (c == '"' || c == '\'') {
          quote_ = c;
          place_ = Place::kLiteral;
        }
        return c != '[' && c != '>';
      case Place::kLiteral:
        if (c == quote_) place_ = Place::kDocumentType;
        return true;
    }
    return false;
  }

private:
  enum class Place { kBetweenMarkup, kComment, kInstruction, kDocumentType, kLiteral };
  void enter(Place markup, std::string_view text) {
    place_ = markup;
    opened_ = text.size();
  }

  Place place_ = Place::kBetweenMarkup;
  std::size_t opened_ = 0;  // characters up to the end of the markup's start
  char quote_ = 0;
};

// The prolog of a UTF-16, UTF-32 or EBCDIC document (see PrologWalk), a
// byte a character (kOtherCharacter for those that are not ASCII), with
// the byte each starts at; it ends early at bytes that are no character.
struct ReadProlog {
  std::string characters;
  std::vector<std::size_t> starts;  // and where the last ends
  std::vector<std::size_t> columns;  // the scanner's, of each

  ReadProlog(std::string_view document, const AsciiLayout& layout) : starts{layout.start} {
    PrologWalk walk;
    bool doubleByte = false;
    for (SpelledCharacter c = layout.characterFrom(document, starts.back(), doubleByte); c.bytes != 0;
         c = layout.characterFrom(document, starts.back(), doubleByte)) {
      characters += c.ascii;
      starts.push_back(starts.back() + c.bytes);
      columns.push_back(c.columns);
      if (!walk.goesOnAfter(characters)) break;
    }
  }
};

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
// characters (a byte each, as ReadProlog has them): offset and length; nullopt when there is none, or when
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

// The columns the scanner counts for bytes of a document it reads a byte a
// unit (their UTF-16 units): UTF-8's, or those of the code page it reads
// through ICU; else a byte a column.
std::size_t scannerColumnsOf(std::string_view bytes, std::string_view document, const std::u16string& scannerEncoding) {
  if (std::all_of(bytes.begin(), bytes.end(), [](char b) { return static_cast<unsigned char>(b) < 0x80; })) return bytes.size();
  if (readsAsUtf8(document.data(), document.size(), scannerEncoding))
    return std::count_if(bytes.begin(), bytes.end(), [](char b) { return (static_cast<unsigned char>(b) & 0xC0) != 0x80; }) +
           std::count_if(bytes.begin(), bytes.end(), [](char b) { return static_cast<unsigned char>(b) >= 0xF0; });
  const std::string name = icuCodePageName(document.data(), document.size(), scannerEncoding);
  IcuConverter converter;
  if (!name.empty()) converter = openIcuConverter(name.c_str());
  if (!converter) return bytes.size();
  UErrorCode status = U_ZERO_ERROR;  // measured, not written: the status says the buffer is short
  const int32_t units = ucnv_toUChars(converter.get(), nullptr, 0, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status) ? static_cast<std::size_t>(units) : bytes.size();
}

}  // namespace

std::optional<BlankedId> blankExternalSubsetId(std::string_view document, const std::u16string& scannerEncoding,
                                               std::vector<std::uint8_t>& copy) {
  const std::optional<AsciiLayout> layout = markupLayoutOf(document, scannerEncoding);
  if (!layout) return std::nullopt;
  const auto isLineEnd = [](char c) { return c == '\n' || c == '\r'; };
  // Whether the declaration goes on after the id on its last line (or the document ends there).
  const auto lineGoesOn = [&](std::string_view after) {
    const std::size_t next = after.find_first_not_of(" \t");
    return next == std::string_view::npos || !isLineEnd(after[next]);
  };
  BlankedId blanked;
  if (layout->isAscii()) {
    const auto externalId = externalIdOf(document);
    if (!externalId) return std::nullopt;
    const std::string_view id = document.substr(externalId->first, externalId->second);
    // Bytes that are not UTF-8 where the scanner reads UTF-8: a fault to report, not to blank.
    if (firstNonUtf8(id) != std::string_view::npos && readsAsUtf8(document.data(), document.size(), scannerEncoding))
      return std::nullopt;
    if (lineGoesOn(document.substr(externalId->first + externalId->second))) {
      const std::string_view lastLine = id.substr(id.find_last_of("\r\n") + 1);  // npos + 1: all of it
      blanked.columnsAdded = static_cast<long>(lastLine.size()) - static_cast<long>(scannerColumnsOf(lastLine, document, scannerEncoding));
    }
    if (copy.empty()) copy.assign(document.begin(), document.end());
    for (std::size_t at = externalId->first; at < externalId->first + externalId->second; ++at)
      if (!isLineEnd(document[at])) copy[at] = ' ';
    return blanked;
  }
  const ReadProlog prolog(document, *layout);
  const auto externalId = externalIdOf(prolog.characters);
  if (!externalId) return std::nullopt;
  const std::size_t first = externalId->first, end = first + externalId->second;
  if (lineGoesOn(std::string_view(prolog.characters).substr(end)))
    for (std::size_t i = end; i > first && !isLineEnd(prolog.characters[i - 1]); --i) {
      const std::size_t units = (prolog.starts[i] - prolog.starts[i - 1]) / layout->width;
      blanked.columnsAdded += static_cast<long>(units) - static_cast<long>(prolog.columns[i - 1]);
    }
  if (copy.empty()) copy.assign(document.begin(), document.end());
  for (std::size_t i = first; i < end; ++i)
    if (!isLineEnd(prolog.characters[i])) layout->putSpaces(&copy[prolog.starts[i]], prolog.starts[i + 1] - prolog.starts[i]);
  return blanked;
}

}  // namespace wfxml::detail

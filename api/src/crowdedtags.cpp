#include "crowdedtags.h"

#include "error.h"
#include "widenedutf8.h"

#include <algorithm>
#include <cstring>

namespace wfxml::detail {
namespace {

constexpr std::size_t npos = std::string_view::npos;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// How the document spells the characters of its markup; nullopt where it is
// not read here.
std::optional<AsciiLayout> layoutOf(std::string_view document, const std::u16string& scannerEncoding) {
  std::optional<AsciiLayout> layout = markupLayoutOf(document, scannerEncoding);
  if (layout && layout->isAscii() && document.substr(0, 3) == "\xEF\xBB\xBF") layout->start = 3;  // no column of the line's
  if (!layout && scannerEncoding == u"UTF-16LE") layout = AsciiLayout{0, 2, 0};  // blanks before the first '<'
  if (!layout && scannerEncoding == u"UTF-16BE") layout = AsciiLayout{0, 2, 1};
  return layout;
}

// The byte of an ASCII character in the layout's low byte (an EBCDIC table's own).
char byteOf(const AsciiLayout& layout, char ascii) {
  if (!layout.ebcdic) return ascii;
  for (int byte = 0; byte < 256; ++byte)
    if ((*layout.ebcdic)[byte] == ascii) return static_cast<char>(byte);
  return 0;
}

// Steps through a document a character at a time from a character's first
// byte, keeping the shift state of double-byte EBCDIC (which is single-byte
// at any '<' of markup); ascii() is the current character's ASCII, 0 for
// another one or past the end.
class CharacterCursor {
public:
  CharacterCursor(std::string_view document, const AsciiLayout& layout, std::size_t at)
      : document_(document), layout_(layout), at_(at) {
    read();
  }
  std::size_t at() const { return at_; }
  bool atEnd() const { return at_ >= document_.size(); }
  char ascii() const { return ascii_; }
  void advance() {
    at_ += std::max(character_.bytes, layout_.width);  // a byte that is no character is stepped over
    read();
  }

private:
  void read() {
    character_ = layout_.characterFrom(document_, at_, doubleByte_);
    ascii_ = character_.bytes == 0 || character_.ascii == kOtherCharacter ? 0 : character_.ascii;
  }

  std::string_view document_;
  const AsciiLayout& layout_;
  std::size_t at_;
  bool doubleByte_ = false;
  SpelledCharacter character_;
  char ascii_ = 0;
};

class TagReader {
public:
  TagReader(std::string_view document, const AsciiLayout& layout) : document_(document), layout_(layout) {}

  // The first byte of the '=' of the first attribute past the bound; npos for none.
  std::size_t firstCrowded() const {
    const char lt = byteOf(layout_, '<'), eq = byteOf(layout_, '=');
    if (lt == 0 || eq == 0) return npos;
    const char* const base = document_.data();
    std::size_t at = layout_.start;
    std::size_t tag = npos;  // the last '<' before the run of '=' counted
    std::size_t run = 0;
    bool read = false;  // the tag was read, the rest of its run need not be
    while (at < document_.size()) {
      const void* found = std::memchr(base + at, eq, document_.size() - at);
      if (!found) return npos;
      const std::size_t equals = static_cast<std::size_t>(static_cast<const char*>(found) - base);
      // A '<' between two '=' (a byte of it that is not one counts as none) begins another run.
      for (std::size_t end = equals; end > at;) {
        const void* open = memrchr(base + at, lt, end - at);
        if (!open) break;
        const std::size_t candidate = static_cast<std::size_t>(static_cast<const char*>(open) - base);
        if (isCharacter(candidate, '<')) {
          tag = candidate;
          run = 0;
          read = false;
          break;
        }
        end = candidate;
      }
      // Each attribute has its '=': a tag of more has a longer run (a '=' of
      // text or of a comment lengthens one too, which reading the tag tells).
      if (tag != npos && ++run > kAttributesPerElementLimit && !read) {
        if (const std::size_t past = attributePastBound(tag - layout_.low); past != npos) return past;
        read = true;
      }
      at = equals + 1;
    }
    return npos;
  }

private:
  bool isCharacter(std::size_t at, char ascii) const {
    return at >= layout_.start + layout_.low && (at - layout_.start) % layout_.width == layout_.low &&
           layout_.characterAt(document_, at - layout_.low) == ascii;
  }
  // The '=' of the attribute past the bound of the start tag whose '<' is at
  // `tag`; npos where it has no more or is no start tag. Reading stops where
  // the tag is not well-formed: the scanner refuses it there.
  std::size_t attributePastBound(std::size_t tag) const {
    CharacterCursor cursor(document_, layout_, tag);
    cursor.advance();
    const auto skipWhile = [&](auto&& goesOn) {
      while (!cursor.atEnd() && goesOn(cursor.ascii())) cursor.advance();
    };
    const char first = cursor.ascii();
    if (first == '!' || first == '?' || first == '/' || isBlank(first)) return npos;
    skipWhile([](char c) { return !isBlank(c) && c != '/' && c != '>'; });  // the name
    for (std::size_t attributes = 0;; ++attributes) {
      skipWhile(isBlank);
      skipWhile([](char c) { return !isBlank(c) && c != '=' && c != '/' && c != '>'; });
      skipWhile(isBlank);
      if (cursor.ascii() != '=') return npos;
      if (attributes == kAttributesPerElementLimit) return cursor.at();
      cursor.advance();
      skipWhile(isBlank);
      const char quote = cursor.ascii();
      if (quote != '"' && quote != '\'') return npos;
      cursor.advance();
      skipWhile([quote](char c) { return c != quote && c != '<'; });
      if (cursor.ascii() != quote) return npos;
      cursor.advance();
    }
  }

  std::string_view document_;
  const AsciiLayout& layout_;
};

// Line and column of the character at byte `offset`, as the scanner counts them.
CrowdedTag placeOf(std::string_view document, const AsciiLayout& layout, std::size_t offset,
                   const std::u16string& scannerEncoding) {
  if (layout.isAscii()) {
    TextPosition position(readsAsUtf8(document.data(), document.size(), scannerEncoding));
    position.advance(document.substr(layout.start, offset - layout.start));
    return {position.line(), position.column()};
  }
  CharacterPosition position;
  bool doubleByte = false;
  for (std::size_t at = layout.start; at < offset;) {
    const SpelledCharacter character = layout.characterFrom(document, at, doubleByte);
    if (character.bytes == 0) break;
    position.take(character.ascii, character.columns);
    at += character.bytes;
  }
  return position.place();
}

}  // namespace

std::optional<CrowdedTag> firstCrowdedTag(const void* bytes, std::size_t size, const std::u16string& scannerEncoding) {
  if (!mayHoldCrowdedTags(size)) return std::nullopt;
  const std::string_view document(static_cast<const char*>(bytes), size);
  const std::optional<AsciiLayout> layout = layoutOf(document, scannerEncoding);
  if (!layout) return std::nullopt;
  const std::size_t past = TagReader(document, *layout).firstCrowded();
  if (past == npos) return std::nullopt;
  return placeOf(document, *layout, past, scannerEncoding);
}

CrowdedTagWatch::CrowdedTagWatch(std::string_view firstBytes, const std::u16string& scannerEncoding)
    : layout_(layoutOf(firstBytes, scannerEncoding)),
      bytePosition_(readsAsUtf8(firstBytes.data(), firstBytes.size(), scannerEncoding)) {
  if (layout_) skip_ = layout_->start;
}

std::optional<CrowdedTag> CrowdedTagWatch::feed(std::string_view part) {
  if (!layout_) return std::nullopt;
  const std::size_t skipped = std::min(skip_, part.size());
  skip_ -= skipped;
  part.remove_prefix(skipped);
  return layout_->isAscii() ? feedBytes(part) : feedUnits(part);
}

bool CrowdedTagWatch::take(char c) {
  switch (state_) {
    case State::kText:
      if (c == '<') state_ = State::kOpened;
      break;
    case State::kOpened:
      if (c == '!' || c == '?' || c == '/' || isBlank(c)) {
        state_ = State::kText;
      } else if (c != '<') {
        state_ = State::kInTag;
        attributes_ = 0;
      }
      break;
    case State::kInTag:
      if (c == '"' || c == '\'') {
        state_ = State::kQuoted;
        quote_ = c;
      } else if (c == '=') {
        return ++attributes_ > kAttributesPerElementLimit;
      } else if (c == '>') {
        state_ = State::kText;
      } else if (c == '<') {
        state_ = State::kOpened;
      }
      break;
    case State::kQuoted:  // no value holds '<': a quote of a comment's or text's
      if (c == quote_) state_ = State::kInTag;
      if (c == '<') state_ = State::kOpened;
      break;
  }
  return false;
}

std::optional<CrowdedTag> CrowdedTagWatch::feedBytes(std::string_view part) {
  for (std::size_t at = 0; at < part.size(); ++at) {
    if (state_ == State::kText || state_ == State::kQuoted) {  // to the next '<', or the quote's end
      const char* const from = part.data() + at;
      const void* const quote = state_ == State::kQuoted ? std::memchr(from, quote_, part.size() - at) : nullptr;
      const void* const open =
          std::memchr(from, '<', quote ? static_cast<std::size_t>(static_cast<const char*>(quote) - from) : part.size() - at);
      const void* const next = open ? open : quote;
      if (!next) break;
      at = static_cast<std::size_t>(static_cast<const char*>(next) - part.data());
    }
    if (take(part[at])) {
      bytePosition_.advance(part.substr(0, at));
      return CrowdedTag{bytePosition_.line(), bytePosition_.column()};
    }
  }
  bytePosition_.advance(part);
  return std::nullopt;
}

std::optional<CrowdedTag> CrowdedTagWatch::feedUnits(std::string_view part) {
  if (layout_->ebcdic) return feedEbcdic(part);
  const std::size_t width = layout_->width;
  std::size_t at = 0;
  if (!unit_.empty()) {
    at = std::min(width - unit_.size(), part.size());
    unit_.append(part.substr(0, at));
    if (unit_.size() < width) return std::nullopt;
    if (takeUnit(unit_)) return unitPosition_.place();
    unit_.clear();
  }
  for (; at + width <= part.size(); at += width)
    if (takeUnit(part.substr(at, width))) return unitPosition_.place();
  unit_.assign(part.substr(at));
  return std::nullopt;
}

// A byte at a time: a character of double-byte EBCDIC, a pair after a shift
// out, may be split between parts; the shifts are no characters of markup.
std::optional<CrowdedTag> CrowdedTagWatch::feedEbcdic(std::string_view part) {
  for (const char byte : part) {
    unit_ += byte;
    const bool inPairs = doubleByte_;
    const SpelledCharacter character = layout_->characterFrom(unit_, 0, doubleByte_);
    if (inPairs && character.bytes == 0) continue;  // the pair's first byte
    unit_.clear();
    if (character.bytes != 0 && character.columns == 0) continue;  // a shift
    const char c = character.bytes == 0 || character.ascii == kOtherCharacter ? 0 : character.ascii;
    if (take(c)) return unitPosition_.place();
    unitPosition_.take(c, 1);
  }
  return std::nullopt;
}

// A unit is a column, as the scanner counts UTF-16's (a surrogate pair two).
bool CrowdedTagWatch::takeUnit(std::string_view unit) {
  const char c = layout_->characterAt(unit, 0);
  if (take(c)) return true;
  unitPosition_.take(c, 1);
  return false;
}

void CharacterPosition::take(char ascii, std::size_t columns) {
  const bool lineEnd = ascii == '\n' || ascii == '\r';
  if (lineEnd && (ascii == '\r' || !afterCr_)) {
    ++place_.line;
    place_.column = 1;
  } else if (!lineEnd) {
    place_.column += static_cast<long>(columns);
  }
  afterCr_ = ascii == '\r';
}

std::string crowdedTagReason() {
  return "an element has more than " + std::to_string(kAttributesPerElementLimit) +
         " attributes (namespace declarations included), more than the parser reads in one start tag";
}

void refuseCrowdedTags(const void* bytes, std::size_t size, const std::u16string& scannerEncoding) {
  if (const std::optional<CrowdedTag> tag = firstCrowdedTag(bytes, size, scannerEncoding))
    throwDocumentRefusal(tag->line, tag->column, crowdedTagReason(), 0, "refuseCrowdedTags");
}

}  // namespace wfxml::detail

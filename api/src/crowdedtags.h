#ifndef WFXML_SRC_CROWDEDTAGS_H
#define WFXML_SRC_CROWDEDTAGS_H

// Xerces-C's scanners read an element's attributes in time that grows with
// their number squared: each prefix is looked up among the declarations in
// scope one by one, and attributes of one local name share a hash chain.
// 40,000 attributes on one element took seconds to parse and half a minute
// to validate. Every reading of a document refuses an element of more
// attributes than a bound before a scanner reads it, as deep nesting and
// entity expansion are bounded.

#include "asciilayout.h"
#include "recordcutter.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace wfxml::detail {

// Attributes of one element, namespace declarations included.
constexpr std::size_t kAttributesPerElementLimit = 10000;

// The fewest characters an attribute takes: a blank, a name of one, '=' and two quotes.
constexpr std::size_t kShortestAttribute = 5;

// Whether a document of size bytes may hold an element of more attributes
// than the bound: a short one is passed without reading it.
constexpr bool mayHoldCrowdedTags(std::size_t size) {
  return size > kAttributesPerElementLimit * kShortestAttribute;
}

// Where an element has more attributes than the bound: line and column, as
// the scanner counts them.
struct CrowdedTag {
  long line = 0;
  long column = 0;
};

// The first start tag of a document (or of an entity's text within its
// document type) with more attributes than kAttributesPerElementLimit, at
// the '=' of the attribute past the bound; nullopt for none. The scanner's encoding as scannerEncodingOf names it
// (empty for none) tells an EBCDIC document's characters. The document is
// searched for runs of '=' between '<', which costs a fraction of a percent
// of a parse, and only a long run's tag is read.
std::optional<CrowdedTag> firstCrowdedTag(const void* bytes, std::size_t size, const std::u16string& scannerEncoding);

// Lines and columns counted a character at a time, as the scanner counts
// them: a line ends at LF, CR LF or CR; a character counts its UTF-16 units.
class CharacterPosition {
public:
  // Takes a character (its ASCII, 0 for another).
  void take(char ascii, std::size_t columns);
  // Of the next character.
  const CrowdedTag& place() const { return place_; }

private:
  CrowdedTag place_{1, 1};
  bool afterCr_ = false;
};

// The same search for a document read in parts, as they come: each part is
// read character by character, the text between tags and within quotes
// skipped at once where the document's characters are its bytes.
class CrowdedTagWatch {
public:
  // firstBytes: the document's first part, which tells how it spells its
  // characters; the scanner's encoding as for firstCrowdedTag.
  CrowdedTagWatch(std::string_view firstBytes, const std::u16string& scannerEncoding);
  // The first crowded tag once a part holds its attribute past the bound;
  // nullopt before. Parts come in order, the first part first.
  std::optional<CrowdedTag> feed(std::string_view part);

private:
  enum class State { kText, kOpened, kInTag, kQuoted };
  // Takes the next character (its ASCII, 0 for another): true at the '=' of
  // the attribute past the bound.
  bool take(char c);
  std::optional<CrowdedTag> feedBytes(std::string_view part);
  std::optional<CrowdedTag> feedUnits(std::string_view part);
  std::optional<CrowdedTag> feedEbcdic(std::string_view part);
  bool takeUnit(std::string_view unit);

  std::optional<AsciiLayout> layout_;  // none: a document whose markup is not read here
  State state_ = State::kText;
  char quote_ = 0;
  std::size_t attributes_ = 0;
  std::size_t skip_ = 0;  // of a byte-order mark
  std::string unit_;      // a character's bytes split between parts
  bool doubleByte_ = false;  // within a shift out of double-byte EBCDIC
  TextPosition bytePosition_;  // where characters are bytes
  CharacterPosition unitPosition_;  // else
};

// The reason the parse and the check give for such a tag.
std::string crowdedTagReason();

// Throws the scanner's refusal (throwDocumentRefusal) at the first such tag.
void refuseCrowdedTags(const void* bytes, std::size_t size, const std::u16string& scannerEncoding);

}  // namespace wfxml::detail

#endif

#ifndef HOST_MARKUPCONTEXT_H
#define HOST_MARKUPCONTEXT_H

#include <cstdint>
#include <string_view>

// Follows an XML document as it is written, piece by piece, to tell whether
// a character at the current place may be written as a character reference:
// in character data and attribute values one reads back as the character;
// in a name, comment, processing instruction, CDATA section or the DOCTYPE
// it is not markup at all, or not recognised there. Relies on what the
// writer escapes: character data and attribute values hold no '<', and an
// attribute value no quote of its own kind.
class MarkupContext {
public:
  // Moves over text, which continues the text passed before.
  void pass(std::u16string_view text);
  bool takesReference() const { return state_ == State::Content || state_ == State::AttributeValue; }

private:
  // Comments, processing instructions and literals are the same inside
  // the DOCTYPE's internal subset (inSubset_) and outside; only where they
  // return to differs.
  enum class State : std::uint8_t {
    Content,
    MarkupStart,     // after '<'
    MarkupBang,      // after "<!"
    Tag,             // a start or end tag, outside attribute values
    AttributeValue,  // quote_ ends it
    Comment,
    ProcessingInstruction,
    CData,
    Doctype,  // outside its literals and internal subset
    Subset,   // the internal subset, outside its declarations' literals, comments and PIs
    Literal,  // of the DOCTYPE or a declaration: quote_ ends it
  };

  // Steps over one unit; the states a search skips ahead in are not stepped.
  void step(char16_t unit);
  // Ends of comments ("-->"), PIs ("?>") and CDATA sections ("]]>"): the
  // run of the closing units just seen.
  bool closes(char16_t unit, char16_t repeated, int needed);
  // A quote starts the literal state given (an attribute value ...).
  bool opensLiteral(char16_t unit, State literal);
  // Where a comment, PI or literal ends up.
  State outside() const { return inSubset_ ? State::Subset : State::Content; }

  State state_ = State::Content;
  bool inSubset_ = false;
  char16_t quote_ = 0;
  int run_ = 0;
};

#endif

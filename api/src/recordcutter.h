#ifndef WFXML_SRC_RECORDCUTTER_H
#define WFXML_SRC_RECORDCUTTER_H

#include "recordsplitter.h"

#include "wfxml/wfxml.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {

// The line and column after text read in order, as the parse counts them: a
// line ends at LF, CR LF or CR; a column is a UTF-16 unit (in UTF-8 each
// byte that starts a character, twice for four bytes; elsewhere each byte).
class TextPosition {
public:
  explicit TextPosition(bool utf8) : utf8_(utf8) {}
  void advance(std::string_view text);
  long line() const { return line_; }
  long column() const { return column_; }

private:
  long characters(std::string_view text) const;

  bool utf8_;
  long line_ = 1;
  long column_ = 1;
  bool afterCr_ = false;  // an LF next ends no line
};

// Reads a document's markup byte by byte, without parsing it, to find the
// places between records where it may be cut (RecordCutter). It tracks the
// open elements outside records with their start tags as written, so that
// a piece's head restores the context a record needs: the prolog (with
// any DTD) and the ancestors with their attributes and namespace
// declarations. Whatever it does not understand (a code page that is not a
// superset of ASCII, markup out of place) ends the cutting: the rest of the
// document stays one piece, and the parse reports the fault.
class RecordScanner {
public:
  RecordScanner(std::string_view record, std::size_t pieceSize, std::string_view encoding);

  void feed(const void* bytes, std::size_t size, const RecordCutter::PieceHandler& onPiece);
  void finish(const RecordCutter::PieceHandler& onPiece);

private:
  struct OpenElement {
    std::string name;      // as written, with its prefix: the end tag's
    std::string startTag;  // as written
  };

  // Decides, once the document's first bytes have come, whether its code
  // page lets it be cut; false until then.
  bool checkEncoding();
  // One past the markup construct that starts at buffer_[at] ('<'); npos
  // when it ends beyond the bytes fed so far.
  std::size_t markupEnd(std::size_t at) const;
  std::size_t doctypeEnd(std::size_t at) const;
  // Returns whether a record ended with it.
  bool take(std::size_t at, std::size_t end);
  bool startTag(std::string_view tag, std::size_t at);
  bool endTag(std::string_view tag);
  void cut(const RecordCutter::PieceHandler& onPiece, bool last);
  bool inRecord() const { return recordLevels_ > 0; }

  RecordPattern pattern_;
  std::size_t pieceSize_;
  std::string encoding_;  // the caller's; empty: the document says
  bool encodingKnown_ = false;
  bool utf8_ = true;  // how columns count characters
  bool cutting_ = true;
  std::string buffer_;          // the document from the current piece on
  std::uint64_t bufferAt_ = 0;  // buffer_[0]'s offset in the document
  std::size_t scanned_ = 0;     // in buffer_
  std::string prolog_;          // before the message element
  bool rootSeen_ = false;
  std::string head_;  // the current piece's
  RecordCutter::Place place_;    // the current piece's
  TextPosition position_{true};  // of buffer_[0] in the document
  std::vector<OpenElement> open_;
  std::vector<std::string> openNames_;  // local names, for the pattern
  int recordLevels_ = 0;                // open elements of the current record
};

}  // namespace wfxml::detail

#endif

#include "recordcutter.h"

#include "encoding.h"
#include "error.h"
#include "schemavalidator.h"
#include "state.h"
#include "xmldeclaration.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <optional>
#include <utility>

namespace wfxml::detail {
namespace {

constexpr std::size_t npos = std::string::npos;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// Code pages whose markup characters are the ASCII bytes and whose other
// characters never use them.
bool keepsMarkupInAscii(std::string_view encoding) {
  const std::string name = lowerCase(encoding);
  for (const std::string_view same : {"utf-8", "utf8", "us-ascii", "ascii", "latin1"})
    if (name == same) return true;
  for (const std::string_view family : {"iso-8859-", "iso8859-", "windows-125", "cp125"})
    if (name.compare(0, family.size(), family) == 0) return true;
  return false;
}

// Whether every quote ("..." or '...') the text opens is closed in it.
bool quotesClose(std::string_view text) {
  char open = 0;
  for (const char c : text) {
    if (open == 0 && (c == '"' || c == '\'')) {
      open = c;
    } else if (c == open) {
      open = 0;
    }
  }
  return open == 0;
}

std::string_view localName(std::string_view name) {
  const std::size_t colon = name.find(':');
  return colon == npos ? name : name.substr(colon + 1);
}

bool isUtf8(std::string_view encoding) {
  const std::string name = lowerCase(encoding);
  return name.empty() || name == "utf-8" || name == "utf8";
}

}  // namespace

void TextPosition::advance(std::string_view text) {
  if (text.empty()) return;
  std::size_t lineStart = 0;  // after the last line end in text
  bool ended = false;
  if (text.find('\r') == npos) {  // the common case, counted faster
    const long ends = static_cast<long>(std::count(text.begin(), text.end(), '\n'));
    line_ += ends - (afterCr_ && text.front() == '\n' ? 1 : 0);
    if (ends > 0) {
      ended = true;
      lineStart = text.rfind('\n') + 1;
    }
    afterCr_ = false;
  } else {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '\n' || c == '\r') {
        if (c == '\r' || !afterCr_) ++line_;
        ended = true;
        lineStart = i + 1;
      }
      afterCr_ = c == '\r';
    }
  }
  const long after = characters(text.substr(lineStart));
  column_ = ended ? 1 + after : column_ + after;
}

long TextPosition::characters(std::string_view text) const {
  if (!utf8_) return static_cast<long>(text.size());
  // A character beyond 16 bits (four bytes) counts twice, as the parse
  // counts UTF-16 units.
  long units = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    units += ((byte & 0xC0) != 0x80) + (byte >= 0xF0);
  }
  return units;
}

RecordScanner::RecordScanner(std::string_view record, std::size_t pieceSize, std::string_view encoding)
    : pattern_(record), pieceSize_(std::max<std::size_t>(pieceSize, 1)), encoding_(encoding) {}

bool RecordScanner::checkEncoding() {
  if (encodingKnown_) return true;
  if (!encoding_.empty()) {
    cutting_ = keepsMarkupInAscii(encoding_);
    utf8_ = isUtf8(encoding_);
    position_ = TextPosition(utf8_);
    return encodingKnown_ = true;
  }
  // Bytes that may still become a byte-order mark or an XML declaration
  // tell nothing yet: a source may hand them out a few at a time.
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  constexpr std::string_view kDeclaration = "<?xml";
  std::string_view text(buffer_);
  if (text.size() < kUtf8Mark.size() && kUtf8Mark.substr(0, text.size()) == text) return false;
  if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) text.remove_prefix(kUtf8Mark.size());
  if (text.size() < kDeclaration.size() && kDeclaration.substr(0, text.size()) == text) return false;
  if (text.substr(0, kDeclaration.size()) == kDeclaration) {
    const std::size_t end = text.find("?>");
    if (end == npos) return false;
    const std::string_view declared = declaredEncoding(text.substr(0, end)).value_or(std::string_view());
    // A quote left open runs past this "?>" for the parse: the cutter would
    // read markup that the parse does not see.
    cutting_ = quotesClose(text.substr(0, end)) && (declared.empty() || keepsMarkupInAscii(declared));
    utf8_ = isUtf8(declared);
    position_ = TextPosition(utf8_);
  } else {
    // UTF-16, UTF-32 and EBCDIC documents start otherwise: with another
    // byte, or with a zero byte beside their '<'.
    constexpr std::size_t kWideUnit = 4;
    if (text.size() < kWideUnit) return false;
    cutting_ = (text.front() == '<' || isSpace(text.front())) && text.substr(0, kWideUnit).find('\0') == npos;
  }
  return encodingKnown_ = true;
}

std::size_t RecordScanner::doctypeEnd(std::size_t at) const {
  // The internal subset may hold '>' in brackets, quotes, comments and
  // processing instructions (whose text may hold "]>", tags and lone quotes).
  int brackets = 0;
  const auto skipTo = [&](std::size_t from, std::string_view closing) {
    const std::size_t close = buffer_.find(closing, from);
    return close == npos ? npos : close + closing.size() - 1;
  };
  for (std::size_t i = at + 2; i < buffer_.size(); ++i) {
    const char c = buffer_[i];
    if (c == '"' || c == '\'') {
      i = buffer_.find(c, i + 1);
    } else if (c == '<' && buffer_.compare(i, 4, "<!--") == 0) {
      i = skipTo(i + 4, "-->");
    } else if (c == '<' && buffer_.compare(i, 2, "<?") == 0) {
      i = skipTo(i + 2, "?>");
    } else if (c == '[') {
      ++brackets;
    } else if (c == ']') {
      --brackets;
    } else if (c == '>' && brackets <= 0) {
      return i + 1;
    }
    if (i == npos) return npos;
  }
  return npos;
}

std::size_t RecordScanner::markupEnd(std::size_t at) const {
  const auto after = [&](std::string_view opening, std::string_view closing) {
    const std::size_t close = buffer_.find(closing, at + opening.size());
    return close == npos ? npos : close + closing.size();
  };
  // Enough bytes to tell the constructs apart ("<![CDATA[").
  if (buffer_.size() - at < 9) return npos;
  if (buffer_.compare(at, 2, "<?") == 0) return after("<?", "?>");
  if (buffer_.compare(at, 4, "<!--") == 0) return after("<!--", "-->");
  if (buffer_.compare(at, 9, "<![CDATA[") == 0) return after("<![CDATA[", "]]>");
  if (buffer_.compare(at, 2, "<!") == 0) return doctypeEnd(at);
  // A tag: its '>' is the first outside quoted attribute values.
  for (std::size_t i = at + 1; i < buffer_.size(); ++i) {
    const char c = buffer_[i];
    if (c == '>') return i + 1;
    if (c == '"' || c == '\'') {
      i = buffer_.find(c, i + 1);
      if (i == npos) return npos;
    }
  }
  return npos;
}

bool RecordScanner::startTag(std::string_view tag, std::size_t at) {
  std::size_t nameEnd = 1;
  while (nameEnd < tag.size() && !isSpace(tag[nameEnd]) && tag[nameEnd] != '/' && tag[nameEnd] != '>') ++nameEnd;
  const std::string_view name = tag.substr(1, nameEnd - 1);
  const bool empty = tag.size() >= 2 && tag[tag.size() - 2] == '/';
  if (inRecord()) {
    if (!empty) ++recordLevels_;
    return false;
  }
  if (open_.empty()) {
    if (rootSeen_) {  // a second message element: the parse refuses it
      cutting_ = false;
      return false;
    }
    rootSeen_ = true;
    prolog_.assign(buffer_, 0, at);  // no cut happens before the message element
  }
  openNames_.emplace_back(localName(name));
  if (pattern_.matches(openNames_)) {
    if (!empty) {
      recordLevels_ = 1;
      return false;
    }
    openNames_.pop_back();
    return true;
  }
  if (empty)
    openNames_.pop_back();
  else
    open_.push_back(OpenElement{std::string(name), std::string(tag)});
  return false;
}

bool RecordScanner::endTag(std::string_view tag) {
  if (inRecord()) {
    if (--recordLevels_ > 0) return false;
    openNames_.pop_back();
    return true;
  }
  std::string_view name = tag.substr(2, tag.size() - 3);
  while (!name.empty() && isSpace(name.back())) name.remove_suffix(1);
  if (open_.empty() || open_.back().name != name) {
    cutting_ = false;  // the parse reports it
    return false;
  }
  open_.pop_back();
  openNames_.pop_back();
  return false;
}

bool RecordScanner::take(std::size_t at, std::size_t end) {
  const std::string_view markup = std::string_view(buffer_).substr(at, end - at);
  if (markup[1] == '?' || markup[1] == '!') {
    // A DOCTYPE after the message element's start is out of place.
    if (rootSeen_ && markup.compare(0, 9, "<!DOCTYPE") == 0) cutting_ = false;
    return false;
  }
  if (markup[1] == '/') return endTag(markup);
  return startTag(markup, at);
}

void RecordScanner::cut(const RecordCutter::PieceHandler& onPiece, bool last) {
  const std::size_t size = last ? buffer_.size() : scanned_;
  std::string tail;
  if (!last)
    for (auto element = open_.rbegin(); element != open_.rend(); ++element) tail += "</" + element->name + ">";
  RecordCutter::Piece piece;
  piece.begin = bufferAt_;
  piece.end = bufferAt_ + size;
  piece.head = head_;
  piece.bytes = std::string_view(buffer_).substr(0, size);
  piece.tail = tail;
  piece.place = place_;
  onPiece(piece);
  position_.advance(piece.bytes);
  buffer_.erase(0, size);
  bufferAt_ += size;
  scanned_ = 0;
  head_ = prolog_;
  for (const OpenElement& element : open_) head_ += element.startTag;
  TextPosition headEnd(utf8_);
  headEnd.advance(head_);
  place_ = RecordCutter::Place{position_.line(), position_.column(), headEnd.line() - 1, headEnd.column() - 1};
}

void RecordScanner::feed(const void* bytes, std::size_t size, const RecordCutter::PieceHandler& onPiece) {
  buffer_.append(static_cast<const char*>(bytes), size);
  if (!checkEncoding()) return;
  while (cutting_) {
    const std::size_t at = buffer_.find('<', scanned_);
    if (at == npos) {
      scanned_ = buffer_.size();
      return;
    }
    scanned_ = at;
    const std::size_t end = markupEnd(at);
    if (end == npos) return;  // the rest comes with the next bytes
    const bool recordEnded = take(at, end);
    scanned_ = end;
    // Never after the message element itself: the rest would be no document.
    if (recordEnded && !open_.empty() && scanned_ >= pieceSize_) cut(onPiece, /*last=*/false);
  }
}

void RecordScanner::finish(const RecordCutter::PieceHandler& onPiece) { cut(onPiece, /*last=*/true); }

}  // namespace wfxml::detail

namespace wfxml {

RecordCutter::RecordCutter(std::string_view record, std::size_t pieceSize, std::string_view encoding)
    : scanner_(std::make_unique<detail::RecordScanner>(record, pieceSize, encoding)) {}
RecordCutter::RecordCutter(RecordCutter&&) noexcept = default;
RecordCutter& RecordCutter::operator=(RecordCutter&&) noexcept = default;
RecordCutter::~RecordCutter() = default;

void RecordCutter::feed(const void* bytes, std::size_t size, const PieceHandler& onPiece) {
  scanner_->feed(bytes, size, onPiece);
}

void RecordCutter::finish(const PieceHandler& onPiece) { scanner_->finish(onPiece); }

Error RecordCutter::Place::inDocument(const Error& error) const {
  return detail::withPlacesMoved(error, [this](long line, long column) {
    const long bytesLine = headLines + 1;  // the line of the piece's document where its bytes begin
    if (line > bytesLine) return std::pair(this->line + line - bytesLine, column);
    if (line == bytesLine && column > headColumns) return std::pair(this->line, this->column + column - headColumns - 1);
    return std::pair(this->line, this->column);
  });
}

}  // namespace wfxml

namespace wfxml::detail {

// A RecordReader's state, in one place so that the reader moves freely
// while a check reads through it.
class RecordReading {
public:
  RecordReading(std::string_view record, RecordReader::Source source, const ParseOptions& options,
                std::size_t pieceSize)
      : record(record), source_(std::move(source)), options_(options), cutter_(record, pieceSize, options.encoding) {
    convertOptions.validate = false;  // checked here, as a whole
    convertOptions.encoding = options.encoding;
    convertOptions.entityExpansionLimit = options.entityExpansionLimit;
  }

  // Converts the next piece, a document of its own; false at the end.
  bool convertNext(const MessageSet& set, const std::function<void(const std::string& document)>& convert);

  const std::string record;
  ParseOptions convertOptions;  // for a piece

private:
  struct PieceDocument {
    std::string text;  // head + bytes + tail
    RecordCutter::Place place;
    std::uint64_t end = 0;  // of its bytes in the document
  };

  // The source's next bytes, given to the cutter too; empty at the end.
  std::string_view read();
  // Reads until a piece is complete (and checked, when asked); false when
  // none is left.
  bool pieceReady(const MessageSet& set);
  bool checkedPieceReady(const MessageSet& set);
  // Nothing is read or converted after an error.
  void end() {
    ended_ = true;
    pieces_.clear();
    check_.reset();
  }

  RecordReader::Source source_;
  ParseOptions options_;
  RecordCutter cutter_;
  std::deque<PieceDocument> pieces_;  // complete, not yet converted
  bool sourceEnded_ = false;
  bool ended_ = false;  // the source's end or an error
  std::optional<MessageSet> checkedSet_;  // keeps the validator of check_
  std::unique_ptr<SteppedCheck> check_;
  bool checkEnded_ = false;
};

std::string_view RecordReading::read() {
  if (sourceEnded_) return {};
  const RecordCutter::PieceHandler keep = [this](const RecordCutter::Piece& piece) {
    PieceDocument& document = pieces_.emplace_back();
    document.text.reserve(piece.head.size() + piece.bytes.size() + piece.tail.size());
    document.text.append(piece.head).append(piece.bytes).append(piece.tail);
    document.place = piece.place;
    document.end = piece.end;
  };
  const std::string_view chunk = source_();
  sourceEnded_ = chunk.empty();
  if (sourceEnded_) {
    cutter_.finish(keep);
  } else {
    cutter_.feed(chunk.data(), chunk.size(), keep);
  }
  return chunk;
}

bool RecordReading::pieceReady(const MessageSet& set) {
  if (options_.validate) return checkedPieceReady(set);
  while (pieces_.empty() && !sourceEnded_) read();
  return !pieces_.empty();
}

bool RecordReading::checkedPieceReady(const MessageSet& set) {
  if (!check_ && !checkEnded_) {
    const SchemaValidator& validator = set.state()->validator();
    checkedSet_ = set;
    const std::string_view first = read();
    check_ = validator.checkInSteps(first, [this] { return read(); },
                                    {scannerEncodingOf(codePageOf(options_.encoding), first.data(), first.size()),
                                     entityExpansionLimitOf(options_.entityExpansionLimit)});
  }
  while (!checkEnded_ && (pieces_.empty() || pieces_.front().end > check_->checked())) {
    checkEnded_ = !check_->next();
    if (!check_->problems().empty())
      throwNotValid(__FILE__, __LINE__, "RecordReader::next", check_->problems());
  }
  if (checkEnded_) {
    while (!sourceEnded_) read();  // whatever the scanner left unread
    check_.reset();
  }
  return !pieces_.empty();
}

bool RecordReading::convertNext(const MessageSet& set,
                                const std::function<void(const std::string& document)>& convert) {
  if (ended_) return false;
  try {
    if (!pieceReady(set)) {
      ended_ = true;
      return false;
    }
  } catch (...) {
    end();
    throw;
  }
  PieceDocument document = std::move(pieces_.front());
  pieces_.pop_front();
  try {
    convert(document.text);
  } catch (const Error& error) {
    end();
    throw document.place.inDocument(error);
  } catch (...) {
    end();
    throw;
  }
  return true;
}

}  // namespace wfxml::detail

namespace wfxml {

RecordReader::RecordReader(std::string_view record, Source source, const ParseOptions& options, std::size_t pieceSize)
    : reading_(std::make_unique<detail::RecordReading>(record, std::move(source), options, pieceSize)) {}
RecordReader::RecordReader(RecordReader&&) noexcept = default;
RecordReader& RecordReader::operator=(RecordReader&&) noexcept = default;
RecordReader::~RecordReader() = default;

bool RecordReader::nextJson(Session& session, const std::function<void(std::string_view json)>& onRecord) {
  return reading_->convertNext(session.messageSet(), [&](const std::string& document) {
    session.toJsonRecords(document.data(), document.size(), reading_->record, onRecord, reading_->convertOptions);
  });
}

bool RecordReader::nextTypedData(Session& session, const TypedRecordHandler& onRecord) {
  return reading_->convertNext(session.messageSet(), [&](const std::string& document) {
    session.toTypedDataRecords(document.data(), document.size(), reading_->record, onRecord,
                               reading_->convertOptions);
  });
}

}  // namespace wfxml

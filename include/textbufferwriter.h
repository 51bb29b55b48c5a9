#ifndef TEXTBUFFERWRITER_H
#define TEXTBUFFERWRITER_H

#include "unicodeconverter.h"
#include "zelapi.h"
#include "zelwstring.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

class WritableBitstreamBuffer;

// Writes UTF-16 text into an output buffer in one code page and byte order.
// Text given to appendStr is converted and stored at once. Callers that write
// many small pieces (the XML printer) gather them in the pending text, up to
// pendingCapacity() units, and hand the batch over with convertPending(); the
// writer converts the pending text on its own only in flush() and appendRaw().
//
// Failures: a failed conversion throws (see CPUnicodeConverter::fromUnicode)
// and appends nothing; bytes already in the buffer stay as they are, and so
// does the pending text.
class ZEL_API TextBufferWriter {
public:
  // Room of the pending text, in UTF-16 units: 16 KiB of text per conversion
  // call amortises the converter's per-call cost while staying in L1/L2.
  static constexpr std::size_t DEFAULT_PENDING_CAPACITY = 8192;

  // out is borrowed and must outlive the writer. endian is the byte-order
  // setting (1 little, 2 big, -1 none) and decides the order of UTF-16 and
  // UTF-32 output. pendingCapacity must be positive.
  // Throws ZelFatalException CP_CODEPAGE_ERROR for an unknown CCSID.
  TextBufferWriter(WritableBitstreamBuffer* out, long ccsid, long endian,
                   std::size_t pendingCapacity = DEFAULT_PENDING_CAPACITY);
  ~TextBufferWriter();
  TextBufferWriter(const TextBufferWriter&) = delete;
  TextBufferWriter& operator=(const TextBufferWriter&) = delete;

  // Writes into out from now on (borrowed, as in the constructor), so that a
  // writer and its converter serve one document after another. Call it
  // between documents: after flush(), with no pending text.
  void setOutput(WritableBitstreamBuffer* out) {
    assert(out && pendingLength_ == 0 && "a new output between documents only");
    out_ = out;
    converter_.beginDocument();
  }

  // Converts text and appends it to the buffer now, after everything already
  // converted; the pending text is not involved (while holding, the text
  // goes to the end of the pending text instead).
  void appendStr(const char16_t* text, std::size_t length);
  void appendStr(const ZelWstring& text) { appendStr(text.data(), text.length()); }
  // flush(), then appends bytes unconverted (a byte-order mark, an unparsed
  // bitstream), so they land after all text given so far; throws while
  // holding.
  void appendRaw(const void* bytes, std::size_t length);
  // Converts the pending text and empties it; while holding, doubles the
  // pending text's room instead.
  void convertPending();
  // convertPending(), then ends the converter's text (shift state, see
  // CPUnicodeConverter::finish). Call at the end of a document; throws
  // while holding.
  void flush();

  long getCodepage() const { return converter_.getCodepage(); }
  long getEndian() const { return endian_; }
  const CPUnicodeConverter& getConverter() const { return converter_; }

  // Holding: text given while a Hold lives stays in the pending text, which
  // grows as it must, until keep() lets it be converted again; a hold that
  // ends without keep() (also when an exception leaves the caller's scope)
  // drops it, as if it had never been given. So a caller can write a piece
  // it may still have to take back. Holds do not nest, and raw bytes and
  // flush() while holding throw CP_INTERNAL_ERROR instead of landing before
  // the held text.
  class Hold {
  public:
    explicit Hold(TextBufferWriter& writer) : writer_(writer), mark_(writer.pendingLength_) {
      if (writer.held_) writer.refuseWhileHolding("TextBufferWriter::Hold");
      writer.held_ = true;
    }
    ~Hold() {
      if (!active_) return;
      writer_.pendingLength_ = mark_;
      writer_.held_ = false;
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    void keep() {
      writer_.held_ = false;
      active_ = false;
    }

  private:
    TextBufferWriter& writer_;
    std::size_t mark_;
    bool active_ = true;
  };

  // Text waiting for conversion; the view lives until the next change.
  std::u16string_view pendingText() const { return {pending_.get(), pendingLength_}; }
  std::size_t pendingCapacity() const { return pendingCapacity_; }
  std::size_t pendingRoom() const { return pendingCapacity_ - pendingLength_; }
  // Writing in place: reservePending makes room for length units at the end
  // of the pending text (converting what it holds when they do not fit;
  // length must not exceed pendingCapacity()) and returns where they go;
  // commitPending then adds the units written there, at most length.
  char16_t* reservePending(std::size_t length) {
    assert(length <= pendingCapacity_ && "reserved more than the pending text holds");
    if (length > pendingRoom()) convertPending();
    return pending_.get() + pendingLength_;
  }
  void commitPending(std::size_t length) {
    assert(length <= pendingRoom() && "pending text overflow");
    pendingLength_ += length;
  }
// GCC follows a constant length (a literal "</") into the branches for
// longer pieces that this length never takes, and warns about reads they
// would make.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wstringop-overread"
#endif
  // Adds text to the pending text; the caller has made sure that it fits
  // (length <= pendingRoom()). Inline: this is the path of every small piece.
  // An empty piece may come with a null pointer, which is never read.
  // Always inline: most callers pass a literal, whose length folds the
  // branches away.
#if defined(__GNUC__)
  [[gnu::always_inline]]
#endif
  void appendPending(const char16_t* text, std::size_t length) {
    assert(length <= pendingRoom() && "pending text overflow");
    char16_t* target = pending_.get() + pendingLength_;
    pendingLength_ += length;
    // Most pieces are a tag name or punctuation: two overlapping copies of
    // fixed size, which the compiler turns into plain moves, instead of a
    // call into the C library.
    if (length >= 4 && length <= 16) {
      copyOverlapping(target, text, length);
    } else if (length > 16) {
      std::memcpy(target, text, length * sizeof(char16_t));
    } else if (length > 0) {
      target[0] = text[0];
      target[length / 2] = text[length / 2];
      target[length - 1] = text[length - 1];
    }
  }

private:
  // Copies 4 to 16 units as a head and a tail block that may overlap.
  static void copyOverlapping(char16_t* target, const char16_t* text, std::size_t length) {
    if (length <= 8) {
      std::uint64_t head, tail;
      std::memcpy(&head, text, sizeof head);
      std::memcpy(&tail, text + length - 4, sizeof tail);
      std::memcpy(target, &head, sizeof head);
      std::memcpy(target + length - 4, &tail, sizeof tail);
    } else {
      char16_t head[8], tail[8];
      std::memcpy(head, text, sizeof head);
      std::memcpy(tail, text + length - 8, sizeof tail);
      std::memcpy(target, head, sizeof head);
      std::memcpy(target + length - 8, tail, sizeof tail);
    }
  }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

  WritableBitstreamBuffer* out_;
  long endian_;
  CPUnicodeConverter converter_;
  void grow(std::size_t room);
  [[noreturn]] void refuseWhileHolding(const char* function) const;

  std::unique_ptr<char16_t[]> pending_;
  std::size_t pendingLength_ = 0;
  std::size_t pendingCapacity_;
  bool held_ = false;
};

#endif

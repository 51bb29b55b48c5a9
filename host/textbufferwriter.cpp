#include "textbufferwriter.h"

#include "bitstreambuffer.h"

TextBufferWriter::TextBufferWriter(WritableBitstreamBuffer* out, long ccsid, long endian, std::size_t pendingCapacity)
    : out_(out),
      endian_(endian),
      converter_(ccsid, endian),
      pending_(std::make_unique<char16_t[]>(pendingCapacity)),
      pendingCapacity_(pendingCapacity) {
  assert(out && "TextBufferWriter needs an output buffer");
  assert(pendingCapacity > 0 && "the pending text needs room");
}

TextBufferWriter::~TextBufferWriter() = default;

void TextBufferWriter::appendStr(const char16_t* text, std::size_t length) { converter_.fromUnicode(text, length, *out_); }

void TextBufferWriter::appendRaw(const void* bytes, std::size_t length) {
  flush();
  out_->append(bytes, length);
}

void TextBufferWriter::convertPending() {
  if (pendingLength_ == 0) return;
  converter_.fromUnicode(pending_.get(), pendingLength_, *out_);
  pendingLength_ = 0;
}

void TextBufferWriter::flush() {
  convertPending();
  converter_.finish(*out_);
}

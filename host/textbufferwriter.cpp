#include "textbufferwriter.h"

#include "bitstreambuffer.h"
#include "zelexception.h"

#include <algorithm>

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

void TextBufferWriter::appendStr(const char16_t* text, std::size_t length) {
  if (!held_) {
    converter_.fromUnicode(text, length, *out_);
    return;
  }
  if (length > pendingRoom()) grow(length);
  std::copy(text, text + length, pending_.get() + pendingLength_);
  pendingLength_ += length;
}

void TextBufferWriter::appendRaw(const void* bytes, std::size_t length) {
  if (held_) refuseWhileHolding("TextBufferWriter::appendRaw");
  flush();
  out_->append(bytes, length);
}

void TextBufferWriter::convertPending() {
  if (held_) {
    grow(pendingCapacity_);
    return;
  }
  if (pendingLength_ == 0) return;
  converter_.fromUnicode(pending_.get(), pendingLength_, *out_);
  pendingLength_ = 0;
}

void TextBufferWriter::grow(std::size_t room) {
  const std::size_t capacity = pendingLength_ + std::max(room, pendingCapacity_);
  auto grown = std::make_unique<char16_t[]>(capacity);
  std::copy(pending_.get(), pending_.get() + pendingLength_, grown.get());
  pending_ = std::move(grown);
  pendingCapacity_ = capacity;
}

void TextBufferWriter::flush() {
  if (held_) refuseWhileHolding("TextBufferWriter::flush");
  convertPending();
  converter_.finish(*out_);
}

void TextBufferWriter::refuseWhileHolding(const char* function) const {
  ZelFatalException error(__FILE__, __LINE__, function, zelDefaultLogSourceName(), ZelMessages::CP_INTERNAL_ERROR);
  error.addInsert("called while text is held");
  throw error;
}

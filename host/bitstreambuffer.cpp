#include "bitstreambuffer.h"

BitstreamBuffer::~BitstreamBuffer() = default;
WritableBitstreamBuffer::~WritableBitstreamBuffer() = default;

void WritableBitstreamBuffer::append(const void* bytes, std::size_t length) {
  if (length == 0) return;
  const auto* first = static_cast<const std::uint8_t*>(bytes);
  storage_.insert(storage_.end(), first, first + length);
  setView(storage_.data(), storage_.size());
}

void WritableBitstreamBuffer::reserve(std::size_t length) {
  storage_.reserve(length);
  setView(storage_.data(), storage_.size());
}

void WritableBitstreamBuffer::clear() {
  storage_.clear();
  setView(storage_.data(), 0);
}

void WritableBitstreamBuffer::truncate(std::size_t length) {
  if (length >= storage_.size()) return;
  storage_.resize(length);
  setView(storage_.data(), storage_.size());
}

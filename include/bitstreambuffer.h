#ifndef BITSTREAMBUFFER_H
#define BITSTREAMBUFFER_H

#include "zelapi.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A contiguous run of bytes handed to a parser. The buffer does not own the
// bytes: they must outlive every use of the buffer.
class ZEL_API BitstreamBuffer {
public:
  BitstreamBuffer() = default;
  BitstreamBuffer(const std::uint8_t* bytes, std::size_t length) : bytes_(bytes), length_(length) {}
  virtual ~BitstreamBuffer();

  // The bytes from offset on; null at or past the end.
  const std::uint8_t* getData(std::size_t offset = 0) const {
    return offset < length_ ? bytes_ + offset : nullptr;
  }
  std::size_t getLength() const { return length_; }

protected:
  void setView(const std::uint8_t* bytes, std::size_t length) {
    bytes_ = bytes;
    length_ = length;
  }

private:
  const std::uint8_t* bytes_ = nullptr;
  std::size_t length_ = 0;
};

// A buffer that owns its bytes and grows as writers append to it. Appends
// never change the bytes already there.
class ZEL_API WritableBitstreamBuffer : public BitstreamBuffer {
public:
  WritableBitstreamBuffer() = default;
  WritableBitstreamBuffer(const WritableBitstreamBuffer&) = delete;
  WritableBitstreamBuffer& operator=(const WritableBitstreamBuffer&) = delete;
  ~WritableBitstreamBuffer() override;

  void append(const void* bytes, std::size_t length);
  void reserve(std::size_t length);
  void clear();
  // Drops the bytes after the first length ones (nothing when length is not
  // below the size): lets a writer undo its own append that failed half-way.
  void truncate(std::size_t length);
  const std::vector<std::uint8_t>& bytes() const { return storage_; }

private:
  std::vector<std::uint8_t> storage_;
};

#endif

#ifndef WFXML_SRC_MAPPEDFILE_H
#define WFXML_SRC_MAPPEDFILE_H

#include <cstddef>
#include <string>

namespace wfxml::detail {

// A file mapped read-only, so that a parse reads it without a copy in
// memory. The pages a parse has read count as resident until released.
class MappedFile {
public:
  // Throws Error CP_IO_ERROR (inserts: the path, the reason).
  explicit MappedFile(const std::string& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  const void* data() const { return data_; }
  std::size_t size() const { return size_; }
  // Gives the resident pages back; the file's contents stay readable (a
  // page read again comes from the file).
  void releaseResidentPages() const;

private:
  void* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace wfxml::detail

#endif

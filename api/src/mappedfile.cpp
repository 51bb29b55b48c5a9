#include "mappedfile.h"

#include "error.h"
#include "zelexception.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wfxml::detail {

namespace {
constexpr const char* kFunction = "MappedFile::MappedFile";

[[noreturn]] void throwIoError(const std::string& path, const std::string& reason) {
  throwError(__FILE__, __LINE__, kFunction, ZelMessages::CP_IO_ERROR, {path, reason});
}
[[noreturn]] void throwIoError(const std::string& path, int error) { throwIoError(path, std::strerror(error)); }

class Descriptor {
public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

private:
  int fd_;
};
}  // namespace

MappedFile::MappedFile(const std::string& path) {
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) throwIoError(path, errno);
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) throwIoError(path, errno);
  if (S_ISDIR(status.st_mode)) throwIoError(path, EISDIR);
  // A pipe's size says nothing of its bytes, which would read as an empty document.
  if (!S_ISREG(status.st_mode))
    throwIoError(path, "not a regular file (a pipe?), which cannot be mapped: read it as a stream");
  size_ = static_cast<std::size_t>(status.st_size);
  if (size_ == 0) return;  // nothing to map; an empty document
  // Shared: pages given back are read from the file again, never zeroed.
  data_ = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, file.get(), 0);
  if (data_ == MAP_FAILED) {
    data_ = nullptr;
    throwIoError(path, errno);
  }
  ::madvise(data_, size_, MADV_SEQUENTIAL);
}

MappedFile::~MappedFile() {
  if (data_) ::munmap(data_, size_);
}

void MappedFile::releaseResidentPages() const {
  if (data_) ::madvise(data_, size_, MADV_DONTNEED);
}

}  // namespace wfxml::detail

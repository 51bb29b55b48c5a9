#include "filereader.h"

#include "error.h"
#include "zelexception.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wfxml::detail {

namespace {
[[noreturn]] void throwIoError(const char* function, const std::string& path, const std::string& reason) {
  throwError(__FILE__, __LINE__, function, ZelMessages::CP_IO_ERROR, {path, reason});
}
}  // namespace

FileReader::FileReader(std::string path, std::size_t chunkSize)
    : path_(std::move(path)), fd_(::open(path_.c_str(), O_RDONLY | O_CLOEXEC)), chunk_(chunkSize) {
  constexpr const char* kFunction = "FileReader::FileReader";
  if (fd_ < 0) throwIoError(kFunction, path_, std::strerror(errno));
  struct stat status {};
  const int error = ::fstat(fd_, &status) != 0 ? errno : S_ISDIR(status.st_mode) ? EISDIR : 0;
  if (error != 0) {
    ::close(fd_);
    throwIoError(kFunction, path_, std::strerror(error));
  }
}

FileReader::~FileReader() { ::close(fd_); }

std::string_view FileReader::next() {
  ssize_t size;
  do {
    size = ::read(fd_, chunk_.data(), chunk_.size());
  } while (size < 0 && errno == EINTR);
  if (size < 0) throwIoError("FileReader::next", path_, std::strerror(errno));
  return {chunk_.data(), static_cast<std::size_t>(size)};
}

}  // namespace wfxml::detail

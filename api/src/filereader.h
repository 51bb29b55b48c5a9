#ifndef WFXML_SRC_FILEREADER_H
#define WFXML_SRC_FILEREADER_H

#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {

// A file (or a pipe) read from its start in chunks. Read, not mapped: a
// file cut short while it is read ends sooner, where the pages of a mapping
// that are gone would kill the process (SIGBUS).
class FileReader {
public:
  // Throws Error CP_IO_ERROR (inserts: the path, the reason), also for a
  // folder.
  FileReader(std::string path, std::size_t chunkSize);
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // The next bytes, valid until the next call; empty at the end. Throws
  // CP_IO_ERROR.
  std::string_view next();

private:
  std::string path_;
  int fd_;
  std::vector<char> chunk_;
};

}  // namespace wfxml::detail

#endif

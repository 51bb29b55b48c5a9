#include "toolsupport.h"

#include "wfxml/wfxml.h"
#include "zelexception.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <ostream>

std::string ArgumentList::takeValue(const std::string& option) {
  if (empty()) throw UsageError(option + " needs a value");
  return take();
}

long ArgumentList::toNumber(const std::string& option, const std::string& text) {
  std::size_t used = 0;
  long value = 0;
  try {
    value = std::stol(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size()) throw UsageError(option + " needs a number, not '" + text + "'");
  return value;
}

bool readHostOption(const std::string& arg, ArgumentList& args, HostOptions& options) {
  if (arg == "--trace") {
    options.traceLevel = static_cast<int>(ArgumentList::toNumber(arg, args.takeValue(arg)));
  } else if (arg == "--plugin") {
    options.plugin = args.takeValue(arg);
  } else {
    return false;
  }
  return true;
}

namespace {
[[noreturn]] void throwIoError(const char* function, const std::string& path, const char* reason) {
  ZelException e(__FILE__, __LINE__, function, nullptr, ZelMessages::CP_IO_ERROR);
  e.addInsert(path).addInsert(reason);
  throw e;
}
}  // namespace

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throwIoError("readFile", path, std::strerror(errno));
  // A folder opens like a file and reads as nothing.
  if (std::filesystem::is_directory(path)) throwIoError("readFile", path, std::strerror(EISDIR));
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {
// 0, or the errno of the first write that failed.
int writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

constexpr char kTemporarySuffix[] = ".wfhost-tmp";
std::atomic<unsigned> temporaryCount{0};
}  // namespace

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  if (path == "-") {
    std::cout.flush();
    if (const int error = writeAll(STDOUT_FILENO, bytes.data(), bytes.size()))
      throwIoError("writeFile", "stdout", std::strerror(error));
    return;
  }
  AtomicOutputFile out(path);
  out.write(bytes.data(), bytes.size());
  out.commit();
}

AtomicOutputFile::AtomicOutputFile(std::string path) : path_(std::move(path)) {
  const std::filesystem::path target(path_);
  const std::string prefix = "." + target.filename().string() + "." + std::to_string(getpid()) + "-";
  do {
    temporary_ = (target.parent_path() / (prefix + std::to_string(temporaryCount++) + kTemporarySuffix)).string();
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EEXIST);
  if (fd_ < 0) throwIoError("AtomicOutputFile", path_, std::strerror(errno));
}

AtomicOutputFile::~AtomicOutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(temporary_.c_str());
}

void AtomicOutputFile::write(const void* data, std::size_t size) {
  if (const int error = writeAll(fd_, static_cast<const std::uint8_t*>(data), size))
    throwIoError("AtomicOutputFile::write", path_, std::strerror(error));
}

void AtomicOutputFile::commit() {
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0 || ::rename(temporary_.c_str(), path_.c_str()) != 0)
    throwIoError("AtomicOutputFile::commit", path_, std::strerror(errno));
  committed_ = true;
}

void AtomicOutputFile::removeAbandoned(const std::string& folder) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    const std::size_t suffix = name.size() - std::min(name.size(), sizeof kTemporarySuffix - 1);
    if (name.front() != '.' || name.compare(suffix, std::string::npos, kTemporarySuffix) != 0) continue;
    // ".NAME.PID-N.wfhost-tmp": the writer's process id stands after the last dot of the stem.
    const std::size_t dash = name.rfind('-', suffix);
    const std::size_t dot = name.rfind('.', dash);
    if (dash == std::string::npos || dot == std::string::npos) continue;
    const long pid = std::strtol(name.c_str() + dot + 1, nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) std::filesystem::remove(entry.path(), error);
  }
}

void printHostException(std::ostream& out, const ZelException& e) {
  char number[16];
  std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(e.getMessageNumber()));
  out << "wfhost: " << e.className() << ' ' << e.getKey() << " (" << number << ") in " << e.getFunction() << " ["
      << e.getSourceFile() << ':' << e.getLine() << "]\n";
  const auto& inserts = e.getInserts();
  for (std::size_t i = 0; i < inserts.size(); ++i) out << "  insert " << i + 1 << ": " << inserts[i].toUtf8() << '\n';
}

void printError(std::ostream& out, const wfxml::Error& e) {
  if (e.hostException()) {
    try {
      std::rethrow_exception(e.hostException());
    } catch (const ZelException& host) {
      printHostException(out, host);
      return;
    } catch (...) {
    }
  }
  char number[16];
  std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(e.number()));
  out << "wfhost: " << e.key() << " (" << number << ")\n";
  for (std::size_t i = 0; i < e.inserts().size(); ++i) out << "  insert " << i + 1 << ": " << e.inserts()[i] << '\n';
}

#include "toolsupport.h"

#include "wfxml/wfxml.h"
#include "xmlmemorymanager.h"
#include "zelexception.h"
#include "zellog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <thread>
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
// The message properties the host, the API and the plug-in read.
std::vector<ZelWstring> knownPropertyNames() {
  return {ZelWstring(MI_CCSID_STR),
          ZelWstring(MI_ENCODING_STR),
          ZelWstring(MI_SUBTREEBITSTREAM_STR),
          ZelWstring(MI_ENTITYEXPANSIONLIMIT_STR),
          ZelWstring(MI_DOCTYPE_STR),
          ZelWstring(MI_TIMESTAMPCOMMENT_STR),
          ZelXmlMemoryManager::getMemoryManagerPoolSize(),
          ZelXmlMemoryManager::getMemoryManagerChunkSize0(),
          ZelXmlMemoryManager::getMemoryManagerChunkSize1(),
          ZelXmlMemoryManager::getMemoryManagerChunkSize2()};
}

struct SharedOptionHelp {
  unsigned group;
  const char* lines;
};
const SharedOptionHelp kSharedOptionHelp[] = {
    {SharedOption::kMessageSet,
     "  --dict FILE          the dictionary to use (wfhost compile makes one)\n"
     "  --schema FILE.xsd    compile a schema in process instead (repeatable: a set;\n"
     "                       or one message-set source .json)\n"
     "  --catalog FILE       an XML catalog mapping the http locations the schemas\n"
     "                       import to local files (repeatable; also XML_CATALOG_FILES)\n"},
    {SharedOption::kEncoding,
     "  --encoding NAME      the code page of the XML written (default utf-8): a name\n"
     "                       ICU knows (ibm-500, utf-16le, iso-8859-1) or a number (500)\n"},
    {SharedOption::kInputEncoding,
     "  --input-encoding NAME  the code page of an input without byte-order mark or\n"
     "                       encoding declaration (default utf-8), e.g. ibm-500\n"},
    {SharedOption::kIndent,
     "  --indent             indent the output, two blanks a level (XML: the children\n"
     "                       of element-only content, where blanks are no data)\n"},
    {SharedOption::kThreads, "  -j N                 threads (default: the number of cores)\n"},
    {SharedOption::kValidate,
     "  --validate           check each XML input against the schemas first (docs/validation.md):\n"
     "                       an invalid one fails, its problems on stderr as\n"
     "                       FILE:LINE:COLUMN: MESSAGE in <ELEMENT> at PATH\n"},
    {SharedOption::kProperties,
     "  --prop NAME=VALUE    a message property (repeatable): ccsid, encoding,\n"
     "                       subTreeBitStream, docType, timestampComment,\n"
     "                       entityExpansionLimit, memoryManager...\n"},
};
constexpr char kHostOptionHelp[] =
    "  --trace N            log level: >0 user trace, >2 entry/exit/trace, >3 debug (stderr)\n"
    "  --plugin NAME|PATH   the wire-format library (default: pwfxml)\n";

bool takes(const SharedOptions& options, unsigned group) { return (options.accepted & group) != 0; }
}  // namespace

UsageError unknownOption(const std::string& arg) {
  if (arg == "--encoding")
    return UsageError("unknown option --encoding: it names the code page of XML written, and this command writes "
                      "none; --input-encoding names that of an input which declares none");
  return UsageError("unknown option " + arg);
}

bool readSharedOption(const std::string& arg, ArgumentList& args, SharedOptions& options) {
  if (takes(options, SharedOption::kMessageSet) && arg == "--dict") {
    options.dictionary = args.takeValue(arg);
  } else if (takes(options, SharedOption::kMessageSet) && arg == "--schema") {
    options.schemas.push_back(args.takeValue(arg));
  } else if (takes(options, SharedOption::kMessageSet) && arg == "--catalog") {
    options.catalogs.push_back(args.takeValue(arg));
  } else if (takes(options, SharedOption::kEncoding) && arg == "--encoding") {
    options.encoding = args.takeValue(arg);
  } else if (takes(options, SharedOption::kInputEncoding) && arg == "--input-encoding") {
    options.inputEncoding = args.takeValue(arg);
  } else if (takes(options, SharedOption::kIndent) && arg == "--indent") {
    options.indent = true;
  } else if (takes(options, SharedOption::kValidate) && arg == "--validate") {
    options.validate = true;
  } else if (takes(options, SharedOption::kThreads) && arg == "-j") {
    const long threads = ArgumentList::toNumber(arg, args.takeValue(arg));
    if (threads < 1 || threads > 1024) throw UsageError("-j needs 1 to 1024 threads");
    options.threads = static_cast<unsigned>(threads);
  } else if (takes(options, SharedOption::kProperties) && arg == "--prop") {
    setPropertyAssignment(arg, args.takeValue(arg), options.properties);
  } else {
    return readHostOption(arg, args, options.host);
  }
  if (!options.dictionary.empty() && !options.schemas.empty()) throw UsageError("give either --dict or --schema");
  if (!options.dictionary.empty() && !options.catalogs.empty())
    throw UsageError("--catalog maps what --schema documents import; a dictionary keeps its documents");
  return true;
}

std::vector<std::string> SharedOptions::filesReadWith(const std::vector<std::string>& inputs) const {
  std::vector<std::string> files = schemas;
  if (!dictionary.empty()) files.push_back(dictionary);
  files.insert(files.end(), inputs.begin(), inputs.end());
  return files;
}

unsigned SharedOptions::threadCount() const {
  return threads ? threads : std::max(1u, std::thread::hardware_concurrency());
}

unsigned SharedOptions::threadsFor(std::size_t inputs) const {
  return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(threadCount(), inputs)));
}

void runOnThreads(unsigned threads, const std::function<void()>& work) {
  std::vector<std::thread> others;
  for (unsigned t = 1; t < threads; ++t) others.emplace_back(work);
  work();
  for (std::thread& other : others) other.join();
}

std::string sharedOptionsHelp(unsigned groups) {
  std::string help;
  for (const SharedOptionHelp& entry : kSharedOptionHelp)
    if (groups & entry.group) help += entry.lines;
  return help + kHostOptionHelp;
}

void setPropertyAssignment(const std::string& option, const std::string& assignment, MessageInfo& properties) {
  const auto equals = assignment.find('=');
  if (equals == std::string::npos || equals == 0)
    throw UsageError(option + " needs NAME=VALUE, not '" + assignment + "'");
  const ZelWstring name = ZelWstring::fromUtf8(assignment.substr(0, equals));
  const std::vector<ZelWstring> known = knownPropertyNames();
  if (std::find(known.begin(), known.end(), name) == known.end()) {
    std::string names;
    for (const ZelWstring& each : known) names += (names.empty() ? "" : ", ") + each.toUtf8();
    throw UsageError(option + ": unknown property '" + name.toUtf8() + "' (known: " + names + ")");
  }
  // Each of them is a whole number; the entity expansion limit a positive
  // one (the parser would take any other for its default, without a word).
  const std::string value = assignment.substr(equals + 1);
  const std::string shown = option + " " + name.toUtf8();
  const long number = ArgumentList::toNumber(shown, value);
  if (name == ZelWstring(MI_ENTITYEXPANSIONLIMIT_STR) && number <= 0)
    throw UsageError(shown + " needs a positive number, not '" + value + "'");
  properties.setProperty(name, ZelWstring::fromUtf8(value));
}

namespace {
[[noreturn]] void throwIoError(const char* function, const std::string& path, const char* reason) {
  ZelException e(__FILE__, __LINE__, function, nullptr, ZelMessages::CP_IO_ERROR);
  e.addInsert(path).addInsert(reason);
  throw e;
}
}  // namespace

std::ifstream openFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throwIoError("openFile", path, std::strerror(errno));
  // A folder opens like a file and reads as nothing.
  if (std::filesystem::is_directory(path)) throwIoError("openFile", path, std::strerror(EISDIR));
  return in;
}

struct timespec modificationTimeOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) throwIoError("modificationTimeOf", path, std::strerror(errno));
  return status.st_mtim;
}

std::vector<std::uint8_t> readFile(const std::string& path) {
  if (path == "-")
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  std::ifstream in = openFile(path);
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

void flushStdout() {
  // A stream that failed before keeps the errno of its failed write.
  if (!std::cout.fail()) {
    errno = 0;
    std::cout.flush();
  }
  if (std::cout.fail()) throwIoError("flushStdout", "stdout", std::strerror(errno != 0 ? errno : EIO));
  // Output written through C's stdio (the descriptor's dump) keeps its
  // failure in the stream's error flag, also once the buffer is gone.
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throwIoError("flushStdout", "stdout", std::strerror(errno != 0 ? errno : EIO));
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes, bool sync) {
  if (path == "-") {
    flushStdout();
    if (const int error = writeAll(STDOUT_FILENO, bytes.data(), bytes.size()))
      throwIoError("writeFile", "stdout", std::strerror(error));
    return;
  }
  AtomicOutputFile out(path, sync);
  out.write(bytes.data(), bytes.size());
  out.commit();
}

std::filesystem::path fileNamedBy(const std::string& path) {
  std::filesystem::path name(path);
  std::error_code error;
  for (int links = 0; links < 40 && std::filesystem::is_symlink(name, error); ++links) {  // 40: the kernel's limit
    const std::filesystem::path target = std::filesystem::read_symlink(name, error);
    if (error) break;
    name = target.is_absolute() ? target : name.parent_path() / target;
  }
  return name;
}

bool isDeviceOrPipe(const std::string& path) {
  std::error_code unknown;
  const std::filesystem::file_status status = std::filesystem::status(path, unknown);
  return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
         !std::filesystem::is_directory(status);
}

std::string resolvedPath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? std::filesystem::absolute(path, error).lexically_normal().string() : canonical.string();
}

bool sameFile(const std::string& one, const std::string& other) {
  if (one == "-" || other == "-") return false;
  std::error_code differs;  // also when either is not there
  return std::filesystem::equivalent(one, other, differs) || resolvedPath(one) == resolvedPath(other);
}

void prepareOutputFile(const std::string& output, const std::vector<std::string>& inputs) {
  if (output == "-" || isDeviceOrPipe(output)) return;  // written as it is, nothing replaced
  for (const std::string& input : inputs)
    if (sameFile(output, input))
      throw UsageError("-o " + output + " is an input" + (input == output ? "" : " (" + input + ")") +
                       ": the output would replace it");
  const std::filesystem::path target = fileNamedBy(output);
  AtomicOutputFile::removeAbandoned(target.parent_path().string(), target.filename().string());
}

AtomicOutputFile::AtomicOutputFile(std::string path, bool sync)
    : path_(std::move(path)), destination_(fileNamedBy(path_).string()), sync_(sync) {
  if (isDeviceOrPipe(path_)) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) throwIoError("AtomicOutputFile", path_, std::strerror(errno));
    inPlace_ = true;
    return;
  }
  // Refused before anything is written, not by the rename once all is done.
  std::error_code unknown;
  if (std::filesystem::is_directory(destination_, unknown)) throwIoError("AtomicOutputFile", path_, std::strerror(EISDIR));
  const std::filesystem::path target(destination_);
  const std::string prefix = "." + target.filename().string() + "." + std::to_string(getpid()) + "-";
  do {
    temporary_ = (target.parent_path() / (prefix + std::to_string(temporaryCount++) + kTemporarySuffix)).string();
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EEXIST);
  if (fd_ < 0) throwIoError("AtomicOutputFile", path_, std::strerror(errno));
  // A file replaced keeps its permissions, as "> FILE" keeps them: a private file stays private.
  struct stat replaced {};
  if (::stat(destination_.c_str(), &replaced) == 0) ::fchmod(fd_, replaced.st_mode & 07777);
}

AtomicOutputFile::~AtomicOutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !inPlace_) ::unlink(temporary_.c_str());
}

void AtomicOutputFile::write(const void* data, std::size_t size) {
  if (const int error = writeAll(fd_, static_cast<const std::uint8_t*>(data), size))
    throwIoError("AtomicOutputFile::write", path_, std::strerror(error));
}

void AtomicOutputFile::setModificationTime(const struct timespec& time) {
  if (inPlace_) return;  // a device's or a pipe's time is not this output's
  const struct timespec times[2] = {{0, UTIME_OMIT}, time};
  if (::futimens(fd_, times) != 0) throwIoError("AtomicOutputFile::setModificationTime", path_, std::strerror(errno));
}

void AtomicOutputFile::setAttributeWherePossible(const char* name, const std::string& value) {
  if (!inPlace_) ::fsetxattr(fd_, name, value.data(), value.size(), 0);
}

void AtomicOutputFile::commit() {
  // On the disk before the rename: after a power cut the name holds the
  // whole file or is not there, never an empty file that --resume would
  // take for done.
  // A file system that cannot sync (some FUSE ones) holds the file as well as it can.
  if (sync_ && !inPlace_ && ::fdatasync(fd_) != 0 && errno != EINVAL && errno != ENOTSUP && errno != ENOSYS)
    throwIoError("AtomicOutputFile::commit", path_, std::strerror(errno));
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0 || (!inPlace_ && ::rename(temporary_.c_str(), destination_.c_str()) != 0))
    throwIoError("AtomicOutputFile::commit", path_, std::strerror(errno));
  committed_ = true;
}

void AtomicOutputFile::removeAbandoned(const std::string& folder, const std::string& forName) {
  std::error_code error;
  const std::string start = forName.empty() ? "." : "." + forName + ".";  // ".NAME." of ".NAME.PID-N.wfhost-tmp"
  for (const auto& entry : std::filesystem::directory_iterator(folder.empty() ? "." : folder, error)) {
    const std::string name = entry.path().filename().string();
    const std::size_t suffix = name.size() - std::min(name.size(), sizeof kTemporarySuffix - 1);
    if (name.compare(0, start.size(), start) != 0 || name.compare(suffix, std::string::npos, kTemporarySuffix) != 0)
      continue;
    // ".NAME.PID-N.wfhost-tmp": the writer's process id stands after the last dot of the stem.
    const std::size_t dash = name.rfind('-', suffix);
    const std::size_t dot = name.rfind('.', dash);
    if (dash == std::string::npos || dot == std::string::npos) continue;
    const long pid = std::strtol(name.c_str() + dot + 1, nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) std::filesystem::remove(entry.path(), error);
  }
}

std::string indentJson(std::string_view json) {
  std::string out;
  out.reserve(json.size() * 2);
  int depth = 0;
  bool inString = false;
  const auto newLine = [&] { out.append(1, '\n').append(static_cast<std::size_t>(2 * depth), ' '); };
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      out += c;
      if (c == '\\' && i + 1 < json.size()) out += json[++i];
      else if (c == '"') inString = false;
      continue;
    }
    switch (c) {
      case '"': inString = true; out += c; break;
      case '{':
      case '[': {
        const std::size_t next = json.find_first_not_of(" \t\r\n", i + 1);
        if (next != std::string_view::npos && (json[next] == '}' || json[next] == ']')) {
          out.append(1, c).append(1, json[next]);
          i = next;
        } else {
          out += c;
          ++depth;
          newLine();
        }
        break;
      }
      case '}':
      case ']': --depth; newLine(); out += c; break;
      case ',': out += c; newLine(); break;
      case ':': out += ": "; break;
      case ' ': case '\t': case '\r': case '\n': break;
      default: out += c;
    }
  }
  return out;
}

namespace {
std::string fileNameOf(const std::string& input) { return input == "-" ? "<stdin>" : input; }
}  // namespace

void rethrowNamingInput(const std::string& input) {
  try {
    throw;
  } catch (ZelException& e) {
    if (e.location().file.empty()) e.setFile(fileNameOf(input));
    throw;
  } catch (const wfxml::Error& e) {
    throw e.inFile(fileNameOf(input));
  }
}

std::string errorLine(const std::exception& e) {
  if (const auto* host = dynamic_cast<const ZelException*>(&e)) return std::string(host->what()) + " (" + host->getKey() + ")";
  if (const auto* error = dynamic_cast<const wfxml::Error*>(&e)) return std::string(error->what()) + " (" + error->key() + ")";
  return e.what();
}

void reportError(std::ostream& out, const std::exception& e) {
  out << "wfhost: " << errorLine(e) << '\n';
  if (iEffectiveLogFilter <= 3) return;  // the throw site is for debugging only
  const auto printSite = [&out](const ZelException& thrown) {
    out << "wfhost: thrown by " << thrown.getFunction() << " [" << thrown.getSourceFile() << ':' << thrown.getLine()
        << "]\n";
  };
  if (const auto* host = dynamic_cast<const ZelException*>(&e)) return printSite(*host);
  const auto* error = dynamic_cast<const wfxml::Error*>(&e);
  if (!error || !error->hostException()) return;
  try {
    std::rethrow_exception(error->hostException());
  } catch (const ZelException& thrown) {
    printSite(thrown);
  } catch (...) {
  }
}

std::string validationReport(const std::string& file, const std::vector<wfxml::ValidationError>& problems) {
  std::string report;
  for (const wfxml::ValidationError& problem : problems) {
    ZelLocation where;
    where.file = file;
    where.line = static_cast<long>(problem.line);
    where.column = static_cast<long>(problem.column);
    where.path = problem.path;
    report += zelOneLine(where, problem.message) + "\n";
  }
  return report;
}

#ifndef TOOLS_TOOLSUPPORT_H
#define TOOLS_TOOLSUPPORT_H

#include "messageinfo.h"

#include <time.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class ZelException;
namespace wfxml {
class Error;
struct ValidationError;
}

// Exit statuses of wfhost.
constexpr int kExitOk = 0;
constexpr int kExitHostError = 1;   // a host exception (bad document, dictionary, I/O ...)
constexpr int kExitUsage = 2;       // wrong arguments
constexpr int kExitUnexpected = 3;  // anything else

// Wrong command-line arguments; the text says what is wrong.
class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
// The error of an option the command does not take, with a hint where the
// option is another's that is easily taken for one it takes.
UsageError unknownOption(const std::string& arg);

// The arguments of one subcommand, consumed from the front.
class ArgumentList {
public:
  explicit ArgumentList(std::vector<std::string> args) : args_(std::move(args)) {}
  bool empty() const { return next_ == args_.size(); }
  // True when the next argument asks for the command's help (--help or -h).
  bool wantsHelp() const { return !empty() && (peek() == "--help" || peek() == "-h"); }
  const std::string& peek() const { return args_.at(next_); }
  std::string take() { return args_.at(next_++); }
  // The value after an option; UsageError when it is missing.
  std::string takeValue(const std::string& option);
  // A whole decimal number; UsageError otherwise.
  static long toNumber(const std::string& option, const std::string& text);

private:
  std::vector<std::string> args_;
  std::size_t next_ = 0;
};

// Options every command that loads the plug-in understands.
struct HostOptions {
  std::string plugin = "pwfxml";  // --plugin NAME|PATH
  int traceLevel = 0;             // --trace N, the log level
};
// Reads arg (and its value from args) when it is one of the HostOptions;
// false leaves everything untouched.
bool readHostOption(const std::string& arg, ArgumentList& args, HostOptions& options);

// The options that several commands share, read and described in one place
// so that every command spells them alike. A command names the groups it
// takes; the host options come with every group.
namespace SharedOption {
constexpr unsigned kMessageSet = 1u;     // --dict FILE, --schema FILE.xsd, --catalog FILE (repeatable)
constexpr unsigned kEncoding = 2u;       // --encoding NAME: the code page of the XML written
constexpr unsigned kInputEncoding = 4u;  // --input-encoding NAME: of an input without declaration
constexpr unsigned kProperties = 8u;     // --prop NAME=VALUE: message properties
constexpr unsigned kIndent = 16u;        // --indent: indented XML and JSON
constexpr unsigned kValidate = 32u;      // --validate: check XML inputs against the schemas first
constexpr unsigned kThreads = 64u;       // -j N: threads for many inputs
}  // namespace SharedOption

struct SharedOptions {
  explicit SharedOptions(unsigned groups) : accepted(groups) {}
  unsigned accepted;
  HostOptions host;
  std::string dictionary;
  std::vector<std::string> schemas;
  std::vector<std::string> catalogs;  // --catalog: XML catalogs for the --schema documents' imports
  std::string encoding;       // empty: the command's default
  std::string inputEncoding;  // empty: from the byte-order mark or declaration, else UTF-8
  bool indent = false;
  bool validate = false;
  unsigned threads = 0;  // -j; 0: as many as there are cores
  MessageInfo properties;
  bool hasMessageSet() const { return !dictionary.empty() || !schemas.empty(); }
  // The files a run reads, which no output may replace: inputs, and those
  // --dict and --schema name.
  std::vector<std::string> filesReadWith(const std::vector<std::string>& inputs) const;
  unsigned threadCount() const;  // -j, or the number of cores
  // The threads for a number of inputs: threadCount(), no more than inputs.
  unsigned threadsFor(std::size_t inputs) const;
};
// Reads arg (and its value) when it is an option of options' groups or a
// host option; false leaves everything untouched. Throws UsageError for a
// bad value (an unknown property name, --dict beside --schema).
bool readSharedOption(const std::string& arg, ArgumentList& args, SharedOptions& options);
// Help lines of the options of groups (with the host options last).
std::string sharedOptionsHelp(unsigned groups);

// Sets the property of "NAME=VALUE"; UsageError (naming option) otherwise,
// and for a name the system does not read (listing those it reads).
void setPropertyAssignment(const std::string& option, const std::string& assignment, MessageInfo& properties);

// The whole file, or stdin for "-"; throws ZelException CP_IO_ERROR
// (inserts: path, reason), also for a folder.
std::vector<std::uint8_t> readFile(const std::string& path);
// The time path was last changed; errors as readFile.
struct timespec modificationTimeOf(const std::string& path);
// The file opened to be read in steps; errors as readFile.
std::ifstream openFile(const std::string& path);
// Flushes std::cout and C's stdout; throws ZelException CP_IO_ERROR
// (inserts: "stdout", the reason) when either has failed to take anything
// written to it, so that no command reports success over output that a
// full device dropped.
void flushStdout();

// The bytes into a file (an AtomicOutputFile), or to stdout for "-". Throws
// ZelException CP_IO_ERROR, also when stdout cannot take them all.
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes, bool sync = true);

// The file a name leads to: symbolic links followed (to a file not there
// yet too), so that an output replaces the file a link names, as "> NAME"
// writes it, rather than the link; a link to a folder leads to the folder.
std::filesystem::path fileNamedBy(const std::string& path);

// True for a path that leads to a device or a pipe (/dev/null, /dev/stdout,
// <(zcat a.xml.gz), a FIFO): something that is neither a regular file nor a
// folder, which is read once as it comes and written as it is.
bool isDeviceOrPipe(const std::string& path);

// The absolute path that path leads to, links and ".." resolved as far as
// the file system goes (a file not there yet too).
std::string resolvedPath(const std::string& path);
// True when two paths lead to the same file (through links, "..", hard
// links; a file not there yet by its resolved path); false for "-".
bool sameFile(const std::string& one, const std::string& other);

// Makes ready the one output file of a command (-o; "-", stdout, needs
// nothing): UsageError when it is one of the files the command reads, which
// writing would replace; the temporaries that a killed run left for it are
// removed.
void prepareOutputFile(const std::string& output, const std::vector<std::string>& inputs);

// A file that appears under its name only complete: written under a
// temporary name in the same folder (".NAME.PID-N.wfhost-tmp") and renamed
// into place by commit(), after the disk holds it unless sync is false.
// A symbolic link is followed (fileNamedBy): the file it names is replaced,
// and keeps its permissions. A device or a pipe (isDeviceOrPipe) is written
// as it is, as "> FILE" writes it: a file renamed over /dev/null would
// replace the device.
// Every write, the sync, the close and the rename are checked (ZelException
// CP_IO_ERROR, inserts: path, reason); a file not committed removes its
// temporary, so a failure never leaves a partial file behind.
class AtomicOutputFile {
public:
  explicit AtomicOutputFile(std::string path, bool sync = true);
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  void write(const void* data, std::size_t size);
  // The file's modification time, as commit() names it.
  void setModificationTime(const struct timespec& time);
  // An extended attribute ("user.NAME") of the file where the file system
  // keeps them; nothing where it does not.
  void setAttributeWherePossible(const char* name, const std::string& value);
  void commit();

  // Removes the temporaries in folder that a process which is gone (killed,
  // say) left behind, all of them or those of the file named forName; those
  // of running processes stay.
  static void removeAbandoned(const std::string& folder, const std::string& forName = {});

private:
  std::string path_;         // as given, for messages
  std::string destination_;  // the file it leads to
  std::string temporary_;
  int fd_ = -1;
  bool sync_;
  bool inPlace_ = false;  // a device or a pipe, written as it is
  bool committed_ = false;
};

// Runs work on threads threads at once (this one among them) and returns
// when every one has returned.
void runOnThreads(unsigned threads, const std::function<void()>& work);
// The indexes 0 to count - 1, each handed out once, to any number of threads.
class InputQueue {
public:
  explicit InputQueue(std::size_t count) : count_(count) {}
  // The next index into index; false when none is left.
  bool take(std::size_t& index) { return (index = next_.fetch_add(1)) < count_; }

private:
  const std::size_t count_;
  std::atomic<std::size_t> next_{0};
};

// JSON text indented by two blanks a level, one member or item a line.
std::string indentJson(std::string_view json);

// An error as one line: "FILE:LINE:COLUMN: what went wrong in <Element>
// (KEY)" with the parts that are known; anything else: its what().
std::string errorLine(const std::exception& e);
// Writes "wfhost: " and errorLine(e); at log level above 3 (debug) also the
// host exception's throw site, on a line of its own.
void reportError(std::ostream& out, const std::exception& e);

// Runs work; an error from it that names no file names input ("<stdin>"
// for "-").
template <class Work>
decltype(auto) namingInput(const std::string& input, Work&& work);
// Inside a handler: rethrows the exception, naming input when it names no file.
[[noreturn]] void rethrowNamingInput(const std::string& input);

template <class Work>
decltype(auto) namingInput(const std::string& input, Work&& work) {
  try {
    return std::forward<Work>(work)();
  } catch (...) {
    rethrowNamingInput(input);
  }
}

// A document's validation problems, one line each, as errors read:
// "FILE:LINE:COLUMN: MESSAGE in <ELEMENT> at PATH\n".
std::string validationReport(const std::string& file, const std::vector<wfxml::ValidationError>& problems);

#endif

#ifndef TOOLS_WORKERSESSION_H
#define TOOLS_WORKERSESSION_H

// What the commands that parse and write with the plug-in share: owning
// handles for the factory's products, dictionary files loaded into
// descriptors (also for embedded messages of other message sets), message
// properties from the command line, and the host's calling order.

#include "bitstreamworker.h"
#include "dictionaryinfo.h"
#include "messageinfo.h"
#include "messagetree.h"
#include "pluginloader.h"
#include "toolsupport.h"
#include "zellog.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class BitstreamBuffer;
class FIHandler;
class MessageInfo;
class WritableBitstreamBuffer;

// Workers end with release(true), descriptors with release(), as the
// factory's contract says.
struct WorkerRelease {
  void operator()(BitstreamWorker* worker) const { worker->release(true); }
};
using WorkerPtr = std::unique_ptr<BitstreamWorker, WorkerRelease>;
struct DescriptorRelease {
  void operator()(DictionaryInfo* descriptor) const { descriptor->release(); }
};
using DescriptorPtr = std::unique_ptr<DictionaryInfo, DescriptorRelease>;

// A post-processed descriptor of a dictionary file (wfhost compile makes
// them). Throws CP_IO_ERROR for an unreadable file and the descriptor's
// errors for a bad one.
DescriptorPtr loadDescriptor(BitstreamWorkerFactory& factory, const std::string& path);

// Sets the property of "NAME=VALUE"; UsageError (naming option) otherwise.
void setPropertyAssignment(const std::string& option, const std::string& assignment, MessageInfo& properties);

// Parses buffer with worker into handler, as a host does: initializeParse,
// setFIHandler, parseFirst (with the member path of a subtree parse, if
// any), then parseNext while hasNext.
void parseInSteps(BitstreamWorker& worker, MessageInfo& properties, const BitstreamBuffer& buffer, FIHandler& handler,
                  const std::vector<long>* path = nullptr);

// Writes tree with worker, as a host does: initializeWrite, setFIMessageTree,
// write. Returns the number of bytes appended to out.
long writeInSteps(BitstreamWorker& worker, MessageInfo& properties, const FIMessageTree& tree,
                  WritableBitstreamBuffer& out);

// The bytes into a file, or to stdout for "-". Throws CP_IO_ERROR.
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The plug-in, an optional descriptor and one worker that uses it, owned in
// the order the factory's contract needs: the library outlives the
// descriptor, the descriptor outlives the worker.
class WorkerSession {
public:
  // dictionary: a dictionary file, or empty for none. Throws what loading
  // the plug-in or the dictionary throws.
  WorkerSession(const HostOptions& host, const std::string& dictionary);
  BitstreamWorkerFactory& factory() const { return factory_; }
  BitstreamWorker& worker() const { return *worker_; }

private:
  PluginLibrary library_;
  BitstreamWorkerFactory& factory_;
  DescriptorPtr descriptor_;
  ZelNamedLogSource logSource_;
  WorkerPtr worker_;
};

// The options of the commands that write XML: one input file, -o, --dict,
// --prop (output properties) and the host options. extra is asked first
// about every argument and answers true when it took it.
struct WriteCommandOptions {
  std::string input;
  std::string output;
  std::string dictionary;
  HostOptions host;
  MessageInfo outputProperties;
};
using ExtraOption = std::function<bool(const std::string& arg, ArgumentList& args)>;
// inputName names the input in errors ("TREE"). Throws UsageError.
void readWriteCommandOptions(ArgumentList& args, const char* inputName, WriteCommandOptions& options,
                             const ExtraOption& extra = {});

// Help lines of the options readWriteCommandOptions reads (after -o).
inline constexpr char kWriteOptionsHelp[] =
    "  --dict FILE          the dictionary to use (wfhost compile makes one)\n"
    "  --prop NAME=VALUE    an output property (repeatable): ccsid=N (code page,\n"
    "                       default 1208 UTF-8), encoding=N (byte order: low four\n"
    "                       bits 2 little-endian), subTreeBitStream=1 (no document\n"
    "                       start or end)\n"
    "  --trace N            log level: >0 user trace, >2 entry/exit/trace, >3 debug (stderr)\n"
    "  --plugin NAME|PATH   the wire-format library (default: pwfxml)\n";

// Embedded messages that name their own dictionary: the reference is a
// dictionary file, as given or relative to baseDirectory. Each is loaded
// once; while such a message is written its descriptor is pushed onto the
// worker (setWireFormatDescriptor) and popped again (release(false)).
class DictionaryFiles : public EmbeddedDictionarySwitch {
public:
  // All borrowed; they must outlive the switch's use.
  DictionaryFiles(BitstreamWorkerFactory& factory, BitstreamWorker& worker, std::string baseDirectory);
  ~DictionaryFiles() override;
  void loadDictionary(const ZelWstring& reference) override;
  void releaseDictionary(const ZelWstring& reference) override;

private:
  BitstreamWorkerFactory& factory_;
  BitstreamWorker& worker_;
  std::string baseDirectory_;
  std::map<std::string, DescriptorPtr> loaded_;
};

#endif

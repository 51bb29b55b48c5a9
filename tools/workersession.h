#ifndef TOOLS_WORKERSESSION_H
#define TOOLS_WORKERSESSION_H

// What the commands that parse and write with the plug-in share: owning
// handles for the factory's products, dictionary files loaded into
// descriptors (also for embedded messages of other message sets), message
// properties from the command line, and the host's calling order.

#include "bitstreamworker.h"
#include "dictionaryinfo.h"
#include "messagetree.h"

#include <cstdint>
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
// setFIHandler, parseFirst, then parseNext while hasNext.
void parseInSteps(BitstreamWorker& worker, MessageInfo& properties, const BitstreamBuffer& buffer, FIHandler& handler);

// Writes tree with worker, as a host does: initializeWrite, setFIMessageTree,
// write. Returns the number of bytes appended to out.
long writeInSteps(BitstreamWorker& worker, MessageInfo& properties, const FIMessageTree& tree,
                  WritableBitstreamBuffer& out);

// The bytes into a file, or to stdout for "-". Throws CP_IO_ERROR.
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

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

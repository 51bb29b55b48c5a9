#ifndef TOOLS_MESSAGESETSUPPORT_H
#define TOOLS_MESSAGESETSUPPORT_H

// What the commands that parse and write with the plug-in share: the
// message set of --dict and the host options, message properties from the
// command line, the output file, and dictionary files of embedded messages.

#include "messageinfo.h"
#include "messagetree.h"
#include "toolsupport.h"
#include "wfxml/host.h"
#include "wfxml/wfxml.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class BitstreamWorker;

// The wire-format library of the host options, with wfhost as the workers' log source.
wfxml::host::LibraryOptions libraryOf(const HostOptions& host);

// The dictionary file's message set, or the set without dictionary when
// dictionary is empty. Throws wfxml::Error.
wfxml::MessageSet openMessageSet(const HostOptions& host, const std::string& dictionary);

// Sets the property of "NAME=VALUE"; UsageError (naming option) otherwise.
void setPropertyAssignment(const std::string& option, const std::string& assignment, MessageInfo& properties);

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
// once; while such a message is written its dictionary is pushed onto the
// worker (setWireFormatDescriptor) and popped again (release(false)).
class DictionaryFiles : public EmbeddedDictionarySwitch {
public:
  // worker is borrowed; it must outlive the switch's use.
  DictionaryFiles(const HostOptions& host, BitstreamWorker& worker, std::string baseDirectory);
  ~DictionaryFiles() override;
  void loadDictionary(const ZelWstring& reference) override;
  void releaseDictionary(const ZelWstring& reference) override;

private:
  HostOptions host_;
  BitstreamWorker& worker_;
  std::string baseDirectory_;
  std::map<std::string, wfxml::MessageSet> loaded_;
};

#endif

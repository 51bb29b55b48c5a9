#ifndef TOOLS_MESSAGESETSUPPORT_H
#define TOOLS_MESSAGESETSUPPORT_H

// What the commands that parse and write with the plug-in share: the
// message set of --dict or --schema, message properties from the command
// line, the output file, and dictionary files of embedded messages.

#include "messageinfo.h"
#include "messageset.h"
#include "messagetree.h"
#include "toolsupport.h"
#include "wfxml/host.h"
#include "wfxml/wfxml.h"
#include "xsdimporter.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class BitstreamWorker;

// The wire-format library of the host options, with wfhost as the workers' log source.
wfxml::host::LibraryOptions libraryOf(const HostOptions& host);

// Whether the mapping warnings of schemas compiled in process are printed:
// they say what the dictionary's parse makes of constructs it maps loosely,
// and nothing of validation, which reads the schemas as they are.
enum class SchemaWarnings { Print, Drop };

// The message set of --dict or --schema (compiled in process), or the set
// without dictionary when neither is given. Throws wfxml::Error.
wfxml::MessageSet openMessageSet(const SharedOptions& options, SchemaWarnings warnings = SchemaWarnings::Print);
// The dictionary file's message set ("-": read from stdin). Throws wfxml::Error.
wfxml::MessageSet openDictionary(const HostOptions& host, const std::string& dictionary);

// The message set that source files describe, in the format their names
// call for: .xsd files (warnings go to stderr) or one message-set source
// .json. UsageError for other names.
msgset::MessageSet readMessageSetSources(const std::vector<std::string>& sources,
                                         const XsdImportOptions& schemaOptions = {},
                                         SchemaWarnings warnings = SchemaWarnings::Print);

// The properties of a write into output: --prop, then the code page of
// --encoding and --indent; text to stdout ("-") ends with a line break.
MessageInfo outputPropertiesOf(const SharedOptions& options, const std::string& output);
// The properties of a parse: --prop (or properties), then --input-encoding.
MessageInfo inputPropertiesOf(const SharedOptions& options, MessageInfo properties);
MessageInfo inputPropertiesOf(const SharedOptions& options);
// The options of a parse, validation or conversion through the API:
// --input-encoding, --validate, and the entity expansion limit of --prop.
wfxml::ParseOptions parseOptionsOf(const SharedOptions& options);

// The document's root as the parse named it where no message or element of
// the dictionary matched it (another namespace, another name), so that the
// document was parsed self-defining.
struct UndefinedRoot {
  std::u16string name;
  std::u16string namespaceUri;
};
std::optional<UndefinedRoot> undefinedRootOf(const MessageTree& tree);
// The plug-in parses a document whose root the dictionary does not define
// self-defining, as it must; with a dictionary the user expected typed
// values, so stderr says why there are none.
void warnOfUndefinedRoot(const std::string& file, const wfxml::MessageSet& set, const UndefinedRoot& root);

// The options of the commands that write XML: one input file, -o and the
// shared options. extra is asked first about every argument and answers true
// when it took it.
struct WriteCommandOptions {
  static constexpr unsigned kGroups =
      SharedOption::kMessageSet | SharedOption::kEncoding | SharedOption::kProperties | SharedOption::kIndent;
  std::string input;
  std::string output;
  SharedOptions shared{kGroups};
};
using ExtraOption = std::function<bool(const std::string& arg, ArgumentList& args)>;
// inputName names the input in errors ("TREE"). Throws UsageError.
void readWriteCommandOptions(ArgumentList& args, const char* inputName, WriteCommandOptions& options,
                             const ExtraOption& extra = {});

// UsageError when the dictionary and an input are both standard input ("-").
void refuseStdinTwice(const SharedOptions& shared, const std::string& input);

// The arguments of a command over many FILEs: extra is asked first, then the
// shared options; other options are refused, the rest are FILEs. A message
// set and at least one FILE are required ("no FILE to VERB"). Throws UsageError.
void readInputCommandOptions(ArgumentList& args, const char* verb, SharedOptions& shared,
                             std::vector<std::string>& inputs, const ExtraOption& extra);

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

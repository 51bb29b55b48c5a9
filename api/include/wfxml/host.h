#ifndef WFXML_HOST_H
#define WFXML_HOST_H

// The host framework's objects behind the wfxml API, for programs that use
// the framework directly as well (raw event traces, tree dumps, message
// properties the API does not name). Everything here borrows: references
// live as long as the handle they came from.

#include "wfxml/wfxml.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class BitstreamWorker;
class FIHandler;
class MessageInfo;
class MessageTree;
class StdDictionaryInfo;
class WritableBitstreamBuffer;

namespace wfxml::host {

// Which wire-format library a message set uses, and the name its workers
// log under.
struct LibraryOptions {
  std::string plugin = "pwfxml";  // a library name (found as PluginLibrary finds it) or a path
  std::string logSourceName = "wfxml";
};

// MessageSet::load and MessageSet::none with another library.
MessageSet load(const std::string& dictionaryPath, const LibraryOptions& library);
MessageSet none(const LibraryOptions& library);
// The message set of a dictionary's bytes (what a dictionary file holds,
// e.g. from compileMessageSetToExtract). Throws CP_DICTIONARY_FORMAT_ERROR.
MessageSet loadBytes(std::vector<std::uint8_t> dictionary, const LibraryOptions& library = {});

// The loaded dictionary; null for a set without one.
const StdDictionaryInfo* dictionary(const MessageSet& set);
// The messages of the set, as "{namespace}name" ("name" without one), in
// dictionary order; none for a set without a dictionary.
std::vector<std::string> qualifiedMessageNames(const MessageSet& set);

// The message's tree, with the set's dictionary names as its name resolver.
MessageTree& tree(Message& message);
const MessageTree& tree(const Message& message);
// A message with an empty tree, to be filled by the host.
Message emptyMessage(const MessageSet& set);

// The session's worker, which the session set up with its set's dictionary
// (for switching dictionaries of embedded messages while it writes). The
// session may replace it at its next parse or write.
BitstreamWorker& worker(Session& session);

// Sets the message properties "ccsid" and "encoding" to the code page of an
// encoding name as ParseOptions and WriteOptions take it ("ibm-500",
// "utf-16le", "500"). Throws Error CP_UNKNOWN_ENCODING.
void setEncoding(const std::string& name, MessageInfo& properties);

// Session::parse and Session::write with the framework's message properties
// instead of options (a code page, a subtree parse, the scanner's memory
// pool). path: the member path of a subtree parse, or null. A parse into a
// handler reports the framework's own events, ids included.
void parse(Session& session, const void* bytes, std::size_t size, const MessageInfo& properties, FIHandler& handler,
           const std::vector<long>* path = nullptr);
void parse(Session& session, const void* bytes, std::size_t size, const MessageInfo& properties, Message& message,
           const std::vector<long>* path = nullptr);
void write(Session& session, const Message& message, const MessageInfo& properties, std::vector<std::uint8_t>& out);
// The same into the framework's buffer, which the worker appends to
// directly (no copy: for benchmarks and hosts that keep such a buffer).
void write(Session& session, const Message& message, const MessageInfo& properties, WritableBitstreamBuffer& out);

}  // namespace wfxml::host

#endif

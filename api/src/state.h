#ifndef WFXML_SRC_STATE_H
#define WFXML_SRC_STATE_H

// What the API's handles hold: the state behind MessageSet, Session and
// Message. Private to the library (and its tests).

#include "wfxml/host.h"
#include "wfxml/wfxml.h"

#include "definitions.h"
#include "encoding.h"
#include "dictionaryinfo.h"
#include "messagetree.h"
#include "plugin.h"
#include "elementrecorder.h"
#include "functionref.h"
#include "jsontext.h"
#include "typeddatawriter.h"
#include "schemaview.h"
#include "schemavalidator.h"
#include "worker.h"
#include "bitstreambuffer.h"
#include "messageinfo.h"
#include "zellog.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class FIHandler;
class MessageInfo;
class StdDictionaryInfo;

namespace wfxml::detail {

struct MessageState;

using host::LibraryOptions;

// A dictionary file's bytes. Throws Error CP_IO_ERROR (inserts: the path,
// the reason).
std::vector<std::uint8_t> readDictionaryFile(const std::string& path);
// A file's bytes, for function; the same errors.
std::vector<std::uint8_t> readWholeFile(const std::string& path, const char* function);

// Refuses, before parse runs, what the scanner would misread without a word
// (a declaration that contradicts the encoding given or the byte-order mark,
// bytes the code page does not define), and after it, as the scanner refuses
// a bad byte (CP_XML_XERCES_PARSER_EXCEPTION at the sequence's line and
// column), a document that ends inside a UTF-8 sequence where the scanner
// reads it as UTF-8 (scannerEncoding as scannerEncodingOf names it):
// Xerces-C's decoder drops such a sequence without a word. A fault the parse
// finds before the sequence comes first, as in a document read in pieces;
// one at or past it (an element left open) is the sequence's doing and gives
// way to it. A byte the decoder cannot read is named with its own place and
// value, not the decoder's block's.
void parseRefusingBadUtf8(const void* bytes, std::size_t size, const std::u16string& scannerEncoding,
                          const char* function, FunctionRef<void()> parse);

// A loaded dictionary (or none) with the plug-in behind it. Read-only once
// made, apart from the pool of idle workers, which locks.
struct MessageSetState {
  // dictionaryBytes: a dictionary file's bytes, or none. Throws the
  // loader's and the descriptor's host exceptions (also for no bytes).
  MessageSetState(const LibraryOptions& library, std::optional<std::vector<std::uint8_t>> dictionaryBytes);
  MessageSetState(const MessageSetState&) = delete;
  MessageSetState& operator=(const MessageSetState&) = delete;

  // A worker set up with the descriptor: an idle one, else a new one.
  std::unique_ptr<Worker> takeWorker() const;
  // A new worker, for callers whose properties an idle one cannot serve.
  std::unique_ptr<Worker> newWorker() const;
  void giveBack(std::unique_ptr<Worker> worker) const;
  // The validator of the dictionary's schema documents, built on first use
  // (a failure is kept and raised again). Throws Error CP_NO_SCHEMA and as
  // SchemaValidator's constructor.
  const SchemaValidator& validator() const;

  struct DescriptorRelease {
    void operator()(DictionaryInfo* descriptor) const { descriptor->release(); }
  };

  // In destruction order, reversed: the library outlives the descriptor,
  // the descriptor and the owner outlive the workers.
  std::shared_ptr<const Plugin> plugin;
  ZelNamedLogSource owner;
  std::vector<std::uint8_t> dictionaryBytes;
  std::unique_ptr<DictionaryInfo, DescriptorRelease> descriptor;  // null: none
  const StdDictionaryInfo* dictionary = nullptr;                  // the descriptor's standard tables
  Definitions definitions;
  std::vector<std::string> compileWarnings;  // of a set compiled in process from schemas
  SchemaViewCache schema;  // the typed mapping's view of the dictionary, built on first use

private:
  mutable WorkerPool pool_;
  mutable std::mutex validatorLock_;
  mutable std::unique_ptr<const SchemaValidator> validator_;
  mutable std::exception_ptr validatorFailure_;
};

// A session's worker, borrowed from its message set and given back at the end.
struct SessionState {
  explicit SessionState(MessageSet set);
  ~SessionState();
  SessionState(const SessionState&) = delete;
  SessionState& operator=(const SessionState&) = delete;

  // Parses with the properties (the framework's message properties) into
  // handler or into message (emptied first; empty again on failure). path:
  // the member path of a subtree parse, or null. Host exceptions pass through.
  void parse(const void* bytes, std::size_t size, const MessageInfo& properties, FIHandler& handler,
             const std::vector<long>* path);
  void parse(const void* bytes, std::size_t size, const MessageInfo& properties, MessageState& message,
             const std::vector<long>* path);
  // Parses a whole document of the code page into handler as parse does.
  // One that Xerces-C would read as UTF-8 reaches the plug-in widened to
  // UTF-16, which its scanner copies instead of decoding byte by byte.
  void parseDocument(const void* bytes, std::size_t size, const CodePage& codePage, std::size_t entityExpansionLimit,
                     FIHandler& handler);
  // Appends the message's document to out; on failure out is as it was.
  // Throws CP_TREE_ERROR for a message of another dictionary.
  void write(const MessageState& message, const MessageInfo& properties, std::vector<std::uint8_t>& out);
  void write(const MessageState& message, const MessageInfo& properties, WritableBitstreamBuffer& out);

  // The worker to parse (write) with these properties: the session's own
  // when it can, else a fresh one that replaces it.
  Worker& workerToParse(const MessageInfo& properties);
  Worker& workerToWrite(const MessageInfo& properties);

  // The properties of the options' code page and entity expansion limit
  // (0: the plug-in's own), set again only when they change: a property
  // costs allocations.
  const MessageInfo& parseProperties(const CodePage& codePage, std::size_t entityExpansionLimit);
  // Those of a parse of the document with options.
  const MessageInfo& parseProperties(const ParseOptions& options, const void* bytes, std::size_t size);
  const MessageInfo& writeProperties(const CodePage& codePage, const WriteOptions& options);

  MessageSet set;
  std::unique_ptr<Worker> worker;  // null until first used
  WritableBitstreamBuffer output;  // kept between writes for its capacity
  ElementRecorder recorder;        // kept between typed conversions for its elements
  RecordedWalkLevels walkLevels;   // kept between typed conversions for their capacity
  JsonKeyTexts jsonKeys;           // kept between JSON conversions

private:
  MessageInfo parseProperties_;
  MessageInfo writeProperties_;
  std::optional<CodePage> parseCodePage_;
  std::size_t parseEntityExpansionLimit_ = 0;
  std::optional<CodePage> writeCodePage_;
  std::vector<char16_t> widened_;  // the last widened document; kept for its capacity
  std::optional<TreeBuilder> treeBuilder_;  // kept between tree parses for its stacks' capacity
};

// A message's tree and the set that names its elements.
struct MessageState {
  explicit MessageState(MessageSet set);
  MessageState(const MessageState&) = delete;
  MessageState& operator=(const MessageState&) = delete;

  // Names the tree's elements from set from now on.
  void useSet(const MessageSet& set);
  const Definitions& definitions() const { return set.state()->definitions; }
  // A handle on one of the tree's elements (null: an empty handle).
  Element element(TreeElement* treeElement) { return Element(treeElement, this); }

  // A setter that refuses its value on the element Element::append made
  // last, with nothing made since, removes that element again: a failed
  // append(...).setX(...) leaves the tree as it was.
  void rememberAppended(TreeElement& element, MessageTree::Mark before);
  void dropAppended(const TreeElement* element);

  MessageSet set;
  MessageTree tree;
  // Where the tree came from, for the checks of a write: built from typed
  // data (a problem is named by its JSON path), with its content checked
  // as it was built (a write need not check it again). Any change through
  // the API or the host ends both.
  bool fromTypedData = false;
  bool contentChecked = false;
  void changed() { fromTypedData = contentChecked = false; }

private:
  struct Appended {
    const TreeElement* element = nullptr;
    MessageTree::Mark before{0};
    std::size_t after = 0;  // the tree's element count just after the append
  };
  Appended appended_;

  // The dictionary's row names for the tree's text and JSON dumps.
  class RowNames : public TreeNameResolver {
  public:
    explicit RowNames(const StdDictionaryInfo* dictionary) : dictionary_(dictionary) {}
    ZelWstring nameOf(long tagId, long memberId, long typeIndex) const override;

  private:
    const StdDictionaryInfo* dictionary_;
  };
  std::unique_ptr<RowNames> names_;
};

}  // namespace wfxml::detail

#endif

#include "state.h"

#include "contentcheck.h"
#include "crowdedtags.h"
#include "cutvalues.h"
#include "encoding.h"
#include "entitylimits.h"
#include "outputcheck.h"
#include "undefinedbytes.h"
#include "unwritablecharacter.h"
#include "error.h"
#include "eventstream.h"
#include "jsontext.h"
#include "filereader.h"
#include "messageinfo.h"
#include "recordsplitter.h"
#include "typeddatawriter.h"
#include "widenedutf8.h"
#include "zelexception.h"

namespace wfxml {
namespace detail {
namespace {
std::string_view writeEncoding(const WriteOptions& options) {
  return options.encoding.empty() ? std::string_view("utf-8") : std::string_view(options.encoding);
}
}  // namespace

SessionState::SessionState(MessageSet messageSet) : set(std::move(messageSet)) {}

SessionState::~SessionState() {
  set.state()->giveBack(std::move(worker));
}

const MessageInfo& SessionState::parseProperties(const ParseOptions& options, const void* bytes, std::size_t size) {
  return parseProperties(codePageToRead(options.encoding, bytes, size), options.entityExpansionLimit);
}

const MessageInfo& SessionState::parseProperties(const CodePage& codePage, std::size_t entityExpansionLimit) {
  if (parseCodePage_ != codePage) {
    setCodePage(codePage, parseProperties_);
    parseCodePage_ = codePage;
  }
  if (parseEntityExpansionLimit_ != entityExpansionLimit) {
    const ZelWstring key(MI_ENTITYEXPANSIONLIMIT_STR);
    if (entityExpansionLimit > 0)
      parseProperties_.setIntegerProperty(key, static_cast<std::int64_t>(entityExpansionLimit));
    else
      parseProperties_.removeProperty(key);
    parseEntityExpansionLimit_ = entityExpansionLimit;
  }
  return parseProperties_;
}

namespace {
void setFlag(MessageInfo& properties, const char16_t* name, bool on) {
  const ZelWstring key(name);
  if (on)
    properties.setIntegerProperty(key, 1);
  else if (properties.getProperty(key))
    properties.removeProperty(key);
}
}  // namespace

const MessageInfo& SessionState::writeProperties(const CodePage& codePage, const WriteOptions& options) {
  if (writeCodePage_ != codePage) {
    setCodePage(codePage, writeProperties_);
    writeCodePage_ = codePage;
  }
  setFlag(writeProperties_, MI_DOCTYPE_STR, options.docType);
  setFlag(writeProperties_, MI_TIMESTAMPCOMMENT_STR, options.timestampComment);
  setFlag(writeProperties_, MI_INDENT_STR, options.indent);
  setFlag(writeProperties_, MI_FINALNEWLINE_STR, options.finalNewline);
  return writeProperties_;
}

Worker& SessionState::workerToParse(const MessageInfo& properties) {
  if (!worker) worker = set.state()->takeWorker();
  if (!worker->canParseWith(properties)) worker = set.state()->newWorker();
  return *worker;
}

Worker& SessionState::workerToWrite(const MessageInfo& properties) {
  if (!worker) worker = set.state()->takeWorker();
  if (!worker->canWriteWith(properties)) worker = set.state()->newWorker();
  return *worker;
}

void SessionState::parse(const void* bytes, std::size_t size, const MessageInfo& properties, FIHandler& handler,
                         const std::vector<long>* path) {
  Worker& parser = workerToParse(properties);
  const auto scannerEncoding = [&] { return scannerEncodingOf(codePageOf(properties), bytes, size); };
  if (mayHoldCrowdedTags(size)) refuseCrowdedTags(bytes, size, scannerEncoding());
  // Without a dictionary every element is self-defining, and its text runs
  // all come through; most documents hold no comment or instruction in content.
  if (!set.state()->dictionary || !mayCutValues(bytes, size)) return parser.parse(bytes, size, properties, handler, path);
  const std::int64_t limit = properties.getPropertyAsInteger(ZelWstring(MI_ENTITYEXPANSIONLIMIT_STR));
  const ReadingOfParse reading{scannerEncoding(),
                               entityExpansionLimitOf(limit > 0 ? static_cast<std::size_t>(limit) : 0)};
  CutValueWatch watch(handler, set.state()->definitions, bytes, size, reading);
  try {
    parser.parse(bytes, size, properties, watch, path);
  } catch (const ZelException&) {
    watch.explainFailure();
    throw;
  }
}

void SessionState::parse(const void* bytes, std::size_t size, const MessageInfo& properties, MessageState& message,
                         const std::vector<long>* path) {
  message.tree.clear();
  message.changed();
  message.useSet(set);
  if (treeBuilder_)
    treeBuilder_->restartOn(message.tree);
  else
    treeBuilder_.emplace(message.tree);
  try {
    parse(bytes, size, properties, *treeBuilder_, path);
  } catch (...) {
    message.tree.clear();
    throw;
  }
}

namespace {
// Longer documents are parsed as they are: the session keeps its widened
// buffer (up to twice this) from document to document.
constexpr std::size_t kWidenedAtMost = std::size_t{1} << 20;
constexpr CodePage kUtf8{1208, false};
constexpr CodePage kUtf16LittleEndian{1200, true};  // widenUtf8 widens on little-endian machines only

}  // namespace

void SessionState::parseDocument(const void* bytes, std::size_t size, const CodePage& codePage,
                                 std::size_t entityExpansionLimit, FIHandler& handler) {
  // Xerces-C's UTF-8 decoder costs some 8 instructions a byte, widening
  // about one. Widened only where the scanner reads the same characters:
  // no encoding forced but UTF-8, no other one marked or declared, strict
  // UTF-8 throughout.
  // A document type's entities can expand to more text than the document
  // holds; the plug-in bounds that text by the length of what it reads.
  const bool forcedUtf8 = codePage == kUtf8;
  if (size <= kWidenedAtMost && (codePage == CodePage{} || forcedUtf8) &&
      !declaresDocumentType(std::string_view(static_cast<const char*>(bytes), size))) {
    if (const std::optional<std::size_t> units = widenUtf8(bytes, size, forcedUtf8 ? u"UTF-8" : u"", widened_)) {
      blankPlainPrologComments(bytes, size, widened_.data());  // typed data keep no comment
      parse(widened_.data(), *units * sizeof(char16_t), parseProperties(kUtf16LittleEndian, entityExpansionLimit),
            handler, /*path=*/nullptr);
      return;
    }
  }
  parse(bytes, size, parseProperties(codePage, entityExpansionLimit), handler, /*path=*/nullptr);
}

namespace {
// A tree read with a dictionary names its defined elements by ids alone,
// which a writer without one cannot render: the plug-in then fails with an
// internal error that names no cause.
void refuseDefinedElements(const MessageTree& tree) {
  for (const TreeElement* element = tree.getRoot(); element; element = nextInDocumentOrder(*element)) {
    if (!element->getName().empty() || (element->getTagId() <= 0 && element->getMemberId() <= 0)) continue;
    ZelFatalException e(__FILE__, __LINE__, "Session::write", nullptr, ZelMessages::CP_TREE_ERROR);
    e.addInsert("write").addInsert("the tree's elements carry dictionary ids (tagId " +
                                   std::to_string(element->getTagId()) + ", member " +
                                   std::to_string(element->getMemberId()) +
                                   ") without names, and the message set has no dictionary: write it with the "
                                   "dictionary it was read with");
    throw e;
  }
}
}  // namespace

void SessionState::write(const MessageState& message, const MessageInfo& properties, std::vector<std::uint8_t>& out) {
  output.clear();
  write(message, properties, output);
  out.insert(out.end(), output.bytes().begin(), output.bytes().end());
}

void SessionState::write(const MessageState& message, const MessageInfo& properties, WritableBitstreamBuffer& out) {
  // Element ids mean something only in the dictionary they came from.
  const auto& own = message.set.state();
  if (own != set.state() && own->descriptor) {
    ZelFatalException e(__FILE__, __LINE__, "Session::write", nullptr, ZelMessages::CP_TREE_ERROR);
    e.addInsert("write").addInsert("the message belongs to another message set");
    throw e;
  }
  try {
    workerToWrite(properties).write(message.tree, properties, out);
  } catch (ZelException& e) {
    if (isUnwritableCharacter(e)) placeUnwritableCharacter(message.tree, own->schema.get(own->dictionary), e);
    if (!set.state()->dictionary) refuseDefinedElements(message.tree);
    throw;
  }
}

}  // namespace detail

Session::Session(const MessageSet& set) : state_(std::make_unique<detail::SessionState>(set)) {}
Session::Session(Session&&) noexcept = default;
Session& Session::operator=(Session&&) noexcept = default;
Session::~Session() = default;

Message Session::parse(const void* bytes, std::size_t size, const ParseOptions& options) {
  Message message(std::make_unique<detail::MessageState>(state_->set));
  parse(bytes, size, message, options);
  return message;
}

namespace {
// code: Xerces-C's, where its decoder refused the bytes; 0 where it did not.
[[noreturn]] void throwUtf8Fault(const detail::Utf8Fault& fault, const std::string& reason, std::int64_t code,
                                 const char* function) {
  detail::throwDocumentRefusal(static_cast<long>(fault.line), static_cast<long>(fault.column), reason, code, function);
}

// The scanner exception's second insert is Xerces-C's code.
bool isUndecodable(const ZelException& e) {
  const std::vector<ZelInsert>& inserts = e.getInserts();
  return e.getMessageNumber() == ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION && inserts.size() >= 2 &&
         inserts[1].isNumber && detail::isUndecodableCode(inserts[1].number);
}
}  // namespace

void detail::parseRefusingBadUtf8(const void* bytes, std::size_t size,
                                  const std::u16string& encoding, const char* function,
                                  FunctionRef<void()> parse) {
  if (const std::optional<std::string> contradiction = declarationContradicting(encoding, bytes, size))
    throwUtf8Fault({1, 1, 0}, *contradiction, 0, function);
  if (const std::optional<UndefinedBytes> undefined = firstUndefinedBytes(bytes, size, encoding))
    throwUtf8Fault({undefined->line, undefined->column, 0}, undefinedBytesReason(*undefined), 0, function);
  std::optional<Utf8Fault> cut;
  try {
    if (mayEndInsideUtf8Sequence(bytes, size)) cut = cutShortUtf8(bytes, size, encoding);
    parse();
  } catch (const ZelException& e) {
    if (isUndecodable(e))
      if (const std::optional<Utf8Fault> bad = firstNonUtf8Byte(bytes, size, encoding))
        throwUtf8Fault(*bad, nonUtf8Reason(*bad), e.getInserts()[1].number, function);
    // A document the scanner read in the encoding its declaration wrongly
    // names, or one without any element.
    if (e.getMessageNumber() == ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION && encoding.empty()) {
      if (const std::optional<std::string> reason = unreadableDocumentReason(bytes, size)) {
        const std::vector<ZelInsert>& inserts = e.getInserts();
        throwUtf8Fault({1, 1, 0}, *reason, inserts.size() >= 2 && inserts[1].isNumber ? inserts[1].number : 0, function);
      }
    }
    const ZelLocation at = e.location();
    if (!cut || at.line == 0 || at.line < static_cast<long>(cut->line) ||
        (at.line == static_cast<long>(cut->line) && at.column < static_cast<long>(cut->column)))
      throw;
  }
  if (cut) throwUtf8Fault(*cut, cutShortUtf8Reason(*cut), 0, function);
}

namespace {
void parseRefusingBadUtf8(const void* bytes, std::size_t size, const ParseOptions& options,
                          detail::FunctionRef<void()> parse) {
  detail::parseRefusingBadUtf8(bytes, size,
                               detail::scannerEncodingOf(detail::codePageOf(options.encoding), bytes, size),
                               "Session::parse", parse);
}

// ParseOptions::validate: the document's problems, raised before it is parsed.
void validateIfAsked(const MessageSet& set, const void* bytes, std::size_t size, const ParseOptions& options) {
  if (!options.validate) return;
  std::vector<ValidationError> problems = set.validate(bytes, size, options);
  if (!problems.empty()) detail::throwNotValid(__FILE__, __LINE__, "Session::parse", std::move(problems));
}
}  // namespace

void Session::parse(const void* bytes, std::size_t size, Message& message, const ParseOptions& options) {
  detail::translated([&] {
    try {
      validateIfAsked(state_->set, bytes, size, options);
      parseRefusingBadUtf8(bytes, size, options, [&] {
        state_->parse(bytes, size, state_->parseProperties(options, bytes, size), message.state(),
                      /*path=*/nullptr);
      });
    } catch (...) {
      message.state().tree.clear();
      throw;
    }
  });
}

void Session::parse(const void* bytes, std::size_t size, const std::function<void(const Event&)>& onEvent,
                    const ParseOptions& options) {
  detail::translated([&] {
    validateIfAsked(state_->set, bytes, size, options);
    detail::EventStream events(state_->set.state()->definitions, onEvent);
    parseRefusingBadUtf8(bytes, size, options, [&] {
      state_->parse(bytes, size, state_->parseProperties(options, bytes, size), events,
                    /*path=*/nullptr);
    });
  });
}

void Session::toTypedData(const void* bytes, std::size_t size, TypedDataHandler& out, const ParseOptions& options) {
  detail::translated([&] {
    const detail::MessageSetState& set = *state_->set.state();
    validateIfAsked(state_->set, bytes, size, options);
    parseRefusingBadUtf8(bytes, size, options, [&] {
      state_->parseDocument(bytes, size, detail::codePageToRead(options.encoding, bytes, size),
                            options.entityExpansionLimit, state_->recorder);
    });
    detail::writeTypedData(set.schema.get(set.dictionary), state_->recorder, out, state_->walkLevels);
  });
}

std::string Session::toJson(const void* bytes, std::size_t size, const ParseOptions& options) {
  std::string json;
  detail::JsonTextWriter writer(json, &state_->jsonKeys);
  toTypedData(bytes, size, writer, options);
  return json;
}

void Session::toTypedDataRecords(
    const void* bytes, std::size_t size, std::string_view record,
    const std::function<void(const std::function<void(TypedDataHandler&)>& writeTo)>& onRecord,
    const ParseOptions& options) {
  if (options.validate) {
    // Checked while it is read, as a RecordReader checks a stream: the
    // records of a piece come once the check has read past it.
    std::string_view rest(static_cast<const char*>(bytes), size);
    RecordReader reader(record, [&rest] {
      const std::string_view next = rest.substr(0, RecordReader::kPieceSize);
      rest.remove_prefix(next.size());
      return next;
    }, options);
    while (reader.nextTypedData(*this, onRecord)) {
    }
    return;
  }
  detail::translated([&] {
    const detail::RecordPattern pattern(record);
    detail::MessageState message(state_->set);
    const detail::SchemaView* view = state_->set.state()->schema.get(state_->set.state()->dictionary);
    const std::function<void(const MessageTree&)> each = [&](const MessageTree& tree) {
      onRecord([&](TypedDataHandler& out) { detail::writeTypedData(view, tree, out); });
    };
    detail::RecordSplitter splitter(state_->set.state()->definitions, message.tree, pattern, each);
    parseRefusingBadUtf8(bytes, size, options, [&] {
      state_->parse(bytes, size, state_->parseProperties(options, bytes, size), splitter,
                    /*path=*/nullptr);
    });
  });
}

void Session::toJsonRecords(const void* bytes, std::size_t size, std::string_view record,
                            const std::function<void(std::string_view json)>& onRecord,
                            const ParseOptions& options) {
  std::string json;
  toTypedDataRecords(bytes, size, record, [&](const std::function<void(TypedDataHandler&)>& writeTo) {
    json.clear();
    detail::JsonTextWriter writer(json, &state_->jsonKeys);
    writeTo(writer);
    onRecord(json);
  }, options);
}

void Session::toJsonRecordsFromFile(const std::string& path, std::string_view record,
                                    const std::function<void(std::string_view json)>& onRecord,
                                    const ParseOptions& options) {
  detail::FileReader file(path, RecordReader::kPieceSize);
  RecordReader reader(record, [&file] { return file.next(); }, options);
  while (reader.nextJson(*this, onRecord)) {
  }
}

void Session::write(const Message& message, std::vector<std::uint8_t>& out, const WriteOptions& options) {
  detail::translated([&] {
    const detail::MessageState& state = message.state();
    const detail::MessageSetState& own = *message.messageSet().state();
    const detail::SchemaView* view = own.schema.get(own.dictionary);
    if (options.check && view && !state.contentChecked) detail::ContentCheck(*view).checkTree(state.tree);
    const detail::CodePage codePage = detail::codePageOf(detail::writeEncoding(options));
    const std::size_t before = out.size();
    state_->write(state, state_->writeProperties(codePage, options), out);
    if (!options.check) return;
    try {
      detail::refuseInvalidDocument(own, state.tree, out.data() + before, out.size() - before, codePage,
                                    state.fromTypedData ? detail::ProblemPath::Json : detail::ProblemPath::Tree);
    } catch (...) {
      out.resize(before);
      throw;
    }
  });
}

std::vector<std::uint8_t> Session::write(const Message& message, const WriteOptions& options) {
  std::vector<std::uint8_t> out;
  write(message, out, options);
  return out;
}

const MessageSet& Session::messageSet() const { return state_->set; }

}  // namespace wfxml

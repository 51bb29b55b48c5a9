#include "state.h"

#include "error.h"
#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "stddictionaryinfo.h"
#include "undefinedbytes.h"
#include "widenedutf8.h"
#include "xsdimporter.h"
#include "zelexception.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace wfxml {
namespace detail {
namespace {

constexpr char kCompile[] = "MessageSet::compile";
constexpr char kLoad[] = "MessageSet::load";

bool endsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The message set the sources describe: XML Schema files, or one
// message-set source; with the schemas' warnings.
XsdImportResult readSources(const std::vector<std::string>& sources, const std::vector<std::string>& catalogs) {
  if (sources.empty())
    throwError(__FILE__, __LINE__, kCompile, ZelMessages::CP_DICTIONARY_SOURCE_ERROR, {"", "", "no source given"});
  const std::string& first = sources.front();
  if (endsWith(first, ".json")) {
    if (sources.size() > 1)
      throwError(__FILE__, __LINE__, kCompile, ZelMessages::CP_DICTIONARY_SOURCE_ERROR,
                 {first, "", "a .json source is compiled on its own"});
    return {readMessageSetJsonFile(first), {}, {}};
  }
  for (const std::string& source : sources)
    if (!endsWith(source, ".xsd"))
      throwError(__FILE__, __LINE__, kCompile, ZelMessages::CP_DICTIONARY_SOURCE_ERROR,
                 {source, "", "unknown source format (expected .xsd files or one .json file)"});
  XsdImportOptions options;
  options.catalogFiles = catalogs;
  return importXmlSchemas(sources, options);
}

std::unique_ptr<DictionaryInfo, MessageSetState::DescriptorRelease> loadDescriptor(
    const Plugin& plugin, const std::optional<std::vector<std::uint8_t>>& dictionaryBytes) {
  if (!dictionaryBytes) return nullptr;
  const std::vector<std::uint8_t>& bytes = *dictionaryBytes;
  std::unique_ptr<DictionaryInfo, MessageSetState::DescriptorRelease> descriptor(plugin.factory().createDescriptor());
  descriptor->FromExtractFormat(nullptr, bytes.data(), bytes.size());
  descriptor->postProcessDictionary();
  return descriptor;
}

}  // namespace

std::vector<std::uint8_t> readDictionaryFile(const std::string& path) { return readWholeFile(path, kLoad); }

std::vector<std::uint8_t> readWholeFile(const std::string& path, const char* function) {
  // A folder opens like a file, and its size is anything.
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored))
    throwError(__FILE__, __LINE__, function, ZelMessages::CP_IO_ERROR, {path, std::strerror(EISDIR)});
  std::ifstream in(path, std::ios::binary);
  if (!in) throwError(__FILE__, __LINE__, function, ZelMessages::CP_IO_ERROR, {path, std::strerror(errno)});
  std::vector<std::uint8_t> bytes;
  bool complete = true;
  if (in.seekg(0, std::ios::end)) {
    // In one read of the file's size: dictionaries and documents run to megabytes.
    bytes.resize(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)));
    in.seekg(0);
    complete = static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())));
  } else {  // a pipe has no size: read to its end
    in.clear();
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    complete = !in.bad();
  }
  if (!complete) throwError(__FILE__, __LINE__, function, ZelMessages::CP_IO_ERROR, {path, std::strerror(errno)});
  return bytes;
}

MessageSetState::MessageSetState(const LibraryOptions& library, std::optional<std::vector<std::uint8_t>> bytes)
    : plugin(loadPlugin(library.plugin)),
      owner(library.logSourceName),
      descriptor(loadDescriptor(*plugin, bytes)),
      dictionary(dynamic_cast<const StdDictionaryInfo*>(descriptor.get())),
      definitions(dictionary) {
  if (bytes) dictionaryBytes = std::move(*bytes);
  // The first worker starts the plug-in's scanner library, which stops again
  // at exit. Made now, before this set is complete, it makes the set the
  // younger of the two, so that a set kept in a static variable goes first.
  pool_.giveBack(newWorker());
}

std::unique_ptr<Worker> MessageSetState::takeWorker() const {
  std::unique_ptr<Worker> worker = pool_.take();
  return worker ? std::move(worker) : newWorker();
}

std::unique_ptr<Worker> MessageSetState::newWorker() const {
  return std::make_unique<Worker>(plugin->factory(), descriptor.get(), owner);
}

void MessageSetState::giveBack(std::unique_ptr<Worker> worker) const { pool_.giveBack(std::move(worker)); }

const SchemaValidator& MessageSetState::validator() const {
  std::lock_guard<std::mutex> lock(validatorLock_);
  if (validator_) return *validator_;
  if (validatorFailure_) std::rethrow_exception(validatorFailure_);
  try {
    if (dictionary == nullptr || dictionary->getSchemaDocuments().empty()) {
      throwError(__FILE__, __LINE__, "MessageSet::validate", ZelMessages::CP_NO_SCHEMA,
                 {dictionary == nullptr ? "the message set has no dictionary"
                                        : "the dictionary keeps no XML Schema documents (compiled from a message-set "
                                          "source, or before they were kept: compile it again from the .xsd files)"});
    }
    validator_ = std::make_unique<const SchemaValidator>(dictionary->getSchemaDocuments());
  } catch (const Error&) {
    validatorFailure_ = std::current_exception();
    throw;
  }
  return *validator_;
}

}  // namespace detail

MessageSet::MessageSet(std::shared_ptr<const detail::MessageSetState> state) : state_(std::move(state)) {}

MessageSet MessageSet::load(const std::string& dictionaryPath) {
  return detail::translatedLoad(dictionaryPath, [&] {
    return MessageSet(
        std::make_shared<const detail::MessageSetState>(detail::LibraryOptions(), detail::readDictionaryFile(dictionaryPath)));
  });
}

MessageSet MessageSet::fromDictionaryBytes(std::vector<std::uint8_t> bytes) {
  return detail::translated([&] {
    return MessageSet(std::make_shared<const detail::MessageSetState>(detail::LibraryOptions(), std::move(bytes)));
  });
}

MessageSet MessageSet::compile(const std::vector<std::string>& sourcePaths, const std::vector<std::string>& catalogs) {
  return detail::translated([&] {
    XsdImportResult sources = detail::readSources(sourcePaths, catalogs);
    std::vector<std::uint8_t> bytes = compileMessageSetToExtract(sources.set, sourcePaths.front());
    auto state = std::make_shared<detail::MessageSetState>(detail::LibraryOptions(), std::move(bytes));
    state->compileWarnings = std::move(sources.warnings);
    state->compileWarnings.insert(state->compileWarnings.end(), sources.mappingWarnings.begin(),
                                  sources.mappingWarnings.end());
    return MessageSet(std::move(state));
  });
}

MessageSet MessageSet::none() {
  return detail::translated([] {
    return MessageSet(std::make_shared<const detail::MessageSetState>(detail::LibraryOptions(), std::nullopt));
  });
}

std::vector<std::uint8_t> MessageSet::dictionaryBytes() const { return state_->dictionaryBytes; }

std::vector<std::string> MessageSet::messageNames() const { return state_->definitions.messageNames(); }

const std::vector<std::string>& MessageSet::compileWarnings() const { return state_->compileWarnings; }

std::vector<ValidationError> MessageSet::validate(const void* bytes, std::size_t size, const ParseOptions& options) const {
  const detail::SchemaValidator& validator = state_->validator();
  const std::u16string encoding = detail::scannerEncodingOf(detail::codePageOf(options.encoding), bytes, size);
  if (const std::optional<std::string> contradiction = detail::declarationContradicting(encoding, bytes, size))
    return {{1, 1, "", *contradiction}};
  std::vector<ValidationError> problems =
      validator.validate(bytes, size, {encoding, detail::entityExpansionLimitOf(options.entityExpansionLimit)});
  // The scanner drops such a sequence without a word; what it finds at or
  // past it (an element left open) is the sequence's doing.
  if (const std::optional<detail::Utf8Fault> cut = detail::cutShortUtf8(bytes, size, encoding)) {
    const auto atOrPast = [&cut](const ValidationError& p) {
      return p.line > cut->line || (p.line == cut->line && p.column >= cut->column);
    };
    problems.erase(std::remove_if(problems.begin(), problems.end(), atOrPast), problems.end());
    problems.push_back({cut->line, cut->column, "", detail::cutShortUtf8Reason(*cut)});
  }
  // The scanner reads such bytes as U+FFFD: what it finds at or past them is
  // theirs to answer for.
  if (const std::optional<detail::UndefinedBytes> undefined = detail::firstUndefinedBytes(bytes, size, encoding)) {
    const auto atOrPast = [&undefined](const ValidationError& p) {
      return p.line > undefined->line || (p.line == undefined->line && p.column >= undefined->column);
    };
    problems.erase(std::remove_if(problems.begin(), problems.end(), atOrPast), problems.end());
    problems.push_back({undefined->line, undefined->column, "", detail::undefinedBytesReason(*undefined)});
  }
  return problems;
}

Message MessageSet::parse(const void* bytes, std::size_t size, const ParseOptions& options) const {
  Session session(*this);
  return session.parse(bytes, size, options);
}

Message MessageSet::parseFile(const std::string& path, const ParseOptions& options) const {
  const std::vector<std::uint8_t> bytes = detail::readWholeFile(path, "MessageSet::parseFile");
  return parse(bytes.data(), bytes.size(), options);
}

std::vector<std::uint8_t> MessageSet::write(const Message& message, const WriteOptions& options) const {
  Session session(*this);
  return session.write(message, options);
}

const char* version() { return WFXML_VERSION; }

}  // namespace wfxml

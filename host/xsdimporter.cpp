#include "xsdimporter.h"

#include "largestack.h"
#include "messagesetjson.h"
#include "schemadocument.h"
#include "schemareferencechains.h"
#include "schemarewrite.h"
#include "xmlcatalog.h"
#include "xmllibrary.h"
#include "zelexception.h"
#include "zelwstring.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLGrammarPoolImpl.hpp>
#include <xercesc/framework/psvi/XSAttributeDeclaration.hpp>
#include <xercesc/framework/psvi/XSAttributeUse.hpp>
#include <xercesc/framework/psvi/XSComplexTypeDefinition.hpp>
#include <xercesc/framework/psvi/XSElementDeclaration.hpp>
#include <xercesc/framework/psvi/XSModel.hpp>
#include <xercesc/framework/psvi/XSModelGroup.hpp>
#include <xercesc/framework/psvi/XSNamespaceItem.hpp>
#include <xercesc/framework/psvi/XSParticle.hpp>
#include <xercesc/framework/psvi/XSSimpleTypeDefinition.hpp>
#include <xercesc/framework/psvi/XSWildcard.hpp>
#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>
#include <xercesc/util/XMLURL.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/schema/SchemaSymbols.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>

using namespace xercesc;
using namespace msgset;

namespace {

constexpr char kFunction[] = "importXmlSchemas";
const std::string kXsdUri(kXmlSchemaNamespace);
const std::string kXmlUri = "http://www.w3.org/XML/1998/namespace";

std::string utf8(const XMLCh* text) { return ZelWstring(text).toUtf8(); }

// A system id as users write it: local files without the URL scheme, and
// those under the working folder relative to it (Xerces-C makes the names
// of documents it includes or imports absolute).
std::string displayName(const std::string& systemId) {
  const std::string scheme = "file://";
  const std::string path = systemId.compare(0, scheme.size(), scheme) == 0 ? systemId.substr(scheme.size()) : systemId;
  std::error_code unknown;
  const std::filesystem::path here = std::filesystem::current_path(unknown);
  if (unknown || path.empty() || path.front() != '/' || here == here.root_path()) return path;
  const std::filesystem::path relative = std::filesystem::path(path).lexically_relative(here);
  return relative.empty() || *relative.begin() == ".." ? path : relative.string();
}


// Keeps the first error of a schema load (and every warning) with its place.
class SchemaErrorCollector : public DefaultHandler {
public:
  void warning(const SAXParseException& e) override { warnings.push_back(describe(e)); }
  void error(const SAXParseException& e) override { record(e); }
  void fatalError(const SAXParseException& e) override { record(e); }

  bool failed = false;
  std::string file, place, what;
  long line = 0;
  std::vector<std::string> warnings;

private:
  void record(const SAXParseException& e) {
    if (failed) return;
    failed = true;
    file = displayName(utf8(e.getSystemId()));
    line = static_cast<long>(e.getLineNumber());
    place = "line " + std::to_string(line) + ", column " + std::to_string(e.getColumnNumber());
    what = utf8(e.getMessage());
  }
  static std::string describe(const SAXParseException& e) {
    const std::string file = displayName(utf8(e.getSystemId()));
    // A document that cannot be opened has no place of its own.
    if (file.empty() && e.getLineNumber() == 0) return utf8(e.getMessage());
    return file + ":" + std::to_string(e.getLineNumber()) + ": " + utf8(e.getMessage());
  }
};

// What the component model does not keep: the prefixes a schema document
// binds and the line of each top-level declaration.
struct SchemaDocumentFacts {
  std::map<std::string, std::string> prefixByUri;  // the first non-empty prefix bound to each URI
  std::map<std::string, std::string> fileOf;       // "kind name" -> file
  std::map<std::string, long> lineOf;              // "kind name" -> line
  std::vector<std::pair<long, std::string>> components;  // line, "kind 'name'", in document order
  bool refersByAbsolutePath = false;  // a schemaLocation names a local file by absolute path or file: URL
  std::string targetNamespace;        // of the last document scanned
  std::set<std::string> unlocatedImports;  // namespaces imported without a schemaLocation
  std::set<std::string> networkImports;    // namespaces imported by a URL of the network
};

std::string componentKey(const std::string& kind, const std::string& ns, const std::string& name) {
  return kind + " {" + ns + "}" + name;
}

// True for a URL ("file:///...", "http://..."), false for a path.
bool isUrl(const std::string& location) {
  const std::size_t colon = location.find("://");
  return colon != std::string::npos && colon > 1 &&
         std::all_of(location.begin(), location.begin() + static_cast<std::ptrdiff_t>(colon),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '.' || c == '-'; });
}

// A schemaLocation as Xerces-C resolves it: a URL as it stands, or against
// the referring document's URL, or a path against its folder. Empty when it
// cannot be resolved.
std::string resolvedLocation(const XMLCh* referrer, const XMLCh* location) {
  if (isUrl(utf8(location))) return utf8(location);
  try {
    if (isUrl(utf8(referrer))) return utf8(XMLURL(XMLURL(referrer), location).getURLText());
    std::unique_ptr<XMLCh, void (*)(XMLCh*)> woven(XMLPlatformUtils::weavePaths(referrer, location),
                                                   [](XMLCh* path) { XMLPlatformUtils::fgMemoryManager->deallocate(path); });
    return utf8(woven.get());
  } catch (const XMLException&) {
    return {};
  }
}

// A schema document of the namespace that declares nothing.
std::string emptySchemaDocument(const std::string& targetNamespace) {
  return "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema' targetNamespace='" +
         escapedForAttribute(targetNamespace) + "'/>";
}

// One spelling per local file, so that each document is read once.
std::string documentKey(const std::string& location) {
  const std::string path = displayName(location);
  if (path.find("://") != std::string::npos) return path;
  std::error_code ignored;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ignored);
  return canonical.empty() ? path : canonical.string();
}

class SchemaDocumentScanner : public DefaultHandler {
public:
  SchemaDocumentScanner(SchemaDocumentFacts& facts, const XMLCh* systemId)
      : facts_(facts), systemId_(systemId), file_(displayName(utf8(systemId))) {}

  // The documents it includes, redefines, overrides or imports, resolved.
  const std::vector<std::string>& references() const { return references_; }

  void setDocumentLocator(const Locator* locator) override { locator_ = locator; }
  void startPrefixMapping(const XMLCh* prefix, const XMLCh* uri) override {
    const std::string p = utf8(prefix);
    if (!p.empty()) facts_.prefixByUri.emplace(utf8(uri), p);
  }
  struct TooDeep {};
  void startElement(const XMLCh* uri, const XMLCh* localName, const XMLCh*, const Attributes& attrs) override {
    if (++depth_ > kSchemaNestingBound) throw TooDeep{};  // refused before it is loaded
    if (depth_ == 1) {
      const XMLCh* target = attrs.getValue(u"targetNamespace");
      targetNamespace_ = target ? utf8(target) : std::string();
      facts_.targetNamespace = targetNamespace_;
      return;
    }
    if (depth_ != 2 || utf8(uri) != kXsdUri) return;
    const XMLCh* location = attrs.getValue(u"schemaLocation");
    if (location != nullptr && isReference(utf8(localName))) {
      const std::string written = utf8(location);
      if (!isNetworkLocation(written) && (written.rfind("file:", 0) == 0 || std::filesystem::path(written).is_absolute()))
        facts_.refersByAbsolutePath = true;
      if (isNetworkLocation(written) && utf8(localName) == "import") {
        const XMLCh* imported = attrs.getValue(u"namespace");
        facts_.networkImports.insert(imported ? utf8(imported) : std::string());
      }
      std::string resolved = resolvedLocation(systemId_, location);
      if (!resolved.empty()) references_.push_back(std::move(resolved));
    } else if (location == nullptr && utf8(localName) == "import") {
      const XMLCh* imported = attrs.getValue(u"namespace");
      facts_.unlocatedImports.insert(imported ? utf8(imported) : std::string());
    }
    const XMLCh* name = attrs.getValue(u"name");
    if (name == nullptr) return;
    const std::string key = componentKey(utf8(localName), targetNamespace_, utf8(name));
    facts_.fileOf.emplace(key, file_);
    const long line = locator_ ? static_cast<long>(locator_->getLineNumber()) : 0L;
    facts_.lineOf.emplace(key, line);
    facts_.components.emplace_back(line, utf8(localName) + " '" + utf8(name) + "'");
  }
  void endElement(const XMLCh*, const XMLCh*, const XMLCh*) override { --depth_; }

private:
  static bool isReference(const std::string& element) {
    return element == "include" || element == "import" || element == "redefine" || element == "override";
  }

  SchemaDocumentFacts& facts_;
  const XMLCh* systemId_;
  std::string file_;
  std::vector<std::string> references_;
  const Locator* locator_ = nullptr;
  int depth_ = 0;
  std::string targetNamespace_;
};

bool readFile(const std::string& path, std::string& text) {
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(path, ignored)) return false;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  text = bytes.str();
  return static_cast<bool>(in);
}

InputSource* memorySource(const std::string& bytes, const std::string& systemId) {
  auto* copy = new XMLByte[bytes.size()];
  std::memcpy(copy, bytes.data(), bytes.size());
  return new MemBufInputSource(copy, bytes.size(), ZelWstring::fromUtf8(systemId).c_str(), true);
}

// Keeps every schema document the load reads, so that the dictionary can
// validate without the files. Documents are read here and handed to
// Xerces-C from memory. Nothing is fetched: a location only the network
// could serve is read from the local file the XML catalog maps it to (and
// kept under its own location, which the documents refer to), else noted
// as unmapped and read as empty; external entities by such a location read
// as empty, and so do those of a local file that is not there. (External DTD
// subsets are not read at all: rewriteForSchemaReader leaves their ids out.)
class SchemaDocumentRecorder : public XMLEntityResolver {
public:
  explicit SchemaDocumentRecorder(const XmlCatalog& catalog) : catalog_(catalog) {}

  // A file the user named; false when it cannot be read.
  bool recordRoot(const std::string& file) {
    const std::string location = resolveSchemaLocation("", file);
    const std::string read = isNetworkLocation(location) ? catalog_.resolve(location) : location;
    std::string bytes;
    if (!readFile(read, bytes)) return false;
    record(location, read, std::move(bytes), true);
    return true;
  }

  InputSource* resolveEntity(XMLResourceIdentifier* resource) override {
    // An import without a schemaLocation names a namespace, not a document
    // (Spring's of the XML namespace): there is nothing to read, and its
    // referrer's folder, where an empty location resolves, is none. The XML
    // namespace's schema is fixed: where no document of the set declares it,
    // such an import of it, or one by a URL no catalog maps, reads that one.
    const bool isImport = resource->getResourceIdentifierType() == XMLResourceIdentifier::SchemaImport;
    const bool readsOwnXmlSchema =
        isImport && !declaresXmlNamespace_ && utf8(resource->getNameSpace()) == kXmlUri;
    const std::string named = utf8(resource->getSystemId());
    if (named.empty() && isImport && !readsOwnXmlSchema) return nullptr;
    const std::string written = named.empty() ? kXmlNamespaceSchemaLocation : named;
    const std::string location = resolveSchemaLocation(utf8(resource->getBaseURI()), written);
    if (resource->getResourceIdentifierType() == XMLResourceIdentifier::ExternalEntity) {
      std::error_code ignored;
      const bool readable = !isNetworkLocation(location) && std::filesystem::is_regular_file(location, ignored);
      return readable ? nullptr : memorySource({}, location);
    }
    const SchemaDocument* document = find(location);
    if (document == nullptr) {
      std::string bytes;
      std::string file = location;
      if (!isNetworkLocation(location)) {
        if (!readFile(location, bytes)) {
          noteUnreadable(resource, location);
          return nullptr;  // Xerces-C warns of it as before
        }
      } else {
        file = catalog_.resolve(written);
        if (file.empty()) file = catalog_.resolve(location);
        if (readsOwnXmlSchema && (file.empty() || !readFile(file, bytes))) {
          file = location;
          bytes = xmlNamespaceSchema();
        } else if (const std::string target = utf8(resource->getNameSpace());
                   isImport && file.empty() && !target.empty() && namespacesHandedOver_.count(target) != 0) {
          // As xmllint skips a namespace imported before, an import of one
          // by a location no catalog maps (Spring's schemas import one
          // another by their https URLs) reads as empty, kept so for validation.
          file = location;
          bytes = emptySchemaDocument(target);
          notes.push_back(location + ": imported for namespace " + target +
                          ", which the documents read before declare, and no catalog maps it: not read");
        } else if (file.empty() || !readFile(file, bytes)) {
          noteUnmapped(resource, location, file);
          return memorySource({}, location);
        }
      }
      document = &record(location, file, std::move(bytes), false);
    }
    // Under the location it was first read by: Xerces-C reads a document
    // once per location, and one file read twice declares everything twice.
    const SchemaDocument& given = handOver(static_cast<std::size_t>(document - documents.data()), isImport);
    return memorySource(given.bytes, given.location);
  }

  // The document as Xerces-C is to read it. An import of a namespace whose
  // every global component the documents handed over already declare (a
  // second copy of xml.xsd, from another file) is read, and kept, as an
  // empty schema document of its namespace: xmllint and Xerces-C's default
  // skip a namespace imported before, and reading the copy declares its
  // components twice.
  const SchemaDocument& handOver(std::size_t index, bool isImport);

  const SchemaDocument* find(const std::string& location) const {
    const auto found = indexByLocation_.find(location);
    return found == indexByLocation_.end() ? nullptr : &documents[found->second];
  }

  // Reads what the recorded documents include, import or redefine, and what
  // those do in turn, before Xerces-C does, so that the whole set can be
  // measured first (schemareferencechains.h). A document that cannot be read
  // is left for the load to report.
  void recordReferenced();

  // Xerces-C reads an import without a schemaLocation from the grammar of its
  // namespace loaded before, or being loaded: that one's components are read
  // in document order, and one the import's document refers to while it is
  // still unread is not found ("type 'a:Amount' not found"), where a circle
  // of imports leads back to a namespace being loaded. Such an import is
  // given the location of the document the circle leads back to, whose
  // components the load then reads on demand, as for a circle of located
  // imports (xmllint does without).
  void locateImportsClosingCircles();

  SchemaDocuments documents;
  // A document refers to another by absolute path: the locations are kept
  // as they are, as that reference names them (validation serves the kept
  // documents by location and reads no file).
  bool refersByAbsolutePath = false;
  // The first document read that Xerces-C must not be given (findSchemaDocumentFault), and
  // where: it is handed to Xerces-C as empty.
  std::optional<std::pair<std::string, SchemaDocumentFault>> fault;
  std::string unmapped;            // the first location left unread, and why, for the error
  std::string unreadable;          // the first local document that cannot be read, for an error it causes
  std::vector<std::string> notes;  // what the documents' rewriting changed, for the warnings

private:
  // A schemaLocation is a hint a schema set may do without; the error it
  // causes (a type or namespace not found) does not say it.
  void noteUnreadable(XMLResourceIdentifier* resource, const std::string& location) {
    if (!unreadable.empty()) return;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(location, error);
    const std::string target = utf8(resource->getNameSpace());
    unreadable = "the schema document " + displayName(location) + " (" +
                 (target.empty() ? std::string("included") : "imported for namespace " + target) + " by " +
                 displayName(utf8(resource->getBaseURI())) + ") cannot be read (" +
                 (!std::filesystem::exists(status) ? "no such file"
                  : std::filesystem::is_directory(status) ? "a folder"
                                                           : "not readable") +
                 ")";
  }
  void noteUnmapped(XMLResourceIdentifier* resource, const std::string& location, const std::string& mapped) {
    if (!unmapped.empty()) return;
    const std::string target = utf8(resource->getNameSpace());
    unmapped = "the schema document " + location + " (" +
               (target.empty() ? std::string("included") : "imported for namespace " + target) + " by " +
               displayName(utf8(resource->getBaseURI())) + ") is not fetched from the network: " +
               (mapped.empty() ? std::string("map it to a local file with an XML catalog (wfhost compile --catalog "
                                             "FILE, or the environment variable XML_CATALOG_FILES)")
                               : "the XML catalog maps it to " + mapped + ", which cannot be read");
  }

  // What a recorded document refers to (by index), as recordReferenced read it.
  struct Links {
    std::string targetNamespace;
    std::set<std::string> unlocatedImports;
    std::vector<std::size_t> references;  // the recorded documents it includes, imports, redefines or overrides
  };

  const XmlCatalog& catalog_;
  std::vector<Links> links_;  // of documents[i], once their references are read
  bool declaresXmlNamespace_ = false;                   // a recorded document's target namespace is the XML one
  std::map<std::string, std::size_t> indexByLocation_;  // of documents, each read once
  std::map<std::string, std::size_t> indexByFile_;      // of documents, by the local file read (documentKey)
  std::set<std::size_t> handedOver_;                    // documents given to Xerces-C
  std::set<std::string> declared_;                      // the global components they declare (componentKey)
  std::set<std::string> namespacesHandedOver_;          // the target namespaces of the documents given to Xerces-C
  std::size_t referencesRead_ = 0;                      // documents whose references are recorded
  // Kept as Xerces-C reads it: with the equivalent spellings of the
  // constructs it would refuse (so that validation reads the same). A file
  // already read by another location (a URL the catalog maps to a file also
  // referred to by its path) is that document.
  const SchemaDocument& record(const std::string& location, const std::string& file, std::string bytes, bool isRoot) {
    if (const SchemaDocument* known = find(location)) return *known;
    const auto [sameFile, isNewFile] = indexByFile_.emplace(documentKey(file), documents.size());
    if (!isNewFile) {
      indexByLocation_.emplace(location, sameFile->second);
      return documents[sameFile->second];
    }
    std::vector<std::string> changes;
    bytes = rewriteForSchemaReader(std::move(bytes), changes);
    for (const std::string& change : changes) notes.push_back(displayName(location) + ": " + change);
    indexByLocation_.emplace(location, documents.size());
    documents.push_back({location, std::move(bytes), isRoot});
    if (std::optional<SchemaDocumentFault> found = findSchemaDocumentFault(documents.back()); found && !fault) {
      fault.emplace(location, std::move(*found));
      documents.back().bytes.clear();
    }
    return documents.back();
  }
};

std::unique_ptr<SAX2XMLReader> newReader(XMLGrammarPool* pool) {
  std::unique_ptr<SAX2XMLReader> reader(XMLReaderFactory::createXMLReader(XMLPlatformUtils::fgMemoryManager, pool));
  reader->setFeature(XMLUni::fgSAX2CoreNameSpaces, true);
  return reader;
}

// Reads one document's facts, from the documents the load kept (else from
// its local file; never from the network); returns the documents it refers
// to.
std::vector<std::string> scanSchemaDocument(const XMLCh* systemId, const SchemaDocumentRecorder& recorder,
                                            SchemaDocumentFacts& facts) {
  const std::string location = resolveSchemaLocation("", utf8(systemId));
  const SchemaDocument* kept = recorder.find(location);
  // Read here, not by Xerces-C's reader, which leaks the name of a file it
  // cannot read (a folder).
  std::string unkept;
  if (!kept && (isNetworkLocation(location) || !readFile(location, unkept))) return {};
  const std::string& bytes = kept ? kept->bytes : unkept;
  SchemaDocumentScanner scanner(facts, systemId);
  std::unique_ptr<SAX2XMLReader> reader = newReader(nullptr);
  reader->setFeature(XMLUni::fgXercesDisableDefaultEntityResolution, true);
  reader->setContentHandler(&scanner);
  reader->setErrorHandler(&scanner);
  try {
    const MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(), systemId, false);
    reader->parse(source);
  } catch (const SchemaDocumentScanner::TooDeep&) {
  } catch (const XMLException&) {
  } catch (const SAXException&) {
  }
  return scanner.references();
}

void SchemaDocumentRecorder::recordReferenced() {
  for (; referencesRead_ < documents.size(); ++referencesRead_) {
    const std::size_t i = referencesRead_;
    SchemaDocumentFacts facts;
    const std::string referrer = documents[i].location;
    const std::vector<std::string> references = scanSchemaDocument(ZelWstring::fromUtf8(referrer).c_str(), *this, facts);
    refersByAbsolutePath = refersByAbsolutePath || facts.refersByAbsolutePath;
    declaresXmlNamespace_ = declaresXmlNamespace_ || facts.targetNamespace == kXmlUri;
    Links links{facts.targetNamespace, std::move(facts.unlocatedImports), {}};
    for (const std::string& reference : references) {
      const std::string location = resolveSchemaLocation(referrer, reference);
      const SchemaDocument* found = find(location);
      if (!found) {
        const std::string file = isNetworkLocation(location) ? catalog_.resolve(location) : location;
        std::string bytes;
        if (!readFile(file, bytes)) continue;
        found = &record(location, file, std::move(bytes), false);
      }
      links.references.push_back(static_cast<std::size_t>(found - documents.data()));
    }
    links_.push_back(std::move(links));
  }
}

namespace {

// A schemaLocation that names the document at `to` from the one at `from`:
// relative between local files (so that the dictionary's documents stay
// portable), percent-escaped; a URL as it stands; empty from a URL to a
// local file.
std::string referenceBetween(const std::string& from, const std::string& to) {
  if (isNetworkLocation(to)) return to;
  if (isNetworkLocation(from)) return {};
  const std::string path =
      std::filesystem::path(to).lexically_relative(std::filesystem::path(from).parent_path()).generic_string();
  std::string escaped;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || std::strchr("-._~/!$'()*+,;=:@", c) != nullptr) {
      escaped += c;
    } else {
      constexpr char kHex[] = "0123456789ABCDEF";
      escaped += {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return escaped;
}

}  // namespace

void SchemaDocumentRecorder::locateImportsClosingCircles() {
  const std::vector<Links>& read = links_;
  std::vector<std::vector<std::size_t>> referrers(read.size());
  for (std::size_t i = 0; i < read.size(); ++i)
    for (const std::size_t referenced : read[i].references) referrers[referenced].push_back(i);
  for (std::size_t i = 0; i < read.size(); ++i) {
    if (read[i].unlocatedImports.empty()) continue;
    std::vector<bool> leadsHere(read.size());  // the documents whose references lead to this one
    for (std::vector<std::size_t> pending{i}; !pending.empty();) {
      const std::size_t at = pending.back();
      pending.pop_back();
      for (const std::size_t referrer : referrers[at])
        if (!leadsHere[referrer]) {
          leadsHere[referrer] = true;
          pending.push_back(referrer);
        }
    }
    for (const std::string& imported : read[i].unlocatedImports) {
      if (imported == read[i].targetNamespace) continue;
      for (std::size_t t = 0; t < read.size(); ++t) {
        if (!leadsHere[t] || read[t].targetNamespace != imported) continue;
        const std::string reference = referenceBetween(documents[i].location, documents[t].location);
        if (!reference.empty()) documents[i].bytes = withImportLocated(std::move(documents[i].bytes), imported, reference);
        break;
      }
    }
  }
}

const SchemaDocument& SchemaDocumentRecorder::handOver(std::size_t index, bool isImport) {
  SchemaDocument& document = documents[index];
  if (!handedOver_.insert(index).second) return document;
  SchemaDocumentFacts facts;
  scanSchemaDocument(ZelWstring::fromUtf8(document.location).c_str(), *this, facts);
  const bool declaredBefore =
      isImport && !facts.fileOf.empty() && std::all_of(facts.fileOf.begin(), facts.fileOf.end(), [this](const auto& component) {
        return declared_.count(component.first) != 0;
      });
  namespacesHandedOver_.insert(facts.targetNamespace);
  if (!declaredBefore) {
    for (const auto& component : facts.fileOf) declared_.insert(component.first);
    return document;
  }
  document.bytes = emptySchemaDocument(facts.targetNamespace);
  notes.push_back(displayName(document.location) + ": imported again for namespace " + facts.targetNamespace +
                  ", whose every component the documents read before declare: not read");
  return document;
}

// Reads the facts of every document that contributed to the model: the
// documents the model lists for its namespaces first, in its order, then
// those they include, which the model does not list. A document that cannot
// be read again only loses its line numbers.
SchemaDocumentFacts scanSchemaDocuments(const XSModel& model, const SchemaDocumentRecorder& recorder) {
  SchemaDocumentFacts facts;
  std::deque<std::string> pending;
  XSNamespaceItemList* namespaces = const_cast<XSModel&>(model).getNamespaceItems();
  for (XMLSize_t i = 0; namespaces && i < namespaces->size(); ++i) {
    const StringList* locations = namespaces->elementAt(i)->getDocumentLocations();
    for (XMLSize_t j = 0; locations && j < locations->size(); ++j) pending.push_back(utf8(locations->elementAt(j)));
  }
  std::set<std::string> seen;
  for (; !pending.empty(); pending.pop_front()) {
    if (!seen.insert(documentKey(pending.front())).second) continue;
    const std::vector<std::string> references =
        scanSchemaDocument(ZelWstring::fromUtf8(pending.front()).c_str(), recorder, facts);
    pending.insert(pending.end(), references.begin(), references.end());
  }
  return facts;
}

// The top-level component that holds a line of a schema document, for errors
// that Xerces-C reports by line only: ", in complexType 'Name'", or "".
std::string componentAtLine(const std::string& file, long line, const SchemaDocumentRecorder& recorder) {
  SchemaDocumentFacts facts;
  scanSchemaDocument(ZelWstring::fromUtf8(file).c_str(), recorder, facts);
  std::string holder;
  for (const auto& [start, component] : facts.components) {
    if (start <= line) holder = component;
  }
  return holder.empty() ? holder : ", in " + holder;
}

std::string kindName(const XSTypeDefinition& type) {
  return type.getTypeCategory() == XSTypeDefinition::COMPLEX_TYPE ? "complexType" : "simpleType";
}

long maxOccursOf(XSParticle& particle) {
  return particle.getMaxOccursUnbounded() ? kUnbounded : static_cast<long>(particle.getMaxOccurs());
}

// A text that tells particle trees apart, so that the part an extension adds
// can be split from its base's content.
std::string particleSignature(XSParticle* particle) {
  if (particle == nullptr) return {};
  std::string text = std::to_string(particle->getMinOccurs()) + "," + std::to_string(maxOccursOf(*particle));
  switch (particle->getTermType()) {
    case XSParticle::TERM_ELEMENT:
      return text + "e{" + utf8(particle->getElementTerm()->getNamespace()) + "}" +
             utf8(particle->getElementTerm()->getName());
    case XSParticle::TERM_WILDCARD:
      return text + "*";
    case XSParticle::TERM_MODELGROUP: {
      XSModelGroup* group = particle->getModelGroupTerm();
      text += "g" + std::to_string(group->getCompositor()) + "(";
      XSParticleList* particles = group->getParticles();
      for (XMLSize_t i = 0; particles && i < particles->size(); ++i) text += particleSignature(particles->elementAt(i)) + ";";
      return text + ")";
    }
    case XSParticle::TERM_EMPTY:
      return text;
  }
  return text;
}

WhiteSpace whiteSpaceOf(const XMLCh* facetValue) {
  const std::u16string_view value(facetValue ? facetValue : u"");
  if (value == u"replace") return WhiteSpace::Replace;
  return value == u"collapse" ? WhiteSpace::Collapse : WhiteSpace::Preserve;
}

ProcessContents processContentsOf(const XSWildcard& wildcard) {
  switch (wildcard.getProcessContents()) {
    case XSWildcard::PC_STRICT: return ProcessContents::Strict;
    case XSWildcard::PC_LAX: return ProcessContents::Lax;
    case XSWildcard::PC_SKIP: return ProcessContents::Skip;
  }
  return ProcessContents::Strict;
}

// The namespaces as the schema set resolved them: ##targetNamespace and
// ##other name the wildcard's own schema document's namespace, ##local none
// (""), as Xerces-C lists them.
AttributeWildcard attributeWildcardOf(XSWildcard& wildcard) {
  AttributeWildcard out;
  out.processContents = processContentsOf(wildcard);
  switch (wildcard.getConstraintType()) {
    case XSWildcard::NSCONSTRAINT_ANY: out.constraint = AttributeWildcard::Namespaces::Any; break;
    case XSWildcard::NSCONSTRAINT_NOT: out.constraint = AttributeWildcard::Namespaces::Not; break;
    case XSWildcard::NSCONSTRAINT_DERIVATION_LIST: out.constraint = AttributeWildcard::Namespaces::List; break;
  }
  if (out.constraint == AttributeWildcard::Namespaces::Any) return out;
  const StringList* namespaces = wildcard.getNsConstraintList();
  for (XMLSize_t i = 0; namespaces && i < namespaces->size(); ++i) out.namespaces.push_back(utf8(namespaces->elementAt(i)));
  if (out.constraint == AttributeWildcard::Namespaces::Not && out.namespaces.empty()) out.namespaces.emplace_back();
  return out;
}

bool isXsdType(const XSTypeDefinition& type, const char16_t* name) {
  return utf8(type.getNamespace()) == kXsdUri && type.getName() && ZelWstring(type.getName()) == ZelWstring(name);
}

// Warnings of one kind folded into one line that names the first place and
// counts the others: FpML's schemas have 168 substitution-group members, and
// as many lines alike would bury the rest.
class FoldedWarnings {
public:
  void add(const std::string& file, const std::string& place, const std::string& what) {
    const auto same = std::find_if(kinds_.begin(), kinds_.end(), [&](const Kind& kind) { return kind.what == what; });
    if (same == kinds_.end()) {
      kinds_.push_back({file + ": " + place, what, {}});
    } else {
      same->others.push_back(componentOf(place));
    }
  }

  // One line per kind, in the order they were first met.
  void appendTo(std::vector<std::string>& lines) const {
    for (const Kind& kind : kinds_) {
      std::string line = kind.firstPlace + ": " + kind.what;
      if (!kind.others.empty()) {
        line += " (and " + std::to_string(kind.others.size()) + " more: ";
        for (std::size_t i = 0; i < std::min(kind.others.size(), kNamed); ++i) line += (i ? ", " : "") + kind.others[i];
        line += kind.others.size() > kNamed ? ", ...)" : ")";
      }
      lines.push_back(std::move(line));
    }
  }

private:
  static constexpr std::size_t kNamed = 3;

  // "line 12, element 'a'" -> "element 'a'"
  static std::string componentOf(const std::string& place) {
    const std::size_t comma = place.find(", ");
    return place.rfind("line ", 0) == 0 && comma != std::string::npos ? place.substr(comma + 2) : place;
  }

  struct Kind {
    std::string firstPlace;
    std::string what;
    std::vector<std::string> others;
  };
  std::vector<Kind> kinds_;
};

// Walks the component model and fills the message set.
class SchemaMapper {
public:
  SchemaMapper(XSModel& model, const SchemaDocumentFacts& facts, const XsdImportOptions& options,
               std::vector<std::string>& warnings)
      : model_(model), facts_(facts), options_(options), warningLines_(warnings) {}

  MessageSet map(const std::string& name);

private:
  int namespaceIndex(const XMLCh* uri);
  int typeIndex(XSTypeDefinition* type);
  void mapSimpleType(XSSimpleTypeDefinition& source, TypeDef& type);
  // A string type a union tries keeps its enumeration: it decides whether
  // the member takes a text.
  void keepStringEnumeration(XSSimpleTypeDefinition& source, int index);
  // The type's own pattern facet where it narrows how a boolean, number,
  // date-time (whose zero offset reads as Z) or hexBinary (the writer's
  // digits are upper case) may be spelled, or a union with such members, or
  // a list of either (each derivation step has its own); empty when none.
  static std::string respelledPattern(XSSimpleTypeDefinition& source);
  // The type's hexBinary enumeration, in the schema's spelling: Xerces-C
  // compares such values as text. Empty for other types.
  static std::vector<std::string> hexBinaryEnumeration(XSSimpleTypeDefinition& source);
  void mapComplexType(XSComplexTypeDefinition& source, TypeDef& type);
  void addAttributeMembers(XSComplexTypeDefinition& source, TypeDef& type);
  XSParticle* ownParticle(XSComplexTypeDefinition& source, TypeDef& type);
  Composition compositionOf(XSComplexTypeDefinition& source, XSParticle* particle) const;
  void addParticleMembers(XSParticle& particle, std::vector<MemberDef>& members);
  MemberDef memberFor(XSParticle& particle);
  // The shared open type of each processContents.
  int openTypeIndex(ProcessContents processContents);
  // The open type of an element wildcard: the shared one where it admits any
  // namespace, else one per constraint, which records it.
  int openTypeIndex(XSWildcard& wildcard);
  int anyTypeIndex();
  // Content open to any type (xs:anyType, xs:anySimpleType, a wildcard)
  // may name any built-in type by xsi:type: each is in the dictionary, so
  // that its values are typed, a QName's prefix binding kept with it. Not
  // xs:base64Binary: the parse reads a binary value of an xsi:type as its
  // element's member spells binary, hexadecimal for such content, and would
  // refuse base64; its text is kept as text unless the schemas use the type.
  void admitBuiltinTypes();
  // The built-in list type (NMTOKENS, IDREFS, ENTITIES), made once.
  int xsdListType(const std::string& name);
  void fillElement(XSElementDeclaration& source, int index);
  void chooseMessages();
  void warn(const std::string& what);
  static std::optional<ValueConstraint> valueConstraintOf(XSConstants::VALUE_CONSTRAINT constraint,
                                                          const XMLCh* value);
  std::string placeOf(const std::string& kind, const XMLCh* ns, const XMLCh* name, std::string* file) const;

  XSModel& model_;
  const SchemaDocumentFacts& facts_;
  const XsdImportOptions& options_;
  std::vector<std::string>& warningLines_;
  FoldedWarnings warnings_;
  MessageSet set_;
  std::map<std::string, int> namespaces_;
  std::set<std::string> prefixesTaken_;
  int lowestFreePrefixNumber_ = 1;
  std::map<const XSTypeDefinition*, int> types_;
  std::map<const XSElementDeclaration*, int> elements_;
  std::map<const XSAttributeDeclaration*, int> attributes_;
  std::set<int> referencedElements_;
  std::array<int, 3> openTypes_{kNone, kNone, kNone};
  bool builtinTypesAdmitted_ = false;
  std::map<std::tuple<ProcessContents, AttributeWildcard::Namespaces, std::vector<std::string>>, int> constrainedOpenTypes_;
  int typesWithFacets_ = 0;
  // The global component being mapped, for the places of warnings.
  std::string currentFile_;
  std::string currentPlace_;
};

void SchemaMapper::warn(const std::string& what) {
  warnings_.add(currentFile_, currentPlace_, what);
}

std::optional<ValueConstraint> SchemaMapper::valueConstraintOf(XSConstants::VALUE_CONSTRAINT constraint,
                                                               const XMLCh* value) {
  if (constraint == XSConstants::VALUE_CONSTRAINT_NONE) return std::nullopt;
  return ValueConstraint{utf8(value), constraint == XSConstants::VALUE_CONSTRAINT_FIXED};
}

std::string SchemaMapper::placeOf(const std::string& kind, const XMLCh* ns, const XMLCh* name,
                                  std::string* file) const {
  const std::string key = componentKey(kind, utf8(ns), utf8(name));
  const auto line = facts_.lineOf.find(key);
  const auto where = facts_.fileOf.find(key);
  if (file) *file = where == facts_.fileOf.end() ? std::string("(schema)") : where->second;
  const std::string component = kind + " '" + utf8(name) + "'";
  return line == facts_.lineOf.end() ? component : "line " + std::to_string(line->second) + ", " + component;
}

int SchemaMapper::namespaceIndex(const XMLCh* uriText) {
  const std::string uri = utf8(uriText);
  if (uri.empty()) return kNone;
  const auto found = namespaces_.find(uri);
  if (found != namespaces_.end()) return found->second;
  NamespaceDef ns;
  ns.uri = uri;
  const auto bound = facts_.prefixByUri.find(uri);
  if (uri == kXmlUri) {
    ns.preferredPrefix = "xml";
  } else if (bound != facts_.prefixByUri.end()) {
    ns.preferredPrefix = bound->second;
  }
  const auto taken = [&](const std::string& prefix) { return prefixesTaken_.count(prefix) != 0; };
  if (ns.preferredPrefix.empty() || taken(ns.preferredPrefix)) {
    // The lowest number free: prefixes are only ever added, so it never goes down.
    while (taken("ns" + std::to_string(lowestFreePrefixNumber_))) ++lowestFreePrefixNumber_;
    ns.preferredPrefix = "ns" + std::to_string(lowestFreePrefixNumber_);
  }
  prefixesTaken_.insert(ns.preferredPrefix);
  set_.namespaces.push_back(ns);
  const int index = static_cast<int>(set_.namespaces.size() - 1);
  namespaces_.emplace(uri, index);
  return index;
}

void SchemaMapper::admitBuiltinTypes() {
  if (builtinTypesAdmitted_) return;
  builtinTypesAdmitted_ = true;
  for (const std::string_view name : builtinTypeNames())
    if (name != "base64Binary") useBuiltinType(set_, name);
  for (const char* name : {"NMTOKENS", "IDREFS", "ENTITIES"}) xsdListType(name);
}

int SchemaMapper::openTypeIndex(ProcessContents processContents) {
  int& index = openTypes_[static_cast<std::size_t>(processContents)];
  if (index != kNone) return index;
  admitBuiltinTypes();
  TypeDef type;
  type.variety = TypeVariety::Complex;
  type.composition = Composition::Open;
  type.processContents = processContents;
  set_.types.push_back(type);
  index = static_cast<int>(set_.types.size() - 1);
  return index;
}

int SchemaMapper::openTypeIndex(XSWildcard& wildcard) {
  AttributeWildcard namespaces = attributeWildcardOf(wildcard);
  if (namespaces.constraint == AttributeWildcard::Namespaces::Any) return openTypeIndex(namespaces.processContents);
  const auto [at, added] = constrainedOpenTypes_.try_emplace(
      std::make_tuple(namespaces.processContents, namespaces.constraint, namespaces.namespaces), kNone);
  if (!added) return at->second;
  admitBuiltinTypes();
  TypeDef type;
  type.variety = TypeVariety::Complex;
  type.composition = Composition::Open;
  type.processContents = namespaces.processContents;
  type.elementWildcard = std::move(namespaces);
  set_.types.push_back(std::move(type));
  at->second = static_cast<int>(set_.types.size() - 1);
  return at->second;
}

// xs:anyType: mixed content around any elements and any attributes, matched
// laxly. Kept apart from the shared lax open type, whose wildcards hold no
// text runs.
int SchemaMapper::anyTypeIndex() {
  MemberDef content;
  content.form = MemberDef::Form::Group;
  content.type = openTypeIndex(ProcessContents::Lax);
  content.minOccurs = 0;
  content.maxOccurs = kUnbounded;
  TypeDef type;
  type.variety = TypeVariety::Complex;
  type.composition = Composition::OrderedMixed;
  type.members.push_back(std::move(content));
  type.attributeWildcard.emplace();  // any attribute, typed where a global declaration has it
  type.attributeWildcard->processContents = ProcessContents::Lax;
  set_.types.push_back(std::move(type));
  return static_cast<int>(set_.types.size() - 1);
}

int SchemaMapper::xsdListType(const std::string& name) {
  const int xsd = namespaceIndex(ZelWstring::fromUtf8(kXsdUri).c_str());
  for (std::size_t i = 0; i < set_.types.size(); ++i) {
    const TypeDef& made = set_.types[i];
    if (made.variety == TypeVariety::List && made.name == name && made.namespaceIndex == xsd) return static_cast<int>(i);
  }
  const std::string itemName = name == "ENTITIES" ? "ENTITY" : name.substr(0, name.size() - 1);
  TypeDef type;
  type.name = name;
  type.namespaceIndex = xsd;
  type.variety = TypeVariety::List;
  type.listItemType = useBuiltinType(set_, itemName);
  set_.types.push_back(type);
  return static_cast<int>(set_.types.size() - 1);
}

int SchemaMapper::typeIndex(XSTypeDefinition* source) {
  if (source == nullptr) return kNone;
  const auto known = types_.find(source);
  if (known != types_.end()) return known->second;
  int index = kNone;
  if (utf8(source->getNamespace()) == kXsdUri && !source->getAnonymous()) {
    const std::string name = utf8(source->getName());
    if (name == "anySimpleType") admitBuiltinTypes();
    index = useBuiltinType(set_, name);
    if (index == kNone && name == "anyType") {
      index = anyTypeIndex();
    } else if (index == kNone && (name == "NMTOKENS" || name == "IDREFS" || name == "ENTITIES")) {
      index = xsdListType(name);
    } else if (index == kNone) {
      warn("built-in type '" + name + "' is unknown; its values are strings");
      index = useBuiltinType(set_, "string");
    }
    types_.emplace(source, index);
    return index;
  }
  // Each type maps the types of its members and bases first, on the stack:
  // as deep as the schema's components nest through their references, which
  // findOverlongReferenceChain bounded before the load, whatever order the
  // model lists the types in. The compile runs on the large stack.
  // Claim the position first: members may refer back to this type.
  set_.types.emplace_back();
  index = static_cast<int>(set_.types.size() - 1);
  types_.emplace(source, index);
  TypeDef type;
  if (!source->getAnonymous()) {
    type.name = utf8(source->getName());
    type.namespaceIndex = namespaceIndex(source->getNamespace());
  }
  if (source->getTypeCategory() == XSTypeDefinition::SIMPLE_TYPE) {
    mapSimpleType(static_cast<XSSimpleTypeDefinition&>(*source), type);
  } else {
    mapComplexType(static_cast<XSComplexTypeDefinition&>(*source), type);
  }
  set_.types[index] = std::move(type);
  return index;
}

void SchemaMapper::mapSimpleType(XSSimpleTypeDefinition& source, TypeDef& type) {
  if (source.getDefinedFacets() & ~XSSimpleTypeDefinition::FACET_WHITESPACE) ++typesWithFacets_;
  XSTypeDefinition* base = source.getBaseType();
  const bool baseIsUseful = base && base != &source && !isXsdType(*base, u"anySimpleType") &&
                            !isXsdType(*base, u"anyType");
  switch (source.getVariety()) {
    case XSSimpleTypeDefinition::VARIETY_LIST:
      type.variety = TypeVariety::List;
      type.listItemType = typeIndex(source.getItemType());
      break;
    case XSSimpleTypeDefinition::VARIETY_UNION: {
      type.variety = TypeVariety::Union;
      XSSimpleTypeDefinitionList* members = source.getMemberTypes();
      for (XMLSize_t i = 0; members && i < members->size(); ++i) {
        XSSimpleTypeDefinition* member = members->elementAt(i);
        type.unionMemberTypes.push_back(typeIndex(member));
        keepStringEnumeration(*member, type.unionMemberTypes.back());
        if (member->getVariety() == XSSimpleTypeDefinition::VARIETY_LIST && member->getItemType())
          keepStringEnumeration(*member->getItemType(), set_.types[type.unionMemberTypes.back()].listItemType);
      }
      break;
    }
    case XSSimpleTypeDefinition::VARIETY_ATOMIC:
    case XSSimpleTypeDefinition::VARIETY_ABSENT:
      type.variety = TypeVariety::Simple;
      break;
  }
  if (baseIsUseful) {
    type.baseType = typeIndex(base);
    type.derivation = Derivation::Restriction;
  }
  if (source.getDefinedFacets() & XSSimpleTypeDefinition::FACET_WHITESPACE)
    type.whiteSpace = whiteSpaceOf(source.getLexicalFacetValue(XSSimpleTypeDefinition::FACET_WHITESPACE));
  type.enumeration = hexBinaryEnumeration(source);
  type.pattern = respelledPattern(source);
}

std::vector<std::string> SchemaMapper::hexBinaryEnumeration(XSSimpleTypeDefinition& source) {
  const StringList* enumeration = source.getLexicalEnumeration();
  XSSimpleTypeDefinition* primitive = source.getPrimitiveType();
  std::vector<std::string> values;
  if (enumeration && primitive && isXsdType(*primitive, u"hexBinary")) {
    for (XMLSize_t i = 0; i < enumeration->size(); ++i) values.push_back(utf8(enumeration->elementAt(i)));
  }
  return values;
}

namespace {

// Whether the writer may spell a value of the atomic type otherwise than a
// pattern takes it; for a union, a value of one of its members (a schema
// processor refuses a union that is its own member).
bool spellingMayVary(XSSimpleTypeDefinition& type) {
  if (type.getVariety() == XSSimpleTypeDefinition::VARIETY_UNION) {
    XSSimpleTypeDefinitionList* members = type.getMemberTypes();
    for (XMLSize_t i = 0; members && i < members->size(); ++i)
      if (spellingMayVary(*members->elementAt(i))) return true;
    return false;
  }
  XSSimpleTypeDefinition* primitive = type.getPrimitiveType();
  static constexpr const char16_t* kRespelled[] = {u"boolean",    u"float", u"double",    u"decimal", u"dateTime",
                                                   u"time",       u"date",  u"gYearMonth", u"gYear",   u"gMonthDay",
                                                   u"gDay",       u"gMonth", u"hexBinary"};
  return primitive && std::any_of(std::begin(kRespelled), std::end(kRespelled), [&](const char16_t* name) {
           return isXsdType(*primitive, name);
         });
}

}  // namespace

std::string SchemaMapper::respelledPattern(XSSimpleTypeDefinition& source) {
  const StringList* patterns = source.getLexicalPattern();
  // A list's pattern holds for the text of all its items: those of its item
  // type, or of its union's members.
  XSSimpleTypeDefinition* item = source.getVariety() == XSSimpleTypeDefinition::VARIETY_LIST ? source.getItemType() : nullptr;
  const bool respelled = spellingMayVary(item ? *item : source);
  std::string pattern;
  if (patterns && respelled && (source.getDefinedFacets() & XSSimpleTypeDefinition::FACET_PATTERN)) {
    // Xerces-C splits the facet at each '|', also inside groups: joined again,
    // the pieces are the expression its validator matches.
    for (XMLSize_t i = 0; i < patterns->size(); ++i) pattern += (i ? "|" : "") + utf8(patterns->elementAt(i));
  }
  return pattern;
}

void SchemaMapper::keepStringEnumeration(XSSimpleTypeDefinition& source, int index) {
  const StringList* enumeration = source.getLexicalEnumeration();
  if (!enumeration || index == kNone || effectiveLogicalType(set_, index) != eLogicalString) return;
  TypeDef& type = set_.types[index];
  if (type.builtin || !type.enumeration.empty()) return;
  for (XMLSize_t i = 0; i < enumeration->size(); ++i) type.enumeration.push_back(utf8(enumeration->elementAt(i)));
}

void SchemaMapper::mapComplexType(XSComplexTypeDefinition& source, TypeDef& type) {
  type.variety = TypeVariety::Complex;
  type.isAbstract = source.getAbstract();
  XSTypeDefinition* base = source.getBaseType();
  if (base && base != &source && !isXsdType(*base, u"anyType")) {
    type.baseType = typeIndex(base);
    type.derivation = source.getDerivationMethod() == XSConstants::DERIVATION_EXTENSION ? Derivation::Extension
                                                                                        : Derivation::Restriction;
  }
  addAttributeMembers(source, type);
  if (XSWildcard* wildcard = source.getAttributeWildcard()) type.attributeWildcard = attributeWildcardOf(*wildcard);
  XSParticle* particle = ownParticle(source, type);
  type.composition = compositionOf(source, source.getParticle());
  if (source.getContentType() == XSComplexTypeDefinition::CONTENTTYPE_SIMPLE) {
    // A simple-content restriction may narrow the value type anonymously;
    // its logical type is still the base's, which the default provides. A
    // pattern or hexBinary enumeration it adds holds for its values: the type
    // keeps them.
    if (type.baseType == kNone) type.baseType = typeIndex(source.getSimpleType());
    if (type.derivation == Derivation::Restriction && source.getSimpleType()) {
      type.pattern = respelledPattern(*source.getSimpleType());
      type.enumeration = hexBinaryEnumeration(*source.getSimpleType());
    }
    return;
  }
  if (particle == nullptr) return;
  XSModelGroup* group =
      particle->getTermType() == XSParticle::TERM_MODELGROUP ? particle->getModelGroupTerm() : nullptr;
  XSParticleList* particles = group ? group->getParticles() : nullptr;
  const bool onlyWildcard = particles && particles->size() == 1 &&
                            particles->elementAt(0)->getTermType() == XSParticle::TERM_WILDCARD;
  // Mixed content keeps its text runs: its wildcard becomes an open group
  // member below, as it would beside other particles.
  const bool mixed = source.getContentType() == XSComplexTypeDefinition::CONTENTTYPE_MIXED;
  if (onlyWildcard && !mixed && type.derivation != Derivation::Extension) {
    type.composition = Composition::Open;
    AttributeWildcard namespaces = attributeWildcardOf(*particles->elementAt(0)->getWildcardTerm());
    type.processContents = namespaces.processContents;
    if (namespaces.constraint != AttributeWildcard::Namespaces::Any) type.elementWildcard = std::move(namespaces);
    return;
  }
  // The own part of an extension follows its base's members in sequence, so
  // only a sequence of its own can be flattened into it.
  const bool ownPartOnly = particle != source.getParticle();
  const bool flat = group && particle->getMinOccurs() == 1 && maxOccursOf(*particle) == 1 &&
                    (!ownPartOnly || group->getCompositor() == XSModelGroup::COMPOSITOR_SEQUENCE);
  if (flat) {
    for (XMLSize_t i = 0; particles && i < particles->size(); ++i) {
      type.members.push_back(memberFor(*particles->elementAt(i)));
    }
  } else {
    type.members.push_back(memberFor(*particle));
  }
}

// Attributes come first, as they do in a start tag; an extension lists only
// those its base does not have.
void SchemaMapper::addAttributeMembers(XSComplexTypeDefinition& source, TypeDef& type) {
  std::set<const XSAttributeDeclaration*> inherited;
  XSTypeDefinition* base = source.getBaseType();
  if (type.derivation == Derivation::Extension && base->getTypeCategory() == XSTypeDefinition::COMPLEX_TYPE) {
    XSAttributeUseList* uses = static_cast<XSComplexTypeDefinition*>(base)->getAttributeUses();
    for (XMLSize_t i = 0; uses && i < uses->size(); ++i) inherited.insert(uses->elementAt(i)->getAttrDeclaration());
  }
  XSAttributeUseList* uses = source.getAttributeUses();
  for (XMLSize_t i = 0; uses && i < uses->size(); ++i) {
    XSAttributeUse* use = uses->elementAt(i);
    XSAttributeDeclaration* declaration = use->getAttrDeclaration();
    if (inherited.count(declaration)) continue;
    MemberDef member;
    member.valueConstraint = valueConstraintOf(use->getConstraintType(), use->getConstraintValue());
    if (!member.valueConstraint)
      member.valueConstraint = valueConstraintOf(declaration->getConstraintType(), declaration->getConstraintValue());
    member.minOccurs = use->getRequired() ? 1 : 0;
    member.xml.render = Render::Attribute;
    const auto global = attributes_.find(declaration);
    if (global != attributes_.end()) {
      member.form = MemberDef::Form::ElementRef;
      member.element = global->second;
    } else {
      member.form = MemberDef::Form::LocalElement;
      member.name = utf8(declaration->getName());
      member.namespaceIndex = namespaceIndex(declaration->getNamespace());
      member.type = typeIndex(declaration->getTypeDefinition());
    }
    type.members.push_back(std::move(member));
  }
}

// The content this type declares itself: an extension of a complex base
// holds the base's content followed by its own, and the compiler repeats the
// base's members, so only the own part is wanted.
XSParticle* SchemaMapper::ownParticle(XSComplexTypeDefinition& source, TypeDef& type) {
  XSParticle* particle = source.getParticle();
  XSTypeDefinition* base = source.getBaseType();
  if (type.derivation != Derivation::Extension || base->getTypeCategory() != XSTypeDefinition::COMPLEX_TYPE) {
    return particle;
  }
  XSParticle* baseParticle = static_cast<XSComplexTypeDefinition*>(base)->getParticle();
  if (baseParticle == nullptr || particle == nullptr) return particle;
  const std::string baseSignature = particleSignature(baseParticle);
  if (particleSignature(particle) == baseSignature) return nullptr;
  if (particle->getTermType() == XSParticle::TERM_MODELGROUP) {
    XSParticleList* parts = particle->getModelGroupTerm()->getParticles();
    if (parts && parts->size() == 2 && particleSignature(parts->elementAt(0)) == baseSignature) {
      return parts->elementAt(1);
    }
  }
  warn("the content of this extension cannot be split from its base's; it is mapped as a restriction that "
       "lists all members");
  type.derivation = Derivation::Restriction;
  return particle;
}

Composition SchemaMapper::compositionOf(XSComplexTypeDefinition& source, XSParticle* particle) const {
  XSModelGroup* group = particle && particle->getTermType() == XSParticle::TERM_MODELGROUP
                                  ? particle->getModelGroupTerm()
                                  : nullptr;
  const XSModelGroup::COMPOSITOR_TYPE compositor = group ? group->getCompositor() : XSModelGroup::COMPOSITOR_SEQUENCE;
  switch (source.getContentType()) {
    case XSComplexTypeDefinition::CONTENTTYPE_EMPTY:
      return Composition::Empty;
    case XSComplexTypeDefinition::CONTENTTYPE_SIMPLE:
      return Composition::SimpleContent;
    case XSComplexTypeDefinition::CONTENTTYPE_MIXED:
      return compositor == XSModelGroup::COMPOSITOR_SEQUENCE ? Composition::OrderedMixed : Composition::Mixed;
    case XSComplexTypeDefinition::CONTENTTYPE_ELEMENT:
      break;
  }
  switch (compositor) {
    case XSModelGroup::COMPOSITOR_SEQUENCE: return Composition::Sequence;
    case XSModelGroup::COMPOSITOR_CHOICE: return Composition::Choice;
    case XSModelGroup::COMPOSITOR_ALL: return Composition::All;
  }
  return Composition::Sequence;
}

MemberDef SchemaMapper::memberFor(XSParticle& particle) {
  MemberDef member;
  member.minOccurs = static_cast<long>(particle.getMinOccurs());
  member.maxOccurs = maxOccursOf(particle);
  switch (particle.getTermType()) {
    case XSParticle::TERM_ELEMENT: {
      XSElementDeclaration* element = particle.getElementTerm();
      const auto global = elements_.find(element);
      if (global != elements_.end()) {
        member.form = MemberDef::Form::ElementRef;
        member.element = global->second;
        referencedElements_.insert(global->second);
      } else {
        member.form = MemberDef::Form::LocalElement;
        member.name = utf8(element->getName());
        member.namespaceIndex = namespaceIndex(element->getNamespace());
        member.nillable = element->getNillable();
        member.type = typeIndex(element->getTypeDefinition());
        member.valueConstraint = valueConstraintOf(element->getConstraintType(), element->getConstraintValue());
      }
      return member;
    }
    case XSParticle::TERM_WILDCARD:
      member.form = MemberDef::Form::Group;
      member.type = openTypeIndex(*particle.getWildcardTerm());
      return member;
    case XSParticle::TERM_MODELGROUP: {
      XSModelGroup* group = particle.getModelGroupTerm();
      TypeDef nested;
      nested.variety = TypeVariety::Complex;
      switch (group->getCompositor()) {
        case XSModelGroup::COMPOSITOR_SEQUENCE: nested.composition = Composition::Sequence; break;
        case XSModelGroup::COMPOSITOR_CHOICE: nested.composition = Composition::Choice; break;
        case XSModelGroup::COMPOSITOR_ALL: nested.composition = Composition::All; break;
      }
      XSParticleList* particles = group->getParticles();
      for (XMLSize_t i = 0; particles && i < particles->size(); ++i) {
        nested.members.push_back(memberFor(*particles->elementAt(i)));
      }
      set_.types.push_back(std::move(nested));
      member.form = MemberDef::Form::Group;
      member.type = static_cast<int>(set_.types.size() - 1);
      return member;
    }
    case XSParticle::TERM_EMPTY:
      break;
  }
  member.form = MemberDef::Form::Group;
  member.type = openTypeIndex(ProcessContents::Strict);
  warn("an empty particle is mapped as open content");
  return member;
}

void SchemaMapper::fillElement(XSElementDeclaration& source, int index) {
  currentPlace_ = placeOf("element", source.getNamespace(), source.getName(), &currentFile_);
  const int type = typeIndex(source.getTypeDefinition());
  ElementDef& element = set_.elements[index];
  element.type = type;
  element.nillable = source.getNillable();
  element.isAbstract = source.getAbstract();
  element.valueConstraint = valueConstraintOf(source.getConstraintType(), source.getConstraintValue());
  if (XSElementDeclaration* head = source.getSubstitutionGroupAffiliation()) {
    const auto found = elements_.find(head);
    if (found != elements_.end()) element.substitutionGroup = found->second;
    // It stands wherever its head is referenced, so it is no message of its own.
    referencedElements_.insert(index);
    warn("substitution group: members are matched by their own names as global elements, not in the place "
         "of their head");
  }
  XSNamedMap<XSIDCDefinition>* constraints = source.getIdentityConstraints();
  if (constraints && constraints->getLength() > 0) warn("identity constraints (key, keyref, unique) are not checked by the parse");
}

void SchemaMapper::chooseMessages() {
  if (options_.messages.empty()) {
    for (const auto& [declaration, index] : elements_) {
      if (!referencedElements_.count(index)) set_.elements[index].elementClass = ElementClass::Message;
    }
    return;
  }
  for (const std::string& name : options_.messages) {
    bool found = false;
    for (const auto& [declaration, index] : elements_) {
      if (set_.elements[index].name != name) continue;
      set_.elements[index].elementClass = ElementClass::Message;
      found = true;
    }
    if (!found) throwSourceError(kFunction, "--messages", "message '" + name + "'", "no global element declaration of that name");
  }
}

MessageSet SchemaMapper::map(const std::string& name) {
  set_.name = name;
  // Global declarations get their rows first, so that references to them
  // resolve wherever they sit.
  XSNamedMap<XSObject>* elements = model_.getComponents(XSConstants::ELEMENT_DECLARATION);
  for (XMLSize_t i = 0; elements && i < elements->getLength(); ++i) {
    auto* declaration = static_cast<XSElementDeclaration*>(elements->item(i));
    ElementDef element;
    element.name = utf8(declaration->getName());
    element.namespaceIndex = namespaceIndex(declaration->getNamespace());
    elements_.emplace(declaration, static_cast<int>(set_.elements.size()));
    set_.elements.push_back(std::move(element));
  }
  XSNamedMap<XSObject>* attributes = model_.getComponents(XSConstants::ATTRIBUTE_DECLARATION);
  std::vector<XSAttributeDeclaration*> attributeDeclarations;
  for (XMLSize_t i = 0; attributes && i < attributes->getLength(); ++i) {
    auto* declaration = static_cast<XSAttributeDeclaration*>(attributes->item(i));
    if (utf8(declaration->getNamespace()) == "http://www.w3.org/2001/XMLSchema-instance") continue;
    ElementDef attribute;
    attribute.name = utf8(declaration->getName());
    attribute.namespaceIndex = namespaceIndex(declaration->getNamespace());
    attribute.isAttribute = true;
    attribute.valueConstraint = valueConstraintOf(declaration->getConstraintType(), declaration->getConstraintValue());
    attribute.xml.render = Render::Attribute;
    attributes_.emplace(declaration, static_cast<int>(set_.elements.size()));
    attributeDeclarations.push_back(declaration);
    set_.elements.push_back(std::move(attribute));
  }
  XSNamedMap<XSObject>* types = model_.getComponents(XSConstants::TYPE_DEFINITION);
  for (XMLSize_t i = 0; types && i < types->getLength(); ++i) {
    auto* type = static_cast<XSTypeDefinition*>(types->item(i));
    if (utf8(type->getNamespace()) == kXsdUri) continue;
    currentPlace_ = placeOf(kindName(*type), type->getNamespace(), type->getName(), &currentFile_);
    typeIndex(type);
  }
  for (XSAttributeDeclaration* declaration : attributeDeclarations) {
    currentPlace_ = placeOf("attribute", declaration->getNamespace(), declaration->getName(), &currentFile_);
    const int type = typeIndex(declaration->getTypeDefinition());
    set_.elements[attributes_.at(declaration)].type = type;
  }
  for (XMLSize_t i = 0; elements && i < elements->getLength(); ++i) {
    auto* declaration = static_cast<XSElementDeclaration*>(elements->item(i));
    fillElement(*declaration, elements_.at(declaration));
  }
  chooseMessages();
  // A document declares its namespaces once, on its root, as schema-driven
  // documents do, not again on every element that uses one.
  for (ElementDef& element : set_.elements) element.xml.namespaceDeclPolicy = NamespaceDeclPolicy::AllOnMessage;
  if (typesWithFacets_ > 0) {
    currentFile_ = "(schema set)";
    currentPlace_ = "facets";
    warn(std::to_string(typesWithFacets_) +
         " simple types restrict their values with facets (lengths, patterns, enumerations, bounds, digits); "
         "the dictionary keeps their base types, so the parse accepts any value of the base type");
  }
  // Documents of any schema may carry xsi:type, xsi:nil and xml: attributes,
  // with or without a target namespace: their namespaces are always read.
  set_.namespacesEnabled = true;
  set_.xml.nullNumEncoding = NullEncoding::XsiNil;
  set_.xml.nullNonNumEncoding = NullEncoding::XsiNil;
  warnings_.appendTo(warningLines_);
  return std::move(set_);
}

std::string fileStem(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind(".xsd");
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string readTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in) {
    ZelFatalException e(__FILE__, __LINE__, kFunction, zelDefaultLogSourceName(), ZelMessages::CP_IO_ERROR);
    e.addInsert(path).addInsert(std::strerror(errno));
    throw e;
  }
  return text.str();
}

}  // namespace

namespace {
// The files in the order to load them: one that imports a namespace without
// a schemaLocation after the given files whose target namespace that is
// (wsdl-soap.xsd after wsdl.xsd), since Xerces-C looks for such a namespace
// among the grammars loaded before, and likewise one that imports it by a
// URL (spring-aop.xsd after spring-beans.xsd), which reads as empty when no
// catalog maps it; else, and in a circle, as given. Read
// from the recorded documents (a refused one is kept empty).
std::vector<std::string> inLoadOrder(const std::vector<std::string>& files, const SchemaDocumentRecorder& recorder) {
  struct Pending {
    std::string file;
    std::string targetNamespace;
    std::set<std::string> unlocatedImports;  // and those imported by a URL, which no catalog may map
  };
  std::vector<Pending> pending;
  for (const std::string& file : files) {
    SchemaDocumentFacts facts;
    scanSchemaDocument(ZelWstring::fromUtf8(resolveSchemaLocation("", file)).c_str(), recorder, facts);
    facts.unlocatedImports.insert(facts.networkImports.begin(), facts.networkImports.end());
    pending.push_back({file, facts.targetNamespace, std::move(facts.unlocatedImports)});
  }
  std::vector<std::string> ordered;
  while (!pending.empty()) {
    auto next = std::find_if(pending.begin(), pending.end(), [&pending](const Pending& file) {
      return std::none_of(pending.begin(), pending.end(), [&file](const Pending& other) {
        return &other != &file && file.unlocatedImports.count(other.targetNamespace) != 0;
      });
    });
    if (next == pending.end()) next = pending.begin();
    ordered.push_back(next->file);
    pending.erase(next);
  }
  return ordered;
}

// Validation loads the documents the user named in the order they are kept:
// they keep their places among the others, in the order of files.
void keepRootsInLoadOrder(SchemaDocuments& documents, const std::vector<std::string>& files) {
  const auto rank = [&files](const SchemaDocument& document) {
    std::size_t i = 0;
    while (i < files.size() && resolveSchemaLocation("", files[i]) != document.location) ++i;
    return i;
  };
  std::vector<std::size_t> places;
  std::vector<SchemaDocument> roots;
  for (std::size_t i = 0; i < documents.size(); ++i) {
    if (!documents[i].isRoot) continue;
    places.push_back(i);
    roots.push_back(std::move(documents[i]));
  }
  std::stable_sort(roots.begin(), roots.end(),
                   [&rank](const SchemaDocument& a, const SchemaDocument& b) { return rank(a) < rank(b); });
  for (std::size_t k = 0; k < places.size(); ++k) documents[places[k]] = std::move(roots[k]);
}

XsdImportResult importOnThisStack(const std::vector<std::string>& schemaFiles, const XsdImportOptions& options) {
  XsdImportResult result;
  startXmlLibraryForProcess();
  XMLGrammarPoolImpl pool(XMLPlatformUtils::fgMemoryManager);
  std::vector<std::string> catalogFiles = options.catalogFiles;
  for (std::string& file : XmlCatalog::filesFromEnvironment()) catalogFiles.push_back(std::move(file));
  const XmlCatalog catalog(catalogFiles);
  SchemaDocumentRecorder recorder(catalog);
  std::vector<std::string> files;  // in the order their grammars are loaded
  {
    std::unique_ptr<SAX2XMLReader> reader = newReader(&pool);
    reader->setFeature(XMLUni::fgXercesSchema, true);
    reader->setFeature(XMLUni::fgXercesSchemaFullChecking, true);
    reader->setFeature(XMLUni::fgXercesHandleMultipleImports, true);
    reader->setFeature(XMLUni::fgXercesCacheGrammarFromParse, true);
    SchemaErrorCollector errors;
    reader->setErrorHandler(&errors);
    static_cast<SAX2XMLReaderImpl&>(*reader).setXMLEntityResolver(&recorder);
    // Each file with what it refers to, so that a file another one includes
    // is kept as included (as the load would read it).
    for (const std::string& file : schemaFiles) {
      if (!isNetworkLocation(file) && !std::ifstream(file)) {
        throwSourceError(kFunction, file, "", std::string("cannot be read: ") + std::strerror(errno));
      }
      if (!recorder.recordRoot(file) && isNetworkLocation(file)) {
        throwSourceError(kFunction, file, "",
                         "is not fetched from the network: map it to a local file with an XML catalog (wfhost "
                         "compile --catalog FILE, or the environment variable XML_CATALOG_FILES)");
      }
      recorder.recordReferenced();
    }
    recorder.locateImportsClosingCircles();
    const auto refuseFault = [&recorder] {
      if (recorder.fault) throwSourceError(kFunction, recorder.fault->first, recorder.fault->second.place,
                                            recorder.fault->second.what);
    };
    refuseFault();
    if (const std::optional<ReferenceChainFault> chain = findOverlongReferenceChain(recorder.documents))
      throwSourceError(kFunction, displayName(chain->location), chain->place, chain->what);
    files = inLoadOrder(schemaFiles, recorder);
    for (const std::string& file : files) {
      Grammar* grammar = nullptr;
      try {
        const SchemaDocument* found = recorder.find(resolveSchemaLocation("", file));
        const SchemaDocument* root =
            found ? &recorder.handOver(static_cast<std::size_t>(found - recorder.documents.data()), false) : nullptr;
        const std::unique_ptr<InputSource> source(root ? memorySource(root->bytes, root->location) : nullptr);
        grammar = source ? reader->loadGrammar(*source, Grammar::SchemaGrammarType, true)
                         : reader->loadGrammar(ZelWstring::fromUtf8(file).c_str(), Grammar::SchemaGrammarType, true);
      } catch (const XMLException& e) {
        throwSourceError(kFunction, file, "", utf8(e.getMessage()));
      } catch (const SAXException& e) {
        if (!errors.failed) throwSourceError(kFunction, file, "", utf8(e.getMessage()));
      }
      if (!recorder.unmapped.empty()) throwSourceError(kFunction, file, "", recorder.unmapped);
      refuseFault();
      if (errors.failed) {
        const std::string where = errors.file.empty() ? file : errors.file;
        throwSourceError(kFunction, where, errors.place + componentAtLine(where, errors.line, recorder),
                         recorder.unreadable.empty() ? errors.what
                                                     : recorder.unreadable + ", and without it: " + errors.what);
      }
      if (grammar == nullptr) throwSourceError(kFunction, file, "", "not a schema document, or it cannot be read");
    }
    result.warnings = errors.warnings;
    result.warnings.insert(result.warnings.end(), recorder.notes.begin(), recorder.notes.end());
  }
  bool changed = false;
  XSModel* model = pool.getXSModel(changed);  // owned by the pool
  if (model == nullptr) throwSourceError(kFunction, schemaFiles.front(), "", "the schema set has no components");
  const SchemaDocumentFacts facts = scanSchemaDocuments(*model, recorder);
  SchemaMapper mapper(*model, facts, options, result.mappingWarnings);
  result.set = mapper.map(options.name.empty() ? fileStem(schemaFiles.front()) : options.name);
  result.set.schemaDocuments = std::move(recorder.documents);
  keepRootsInLoadOrder(result.set.schemaDocuments, files);
  if (!recorder.refersByAbsolutePath) makeLocationsPortable(result.set.schemaDocuments);
  const std::vector<int> cycle = findTypeCycle(result.set);
  if (!cycle.empty()) {
    throwSourceError(kFunction, schemaFiles.front(), "type '" + result.set.types[cycle.front()].name + "'",
                "the type leads back to itself through its base, item or member types");
  }
  if (!options.propertiesFile.empty()) {
    result.set.xml =
        parseMessageSetPropertiesJson(readTextFile(options.propertiesFile), options.propertiesFile, result.set.xml);
  }
  return result;
}
}  // namespace

XsdImportResult importXmlSchemas(const std::vector<std::string>& schemaFiles, const XsdImportOptions& options) {
  if (schemaFiles.empty()) throwSourceError(kFunction, "(none)", "", "no schema documents given");
  XsdImportResult result;
  runWithLargeStack([&] { result = importOnThisStack(schemaFiles, options); });
  return result;
}

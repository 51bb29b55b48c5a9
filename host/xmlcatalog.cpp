#include "xmlcatalog.h"

#include "messageset.h"
#include "zelwstring.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

using namespace xercesc;

namespace {

constexpr char kFunction[] = "XmlCatalog";
constexpr char16_t kCatalogNamespace[] = u"urn:oasis:names:tc:entity:xmlns:xml:catalog";

[[noreturn]] void throwCatalogError(const std::string& file, const std::string& place, const std::string& what) {
  msgset::throwSourceError(kFunction, file, place, what);
}

std::string utf8(const XMLCh* text) { return text ? ZelWstring(text).toUtf8() : std::string(); }

std::string withoutFileScheme(const std::string& location) {
  const std::string scheme = "file://";
  return location.compare(0, scheme.size(), scheme) == 0 ? location.substr(scheme.size()) : location;
}

// A uri attribute: a file URL or path, taken against the catalog's folder.
std::string localFile(const std::string& catalogFolder, const std::string& uri) {
  const std::filesystem::path path(withoutFileScheme(uri));
  return (path.is_absolute() ? path : std::filesystem::path(catalogFolder) / path).lexically_normal().string();
}

// External DTDs of catalog files (the OASIS DOCTYPE names one by http URL)
// read as empty: nothing is fetched.
class NoExternalEntities : public XMLEntityResolver {
public:
  InputSource* resolveEntity(XMLResourceIdentifier* resource) override {
    return new MemBufInputSource(nullptr, 0, resource->getSystemId() ? resource->getSystemId() : u"", false);
  }
};

struct CatalogEntry {
  std::string element, from, to;
};

class CatalogReader : public DefaultHandler {
public:
  void startElement(const XMLCh* uri, const XMLCh* localName, const XMLCh*, const Attributes& attributes) override {
    if (std::u16string_view(uri) != kCatalogNamespace) return;
    const std::string element = utf8(localName);
    const auto attribute = [&](const char16_t* name) { return utf8(attributes.getValue(name)); };
    if (element == "system") entries.push_back({element, attribute(u"systemId"), attribute(u"uri")});
    else if (element == "uri") entries.push_back({element, attribute(u"name"), attribute(u"uri")});
    else if (element == "rewriteSystem")
      entries.push_back({element, attribute(u"systemIdStartString"), attribute(u"rewritePrefix")});
    else if (element == "rewriteURI") entries.push_back({element, attribute(u"uriStartString"), attribute(u"rewritePrefix")});
    else if (element == "systemSuffix") entries.push_back({element, attribute(u"systemIdSuffix"), attribute(u"uri")});
    else if (element == "uriSuffix") entries.push_back({element, attribute(u"uriSuffix"), attribute(u"uri")});
    else if (element == "nextCatalog") entries.push_back({element, {}, attribute(u"catalog")});
  }
  void fatalError(const SAXParseException& e) override {
    if (problem.empty()) {
      problem = utf8(e.getMessage());
      place = "line " + std::to_string(e.getLineNumber()) + ", column " + std::to_string(e.getColumnNumber());
    }
  }
  void error(const SAXParseException& e) override { fatalError(e); }

  std::vector<CatalogEntry> entries;
  std::string problem, place;
};

}  // namespace

XmlCatalog::XmlCatalog(const std::vector<std::string>& files) {
  std::vector<std::string> seen;
  for (const std::string& file : files) read(withoutFileScheme(file), seen);
}

std::vector<std::string> XmlCatalog::filesFromEnvironment() {
  std::vector<std::string> files;
  const char* variable = std::getenv("XML_CATALOG_FILES");
  std::istringstream words(variable ? variable : "");
  for (std::string file; words >> file;) files.push_back(withoutFileScheme(file));
  return files;
}

void XmlCatalog::read(const std::string& file, std::vector<std::string>& seen) {
  if (std::find(seen.begin(), seen.end(), file) != seen.end()) return;  // a loop of nextCatalog entries
  seen.push_back(file);
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in) throwCatalogError(file, "", "the XML catalog cannot be read");
  const std::string text = bytes.str();

  CatalogReader reader;
  NoExternalEntities noEntities;
  std::unique_ptr<SAX2XMLReader> parser(XMLReaderFactory::createXMLReader());
  parser->setFeature(XMLUni::fgSAX2CoreNameSpaces, true);
  parser->setFeature(XMLUni::fgXercesDisableDefaultEntityResolution, true);
  parser->setContentHandler(&reader);
  parser->setErrorHandler(&reader);
  static_cast<SAX2XMLReaderImpl&>(*parser).setXMLEntityResolver(&noEntities);
  const MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size(),
                                 ZelWstring::fromUtf8(file).c_str(), false);
  try {
    parser->parse(source);
  } catch (const XMLException& e) {
    throwCatalogError(file, "", utf8(e.getMessage()));
  } catch (const SAXException& e) {
    if (reader.problem.empty()) reader.problem = utf8(e.getMessage());
  }
  if (!reader.problem.empty()) throwCatalogError(file, reader.place, reader.problem);

  const std::string folder = std::filesystem::path(file).parent_path().string();
  const std::size_t index = files_++;
  for (const CatalogEntry& entry : reader.entries) {
    if (entry.element == "nextCatalog") continue;
    const Match match = entry.element == "system" || entry.element == "uri"         ? Match::Exact
                        : entry.element == "rewriteSystem" || entry.element == "rewriteURI" ? Match::Prefix
                                                                                             : Match::Suffix;
    if (!entry.from.empty() && !entry.to.empty()) entries_.push_back({match, entry.from, localFile(folder, entry.to), index});
  }
  for (const CatalogEntry& entry : reader.entries)
    if (entry.element == "nextCatalog" && !entry.to.empty()) read(localFile(folder, entry.to), seen);
}

std::string XmlCatalog::resolve(const std::string& location) const {
  for (std::size_t file = 0; file < files_; ++file) {
    const Entry* best = nullptr;
    for (const Entry& entry : entries_) {
      if (entry.file != file) continue;
      const bool matches =
          entry.match == Match::Exact    ? location == entry.from
          : entry.match == Match::Prefix ? location.compare(0, entry.from.size(), entry.from) == 0
                                         : location.size() >= entry.from.size() &&
                                               location.compare(location.size() - entry.from.size(), entry.from.size(),
                                                                entry.from) == 0;
      if (!matches) continue;
      if (!best || entry.match < best->match || (entry.match == best->match && entry.from.size() > best->from.size()))
        best = &entry;
    }
    if (!best) continue;
    if (best->match == Match::Prefix) {
      std::string rewritten = best->to;
      const std::string rest = location.substr(best->from.size());
      if (!rewritten.empty() && rewritten.back() != '/' && !rest.empty() && rest.front() != '/') rewritten += '/';
      return rewritten + rest;
    }
    return best->to;
  }
  return {};
}

#include "schemadocument.h"

#include "keptschemadocument.h"
#include "patternbacktracking.h"
#include "schemareferencechains.h"
#include "zelwstring.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/sax/SAXException.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/schema/SchemaSymbols.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>

using namespace xercesc;

namespace {
constexpr std::string_view kFileScheme = "file://";

bool hasScheme(const std::string& location) {
  const std::size_t colon = location.find("://");
  return colon != std::string::npos && colon > 1 &&
         std::all_of(location.begin(), location.begin() + static_cast<std::ptrdiff_t>(colon),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '.' || c == '-'; });
}

std::string withoutFileScheme(const std::string& location) {
  return location.compare(0, kFileScheme.size(), kFileScheme) == 0 ? location.substr(kFileScheme.size()) : location;
}

// A URI reference's path with its escapes undone ("sub%20dir" is the folder
// "sub dir"); a '%' that starts no escape stays.
std::string percentDecoded(const std::string& text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool escape = text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                        std::isxdigit(static_cast<unsigned char>(text[i + 2]));
    decoded += escape ? static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)) : text[i];
    if (escape) i += 2;
  }
  return decoded;
}

// Where a URL's path starts (after "scheme://authority"); its end if none.
std::size_t pathStartOf(const std::string& url) { return std::min(url.find('/', url.find("://") + 3), url.size()); }

// A URL whose path has its "." and ".." segments resolved, as resolving a
// reference against a URL removes them (RFC 3986, 5.2.4), so that a
// document reached by "../common/c.xsd" has one location whoever refers to
// it ("http://h/s/main/../common/c.xsd" is "http://h/s/common/c.xsd").
std::string withoutDotSegments(const std::string& url) {
  const std::size_t start = pathStartOf(url);
  const std::size_t end = std::min(url.find_first_of("?#", start), url.size());
  std::vector<std::string> kept;
  bool endsAsFolder = false;
  for (std::size_t at = start; at < end;) {
    const std::size_t next = std::min(url.find('/', at + 1), end);
    const std::string segment = url.substr(at + 1, next - at - 1);
    endsAsFolder = segment == "." || segment == "..";
    if (segment == ".." && !kept.empty()) kept.pop_back();
    if (!endsAsFolder) kept.push_back(segment);
    at = next;
  }
  std::string resolved = url.substr(0, start);
  for (const std::string& segment : kept) resolved += "/" + segment;
  if (endsAsFolder) resolved += "/";
  return resolved + url.substr(end);
}
}  // namespace

const char* const kXmlNamespaceSchemaLocation = "http://www.w3.org/2001/xml.xsd";

const std::string& xmlNamespaceSchema() {
  static const std::string schema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="http://www.w3.org/XML/1998/namespace">
  <xs:attribute name="lang">
    <xs:simpleType>
      <xs:union memberTypes="xs:language">
        <xs:simpleType>
          <xs:restriction base="xs:string"><xs:enumeration value=""/></xs:restriction>
        </xs:simpleType>
      </xs:union>
    </xs:simpleType>
  </xs:attribute>
  <xs:attribute name="space">
    <xs:simpleType>
      <xs:restriction base="xs:NCName">
        <xs:enumeration value="default"/>
        <xs:enumeration value="preserve"/>
      </xs:restriction>
    </xs:simpleType>
  </xs:attribute>
  <xs:attribute name="base" type="xs:anyURI"/>
  <xs:attribute name="id" type="xs:ID"/>
  <xs:attributeGroup name="specialAttrs">
    <xs:attribute ref="xml:base"/>
    <xs:attribute ref="xml:lang"/>
    <xs:attribute ref="xml:space"/>
    <xs:attribute ref="xml:id"/>
  </xs:attributeGroup>
</xs:schema>
)";
  return schema;
}

bool isNetworkLocation(const std::string& location) {
  return hasScheme(location) && location.compare(0, kFileScheme.size(), kFileScheme) != 0;
}

void makeLocationsPortable(SchemaDocuments& documents) {
  namespace fs = std::filesystem;
  std::optional<fs::path> base;  // the folder that holds every local document
  for (const SchemaDocument& document : documents) {
    if (isNetworkLocation(document.location)) continue;
    const fs::path folder = fs::path(document.location).parent_path();
    if (!base) {
      base = folder;
      continue;
    }
    fs::path common;
    for (auto a = base->begin(), b = folder.begin(); a != base->end() && b != folder.end() && *a == *b; ++a, ++b)
      common /= *a;
    base = common;
  }
  for (SchemaDocument& document : documents) {
    if (!isNetworkLocation(document.location))
      document.location = fs::path(document.location).lexically_relative(*base).generic_string();
  }
}

std::string resolveSchemaLocation(const std::string& referrer, const std::string& location) {
  if (isNetworkLocation(location)) return withoutDotSegments(location);
  namespace fs = std::filesystem;
  // A schemaLocation is a URI, with escapes; a file the user names is a path.
  const bool isUri = !referrer.empty() || hasScheme(location);
  fs::path path(isUri ? percentDecoded(withoutFileScheme(location)) : location);
  if (isNetworkLocation(referrer) && !hasScheme(location)) {
    // A path from the referrer's host, or from its folder.
    return withoutDotSegments(location.compare(0, 1, "/") == 0 ? referrer.substr(0, pathStartOf(referrer)) + location
                                                                : referrer.substr(0, referrer.rfind('/') + 1) + location);
  }
  if (path.is_relative() && !referrer.empty()) {
    path = fs::path(withoutFileScheme(referrer)).parent_path() / path;
  }
  std::error_code ignored;
  const fs::path absolute = fs::absolute(path, ignored);
  return (absolute.empty() ? path : absolute).lexically_normal().string();
}

namespace {

std::string placeOf(XMLFileLoc line, XMLFileLoc column) {
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Notes the expansion limit when the scanner reports it; other errors are
// the schema loader's to report.
class ExpansionWatch : public SAX2XMLReaderImpl {
public:
  ExpansionWatch() : SAX2XMLReaderImpl(XMLPlatformUtils::fgMemoryManager) {}
  void error(const unsigned int code, const XMLCh* const domain, const XMLErrorReporter::ErrTypes type,
             const XMLCh* const text, const XMLCh* const systemId, const XMLCh* const publicId, const XMLFileLoc line,
             const XMLFileLoc column) override {
    if (!excess && code == XMLErrs::EntityExpansionLimitExceeded && XMLString::equals(domain, XMLUni::fgXMLErrDomain))
      excess = SchemaDocumentFault{placeOf(line, column), ZelWstring(text).toUtf8()};
    SAX2XMLReaderImpl::error(code, domain, type, text, systemId, publicId, line, column);
  }
  std::optional<SchemaDocumentFault> excess;
};

// Every external entity reads as empty.
class NothingFetched : public XMLEntityResolver {
public:
  InputSource* resolveEntity(XMLResourceIdentifier* resource) override {
    return new MemBufInputSource(nullptr, 0, resource->getSystemId() ? resource->getSystemId() : u"", false);
  }
};

struct ExpansionLimit : SecurityManager {
  ExpansionLimit() { setEntityExpansionLimit(kSchemaEntityExpansionLimit); }
};

// Counts the text and attribute values the references expand to, and
// stops at a pattern facet that Xerces-C's matcher cannot match in bounded
// time.
class DocumentWatch : public DefaultHandler {
public:
  struct Stop {
    SchemaDocumentFault fault;
  };
  struct TooDeep {};  // refused by the chain check (schemareferencechains.h)
  explicit DocumentWatch(std::size_t limit) : limit_(limit) {}
  void setDocumentLocator(const Locator* locator) override { locator_ = locator; }
  void characters(const XMLCh* const, const XMLSize_t length) override { add(length); }
  void startElement(const XMLCh* uri, const XMLCh* localName, const XMLCh*, const Attributes& attributes) override {
    if (++depth_ > kSchemaNestingBound) throw TooDeep{};
    for (XMLSize_t i = 0; i < attributes.getLength(); ++i) add(XMLString::stringLen(attributes.getValue(i)));
    if (!XMLString::equals(localName, u"pattern") || !XMLString::equals(uri, SchemaSymbols::fgURI_SCHEMAFORSCHEMA))
      return;
    const XMLCh* pattern = attributes.getValue(u"value");
    if (!pattern) return;
    if (const std::string why = unboundedPatternMatch(pattern); !why.empty())
      throw Stop{{place(), "the pattern '" + ZelWstring(pattern).toUtf8() + "' is refused: " + why}};
  }
  void endElement(const XMLCh*, const XMLCh*, const XMLCh*) override { --depth_; }
  void error(const SAXParseException&) override {}
  void fatalError(const SAXParseException&) override {}

private:
  void add(std::size_t length) {
    count_ += length;
    if (count_ > limit_)
      throw Stop{{place(), "entity references expand to more than " + std::to_string(kSchemaEntityTextAllowance) +
                               " characters beyond the document's length"}};
  }
  std::string place() const {
    return locator_ ? placeOf(locator_->getLineNumber(), locator_->getColumnNumber()) : "";
  }
  const Locator* locator_ = nullptr;
  long depth_ = 0;
  std::size_t count_ = 0;
  const std::size_t limit_;
};

}  // namespace

void readKeptSchemaDocument(const SchemaDocument& document, SAX2XMLReaderImpl& reader, DefaultHandler& handler) {
  // Neither changes as it is used: one of each serves every reading.
  static ExpansionLimit limit;
  static NothingFetched resolver;
  reader.setFeature(XMLUni::fgSAX2CoreNameSpaces, true);
  reader.setFeature(XMLUni::fgXercesLoadExternalDTD, false);
  reader.setFeature(XMLUni::fgXercesDisableDefaultEntityResolution, true);
  reader.setProperty(XMLUni::fgXercesSecurityManager, &limit);
  reader.setXMLEntityResolver(&resolver);
  reader.setContentHandler(&handler);
  reader.setErrorHandler(&handler);
  MemBufInputSource source(reinterpret_cast<const XMLByte*>(document.bytes.data()), document.bytes.size(),
                           ZelWstring::fromUtf8(document.location).c_str(), false);
  source.setCopyBufToStream(false);
  try {
    reader.parse(source);
  } catch (const XMLException&) {
  } catch (const SAXException&) {
  }
}

std::optional<SchemaDocumentFault> findSchemaDocumentFault(const SchemaDocument& document) {
  // Nothing to expand, no pattern to match: nothing to read.
  if (document.bytes.find('&') == std::string::npos && document.bytes.find("pattern") == std::string::npos)
    return std::nullopt;
  DocumentWatch watch(document.bytes.size() + kSchemaEntityTextAllowance);
  ExpansionWatch reader;
  try {
    readKeptSchemaDocument(document, reader, watch);
  } catch (const DocumentWatch::Stop& stop) {
    return stop.fault;
  } catch (const DocumentWatch::TooDeep&) {
  }
  return reader.excess;
}

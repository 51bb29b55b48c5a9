#include "rawscanner.h"

#include "xmlhandler.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLPScanToken.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/internal/XMLScannerResolver.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/StringPool.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/DTD/DTDValidator.hpp>
#include <xercesc/validators/common/GrammarResolver.hpp>

#include <cstdlib>

using namespace xercesc;

namespace {
// The scanner's events, ignored.
class IdleScannerHandler : public XMLDocumentHandler,
                           public XMLErrorReporter,
                           public XMLEntityHandler,
                           public DocTypeHandler {
public:
  void docCharacters(const XMLCh* const, const XMLSize_t, const bool) override {}
  void docComment(const XMLCh* const) override {}
  void docPI(const XMLCh* const, const XMLCh* const) override {}
  void endDocument() override {}
  void endElement(const XMLElementDecl&, const unsigned int, const bool, const XMLCh* const) override {}
  void endEntityReference(const XMLEntityDecl&) override {}
  void ignorableWhitespace(const XMLCh* const, const XMLSize_t, const bool) override {}
  void resetDocument() override {}
  void startDocument() override {}
  void startElement(const XMLElementDecl&, const unsigned int, const XMLCh* const, const RefVectorOf<XMLAttr>&,
                    const XMLSize_t, const bool, const bool) override {}
  void startEntityReference(const XMLEntityDecl&) override {}
  void XMLDecl(const XMLCh* const, const XMLCh* const, const XMLCh* const, const XMLCh* const) override {}
  void error(const unsigned int, const XMLCh* const, const ErrTypes, const XMLCh* const, const XMLCh* const,
             const XMLCh* const, const XMLFileLoc, const XMLFileLoc) override {
    std::abort();
  }
  void resetErrors() override {}
  void endInputSource(const InputSource&) override {}
  bool expandSystemId(const XMLCh* const, XMLBuffer&) override { return false; }
  void resetEntities() override {}
  InputSource* resolveEntity(XMLResourceIdentifier*) override { return nullptr; }
  void startInputSource(const InputSource&) override {}
  void attDef(const DTDElementDecl&, const DTDAttDef&, const bool) override {}
  void doctypeComment(const XMLCh* const) override {}
  void doctypeDecl(const DTDElementDecl&, const XMLCh* const, const XMLCh* const, const bool, const bool) override {}
  void doctypePI(const XMLCh* const, const XMLCh* const) override {}
  void doctypeWhitespace(const XMLCh* const, const XMLSize_t) override {}
  void elementDecl(const DTDElementDecl&, const bool) override {}
  void endAttList(const DTDElementDecl&) override {}
  void endIntSubset() override {}
  void endExtSubset() override {}
  void entityDecl(const DTDEntityDecl&, const bool, const bool) override {}
  void resetDocType() override {}
  void notationDecl(const XMLNotationDecl&, const bool) override {}
  void startAttList(const DTDElementDecl&) override {}
  void startIntSubset() override {}
  void startExtSubset() override {}
  void TextDecl(const XMLCh* const, const XMLCh* const) override {}
};
}  // namespace

// Declared in the order they must go: the scanner before the pool, resolver
// and validator it uses, all of them before the library stops.
struct RawScanner::Parts {
  struct Library {
    Library() { XMLPlatformUtils::Initialize(); }
    ~Library() { XMLPlatformUtils::Terminate(); }
  } library;
  IdleScannerHandler handler;
  DTDValidator validator{&handler};
  GrammarResolver resolver{nullptr};
  XMLStringPool pool{XMLHandler::DEFAULT_XMLSTRINGPOOL_MODULUS};
  std::unique_ptr<XMLScanner> scanner{
      XMLScannerResolver::resolveScanner(XMLUni::fgDGXMLScanner, &validator, &resolver)};
};

RawScanner::RawScanner(bool doNamespaces) : parts_(std::make_unique<Parts>()) {
  XMLScanner& scanner = *parts_->scanner;
  scanner.setURIStringPool(&parts_->pool);
  scanner.setValidationScheme(XMLScanner::Val_Never);
  scanner.setDoNamespaces(doNamespaces);
  scanner.setDocHandler(&parts_->handler);
  scanner.setDocTypeHandler(&parts_->handler);
  scanner.setEntityHandler(&parts_->handler);
  scanner.setErrorReporter(&parts_->handler);
  scanner.setCalculateSrcOfs(true);
}

RawScanner::~RawScanner() = default;

void RawScanner::scan(const std::string& bytes) {
  MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(), "XMLBuffer", false);
  source.setCopyBufToStream(false);
  XMLPScanToken token;
  bool more = parts_->scanner->scanFirst(source, token);
  while (more) more = parts_->scanner->scanNext(token);
}

#include "xmlhandler.h"

#include "fihandler.h"
#include "messageinfo.h"
#include "xmldictionaryinfo.h"
#include "xmlworkerutility.h"
#include "zelexception.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/internal/XMLScanner.hpp>

namespace {
// Element kinds of the host used for elements without a dictionary match.
constexpr unsigned short kSelfDefiningField = 0;
constexpr unsigned short kUndefinedMessage = 5;
// Where-defined code of an element that is not in the dictionary.
constexpr long kUndefined = 3;

[[noreturn]] void throwInternalError(const XMLHandler* handler, const char* function, const char* cause) {
  ZelParserException e(__FILE__, __LINE__, function, handler->getLogSourceName(), ZelMessages::CP_XML_INTERNAL_ERROR);
  e.addInsert("XML Internal Error").addInsert(cause);
  if (ZelLog::traceOn())
    ZelLog::trace(handler, function, {"Throwing exception", __FILE__, __LINE__, e.getKey(), cause});
  throw e;
}
}  // namespace

XMLHandler::XMLHandler(const ZelNamedLogSource* owner, long messageId, MessageInfo* properties,
                       xercesc::MemoryManager* memoryManager, ParseItemFactory* itemPool)
    : ZelOwnedLogSource(owner), currentMessageTagId(messageId), messageInfo(properties),
      startMsgInfo(new XMLStartMsgInfo), dataCnv(XMLUtils::makeDataCnv()), memoryManager(memoryManager), itemPool(itemPool) {
  ZelTraceScope scope(this, "XMLHandler::XMLHandler");
  if (messageInfo) subtreeBitstream = messageInfo->getPropertyAsInteger(MI_SUBTREEBITSTREAM_STR) > 0;
}

XMLHandler::~XMLHandler() = default;

void XMLHandler::SetDateTimeProperties() {
  if (!descriptor) return;
  const prf_XML_MSET_DEFINITION& messageSet = descriptor->getXMLMsgSetDefinition();
  dataCnv.setDateTimeProperties(messageSet.centuryWindow, messageSet.defaultTimeZone, messageSet.firstDayOfWeek,
                                messageSet.firstWeekOfYear, messageSet.allowLenientDatetimes,
                                messageSet.preserveUTCFormat);
}

void XMLHandler::setNamespaceInfo() {
  if (descriptor) namespacesEnabled = descriptor->isNamespaceProcessingEnabled();
}

bool XMLHandler::isStructureAwaitingValue() const { return false; }

ZelWstring XMLHandler::traceGetMsg() const { return ZelWstring(); }

ZelWstring XMLHandler::traceGetCurXMLElement() const { return ZelWstring(); }

const XMLCh* XMLHandler::elementName(const xercesc::XMLElementDecl& elemDecl) const {
  return namespacesEnabled ? elemDecl.getBaseName() : elemDecl.getFullName();
}

void XMLHandler::getNamespace(unsigned int uriId, ZelWstring& text) const {
  text.clear();
  if (!namespacesEnabled || !scanner) return;
  const XMLCh* uri = scanner->getURIText(uriId);
  if (std::u16string_view(uri) == XML_EMPTY_NAMESPACE_STR) return;
  text.assign(uri);
}

void XMLHandler::flushCharacters() {
  if (!characters.empty() && !XMLUtils::isAllWhitespace(characters.data(), characters.length()))
    fiHandler->data(PWFData::makeString(characters), WorkerInfoPtr(), -1, -1);
  characters.clear();
}

// ---------------------------------------------------------------------------
// Document and element events. Without dictionary the root element starts
// message content and every other element is a self-defining field.

void XMLHandler::startDocument() {
  ZelTraceScope scope(this, "XMLHandler::startDocument");
  characters.clear();
  deferredEndWhereDefined = -1;
  deferredEndTagId = -1;
  deferredEndName.clear();
  deferredEndNamespace.clear();
  deferredEndWorkerInfo.reset();
}

void XMLHandler::endDocument() {
  ZelTraceScope scope(this, "XMLHandler::endDocument");
  if (deferredEndWhereDefined == 2 || deferredEndWhereDefined == kUndefined)
    fiHandler->endMessageContent(deferredEndName.c_str(), deferredEndNamespace, deferredEndWorkerInfo);
  else
    fiHandler->endMessageContent(deferredEndTagId, deferredEndWorkerInfo);
  fiHandler->endMessage(endMsgInfo);
}

void XMLHandler::startElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int uriId,
                              const XMLCh* const prefixName, const xercesc::RefVectorOf<xercesc::XMLAttr>& attrList,
                              const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) {
  ZelTraceScope scope(this, "XMLHandler::startElement");
  const XMLCh* name = elementName(elemDecl);
  ZelBufferedWstring<16> uri;
  getNamespace(uriId, uri);
  if (isRoot) {
    fiHandler->startMessage(startMsgInfo);
    prefixPending = false;
  }
  flushCharacters();
  if (isRoot) {
    fiHandler->startEmbeddedMessage();
    if (!fiHandler->startMessageContent(name, uri, kUndefinedMessage, WorkerInfoPtr(), -1))
      throwInternalError(this, "XMLHandler::startElement", "startMessageContent returned false.");
  } else {
    fiHandler->startElement(name, uri, kSelfDefiningField, WorkerInfoPtr(), -1, -1);
  }
  // The scanner sends no end event for an empty element.
  if (isEmpty) endElement(elemDecl, uriId, isRoot, nullptr);
}

void XMLHandler::endElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int uriId, const bool isRoot,
                            const XMLCh* const prefixName) {
  ZelTraceScope scope(this, "XMLHandler::endElement");
  flushCharacters();
  // Without dictionary namespaces are off, so no element has a namespace URI.
  const ZelBufferedWstring<16> uri;
  if (isRoot) {
    // The end of the outermost message is held back until the document ends.
    deferredEndWhereDefined = kUndefined;
    deferredEndName.assign(elementName(elemDecl));
    deferredEndNamespace = uri;
    deferredEndWorkerInfo.reset();
    return;
  }
  fiHandler->endElement(elementName(elemDecl), uri, WorkerInfoPtr());
}

void XMLHandler::docCharacters(const XMLCh* const chars, const XMLSize_t length, const bool cdataSection) {
  characters.append(chars, length);
}

void XMLHandler::ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length, const bool cdataSection) {}
void XMLHandler::resetDocument() {}
void XMLHandler::startEntityReference(const xercesc::XMLEntityDecl& entDecl) {}
void XMLHandler::endEntityReference(const xercesc::XMLEntityDecl& entDecl) {}

// ---------------------------------------------------------------------------
// Prolog, DTD and errors.

void XMLHandler::XMLDecl(const XMLCh* const versionStr, const XMLCh* const encodingStr,
                         const XMLCh* const standaloneStr, const XMLCh* const autoEncodingStr) {
  ZelTraceScope scope(this, "XMLHandler::XMLDecl");
  // The declared encoding is not kept: a writer chooses its own.
  if (versionStr && *versionStr)
    startMsgInfo->setProperty(eStartMsgVersion, PWFData::makeString(ZelWstring(versionStr)));
  if (standaloneStr && *standaloneStr)
    startMsgInfo->setProperty(eStartMsgStandalone, PWFData::makeString(ZelWstring(standaloneStr)));
}

void XMLHandler::docComment(const XMLCh* const comment) {}
void XMLHandler::docPI(const XMLCh* const target, const XMLCh* const data) {}

void XMLHandler::error(const unsigned int errCode, const XMLCh* const errDomain, const ErrTypes type,
                       const XMLCh* const errorText, const XMLCh* const systemId, const XMLCh* const publicId,
                       const XMLFileLoc lineNum, const XMLFileLoc colNum) {
  static constexpr const char* kFunction = "XMLHandler::error";
  ZelParserException e(__FILE__, __LINE__, kFunction, getLogSourceName(), ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION);
  e.addInsert("XMLHandler::error reported from the Xerces parser")
      .addInsert(errCode)
      .addInsert(publicId)
      .addInsert(static_cast<long long>(lineNum))
      .addInsert(static_cast<long long>(colNum))
      .addInsert(errorText)
      .addInsert(traceGetMsg())
      .addInsert(traceGetCurXMLElement());
  if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"Throwing exception", __FILE__, __LINE__, e.getKey(), e.insertText(0)});
  throw e;
}

void XMLHandler::resetErrors() {}

void XMLHandler::endInputSource(const xercesc::InputSource& inputSource) {}

bool XMLHandler::expandSystemId(const XMLCh* const systemId, xercesc::XMLBuffer& toFill) { return true; }

void XMLHandler::resetEntities() {}

xercesc::InputSource* XMLHandler::resolveEntity(xercesc::XMLResourceIdentifier* resourceIdentifier) {
  static constexpr XMLByte kNoBytes[1] = {0};
  return new (memoryManager) xercesc::MemBufInputSource(kNoBytes, 0, u"", false, memoryManager);
}

void XMLHandler::startInputSource(const xercesc::InputSource& inputSource) {}

void XMLHandler::attDef(const xercesc::DTDElementDecl& elemDecl, const xercesc::DTDAttDef& attDef,
                        const bool ignoring) {}
void XMLHandler::doctypeComment(const XMLCh* const comment) {}
void XMLHandler::doctypeDecl(const xercesc::DTDElementDecl& elemDecl, const XMLCh* const publicId,
                             const XMLCh* const systemId, const bool hasIntSubset, const bool hasExtSubset) {}
void XMLHandler::doctypePI(const XMLCh* const target, const XMLCh* const data) {}
void XMLHandler::doctypeWhitespace(const XMLCh* const chars, const XMLSize_t length) {}
void XMLHandler::elementDecl(const xercesc::DTDElementDecl& decl, const bool isIgnored) {}
void XMLHandler::endAttList(const xercesc::DTDElementDecl& elemDecl) {}
void XMLHandler::endIntSubset() {}
void XMLHandler::endExtSubset() {}
void XMLHandler::entityDecl(const xercesc::DTDEntityDecl& entityDecl, const bool isPEDecl, const bool isIgnored) {}
void XMLHandler::resetDocType() {}
void XMLHandler::notationDecl(const xercesc::XMLNotationDecl& notDecl, const bool isIgnored) {}
void XMLHandler::startAttList(const xercesc::DTDElementDecl& elemDecl) {}
void XMLHandler::startIntSubset() {}
void XMLHandler::startExtSubset() {}
void XMLHandler::TextDecl(const XMLCh* const versionStr, const XMLCh* const encodingStr) {}

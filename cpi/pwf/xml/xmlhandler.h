#ifndef XMLHANDLER_H
#define XMLHANDLER_H

#include "datacnv.h"
#include "pwfdata.h"
#include "workerinfo.h"
#include "zellog.h"
#include "zelwstring.h"

#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/framework/XMLEntityHandler.hpp>
#include <xercesc/framework/XMLErrorReporter.hpp>
#include <xercesc/validators/DTD/DocTypeHandler.hpp>

#include <vector>

class BitstreamBuffer;
class FIHandler;
class MessageInfo;
class ParseItem;
class XMLDictionaryInfo;

XERCES_CPP_NAMESPACE_BEGIN
class XMLScanner;
XERCES_CPP_NAMESPACE_END

// Reusable parse items, taken from and returned to the back. Owned by the
// worker, shared with its handler.
using ParseItemFactory = std::vector<ParseItem*>;

// Receives the scanner's events for one document at a time and reports the
// message tree to the host's FIHandler. The worker creates it, registers it
// for all four scanner interfaces and sets its host callback, descriptor,
// scanner and buffer before scanning.
//
// Errors: every scanner error (warnings included) ends the parse with
// ZelParserException CP_XML_XERCES_PARSER_EXCEPTION raised from error(); it
// leaves the scanner unchanged and reaches the worker.
class XMLHandler : public xercesc::XMLDocumentHandler,
                   public xercesc::XMLErrorReporter,
                   public xercesc::XMLEntityHandler,
                   public xercesc::DocTypeHandler,
                   public ZelOwnedLogSource {
public:
  // Hash modulus of the scanner's URI string pool.
  static constexpr unsigned int DEFAULT_XMLSTRINGPOOL_MODULUS = 109;
  // UTF-16 units of a namespace-URI buffer.
  static constexpr XMLSize_t DEFAULT_XMLBUFFER_CAPACITY = 255;

  // messageId is kept as the current message's tag id until a message
  // element is recognised. properties, memoryManager and itemPool are
  // borrowed and must outlive the handler. Reads "subTreeBitStream" from the
  // properties (throws ZelConversionException when it is not an integer).
  XMLHandler(const ZelNamedLogSource* owner, long messageId, MessageInfo* properties,
             xercesc::MemoryManager* memoryManager, ParseItemFactory* itemPool);
  ~XMLHandler() override;
  XMLHandler(const XMLHandler&) = delete;
  XMLHandler& operator=(const XMLHandler&) = delete;

  // Set-up by the worker.
  void setFIHandler(FIHandler* handler) { fiHandler = handler; }
  FIHandler* getFIHandler() const { return fiHandler; }
  // Null parses without dictionary.
  void setXMLWireFormatDescriptor(const XMLDictionaryInfo* dictionary) { descriptor = dictionary; }
  const XMLDictionaryInfo* getXMLWireFormatDescriptor() const { return descriptor; }
  // The handler does not look at the bytes: the scanner reads them.
  void setBuffer(const BitstreamBuffer* buffer, long ccsid, EEndian endian, long markLength) {}
  // Hands the message set's date-time settings to the value conversion
  // (nothing without descriptor).
  void SetDateTimeProperties();
  // With a descriptor, namespaces are processed exactly when the dictionary's
  // format version is above 3 and its message set enables them; without one
  // the setting stays as it is (off from construction).
  void setNamespaceInfo();
  bool isNamespacesEnabled() const { return namespacesEnabled; }
  void setScanner(xercesc::XMLScanner* xmlScanner) { scanner = xmlScanner; }
  xercesc::XMLScanner* getScanner() const { return scanner; }
  bool isSubtreeBitstream() const { return subtreeBitstream; }
  void setSubtreeMemberIndex(long memberIndex) { subtreeMemberIndex = memberIndex; }

  // True while the innermost open element is a structure still waiting for
  // its simple value: the worker then keeps scanning instead of returning to
  // the host.
  bool isStructureAwaitingValue() const;

  // Texts for trace lines and exception inserts: the current message's name
  // from the dictionary (empty without dictionary) and the element being
  // parsed ("uri:name" when it has a namespace).
  ZelWstring traceGetMsg() const;
  ZelWstring traceGetCurXMLElement() const;

  // XMLDocumentHandler
  void docCharacters(const XMLCh* const chars, const XMLSize_t length, const bool cdataSection) override;
  void docComment(const XMLCh* const comment) override;
  void docPI(const XMLCh* const target, const XMLCh* const data) override;
  void endDocument() override;
  void endElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int uriId, const bool isRoot,
                  const XMLCh* const prefixName) override;
  void endEntityReference(const xercesc::XMLEntityDecl& entDecl) override;
  void ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length, const bool cdataSection) override;
  void resetDocument() override;
  void startDocument() override;
  void startElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int uriId, const XMLCh* const prefixName,
                    const xercesc::RefVectorOf<xercesc::XMLAttr>& attrList, const XMLSize_t attrCount,
                    const bool isEmpty, const bool isRoot) override;
  void startEntityReference(const xercesc::XMLEntityDecl& entDecl) override;
  void XMLDecl(const XMLCh* const versionStr, const XMLCh* const encodingStr, const XMLCh* const standaloneStr,
               const XMLCh* const autoEncodingStr) override;

  // XMLErrorReporter
  // Raises ZelParserException CP_XML_XERCES_PARSER_EXCEPTION with the inserts:
  // a fixed text, the error code, the public id, line, column, the error
  // text, the message's trace name and the current element.
  void error(const unsigned int errCode, const XMLCh* const errDomain, const ErrTypes type,
             const XMLCh* const errorText, const XMLCh* const systemId, const XMLCh* const publicId,
             const XMLFileLoc lineNum, const XMLFileLoc colNum) override;
  void resetErrors() override;

  // XMLEntityHandler
  void endInputSource(const xercesc::InputSource& inputSource) override;
  // Leaves the system id as it is.
  bool expandSystemId(const XMLCh* const systemId, xercesc::XMLBuffer& toFill) override;
  void resetEntities() override;
  // Nothing external is ever fetched: every external entity and the external
  // DTD subset read as empty. The scanner adopts the returned source.
  xercesc::InputSource* resolveEntity(xercesc::XMLResourceIdentifier* resourceIdentifier) override;
  void startInputSource(const xercesc::InputSource& inputSource) override;

  // DocTypeHandler
  void attDef(const xercesc::DTDElementDecl& elemDecl, const xercesc::DTDAttDef& attDef,
              const bool ignoring) override;
  void doctypeComment(const XMLCh* const comment) override;
  void doctypeDecl(const xercesc::DTDElementDecl& elemDecl, const XMLCh* const publicId, const XMLCh* const systemId,
                   const bool hasIntSubset, const bool hasExtSubset) override;
  void doctypePI(const XMLCh* const target, const XMLCh* const data) override;
  void doctypeWhitespace(const XMLCh* const chars, const XMLSize_t length) override;
  void elementDecl(const xercesc::DTDElementDecl& decl, const bool isIgnored) override;
  void endAttList(const xercesc::DTDElementDecl& elemDecl) override;
  void endIntSubset() override;
  void endExtSubset() override;
  void entityDecl(const xercesc::DTDEntityDecl& entityDecl, const bool isPEDecl, const bool isIgnored) override;
  void resetDocType() override;
  void notationDecl(const xercesc::XMLNotationDecl& notDecl, const bool isIgnored) override;
  void startAttList(const xercesc::DTDElementDecl& elemDecl) override;
  void startIntSubset() override;
  void startExtSubset() override;
  void TextDecl(const XMLCh* const versionStr, const XMLCh* const encodingStr) override;

private:
  // The element's name as the host sees it: the local part with namespaces,
  // else the raw qualified name.
  const XMLCh* elementName(const xercesc::XMLElementDecl& elemDecl) const;
  // The scanner's text for a namespace URI id; "EMPTY" and no namespace give "".
  void getNamespace(unsigned int uriId, ZelWstring& text) const;
  // Sends collected character data that is not just whitespace as a String
  // value of the innermost element, then empties the collection.
  void flushCharacters();

  FIHandler* fiHandler = nullptr;
  std::vector<ParseItem*> itemStack;
  long currentMessageTagId;
  MessageInfo* messageInfo;
  WorkerInfoPtr startMsgInfo;
  WorkerInfoPtr endMsgInfo;
  const XMLDictionaryInfo* descriptor = nullptr;
  DataCnv dataCnv;
  bool namespacesEnabled = false;
  bool subtreeBitstream = false;
  long subtreeMemberIndex = -1;
  xercesc::MemoryManager* memoryManager;
  ParseItemFactory* itemPool;
  ZelBufferedWstring<16> characters;
  xercesc::XMLScanner* scanner = nullptr;
  long deferredEndWhereDefined = -1;
  long deferredEndTagId = -1;
  ZelBufferedWstring<16> deferredEndName;
  ZelBufferedWstring<16> deferredEndNamespace;
  WorkerInfoPtr deferredEndWorkerInfo;
  bool prefixPending = false;
  ZelBufferedWstring<16> prefixText;
  ZelBufferedWstring<16> internalSubset;
};

#endif

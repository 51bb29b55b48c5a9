#include "xmlhandler.h"

#include "bitstreambuffer.h"
#include "fihandler.h"
#include "messageinfo.h"
#include "xmldictionaryinfo.h"
#include "xmldictionaryview.h"
#include "xmlworkerutility.h"
#include "zelexception.h"

#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/internal/ReaderMgr.hpp>
#include <xercesc/internal/XMLReader.hpp>
#include <xercesc/internal/XMLScanner.hpp>

#include <algorithm>
#include <cstdlib>

const ZelWstring XMLHandler::kNoNamespace;

namespace {
constexpr char kInternalError[] = "XML Internal Error";

bool isDocumentOrRoot(const ParseItem& item) {
  return item.getItemType() == eItemDocument || item.getItemType() == eItemRoot;
}

// The xsi:type index an item carries: -2 (ambiguous) counts as none.
long itemTypeIndexOf(long xsiTypeIndex) { return xsiTypeIndex == -2 ? -1 : xsiTypeIndex; }
}  // namespace

XMLHandler::XMLHandler(const ZelNamedLogSource* owner, long messageId, MessageInfo* properties,
                       xercesc::MemoryManager* memoryManager, ParseItemFactory* itemPool)
    : ZelOwnedLogSource(owner),
      currentMessageTagId(messageId),
      initialMessageTagId(messageId),
      messageInfo(properties),
      startMsgInfo(new XMLStartMsgInfo),
      dataCnv(XMLUtils::makeDataCnv()),
      ignoreXsiType(std::getenv("KOBR_IGNORE_XSI_TYPE") != nullptr),
      memoryManager(memoryManager),
      itemPool(itemPool),
      temporaryItem(std::make_unique<ParseItem>(owner, nullptr, nullptr, u"", ZelWstring(), eKindNone,
                                                eItemAttributeMember, -1)) {
  ZelTraceScope scope(this, "XMLHandler::XMLHandler");
  if (messageInfo) subtreeBitstream = messageInfo->getPropertyAsInteger(MI_SUBTREEBITSTREAM_STR) > 0;
}

XMLHandler::~XMLHandler() = default;

void XMLHandler::setXMLWireFormatDescriptor(const XMLDictionaryInfo* dictionary) {
  descriptor = dictionary;
  view = dictionary ? std::make_unique<XMLDictionaryView>(*dictionary) : nullptr;
  matchCache.clear();
  namedMatches.clear();
  memberDefinitions.assign(dictionary ? dictionary->getMemberCache().size() : 0, ParseItemDefinition());
  tagDefinitions.assign(dictionary ? dictionary->getTagCache().size() : 0, ParseItemDefinition());
  firstSimpleMembers.assign(dictionary ? dictionary->getTypeCache().size() : 0, kNotLearnt);
  attributesWithValues.reset(dictionary ? dictionary->getTypeCache().size() : 0);
  attributeMembers.reset(dictionary ? dictionary->getTypeCache().size() : 0);
  relaxedContent = false;
  if (dictionary)
    for (const prf_SMD_TYPE_DEFINITION& type : dictionary->getTypeCache())
      relaxedContent = relaxedContent || type.contentKind == DictCodes::eContentOpenLax ||
                       type.contentKind == DictCodes::eContentOpenSkip;
}

void XMLHandler::learnDefinition(EWhereDefined whereDefined, long index, ParseItemDefinition& definition) {
  ParseItem probe(getOwner(), nullptr, descriptor, u"?", ZelWstring(), whereDefined, index, -1L, eItemFromDefinition);
  valueTraitsOf(probe);
  definition = probe.getDefinition();
  definition.xmlName = whereDefined == eDefinedAsTypeMember ? &descriptor->getXMLTypeMemberDefinition(index).xmlName
                                                            : &descriptor->getXMLTagDefinition(index).xmlName;
}

void XMLHandler::setBuffer(const BitstreamBuffer* buffer, long ccsid, EEndian endian, long markLength) {
  documentLength = buffer ? buffer->getLength() : 0;
}

void XMLHandler::SetDateTimeProperties() {
  if (!descriptor) return;
  const prf_XML_MSET_DEFINITION& messageSet = descriptor->getXMLMsgSetDefinition();
  dataCnv.setDateTimeProperties(messageSet.centuryWindow, messageSet.defaultTimeZone, messageSet.firstDayOfWeek,
                                messageSet.firstWeekOfYear, messageSet.allowLenientDatetimes,
                                messageSet.preserveUTCFormat);
  // Elements without a format of their own read the message set's default.
  dataCnv.setDefaultDateTimeFormat(messageSet.defaultDateTimeFormat);
}

void XMLHandler::setNamespaceInfo() {
  if (descriptor) namespacesEnabled = descriptor->isNamespaceProcessingEnabled();
}

ZelWstring XMLHandler::traceGetElementName(long id) const {
  return descriptor && id > 0 ? descriptor->getTraceTextForID(id) : ZelWstring();
}

ZelWstring XMLHandler::traceGetMsgSet() const {
  const char16_t* name = descriptor ? descriptor->getMessageSetName() : nullptr;
  return ZelWstring(name);
}

ZelWstring XMLHandler::traceGetMsg() const { return traceGetElementName(currentMessageTagId); }

ZelWstring XMLHandler::traceGetCurXMLElement() const {
  const ParseItem* item = top();
  if (!item) return ZelWstring();
  if (item->getNamespaceURI().empty()) return item->getXMLName();
  ZelWstring text(item->getNamespaceURI());
  text.append(u':').append(item->getXMLName());
  return text;
}

void XMLHandler::locate(ZelException& e) const {
  ZelLocation location = e.location();
  // Once the scanner has let go of its input there is no place to name.
  const xercesc::XMLReader* reader = scanner ? scanner->getReaderMgr()->getCurrentReader() : nullptr;
  if (location.line == 0 && reader) {
    location.line = static_cast<long>(reader->getLineNumber());
    location.column = static_cast<long>(reader->getColumnNumber());
  }
  if (location.path.empty()) {
    for (std::size_t i = 0; i < depth; ++i)
      if (!itemStack[i]->getXMLName().empty()) location.path += "/" + itemStack[i]->getXMLName().toUtf8();
  }
  e.setLocation(location);
}

void XMLHandler::raise(const ZelParserException& e) const {
  if (ZelLog::traceOn())
    ZelLog::trace(this, e.getFunction().c_str(),
                  {"Throwing exception", e.getSourceFile(), e.getLine(), e.getKey(), e.insertText(0)});
  // Located now: the scanner lets go of its input when the exception leaves it.
  ZelParserException located(e);
  locate(located);
  throw located;
}

void XMLHandler::throwInternalError(const char* function, const char* cause) const {
  ZelParserException e(__FILE__, __LINE__, function, getLogSourceName(), ZelMessages::CP_XML_INTERNAL_ERROR);
  e.addInsert(kInternalError).addInsert(cause);
  raise(e);
}

void XMLHandler::throwLimitError(const char* function, const char* cause, std::size_t limit) const {
  ZelParserException e(__FILE__, __LINE__, function, getLogSourceName(), ZelMessages::CP_XML_INTERNAL_ERROR);
  e.addInsert(kInternalError).addInsert(cause).addInsert(static_cast<unsigned long>(limit)).addInsert(
      traceGetCurXMLElement());
  raise(e);
}

// ---------------------------------------------------------------------------
// Items

void XMLHandler::popAll() {
  depth = 0;
  topItem = nullptr;
  if (itemStack.size() > PARSE_ITEM_POOL_LIMIT) itemStack.resize(PARSE_ITEM_POOL_LIMIT);
}

void XMLHandler::movePrefixTo(WorkerInfoPtr& info) {
  if (!info) info.reset(new XMLWorkerInfo);
  info->setProperty(eWorkerInfoPrefixText, PWFData::makeString(prefixText));
  prefixPending = false;
}

void XMLHandler::keepValueScope() {
  valueScope.clear();
  if (!scanner) return;
  if (const xercesc::ValueVectorOf<xercesc::PrefMapElem*>* bindings = scanner->getNamespaceContext()) {
    for (XMLSize_t i = 0; i < bindings->size(); ++i)
      valueScope.emplace_back(bindings->elementAt(i)->fPrefId, bindings->elementAt(i)->fURIId);
  }
}

void XMLHandler::noteValueNamespace(Text value, WorkerInfoPtr& info) const {
  const Text name = XMLUtils::trimWhitespace(value);
  const std::size_t colon = name.find(u':');
  if (!scanner || colon == 0) return;
  // Without a prefix the value names the default namespace.
  const ZelBufferedWstring<16> prefix(colon == Text::npos ? Text() : name.substr(0, colon));
  const unsigned int prefixId = scanner->getPrefixId(prefix.c_str());
  if (prefixId == 0) return;
  for (const auto& [boundPrefix, uriId] : valueScope) {
    if (boundPrefix != prefixId) continue;
    ZelWstring uri;
    getNamespace(uriId, uri);
    if (uri.empty()) return;
    WorkerInfoPtr record(new XMLValueInfo);
    if (info) record->setProperty(eWorkerInfoPrefixText, info->getDataProperty(eWorkerInfoPrefixText));
    record->setProperty(eWorkerInfoValueNamespace, PWFData::makeString(uri));
    info = record;
    return;
  }
}

void XMLHandler::getNamespace(unsigned int uriId, ZelWstring& text) const {
  text.clear();
  if (!scanner) return;
  const XMLCh* uri = scanner->getURIText(uriId);
  if (!uri || std::u16string_view(uri) == XML_EMPTY_NAMESPACE_STR) return;
  text.assign(uri);
}

const ZelWstring& XMLHandler::namespaceText(unsigned int uriId) const {
  if (uriId >= namespaceTexts.size()) namespaceTexts.resize(std::size_t{uriId} + 1);
  std::unique_ptr<NamespaceText>& slot = namespaceTexts[uriId];
  if (!slot) slot = std::make_unique<NamespaceText>();
  NamespaceText& entry = *slot;
  if (entry.document != documentNumber) {
    getNamespace(uriId, entry.text);
    entry.document = documentNumber;
  }
  return entry.text;
}


// ---------------------------------------------------------------------------
// Document and element events

// Comes before the scanner reads anything: a document it cannot start
// (startDocument never comes) names no message of the document before.
void XMLHandler::resetDocument() { currentMessageTagId = initialMessageTagId; }

void XMLHandler::startDocument() {
  ZelTraceScope scope(this, "XMLHandler::startDocument");
  // Left over from a scan the host abandoned, or the document before.
  popAll();
  matchCache.clear();
  characters.clear();
  setAsideWhitespace.clear();
  documentTextUnits = 0;
  // The scanner's URI ids hold for one document.
  ++documentNumber;
  lastElementNamespace = LastNamespace();
  lastAttributeNamespace = LastNamespace();
  prefixPending = false;
  prefixText.clear();
  internalSubset.clear();
  deferredEndWhereDefined = -1;
  deferredEndTagId = -1;
  deferredEndName.clear();
  deferredEndNamespace.clear();
  deferredEndWorkerInfo.reset();
  // Each message gets a record of its own: the previous one may live on in the host's tree.
  startMsgInfo.reset(new XMLStartMsgInfo);

  if (subtreeBitstream && descriptor && subtreeMemberIndex >= 1) {
    push(getOwner(), nullptr, descriptor, u"", kNoNamespace, eDefinedAsTypeMember, subtreeMemberIndex, -1L,
         eItemDocument);
  } else {
    push(getOwner(), nullptr, nullptr, u"", kNoNamespace, static_cast<std::uint16_t>(eKindNone), eItemDocument, -1L);
  }
}

void XMLHandler::endDocument() {
  ZelTraceScope scope(this, "XMLHandler::endDocument");
  popAll();
  if (deferredEndWhereDefined == eDefinedByType || deferredEndWhereDefined == eUndefined)
    fiHandler->endMessageContent(deferredEndName.c_str(), deferredEndNamespace, deferredEndWorkerInfo);
  else
    fiHandler->endMessageContent(deferredEndTagId, deferredEndWorkerInfo);
  fiHandler->endMessage(endMsgInfo);
}

bool XMLHandler::isParentsNullElement(const ParseItem& parent, const XMLCh* name) const {
  if (parent.getValueLogicalType() <= 0 || !parent.getDictionary()) return false;
  if (!view || !view->isNillable(parent.getElementIndex())) return false;
  return parent.getNullEncodingValue() && std::u16string_view(name) == parent.getNullEncodingValue();
}

void XMLHandler::startElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int uriId,
                              const XMLCh* const prefixName, const xercesc::RefVectorOf<xercesc::XMLAttr>& attrList,
                              const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) {
  ZelTraceScope scope(this, "XMLHandler::startElement");
  setAsideWhitespace.clear();
  const XMLCh* name = namespacesEnabled ? elemDecl.getBaseName() : elemDecl.getFullName();
  // Borrowed by the element's item, not copied.
  const ZelWstring& elementNamespace = namespaceOf(uriId, lastElementNamespace);

  if (isRoot) {
    fiHandler->startMessage(startMsgInfo);
    // Comments between the DOCTYPE and the root element have no record to go to.
    prefixPending = false;
  }

  ParseItem* parent = top();
  if (!subtreeBitstream && isRoot && descriptor && descriptor->rootTagNameMatch(name)) {
    // The wrapper produces no event; its attributes are not looked at.
    characters.clear();
    push(getOwner(), parent, descriptor, name, elementNamespace, static_cast<std::uint16_t>(eKindNone), eItemRoot, -1L);
  } else if (isNullElement(*parent, name)) {
    characters.clear();
    WorkerInfoPtr info;
    assignPrefix(info);
    sendNullValue(*parent, info);
    push(getOwner(), parent, descriptor, name, elementNamespace, static_cast<std::uint16_t>(eKindNone), eItemNullElement,
         -1L);
  } else {
    flushCharactersAtElement();
    processElement(elemDecl, uriId, name, elementNamespace, attrList, attrCount);
    presentAttributeMembers.clear();
    for (XMLSize_t i = 0; i < attrCount; ++i) processAttribute(*attrList.elementAt(i));
    if (valueTraitsOf(*top()).attributesWithValues) supplyAbsentAttributes(*top());
  }

  // An element whose value attribute is absent has a null value.
  ParseItem& item = *top();
  if (!item.isDataSent() && hasQualifiedNameValue(item)) keepValueScope();
  const ERender render = item.getRender();
  if (!item.isDataSent() && (render == erElementWithValueAttribute || render == erElementWithIdAndValueAttribute))
    sendNullValue(item, WorkerInfoPtr());

  // The scanner sends no end event for an empty element.
  if (isEmpty) endElement(elemDecl, uriId, isRoot, nullptr);
}

void XMLHandler::processElement(const xercesc::XMLElementDecl& declaration, unsigned int uriId, const XMLCh* name,
                                const ZelWstring& uri, const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs,
                                XMLSize_t attrCount) {
  ParseItem& parent = *top();
  const long parentTypeIndex = contentTypeIndex(parent);
  // Skipped content is matched against nothing, not even xsi:type: the
  // content of an element a skip wildcard admitted, and that element itself.
  const bool skipped = relaxedContent && parent.getContentProcessing() == ContentProcessing::Skip;
  long xsiTypeIndex = -1;
  if (!ignoreXsiType && !skipped) {
    for (XMLSize_t i = 0; i < attrCount; ++i) {
      const xercesc::XMLAttr& attribute = *attrs.elementAt(i);
      if (!XMLUtils::isTerminatedText(attribute.getName(), XML_TYPE_STR)) continue;
      if (attributeNamespace(attribute).view() == XML_SCHEMA_INSTANCE_NAMESPACE_STR &&
          !(relaxedContent && parentTypeIndex >= 0 &&
            view->type(parentTypeIndex).contentKind == DictCodes::eContentOpenSkip))
        xsiTypeIndex = getTypeIndexFromXsiTypeAttribute(attribute.getValue());
    }
  }

  EWhereDefined whereDefined = eWhereDefinedNotSet;
  long index = -1;
  ContentProcessing processing = ContentProcessing::Skip;
  const bool remembered = !skipped && findDefinition(declaration, uriId, parent, parentTypeIndex, name, uri, attrs,
                                                     attrCount, whereDefined, index, processing);
  if (relaxedContent) processing = std::max(processing, parent.getContentProcessing());
  if (whereDefined == eWhereDefinedNotSet && xsiTypeIndex > 0) whereDefined = eDefinedByType;
  const long typeIndex = itemTypeIndexOf(xsiTypeIndex);

  if (whereDefined == eWhereDefinedNotSet || whereDefined == eDefinedByType) {
    const bool opensMessage =
        (descriptor && parentTypeIndex >= 0 && DictCodes::isOpenContent(view->type(parentTypeIndex).contentKind)) ||
        isDocumentOrRoot(parent);
    if (opensMessage) {
      ParseItem& item = push(getOwner(), &parent, descriptor, name, uri,
                             static_cast<std::uint16_t>(eKindSelfDefiningMessage), eItemMessage, typeIndex);
      if (relaxedContent) item.setContentProcessing(processing);
      assignPrefix(item.startWorkerInfo());
      fiHandler->startEmbeddedMessage();
      if (!fiHandler->startMessageContent(name, uri, item.getElementKind(), item.startWorkerInfo(), xsiTypeIndex))
        throwInternalError("XMLHandler::startElement", "startMessageContent returned false.");
      return;
    }
    const bool untypedStructure = typeIndex >= 0 && view->logicalType(typeIndex) == eLogicalNone;
    const std::uint16_t kind = untypedStructure ? eKindSelfDefiningStructure : eKindSelfDefiningField;
    ParseItem& item = push(getOwner(), &parent, descriptor, name, uri, kind, eItemElement, typeIndex);
    if (relaxedContent) item.setContentProcessing(processing);
    assignPrefix(item.startWorkerInfo());
    fiHandler->startElement(name, uri, item.getElementKind(), item.startWorkerInfo(), -1, xsiTypeIndex);
    return;
  }

  ParseItem& item =
      typeIndex != -1 ? push(getOwner(), &parent, descriptor, name, uri, whereDefined, index, typeIndex,
                             eItemFromDefinition)
      : remembered    ? push(getOwner(), &parent, descriptor, uri, knownDefinition(whereDefined, index))
                      : push(getOwner(), &parent, descriptor, name, uri, knownDefinition(whereDefined, index));
  if (relaxedContent) item.setContentProcessing(processing);
  if (item.getItemType() != eItemMessage && (!subtreeBitstream || !isDocumentOrRoot(parent))) {
    assignPrefix(item.startWorkerInfo());
    // The member travels with the element: a writer needs it to name local elements.
    fiHandler->startElement(item.getTagId(), item.getElementKind(), item.startWorkerInfo(), item.getMemberId(), 0,
                            xsiTypeIndex, item.getElementIndex(), item.getMemberIndex());
    return;
  }
  long nestedMessageTagId = 0;
  long& tagId = isDocumentOrRoot(parent) ? currentMessageTagId : nestedMessageTagId;
  tagId = item.getTagId();
  if (!fiHandler->startMessageContent(tagId, item.getElementKind(), item.startWorkerInfo(), item.getMemberId(),
                                      xsiTypeIndex, item.getElementIndex(), item.getMemberIndex()))
    throwInternalError("XMLHandler::startElement", "startMessageContent returned false. Does not support this");
}

void XMLHandler::deferEnd(ParseItem& item) {
  deferredEndWhereDefined = item.getWhereDefined();
  deferredEndTagId = item.getTagId();
  deferredEndName.assign(item.getXMLName());
  deferredEndNamespace.assign(item.getNamespaceURI());
  deferredEndWorkerInfo = item.endWorkerInfo();
}

void XMLHandler::endElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int uriId, const bool isRoot,
                            const XMLCh* const prefixName) {
  ZelTraceScope scope(this, "XMLHandler::endElement");
  setAsideWhitespace.clear();
  flushCharactersAtElement();
  ParseItem& item = *top();
  switch (item.getItemType()) {
    case eItemMessage:
      assignPrefix(item.endWorkerInfo());
      // The end of the outermost message waits for the end of the document.
      if (isRoot || (item.getParent() && item.getParent()->getItemType() == eItemRoot))
        deferEnd(item);
      else if (item.getWhereDefined() == eUndefined)
        fiHandler->endMessageContent(item.getXMLName().c_str(), item.getNamespaceURI(), item.endWorkerInfo());
      else
        fiHandler->endMessageContent(item.getTagId(), item.endWorkerInfo());
      break;
    case eItemElement:
      assignPrefix(item.endWorkerInfo());
      if (subtreeBitstream && isRoot)
        deferEnd(item);
      else if (item.getWhereDefined() == eUndefined)
        fiHandler->endElement(item.getXMLName().c_str(), item.getNamespaceURI(), item.endWorkerInfo());
      else
        fiHandler->endElement(item.getTagId(), item.endWorkerInfo());
      break;
    case eItemRoot:
    case eItemNullElement:
      break;
    case eItemFromDefinition:
    case eItemDocument:
    case eItemNameless:
    case eItemAttributeMember:
      throwInternalError("XMLHandler::endElement", "Item Type undefined.");
  }
  pop();
}

void XMLHandler::docCharacters(const XMLCh* const chars, const XMLSize_t length, const bool cdataSection) {
  const ParseItem* item = top();
  if (item && item->getItemType() == eItemRoot) {
    static constexpr const char* kFunction = "XMLHandler::docCharacters";
    ZelParserException e(__FILE__, __LINE__, kFunction, getLogSourceName(), ZelMessages::CP_XML_ROOTELEMENT_DATA_ERROR);
    e.addInsert("XML Parser: Unexpected data found before start of message content")
        .addInsert(chars, length)
        .addInsert(traceGetCurXMLElement());
    raise(e);
  }
  documentTextUnits += length;
  if (documentTextUnits > documentLength + kEntityTextAllowance)
    throwLimitError("XMLHandler::docCharacters", "Entity references expand to more character data than allowed",
                    documentLength + kEntityTextAllowance);
  // Whitespace between the children of a structure that ignores it (the
  // indentation of most documents) is set aside here rather than gathered
  // and judged at the next tag. An entity reference splits a run, so text
  // may follow in the same run: then the whitespace is its start.
  if (item && characters.empty() && item->getValueTraits().whitespaceIgnored &&
      XMLUtils::isAllWhitespace(chars, length)) {
    setAsideWhitespace.append(chars, length);
    return;
  }
  if (characters.empty() && !setAsideWhitespace.empty()) {
    characters.assign(setAsideWhitespace);
    setAsideWhitespace.clear();
  }
  characters.append(chars, length);
}

void XMLHandler::ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length, const bool cdataSection) {}
void XMLHandler::startEntityReference(const xercesc::XMLEntityDecl& entDecl) {}
void XMLHandler::endEntityReference(const xercesc::XMLEntityDecl& entDecl) {}

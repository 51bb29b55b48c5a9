#include "xmlwriter.h"

#include "base64converter.h"
#include "bitstreambuffer.h"
#include "fimessagetree.h"
#include "messageinfo.h"
#include "messagetree.h"
#include "pwfdata.h"
#include "textbufferwriter.h"
#include "unicodeconverter.h"
#include "workerinfo.h"
#include "writeitem.h"
#include "xmlprefixmanager.h"
#include "xmlprinter.h"
#include "xmlworkerutility.h"
#include "xsdlexical.h"
#include "zelexception.h"


#include <algorithm>
#include <cassert>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

namespace {

constexpr std::uint16_t kKindMessage = 6;

// Views with their lengths fixed at compile time, for comparisons on every element.
constexpr std::u16string_view kSchemaInstanceNamespace = XML_SCHEMA_INSTANCE_NAMESPACE_STR;
constexpr std::u16string_view kTypeName = XML_TYPE_STR;
constexpr std::u16string_view kTrue = u"true";
constexpr std::u16string_view kFalse = u"false";
constexpr std::u16string_view kXmlVersion10 = u"1.0";
constexpr std::u16string_view kXmlns = u" xmlns";
constexpr std::u16string_view kAttributeOpen = u"=\"";
constexpr std::u16string_view kVRKCommentStart = u"<!--VRK Generated XML Output on :";
constexpr std::u16string_view kCommentEnd = u"-->";
// ctime_r writes 26 bytes: 24 characters, a line feed and the terminator.
constexpr std::size_t kCtimeBufferSize = 32;
constexpr std::size_t kMaxTimeStampUnits = 28;

const ZelWstring& emptyText() {
  static const ZelWstring empty;
  return empty;
}

bool rendersAsElement(ERender render) {
  return render == erElement || render == erElementWithIdAttribute || render == erElementWithValueAttribute ||
         render == erElementWithIdAndValueAttribute;
}

bool hasValueAttribute(ERender render) {
  return render == erElementWithValueAttribute || render == erElementWithIdAndValueAttribute;
}

// The text of a String (or untyped) value; empty for any other value.
std::u16string_view textOf(const PWFData& value) {
  const ELogicalType type = value.getDataLogicalType();
  if (value.isNull() || value.isNothing() || (type != eLogicalString && type != eLogicalNone)) return {};
  return {value.getStringValue(), value.getStringLength()};
}

// The attribute pass touches each child first: start loading the next one
// while this one is looked at.
inline void prefetchNextSibling(const FITreeIterator&) {}
inline void prefetchNextSibling(const MessageTreeIterator& iterator) {
  if (const TreeElement* next = iterator.element().getNextSibling()) {
    __builtin_prefetch(next);
    __builtin_prefetch(reinterpret_cast<const char*>(next) + 64);
  }
}

// Whether the parser kept records (comments, processing instructions) with
// the element; the host's tree answers that without a call.
inline bool hasRecords(const FITreeIterator& iterator) {
  return iterator.getStartWorkerInfo() || iterator.getDataWorkerInfo() || iterator.getEndWorkerInfo();
}
inline bool hasRecords(const MessageTreeIterator& iterator) { return iterator.element().hasRecords(); }

// The namespace of a defined element: the tree's, else its definition's;
// null for none.
template <class Iterator>
inline const ZelWstring* namespaceOf(const Iterator& iterator, const WriteDefinition& definition) {
  const ZelWstring& tree = iterator.getNamespaceURI();
  if (!tree.empty()) return &tree;
  return definition.namespaceURI && !definition.namespaceURI->empty() ? definition.namespaceURI : nullptr;
}

// Most elements are leaves: the host's tree answers that without a call.
inline bool mayHaveChildren(const FITreeIterator&) { return true; }
inline bool mayHaveChildren(const MessageTreeIterator& iterator) { return iterator.element().hasChildren(); }

// Makes an embedded message's own dictionary current while its element is
// handled (the host switches descriptors through the worker), and current no
// more afterwards, also when the write fails: the iterator is first brought
// back up to the element (level counts the writer's moves into children).
template <class Iterator>
class EmbeddedDictionaryScope {
public:
  EmbeddedDictionaryScope(Iterator& iterator, long& level)
      : iterator_(iterator.getCategory() == kKindMessage ? &iterator : nullptr), level_(level), startLevel_(level) {
    if (iterator_) iterator_->loadDictionaryAndDescriptor();
  }
  void release() {
    if (iterator_) std::exchange(iterator_, nullptr)->releaseDictionaryAndDescriptor();
  }
  ~EmbeddedDictionaryScope() {
    if (!iterator_) return;
    for (; level_ > startLevel_; --level_) iterator_->moveToParent();
    try {
      iterator_->releaseDictionaryAndDescriptor();
    } catch (...) {
      // The write's own failure is the one the host hears of.
    }
  }
  EmbeddedDictionaryScope(const EmbeddedDictionaryScope&) = delete;
  EmbeddedDictionaryScope& operator=(const EmbeddedDictionaryScope&) = delete;

private:
  Iterator* iterator_;
  long& level_;
  long startLevel_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Text output: inline, since every piece of the document passes here.

// The common case, a piece that fits the pending text, stays inline.
inline void XMLWriter::append(std::u16string_view text) {
  if (text.empty()) return;  // an empty view may have no data at all
  TextBufferWriter& out = *iTextWriter;
  if (text.size() <= out.pendingRoom())
    out.appendPending(text.data(), text.size());
  else
    XMLPrinter::appendStr(&out, text);
}

inline void XMLWriter::appendEscaped(std::u16string_view text, EscapeKind kind) {
  if (text.empty()) return;
  if (iXml11)
    XMLPrinter::appendReplaceStr11(iTextWriter.get(), text, kind);
  else
    XMLPrinter::appendReplaceStr(iTextWriter.get(), text, kind);
  iPrinter->iValueWritten = true;
}

// Numbers are written straight into the pending text: they hold nothing to escape.
template <class Format>
inline void XMLWriter::appendNumberText(Format format) {
  TextBufferWriter& out = *iTextWriter;
  out.commitPending(format(out.reservePending(DataCnv::MAX_NUMBER_TEXT)));
  iPrinter->iValueWritten = true;
}

// Always inline: open and close are literals, whose copies then fold into plain stores.
[[gnu::always_inline]] inline void XMLWriter::appendTag(std::u16string_view open, std::u16string_view name,
                                                        std::u16string_view close) {
  TextBufferWriter& out = *iTextWriter;
  if (open.size() + name.size() + close.size() > out.pendingRoom()) {
    append(open);
    append(name);
    append(close);
    return;
  }
  out.appendPending(open.data(), open.size());
  out.appendPending(name.data(), name.size());
  out.appendPending(close.data(), close.size());
}

[[gnu::always_inline]] inline void XMLWriter::appendTag(std::u16string_view open, const ZelWstring* prefix,
                                                        std::u16string_view name, std::u16string_view close) {
  if (!prefix) {
    appendTag(open, name, close);
    return;
  }
  TextBufferWriter& out = *iTextWriter;
  if (open.size() + prefix->size() + 1 + name.size() + close.size() > out.pendingRoom()) {
    append(open);
    appendQualifiedName(*prefix, name);
    append(close);
    return;
  }
  out.appendPending(open.data(), open.size());
  out.appendPending(prefix->data(), prefix->size());
  out.appendPending(u":", 1);
  out.appendPending(name.data(), name.size());
  out.appendPending(close.data(), close.size());
}

inline void XMLWriter::appendQualifiedName(const ZelWstring& prefix, std::u16string_view localName) {
  if (!prefix.empty()) {
    append(prefix.view());
    append(u":");
  }
  append(localName);
}

[[gnu::always_inline]] inline void XMLWriter::noteAttribute(std::u16string_view namespaceURI,
                                                            std::u16string_view localName) {
  if (!iStartTagAttributes.add(namespaceURI, localName)) refuseRepeatedAttribute(localName);
}

void XMLWriter::refuseRepeatedAttribute(std::u16string_view localName) const {
  raise(__LINE__, "XMLWriter::writeTree", ZelMessages::CP_TREE_ERROR,
        {u"An attribute would be written twice on one start tag", iStartTagAttributes.elementName(), localName});
}

void XMLWriter::beginAttribute(const ZelWstring& prefix, std::u16string_view namespaceURI,
                               std::u16string_view localName, std::u16string_view open) {
  noteAttribute(namespaceURI, localName);
  append(XML_SPACE_STR);
  appendQualifiedName(prefix, localName);
  append(open);
}

void XMLWriter::breakLine(long depth) {
  append(XML_NEWLINE_STR);
  for (long i = 0; i < depth; ++i) append(XML_INDENT_STR);
}

inline void XMLWriter::beginStartTag() {
  XMLPrinter& printer = *iPrinter;
  if (printer.iPrettyPrint && !iLayout.empty() && iLayout.back().indented) {
    iLayout.back().childWritten = true;
    breakLine(printer.iDepth);
  }
  ++printer.iDepth;
  printer.iValueWritten = false;
  append(u"<");
}

inline void XMLWriter::beginEndTag() {
  XMLPrinter& printer = *iPrinter;
  --printer.iDepth;
  if (printer.iPrettyPrint && !iLayout.empty() && iLayout.back().indented && iLayout.back().childWritten)
    breakLine(printer.iDepth);
  printer.iValueWritten = false;
  append(u"</");
}

// ---------------------------------------------------------------------------
// Construction and set-up

XMLWriter::XMLWriter(const ZelNamedLogSource* owner)
    : ZelOwnedLogSource(owner),
      iDataCnv(CCSID_UTF16, eEndianBig, 1, 53, nullptr, false, nullptr, 0, true, 12, false, 0, nullptr) {
  ZelTraceScope scope(this, "XMLWriter::XMLWriter");
  iPrefixManagers.push_back(std::make_unique<XMLPrefixManager>(owner));
  iPrefixManager = iPrefixManagers.back().get();
}

XMLWriter::~XMLWriter() {
  ZelTraceScope scope(this, "XMLWriter::~XMLWriter");
  iPrinter.reset();
  iTextWriter.reset();
  while (!iPrefixManagers.empty()) iPrefixManagers.pop_back();
}

namespace {
// The instance namespace goes by the prefix every reader knows, unless the
// message set prefers another.
void registerPreferredPrefixes(const XMLDictionaryInfo& descriptor, XMLPrefixManager& prefixManager) {
  prefixManager.addNamespace(ZelWstring(XML_SCHEMA_INSTANCE_NAMESPACE_STR), ZelWstring(u"xsi"));
  const long count = descriptor.getNamespaceDefs().GetRowCount();
  for (long i = 0; i < count; ++i) {
    const char16_t* prefix = descriptor.getPreferredPrefix(i);
    if (prefix && *prefix)
      prefixManager.addNamespace(descriptor.getNamespaceCache().get(i).getURI(), ZelWstring(prefix));
  }
}
}  // namespace

void XMLWriter::initializeWrite(MessageInfo* outputProperties, const BitstreamBuffer*, const MessageInfo*,
                                bool* done) {
  ZelTraceScope scope(this, "XMLWriter::initializeWrite");
  iOutputProperties = outputProperties;
  if (done) *done = true;
  if (iNamespacesEnabled && iDescriptor) registerPreferredPrefixes(*iDescriptor, *iPrefixManager);
  iSubtreeBitstream =
      outputProperties && outputProperties->getPropertyAsInteger(ZelWstring(MI_SUBTREEBITSTREAM_STR)) > 0;
}

void XMLWriter::setConverterDateTimeProperties() {
  static constexpr const char* kFunction = "XMLWriter::setConverterDateTimeProperties";
  ZelTraceScope scope(this, kFunction);
  if (!iDescriptor)
    raiseInternal(__LINE__, kFunction, "setConverterDateTimeProperties() called when dictionary not initialised");
  const prf_XML_MSET_DEFINITION& messageSet = iDescriptor->getXMLMsgSetDefinition();
  iDataCnv.setDateTimeProperties(messageSet.centuryWindow, messageSet.defaultTimeZone, messageSet.firstDayOfWeek,
                                 messageSet.firstWeekOfYear, messageSet.allowLenientDatetimes,
                                 messageSet.preserveUTCFormat);
  // Elements without a format of their own are written in the message set's default.
  iDataCnv.setDefaultDateTimeFormat(messageSet.defaultDateTimeFormat);
}

void XMLWriter::setNamespaceInfo(bool enable) {
  static constexpr const char* kFunction = "XMLWriter::setNamespaceInfo";
  ZelTraceScope scope(this, kFunction);
  if (!iDescriptor) raiseInternal(__LINE__, kFunction, "setNamespaceInfo() called when dictionary not initialised");
  const bool possible = iDescriptor->isNamespaceProcessingEnabled();
  if (!enable && iNamespacesEnabled && !iPrefixManagers.empty()) {
    iPrefixManagers.pop_back();
    iPrefixManager = iPrefixManagers.empty() ? nullptr : iPrefixManagers.back().get();
  }
  if (enable && possible) {
    iPrefixManagers.push_back(std::make_unique<XMLPrefixManager>(getOwner()));
    iPrefixManager = iPrefixManagers.back().get();
    registerPreferredPrefixes(*iDescriptor, *iPrefixManager);
    iPrefixManager->addLevel();
  }
  iNamespacesEnabled = possible;
}

// ---------------------------------------------------------------------------
// Message-set settings

bool XMLWriter::getSuppressXMLDecl() const {
  return iDescriptor && iDescriptor->getXMLMsgSetDefinition().suppressXmlDecl;
}

bool XMLWriter::getSuppressDocType() const {
  return iDescriptor && iDescriptor->getXMLMsgSetDefinition().suppressDocType;
}

bool XMLWriter::getSuppressVRKComment() const {
  return iDescriptor && iDescriptor->getXMLMsgSetDefinition().suppressVRKComment;
}

bool XMLWriter::getEnableVersioningSupport() const {
  return iDescriptor && iDescriptor->getXMLMsgSetDefinition().enableVersioningSupport;
}

std::u16string_view XMLWriter::getBoolTrue() const {
  if (!iDescriptor || iDescriptor->getXMLMsgSetDefinition().booleanTrueValue.empty()) return kTrue;
  return iDescriptor->getXMLMsgSetDefinition().booleanTrueValue.view();
}

std::u16string_view XMLWriter::getBoolFalse() const {
  if (!iDescriptor || iDescriptor->getXMLMsgSetDefinition().booleanFalseValue.empty()) return kFalse;
  return iDescriptor->getXMLMsgSetDefinition().booleanFalseValue.view();
}

namespace {
// A String property of a start record; null when the record, the property
// or its text is absent.
const PWFData* stringProperty(const WorkerInfoPtr& record, long key) {
  if (!record) return nullptr;
  const PWFData& value = record->getDataProperty(key);
  return value.getDataLogicalType() == eLogicalString && !value.isNull() ? &value : nullptr;
}
}  // namespace

ZelWstring XMLWriter::getXMLVersion(const WorkerInfoPtr& startMsgInfo) const {
  if (iDescriptor && iDescriptor->getXMLMsgSetDefs().getProperty(XMLDictionaryInfo::XMLMsgSetDefs::eXmlVersion))
    return iDescriptor->getXMLMsgSetDefinition().xmlVersion;
  if (const PWFData* version = stringProperty(startMsgInfo, eStartMsgVersion)) return version->getText();
  return ZelWstring(kXmlVersion10);
}

ZelWstring XMLWriter::getXMLEncoding() const {
  if (!iTextWriter) return ZelWstring();
  const long codepage = iTextWriter->getCodepage();
  const bool named =
      iDescriptor
          ? iDescriptor->getXMLMsgSetDefs().getProperty(XMLDictionaryInfo::XMLMsgSetDefs::eSuppressXmlEncoding) &&
                !iDescriptor->getXMLMsgSetDefinition().suppressXmlEncoding
          : codepage != CCSID_UTF16 && codepage != CCSID_UTF8;
  if (!named) return ZelWstring();
  const char* name = iTextWriter->getConverter().getName();
  return ZelWstring().convertString(std::string_view(name, strnlen(name, 100)));
}

ZelWstring XMLWriter::getStandalone(const WorkerInfoPtr& startMsgInfo) const {
  if (iDescriptor) return iDescriptor->getXMLMsgSetDefinition().standalone;
  if (const PWFData* standalone = stringProperty(startMsgInfo, eStartMsgStandalone)) return standalone->getText();
  return ZelWstring();
}

// ---------------------------------------------------------------------------
// Write entry, document start and end

long XMLWriter::write(WritableBitstreamBuffer* output, const std::vector<long>*, long) {
  static constexpr const char* kFunction = "XMLWriter::write";
  ZelTraceScope scope(this, kFunction);
  const std::int64_t ccsidProperty =
      iOutputProperties ? iOutputProperties->getPropertyAsInteger(ZelWstring(MI_CCSID_STR)) : MessageInfo::kNotSet;
  const std::int64_t encodingProperty =
      iOutputProperties ? iOutputProperties->getPropertyAsInteger(ZelWstring(MI_ENCODING_STR)) : MessageInfo::kNotSet;
  if (ZelLog::traceOn())
    ZelLog::trace(this, kFunction, {"CCSDI and Encoding from message properties", static_cast<long long>(ccsidProperty),
                                    static_cast<long long>(encodingProperty)});
  const long ccsid = ccsidProperty != MessageInfo::kNotSet ? static_cast<long>(ccsidProperty) : CCSID_UTF8;
  const long endian =
      encodingProperty != MessageInfo::kNotSet && (encodingProperty & 0xF) == 2 ? eEndianLittle : eEndianBig;

  const std::unique_ptr<FITreeIterator> root = iMessageTree ? iMessageTree->getRootIterator() : nullptr;
  if (!root) {
    if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"Message tree empty. Nothing will be written"});
    return 0;
  }
  if (!output) raiseInternal(__LINE__, kFunction, "write() called without an output buffer");

  // What a failed write must put back: the buffer's bytes, and the
  // descriptor and prefix managers that embedded messages switched.
  const std::size_t startSize = output->getLength();
  const XMLDictionaryInfo* const startDescriptor = iDescriptor;
  const bool startNamespacesEnabled = iNamespacesEnabled;
  const std::size_t startManagers = iPrefixManagers.size();
  const std::size_t startLevels = iPrefixManager ? iPrefixManager->getLevelCount() : 0;
  try {
    iXml11 = false;
    startText(output, ccsid, endian);
    // Embedded messages switch descriptors; only the write's own is cached,
    // since it alone stays alive and unchanged throughout. The cache serves
    // one write after another until another descriptor is set: only then
    // may a new descriptor sit at the address of one released.
    if (iDescriptorChanged) iDefinitions.reset(iDescriptor);
    iDescriptorChanged = false;
    // The host's own tree is walked without virtual calls.
    if (auto* messageTreeRoot = dynamic_cast<MessageTreeIterator*>(root.get()))
      writeMessage(*messageTreeRoot);
    else
      writeMessage(*root);
    iTextWriter->flush();
  } catch (...) {
    // The converter may hold half a character and the pending text a part
    // of the document: the next write starts with a new text writer.
    iPrinter.reset();
    iTextWriter.reset();
    output->truncate(startSize);
    iDepth = 0;
    iIteratorLevel = 0;
    iDefaultNamespace.clear();
    iDescriptor = startDescriptor;
    iNamespacesEnabled = startNamespacesEnabled;
    while (iPrefixManagers.size() > startManagers) iPrefixManagers.pop_back();
    iPrefixManager = iPrefixManagers.empty() ? nullptr : iPrefixManagers.back().get();
    while (iPrefixManager && iPrefixManager->getLevelCount() > startLevels) iPrefixManager->removeLevel();
    throw;
  }
  const long length = static_cast<long>(output->getLength() - startSize);
  if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"Write complete.", "length = ", length});
  return length;
}

void XMLWriter::startText(WritableBitstreamBuffer* output, long ccsid, long endian) {
  // Opening a converter takes a process-wide lock in ICU and fills tables:
  // the text writer and its converter stay from write to write in one code page.
  if (iTextWriter && iTextWriter->getCodepage() == ccsid && iTextWriter->getEndian() == endian) {
    iTextWriter->setOutput(output);
  } else {
    iPrinter.reset();
    iTextWriter = std::make_unique<TextBufferWriter>(output, ccsid, endian);
  }
  iPrinter.emplace(iTextWriter.get(), isRequested(MI_INDENT_STR));
  iLayout.clear();
}

template <class Iterator>
void XMLWriter::writeMessage(Iterator& root) {
  MsgWriteItem item(getOwner(), iDescriptor, root);
  if (iNamespacesEnabled) iPrefixManager->addLevel();
  if (!iSubtreeBitstream) outputDocumentStart(item);
  iXsiTypePolicy = item.getXsiTypePolicy();
  writeTree(root, item);
  if (!iSubtreeBitstream) outputDocumentEnd(item);
  if (!iSubtreeBitstream && (iPrinter->iPrettyPrint || isRequested(MI_FINALNEWLINE_STR))) append(XML_NEWLINE_STR);
  if (iNamespacesEnabled) iPrefixManager->removeLevel();
}

void XMLWriter::outputDocumentStart(MsgWriteItem& item) {
  ZelTraceScope scope(this, "XMLWriter::outputDocumentStart");
  const WorkerInfoPtr& startMsgInfo = iMessageTree->getStartMsgInfo();
  if (!getSuppressXMLDecl()) outputXMLDeclaration(startMsgInfo);
  outputPrefixText(startMsgInfo, "XMLWriter::outputDocumentStart", "Outputting prefix to doctype.");
  if (!getSuppressDocType() && (iDescriptor || hasRecordedDocType(startMsgInfo) || isRequested(MI_DOCTYPE_STR)))
    outputDocType(item, startMsgInfo);
  if (!getSuppressVRKComment() && (iDescriptor || isRequested(MI_TIMESTAMPCOMMENT_STR))) outputVRKComment();
  if (item.getRootElementName().empty()) return;
  iStartTagAttributes.begin(item.getRootElementName().view());
  beginStartTag();
  append(item.getRootElementName().view());
  if (!item.getRootElementAttributes().empty()) {
    append(XML_SPACE_STR);
    append(item.getRootElementAttributes());
  }
  if (getEnableVersioningSupport()) outputProjectDependencies();
  append(XML_GREATERTHAN_STR);
}

// Without a dictionary nothing asks for a DOCTYPE or a time-stamp comment:
// they are written when the output properties ask for them (or, for a
// DOCTYPE, when the parsed document had one with an identifier or internal
// subset), so that the same tree always gives the same bytes.
bool XMLWriter::isRequested(const char16_t* property) const {
  return iOutputProperties && iOutputProperties->getPropertyAsInteger(ZelWstring(property)) > 0;
}

bool XMLWriter::hasRecordedDocType(const WorkerInfoPtr& startMsgInfo) {
  for (const long key : {eStartMsgSystemId, eStartMsgPublicId, eStartMsgInternalSubset}) {
    const PWFData* text = stringProperty(startMsgInfo, key);
    if (text && text->getStringLength() > 0) return true;
  }
  return false;
}

void XMLWriter::outputXMLDeclaration(const WorkerInfoPtr& startMsgInfo) {
  XMLPrinter::outputBOM(iTextWriter.get());
  append(u"<?xml");
  auto pseudoAttribute = [this](std::u16string_view name, const ZelWstring& value) {
    if (value.empty()) return;
    append(name);
    append(XML_DOUBLEQUOTE_STR);
    append(value.view());
    append(XML_DOUBLEQUOTE_STR);
  };
  const ZelWstring version = getXMLVersion(startMsgInfo);
  iXml11 = version.view() == u"1.1";
  pseudoAttribute(u" version=", version);
  pseudoAttribute(u" encoding=", getXMLEncoding());
  pseudoAttribute(u" standalone=", getStandalone(startMsgInfo));
  append(u"?>");
  if (iPrinter->iPrettyPrint) append(XML_NEWLINE_STR);
}

void XMLWriter::outputDocType(MsgWriteItem& item, const WorkerInfoPtr& startMsgInfo) {
  static constexpr const char* kFunction = "XMLWriter::outputDocumentStart";
  const char16_t* internalSubset = nullptr;
  if (startMsgInfo) {
    const PWFData& subset = startMsgInfo->getDataProperty(eStartMsgInternalSubset);
    if (subset.getDataLogicalType() == eLogicalString) {
      if (!subset.isNull() && subset.getStringLength() > 0) internalSubset = subset.getStringValue();
    } else if (subset.getDataLogicalType() != eLogicalNone) {
      raiseInternal(__LINE__, kFunction, "Internal subset must be a string.");
    }
  }
  if (internalSubset) {
    if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"Using internal subset from input message"});
  } else if (iDescriptor) {
    internalSubset = item.getDictionaryDocTypeText();
    if (ZelLog::traceOn())
      ZelLog::trace(this, kFunction,
                    {internalSubset ? "Using internal subset from message set" : "No internal subset used"});
  }
  const std::u16string_view rootName =
      item.getRootElementName().empty() ? item.getXMLName() : item.getRootElementName().view();
  // Root names are zero-terminated texts of the tree or the descriptor.
  XMLPrinter::outputDocType(iTextWriter.get(), rootName.empty() ? u"" : rootName.data(), item.getPublicId(startMsgInfo),
                            item.getSystemId(startMsgInfo), internalSubset, iPrinter->iPrettyPrint);
}

void XMLWriter::outputVRKComment() {
  const std::time_t now = std::time(nullptr);
  char text[kCtimeBufferSize] = {};
  if (!ctime_r(&now, text)) text[0] = 0;
  append(kVRKCommentStart);
  append(CPUnicodeConverter::fromLocalToUnicode(text, strnlen(text, kMaxTimeStampUnits)).view());
  append(kCommentEnd);
}

void XMLWriter::outputProjectDependencies() {
  if (!iDescriptor) return;
  const std::vector<ZelWstring>& dependencies = iDescriptor->getProjectDependencies();
  if (dependencies.empty()) return;
  if (iDescriptor->getDictionaryMode() == 1) {
    outputDefaultNamespace(dependencies.back().view());
    return;
  }
  outputDefaultNamespace(dependencies.front().view());
  for (std::size_t i = 1; i < dependencies.size(); ++i) {
    const ZelWstring prefix = ZelWstring().convertString("N" + std::to_string(i));
    outputNamespace(prefix.view(), dependencies[i].view(), dependencies[i - 1].view());
  }
}

void XMLWriter::outputDocumentEnd(MsgWriteItem& item) {
  if (item.getRootElementName().empty()) return;
  beginEndTag();
  append(item.getRootElementName().view());
  append(XML_GREATERTHAN_STR);
}

// ---------------------------------------------------------------------------
// Tree walk

template <class Iterator>
inline const WriteDefinition* XMLWriter::knownChildDefinition(const Iterator& iterator) {
  if (iterator.getCategory() == kKindMessage) return nullptr;
  return WriteItem::cachedDefinitionOf(iDescriptor, iterator, &iDefinitions);
}

template <class Iterator>
bool XMLWriter::enterChildren(Iterator& iterator) {
  if (!mayHaveChildren(iterator) || !iterator.moveToFirstChild()) return false;
  ++iIteratorLevel;
  return true;
}

template <class Iterator>
void XMLWriter::leaveChildren(Iterator& iterator) {
  iterator.moveToParent();
  --iIteratorLevel;
}

template <class Iterator>
void XMLWriter::writeTree(Iterator& iterator, WriteItem& item) {
  static constexpr const char* kFunction = "XMLWriter::writeTree";
  ZelTraceScope scope(this, kFunction);
  if (!rendersAsElement(item.getRender()))
    raiseInternal(__LINE__, kFunction, "Should never call writeTree on something that isn't rendered as an element");
  checkTreeName(item);
  if (!iNamespacesEnabled && !item.getNamespaceURI().empty())
    raise(__LINE__, kFunction, ZelMessages::CP_XML_ELEM_NAMESPACE_NOT_ALLOWED,
          {u"XML Parser: Element with a Namespace found when Namespaces are not enabled for the Message Set.",
           item.getXMLName(), item.getNamespaceURI().view()});
  if (++iDepth > MAX_TREE_DEPTH) {
    ZelParserException e(__FILE__, __LINE__, kFunction, getLogSourceName(), ZelMessages::CP_XML_INTERNAL_ERROR);
    e.addInsert("XML Worker Internal Error")
        .addInsert("The message tree is too deep to be written")
        .addInsert(MAX_TREE_DEPTH);
    throw e;
  }
  if (iNamespacesEnabled) iPrefixManager->addLevel();
  // A default namespace an element around declared for its QName values is
  // undeclared here unless this element's values need it too.
  ZelWstring outerDefaultNamespace;
  if (!iDefaultNamespace.empty()) std::swap(outerDefaultNamespace, iDefaultNamespace);
  // Bound before the element's own prefix is chosen, which then avoids them.
  const std::size_t valueDeclarations =
      bindContentValuePrefixes(iterator, item, emptyText(), iNamespacesEnabled && !item.getNamespaceURI().empty());

  // The element's prefix lives in the slot of its depth until its end tag.
  const ZelWstring* prefix = &emptyText();
  bool declare = false;
  if (iNamespacesEnabled && !item.getNamespaceURI().empty()) {
    while (iElementPrefixes.size() < static_cast<std::size_t>(iDepth)) iElementPrefixes.emplace_back();
    ZelWstring& slot = iElementPrefixes[iDepth - 1];
    declare = iPrefixManager->getNamespacePrefix(item.getNamespaceURI(), slot, true);
    prefix = &slot;
  }
  const bool indented = iPrinter->iPrettyPrint && indentsChildren(iterator, item);
  outputStartElementBegin(item, *prefix);
  if (iPrinter->iPrettyPrint) iLayout.push_back({indented, false});
  if (declare) outputXmlns(item.getNamespaceURI(), *prefix, true);
  const bool message = iNamespacesEnabled && item.isMessage();
  if (message && declaresAllOnMessage(item)) declareNamespacesUsedBelow(iterator);
  outputValueDeclarations(valueDeclarations);
  const long listMemberIndex = item.isList() && item.getWhereDefined() == eDefinedAsTypeMember ? item.getIndex() : -1;
  writeStartTagExtras(item, message,
                      item.getValue().isNull() && holdsAttribute(iterator, listMemberIndex, nullMarkerName(item)));
  if (hasValueAttribute(item.getRender())) {
    const PWFData& value = item.getValue();
    if ((!value.isNull() || (item.getNullEncoding() != eNULLAttribute && item.getNullEncoding() != eNULLXsiNil)) &&
        !(value.isNull() && item.getNullEncoding() == eNULLOmitValueAttribute))
      outputPWFDataAttribute(item, *prefix, iterator);
  }
  const bool xsiTypeWritten = writeAttributeChildren(iterator, listMemberIndex, *prefix);
  if (!xsiTypeWritten && iNamespacesEnabled) writeXsiTypeByPolicy(item);
  if (!outerDefaultNamespace.empty() && iDefaultNamespace.empty()) outputXmlns(emptyText(), emptyText(), true);
  append(XML_GREATERTHAN_STR);

  if (!hasValueAttribute(item.getRender())) outputPWFData(item, EscapeKind::Content);
  if (enterChildren(iterator)) {
    long anonymousValues = 0;
    do {
      // Attributes the cache knows were written with the start tag.
      const WriteDefinition* known = knownChildDefinition(iterator);
      const bool done = known ? known->render == erAttribute || writePlainElement(iterator, *known)
                              : writePlainValue(iterator, item);  // never a list's item: anonymousValues stays
      if (!done) writeContentChild(iterator, item, listMemberIndex, anonymousValues);
    } while (iterator.moveToNextSibling());
    leaveChildren(iterator);
  }
  outputEndElement(item, *prefix);
  std::swap(outerDefaultNamespace, iDefaultNamespace);
  if (iPrinter->iPrettyPrint) iLayout.pop_back();
  if (iNamespacesEnabled) iPrefixManager->removeLevel();
  --iDepth;
}

template <class Iterator>
bool XMLWriter::indentsChildren(Iterator& iterator, const WriteItem& item) {
  if (!item.getValue().isNothing() || item.isList()) return false;
  if (iDescriptor && item.getTypeIndex() >= 0) {
    const std::int32_t content = iDescriptor->getTypeDefs()[item.getTypeIndex()]->contentKind;
    if (content == DictCodes::eContentMixedOrdered || content == DictCodes::eContentMixed ||
        content == DictCodes::eContentSimple || DictCodes::isOpenContent(content))
      return false;
  }
  if (!enterChildren(iterator)) return false;
  bool elements = false;
  bool text = false;
  do {
    // An embedded message is an element, whatever dictionary it names.
    const ERender render = iterator.getCategory() == kKindMessage
                               ? erElement
                               : WriteItem::renderOf(iDescriptor, iterator, &iDefinitions);
    elements |= rendersAsElement(render);
    text |= !rendersAsElement(render) && render != erAttribute;
  } while (!text && iterator.moveToNextSibling());
  leaveChildren(iterator);
  return elements && !text;
}

void XMLWriter::checkTreeName(const WriteItem& item) const {
  const EWhereDefined whereDefined = item.getWhereDefined();
  if (whereDefined != eDefinedByType && whereDefined != eUndefined) return;
  const std::u16string_view name = item.getXMLName();
  if (!isXmlName(name, iNamespacesEnabled))
    raise(__LINE__, "XMLWriter::writeTree", ZelMessages::CP_TREE_ERROR, {u"The tree's name is not an XML name", name});
}

void XMLWriter::writeStartTagExtras(WriteItem& item, bool message, bool nullMarkerHeld) {
  if (message) writeMessageExtras(item);
  const ERender render = item.getRender();
  if (render == erElementWithIdAttribute || render == erElementWithIdAndValueAttribute) {
    ZelBufferedWstring<16> prefix;
    if (iNamespacesEnabled && !item.getIDAttributeNamespace().empty())
      usePrefix(item.getIDAttributeNamespace(), prefix, true);
    beginAttribute(prefix, item.getIDAttributeNamespace().view(), item.getIDAttributeName());
    appendEscaped(item.getIDAttributeValue(), EscapeKind::AttributeValue);
    append(XML_DOUBLEQUOTE_STR);
  }
  if (item.getValue().isNull() && !nullMarkerHeld) writeNullMarker(nullMarkerName(item));
}

bool XMLWriter::declaresAllOnMessage(WriteItem& item) const {
  const prf_XML_TAG_DEFINITION* element = item.getElementProperties();
  return element && item.getWhereDefined() == eDefinedAsElement &&
         element->namespaceDeclPolicy == enspDeclareAllOnMessage;
}

namespace {
// The tree names an attribute field "@type" (a parsed one) or "type".
bool isTypeAttributeName(std::u16string_view name) {
  if (!name.empty() && name.front() == u'@') name.remove_prefix(1);
  return name == kTypeName;
}

using NamespaceURIs = FirstOccurrences<ZelWstring, ZelWstringHash>;

void addOnce(NamespaceURIs& uris, std::u16string_view uri) {
  if (!uri.empty()) uris.add(uri);
}
}  // namespace

// A look at the whole message first, so that its root declares every
// namespace the message uses, once: those of its elements and attributes,
// the instance namespace for xsi:type and xsi:nil, and those that xsi:type
// values name. Embedded messages (another dictionary) are left to their own
// elements, and whatever this misses is declared where it is first used.
template <class Iterator>
void XMLWriter::declareNamespacesUsedBelow(Iterator& iterator) {
  NamespaceURIs uris;
  // Three sieves, cheapest first, each for a repeat the one before lets
  // through: a definition met again is passed over by its stamp
  // (namespaceLook); the namespaces are texts of the dictionary or pooled by
  // the tree, a few of them for many elements, so a text met again is passed
  // over by address; equal texts at different addresses are kept once by
  // addOnce.
  FirstOccurrences<const ZelWstring*> seen;
  const ZelWstring* lastSeen = nullptr;
  const auto add = [&](const ZelWstring* uri) {
    if (uri == lastSeen) return;
    lastSeen = uri;
    if (seen.add(uri)) addOnce(uris, uri->view());
  };
  bool anyNull = false;
  long level = 0;
  ++iNamespaceLooks;
  for (;;) {
    if (level > 0) {
      const WriteDefinition* known = knownChildDefinition(iterator);
      if (known && known->namespaceLook != iNamespaceLooks) {
        known->namespaceLook = iNamespaceLooks;
        if (known->namespaceURI) add(known->namespaceURI);
        if (known->member) {
          // ID and value attributes in a namespace of their own.
          for (const long index : {known->member->idAttributeNamespace, known->member->valueAttributeNamespace})
            if (index >= 0) add(&iDescriptor->getNamespaceCache().get(index).getURI());
        }
      }
      const ZelWstring& uri = iterator.getNamespaceURI();
      if (!uri.empty()) {
        add(&uri);
        if (uri == kSchemaInstanceNamespace && isTypeAttributeName(iterator.getTagName().view())) {
          // "namespace-URI:name", as the tree keeps an xsi:type.
          const std::u16string_view value = textOf(iterator.getValue());
          const std::size_t colon = value.rfind(u':');
          if (colon != std::u16string_view::npos) addOnce(uris, value.substr(0, colon));
        }
      }
      anyNull |= iterator.getValue().isNull();
    }
    if ((level == 0 || iterator.getCategory() != kKindMessage) && enterChildren(iterator)) {
      ++level;
      continue;
    }
    while (level > 0 && !iterator.moveToNextSibling()) {
      leaveChildren(iterator);
      --level;
    }
    if (level == 0) break;
  }
  const prf_XML_MSET_DEFINITION& messageSet = iDescriptor->getXMLMsgSetDefinition();
  if (anyNull && (messageSet.nullNumEncoding == eNULLXsiNil || messageSet.nullNonNumEncoding == eNULLXsiNil))
    addOnce(uris, kSchemaInstanceNamespace);
  ZelBufferedWstring<16> prefix;
  for (const ZelWstring& uri : uris.values()) usePrefix(uri, prefix, true);
}

void XMLWriter::writeMessageExtras(WriteItem& item) {
  const prf_XML_TAG_DEFINITION* element = item.getElementProperties();
  if (element) {
    const std::pair<std::u16string_view, const ZelWstring*> locations[] = {
        {XML_SCHEMA_LOCATION_STR, &element->schemaLocation},
        {XML_NO_NAMESPACE_SCHEMA_LOCATION_STR, &element->noNamespaceSchemaLocation}};
    for (const auto& [name, location] : locations) {
      if (location->empty()) continue;
      ZelBufferedWstring<16> prefix;
      usePrefix(ZelWstring(XML_SCHEMA_INSTANCE_NAMESPACE_STR), prefix, true);
      beginAttribute(prefix, XML_SCHEMA_INSTANCE_NAMESPACE_STR, name);
      appendEscaped(location->view(), EscapeKind::AttributeValue);
      append(XML_DOUBLEQUOTE_STR);
    }
  }
  const EOutputXsiTypePolicy policy = item.getWhereDefined() == eDefinedAsElement
                                          ? element->outputXsiTypePolicy
                                          : iDescriptor->getXMLMsgSetDefinition().outputXsiTypePolicy;
  if (policy == eXsiTypeAlwaysWithEncodingStyle) outputSOAPEncodingStyleAttribute(true);
}

XMLWriter::AttributeName XMLWriter::nullMarkerName(const WriteItem& item) const {
  switch (item.getNullEncoding()) {
    case eNULLAttribute: {
      const char16_t* nullText = item.getNullEncodingValue();
      return {{}, nullText ? std::u16string_view(nullText) : std::u16string_view()};
    }
    case eNULLXsiNil:
      if (iNamespacesEnabled) return {XML_SCHEMA_INSTANCE_NAMESPACE_STR, XML_NIL_STR};
      return {};
    case eNULLNone:
    case eNULLEmpty:
    case eNULLValue:
    case eNULLElement:
    case eNULLOmitValueAttribute:
      return {};
  }
  return {};
}

void XMLWriter::writeNullMarker(const AttributeName& marker) {
  if (marker.second.empty() && marker.first.empty()) return;
  ZelBufferedWstring<16> prefix;
  if (!marker.first.empty()) usePrefix(ZelWstring(marker.first), prefix, true);
  beginAttribute(prefix, marker.first, marker.second);
  appendEscaped(getBoolTrue(), EscapeKind::AttributeValue);
  append(XML_DOUBLEQUOTE_STR);
}

template <class Iterator>
bool XMLWriter::holdsAttribute(Iterator& iterator, long listMemberIndex, const AttributeName& name) {
  if ((name.first.empty() && name.second.empty()) || !enterChildren(iterator)) return false;
  bool held = false;
  do {
    if (iterator.getCategory() == kKindMessage ||
        WriteItem::renderOf(iDescriptor, iterator, &iDefinitions) != erAttribute)
      continue;
    const WriteItem child(getOwner(), iDescriptor, iterator, listMemberIndex, &iDefinitions);
    held = child.getXMLName() == name.second && child.getNamespaceURI().view() == name.first;
  } while (!held && iterator.moveToNextSibling());
  leaveChildren(iterator);
  return held;
}

template <class Iterator>
bool XMLWriter::writeAttributeChildren(Iterator& iterator, long listMemberIndex, const ZelWstring& elementPrefix) {
  if (!enterChildren(iterator)) return false;
  bool xsiTypeWritten = false;
  long position = 0;
  do {
    prefetchNextSibling(iterator);
    // A null simple value of a structure (simple content with attributes)
    // is marked on the structure's start tag, where the tree holds it.
    if (iterator.getTagId() < 1 && iterator.getValue().isNull() && iterator.getTagName().empty()) {
      const AttributeName marker =
          nullMarkerName(WriteItem(getOwner(), iDescriptor, iterator, listMemberIndex, &iDefinitions));
      leaveChildren(iterator);
      const bool held = holdsAttribute(iterator, listMemberIndex, marker);
      enterChildren(iterator);
      for (long i = 0; i < position; ++i) iterator.moveToNextSibling();
      if (!held) writeNullMarker(marker);
      continue;
    }
    // Children the cache knows as elements, and the anonymous value, are passed over at once.
    const WriteDefinition* known = knownChildDefinition(iterator);
    if (known && isPlainAttribute(iterator, *known))
      appendPlainAttribute(iterator, *known);
    else if ((known ? known->render == erAttribute : !isAnonymousValue(iterator)) &&
             writeAttributeChild(iterator, listMemberIndex, elementPrefix))
      xsiTypeWritten = true;
  } while (++position, iterator.moveToNextSibling());
  leaveChildren(iterator);
  return xsiTypeWritten;
}

template <class Iterator>
bool XMLWriter::writeAttributeChild(Iterator& iterator, long listMemberIndex, const ZelWstring& elementPrefix) {
  static constexpr const char* kFunction = "XMLWriter::writeTree";
  EmbeddedDictionaryScope<Iterator> embedded(iterator, iIteratorLevel);
  bool xsiTypeWritten = false;
  if (WriteItem::renderOf(iDescriptor, iterator, &iDefinitions) == erAttribute) {
    WriteItem child(getOwner(), iDescriptor, iterator, listMemberIndex, &iDefinitions);
    if (!iNamespacesEnabled && !child.getNamespaceURI().empty())
      raise(__LINE__, kFunction, ZelMessages::CP_XML_ATTR_NAMESPACE_NOT_ALLOWED,
            {u"XML Parser: Attribute with a Namespace found when Namespaces are not enabled for the Message Set.",
             child.getXMLName(), child.getNamespaceURI().view()});
    if (child.getNamespaceURI() == kSchemaInstanceNamespace && child.getXMLName() == kTypeName) {
      // The tree's own xsi:type wins over the policy, unless the policy drops it.
      if (iXsiTypePolicy != eXsiTypeNeverAndDrop) {
        outputXsiTypeAttribute(textOf(child.getValue()), true);
        xsiTypeWritten = true;
      }
    } else {
      checkTreeName(child);
      // A list attribute's items hold their own.
      outputValueDeclarations(bindContentValuePrefixes(iterator, child, elementPrefix, !elementPrefix.empty()));
      ZelBufferedWstring<16> prefix;
      if (iNamespacesEnabled && !child.getNamespaceURI().empty()) usePrefix(child.getNamespaceURI(), prefix, true);
      outputPWFDataAttribute(child, prefix, iterator);
    }
  }
  embedded.release();
  return xsiTypeWritten;
}

void XMLWriter::writeXsiTypeByPolicy(WriteItem& item) {
  switch (iXsiTypePolicy) {
    case eXsiTypeAlways:
    case eXsiTypeAlwaysWithEncodingStyle:
      outputXsiTypeAttribute(item);
      return;
    case eXsiTypeUnflaggedTypes: {
      // Only types that have a name of their own; an element without a
      // type has nothing to name.
      if (!iDescriptor) return;
      const long typeIndex = item.getTypeIndex();
      if (typeIndex < 0) return;
      iDescriptor->getTypeCache().checkRange(typeIndex);
      if (!iDescriptor->getTypeDefs()[typeIndex]->isAnonymous) outputXsiTypeAttribute(item);
      return;
    }
    case eXsiTypeNever:
    case eXsiTypeNeverAndDrop:
      return;
  }
}

template <class Iterator>
void XMLWriter::writeContentChild(Iterator& iterator, WriteItem& parent, long listMemberIndex,
                                  long& anonymousValues) {
  EmbeddedDictionaryScope<Iterator> embedded(iterator, iIteratorLevel);
  WriteItem child(getOwner(), iDescriptor, iterator, listMemberIndex, &iDefinitions);
  const ERender render = child.getRender();
  if (rendersAsElement(render)) {
    if (child.isBitStream())
      outputPWFData(child, EscapeKind::Content);
    else
      writeTree(iterator, child);
  } else if (render != erAttribute) {
    if (child.getTagId() >= 1)
      raiseInternal(__LINE__, "XMLWriter::writeTree", "erUndefined is only valid for anonymous fields");
    if (!hasValueAttribute(parent.getRender())) {
      if (parent.isList() && anonymousValues > 0) append(XML_SPACE_STR);
      // A member's list items are written as the member says (listMemberIndex).
      if (!parent.isList() || listMemberIndex < 0) child.takeValueRulesOf(parent);
      outputPWFData(child, EscapeKind::Content);
      ++anonymousValues;
    }
  }
  embedded.release();
}

inline void XMLWriter::outputPrefixText(const WorkerInfoPtr& record, const char* function, const char* trace) {
  if (record) outputRecordPrefixText(*record, function, trace);
}

void XMLWriter::outputRecordPrefixText(const WorkerInfo& record, const char* function, const char* trace) {
  const PWFData& text = record.getDataProperty(eWorkerInfoPrefixText);
  if (text.getDataLogicalType() == eLogicalString) {
    if (text.isNull() || text.getStringLength() == 0) return;
    if (ZelLog::traceOn()) ZelLog::trace(this, function, {trace});
    append({text.getStringValue(), text.getStringLength()});
  } else if (text.getDataLogicalType() != eLogicalNone) {
    raiseInternal(__LINE__, function, "Prefix must be a string.");
  }
}

void XMLWriter::outputStartElementBegin(WriteItem& item, const ZelWstring& prefix) {
  outputPrefixText(item.getStartWorkerInfo(), "XMLWriter::outputStartElementBegin",
                   "Outputting prefix to start element.");
  const std::u16string_view name = item.getXMLName();
  iStartTagAttributes.begin(name);
  if (!iPrinter->iPrettyPrint && prefix.empty() && 1 + name.size() <= iTextWriter->pendingRoom()) {
    // The usual tag in one go: no layout, no prefix, room in the pending text.
    ++iPrinter->iDepth;
    iPrinter->iValueWritten = false;
    iTextWriter->appendPending(u"<", 1);
    iTextWriter->appendPending(name.data(), name.size());
    return;
  }
  beginStartTag();
  appendQualifiedName(prefix, name);
}

void XMLWriter::outputEndElement(WriteItem& item, const ZelWstring& prefix) {
  outputPrefixText(item.getEndWorkerInfo(), "XMLWriter::outputEndElement", "Outputting prefix to end element.");
  const std::u16string_view name = item.getXMLName();
  if (!iPrinter->iPrettyPrint && prefix.empty() && 3 + name.size() <= iTextWriter->pendingRoom()) {
    --iPrinter->iDepth;
    iPrinter->iValueWritten = false;
    iTextWriter->appendPending(u"</", 2);
    iTextWriter->appendPending(name.data(), name.size());
    iTextWriter->appendPending(u">", 1);
    return;
  }
  beginEndTag();
  appendQualifiedName(prefix, name);
  append(XML_GREATERTHAN_STR);
}

// ---------------------------------------------------------------------------
// Values and attributes

namespace {
// Whether the text a value was read from suits the item it is written for:
// binary read as hexadecimal digits is written as such only where the item
// says so, and base64 likewise (a tree may be written by another dictionary).
// Hexadecimal text is two digits a byte and nothing else: base64 text of two
// or four bytes, or with blanks inside, may be as long but holds other units.
bool fitsDataEncoding(WriteItem& item, const PWFData& value, const ZelWstring& lexical) {
  if (value.getDataLogicalType() != eLogicalBinary) return true;
  const EDataEncoding encoding = item.getDataEncoding();
  if (encoding == edeCDATA || item.isBitStream()) return false;
  const std::u16string_view digits = XMLUtils::trimWhitespace(lexical.view());
  const bool hexadecimal =
      digits.size() == 2 * value.getBinaryValue().size() && std::all_of(digits.begin(), digits.end(), [](char16_t c) {
        return (c >= u'0' && c <= u'9') || ((c | 0x20) >= u'a' && (c | 0x20) <= u'f');
      });
  return hexadecimal == (encoding != edeBase64);
}
}  // namespace

void XMLWriter::outputPWFData(WriteItem& item, EscapeKind kind) {
  static constexpr const char* kFunction = "XMLWriter::outputPWFData";
  outputPrefixText(item.getDataWorkerInfo(), kFunction, "Outputting prefix to data.");
  const PWFData& value = item.getValue();
  if (value.isNothing()) return;
  if (value.isNull()) {
    outputNullValue(item, kind);
    return;
  }
  const ELogicalType type = value.getDataLogicalType();
  if (const ZelWstring* lexical = value.getLexicalForm(); lexical && fitsDataEncoding(item, value, *lexical)) {
    appendEscaped(lexical->view(), kind);
    return;
  }
  if (item.isBitStream() && type == eLogicalBinary) {
    // The element's own bytes, as they arrived: no conversion.
    const std::vector<std::uint8_t>& bytes = value.getBinaryValue();
    iTextWriter->appendRaw(bytes.data(), bytes.size());
    return;
  }
  switch (type) {
    case eLogicalString:
    case eLogicalInteger:
    case eLogicalFloat:
    case eLogicalDecimal:
    case eLogicalBoolean:
      appendPlainValue(value, kind);
      return;
    case eLogicalInterval:
      appendEscaped(iDataCnv.StrFromInterval(value.getIntervalValue(), iValueText).view(), kind);
      return;
    case eLogicalDateTime:
      outputDateTime(item, value, kind);
      return;
    case eLogicalBinary: {
      const std::vector<std::uint8_t>& bytes = value.getBinaryValue();
      switch (item.getDataEncoding()) {
        case edeBase64:
          append(CPBase64Converter::binToBase64(bytes.data(), bytes.size(), iValueText).view());
          break;
        case edeCDATA:
          iDataCnv.StrFromBin(bytes.data(), bytes.size(), iValueText);
          XMLPrinter::outputCDataSection(iTextWriter.get(), iValueText.c_str(), static_cast<long>(iValueText.length()));
          break;
        case edeUndefined:
        case edeHexadecimal:
          appendEscaped(iDataCnv.StrFromBin(bytes.data(), bytes.size(), iValueText).view(), kind);
          return;
      }
      if (!iValueText.empty()) iPrinter->iValueWritten = true;
      return;
    }
    case eLogicalNone:
      break;
  }
  raiseInternal(__LINE__, kFunction, "Invalid logical type for the data to be written");
}

namespace {
// Values whose text needs neither their item nor a conversion setting.
bool isPlainType(ELogicalType type) {
  return type == eLogicalString || type == eLogicalInteger || type == eLogicalFloat || type == eLogicalDecimal ||
         type == eLogicalBoolean;
}
}  // namespace

inline void XMLWriter::appendPlainValue(const PWFData& value, EscapeKind kind) {
  if (const ZelWstring* lexical = value.getLexicalForm()) {
    appendEscaped(lexical->view(), kind);
    return;
  }
  switch (value.getDataLogicalType()) {
    case eLogicalString:
      appendEscaped({value.getStringValue(), value.getStringLength()}, kind);
      return;
    case eLogicalInteger:
      appendNumberText([&value](char16_t* text) { return DataCnv::StrFromInt64(value.getIntegerValue(), text); });
      return;
    case eLogicalFloat:
      appendNumberText([&value](char16_t* text) { return DataCnv::StrFromDbl(value.getFloatValue(), text); });
      return;
    case eLogicalDecimal:
      append(iDataCnv.StrFromDec(value.getDecimalValue()));
      iPrinter->iValueWritten = true;
      return;
    case eLogicalBoolean:
      appendEscaped(value.getBooleanValue() ? getBoolTrue() : getBoolFalse(), kind);
      return;
    case eLogicalBinary:
    case eLogicalInterval:
    case eLogicalDateTime:
    case eLogicalNone:
      break;
  }
  assert(false && "appendPlainValue needs a value of a plain type");
}

namespace {
bool isPlainValue(const PWFData& value) {
  return !value.isNull() && !value.isNothing() && isPlainType(value.getDataLogicalType());
}
}  // namespace

template <class Iterator>
bool XMLWriter::writePlainElement(Iterator& iterator, const WriteDefinition& definition) {
  if (definition.render != erElement || definition.element) return false;
  if (iterator.isBitStream() || iterator.getItemTypeIndex() >= 0) return false;
  if (iNamespacesEnabled && iXsiTypePolicy != eXsiTypeNever && iXsiTypePolicy != eXsiTypeNeverAndDrop) return false;
  if (iPrinter->iPrettyPrint || iDepth >= MAX_TREE_DEPTH || ZelLog::traceOn() || hasRecords(iterator) ||
      !iDefaultNamespace.empty())
    return false;
  const PWFData& value = iterator.getValue();
  if (!value.isNothing() && !isPlainValue(value) &&
      (value.isNull() || value.getDataLogicalType() != eLogicalDateTime))
    return false;
  // A namespace whose prefix the elements around declare; one that needs a
  // declaration here goes the long way.
  const ZelWstring* prefix = nullptr;
  const ZelWstring* uri = namespaceOf(iterator, definition);
  if (uri && (!iNamespacesEnabled || !(prefix = iPrefixManager->findPrefixInScope(*uri)))) return false;
  if (!enterChildren(iterator)) {
    if (value.isNothing()) return false;
    appendTag(u"<", prefix, definition.xmlName, XML_GREATERTHAN_STR);
    appendMemberValue(iterator, definition);
    appendTag(u"</", prefix, definition.xmlName, XML_GREATERTHAN_STR);
    iPrinter->iValueWritten = false;
    return true;
  }
  // One pass over the children writes the start tag's attributes while it
  // checks them, held back until the last child has shown that this path
  // fits: attributes and anonymous values, or attributes and elements
  // (which are written after the start tag).
  TextBufferWriter::Hold startTag(*iTextWriter);
  iStartTagAttributes.begin(definition.xmlName);
  appendTag(u"<", prefix, definition.xmlName, u"");
  iPlainValues.clear();
  bool elements = false;
  bool plain = true;
  do {
    const WriteDefinition* known = knownChildDefinition(iterator);
    if (!known) {
      plain = isPlainAnonymousValue(iterator);
      if (plain) iPlainValues.push_back(&iterator.getValue());
    } else if (known->render == erAttribute) {
      plain = isPlainAttribute(iterator, *known);
      if (plain) appendPlainAttribute(iterator, *known);
    } else {
      plain = rendersAsElement(known->render);
      elements = true;
    }
  } while (plain && iterator.moveToNextSibling());
  leaveChildren(iterator);
  if (!plain || (elements && (!value.isNothing() || !iPlainValues.empty()))) return false;
  startTag.keep();
  append(XML_GREATERTHAN_STR);
  if (!elements) {
    if (!value.isNothing()) appendMemberValue(iterator, definition);
    for (const PWFData* anonymous : iPlainValues) appendPlainValue(*anonymous, EscapeKind::Content);
    appendTag(u"</", prefix, definition.xmlName, XML_GREATERTHAN_STR);
    iPrinter->iValueWritten = false;
    return true;
  }
  // The children may declare prefixes, which may move the manager's texts:
  // the end tag's prefix is then looked up again (the children's
  // declarations have gone out of scope with them).
  const std::uint64_t scopeVersion = prefix ? iPrefixManager->getScopeVersion() : 0;
  ++iDepth;
  ++iPrinter->iDepth;
  enterChildren(iterator);
  do {
    const WriteDefinition& known = *knownChildDefinition(iterator);
    if (known.render == erAttribute || writePlainElement(iterator, known)) continue;
    WriteItem child(getOwner(), iDescriptor, iterator, -1, &iDefinitions);
    if (child.isBitStream())
      outputPWFData(child, EscapeKind::Content);
    else
      writeTree(iterator, child);
  } while (iterator.moveToNextSibling());
  leaveChildren(iterator);
  --iPrinter->iDepth;
  if (prefix && iPrefixManager->getScopeVersion() != scopeVersion) prefix = iPrefixManager->findPrefixInScope(*uri);
  assert(!uri || prefix);
  appendTag(u"</", prefix, definition.xmlName, XML_GREATERTHAN_STR);
  iPrinter->iValueWritten = false;
  --iDepth;
  return true;
}

template <class Iterator>
bool XMLWriter::isAnonymousValue(const Iterator& iterator) const {
  if (iterator.getCategory() == kKindMessage || iterator.getTagId() >= 1) return false;
  const EWhereDefined whereDefined = WriteItem::whereDefinedOf(iDescriptor, iterator.getMemberId(),
                                                               iterator.getCategory(), iterator.getTagId(),
                                                               iterator.getTypeIndex());
  return (whereDefined == eDefinedByType || whereDefined == eUndefined) && iterator.getNamespaceURI().empty() &&
         iterator.getTagName().empty();
}

template <class Iterator>
bool XMLWriter::isPlainAnonymousValue(const Iterator& iterator) const {
  return !hasRecords(iterator) && isPlainValue(iterator.getValue()) && isAnonymousValue(iterator);
}

template <class Iterator>
bool XMLWriter::writePlainValue(const Iterator& iterator, const WriteItem& parent) {
  if (parent.isList() || hasValueAttribute(parent.getRender()) || !isPlainAnonymousValue(iterator)) return false;
  appendPlainValue(iterator.getValue(), EscapeKind::Content);
  return true;
}

template <class Iterator>
bool XMLWriter::isPlainAttribute(const Iterator& iterator, const WriteDefinition& definition) const {
  return definition.render == erAttribute && !definition.element && iterator.getItemTypeIndex() < 0 &&
         !hasRecords(iterator) && !namespaceOf(iterator, definition) && isPlainValue(iterator.getValue());
}

template <class Iterator>
void XMLWriter::appendPlainAttribute(const Iterator& iterator, const WriteDefinition& definition) {
  noteAttribute({}, definition.xmlName);
  appendTag(XML_SPACE_STR, definition.xmlName, kAttributeOpen);
  appendPlainValue(iterator.getValue(), EscapeKind::AttributeValue);
  append(XML_DOUBLEQUOTE_STR);
}

void XMLWriter::outputDateTime(WriteItem& item, const PWFData& value, EscapeKind kind) {
  appendDateTime(value, item.getFormat(), item.getTypeIndex(), kind);
}

void XMLWriter::appendDateTime(const PWFData& value, const char16_t* format, long typeIndex, EscapeKind kind) {
  const char16_t* typeName = iDescriptor ? iDescriptor->getEventualParentTypeName(typeIndex) : nullptr;
  appendEscaped(iDataCnv.StrFromDateTime(value.getDateTimeValue(), format, typeName, iValueText).view(), kind);
}

template <class Iterator>
void XMLWriter::appendMemberValue(const Iterator& iterator, const WriteDefinition& definition) {
  const PWFData& value = iterator.getValue();
  if (value.getDataLogicalType() != eLogicalDateTime || value.getLexicalForm()) {
    appendPlainValue(value, EscapeKind::Content);
    return;
  }
  const long typeIndex = iterator.getTypeIndex() != -1 ? iterator.getTypeIndex() : definition.typeIndex;
  appendDateTime(value, definition.member->format.c_str(), typeIndex, EscapeKind::Content);
}

void XMLWriter::outputNullValue(WriteItem& item, EscapeKind kind) {
  const char16_t* nullText = item.getNullEncodingValue() ? item.getNullEncodingValue() : u"";
  switch (item.getNullEncoding()) {
    case eNULLValue:
      if (item.getValue().getDataLogicalType() == eLogicalBinary && item.getDataEncoding() == edeCDATA) {
        XMLPrinter::outputCDataSection(iTextWriter.get(), nullText);
        iPrinter->iValueWritten = true;
      } else {
        appendEscaped(nullText, kind);
      }
      return;
    case eNULLElement:
      beginStartTag();
      append(nullText);
      --iPrinter->iDepth;
      append(u"/>");
      return;
    case eNULLNone:
    case eNULLAttribute:
    case eNULLEmpty:
    case eNULLOmitValueAttribute:
    case eNULLXsiNil:
      return;
  }
}

template <class Iterator>
void XMLWriter::outputPWFDataAttribute(WriteItem& item, const ZelWstring& prefix, Iterator& iterator) {
  static constexpr const char* kFunction = "XMLWriter::outputPWFDataAttribute";
  if (item.getValue().isNothing() && !item.isList()) return;
  switch (item.getRender()) {
    case erElementWithValueAttribute:
    case erElementWithIdAndValueAttribute: {
      // A new prefix is declared first, so that the blank goes between the
      // declaration and the attribute.
      ZelBufferedWstring<16> valuePrefix;
      if (iNamespacesEnabled && !item.getValAttributeNamespace().empty())
        usePrefix(item.getValAttributeNamespace(), valuePrefix, true);
      beginAttribute(valuePrefix, item.getValAttributeNamespace().view(), item.getValAttributeName());
      break;
    }
    case erAttribute:
      beginAttribute(prefix, item.getNamespaceURI().view(), item.getXMLName());
      break;
    case erUndefined:
    case erElement:
    case erElementWithIdAttribute:
    default:
      raiseInternal(__LINE__, kFunction, "Invlaid value for Render");
  }
  if (item.isList()) {
    outputListAttributeValue(item, iterator);
  } else if (item.getValue().isNull() && item.getNullEncoding() == eNULLElement) {
    if (ZelLog::traceOn())
      ZelLog::trace(this, kFunction,
                    {"WARNING: Attribute with value null encountered when encoding null set to eNULLElement. "
                     "Outputing empty attribute"});
  } else {
    outputPWFData(item, EscapeKind::AttributeValue);
  }
  append(XML_DOUBLEQUOTE_STR);
}

template <class Iterator>
void XMLWriter::outputListAttributeValue(WriteItem& item, Iterator& iterator) {
  if (!enterChildren(iterator)) return;
  const long listMemberIndex = item.getWhereDefined() == eDefinedAsTypeMember ? item.getIndex() : -1;
  bool first = true;
  do {
    WriteItem listItem(getOwner(), iDescriptor, iterator, listMemberIndex, &iDefinitions);
    if (listItem.getTagId() >= 1)
      raiseInternal(__LINE__, "XMLWriter::outputPWFDataAttribute",
                    "Attribute list value is only valid for anonymous fields");
    if (!first) append(XML_SPACE_STR);
    first = false;
    outputPWFData(listItem, EscapeKind::AttributeValue);
  } while (iterator.moveToNextSibling());
  leaveChildren(iterator);
}

// ---------------------------------------------------------------------------
// Namespaces and xsi:type

void XMLWriter::usePrefix(const ZelWstring& uri, ZelWstring& prefix, bool doubleQuotes) {
  if (iPrefixManager->getNamespacePrefix(uri, prefix, true)) outputXmlns(uri, prefix, doubleQuotes);
}

// The element's own value, or its anonymous value children: the value of a
// simple-typed message, the items of a list. Only elements of a simple type,
// a union or a list are looked into, so that no element's children are
// walked twice.
template <class Iterator>
std::size_t XMLWriter::bindContentValuePrefixes(Iterator& iterator, WriteItem& item, const ZelWstring& elementPrefix,
                                                bool elementPrefixed) {
  if (!iNamespacesEnabled) return 0;
  const auto isUnion = [this, &item] {
    const long typeIndex = item.getTypeIndex();
    return typeIndex >= 0 && iDescriptor &&
           (iDescriptor->getTypeCache().get(typeIndex).flags & prf_SMD_TYPE_DEFINITION::eUnion);
  };
  const bool valueChildren =
      mayHaveChildren(iterator) && (item.isList() || item.getLogicalType() >= eLogicalString || isUnion());
  // Most elements have neither a value read with a prefix nor value children.
  if (!item.getDataWorkerInfo() && !valueChildren) return 0;
  std::size_t count = 0;
  ZelBufferedWstring<64> uri;
  ZelBufferedWstring<16> prefix;
  const auto bind = [&](const WorkerInfoPtr& record, const PWFData& value) {
    if (!bindValuePrefix(record, value, elementPrefix, elementPrefixed, uri, prefix)) return;
    iValueDeclarations.emplace_back(uri, prefix);
    ++count;
  };
  bind(item.getDataWorkerInfo(), item.getValue());
  if (valueChildren && enterChildren(iterator)) {
    do {
      // Only a child with records can hold a value read with a prefix.
      if (hasRecords(iterator) && iterator.getTagId() < 1 && iterator.getTagName().empty())
        bind(iterator.getDataWorkerInfo(), iterator.getValue());
    } while (iterator.moveToNextSibling());
    leaveChildren(iterator);
  }
  return count;
}

bool XMLWriter::bindValuePrefix(const WorkerInfoPtr& record, const PWFData& value, const ZelWstring& elementPrefix,
                                bool elementPrefixed, ZelWstring& uri, ZelWstring& prefix) {
  if (!iNamespacesEnabled || !record || record->getDataPropertyCount() <= eWorkerInfoValueNamespace) return false;
  const std::u16string_view namespaceURI = textOf(record->getDataProperty(eWorkerInfoValueNamespace));
  const std::u16string_view name = XMLUtils::trimWhitespace(textOf(value));
  const std::size_t colon = name.find(u':');
  if (namespaceURI.empty()) return false;
  if (colon == std::u16string_view::npos) {
    // The default namespace renames none but unprefixed elements, which the
    // children undeclare it for; an unprefixed element cannot take one.
    if (!elementPrefixed || namespaceURI == iDefaultNamespace.view()) return false;
    iDefaultNamespace.assign(namespaceURI);
    uri.assign(namespaceURI);
    prefix.clear();
    return true;
  }
  if (name.substr(0, colon) == elementPrefix.view()) return false;
  uri.assign(namespaceURI);
  prefix.assign(name.substr(0, colon));
  return iPrefixManager->bindPrefix(uri, prefix);
}

void XMLWriter::outputValueDeclarations(std::size_t count) {
  for (std::size_t i = iValueDeclarations.size() - count; i < iValueDeclarations.size(); ++i)
    outputXmlns(iValueDeclarations[i].first, iValueDeclarations[i].second, true);
  iValueDeclarations.resize(iValueDeclarations.size() - count);
}

void XMLWriter::outputXmlns(const ZelWstring& uri, const ZelWstring& prefix, bool doubleQuotes) {
  const std::u16string_view quote = doubleQuotes ? XML_DOUBLEQUOTE_STR : u"'";
  append(kXmlns);
  if (!prefix.empty()) {
    append(u":");
    append(prefix.view());
  }
  append(u"=");
  append(quote);
  appendEscaped(uri.view(), EscapeKind::AttributeValue);
  append(quote);
}

void XMLWriter::outputDefaultNamespace(std::u16string_view name) {
  append(kXmlns);
  append(kAttributeOpen);
  appendEscaped(VRK_NAMESPACEATTR_PREFIX, EscapeKind::AttributeValue);
  appendEscaped(name, EscapeKind::AttributeValue);
  append(XML_DOUBLEQUOTE_STR);
}

void XMLWriter::outputNamespace(std::u16string_view prefix, std::u16string_view current,
                                std::u16string_view previous) {
  append(kXmlns);
  append(u":");
  append(prefix);
  append(kAttributeOpen);
  appendEscaped(VRK_NAMESPACEATTR_PREFIX, EscapeKind::AttributeValue);
  appendEscaped(previous, EscapeKind::AttributeValue);
  appendEscaped(u"-", EscapeKind::AttributeValue);
  appendEscaped(current, EscapeKind::AttributeValue);
  append(XML_DOUBLEQUOTE_STR);
}

void XMLWriter::outputXsiTypeAttribute(std::u16string_view typeName, const ZelWstring& namespaceURI,
                                       bool doubleQuotes) {
  const std::u16string_view quote = doubleQuotes ? XML_DOUBLEQUOTE_STR : u"'";
  ZelBufferedWstring<16> instancePrefix;
  ZelBufferedWstring<16> typePrefix;
  usePrefix(ZelWstring(XML_SCHEMA_INSTANCE_NAMESPACE_STR), instancePrefix, doubleQuotes);
  if (!namespaceURI.empty()) usePrefix(namespaceURI, typePrefix, doubleQuotes);
  beginAttribute(instancePrefix, XML_SCHEMA_INSTANCE_NAMESPACE_STR, XML_TYPE_STR, doubleQuotes ? u"=\"" : u"='");
  if (!namespaceURI.empty()) {
    appendEscaped(typePrefix.view(), EscapeKind::AttributeValue);
    appendEscaped(u":", EscapeKind::AttributeValue);
  }
  appendEscaped(typeName, EscapeKind::AttributeValue);
  append(quote);
}

void XMLWriter::outputXsiTypeAttribute(std::u16string_view value, bool doubleQuotes) {
  // "namespace-URI:name"; the URI may hold colons of its own.
  const std::size_t colon = value.rfind(u':');
  if (colon == std::u16string_view::npos) {
    outputXsiTypeAttribute(value, ZelWstring(), doubleQuotes);
    return;
  }
  outputXsiTypeAttribute(value.substr(colon + 1), ZelWstring(value.substr(0, colon)), doubleQuotes);
}

namespace {
// The XML Schema type of a value of a built-in logical type; empty when none fits.
std::u16string_view builtinTypeName(const PWFData& value) {
  switch (value.getDataLogicalType()) {
    case eLogicalString: return u"string";
    case eLogicalInteger: return u"long";
    case eLogicalFloat: return u"double";
    case eLogicalBinary: return u"hexBinary";
    case eLogicalBoolean: return u"boolean";
    case eLogicalInterval: return u"duration";
    case eLogicalDecimal: return u"decimal";
    case eLogicalDateTime: {
      if (value.isNull()) return {};
      const PWFDateTime& dateTime = value.getDateTimeValue();
      if (dateTime.hasDate() && dateTime.hasTime()) return u"dateTime";
      if (dateTime.hasDate()) return u"date";
      if (dateTime.hasTime()) return u"time";
      return {};
    }
    case eLogicalNone: break;
  }
  return {};
}
}  // namespace

void XMLWriter::outputXsiTypeAttribute(WriteItem& item) {
  static constexpr const char* kFunction = "XMLWriter::outputXsiTypeAttribute unconditionally";
  if (!iDescriptor) return;
  long typeIndex = item.getTypeIndex();
  if (typeIndex < 0) {
    const std::u16string_view builtin = builtinTypeName(item.getValue());
    if (!builtin.empty()) outputXsiTypeAttribute(builtin, ZelWstring(XML_SCHEMA_2001_NAMESPACE_STR), true);
    return;
  }
  // An anonymous type is named by the nearest named type it restricts (or
  // whose simple content it extends). The walk is bounded by the number of
  // types, so a corrupt dictionary cannot make it loop.
  const CheckedVector<prf_SMD_TYPE_DEFINITION>& types = iDescriptor->getTypeCache();
  for (std::size_t steps = 0;; ++steps) {
    const char16_t* name = iDescriptor->getTypeName(typeIndex);
    if (name && *name) break;
    const prf_SMD_TYPE_DEFINITION& type = types.get(typeIndex);
    const bool followBase = type.derivationMethod == DictCodes::eDerivationRestriction ||
                            type.derivationMethod == DictCodes::eDerivationListOrUnion ||
                            (type.derivationMethod == DictCodes::eDerivationExtension &&
                             type.contentKind == DictCodes::eContentSimple);
    if (!followBase || steps >= types.size()) {
      if (ZelLog::traceOn())
        ZelLog::trace(this, kFunction, {"Type is an anonymous extension - cannot output an xsi:type attribute"});
      return;
    }
    typeIndex = type.baseTypeIndex;
    if (typeIndex < 0) return;
  }
  const long namespaceIndex = types.get(typeIndex).namespaceIndex;
  outputXsiTypeAttribute(
      iDescriptor->getTypeName(typeIndex),
      namespaceIndex >= 0 ? iDescriptor->getNamespaceCache().get(namespaceIndex).getURI() : ZelWstring(), true);
}

void XMLWriter::outputSOAPEncodingStyleAttribute(bool doubleQuotes) {
  const std::u16string_view quote = doubleQuotes ? XML_DOUBLEQUOTE_STR : u"'";
  ZelBufferedWstring<16> prefix;
  usePrefix(ZelWstring(SOAP_ENVELOPE_NAMESPACE_STR), prefix, doubleQuotes);
  beginAttribute(prefix, SOAP_ENVELOPE_NAMESPACE_STR, XML_ENCODING_STYLE_STR, doubleQuotes ? u"=\"" : u"='");
  appendEscaped(SOAP_ENCODING_URI_STR, EscapeKind::AttributeValue);
  append(quote);
}

// ---------------------------------------------------------------------------
// Errors

void XMLWriter::raise(long line, const char* function, std::uint32_t message,
                      std::initializer_list<std::u16string_view> inserts) const {
  ZelParserException e(__FILE__, line, function, getLogSourceName(), message);
  for (std::u16string_view insert : inserts) e.addInsert(insert.data(), insert.size());
  if (ZelLog::traceOn())
    ZelLog::trace(this, function, {"Throwing exception", __FILE__, line, e.getKey(), e.insertText(0)});
  throw e;
}

void XMLWriter::raiseInternal(long line, const char* function, const char* cause) const {
  ZelParserException e(__FILE__, line, function, getLogSourceName(), ZelMessages::CP_XML_INTERNAL_ERROR);
  e.addInsert("XML Worker Internal Error").addInsert(cause);
  if (ZelLog::traceOn()) ZelLog::trace(this, function, {"Throwing exception", __FILE__, line, e.getKey(), cause});
  throw e;
}

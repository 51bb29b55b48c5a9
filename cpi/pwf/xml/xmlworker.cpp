#include "xmlworker.h"

#include "bitstreambuffer.h"
#include "ebcdiclineends.h"
#include "messageinfo.h"
#include "xmldictionaryinfo.h"
#include "xmlmemorymanager.h"
#include "xmlworkerutility.h"
#include "xmlwriter.h"
#include "zelexception.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLPScanToken.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/internal/XMLScannerResolver.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/StringPool.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/DTD/DTDValidator.hpp>
#include <xercesc/validators/common/GrammarResolver.hpp>

#include <cstdint>
#include <cstring>

using namespace xercesc;

namespace {
// The scanner's name for the encoding of a document: UTF-8 is read by the
// scanner's own decoder rather than by the general converter that the code
// page's name selects (which also refuses a byte-order mark).
ZelWstring scannerEncodingName(long ccsid, EEndian endian, long markLength) {
  ZelWstring name = XMLUtils::BuildEncodingString(ccsid, endian, markLength);
  if (!name.empty() && XMLUtils::isUTF8(ccsid)) name.assign(u"UTF-8");
  return name;
}

constexpr char kInitializeParseNotCalled[] = "XML Worker initializeParse not called.";
constexpr char kInitializeWriteNotCalled[] = "XML Worker initializeWrite not called.";

// The scanner library, started once per process before the first worker
// exists and stopped when the plug-in is unloaded (after its last worker).
class XercesSession {
public:
  static XercesSession& instance() {
    static XercesSession session;
    return session;
  }

private:
  XercesSession() {
    try {
      XMLPlatformUtils::Initialize();
    } catch (const XMLException& e) {
      ZelFatalException fatal(__FILE__, __LINE__, "XercesSession::XercesSession", nullptr,
                              ZelMessages::CP_XML_INTERNAL_ERROR);
      fatal.addInsert("XML Worker Internal Error").addInsert(e.getMessage());
      throw fatal;
    }
  }
  // Every Xerces object must be gone before Terminate.
  ~XercesSession() { XMLPlatformUtils::Terminate(); }
};

const ZelWstring& XML_FORMAT_NAME() {
  static const ZelWstring name(u"XML");
  return name;
}

const ZelWstring& XML_FORMAT_LEVEL() {
  static const ZelWstring level(u"001");
  return level;
}

// The properties initializeParse reads for every message, named once: a
// name made per call costs an allocation.
const ZelWstring& CCSID_PROPERTY() {
  static const ZelWstring name(MI_CCSID_STR);
  return name;
}

const ZelWstring& ENCODING_PROPERTY() {
  static const ZelWstring name(MI_ENCODING_STR);
  return name;
}

const ZelWstring& ENTITY_EXPANSION_LIMIT_PROPERTY() {
  static const ZelWstring name(MI_ENTITYEXPANSIONLIMIT_STR);
  return name;
}

XMLWorkerFactory& theFactory() {
  static XMLWorkerFactory factory;
  return factory;
}

// The nine inserts of a scanner exception (XMLException or OutOfMemoryException).
template <class XercesError>
ZelParserException convertScannerError(const ZelOwnedLogSource* source, const char* function, const char* context,
                                       const XercesError& error, const ZelWstring& messageName,
                                       const ZelWstring& elementText) {
  ZelParserException e(__FILE__, __LINE__, function, source->getLogSourceName(),
                       ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION);
  e.addInsert(context)
      .addInsert(static_cast<long long>(error.getCode()))
      .addInsert("")
      .addInsert(error.getSrcFile())
      .addInsert(static_cast<long long>(error.getSrcLine()))
      .addInsert("?")
      .addInsert(error.getMessage())
      .addInsert(messageName)
      .addInsert(elementText);
  if (ZelLog::traceOn())
    ZelLog::trace(source, function, {"Throwing exception", __FILE__, __LINE__, e.getKey(), context});
  return e;
}

// A message property as text for trace lines ("" when absent).
ZelWstring propertyText(const MessageInfo* properties, const ZelWstring& name) {
  const ZelWstring* text = properties ? properties->getProperty(name) : nullptr;
  return text ? *text : ZelWstring();
}
}  // namespace

XMLWorker::XMLWorker(const ZelNamedLogSource* owner) : ZelOwnedLogSource(owner) {
  ZelTraceScope scope(this, "XMLWorker::XMLWorker");
  XercesSession::instance();
  iMemoryManager = XMLPlatformUtils::fgMemoryManager;
}

XMLWorker::~XMLWorker() {
  ZelTraceScope scope(this, "XMLWorker::~XMLWorker");
  destroyParseObjects();
  iWriter.reset();
  iOwnedMemoryManager.reset();
  iDescriptorStack.clear();
}

void XMLWorker::destroyParseObjects() {
  // The handler may go first; the scanner must go before the pool and
  // resolver it uses, and all of them before their memory manager.
  iHandler.reset();
  iValidator.reset();
  iScanner.reset();
  iSecurityManager.reset();
  iUriStringPool.reset();
  iInputSource.reset();
  iGrammarResolver.reset();
  iScanToken.reset();
  iMoreToScan = false;
}

const ZelWstring& XMLWorker::ScannerEncoding::nameFor(long ccsid, EEndian endian, long markLength) {
  if (ccsid != ccsid_ || endian != endian_ || markLength != markLength_) {
    name_ = scannerEncodingName(ccsid, endian, markLength);
    ccsid_ = ccsid;
    endian_ = endian;
    markLength_ = markLength;
  }
  return name_;
}

// ---------------------------------------------------------------------------
// Parse set-up

void XMLWorker::initializeParse(long messageId, MessageInfo* properties, long reserved) {
  ZelTraceScope scope(this, "XMLWorker::initializeParse");
  if (!iParseInitialised) setUpParse(messageId, properties);
  readCodePage(properties);
  readEntityExpansionLimit(properties);
}

void XMLWorker::setUpParse(long messageId, MessageInfo* properties) {
  static constexpr const char* kFunction = "XMLWorker::initializeParse";
  destroyParseObjects();  // left over from a set-up that failed
  chooseMemoryManager(properties);
  try {
    iHandler = std::make_unique<XMLHandler>(getOwner(), messageId, properties, iMemoryManager, &iParseItemPool);
    // The validator takes the default manager; the scanner does not adopt it.
    iValidator.reset(new DTDValidator(iHandler.get()));
    iGrammarResolver.reset(new (iMemoryManager) GrammarResolver(nullptr, iMemoryManager));
    iScanner.reset(XMLScannerResolver::resolveScanner(XMLUni::fgDGXMLScanner, iValidator.get(),
                                                      iGrammarResolver.get(), iMemoryManager));
    iUriStringPool.reset(
        new (iMemoryManager) XMLStringPool(XMLHandler::DEFAULT_XMLSTRINGPOOL_MODULUS, iMemoryManager));
    iScanner->setURIStringPool(iUriStringPool.get());
    iScanToken.reset(new XMLPScanToken);

    if (iDescriptorStack.empty() && ZelLog::userTraceOn())
      ZelLog::userTrace(this, kFunction, ZelMessages::CP_XML_NO_DICTIONARY,
                        {"No dictionary present have you specified Wire Format 'XML' in error?"});
    if (!iDescriptorStack.empty()) iHandler->setXMLWireFormatDescriptor(iDescriptorStack.back());
    iHandler->setNamespaceInfo();
    iScanner->setDoNamespaces(iHandler->isNamespacesEnabled());

    iScanner->setValidationScheme(XMLScanner::Val_Never);
    iScanner->setDocHandler(iHandler.get());
    iScanner->setDocTypeHandler(iHandler.get());
    iScanner->setEntityHandler(iHandler.get());
    iScanner->setErrorReporter(iHandler.get());
    iScanner->setCalculateSrcOfs(true);
    iSecurityManager = std::make_unique<SecurityManager>();
    iSecurityManager->setEntityExpansionLimit(kDefaultEntityExpansionLimit);
    iScanner->setSecurityManager(iSecurityManager.get());
    // resolveEntity always answers; should it ever not, fail rather than fetch.
    iScanner->setDisableDefaultEntityResolution(true);
    iHandler->setScanner(iScanner.get());
  } catch (const XMLException& e) {
    iExceptionOccurred = true;
    throw convertScannerError(this, kFunction,
                              "An error has been reported by the XERCES component during initialisation/creation", e,
                              ZelWstring(), ZelWstring());
  } catch (const OutOfMemoryException& e) {
    iExceptionOccurred = true;
    throw convertScannerError(this, kFunction,
                              "An error has been reported by the XERCES component during initialisation/creation", e,
                              ZelWstring(), ZelWstring());
  }
  iParseInitialised = true;
  iHandler->SetDateTimeProperties();
}

void XMLWorker::chooseMemoryManager(const MessageInfo* properties) {
  // Without a pool size the scanner shares the process-wide manager; hosts
  // rely on that. Only a worker's own manager can take back what the scanner
  // loses on a malformed element declaration.
  iMemoryManager = XMLPlatformUtils::fgMemoryManager;
  iOwnedMemoryManager.reset();
  if (!properties) return;
  try {
    // An absent pool size reads as INT64_MIN, whose low 32 bits are 0.
    const auto poolSize =
        static_cast<std::int32_t>(properties->getPropertyAsInteger(ZelXmlMemoryManager::getMemoryManagerPoolSize()));
    if (poolSize == 0) return;
    ZelXmlMemoryManager::ChunkSizes chunkSizes = ZelXmlMemoryManager::kDefaultChunkSizes;
    const ZelWstring* chunkNames[] = {&ZelXmlMemoryManager::getMemoryManagerChunkSize0(),
                                      &ZelXmlMemoryManager::getMemoryManagerChunkSize1(),
                                      &ZelXmlMemoryManager::getMemoryManagerChunkSize2()};
    for (std::size_t i = 0; i < chunkSizes.size(); ++i) {
      const std::int64_t size = properties->getPropertyAsInteger(*chunkNames[i]);
      if (size != MessageInfo::kNotSet) chunkSizes[i] = static_cast<long>(size);
    }
    iOwnedMemoryManager = std::make_unique<ZelXmlMemoryManager>(poolSize, chunkSizes);
    iMemoryManager = iOwnedMemoryManager.get();
  } catch (const ZelConversionException&) {
    if (ZelLog::traceOn())
      ZelLog::trace(this, "XMLWorker::initializeParse",
                    {"Invalid memory manager parameters",
                     propertyText(properties, ZelXmlMemoryManager::getMemoryManagerPoolSize()),
                     propertyText(properties, ZelXmlMemoryManager::getMemoryManagerChunkSize0()),
                     propertyText(properties, ZelXmlMemoryManager::getMemoryManagerChunkSize1()),
                     propertyText(properties, ZelXmlMemoryManager::getMemoryManagerChunkSize2())});
  }
}

void XMLWorker::readEntityExpansionLimit(const MessageInfo* properties) {
  if (!properties || !iSecurityManager) return;
  const std::int64_t limit = properties->getPropertyAsInteger(ENTITY_EXPANSION_LIMIT_PROPERTY());
  if (limit < 1) return;  // absent (kNotSet) or no limit at all, which is never wanted
  iSecurityManager->setEntityExpansionLimit(static_cast<XMLSize_t>(limit));
}

void XMLWorker::readCodePage(const MessageInfo* properties) {
  static constexpr const char* kFunction = "XMLWorker::initializeParse";
  if (!properties) {
    if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"No message properties provived."});
    return;
  }
  const std::int64_t ccsid = properties->getPropertyAsInteger(CCSID_PROPERTY());
  const std::int64_t encoding = properties->getPropertyAsInteger(ENCODING_PROPERTY());
  if (ccsid != MessageInfo::kNotSet) {
    iCcsid = static_cast<std::int32_t>(ccsid);
    if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"ccsid provided from message properties."});
  }
  if (encoding != MessageInfo::kNotSet) {
    // The low four bits of the host's encoding code give the integer byte order.
    iEncoding = (encoding & 0xF) == 2 ? eEndianLittle : eEndianBig;
    if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"encoding provided from message properties."});
  }
  if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"No CCSID(&1), encoding (&2).", iCcsid, iEncoding});
}

// ---------------------------------------------------------------------------
// Parsing

void XMLWorker::throwWrongOrder(const char* function, const char* insert) const {
  ZelParserException e(__FILE__, __LINE__, function, getLogSourceName(), ZelMessages::CP_INTERNAL_ERROR);
  e.addInsert(insert);
  if (ZelLog::traceOn()) ZelLog::trace(this, function, {"Throwing exception", __FILE__, __LINE__, e.getKey(), insert});
  throw e;
}

void XMLWorker::requireParseInitialised(const char* function) const {
  if (!iParseInitialised) throwWrongOrder(function, kInitializeParseNotCalled);
}

void XMLWorker::requireWriteInitialised(const char* function) const {
  if (!iWriteInitialised) throwWrongOrder(function, kInitializeWriteNotCalled);
}

void XMLWorker::failScan(const char* function, const char* xercesContext, const char* hostTrace) {
  iExceptionOccurred = true;
  try {
    throw;
  } catch (const XMLException& e) {
    ZelParserException converted = convertScannerError(this, function, xercesContext, e, iHandler->traceGetMsg(),
                                                       iHandler->traceGetCurXMLElement());
    converted.setSummary(ZelWstring(e.getMessage()).toUtf8());
    iHandler->locate(converted);
    throw converted;
  } catch (const OutOfMemoryException& e) {
    ZelParserException converted = convertScannerError(this, function, xercesContext, e, iHandler->traceGetMsg(),
                                                       iHandler->traceGetCurXMLElement());
    iHandler->locate(converted);
    throw converted;
  } catch (ZelException& e) {
    iHandler->locate(e);
    if (ZelLog::traceOn()) ZelLog::trace(this, function, {hostTrace});
    throw;
  } catch (...) {
    if (ZelLog::traceOn()) ZelLog::trace(this, function, {"Unexpected exception caught. Rethrowing"});
    throw;
  }
}

void XMLWorker::setFIHandler(FIHandler* handler) {
  ZelTraceScope scope(this, "XMLWorker::setFIHandler");
  requireParseInitialised("XMLWorker::setFIHandler");
  iHandler->setFIHandler(handler);
}

FIHandler* XMLWorker::getFIHandler() const { return iHandler ? iHandler->getFIHandler() : nullptr; }

long XMLWorker::parse(const BitstreamBuffer* buffer, const std::vector<long>* path, long, long) {
  ZelTraceScope scope(this, "XMLWorker::parse");
  requireParseInitialised("XMLWorker::parse");
  const long result = parseFirst(buffer, path, false, 0, -1);
  // The whole document in one loop: parseNext's returns to the host at each
  // structure are for a host that parses step by step.
  if (!iMoreToScan || iExceptionOccurred) return result;
  try {
    do {
      iMoreToScan = iScanner->scanNext(*iScanToken);
    } while (iMoreToScan);
  } catch (...) {
    failScan("XMLWorker::parseNext", "An error has been reported by the XERCES component",
             "CPException exception caught during parsing. Rethrowing");
  }
  return result;
}

long XMLWorker::parseFirst(const BitstreamBuffer* buffer, const std::vector<long>* path, bool flag, long first,
                           long second) {
  static constexpr const char* kFunction = "XMLWorker::parseFirst";
  ZelTraceScope scope(this, kFunction);
  if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"Arguments", flag, first, second});
  requireParseInitialised(kFunction);
  if (iExceptionOccurred) throwWrongOrder(kFunction, "XML Worker has encountered an exception in a previous call.");
  if (ZelLog::debugOn())
    ZelLog::debug(this, kFunction, {iDescriptorStack.empty() ? "Dictionary not present." : "Dictionary present."});

  EEndian endian;
  long markLength;
  XMLUtils::GetEndianFromBuffer(buffer, endian, markLength);
  if (iEncoding == eEndianNone) iEncoding = endian;
  const ZelWstring& encodingName = iScannerEncoding.nameFor(iCcsid, iEncoding, markLength);
  const long givenCcsid = iCcsid > 0 ? iCcsid : 0;
  if (iCcsid < 1) iCcsid = CCSID_UTF8;
  iHandler->setBuffer(buffer, iCcsid, iEncoding, markLength);
  // A subtree starts inside the type that contains the member the path ends with.
  if (iHandler->isSubtreeBitstream() && !iDescriptorStack.empty() && path && !path->empty() && path->back() > 0)
    iHandler->setSubtreeMemberIndex(iDescriptorStack.back()->getStructDefIndexFromMbrID(path->back()));

  try {
    // A scan the host abandoned still holds its reader; the next would resume it.
    if (iMoreToScan) iScanner->scanReset(*iScanToken);
    iMoreToScan = false;
    const XMLByte* bytes = buffer ? buffer->getData(0) : nullptr;
    const XMLSize_t length = bytes ? buffer->getLength() : 0;
    // A mainframe document's NL (EBCDIC line ends): the scanner reads a copy with LF.
    if (bytes && scansNlAsLf(givenCcsid, bytes, length)) {
      iLfForNl.assign(bytes, bytes + length);
      nlToLf(iLfForNl.data(), length);
      bytes = iLfForNl.data();
    } else if (iLfForNl.capacity() > 0) {
      std::vector<XMLByte>().swap(iLfForNl);
    }
    static constexpr XMLByte kNoBytes[1] = {0};
    // One input source serves every document (its construction converts
    // its name through the local code page).
    if (iInputSource) {
      iInputSource->resetMemBufInputSource(bytes ? bytes : kNoBytes, length);
    } else {
      iInputSource.reset(new (iMemoryManager)
                             MemBufInputSource(bytes ? bytes : kNoBytes, length, "XMLBuffer", false, iMemoryManager));
      // The scanner reads the host's bytes in place instead of copying them.
      iInputSource->setCopyBufToStream(false);
    }
    const XMLCh* sourceEncoding = iInputSource->getEncoding();
    const bool sameEncoding = encodingName.empty() ? !sourceEncoding
                                                   : sourceEncoding && encodingName == std::u16string_view(sourceEncoding);
    if (!sameEncoding) iInputSource->setEncoding(encodingName.empty() ? nullptr : encodingName.c_str());
    iMoreToScan = iScanner->scanFirst(*iInputSource, *iScanToken);
  } catch (...) {
    failScan(kFunction, "An error has been reported by the XERCES component during scanFirst",
             "CPException exception caught. Rethrowing");
  }
  return 0;
}

long XMLWorker::parseNext() {
  static constexpr const char* kFunction = "XMLWorker::parseNext";
  ZelTraceScope scope(this, kFunction);
  requireParseInitialised(kFunction);
  // Never scan again after a failure: the scanner's state is not resumable.
  if (iExceptionOccurred) return 0;
  try {
    // A scan that failed has thrown; only the end of the document stops it here.
    do {
      iMoreToScan = iScanner->scanNext(*iScanToken);
    } while (iMoreToScan && iHandler->isStructureAwaitingValue());
  } catch (...) {
    failScan(kFunction, "An error has been reported by the XERCES component",
             "CPException exception caught during parsing. Rethrowing");
  }
  return 0;
}

bool XMLWorker::hasNext() const {
  requireParseInitialised("XMLWorker::hasNext");
  return iMoreToScan && !iExceptionOccurred;
}

long XMLWorker::getNumBytesParsed() const { return -1; }

// ---------------------------------------------------------------------------
// Descriptors

const DictionaryInfo* XMLWorker::getWireFormatDescriptor() const {
  return iDescriptorStack.empty() ? nullptr : iDescriptorStack.back();
}

const XMLDictionaryInfo* XMLWorker::currentDescriptor() const {
  return iDescriptorStack.empty() ? nullptr : iDescriptorStack.back();
}

void XMLWorker::applyDescriptorToWriter(bool pushed) {
  const XMLDictionaryInfo* descriptor = currentDescriptor();
  iWriter->setXMLWireFormatDescriptor(descriptor);
  if (!descriptor) return;
  iWriter->setConverterDateTimeProperties();
  iWriter->setNamespaceInfo(pushed);
}

void XMLWorker::setWireFormatDescriptor(const DictionaryInfo* descriptor) {
  static constexpr const char* kFunction = "XMLWorker::setWireFormatDescriptor";
  ZelTraceScope scope(this, kFunction);
  const auto* xmlDescriptor = dynamic_cast<const XMLDictionaryInfo*>(descriptor);
  if (!xmlDescriptor) {
    ZelParserException e(__FILE__, __LINE__, kFunction, getLogSourceName(), ZelMessages::CP_XML_INTERNAL_ERROR);
    e.addInsert("XML Worker Internal Error").addInsert("The descriptor is not an XML descriptor.");
    if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"Throwing exception", __FILE__, __LINE__, e.getKey()});
    throw e;
  }
  iDescriptorStack.push_back(xmlDescriptor);
  if (iParseInitialised) useDescriptorForParse(xmlDescriptor);
  if (iWriteInitialised) applyDescriptorToWriter(/*pushed=*/true);
}

void XMLWorker::useDescriptorForParse(const XMLDictionaryInfo* current) {
  iHandler->setXMLWireFormatDescriptor(current);
  if (!current) return;
  iHandler->SetDateTimeProperties();
  iHandler->setNamespaceInfo();
  iScanner->setDoNamespaces(iHandler->isNamespacesEnabled());
}

void XMLWorker::release(bool destroy) {
  {
    ZelTraceScope scope(this, "XMLWorker::release");
    if (!iDescriptorStack.empty()) iDescriptorStack.pop_back();
    if (iParseInitialised) useDescriptorForParse(currentDescriptor());
    if (iWriteInitialised) applyDescriptorToWriter(/*pushed=*/false);
  }
  if (destroy) delete this;
}

// ---------------------------------------------------------------------------
// Writing

void XMLWorker::initializeWrite(MessageInfo* properties, const BitstreamBuffer* input,
                                const MessageInfo* inputProperties, bool* done) {
  static constexpr const char* kFunction = "XMLWorker::initializeWrite";
  ZelTraceScope scope(this, kFunction);
  if (done) *done = true;
  if (iWriteInitialised) throwWrongOrder(kFunction, "XML Worker initializeWrite already called.");
  iWriter = std::make_unique<XMLWriter>(getOwner());
  if (iDescriptorStack.empty() && ZelLog::userTraceOn())
    ZelLog::userTrace(this, kFunction, ZelMessages::CP_XML_NO_DICTIONARY,
                      {"No dictionary present have you specified Wire Format 'XML' in error?"});
  const XMLDictionaryInfo* descriptor = currentDescriptor();
  if (descriptor && descriptor->isNamespaceProcessingEnabled()) iWriter->setNamespacesEnabled(true);
  if (descriptor) iWriter->setXMLWireFormatDescriptor(descriptor);
  iWriter->initializeWrite(properties, input, inputProperties, nullptr);
  if (descriptor) iWriter->setConverterDateTimeProperties();
  iWriteInitialised = true;
}

void XMLWorker::setFIMessageTree(const FIMessageTree* tree) {
  ZelTraceScope scope(this, "XMLWorker::setFIMessageTree");
  requireWriteInitialised("XMLWorker::setFIMessageTree");
  iWriter->setFIMessageTree(tree);
}

const FIMessageTree* XMLWorker::getFIMessageTree() const {
  requireWriteInitialised("XMLWorker::getFIMessageTree");
  return iWriter->getFIMessageTree();
}

long XMLWorker::write(WritableBitstreamBuffer* output, const std::vector<long>* path, long reserved) {
  ZelTraceScope scope(this, "XMLWorker::write");
  requireWriteInitialised("XMLWorker::write");
  return iWriter->write(output, path, reserved);
}

// ---------------------------------------------------------------------------
// Factory and entry points

BitstreamWorker* XMLWorkerFactory::createBitstreamWorker(const ZelNamedLogSource* owner) {
  ZelOwnedLogSource source(owner);
  ZelTraceScope scope(&source, "XMLWorkerFactory::createBitstreamWorker");
  auto* worker = new XMLWorker(owner);
  if (ZelLog::traceOn()) ZelLog::trace(&source, "XMLWorkerFactory::createBitstreamWorker", {worker});
  return worker;
}

DictionaryInfo* XMLWorkerFactory::createDescriptor() {
  const ZelOwnedLogSource source(nullptr);
  ZelTraceScope scope(&source, "XMLWorkerFactory::createDescriptor");
  auto* descriptor = new XMLDictionaryInfo(0);
  if (ZelLog::traceOn()) ZelLog::trace(&source, "XMLWorkerFactory::createDescriptor", {descriptor});
  return descriptor;
}

extern "C" {
int GetFactory(const char16_t* formatName, BitstreamWorkerFactory** factory) {
  const ZelWstring& expected = XML_FORMAT_NAME();
  const std::size_t n = expected.length();
  std::size_t count = 0;
  if (formatName) {
    while (count <= n && formatName[count] != 0) ++count;
  }
  if (count == n && std::memcmp(formatName, expected.data(), n * sizeof(char16_t)) == 0) {
    *factory = &theFactory();
    return 0;
  }
  *factory = nullptr;
  return 1;
}

int GetNumFormats(long* count) {
  *count = 1;
  return 0;
}

int GetFormat(long index, const char16_t** name) {
  if (index != 0) {
    *name = nullptr;
    return 1;
  }
  *name = XML_FORMAT_NAME().c_str();
  return 0;
}

int GetLevel(const char16_t** level) {
  *level = XML_FORMAT_LEVEL().c_str();
  return 0;
}
}

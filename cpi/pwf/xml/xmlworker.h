#ifndef XMLWORKER_H
#define XMLWORKER_H

#include "bitstreamworker.h"
#include "pwfdata.h"
#include "xmlhandler.h"
#include "zellog.h"
#include "zelwstring.h"

#include <limits>
#include <memory>
#include <vector>

class XMLDictionaryInfo;
class XMLWriter;

XERCES_CPP_NAMESPACE_BEGIN
class DTDValidator;
class GrammarResolver;
class MemBufInputSource;
class SecurityManager;
class XMLPScanToken;
class XMLScanner;
class XMLStringPool;
XERCES_CPP_NAMESPACE_END

// The XML wire-format worker: drives the scanner over a bitstream for the
// host, in steps, and reports the tree through the host's FIHandler.
//
// Parse side: initializeParse (once sets up the scanner; every call re-reads
// "ccsid", "encoding" and "entityExpansionLimit"), setFIHandler, then parse, or parseFirst and
// parseNext while hasNext. Calls out of order raise ZelParserException
// CP_INTERNAL_ERROR with one insert ("XML Worker initializeParse not
// called."). A parse that ends in an exception leaves the worker failed:
// parseFirst then raises CP_INTERNAL_ERROR ("XML Worker has encountered an
// exception in a previous call."), parseNext returns 0 at once and hasNext is
// false. Scanner exceptions become CP_XML_XERCES_PARSER_EXCEPTION with nine
// inserts; host exceptions pass through unchanged. The scanner reads the
// bitstream in place: its bytes must stay alive and unchanged until hasNext
// is false or the next parseFirst.
//
// Write side: initializeWrite (exactly once; it creates the XMLWriter and
// hands it the current descriptor), setFIMessageTree, write. Calls out of
// order raise ZelParserException CP_INTERNAL_ERROR ("XML Worker
// initializeWrite not called." / "... already called."); the writer's
// exceptions pass through unchanged.
//
// Descriptors: setWireFormatDescriptor pushes, release pops; every
// initialised side follows the top of the stack (the writer takes the new
// descriptor's date-time settings and, for a pushed one, its own namespace
// prefixes). One host thread at a time. Descriptors are borrowed: the host
// keeps them alive while they are on the worker's stack.
class XMLWorker : public BitstreamWorker, public ZelOwnedLogSource {
public:
  // Entity references a document may expand unless the message property
  // "entityExpansionLimit" (a positive number) sets another limit: ample for
  // messages, and an expansion bomb stops within milliseconds.
  static constexpr std::size_t kDefaultEntityExpansionLimit = 1000;

  explicit XMLWorker(const ZelNamedLogSource* owner);
  ~XMLWorker() override;
  XMLWorker(const XMLWorker&) = delete;
  XMLWorker& operator=(const XMLWorker&) = delete;

  // FIParser
  void initializeParse(long messageId, MessageInfo* properties, long reserved) override;
  void setFIHandler(FIHandler* handler) override;
  FIHandler* getFIHandler() const override;
  // buffer is borrowed and read in place by the scanner: the host keeps its
  // bytes alive and unchanged until the parse ends (hasNext is false, or the
  // next parseFirst); a change meanwhile changes what is parsed.
  long parse(const BitstreamBuffer* buffer, const std::vector<long>* path, long, long) override;
  long parseFirst(const BitstreamBuffer* buffer, const std::vector<long>* path, bool, long, long) override;
  long parseNext() override;
  bool hasNext() const override;
  // Always -1: the worker does not count the bytes the scanner consumed.
  long getNumBytesParsed() const override;
  // The current descriptor (the top of the stack), or null.
  const DictionaryInfo* getWireFormatDescriptor() const override;
  // Makes descriptor current for both sides. It must be an XMLDictionaryInfo
  // (from the factory); anything else raises ZelParserException
  // CP_XML_INTERNAL_ERROR.
  void setWireFormatDescriptor(const DictionaryInfo* descriptor) override;
  // Pops the current descriptor (the previous one becomes current again, or
  // none); with destroy, deletes the worker as the last step.
  void release(bool destroy) override;

  // FIWriter
  void initializeWrite(MessageInfo* properties, const BitstreamBuffer* input, const MessageInfo* inputProperties,
                       bool* done) override;
  void setFIMessageTree(const FIMessageTree* tree) override;
  const FIMessageTree* getFIMessageTree() const override;
  long write(WritableBitstreamBuffer* output, const std::vector<long>* path, long) override;

  // The handler and memory manager in use (null handler before initializeParse).
  XMLHandler* getHandler() const { return iHandler.get(); }
  xercesc::MemoryManager* getMemoryManager() const { return iMemoryManager; }

private:
  void setUpParse(long messageId, MessageInfo* properties);
  void chooseMemoryManager(const MessageInfo* properties);
  void readCodePage(const MessageInfo* properties);
  // Throws ZelConversionException when the property is no integer.
  void readEntityExpansionLimit(const MessageInfo* properties);
  void destroyParseObjects();
  // Hands the current descriptor (null: none) to the handler and, with its
  // namespace setting, to the scanner.
  void useDescriptorForParse(const XMLDictionaryInfo* current);
  // The descriptor on top of the stack, null when the stack is empty.
  const XMLDictionaryInfo* currentDescriptor() const;
  // Makes the writer follow the current descriptor; pushed tells a new
  // descriptor from one that became current again.
  void applyDescriptorToWriter(bool pushed);
  void requireParseInitialised(const char* function) const;
  void requireWriteInitialised(const char* function) const;
  [[noreturn]] void throwWrongOrder(const char* function, const char* insert) const;
  // Called inside a catch block of a scan: marks the worker failed and
  // raises the exception the host should see.
  [[noreturn]] void failScan(const char* function, const char* xercesContext, const char* hostTrace);

  // The name under which the scanner reads a document, worked out again
  // only when the code page, byte order or byte-order mark changes.
  class ScannerEncoding {
  public:
    // Empty: the scanner detects the encoding itself.
    const ZelWstring& nameFor(long ccsid, EEndian endian, long markLength);

  private:
    long ccsid_ = std::numeric_limits<long>::min();  // no code page: nothing known yet
    EEndian endian_ = eEndianNone;
    long markLength_ = 0;
    ZelWstring name_;
  };

  std::unique_ptr<XMLHandler> iHandler;
  std::unique_ptr<xercesc::SecurityManager> iSecurityManager;  // used by iScanner
  std::unique_ptr<xercesc::XMLScanner> iScanner;
  std::unique_ptr<xercesc::XMLStringPool> iUriStringPool;
  std::unique_ptr<xercesc::GrammarResolver> iGrammarResolver;
  std::unique_ptr<xercesc::XMLPScanToken> iScanToken;
  bool iMoreToScan = false;
  std::unique_ptr<xercesc::DTDValidator> iValidator;
  std::unique_ptr<xercesc::MemBufInputSource> iInputSource;  // reused from document to document
  std::vector<XMLByte> iLfForNl;  // the EBCDIC document being scanned, its NL as LF
  ScannerEncoding iScannerEncoding;
  std::unique_ptr<XMLWriter> iWriter;
  bool iParseInitialised = false;
  bool iWriteInitialised = false;
  bool iExceptionOccurred = false;
  EEndian iEncoding = eEndianNone;
  long iCcsid = -1;
  std::vector<const XMLDictionaryInfo*> iDescriptorStack;
  xercesc::MemoryManager* iMemoryManager;
  std::unique_ptr<xercesc::MemoryManager> iOwnedMemoryManager;  // set when the worker made iMemoryManager
  ParseItemFactory iParseItemPool;
};

// Serves the format "XML": creates workers; the caller owns what it gets.
class XMLWorkerFactory : public BitstreamWorkerFactory {
public:
  BitstreamWorker* createBitstreamWorker(const ZelNamedLogSource* owner) override;
  DictionaryInfo* createDescriptor() override;
};

// The library's entry points (status 0 success, 1 failure; out-parameters
// are always written, null on failure).
#define XML_PLUGIN_EXPORT __attribute__((visibility("default")))
extern "C" {
// The factory for the name "XML" (exact, case-sensitive); else null and 1.
XML_PLUGIN_EXPORT int GetFactory(const char16_t* formatName, BitstreamWorkerFactory** factory);
// Always one format.
XML_PLUGIN_EXPORT int GetNumFormats(long* count);
// Index 0: "XML"; else null and 1. The text lives until the library is unloaded.
XML_PLUGIN_EXPORT int GetFormat(long index, const char16_t** name);
// "001"; the text lives until the library is unloaded.
XML_PLUGIN_EXPORT int GetLevel(const char16_t** level);
}

#endif

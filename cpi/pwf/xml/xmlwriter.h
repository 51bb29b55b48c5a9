#ifndef XMLWRITER_H
#define XMLWRITER_H

// Writes one message tree as one XML document into an output buffer, in the
// code page and byte order of the output properties ("ccsid", default 1208
// UTF-8; "encoding", little-endian when its low four bits are 2): byte-order
// mark, XML declaration, prefix text, DOCTYPE, time-stamp comment and root
// wrapper, then the message depth first, then the wrapper's end tag. The
// descriptor (optional) says how each element looks; without one every
// element is written as the tree names it, and the DOCTYPE and time-stamp
// comment only when "docType" and "timestampComment" ask for them (a DOCTYPE
// the parser kept identifiers or an internal subset of is written anyway).
// "indent" breaks lines only where whitespace is no data: between the
// children of an element whose content is elements only (never in mixed or
// simple content, never around a message inside the root wrapper); it and
// "finalNewline" end the document with a line break. A sub-tree bit stream
// ("subTreeBitStream") ends without one: it is the message's bytes only, to
// go inside another document.
//
// Calling order: construct; setNamespacesEnabled (when the descriptor allows
// namespaces), setXMLWireFormatDescriptor, initializeWrite,
// setConverterDateTimeProperties; then setFIMessageTree and write, as often
// as wanted. Another descriptor made current during the write (an embedded
// message of another message set) is applied with
// setXMLWireFormatDescriptor, setConverterDateTimeProperties and
// setNamespaceInfo(true), and the previous one restored with
// setNamespaceInfo(false).
//
// Errors: ZelParserException with CP_XML_INTERNAL_ERROR ("XML Worker
// Internal Error" and the cause), CP_XML_ELEM_NAMESPACE_NOT_ALLOWED and
// CP_XML_ATTR_NAMESPACE_NOT_ALLOWED (a namespaced element or attribute while
// namespaces are off: the text, the XML name, the URI), CP_TREE_ERROR (a
// self-defining name that is not an XML name: a text, the name),
// CP_CONVERSION_ERROR (a character XML 1.0 cannot carry, XMLPrinter), and
// those of the items (writeitem.h, including
// CP_XML_WRITING_UNPARSED_BUFFER_ERROR);
// conversion errors of the host pass through. A write that fails leaves the
// output buffer as it was before the write began, and the dictionaries that
// embedded messages made current are released again.
//
// The writer keeps no copy of the document: text goes through the text
// writer's pending text into the output buffer as it is produced.

#include "bitstreamworker.h"
#include "datacnv.h"
#include "writeitem.h"
#include "xmldictionaryinfo.h"
#include "xmlprinter.h"
#include "xmlworkerutility.h"
#include "zellog.h"
#include "zelwstring.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

class FITreeIterator;
class PWFData;
class TextBufferWriter;
class WorkerInfo;
class WorkerInfoPtr;
class XMLPrefixManager;

// Values in the order first added, each once. A start tag has a few
// attributes and a message uses a few namespaces, which a scan compares at
// once; thousands (a hostile tree) are checked through an index, in linear
// time.
template <class Value, class Hash = std::hash<Value>>
class FirstOccurrences {
 public:
  // False when the value was added before.
  template <class Given>
  [[gnu::always_inline]] bool add(const Given& given) {
    if (iValues.size() < kScanned) {
      for (const Value& known : iValues)
        if (known == given) return false;
    } else {
      if (iIndex.empty()) iIndex.insert(iValues.begin(), iValues.end());
      if (!iIndex.insert(Value(given)).second) return false;
    }
    iValues.emplace_back(given);
    return true;
  }
  const std::vector<Value>& values() const { return iValues; }
  void clear() {
    iValues.clear();
    if (!iIndex.empty()) iIndex = {};  // clearing keeps the buckets, which every reuse would wipe again
  }

 private:
  static constexpr std::size_t kScanned = 16;
  std::vector<Value> iValues;
  std::unordered_set<Value, Hash> iIndex;  // of all values, once beyond kScanned
};

// The attributes written on the open start tag, by namespace and local name.
// A tree may hold one attribute twice, or one the writer writes itself (a
// null marker, xsi:type, an ID or value attribute); written twice, the
// document would not be well-formed. Namespace declarations are left out:
// the prefix manager declares each prefix once.
class StartTagAttributes {
 public:
  // Every view given must outlive the start tag.
  void begin(std::u16string_view elementName) {
    iElementName = elementName;
    iNames.clear();
  }
  // False when the attribute was written on this start tag already.
  [[gnu::always_inline]] bool add(std::u16string_view namespaceURI, std::u16string_view localName) {
    return iNames.add(Name{localName, namespaceURI});  // local names differ more often than namespaces
  }
  std::u16string_view elementName() const { return iElementName; }

 private:
  using Name = std::pair<std::u16string_view, std::u16string_view>;  // local name, namespace
  struct NameHash {
    std::size_t operator()(const Name& name) const {
      const std::hash<std::u16string_view> hash;
      return hash(name.first) * 31 + hash(name.second);
    }
  };

  std::u16string_view iElementName;
  FirstOccurrences<Name, NameHash> iNames;
};

class XMLWriter : public FIWriter, public ZelOwnedLogSource {
public:
  // The tree walk recurses once per element level, with about 600 bytes of
  // stack per level; a deeper tree ends the write with CP_XML_INTERNAL_ERROR
  // ("XML Worker Internal Error", "The message tree is too deep to be
  // written", the limit) long before a host thread's stack (1 MB or more)
  // would run out. The parser accepts the same depth, so what parses writes.
  static constexpr long MAX_TREE_DEPTH = XML_MAX_ELEMENT_DEPTH;

  explicit XMLWriter(const ZelNamedLogSource* owner);
  ~XMLWriter() override;
  XMLWriter(const XMLWriter&) = delete;
  XMLWriter& operator=(const XMLWriter&) = delete;

  // FIWriter. initializeWrite keeps outputProperties (borrowed; null = all
  // defaults), sets *done, registers the message set's preferred prefixes
  // when namespaces are on and reads "subTreeBitStream" (greater than 0:
  // write only the message, no document start or end). write appends the
  // document and returns the number of bytes appended; 0 for an empty tree.
  void initializeWrite(MessageInfo* outputProperties, const BitstreamBuffer* input,
                       const MessageInfo* inputProperties, bool* done) override;
  void setFIMessageTree(const FIMessageTree* tree) override { iMessageTree = tree; }
  const FIMessageTree* getFIMessageTree() const override { return iMessageTree; }
  long write(WritableBitstreamBuffer* output, const std::vector<long>* path, long) override;

  // The descriptor, borrowed; null writes without dictionary.
  virtual void setXMLWireFormatDescriptor(const XMLDictionaryInfo* descriptor) {
    iDescriptor = descriptor;
    iDescriptorChanged = true;
  }
  virtual const XMLDictionaryInfo* getXMLWireFormatDescriptor() const { return iDescriptor; }

  // Hands the message set's date-time settings to the value converter.
  // Throws CP_XML_INTERNAL_ERROR without a descriptor.
  void setConverterDateTimeProperties();
  // enable: a new prefix manager for the current descriptor when it allows
  // namespaces; !enable: drops the manager of the descriptor just left.
  // Throws CP_XML_INTERNAL_ERROR without a descriptor.
  void setNamespaceInfo(bool enable);
  void setNamespacesEnabled(bool enabled) { iNamespacesEnabled = enabled; }
  bool isNamespacesEnabled() const { return iNamespacesEnabled; }

  // The message set's settings; false or the default without descriptor.
  bool getSuppressXMLDecl() const;
  bool getSuppressDocType() const;
  bool getSuppressVRKComment() const;
  bool getEnableVersioningSupport() const;
  std::u16string_view getBoolTrue() const;
  std::u16string_view getBoolFalse() const;
  // The XML declaration's values for the message whose start record is
  // given (null allowed); empty = leave the attribute out. The encoding
  // depends on the text writer of the current write.
  ZelWstring getXMLVersion(const WorkerInfoPtr& startMsgInfo) const;
  ZelWstring getXMLEncoding() const;
  ZelWstring getStandalone(const WorkerInfoPtr& startMsgInfo) const;

private:
  // The text writer and printer of a write into output (kept from the
  // previous write when the code page and byte order are the same).
  void startText(WritableBitstreamBuffer* output, long ccsid, long endian);
  template <class Iterator>
  void writeMessage(Iterator& root);
  void outputDocumentStart(MsgWriteItem& item);
  void outputDocumentEnd(MsgWriteItem& item);
  void outputXMLDeclaration(const WorkerInfoPtr& startMsgInfo);
  void outputDocType(MsgWriteItem& item, const WorkerInfoPtr& startMsgInfo);
  void outputVRKComment();
  bool isRequested(const char16_t* property) const;
  static bool hasRecordedDocType(const WorkerInfoPtr& startMsgInfo);
  void outputProjectDependencies();

  // The tree walk (iterator on the item's element on entry and on return).
  // Iterator is FITreeIterator, or the host's MessageTreeIterator: a final
  // class whose queries inline, so that the walk of the host's own trees
  // makes no virtual calls.
  template <class Iterator>
  void writeTree(Iterator& iterator, WriteItem& item);
  // Moves into the children and back, counting the levels (iIteratorLevel).
  template <class Iterator>
  bool enterChildren(Iterator& iterator);
  template <class Iterator>
  void leaveChildren(Iterator& iterator);
  // The cached definition of the child under iterator; null when the cache
  // does not know it or it is an embedded message (its own dictionary decides).
  template <class Iterator>
  const WriteDefinition* knownChildDefinition(const Iterator& iterator);
  // Most elements of a document are elements of a member the cache knows,
  // with nothing the parser kept around them and a namespace declared by
  // the elements around, whose children are attributes of plain values
  // (string, integer, double, decimal, boolean) and either a plain value
  // (their own, which may also be a date-time, or anonymous children's) or
  // elements: such an element is
  // written here as writeTree would write it, without building its item,
  // its element children as writeTree would write them. Returns false,
  // having written nothing, for any other element.
  template <class Iterator>
  bool writePlainElement(Iterator& iterator, const WriteDefinition& definition);
  // An attribute of a member the cache knows, without namespace and with a
  // plain value, that appendPlainAttribute writes without building its item.
  template <class Iterator>
  bool isPlainAttribute(const Iterator& iterator, const WriteDefinition& definition) const;
  template <class Iterator>
  void appendPlainAttribute(const Iterator& iterator, const WriteDefinition& definition);
  // Whether the child under iterator is the anonymous simple value of its
  // structure (simple content with attributes): no name, no namespace, no
  // definition of its own.
  template <class Iterator>
  bool isAnonymousValue(const Iterator& iterator) const;
  // Such a value of a plain type and without parser records.
  template <class Iterator>
  bool isPlainAnonymousValue(const Iterator& iterator) const;
  // A plain anonymous value in a parent that is not a list and has no value
  // attribute, written here as writeContentChild would write it, without
  // building its item. Returns false, having written nothing, for any other
  // child.
  template <class Iterator>
  bool writePlainValue(const Iterator& iterator, const WriteItem& parent);
  // The name of a self-defining element or attribute comes from the tree and
  // is written as it is: it must be an XML name, without a colon when
  // namespaces are on (the writer chooses the prefixes). Throws
  // CP_TREE_ERROR ("The tree's name is not an XML name", the name).
  void checkTreeName(const WriteItem& item) const;
  bool declaresAllOnMessage(WriteItem& item) const;
  template <class Iterator>
  void declareNamespacesUsedBelow(Iterator& iterator);
  // message: namespaces are on and the item stands for a message.
  void writeStartTagExtras(WriteItem& item, bool message, bool nullMarkerHeld);
  void writeMessageExtras(WriteItem& item);
  // The attribute that marks the item's value null ({namespace, name}; no
  // name when its null encoding writes none). The tree's own attribute of
  // that name stands in for it, so that what the tree holds is written as
  // it is and once.
  using AttributeName = std::pair<std::u16string_view, std::u16string_view>;
  AttributeName nullMarkerName(const WriteItem& item) const;
  void writeNullMarker(const AttributeName& marker);
  template <class Iterator>
  bool holdsAttribute(Iterator& iterator, long listMemberIndex, const AttributeName& name);
  template <class Iterator>
  bool writeAttributeChildren(Iterator& iterator, long listMemberIndex, const ZelWstring& elementPrefix);
  template <class Iterator>
  bool writeAttributeChild(Iterator& iterator, long listMemberIndex, const ZelWstring& elementPrefix);
  template <class Iterator>
  void writeContentChild(Iterator& iterator, WriteItem& parent, long listMemberIndex, long& anonymousValues);
  void writeXsiTypeByPolicy(WriteItem& item);
  void outputStartElementBegin(WriteItem& item, const ZelWstring& prefix);
  void outputEndElement(WriteItem& item, const ZelWstring& prefix);
  // The comments and processing instructions the parser kept before a tag or value.
  void outputPrefixText(const WorkerInfoPtr& record, const char* function, const char* trace);
  void outputRecordPrefixText(const WorkerInfo& record, const char* function, const char* trace);

  // Values and attributes.
  // kind: where the value goes, which decides its escaping.
  void outputPWFData(WriteItem& item, EscapeKind kind);
  void outputNullValue(WriteItem& item, EscapeKind kind);
  template <class Iterator>
  void outputPWFDataAttribute(WriteItem& item, const ZelWstring& prefix, Iterator& iterator);
  template <class Iterator>
  void outputListAttributeValue(WriteItem& item, Iterator& iterator);
  void outputDateTime(WriteItem& item, const PWFData& value, EscapeKind kind);
  // typeIndex: the value's type (-1 none), whose nearest named type the
  // format may need.
  void appendDateTime(const PWFData& value, const char16_t* format, long typeIndex, EscapeKind kind);
  // The own value of the element of a member the cache knows under
  // iterator: a plain value, or a date-time spelled as the member says.
  template <class Iterator>
  void appendMemberValue(const Iterator& iterator, const WriteDefinition& definition);
  // The text of a string, integer, double, decimal or boolean value that is
  // neither null nor nothing.
  void appendPlainValue(const PWFData& value, EscapeKind kind);

  // Namespaces and xsi:type.
  void outputXmlns(const ZelWstring& uri, const ZelWstring& prefix, bool doubleQuotes);
  void outputDefaultNamespace(std::u16string_view name);
  void outputNamespace(std::u16string_view prefix, std::u16string_view current, std::u16string_view previous);
  void outputXsiTypeAttribute(std::u16string_view typeName, const ZelWstring& namespaceURI, bool doubleQuotes);
  void outputXsiTypeAttribute(std::u16string_view value, bool doubleQuotes);
  void outputXsiTypeAttribute(WriteItem& item);
  void outputSOAPEncodingStyleAttribute(bool doubleQuotes);
  // The prefix of uri from the current prefix manager, declared in the open
  // start tag when it is new there.
  void usePrefix(const ZelWstring& uri, ZelWstring& prefix, bool doubleQuotes);
  // A QName value read with a prefix the document bound (an XMLValueInfo
  // record): binds the prefix to the value's namespace in the prefix
  // manager unless the elements around already bind it so, and returns
  // true when the open start tag must declare it (uri, prefix). A value
  // without a prefix read in a default namespace makes that the start tag's
  // default namespace (prefix empty), when the element is written with a
  // prefix (elementPrefixed).
  // elementPrefix is the prefix of the element being started, which cannot
  // be bound again; an element's own value is bound before its prefix is
  // chosen, so that the element's name takes another prefix when the value
  // needs its own.
  bool bindValuePrefix(const WorkerInfoPtr& record, const PWFData& value, const ZelWstring& elementPrefix,
                       bool elementPrefixed, ZelWstring& uri, ZelWstring& prefix);
  // bindValuePrefix for the value of item (the element being started, or
  // an attribute of it) and its anonymous value children (a list's items);
  // the declarations the start tag needs go to the end of
  // iValueDeclarations. Returns how many.
  template <class Iterator>
  std::size_t bindContentValuePrefixes(Iterator& iterator, WriteItem& item, const ZelWstring& elementPrefix,
                                       bool elementPrefixed);
  // Writes the last count of iValueDeclarations into the open start tag and drops them.
  void outputValueDeclarations(std::size_t count);

  // Text output through the printer.
  void append(std::u16string_view text);
  // Escaped as XMLPrinter::appendReplaceStr escapes (content, or an
  // attribute value); refuses a character XML 1.0 cannot carry.
  void appendEscaped(std::u16string_view text, EscapeKind kind);
  // format writes a number's text (at most DataCnv::MAX_NUMBER_TEXT units)
  // to the pointer it gets and returns its length.
  template <class Format>
  void appendNumberText(Format format);
  // " prefix:localName" and open (=" by default) on the open start tag;
  // refuses an attribute written on it already. namespaceURI and localName
  // must outlive the start tag.
  void beginAttribute(const ZelWstring& prefix, std::u16string_view namespaceURI, std::u16string_view localName,
                      std::u16string_view open = u"=\"");
  void noteAttribute(std::u16string_view namespaceURI, std::u16string_view localName);
  [[noreturn, gnu::cold]] void refuseRepeatedAttribute(std::u16string_view localName) const;
  // open, name and close in one go when they fit the pending text.
  void appendTag(std::u16string_view open, std::u16string_view name, std::u16string_view close);
  // The same with the name's prefix (null: none).
  void appendTag(std::u16string_view open, const ZelWstring* prefix, std::u16string_view name,
                 std::u16string_view close);
  void appendQualifiedName(const ZelWstring& prefix, std::u16string_view localName);
  void beginStartTag();
  void beginEndTag();
  void breakLine(long depth);
  // Whether the children of the element the iterator stands on go on lines
  // of their own: it has child elements, and neither a value of its own nor
  // text among them, and its type's content is not mixed or open.
  template <class Iterator>
  bool indentsChildren(Iterator& iterator, const WriteItem& item);

  [[noreturn]] void raise(long line, const char* function, std::uint32_t message,
                          std::initializer_list<std::u16string_view> inserts) const;
  [[noreturn]] void raiseInternal(long line, const char* function, const char* cause) const;

  MessageInfo* iOutputProperties = nullptr;
  const XMLDictionaryInfo* iDescriptor = nullptr;
  const FIMessageTree* iMessageTree = nullptr;
  std::unique_ptr<TextBufferWriter> iTextWriter;
  std::optional<XMLPrinter> iPrinter;  // over iTextWriter, made anew for each write
  DataCnv iDataCnv;
  bool iNamespacesEnabled = false;
  std::vector<std::unique_ptr<XMLPrefixManager>> iPrefixManagers;
  XMLPrefixManager* iPrefixManager = nullptr;
  bool iSubtreeBitstream = false;
  // The document is declared XML 1.1: its control characters are written as references.
  bool iXml11 = false;
  EOutputXsiTypePolicy iXsiTypePolicy = eXsiTypeNever;
  long iDepth = 0;                      // open writeTree calls
  // With "indent": per open element, whether its children are indented and
  // whether one has been written.
  struct OpenLayout {
    bool indented;
    bool childWritten;
  };
  std::vector<OpenLayout> iLayout;
  StartTagAttributes iStartTagAttributes;
  long iIteratorLevel = 0;              // the iterator's level below the message
  std::vector<std::pair<ZelWstring, ZelWstring>> iValueDeclarations;  // namespace URI and prefix
  // The default namespace the open start tags bind for QName values ("": none).
  ZelWstring iDefaultNamespace;
  std::deque<ZelBufferedWstring<16>> iElementPrefixes;  // by depth; a deque keeps references on growth
  ZelBufferedWstring<64> iValueText;    // one converted value at a time
  std::vector<const PWFData*> iPlainValues;  // an element's anonymous values, while writePlainElement writes it
  WriteDefinitionCache iDefinitions;    // members of the write's own descriptor
  std::uint64_t iNamespaceLooks = 0;    // declareNamespacesUsedBelow's calls, numbering them
  bool iDescriptorChanged = true;       // set since the cache was last reset
};

#endif

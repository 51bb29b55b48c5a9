#ifndef XMLHANDLER_H
#define XMLHANDLER_H

#include "datacnv.h"
#include "elementmatchcache.h"
#include "parseitem.h"
#include "pwfdata.h"
#include "workerinfo.h"
#include "xmlworkerutility.h"
#include "zelexception.h"
#include "zellog.h"
#include "zelwstring.h"

#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/framework/XMLEntityHandler.hpp>
#include <xercesc/framework/XMLErrorReporter.hpp>
#include <xercesc/validators/DTD/DocTypeHandler.hpp>

#include <array>
#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

class BitstreamBuffer;
class FIHandler;
class MessageInfo;
class XMLDictionaryInfo;
class XMLDictionaryView;

XERCES_CPP_NAMESPACE_BEGIN
class XMLAttr;
class XMLScanner;
XERCES_CPP_NAMESPACE_END

// Receives the scanner's events for one document at a time and reports the
// message tree to the host's FIHandler: elements are matched against the
// descriptor (or become self-defining fields), attributes and character data
// become typed values, and the prolog, comments and processing instructions
// travel in worker-info records. The worker creates it, registers it for all
// four scanner interfaces and sets its host callback, descriptor, scanner
// and buffer before scanning.
//
// Errors, all raised as ZelParserException out of the scanner callbacks:
// - every scanner error (warnings included): CP_XML_XERCES_PARSER_EXCEPTION
//   with the inserts: a fixed text, the error code, the public id, line,
//   column, the error text, the message's trace name, the current element;
// - character data inside the root wrapper: CP_XML_ROOTELEMENT_DATA_ERROR
//   (inserts: a fixed text, the characters, the current element);
// - a value the host cannot convert: CP_XML_DATA_READ_CONVERSION_ERROR
//   (inserts: a fixed text, the message, the element, the logical type's
//   name, then the key, number and inserts of the conversion error);
// - a union value no member type accepts: CP_XML_UNRESOLVED_UNION_ERROR
//   (a fixed text, the element, the type); a union member that is a list
//   inside a list: CP_XML_LIST_OF_LIST_NOT_ALLOWED (a fixed text, the
//   element, the list type, the member type);
// - CP_XML_INTERNAL_ERROR ("XML Internal Error" and the cause) for a refused
//   startMessageContent, an item of unknown role at an element end, an
//   invalid logical type, and the limits below.
//
// Limits against hostile documents (the scanner's entity-expansion limit
// is the worker's): elements nested deeper than kMaxElementDepth, and more
// character data than the document's length plus kEntityTextAllowance
// (only entity expansion can produce more text than the document holds),
// raise CP_XML_INTERNAL_ERROR with the cause, the limit and the element;
// so do a dictionary's nameless groups nested deeper than kMaxGroupNesting,
// or more than kMaxGroupsSearched of them entered by one search.
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
  // Deepest element nesting accepted: the writer's limit (the scanner also
  // slows down with depth).
  static constexpr std::size_t kMaxElementDepth = XML_MAX_ELEMENT_DEPTH;
  // Deepest nesting of nameless groups searched for an element's or an
  // attribute's member: as deep as elements may nest, one frame of the
  // recursive searches a level. A dictionary nests no deeper unless it holds
  // a cycle.
  static constexpr int kMaxGroupNesting = XML_MAX_ELEMENT_DEPTH;
  // Nameless groups entered by one search: a group referenced twice is
  // searched twice, so groups that each hold the next twice cost a power of
  // their depth. The compile bounds a type's members so expanded at 100,000.
  static constexpr std::size_t kMaxGroupsSearched = 100000;
  // Character data beyond the document's own length that entity references
  // may add, in UTF-16 units.
  static constexpr std::size_t kEntityTextAllowance = std::size_t{4} << 20;

  // messageId is kept as the current message's tag id until a message
  // element is recognised. properties, memoryManager and itemPool are
  // borrowed and must outlive the handler. Reads "subTreeBitStream" from the
  // properties (throws ZelConversionException when it is not an integer) and
  // KOBR_IGNORE_XSI_TYPE from the environment.
  XMLHandler(const ZelNamedLogSource* owner, long messageId, MessageInfo* properties,
             xercesc::MemoryManager* memoryManager, ParseItemFactory* itemPool);
  ~XMLHandler() override;
  XMLHandler(const XMLHandler&) = delete;
  XMLHandler& operator=(const XMLHandler&) = delete;

  // Set-up by the worker.
  void setFIHandler(FIHandler* handler) { fiHandler = handler; }
  FIHandler* getFIHandler() const { return fiHandler; }
  // Null parses without dictionary.
  void setXMLWireFormatDescriptor(const XMLDictionaryInfo* dictionary);
  const XMLDictionaryInfo* getXMLWireFormatDescriptor() const { return descriptor; }
  // Remembers the document's length for the character-data limit; the
  // scanner reads the bytes.
  void setBuffer(const BitstreamBuffer* buffer, long ccsid, EEndian endian, long markLength);
  // Hands the message set's date-time settings to the value conversion.
  void SetDateTimeProperties();
  // Namespaces are processed exactly when the dictionary's format version is
  // above 3 and its message set enables them; without dictionary they stay
  // as they were (off unless set before).
  void setNamespaceInfo();
  bool isNamespacesEnabled() const { return namespacesEnabled; }
  void setScanner(xercesc::XMLScanner* xmlScanner) { scanner = xmlScanner; }
  xercesc::XMLScanner* getScanner() const { return scanner; }
  bool isSubtreeBitstream() const { return subtreeBitstream; }
  // The type member whose containing type is the subtree's parent type.
  void setSubtreeMemberIndex(long memberIndex) { subtreeMemberIndex = memberIndex; }

  // True while the innermost open element is a structure still waiting for
  // its simple value: the worker then keeps scanning instead of returning to
  // the host.
  // Asked after every scanner token, so it is kept inline.
  bool isStructureAwaitingValue() const {
    const ParseItem* item = top();
    if (!item || (item->getElementKind() != eKindStructure && item->getElementKind() != eKindTypedStructure))
      return false;
    const ERender render = item->getRender();
    if (render != erElement && render != erElementWithIdAttribute) return false;
    return item->getValueLogicalType() > 0 && !item->isDataSent();
  }
  // The open items, bottom (the document) first; valid until the next event.
  std::size_t getDepth() const { return depth; }

  // Texts for trace lines and exception inserts: the dictionary's trace text
  // of an id, of the message set and of the current message (empty without
  // dictionary or id), and the element being parsed ("uri:name" when it has
  // a namespace; empty before the first element).
  ZelWstring traceGetElementName(long id) const;
  ZelWstring traceGetMsgSet() const;
  ZelWstring traceGetMsg() const;
  ZelWstring traceGetCurXMLElement() const;
  // Gives e, unless it has one, the scanner's line and column and the path
  // of the open elements ("/Payment/Amount"), for the message people read.
  void locate(ZelException& e) const;

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

  // XMLErrorReporter: error raises (see the class comment).
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

  // DocTypeHandler: the internal subset is rebuilt declaration by declaration.
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
  using Text = std::u16string_view;

  // ---- Items and element events (xmlhandler.cpp)
  ParseItem* top() const { return topItem; }
  // Opens an item on the stack: the one an earlier element left at that
  // depth, re-initialised with the arguments of a ParseItem constructor, or
  // a new one. Throws the nesting limit error, and what the initialisation throws.
  template <class... Args>
  ParseItem& push(Args&&... args) {
    if (depth > kMaxElementDepth)
      throwLimitError("XMLHandler::startElement", "Elements are nested deeper than the limit", kMaxElementDepth);
    if (depth == itemStack.size())
      itemStack.push_back(std::make_unique<ParseItem>(std::forward<Args>(args)...));
    else
      itemStack[depth]->ReInitialiseParseItem(std::forward<Args>(args)...);
    topItem = itemStack[depth++].get();
    return *topItem;
  }
  // The item stays for the next element at its depth.
  void pop() {
    --depth;
    topItem = depth == 0 ? nullptr : itemStack[depth - 1].get();
  }
  // Closes every item; a deep document's items beyond PARSE_ITEM_POOL_LIMIT go.
  void popAll();
  // The facts of a member (eDefinedAsTypeMember) or element definition,
  // looked up in the dictionary on first use (learnDefinition).
  const ParseItemDefinition& knownDefinition(EWhereDefined whereDefined, long index) {
    ParseItemDefinition& definition =
        (whereDefined == eDefinedAsTypeMember ? memberDefinitions : tagDefinitions)[static_cast<std::size_t>(index)];
    if (definition.whereDefined == eWhereDefinedNotSet) learnDefinition(whereDefined, index, definition);
    return definition;
  }
  void learnDefinition(EWhereDefined whereDefined, long index, ParseItemDefinition& definition);
  void processElement(const xercesc::XMLElementDecl& declaration, unsigned int uriId, const XMLCh* name,
                      const ZelWstring& uri, const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs, XMLSize_t attrCount);
  // The definition of an element under a parent item: remembered from an
  // earlier element of the same name, or searched (getDefFromXMLStartElement).
  // True when a member was remembered: the element then carries its name.
  // processing: how loosely the wildcards the search went through match
  // the element (Strict when it went through none). A search is remembered
  // unless it read the attributes or told the host about messages tried.
  bool findDefinition(const xercesc::XMLElementDecl& declaration, unsigned int uriId, ParseItem& parent,
                      long parentTypeIndex, const XMLCh* name, const ZelWstring& uri,
                      const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs, XMLSize_t attrCount,
                      EWhereDefined& whereDefined, long& index, ContentProcessing& processing);
  // Whether the element stands for its parent's null value (null encoding
  // by element); asked of every element, so the common answer is inline.
  bool isNullElement(const ParseItem& parent, const XMLCh* name) const {
    return parent.getNullEncoding() == eNULLElement && isParentsNullElement(parent, name);
  }
  bool isParentsNullElement(const ParseItem& parent, const XMLCh* name) const;
  // The parent's last child member when it occurs at most once: a sibling
  // of its name after it belongs to what follows it (a wildcard, say), or
  // to it only when nothing else takes the element. -1 otherwise.
  long spentMember(const ParseItem& parent) const;
  bool isSpentMember(const ParseItem& parent, long member) const;
  void deferEnd(ParseItem& item);
  // Puts pending comment and processing-instruction text into property 0 of
  // the record, creating it when the handle is null.
  void assignPrefix(WorkerInfoPtr& info) {
    if (prefixPending) movePrefixTo(info);
  }
  void movePrefixTo(WorkerInfoPtr& info);
  // QName and NOTATION values, lists and unions of them: the bindings in scope are
  // kept while the element (or attribute) is open, since an element's own
  // declarations are gone when its end, and with it its value, arrives.
  // Decided once per definition (ValueTraits), asked at every element.
  bool hasQualifiedNameValue(ParseItem& item) const {
    return namespacesEnabled && valueTraitsOf(item).qualifiedNames;
  }
  void keepValueScope();
  // Makes the record an XMLValueInfo that carries the namespace the value's
  // prefix (or the default namespace, when it has none) stood for in the
  // kept scope; nothing when that is no namespace.
  void noteValueNamespace(Text value, WorkerInfoPtr& info) const;
  // The scanner's text for a namespace URI id; "EMPTY" gives "".
  void getNamespace(unsigned int uriId, ZelWstring& text) const;
  // The same, fetched from the scanner once per id and document, and kept
  // in place for the document: items borrow it.
  const ZelWstring& namespaceText(unsigned int uriId) const;
  // The namespace URI of an element or attribute by the scanner's id, empty
  // when namespaces are off; valid for the document. Neighbouring elements
  // mostly share theirs, and so do the attributes: each remembers the last.
  struct LastNamespace {
    unsigned int uriId = ~0u;
    const ZelWstring* text = nullptr;
  };
  const ZelWstring& namespaceOf(unsigned int uriId, LastNamespace& last) const {
    if (!namespacesEnabled) return kNoNamespace;
    if (uriId != last.uriId) {
      last.text = &namespaceText(uriId);
      last.uriId = uriId;
    }
    return *last.text;
  }
  const ZelWstring& attributeNamespace(const xercesc::XMLAttr& attribute) const {
    return namespaceOf(attribute.getURIId(), lastAttributeNamespace);
  }
  // Traces "Throwing exception" with the key and the first insert, then
  // throws it located (see locate).
  [[noreturn]] void raise(const ZelParserException& e) const;
  [[noreturn]] void throwInternalError(const char* function, const char* cause) const;
  [[noreturn]] void throwLimitError(const char* function, const char* cause, std::size_t limit) const;
  // A nameless member whose type may hold attribute members: not a union's
  // member types, which nest as deep as the unions do.
  bool holdsNestedAttributes(const prf_SMD_TYPEMEMBER_DEFINITION& member) const;
  void checkGroupNesting(int nesting) const {
    if (nesting == 0) groupsSearched = 0;
    if (nesting > kMaxGroupNesting)
      throwLimitError("XMLHandler::getDefFromXMLStartElement", "Nameless groups are nested deeper than the limit",
                      kMaxGroupNesting);
    if (nesting > 0 && ++groupsSearched > kMaxGroupsSearched)
      throwLimitError("XMLHandler::getDefFromXMLStartElement", "More nameless groups are searched than the limit",
                      kMaxGroupsSearched);
  }

  // ---- Matching and attributes (xmlhandlermatch.cpp)
  // The type whose members an item's children are: for a document item
  // matched as a type member the type containing that member, else the
  // item's type; -1 when none.
  long contentTypeIndex(const ParseItem& item) const;
  // Open content that skips its elements matches nothing, and a type whose
  // members do not match an element that such content would take looks no
  // further (no global declaration); processing says which wildcard applied.
  bool getDefFromXMLStartElement(long parentTypeIndex, const XMLCh* name, const ZelWstring& uri,
                                 const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs, XMLSize_t attrCount,
                                 EWhereDefined& whereDefined, long& index, ContentProcessing& processing,
                                 int nesting);
  // Whether the open item's content is matched laxly: its values then stay
  // text when they do not convert.
  bool isLaxContent() const {
    return relaxedContent && top() && top()->getContentProcessing() == ContentProcessing::Lax;
  }
  bool matchMessageDefAgainstXMLStartElement(long tagIndex, const XMLCh* name, const ZelWstring& uri,
                                             const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs,
                                             XMLSize_t attrCount) const;
  // Whether a member that stands for an element of the same XML name matches
  // the element: by namespace, and for renders 2 and 4 by its ID attribute.
  bool memberMatchesElement(long memberIndex, const ZelWstring& uri,
                            const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs, XMLSize_t attrCount) const;
  // Whether an attribute with this local name, value and namespace index identifies an element.
  bool hasIdentifyingAttribute(const ZelWstring& idName, const ZelWstring& idValue, long idNamespace,
                               const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs, XMLSize_t attrCount) const;
  // The attribute member of the type (or of its nested groups) with the
  // name and namespace; -1 when there is none.
  long getTypeMemberIndexFromXMLAttributeName(long typeIndex, const XMLCh* name, const ZelWstring& uri) const;
  // The attribute members of a type and its nested groups, in the order a
  // search goes through them; learnt once per type.
  struct AttributeMember {
    std::u16string_view name;  // the descriptor's
    long index;
    long elementIndex;
  };
  const std::vector<AttributeMember>& attributeMembersOf(long typeIndex) const;
  void collectAttributeMembers(long typeIndex, std::vector<AttributeMember>& members, int nesting) const;
  bool ignoreAttribute(const XMLCh* attributeName, const ZelWstring& uri) const;
  long getNextSimpleTypeMemberIndex(const ParseItem& item) const;
  bool isMixedContent(long typeIndex) const;
  // simpleMemberFrom the type's first member (the type must exist).
  long firstSimpleMember(long typeIndex) const;
  // The first nameless member with a simple type from member m on, looking
  // into nested groups; -1 when there is none.
  long simpleMemberFrom(long m) const;
  void setLastSimpleChildMemberIndex(const ParseItem& item) const;
  void processAttribute(const xercesc::XMLAttr& attribute);
  // The value of an element (from a value attribute) or of an attribute
  // field: a list, a union (non-empty text) or a single converted value.
  void sendAttributeValue(ParseItem& item, Text value);
  void sendNullValue(ParseItem& item, const WorkerInfoPtr& info);
  // Sends the attributes of the item's type that have a default or fixed
  // value and were not among the element's attributes (presentAttributeMembers,
  // kept only for types with such attributes, the only ones asked).
  void supplyAbsentAttributes(ParseItem& item);
  // The attribute members of a type (its nested groups' included) that
  // have a default or fixed value; learnt once per type.
  const std::vector<long>& attributesWithValuesOf(long typeIndex) const;
  void collectAttributesWithValues(long typeIndex, std::vector<long>& members, int nesting) const;

  // ---- Character data and values (xmlhandlervalue.cpp)
  void resetDocCharacters(bool flagged);
  // resetDocCharacters at an element start or end (flagged): most of these
  // find nothing to send, which is answered here without the call.
  void flushCharactersAtElement() {
    const ParseItem* item = top();
    const bool nothingToSend = item && characters.empty() &&
                               (item->isDataSent() || ((item->getValueShape() == ValueShape::Single ||
                                                        item->getValueShape() == ValueShape::Union) &&
                                                       item->getValueLogicalType() < 1));
    if (!nothingToSend) resetDocCharacters(true);
  }
  // The value of a simple element's text; an empty one takes the element's
  // default or fixed value.
  PWFData& convertElementText(Text text, ParseItem& item);
  // The element's default or fixed value, else text.
  Text valueConstraintOr(Text text, const ParseItem& item) const;
  // Decided once per item (and per known definition).
  const ValueTraits& valueTraitsOf(ParseItem& item) const {
    if (item.getValueShape() == ValueShape::NotKnown) learnValueTraits(item);
    return item.getValueTraits();
  }
  void learnValueTraits(ParseItem& item) const;
  // Asks convertStringToData for the item's own logical type (any other
  // type index, row 0 included, names a type of the dictionary).
  static constexpr long kItemsOwnType = -1;
  // The value of a text for the item (typeIndex kItemsOwnType: of the item's
  // logical type, else of that type's), or a String without item. The value
  // lives in the handler until the next conversion.
  PWFData& convertStringToData(Text text, ParseItem* item, long typeIndex);
  // As convertStringToData, but a failed conversion leaves as the host's
  // ZelConversionException.
  PWFData& convertValue(Text text, ParseItem* item, long typeIndex);
  // A String value of the text, in the handler until the next conversion.
  PWFData& stringValueOf(Text text);
  // The text with whitespace replaced or collapsed by the rule
  // (DictCodes::eWhiteSpace*): the text itself when that changes nothing,
  // else normalisedText.
  Text normaliseWhiteSpace(Text text, std::uint8_t rule);
  // Whether a writer gives the value back as the text it was converted from;
  // where not, the value keeps the text as its lexical form. typeIndex: as
  // convertStringToData takes it (kItemsOwnType: the item's own type).
  bool isWrittenAsRead(const PWFData& value, Text text, ParseItem& item, long typeIndex, bool readAsBase64) const;
  // Whether binary text for the item is base64: a union member or list item
  // type (typeIndex not kItemsOwnType) of base64Binary or hexBinary says so
  // itself, otherwise the item's encoding.
  bool readsBase64(const ParseItem& item, long typeIndex) const;
  // Whether the text, after the type's whitespace rule, is a value of the
  // type's built-in type (or one of the message set's boolean spellings)
  // that a string type's enumeration lists: what decides a union's member,
  // since the conversions are lenient.
  bool isLexicalFormOf(long typeIndex, Text text);
  // Where a converted value of the type is kept.
  PWFData& valueSlot(ELogicalType type);
  bool stringAsBoolean(Text text) const;
  // An xsi:type value is a qualified name: whitespace around it does not count.
  const XMLCh* trimmedQualifiedName(const XMLCh* value);
  long getTypeIndexFromXsiTypeAttribute(const XMLCh* value);
  ZelWstring resolveXsiTypePrefix(const XMLCh* value);
  // The URI id bound to the value's prefix and the local name's offset.
  unsigned int resolveQualifiedName(const XMLCh* value, std::size_t& localNameOffset);
  // Sends one data event per item of a list value: of the item's own list
  // type (unionMemberList -1), or of a list a union chose, whose type the
  // events then carry.
  void resolveListType(ParseItem& item, Text text, long unionMemberList);
  std::unique_ptr<ParseItem> obtainListTokenItem(const ParseItem& item, long itemTypeIndex);
  // The list a union value is an item of: its type (-1: the value is no
  // list item), and whether a union chose that list. Only then do the
  // value's data events name the list: a plain list's items carry -1.
  struct EnclosingList {
    long typeIndex = -1;
    bool chosenByUnion = false;
    long reportedType() const { return chosenByUnion ? typeIndex : -1; }
  };
  bool resolveUnionType(ParseItem& item, Text text, EnclosingList list, bool testOnly);
  long getNextUnionMemberIndex(ParseItem& item, std::vector<long>& stack) const;
  long walkUnionMembers(long memberIndex, std::vector<long>& stack) const;
  bool resolveUnionOfList(ParseItem& item, Text text, long listTypeIndex);

  // ---- Prolog (xmlhandlerprolog.cpp)
  void appendPrefixMarkup(const char16_t* opener);
  enum class LiteralKind { Identifier, EntityValue, AttributeValue };
  void appendLiteral(const XMLCh* value, LiteralKind kind);
  void appendExternalIds(const XMLCh* publicId, const XMLCh* systemId);

  FIHandler* fiHandler = nullptr;
  // The open items are the first depth ones, bottom (the document) first.
  std::vector<std::unique_ptr<ParseItem>> itemStack;
  std::size_t depth = 0;
  ParseItem* topItem = nullptr;  // the innermost open item, asked for several times an event
  long currentMessageTagId;
  const long initialMessageTagId;  // currentMessageTagId at each document's start
  MessageInfo* messageInfo;
  WorkerInfoPtr startMsgInfo;
  WorkerInfoPtr endMsgInfo;
  const XMLDictionaryInfo* descriptor = nullptr;
  std::unique_ptr<XMLDictionaryView> view;  // of descriptor
  std::vector<ParseItemDefinition> memberDefinitions;  // by member index
  std::vector<ParseItemDefinition> tagDefinitions;     // by tag index
  // simpleMemberFrom(first member) by type index, learnt on first use.
  static constexpr long kNotLearnt = -2;
  mutable std::vector<long> firstSimpleMembers;
  // Lists learnt per type index on first use; a type index beyond the table
  // (a corrupt dictionary) has none.
  template <class T>
  class ListsByType {
  public:
    void reset(std::size_t types) { entries.assign(types, Entry()); }
    template <class Collect>
    const std::vector<T>& of(long typeIndex, Collect collect) {
      static const std::vector<T> none;
      if (static_cast<std::size_t>(typeIndex) >= entries.size()) return none;
      Entry& entry = entries[static_cast<std::size_t>(typeIndex)];
      if (!entry.learnt) {
        entry.items.clear();  // of a collection a limit error ended
        collect(entry.items);
        entry.learnt = true;
      }
      return entry.items;
    }

  private:
    struct Entry {
      bool learnt = false;
      std::vector<T> items;
    };
    std::vector<Entry> entries;
  };
  mutable std::size_t groupsSearched = 0;  // by the search under way (checkGroupNesting)
  mutable ListsByType<long> attributesWithValues;
  mutable ListsByType<AttributeMember> attributeMembers;
  std::vector<long> presentAttributeMembers;  // of the element being started
  DataCnv dataCnv;
  bool namespacesEnabled = false;
  // The descriptor has open content that is matched laxly or skipped.
  bool relaxedContent = false;
  bool subtreeBitstream = false;
  long subtreeMemberIndex = -1;
  bool ignoreXsiType;
  xercesc::MemoryManager* memoryManager;
  ParseItemFactory* itemPool;
  ZelBufferedWstring<16> characters;
  ZelBufferedWstring<16> setAsideWhitespace;  // a run's whitespace before its first entity reference
  xercesc::XMLScanner* scanner = nullptr;
  long deferredEndWhereDefined = -1;
  long deferredEndTagId = -1;
  ZelBufferedWstring<16> deferredEndName;
  ZelBufferedWstring<16> deferredEndNamespace;
  WorkerInfoPtr deferredEndWorkerInfo;
  bool prefixPending = false;
  ZelBufferedWstring<16> prefixText;
  ZelBufferedWstring<16> internalSubset;

  // Limits of the current document.
  std::size_t documentLength = 0;
  std::size_t documentTextUnits = 0;
  // Scratch buffers and values reused from event to event: strings keep
  // their storage, so String values cost no allocation once warm.
  PWFData stringValue;
  // One value per logical type, so that each keeps its kind of storage.
  std::array<PWFData, eLogicalDecimal + 1> typedValues;
  ZelBufferedWstring<64> normalisedText;
  ZelWstring qualifiedNameText;
  // keepValueScope's bindings: prefix id and URI id, innermost first.
  std::vector<std::pair<unsigned int, unsigned int>> valueScope;
  mutable ZelWstring writtenText;
  static const ZelWstring kNoNamespace;
  // namespaceText's texts by the scanner's URI id; an entry holds for the
  // document of its number (the ids hold for one document). Each in a
  // place of its own, so that the open items' references stay valid while
  // the table grows.
  struct NamespaceText {
    unsigned long document = 0;
    ZelWstring text;
  };
  mutable std::vector<std::unique_ptr<NamespaceText>> namespaceTexts;
  unsigned long documentNumber = 0;
  LastNamespace lastElementNamespace;
  mutable LastNamespace lastAttributeNamespace;
  ZelWstring attributeFieldName;
  std::unique_ptr<ParseItem> temporaryItem;  // attribute fields and mixed-content values
  ElementMatchCache matchCache;
  NamedMatchCache namedMatches;  // of descriptor
  // Set by a search whose answer depends on more than the element's name,
  // namespace and parent type (its attributes, the messages the host was
  // told of, the member its previous sibling took).
  mutable bool searchReadContext = false;
};

#endif

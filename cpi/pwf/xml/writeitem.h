#ifndef WRITEITEM_H
#define WRITEITEM_H

// The writer's view of one element of a message tree while it is written:
// the dictionary definition it stands for, how it is rendered, its XML name
// and namespace, its value and the records the parser kept with it.
//
// An item borrows everything it answers from: texts, the value and the
// records point into the tree (valid while the tree is unchanged, as
// FITreeIterator promises) or into the descriptor (valid while the
// descriptor lives). Items live on the writer's stack for the visit of one
// element, so they stay small and copy nothing of the element.
//
// Null encodings (XMLItem::getNullEncoding and its value) are looked up for
// null values only; other items answer eNULLNone.
//
// Errors (ZelParserException, source "writeitem"): an element of kind 4 (an
// unparsed bitstream) raises CP_XML_WRITING_UNPARSED_BUFFER_ERROR ("The XML
// worker cannot write out an unparsed buffer"). An index outside the
// descriptor's tables raises the CheckedVector error.

#include "xmlitem.h"
#include "zelwstring.h"

#include <cstdint>
#include <string_view>
#include <vector>

class FITreeIterator;
class PWFData;
class WorkerInfoPtr;

// What the dictionary says about a defined element, looked up once.
struct WriteDefinition {
  const prf_XML_TAG_DEFINITION* element = nullptr;
  const prf_XML_TYPEMEMBER_DEFINITION* member = nullptr;
  ERender render = erUndefined;
  long tagIndex = -1;                       // the element definition, -1 none
  long typeIndex = -1;                      // a member's type, -1 none (or an element)
  const ZelWstring* namespaceURI = nullptr;  // the element definition's namespace, null none
  std::u16string_view xmlName;              // the element's or else the member's XML name
  // The writer's look at a whole message for its namespaces that last took
  // this definition's namespaces (0 none): each definition is looked at once.
  mutable std::uint64_t namespaceLook = 0;
};

// The type-member definitions of one dictionary, resolved on first use: a
// document repeats a few members many times, and each element would
// otherwise look its member up in three dictionary tables again. Entries
// point into the dictionary, so the cache serves only the dictionary given
// to reset, which must outlive the entries (reset again before it goes).
// An entry stays at its address until the next reset: the writer holds a
// child's definition while the grandchildren are looked up.
class WriteDefinitionCache {
public:
  // Forgets every entry and serves dictionary from now on (null: none).
  void reset(const XMLDictionaryInfo* dictionary) {
    dictionary_ = dictionary;
    members_.assign(dictionary ? dictionary->getMemberCache().size() : 0, WriteDefinition{});
  }
  // The definition of the member in row of dictionary; null when the cache
  // serves another dictionary. Raises the CheckedVector error for a row
  // outside the dictionary's tables.
  const WriteDefinition* member(const XMLDictionaryInfo& dictionary, long row) {
    if (&dictionary != dictionary_) return nullptr;
    if (static_cast<std::size_t>(row) < members_.size() && members_[row].member) return &members_[row];
    return &resolveMember(row);
  }

private:
  const WriteDefinition& resolveMember(long row);

  const XMLDictionaryInfo* dictionary_ = nullptr;
  std::vector<WriteDefinition> members_;  // by member row; member null = not resolved yet
};

class WriteItem : public XMLItem {
public:
  // Builds the item for the element under position. dictionary may be null
  // (every element is then self-defining). listMemberIndex: the parent's
  // type-member index when the parent's value is a list and the parent is a
  // type member, else -1; list items take their format and encoding from it.
  // Position is FITreeIterator, or the host's MessageTreeIterator, whose
  // queries the compiler can then inline (the writer's fast path).
  // definitions, when given, answers for members of its dictionary.
  template <class Position>
  WriteItem(const ZelNamedLogSource* owner, const XMLDictionaryInfo* dictionary, const Position& position,
            long listMemberIndex, WriteDefinitionCache* definitions = nullptr);
  ~WriteItem() override;
  WriteItem(const WriteItem&) = delete;
  WriteItem& operator=(const WriteItem&) = delete;

  // The render the item of the element under position would have, decided
  // as the constructor decides it, without building the item: the tree
  // walk asks it of every child to find the attributes. Raises the
  // constructor's errors.
  template <class Position>
  static ERender renderOf(const XMLDictionaryInfo* dictionary, const Position& position,
                          WriteDefinitionCache* definitions = nullptr) {
    if (const WriteDefinition* cached = cachedDefinitionOf(dictionary, position, definitions)) return cached->render;
    return resolveRenderOf(dictionary, position, definitions);
  }
  // The cached definition of the element under position when it is a type
  // member whose row the tree gives and definitions serves dictionary; else
  // null. Inline: the tree walk asks it of every child. Raises the
  // CheckedVector error for a row outside the dictionary.
  template <class Position>
  static const WriteDefinition* cachedDefinitionOf(const XMLDictionaryInfo* dictionary, const Position& position,
                                                   WriteDefinitionCache* definitions) {
    if (!definitions || !dictionary || position.getMemberId() < 1) return nullptr;
    const long row = position.getMemberIndex();
    return row >= 0 ? definitions->member(*dictionary, row) : nullptr;
  }

  // Where the definition of an element with these ids, kind and explicit
  // type comes from (the item's getWhereDefined).
  static EWhereDefined whereDefinedOf(const XMLDictionaryInfo* dictionary, long memberId, std::uint16_t kind,
                                      long tagId, long typeIndex);

  ERender getRender() const override { return iRender; }
  long getTagId() const { return iTagId; }
  long getMemberId() const { return iMemberId; }
  // The list item type index; 0 or more when the element's value is a list
  // (its items are its anonymous children).
  long getItemType() const { return iItemTypeIndex; }
  bool isList() const { return iItemTypeIndex >= 0; }
  // The explicit type index the tree gave the element (its xsi:type), -1 none.
  long getExplicitTypeIndex() const { return iTypeIndex; }

  // The XML name: from the dictionary for defined elements, else the tree's
  // name (without its leading "@"). Zero-terminated.
  std::u16string_view getXMLName() const { return iXMLName; }
  // The tree's namespace URI; for a defined element without one, its
  // element definition's. Empty = no namespace.
  const ZelWstring& getNamespaceURI() const { return *iNamespaceURI; }
  const PWFData& getValue() const { return *iValue; }
  bool isBitStream() const { return iIsBitStream; }
  const WorkerInfoPtr& getStartWorkerInfo() const { return *iStartWorkerInfo; }
  const WorkerInfoPtr& getDataWorkerInfo() const { return *iDataWorkerInfo; }
  const WorkerInfoPtr& getEndWorkerInfo() const { return *iEndWorkerInfo; }

  // A type member or element definition of class 'M'.
  bool isMessage() const;
  // The date-time format of a DateTime value; null when none applies.
  const char16_t* getFormat();
  // The encoding of a Binary value (never CDATA for renders 1, 3 and 4);
  // edeUndefined for other values. A value of a hexBinary or base64Binary
  // union member is written as that member reads it, so that the same
  // member takes it again.
  EDataEncoding getDataEncoding();
  // Makes this item, an anonymous value (the simple content of a complex
  // type), spelled as the definition of the element that holds it says: its
  // binary encoding and date-time format, which the parser read the value
  // with. Items with a definition of their own keep theirs.
  void takeValueRulesOf(const WriteItem& holder);
  // ID attribute (renders 2 and 4) and value attribute (renders 3 and 4)
  // names and the ID attribute's value; empty when the dictionary has none.
  std::u16string_view getIDAttributeName() const;
  std::u16string_view getIDAttributeValue() const;
  std::u16string_view getValAttributeName() const;
  // Namespace URIs of the ID and value attributes; empty = no namespace.
  const ZelWstring& getIDAttributeNamespace();
  const ZelWstring& getValAttributeNamespace();

  // The XML properties of the item's element definition: the element
  // itself (where-defined 1), or the element a type member of class 'M'
  // refers to; null otherwise.
  const prf_XML_TAG_DEFINITION* getElementProperties() const { return iElementProperties; }
  // The XML properties of a type member (where-defined 0); null otherwise.
  const prf_XML_TYPEMEMBER_DEFINITION* getMemberProperties() const { return iMemberProperties; }

private:
  template <class Position>
  static ERender resolveRenderOf(const XMLDictionaryInfo* dictionary, const Position& position,
                                 WriteDefinitionCache* definitions);
  // The row the tree gives, else the row of the id (a tree built by hand may
  // carry only the ids).
  static long memberRowOf(const XMLDictionaryInfo& dictionary, long treeRow, long memberId);
  static long tagRowOf(const XMLDictionaryInfo& dictionary, long treeRow, long tagId);
  static ERender selfDefiningRender(std::u16string_view name, const ZelWstring& namespaceURI);
  void applyDefinition(const WriteDefinition& definition);
  void resolveSelfDefining(const ZelWstring& name, long listMemberIndex);
  EDataEncoding definedDataEncoding();
  EDataEncoding valueTypeEncoding(long valueTypeIndex) const;
  const ZelWstring& namespaceOf(long namespaceIndex) const;

  ERender iRender = erUndefined;
  long iTagId;
  long iItemTypeIndex;
  long iMemberId;
  std::u16string_view iXMLName;
  bool iIsBitStream;
  bool iFormatSet = false;
  const ZelWstring* iNamespaceURI;
  const PWFData* iValue;
  const WorkerInfoPtr* iStartWorkerInfo;
  const WorkerInfoPtr* iDataWorkerInfo;
  const WorkerInfoPtr* iEndWorkerInfo;
  const prf_XML_TAG_DEFINITION* iElementProperties = nullptr;
  const prf_XML_TYPEMEMBER_DEFINITION* iMemberProperties = nullptr;
  const char16_t* iFormat = nullptr;
  EDataEncoding iDataEncoding = edeUndefined;
  EDataEncoding iValueTypeEncoding = edeUndefined;  // of the binary type the parser chose for the value
  const ZelWstring* iIDAttributeNamespace = nullptr;
  const ZelWstring* iValAttributeNamespace = nullptr;
};

// The item of the message, the tree's root: adds the root wrapper element
// that the document start and end write around the message.
class MsgWriteItem : public WriteItem {
public:
  MsgWriteItem(const ZelNamedLogSource* owner, const XMLDictionaryInfo* dictionary, const FITreeIterator& root);

  // The wrapper's element name (the "Root Tag Name" up to its first blank);
  // empty when there is no wrapper.
  const ZelWstring& getRootElementName() const { return iRootElementName; }
  // The text after that blank, written unchanged into the wrapper's start
  // tag; empty when none. Zero-terminated.
  std::u16string_view getRootElementAttributes() const { return iRootElementAttributes; }
  // The "Output xsi:type policy" of the message: its element's when it is
  // an element definition, else the message set's; never without dictionary.
  EOutputXsiTypePolicy getXsiTypePolicy() const;

  // DOCTYPE identifiers: from the dictionary (the message element's, else
  // the message set's), else from the parser's start record (a null value
  // counts as absent). Null when absent or empty. The text lives as long as
  // the descriptor or the record.
  const char16_t* getSystemId(const WorkerInfoPtr& startMsgInfo) const;
  const char16_t* getPublicId(const WorkerInfoPtr& startMsgInfo) const;
  // The dictionary's DOCTYPE internal subset ("DOCTYPE Text" of the message
  // element, else of the message set); null without dictionary or when empty.
  const char16_t* getDictionaryDocTypeText() const;

private:
  const char16_t* doctypeIdentifier(const WorkerInfoPtr& startMsgInfo,
                                    const ZelWstring prf_XML_TAG_DEFINITION::*ofElement,
                                    const ZelWstring prf_XML_MSET_DEFINITION::*ofMessageSet, long recordKey) const;

  ZelBufferedWstring<16> iRootElementName;
  std::u16string_view iRootElementAttributes;
};

#endif

#ifndef PARSEITEM_H
#define PARSEITEM_H

// The parser's record of one open XML element (or of the document itself):
// the dictionary definition it was matched to, its role, its names, the
// cached logical type and null encoding of its value, and the worker-info
// records that travel with its start, data and end events.
//
// Items are recycled through a ParseItemFactory: re-initialising a pooled
// item turns it into a new one without touching the heap (its names keep
// their storage).

#include "workerinfo.h"
#include "xmlitem.h"
#include "zelwstring.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// The role an item plays; decides which events its end produces.
enum ParseItemType : long {
  eItemFromDefinition = -1,  // constructor argument only: derive the role from the definition
  eItemDocument = 0,         // the bottom item, for the document itself
  eItemRoot = 1,             // the message set's outer wrapper element: no events
  eItemMessage = 2,          // starts message content
  eItemElement = 3,          // an ordinary element, defined or self-defining
  eItemNullElement = 4,      // a child element that stands for its parent's null value
  eItemNameless = 5,         // a definition without XML name; list tokens
  eItemAttributeMember = 6,  // a member rendered as attribute; attribute fields
};

// How the character data of an item becomes its value, by its type: a list
// of items, a union resolved member by member, or anything else.
enum class ValueShape : std::int8_t { NotKnown, List, Union, Single };

// What an item's type decides about its value, learnt by the handler once
// per definition (shape NotKnown: not learnt yet).
struct ValueTraits {
  ValueShape shape = ValueShape::NotKnown;
  // QName or NOTATION values, or lists or unions that may hold them: the
  // namespace bindings in scope are kept while the item is open.
  bool qualifiedNames = false;
  // What a String value does with whitespace (DictCodes::eWhiteSpace*).
  std::uint8_t whiteSpace = 0;
  // The type has attributes with a default or fixed value.
  bool attributesWithValues = false;
  // Structure content where whitespace is no value: no simple value of its
  // own, not mixed, no nameless simple member. The indentation between its
  // elements is dropped without further questions.
  bool whitespaceIgnored = false;
};

// How an item's element and its content are matched, by the wildcard it
// came through: strictly; laxly (typed where a declaration matches, a value
// that does not convert stays text); or not at all (skipped: self-defining).
// Ordered: content is matched at least as loosely as its parent.
enum class ContentProcessing : std::uint8_t { Strict, Lax, Skip };

// What a definition alone decides about an item, the same for every
// element matched to it (with a name and without explicit type): taken from
// one item and handed to the next, so that a definition is looked up in the
// dictionary once.
struct ParseItemDefinition {
  EWhereDefined whereDefined = eWhereDefinedNotSet;  // eWhereDefinedNotSet: not known yet
  long index = -1;
  long elementIndex = -1;
  long resolvedTypeIndex = -1;
  long tagId = -1;
  long memberId = -1;
  std::uint16_t elementKind = 0xFFFF;
  ERender render = erUndefined;
  ParseItemType itemType = eItemFromDefinition;
  long logicalType = -1;
  ENullEncoding nullEncoding = eNULLNone;
  const char16_t* nullEncodingValue = nullptr;
  ValueTraits valueTraits;
  // The definition's XML name, borrowed from the descriptor; null = not known.
  const ZelWstring* xmlName = nullptr;
};

class ParseItem : public XMLItem {
public:
  // Every constructor borrows a non-empty namespaceURI, which must outlive
  // the item's use of it (the handler's texts last for the document).
  //
  // By role: the document, root, message-without-definition, self-defining
  // and null-element items. A typeIndex other than -1 makes the item known
  // through that type (eDefinedByType, kinds 0, 2, 5 become 9, 10, 11).
  ParseItem(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
            const char16_t* xmlName, const ZelWstring& namespaceURI, std::uint16_t elementKind,
            ParseItemType itemType, long typeIndex);
  // By definition: an element matched in the dictionary (eDefinedAsTypeMember
  // with a member index, eDefinedAsElement with a tag index). Throws
  // ZelParserException CP_XML_INTERNAL_ERROR ("Dictionary not defined")
  // when whereDefined is not eUndefined and dictionary is null; the item
  // must then not be used.
  ParseItem(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
            const char16_t* xmlName, const ZelWstring& namespaceURI, EWhereDefined whereDefined, long index,
            long typeIndex, ParseItemType itemType);
  // By a known definition: the same item as by definition with the
  // definition's index, type index -1 and a derived role; xmlName must not
  // be empty. When it equals the name the definition carries, the item
  // refers to that name instead of copying it.
  ParseItem(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
            const char16_t* xmlName, const ZelWstring& namespaceURI, const ParseItemDefinition& definition);
  // By a known definition, for an element known to carry the definition's
  // own name (it was matched by that name): the item refers to the name
  // without comparing it. definition.xmlName must not be null.
  ParseItem(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
            const ZelWstring& namespaceURI, const ParseItemDefinition& definition);
  ~ParseItem() override;
  ParseItem(const ParseItem&) = delete;
  ParseItem& operator=(const ParseItem&) = delete;

  // Turn a pooled item into a new one; same arguments and errors as the constructors.
  void ReInitialiseParseItem(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
                             const char16_t* xmlName, const ZelWstring& namespaceURI, std::uint16_t elementKind,
                             ParseItemType itemType, long typeIndex);
  void ReInitialiseParseItem(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
                             const char16_t* xmlName, const ZelWstring& namespaceURI, EWhereDefined whereDefined,
                             long index, long typeIndex, ParseItemType itemType);
  void ReInitialiseParseItem(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
                             const char16_t* xmlName, const ZelWstring& namespaceURI,
                             const ParseItemDefinition& definition);
  void ReInitialiseParseItem(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
                             const ZelWstring& namespaceURI, const ParseItemDefinition& definition);
  // What this item's definition decides (meaningful for an item built by
  // definition with a name and without explicit type).
  ParseItemDefinition getDefinition() const;

  // eDefinedAsTypeMember with a member index: the member's element's tag id;
  // eDefinedAsElement: the element's; otherwise -1.
  long getTagId() const { return iTagId; }
  // eDefinedAsTypeMember: the member id; eDefinedAsElement: 0; otherwise -1.
  long getMemberId() const { return iMemberId; }
  // The type-member index, -1 when the item is not matched as a type member.
  long getMemberIndex() const { return isTypeMember() ? iIndex : -1; }
  // The element-definition index: the item's own (eDefinedAsElement) or its
  // member's; -1 when there is none. Safe to ask of a type-member item
  // without member (a list token of a global element).
  long getElementIndex() const { return iElementIndex; }
  // XMLItem::getTypeIndex, resolved once when the item is initialised.
  long getResolvedTypeIndex() const { return iResolvedTypeIndex; }
  // The date-time format: the member's or element's "Format", "I" for an
  // item known only through a type, else empty. Never null; borrowed from
  // the descriptor or a constant.
  const char16_t* getFormat() const;
  // The member's or element's "Encoding" (-1 otherwise); 0 counts as 1
  // (hexadecimal) when the value sits in an attribute (render 1, 3 or 4).
  long getDataEncoding() const;
  // Members: the member's render, or for message kinds the render of the
  // referenced element; elements: the element's render for message kinds,
  // else 0; items known through a type: 0; otherwise -1.
  ERender getRender() const final { return iRender; }
  // Decided by the handler on first use (shape NotKnown until then).
  ValueShape getValueShape() const { return iValueTraits.shape; }
  const ValueTraits& getValueTraits() const { return iValueTraits; }
  void setValueTraits(const ValueTraits& traits) { iValueTraits = traits; }
  // Strict until the handler says otherwise.
  ContentProcessing getContentProcessing() const { return iContentProcessing; }
  void setContentProcessing(ContentProcessing processing) { iContentProcessing = processing; }

  const ZelWstring& getXMLName() const { return iDefinitionName ? *iDefinitionName : iXmlName; }
  const ZelWstring& getNamespaceURI() const { return *iNamespaceURI; }
  ParseItem* getParent() const { return iParent; }
  ParseItemType getItemType() const { return iItemType; }
  bool isDataSent() const { return iDataSent; }
  void setDataSent() { iDataSent = true; }
  // The member the previous child element was matched to: documents mostly
  // follow member order, so the next child is looked for there first.
  long getLastChildMemberIndex() const { return iLastChildMemberIndex; }
  void setLastChildMemberIndex(long memberIndex) { iLastChildMemberIndex = memberIndex; }
  long getLastSimpleChildMemberIndex() const { return iLastSimpleChildMemberIndex; }
  void setLastSimpleChildMemberIndex(long memberIndex) { iLastSimpleChildMemberIndex = memberIndex; }

  // The records sent with the start, data and end events; null until needed.
  WorkerInfoPtr& startWorkerInfo() { return iStartWorkerInfo; }
  WorkerInfoPtr& dataWorkerInfo() { return iDataWorkerInfo; }
  WorkerInfoPtr& endWorkerInfo() { return iEndWorkerInfo; }

private:
  bool isTypeMember() const { return iWhereDefined == eDefinedAsTypeMember && iIndex >= 0; }
  void resetCommon(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
                   const char16_t* xmlName, const ZelWstring& namespaceURI, ParseItemType itemType);
  // Every field from the definition, the name the definition's.
  void initialiseByKnownDefinition(const ZelNamedLogSource* owner, ParseItem* parent,
                                   const XMLDictionaryInfo* dictionary, const ZelWstring& namespaceURI,
                                   const ParseItemDefinition& definition);
  void initialiseByRole(std::uint16_t elementKind, long typeIndex);
  void initialiseByDefinition(EWhereDefined whereDefined, long index, long typeIndex, ParseItemType itemType);
  long elementIndexFromDefinition() const;
  long tagIdFromDefinition() const;
  long memberIdFromDefinition() const;
  ERender renderFromDefinition() const;
  std::uint16_t kindFromDefinition() const;
  ParseItemType itemTypeFromDefinition() const;

  ParseItem* iParent = nullptr;
  // Answers fixed by the definition, computed once per initialisation.
  long iElementIndex = -1;
  long iResolvedTypeIndex = -1;
  long iTagId = -1;
  long iMemberId = -1;
  ERender iRender = erUndefined;
  ZelBufferedWstring<16> iXmlName;  // the name unless iDefinitionName is set
  const ZelWstring* iDefinitionName = nullptr;  // borrowed
  const ZelWstring* iNamespaceURI = nullptr;  // borrowed
  bool iDataSent = false;
  long iLastSimpleChildMemberIndex = -1;
  long iLastChildMemberIndex = -1;
  ParseItemType iItemType = eItemFromDefinition;
  ValueTraits iValueTraits;
  ContentProcessing iContentProcessing = ContentProcessing::Strict;
  WorkerInfoPtr iStartWorkerInfo;
  WorkerInfoPtr iDataWorkerInfo;
  WorkerInfoPtr iEndWorkerInfo;
};

// Most items a ParseItemFactory keeps for reuse; more are destroyed.
constexpr std::size_t PARSE_ITEM_POOL_LIMIT = 64;

// The pool of reusable items, owned by the worker and shared with its
// handler. Items are taken from and returned to the back.
class ParseItemFactory {
public:
  ParseItemFactory() = default;
  ParseItemFactory(const ParseItemFactory&) = delete;
  ParseItemFactory& operator=(const ParseItemFactory&) = delete;

  // A pooled item re-initialised with the arguments of either ParseItem
  // constructor, or a new one when the pool is empty. Throws what the
  // constructor throws (the item is then destroyed).
  template <class... Args>
  std::unique_ptr<ParseItem> obtain(Args&&... args) {
    if (iItems.empty()) return std::make_unique<ParseItem>(std::forward<Args>(args)...);
    std::unique_ptr<ParseItem> item = std::move(iItems.back());
    iItems.pop_back();
    item->ReInitialiseParseItem(std::forward<Args>(args)...);
    return item;
  }
  // Keeps the item when the pool holds fewer than PARSE_ITEM_POOL_LIMIT,
  // else destroys it.
  void recycle(std::unique_ptr<ParseItem> item);
  std::size_t size() const { return iItems.size(); }

private:
  std::vector<std::unique_ptr<ParseItem>> iItems;
};

#endif

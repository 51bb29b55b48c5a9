#include "parseitem.h"

#include "zelexception.h"

namespace {
constexpr char16_t kSchemaDateTimeFormat[] = u"I";
constexpr char16_t kNoFormat[] = u"";

// Whether a zero-terminated text (null = empty) equals the string; reads
// the text no further than its terminator.
bool isSameText(const ZelWstring& text, const char16_t* other) {
  if (!other) return text.empty();
  const std::size_t length = text.length();
  for (std::size_t i = 0; i < length; ++i) {
    if (other[i] != text[i] || other[i] == 0) return false;
  }
  return other[length] == 0;
}

const ZelWstring kNoNamespaceURI;

// An empty namespace is not borrowed: callers pass temporaries for it.
const ZelWstring* borrowedNamespace(const ZelWstring& namespaceURI) {
  return namespaceURI.empty() ? &kNoNamespaceURI : &namespaceURI;
}
}  // namespace

ParseItem::ParseItem(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
                     const char16_t* xmlName, const ZelWstring& namespaceURI, std::uint16_t elementKind,
                     ParseItemType itemType, long typeIndex)
    : XMLItem(owner, dictionary) {
  ReInitialiseParseItem(owner, parent, dictionary, xmlName, namespaceURI, elementKind, itemType, typeIndex);
}

ParseItem::ParseItem(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
                     const char16_t* xmlName, const ZelWstring& namespaceURI, EWhereDefined whereDefined, long index,
                     long typeIndex, ParseItemType itemType)
    : XMLItem(owner, dictionary) {
  ReInitialiseParseItem(owner, parent, dictionary, xmlName, namespaceURI, whereDefined, index, typeIndex, itemType);
}

ParseItem::ParseItem(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
                     const char16_t* xmlName, const ZelWstring& namespaceURI, const ParseItemDefinition& definition)
    : XMLItem(owner, dictionary) {
  ReInitialiseParseItem(owner, parent, dictionary, xmlName, namespaceURI, definition);
}

ParseItem::ParseItem(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
                     const ZelWstring& namespaceURI, const ParseItemDefinition& definition)
    : XMLItem(owner, dictionary) {
  ReInitialiseParseItem(owner, parent, dictionary, namespaceURI, definition);
}

ParseItem::~ParseItem() = default;

void ParseItem::ReInitialiseParseItem(const ZelNamedLogSource* owner, ParseItem* parent,
                                      const XMLDictionaryInfo* dictionary, const char16_t* xmlName,
                                      const ZelWstring& namespaceURI, std::uint16_t elementKind,
                                      ParseItemType itemType, long typeIndex) {
  resetCommon(owner, parent, dictionary, xmlName, namespaceURI, itemType);
  initialiseByRole(elementKind, typeIndex);
}

void ParseItem::ReInitialiseParseItem(const ZelNamedLogSource* owner, ParseItem* parent,
                                      const XMLDictionaryInfo* dictionary, const char16_t* xmlName,
                                      const ZelWstring& namespaceURI, EWhereDefined whereDefined, long index,
                                      long typeIndex, ParseItemType itemType) {
  resetCommon(owner, parent, dictionary, xmlName, namespaceURI, eItemFromDefinition);
  initialiseByDefinition(whereDefined, index, typeIndex, itemType);
}

void ParseItem::ReInitialiseParseItem(const ZelNamedLogSource* owner, ParseItem* parent,
                                      const XMLDictionaryInfo* dictionary, const char16_t* xmlName,
                                      const ZelWstring& namespaceURI, const ParseItemDefinition& definition) {
  initialiseByKnownDefinition(owner, parent, dictionary, namespaceURI, definition);
  // Elements matched by name carry the definition's name; one matched by
  // another route (a message member, a namespace-qualified search) may not.
  if (!definition.xmlName || !isSameText(*definition.xmlName, xmlName)) {
    iDefinitionName = nullptr;
    iXmlName.assign(xmlName);
  }
}

void ParseItem::ReInitialiseParseItem(const ZelNamedLogSource* owner, ParseItem* parent,
                                      const XMLDictionaryInfo* dictionary, const ZelWstring& namespaceURI,
                                      const ParseItemDefinition& definition) {
  initialiseByKnownDefinition(owner, parent, dictionary, namespaceURI, definition);
}

void ParseItem::initialiseByKnownDefinition(const ZelNamedLogSource* owner, ParseItem* parent,
                                            const XMLDictionaryInfo* dictionary, const ZelWstring& namespaceURI,
                                            const ParseItemDefinition& definition) {
  setOwner(owner);
  iDictionary = dictionary;
  iParent = parent;
  iWhereDefined = definition.whereDefined;
  iIndex = definition.index;
  iTypeIndex = -1;
  iElementIndex = definition.elementIndex;
  iResolvedTypeIndex = definition.resolvedTypeIndex;
  iTagId = definition.tagId;
  iMemberId = definition.memberId;
  iElementKind = definition.elementKind;
  iRender = definition.render;
  iItemType = definition.itemType;
  iLogicalType = definition.logicalType;
  iNullEncoding = definition.nullEncoding;
  iNullEncodingValue = definition.nullEncodingValue;
  iValueTraits = definition.valueTraits;
  iContentProcessing = ContentProcessing::Strict;
  iDataSent = false;
  iLastSimpleChildMemberIndex = -1;
  iLastChildMemberIndex = -1;
  iStartWorkerInfo.reset();
  iDataWorkerInfo.reset();
  iEndWorkerInfo.reset();
  iDefinitionName = definition.xmlName;
  iNamespaceURI = borrowedNamespace(namespaceURI);
}

ParseItemDefinition ParseItem::getDefinition() const {
  ParseItemDefinition definition;
  definition.whereDefined = iWhereDefined;
  definition.index = iIndex;
  definition.elementIndex = iElementIndex;
  definition.resolvedTypeIndex = iResolvedTypeIndex;
  definition.tagId = iTagId;
  definition.memberId = iMemberId;
  definition.elementKind = iElementKind;
  definition.render = iRender;
  definition.itemType = iItemType;
  definition.logicalType = iLogicalType;
  definition.nullEncoding = iNullEncoding;
  definition.nullEncodingValue = iNullEncodingValue;
  definition.valueTraits = iValueTraits;
  return definition;
}

void ParseItem::resetCommon(const ZelNamedLogSource* owner, ParseItem* parent, const XMLDictionaryInfo* dictionary,
                            const char16_t* xmlName, const ZelWstring& namespaceURI, ParseItemType itemType) {
  setOwner(owner);
  iDictionary = dictionary;
  iParent = parent;
  iIndex = -1;
  iTypeIndex = -1;
  iWhereDefined = eWhereDefinedNotSet;
  iLogicalType = kNotComputed;
  iElementKind = eKindNone;
  iNullEncoding = eNULLNone;
  iNullEncodingValue = nullptr;
  iElementIndex = -1;
  iResolvedTypeIndex = -1;
  iTagId = -1;
  iMemberId = -1;
  iRender = erUndefined;
  iDataSent = false;
  iValueTraits = ValueTraits();
  iContentProcessing = ContentProcessing::Strict;
  iLastSimpleChildMemberIndex = -1;
  iLastChildMemberIndex = -1;
  iStartWorkerInfo.reset();
  iDataWorkerInfo.reset();
  iEndWorkerInfo.reset();
  iXmlName.assign(xmlName);
  iDefinitionName = nullptr;
  iNamespaceURI = borrowedNamespace(namespaceURI);
  iItemType = itemType;
}

void ParseItem::initialiseByRole(std::uint16_t elementKind, long typeIndex) {
  iElementKind = elementKind;
  iTypeIndex = typeIndex;
  iElementIndex = -1;
  iResolvedTypeIndex = typeIndex;
  if (typeIndex == -1) {
    iWhereDefined = eUndefined;
    iRender = erUndefined;
  } else {
    iWhereDefined = eDefinedByType;
    iRender = erElement;
    if (elementKind == eKindSelfDefiningField) iElementKind = eKindTypedField;
    else if (elementKind == eKindSelfDefiningStructure) iElementKind = eKindTypedStructure;
    else if (elementKind == eKindSelfDefiningMessage) iElementKind = eKindTypedMessage;
  }
  if (iDictionary) useMessageSetNullEncoding();
}

void ParseItem::initialiseByDefinition(EWhereDefined whereDefined, long index, long typeIndex,
                                       ParseItemType itemType) {
  iWhereDefined = whereDefined;
  iIndex = index;
  iTypeIndex = typeIndex;
  if (whereDefined != eUndefined && !iDictionary) {
    ZelParserException e(__FILE__, __LINE__, "ParseItem::ReInitialiseParseItem", getLogSourceName(),
                         ZelMessages::CP_XML_INTERNAL_ERROR);
    e.addInsert("Dictionary not defined");
    if (ZelLog::traceOn())
      ZelLog::trace(this, "ParseItem::ReInitialiseParseItem",
                    {"Throwing exception", __FILE__, __LINE__, e.getKey(), "Dictionary not defined"});
    throw e;
  }
  iElementIndex = elementIndexFromDefinition();
  iTagId = tagIdFromDefinition();
  iMemberId = memberIdFromDefinition();
  // A member item without member (a list token of a global element) has
  // only its explicit type.
  iResolvedTypeIndex = whereDefined == eDefinedAsTypeMember && index < 0 ? typeIndex : getTypeIndex();
  iElementKind = kindFromDefinition();
  iRender = renderFromDefinition();
  iItemType = itemType == eItemFromDefinition ? itemTypeFromDefinition() : itemType;
  if (iDictionary) useMessageSetNullEncoding();
}

std::uint16_t ParseItem::kindFromDefinition() const {
  if (iWhereDefined == eDefinedByType || iWhereDefined == eUndefined) return eKindSelfDefiningStructure;
  if (iWhereDefined != eDefinedAsTypeMember && iWhereDefined != eDefinedAsElement) return eKindNone;
  const long tagIndex = iElementIndex;
  if (tagIndex < 0) return eKindField;
  const long tagClass = iDictionary->getTagCache().get(tagIndex).tagClass;
  if (tagClass == eTagClassMessage) return eKindMessage;
  const long typeIndex = iResolvedTypeIndex;
  if (typeIndex >= 0 && iDictionary->getTypeCache().get(typeIndex).typeKind == DictCodes::eTypeKindList)
    return eKindList;
  return tagClass == eTagClassStructure ? eKindStructure : eKindField;
}

ParseItemType ParseItem::itemTypeFromDefinition() const {
  const long tagIndex = iElementIndex;
  if (tagIndex >= 0 && iDictionary->getTagCache().get(tagIndex).tagClass == eTagClassMessage) return eItemMessage;
  if (getXMLName().empty()) return eItemNameless;
  if (isTypeMember() && iDictionary->getXMLTypeMemberDefinition(iIndex).render == erAttribute)
    return eItemAttributeMember;
  return eItemElement;
}


long ParseItem::elementIndexFromDefinition() const {
  if (iWhereDefined == eDefinedAsElement) return iIndex;
  if (isTypeMember()) {
    const long elementIndex = iDictionary->getMemberCache().get(iIndex).elementIndex;
    return elementIndex >= 0 ? elementIndex : -1;
  }
  return -1;
}

long ParseItem::tagIdFromDefinition() const {
  if (iWhereDefined == eDefinedAsElement) return iDictionary->getTagCache().get(iIndex).tagId;
  if (isTypeMember()) return iDictionary->getMemberCache().get(iIndex).elementId;
  return -1;
}

long ParseItem::memberIdFromDefinition() const {
  if (iWhereDefined == eDefinedAsElement) return 0;
  if (iWhereDefined == eDefinedAsTypeMember) return isTypeMember() ? iDictionary->getMemberCache().get(iIndex).memberId : -1;
  return -1;
}

const char16_t* ParseItem::getFormat() const {
  if (isTypeMember()) return iDictionary->getXMLTypeMemberDefinition(iIndex).format.c_str();
  if (iWhereDefined == eDefinedAsElement) return iDictionary->getXMLTagDefinition(iIndex).format.c_str();
  if (iWhereDefined == eDefinedByType) return kSchemaDateTimeFormat;
  return kNoFormat;
}

long ParseItem::getDataEncoding() const {
  long encoding = -1;
  if (isTypeMember()) encoding = iDictionary->getXMLTypeMemberDefinition(iIndex).dataEncoding;
  else if (iWhereDefined == eDefinedAsElement) encoding = iDictionary->getXMLTagDefinition(iIndex).dataEncoding;
  if (encoding == edeCDATA) {
    // CDATA sections exist only in element content.
    const ERender render = getRender();
    if (render == erAttribute || render == erElementWithValueAttribute || render == erElementWithIdAndValueAttribute)
      return edeHexadecimal;
  }
  return encoding;
}

ERender ParseItem::renderFromDefinition() const {
  switch (iWhereDefined) {
    case eDefinedAsTypeMember: {
      if (!isTypeMember()) return erUndefined;
      const long tagIndex = iElementIndex;
      if (isMessageKind(iElementKind) && tagIndex >= 0) return iDictionary->getXMLTagDefinition(tagIndex).render;
      return iDictionary->getXMLTypeMemberDefinition(iIndex).render;
    }
    case eDefinedAsElement:
      return isMessageKind(iElementKind) ? iDictionary->getXMLTagDefinition(iIndex).render : erElement;
    case eDefinedByType:
      return erElement;
    case eUndefined:
    case eWhereDefinedNotSet:
      break;
  }
  return erUndefined;
}

void ParseItemFactory::recycle(std::unique_ptr<ParseItem> item) {
  if (item && iItems.size() < PARSE_ITEM_POOL_LIMIT) iItems.push_back(std::move(item));
}

#include "writeitem.h"

#include "elementkinds.h"
#include "fimessagetree.h"
#include "messagetree.h"
#include "pwfdata.h"
#include "workerinfo.h"
#include "xmldictionaryview.h"
#include "xmlworkerutility.h"
#include "zelexception.h"

namespace {

// From this dictionary format version on, element definitions record
// whether they declare an attribute.
constexpr long kAttributeDeclarationsVersion = 600;

constexpr char16_t kSchemaDateTimeFormat[] = u"I";

const ZelWstring& emptyText() {
  static const ZelWstring empty;
  return empty;
}

[[noreturn]] void raise(const ZelOwnedLogSource* source, long line, const char* function, std::uint32_t message,
                        const char* insert) {
  ZelParserException e(__FILE__, line, function, source ? source->getLogSourceName() : zelDefaultLogSourceName(),
                       message);
  e.addInsert(insert);
  if (ZelLog::traceOn()) ZelLog::trace(source, function, {"Throwing exception", __FILE__, line, e.getKey(), insert});
  throw e;
}

[[noreturn]] void raiseUnparsedBuffer(const ZelOwnedLogSource* source) {
  raise(source, __LINE__, "WriteItem::WriteItem", ZelMessages::CP_XML_WRITING_UNPARSED_BUFFER_ERROR,
        "The XML worker cannot write out an unparsed buffer");
}

bool rendersIntoAttribute(ERender render) {
  return render == erAttribute || render == erElementWithValueAttribute || render == erElementWithIdAndValueAttribute;
}

}  // namespace

namespace {

// The namespace of the element definition in tagRow; null when it has none.
const ZelWstring* elementNamespace(const XMLDictionaryInfo& dictionary, long tagRow) {
  if (tagRow < 0) return nullptr;
  const long namespaceIndex = dictionary.getTagCache().get(tagRow).namespaceIndex;
  return namespaceIndex >= 0 ? &dictionary.getNamespaceCache().get(namespaceIndex).getURI() : nullptr;
}

// Inline: run for every element written without a cache.
inline WriteDefinition memberDefinition(const XMLDictionaryInfo& dictionary, long memberRow) {
  const prf_SMD_TYPEMEMBER_DEFINITION& member = dictionary.getMemberCache().get(memberRow);
  WriteDefinition definition;
  definition.member = &dictionary.getXMLTypeMemberDefinition(memberRow);
  definition.tagIndex = member.elementIndex;
  definition.typeIndex = member.typeIndex;
  // A member that stands for a message is rendered as its message element.
  if (member.memberKind == DictCodes::eClassMessage) {
    definition.element = &dictionary.getXMLTagDefinition(member.elementIndex);
    definition.render = definition.element->render;
  } else {
    definition.render = definition.member->render;
  }
  definition.namespaceURI = elementNamespace(dictionary, definition.tagIndex);
  definition.xmlName = definition.element ? definition.element->xmlName.view() : definition.member->xmlName.view();
  return definition;
}

WriteDefinition elementDefinition(const XMLDictionaryInfo& dictionary, long tagRow, std::uint16_t kind) {
  WriteDefinition definition;
  definition.element = &dictionary.getXMLTagDefinition(tagRow);
  definition.tagIndex = tagRow;
  if (kind == eKindMessage) {
    definition.render = definition.element->render;
  } else {
    const bool attributeDeclaration = dictionary.getFormatVersion() >= kAttributeDeclarationsVersion &&
                                      dictionary.getTagCache().get(tagRow).declaredAsAttribute;
    definition.render = attributeDeclaration ? erAttribute : erElement;
  }
  definition.namespaceURI = elementNamespace(dictionary, tagRow);
  definition.xmlName = definition.element->xmlName.view();
  return definition;
}

// The member's cached definition when the cache serves the dictionary, else null.
inline const WriteDefinition* cachedMember(WriteDefinitionCache* definitions, const XMLDictionaryInfo& dictionary,
                                           long memberRow) {
  return definitions ? definitions->member(dictionary, memberRow) : nullptr;
}

}  // namespace

const WriteDefinition& WriteDefinitionCache::resolveMember(long row) {
  const WriteDefinition definition = memberDefinition(*dictionary_, row);  // raises for a bad row
  return members_.at(static_cast<std::size_t>(row)) = definition;
}

inline void WriteItem::applyDefinition(const WriteDefinition& definition) {
  iElementProperties = definition.element;
  iMemberProperties = definition.member;
  iRender = definition.render;
  iXMLName = definition.xmlName;
  // The tree holds namespaces of self-defining elements only: the parser
  // reports defined elements by id. Their namespace is their element's.
  if (iNamespaceURI->empty() && definition.namespaceURI) iNamespaceURI = definition.namespaceURI;
}

template <class Position>
WriteItem::WriteItem(const ZelNamedLogSource* owner, const XMLDictionaryInfo* dictionary, const Position& position,
                     long listMemberIndex, WriteDefinitionCache* definitions)
    : XMLItem(owner, dictionary),
      iTagId(position.getTagId()),
      iItemTypeIndex(position.getItemTypeIndex()),
      iMemberId(position.getMemberId()),
      iIsBitStream(position.isBitStream()),
      iNamespaceURI(&position.getNamespaceURI()),
      iValue(&position.getValue()),
      iStartWorkerInfo(&position.getStartWorkerInfo()),
      iDataWorkerInfo(&position.getDataWorkerInfo()),
      iEndWorkerInfo(&position.getEndWorkerInfo()) {
  iTypeIndex = position.getTypeIndex();
  iElementKind = position.getCategory();
  iWhereDefined = whereDefinedOf(iDictionary, iMemberId, iElementKind, iTagId, iTypeIndex);
  switch (iWhereDefined) {
    case eDefinedAsTypeMember:
      iIndex = memberRowOf(*iDictionary, position.getMemberIndex(), iMemberId);
      if (const WriteDefinition* cached = cachedMember(definitions, *iDictionary, iIndex))
        applyDefinition(*cached);
      else
        applyDefinition(memberDefinition(*iDictionary, iIndex));
      break;
    case eDefinedAsElement:
      iIndex = tagRowOf(*iDictionary, position.getTagIndex(), iTagId);
      applyDefinition(elementDefinition(*iDictionary, iIndex, iElementKind));
      // A message element's kind does not say that its type is a list; its
      // type (or xsi:type) does, and the items need their separators.
      if (iItemTypeIndex < 0)
        iItemTypeIndex =
            listItemTypeOf(*iDictionary, iTypeIndex >= 0 ? iTypeIndex : iDictionary->getTagCache().get(iIndex).typeIndex);
      break;
    case eDefinedByType:
    case eUndefined:
      resolveSelfDefining(position.getTagName(), listMemberIndex);
      break;
    case eWhereDefinedNotSet:
      raiseUnparsedBuffer(this);
  }
  // Null encodings only matter for null values.
  if (iDictionary && iValue->isNull()) useMessageSetNullEncoding();
  if (iValue->getDataLogicalType() == eLogicalBinary) iValueTypeEncoding = valueTypeEncoding(position.getValueTypeIndex());
}

template WriteItem::WriteItem(const ZelNamedLogSource*, const XMLDictionaryInfo*, const FITreeIterator&, long,
                              WriteDefinitionCache*);
template WriteItem::WriteItem(const ZelNamedLogSource*, const XMLDictionaryInfo*, const MessageTreeIterator&, long,
                              WriteDefinitionCache*);

WriteItem::~WriteItem() = default;

template <class Position>
ERender WriteItem::resolveRenderOf(const XMLDictionaryInfo* dictionary, const Position& position,
                                   WriteDefinitionCache* definitions) {
  const long memberId = position.getMemberId();
  const long tagId = position.getTagId();
  const std::uint16_t kind = position.getCategory();
  const EWhereDefined whereDefined = whereDefinedOf(dictionary, memberId, kind, tagId, position.getTypeIndex());
  switch (whereDefined) {
    case eDefinedAsTypeMember: {
      const long row = memberRowOf(*dictionary, position.getMemberIndex(), memberId);
      if (const WriteDefinition* cached = cachedMember(definitions, *dictionary, row)) return cached->render;
      return memberDefinition(*dictionary, row).render;
    }
    case eDefinedAsElement:
      return elementDefinition(*dictionary, tagRowOf(*dictionary, position.getTagIndex(), tagId), kind).render;
    case eDefinedByType:
    case eUndefined:
      return selfDefiningRender(position.getTagName().view(), position.getNamespaceURI());
    case eWhereDefinedNotSet:
      break;
  }
  raiseUnparsedBuffer(nullptr);
}

template ERender WriteItem::resolveRenderOf(const XMLDictionaryInfo*, const FITreeIterator&, WriteDefinitionCache*);
template ERender WriteItem::resolveRenderOf(const XMLDictionaryInfo*, const MessageTreeIterator&,
                                            WriteDefinitionCache*);

EWhereDefined WriteItem::whereDefinedOf(const XMLDictionaryInfo* dictionary, long memberId, std::uint16_t kind,
                                        long tagId, long typeIndex) {
  if (!dictionary) return eUndefined;
  if (memberId >= 1) return eDefinedAsTypeMember;
  if (kind == eKindSelfDefiningField || kind == eKindSelfDefiningStructure || kind == eKindSelfDefiningMessage ||
      kind == eKindOpaque)
    return eUndefined;
  if (kind == eKindUnparsedBitstream) return eWhereDefinedNotSet;
  if (tagId >= 1) return eDefinedAsElement;
  return typeIndex >= 0 ? eDefinedByType : eWhereDefinedNotSet;
}

long WriteItem::memberRowOf(const XMLDictionaryInfo& dictionary, long treeRow, long memberId) {
  return treeRow >= 0 ? treeRow : dictionary.getXMLStructDefs().getIndex(memberId);
}

long WriteItem::tagRowOf(const XMLDictionaryInfo& dictionary, long treeRow, long tagId) {
  return treeRow >= 0 ? treeRow : dictionary.getXMLTagDefs().getIndex(tagId);
}

ERender WriteItem::selfDefiningRender(std::u16string_view name, const ZelWstring& namespaceURI) {
  if (!name.empty() && name.front() == XML_ATTRIBUTE_MARKER_STR[0]) return erAttribute;
  static constexpr std::u16string_view kSchemaInstanceNamespace = XML_SCHEMA_INSTANCE_NAMESPACE_STR;
  if (namespaceURI == kSchemaInstanceNamespace) return erAttribute;
  return name.empty() ? erUndefined : erElement;
}

void WriteItem::resolveSelfDefining(const ZelWstring& name, long listMemberIndex) {
  iXMLName = name.view();
  if (iDictionary && listMemberIndex >= 0) {
    // A list item is written as its list's type member says.
    const prf_XML_TYPEMEMBER_DEFINITION& list = iDictionary->getXMLTypeMemberDefinition(listMemberIndex);
    const ELogicalType valueType = iValue->getDataLogicalType();
    if (valueType == eLogicalDateTime && iWhereDefined == eDefinedByType) {
      iFormat = list.format.c_str();
      iFormatSet = true;
    }
    if (valueType == eLogicalBinary) {
      iDataEncoding = list.dataEncoding;
      if (iDataEncoding == edeCDATA && rendersIntoAttribute(list.render)) iDataEncoding = edeHexadecimal;
    }
  }
  iRender = selfDefiningRender(iXMLName, *iNamespaceURI);
  if (!iXMLName.empty() && iXMLName.front() == XML_ATTRIBUTE_MARKER_STR[0]) iXMLName.remove_prefix(1);
}

bool WriteItem::isMessage() const {
  switch (iWhereDefined) {
    case eDefinedAsTypeMember:
      return iDictionary->getMemberCache().get(iIndex).memberKind == DictCodes::eClassMessage;
    case eDefinedAsElement:
      return iDictionary->getTagCache().get(iIndex).tagClass == eTagClassMessage;
    case eWhereDefinedNotSet:
    case eDefinedByType:
    case eUndefined:
      break;
  }
  return false;
}

const char16_t* WriteItem::getFormat() {
  if (iFormatSet) return iFormat;
  iFormatSet = true;
  if (iWhereDefined == eUndefined || iValue->getDataLogicalType() != eLogicalDateTime) return iFormat = nullptr;
  switch (iWhereDefined) {
    case eDefinedByType:
      iFormat = kSchemaDateTimeFormat;
      break;
    case eDefinedAsTypeMember:
      iFormat = iMemberProperties->format.c_str();
      break;
    case eDefinedAsElement:
      iFormat = iElementProperties->format.c_str();
      break;
    case eWhereDefinedNotSet:
    case eUndefined:
      break;
  }
  return iFormat;
}

EDataEncoding WriteItem::valueTypeEncoding(long valueTypeIndex) const {
  if (!iDictionary || valueTypeIndex < 0) return edeUndefined;
  const auto& types = iDictionary->getTypeCache();
  if (static_cast<std::size_t>(valueTypeIndex) >= types.size()) return edeUndefined;
  const XsdBuiltin builtin = types.get(valueTypeIndex).builtin;
  if (builtin == XsdBuiltin::Base64Binary) return edeBase64;
  return builtin == XsdBuiltin::HexBinary ? edeHexadecimal : edeUndefined;
}

EDataEncoding WriteItem::getDataEncoding() {
  const EDataEncoding defined = definedDataEncoding();
  // Hexadecimal digits in a CDATA section read as hexBinary too.
  if (iValueTypeEncoding == edeUndefined || (iValueTypeEncoding == edeHexadecimal && defined == edeCDATA)) return defined;
  return iValueTypeEncoding;
}

EDataEncoding WriteItem::definedDataEncoding() {
  if (iDataEncoding != edeUndefined) return iDataEncoding;
  if (iValue->getDataLogicalType() != eLogicalBinary) return edeUndefined;
  switch (iWhereDefined) {
    case eDefinedAsTypeMember:
      iDataEncoding = iMemberProperties->dataEncoding;
      break;
    case eDefinedAsElement:
      iDataEncoding = iElementProperties->dataEncoding;
      break;
    case eWhereDefinedNotSet:
    case eDefinedByType:
    case eUndefined:
      iDataEncoding = edeHexadecimal;
      break;
  }
  // CDATA cannot stand in an attribute value.
  if (iDataEncoding == edeCDATA && rendersIntoAttribute(iRender)) iDataEncoding = edeHexadecimal;
  return iDataEncoding;
}

void WriteItem::takeValueRulesOf(const WriteItem& holder) {
  if (iWhereDefined != eDefinedByType && iWhereDefined != eUndefined) return;
  EDataEncoding encoding = edeUndefined;
  const char16_t* format = nullptr;
  switch (holder.iWhereDefined) {
    case eDefinedAsTypeMember:
      encoding = holder.iMemberProperties->dataEncoding;
      format = holder.iMemberProperties->format.c_str();
      break;
    case eDefinedAsElement:
      encoding = holder.iElementProperties->dataEncoding;
      format = holder.iElementProperties->format.c_str();
      break;
    case eWhereDefinedNotSet:
    case eDefinedByType:
    case eUndefined:
      return;
  }
  const ELogicalType type = iValue->getDataLogicalType();
  if (type == eLogicalBinary) {
    iDataEncoding = encoding == edeCDATA && rendersIntoAttribute(holder.iRender) ? edeHexadecimal : encoding;
  } else if (type == eLogicalDateTime) {
    iFormat = format;
    iFormatSet = true;
  }
}

std::u16string_view WriteItem::getIDAttributeName() const {
  if (iElementProperties) return iElementProperties->idAttributeName.view();
  return iMemberProperties ? iMemberProperties->idAttributeName.view() : std::u16string_view();
}

std::u16string_view WriteItem::getIDAttributeValue() const {
  if (iElementProperties) return iElementProperties->idAttributeValue.view();
  return iMemberProperties ? iMemberProperties->idAttributeValue.view() : std::u16string_view();
}

std::u16string_view WriteItem::getValAttributeName() const {
  return iMemberProperties ? iMemberProperties->valueAttributeName.view() : std::u16string_view();
}

const ZelWstring& WriteItem::namespaceOf(long namespaceIndex) const {
  if (namespaceIndex < 0) return emptyText();
  return iDictionary->getNamespaceCache().get(namespaceIndex).getURI();
}

const ZelWstring& WriteItem::getIDAttributeNamespace() {
  if (!iIDAttributeNamespace) {
    const long index = iElementProperties  ? iElementProperties->idAttributeNamespace
                       : iMemberProperties ? iMemberProperties->idAttributeNamespace
                                           : -1;
    iIDAttributeNamespace = &namespaceOf(index);
  }
  return *iIDAttributeNamespace;
}

const ZelWstring& WriteItem::getValAttributeNamespace() {
  if (!iValAttributeNamespace)
    iValAttributeNamespace = &namespaceOf(iMemberProperties ? iMemberProperties->valueAttributeNamespace : -1);
  return *iValAttributeNamespace;
}

// ---------------------------------------------------------------------------

MsgWriteItem::MsgWriteItem(const ZelNamedLogSource* owner, const XMLDictionaryInfo* dictionary,
                           const FITreeIterator& root)
    : WriteItem(owner, dictionary, root, -1) {
  if (!iDictionary) return;
  const ZelWstring& rootTagName = getElementProperties() && iWhereDefined == eDefinedAsElement
                                      ? getElementProperties()->rootTagName
                                      : iDictionary->getXMLMsgSetDefinition().rootTagName;
  // "Batch version="2"": the element name, then attribute text for its start tag.
  const std::size_t blank = rootTagName.find(u' ');
  if (blank == ZelWstring::npos) {
    iRootElementName = rootTagName;
    return;
  }
  iRootElementName.assign(rootTagName.data(), blank);
  iRootElementAttributes = rootTagName.view().substr(blank + 1);
}

EOutputXsiTypePolicy MsgWriteItem::getXsiTypePolicy() const {
  if (!iDictionary) return eXsiTypeNever;
  if (iWhereDefined == eDefinedAsElement) return getElementProperties()->outputXsiTypePolicy;
  return iDictionary->getXMLMsgSetDefinition().outputXsiTypePolicy;
}

const char16_t* MsgWriteItem::doctypeIdentifier(const WorkerInfoPtr& startMsgInfo,
                                                const ZelWstring prf_XML_TAG_DEFINITION::*ofElement,
                                                const ZelWstring prf_XML_MSET_DEFINITION::*ofMessageSet,
                                                long recordKey) const {
  const char16_t* identifier = nullptr;
  if (iDictionary) {
    identifier = iWhereDefined == eDefinedAsElement ? (getElementProperties()->*ofElement).c_str()
                                                    : (iDictionary->getXMLMsgSetDefinition().*ofMessageSet).c_str();
  } else if (startMsgInfo) {
    const PWFData& value = startMsgInfo->getDataProperty(recordKey);
    if (value.getDataLogicalType() == eLogicalString && !value.isNull()) identifier = value.getStringValue();
  }
  return identifier && *identifier ? identifier : nullptr;
}

const char16_t* MsgWriteItem::getSystemId(const WorkerInfoPtr& startMsgInfo) const {
  return doctypeIdentifier(startMsgInfo, &prf_XML_TAG_DEFINITION::docTypeSystemId,
                           &prf_XML_MSET_DEFINITION::docTypeSystemId, eStartMsgSystemId);
}

const char16_t* MsgWriteItem::getPublicId(const WorkerInfoPtr& startMsgInfo) const {
  return doctypeIdentifier(startMsgInfo, &prf_XML_TAG_DEFINITION::docTypePublicId,
                           &prf_XML_MSET_DEFINITION::docTypePublicId, eStartMsgPublicId);
}

const char16_t* MsgWriteItem::getDictionaryDocTypeText() const {
  if (!iDictionary) return nullptr;
  const ZelWstring& text = iWhereDefined == eDefinedAsElement ? getElementProperties()->docTypeText
                                                              : iDictionary->getXMLMsgSetDefinition().docTypeText;
  return text.empty() ? nullptr : text.c_str();
}

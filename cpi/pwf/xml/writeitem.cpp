#include "writeitem.h"

#include "fimessagetree.h"
#include "pwfdata.h"
#include "workerinfo.h"
#include "xmlworkerutility.h"
#include "zelexception.h"

namespace {

// Element kinds (the host's codes) that decide how an element is found.
constexpr std::uint16_t kKindSelfDefiningField = 0;
constexpr std::uint16_t kKindSelfDefiningStructure = 2;
constexpr std::uint16_t kKindUnparsedBitstream = 4;
constexpr std::uint16_t kKindSelfDefiningMessage = 5;
constexpr std::uint16_t kKindMessage = 6;
constexpr std::uint16_t kKindOpaque = 8;

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
  ZelParserException e(__FILE__, line, function, source->getLogSourceName(), message);
  e.addInsert(insert);
  if (ZelLog::traceOn()) ZelLog::trace(source, function, {"Throwing exception", __FILE__, line, e.getKey(), insert});
  throw e;
}

bool rendersIntoAttribute(ERender render) {
  return render == erAttribute || render == erElementWithValueAttribute || render == erElementWithIdAndValueAttribute;
}

}  // namespace

WriteItem::WriteItem(const ZelNamedLogSource* owner, const XMLDictionaryInfo* dictionary,
                     const FITreeIterator& position, long listMemberIndex)
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
  decideWhereDefined(position);
  switch (iWhereDefined) {
    case eDefinedAsTypeMember:
    case eDefinedAsElement:
      resolveDefinition(position);
      if (iNamespaceURI->empty()) takeNamespaceFromDefinition();
      break;
    case eDefinedByType:
    case eUndefined:
      resolveSelfDefining(position, listMemberIndex);
      break;
    case eWhereDefinedNotSet:
      raise(this, __LINE__, "WriteItem::WriteItem", ZelMessages::CP_XML_WRITING_UNPARSED_BUFFER_ERROR,
            "The XML worker cannot write out an unparsed buffer");
  }
  if (iDictionary) resolveValueRules();
}

WriteItem::~WriteItem() = default;

void WriteItem::decideWhereDefined(const FITreeIterator& position) {
  if (!iDictionary) {
    iWhereDefined = eUndefined;
  } else if (iMemberId >= 1) {
    iWhereDefined = eDefinedAsTypeMember;
  } else if (iElementKind == kKindSelfDefiningField || iElementKind == kKindSelfDefiningStructure ||
             iElementKind == kKindSelfDefiningMessage || iElementKind == kKindOpaque) {
    iWhereDefined = eUndefined;
  } else if (iElementKind == kKindUnparsedBitstream) {
    iWhereDefined = eWhereDefinedNotSet;
  } else if (iTagId >= 1) {
    iWhereDefined = eDefinedAsElement;
  } else if (iTypeIndex >= 0) {
    iWhereDefined = eDefinedByType;
  } else {
    iWhereDefined = eWhereDefinedNotSet;
  }
}

void WriteItem::resolveDefinition(const FITreeIterator& position) {
  // A tree built by hand may carry only the ids; the dictionary then finds the rows.
  if (iWhereDefined == eDefinedAsTypeMember) {
    iIndex = position.getMemberIndex();
    if (iIndex < 0) iIndex = iDictionary->getXMLStructDefs().getIndex(iMemberId);
    iMemberProperties = &iDictionary->getXMLTypeMemberDefinition(iIndex);
    if (iDictionary->getMemberCache().get(iIndex).memberKind == DictCodes::eClassMessage) {
      iElementProperties = &iDictionary->getXMLTagDefinition(getTagIndex());
      iRender = iElementProperties->render;
    } else {
      iRender = iMemberProperties->render;
    }
    return;
  }
  iIndex = position.getTagIndex();
  if (iIndex < 0) iIndex = iDictionary->getXMLTagDefs().getIndex(iTagId);
  iElementProperties = &iDictionary->getXMLTagDefinition(iIndex);
  if (iElementKind == kKindMessage) {
    iRender = iElementProperties->render;
  } else {
    const bool attributeDeclaration = iDictionary->getFormatVersion() >= kAttributeDeclarationsVersion &&
                                      iDictionary->getTagCache().get(iIndex).declaredAsAttribute;
    iRender = attributeDeclaration ? erAttribute : erElement;
  }
}

void WriteItem::takeNamespaceFromDefinition() {
  // The tree holds namespaces of self-defining elements only: the parser
  // reports defined elements by id. Their namespace is their element's.
  const long tagIndex = getTagIndex();
  if (tagIndex < 0) return;
  const long namespaceIndex = iDictionary->getTagCache().get(tagIndex).namespaceIndex;
  if (namespaceIndex >= 0) iNamespaceURI = &namespaceOf(namespaceIndex);
}

void WriteItem::resolveSelfDefining(const FITreeIterator& position, long listMemberIndex) {
  const ZelWstring& name = position.getTagName();
  iXMLName = name.view();
  iXMLNameSet = true;
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
  if (!iXMLName.empty() && iXMLName.front() == XML_ATTRIBUTE_MARKER_STR[0]) {
    iXMLName.remove_prefix(1);
    iRender = erAttribute;
  } else if (*iNamespaceURI == std::u16string_view(XML_SCHEMA_INSTANCE_NAMESPACE_STR)) {
    iRender = erAttribute;
  } else {
    iRender = iXMLName.empty() ? erUndefined : erElement;
  }
}

void WriteItem::resolveValueRules() {
  const prf_XML_MSET_DEFINITION& messageSet = iDictionary->getXMLMsgSetDefinition();
  switch (getValueLogicalType()) {
    case eLogicalInteger:
    case eLogicalFloat:
    case eLogicalDecimal:
      iNullEncoding = messageSet.nullNumEncoding;
      iNullEncodingValue = messageSet.nullNumValue.c_str();
      break;
    case eLogicalString:
    case eLogicalBinary:
    case eLogicalBoolean:
    case eLogicalInterval:
    case eLogicalDateTime:
      iNullEncoding = messageSet.nullNonNumEncoding;
      iNullEncodingValue = messageSet.nullNonNumValue.c_str();
      break;
    case eLogicalNone:
      break;
  }
}

std::u16string_view WriteItem::getXMLName() {
  if (iXMLNameSet) return iXMLName;
  if (iElementProperties) {
    iXMLName = iElementProperties->xmlName.view();
  } else if (iMemberProperties) {
    iXMLName = iMemberProperties->xmlName.view();
  } else {
    raise(this, __LINE__, "WriteItem::getXMLName", ZelMessages::CP_XML_INTERNAL_ERROR,
          "XML name not set for self defining field");
  }
  iXMLNameSet = true;
  return iXMLName;
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

EDataEncoding WriteItem::getDataEncoding() {
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

#include "xmlitem.h"

XMLItem::~XMLItem() = default;

long XMLItem::getTypeIndex() const {
  if (iTypeIndex != -1) return iTypeIndex;
  switch (iWhereDefined) {
    case eDefinedAsElement:
      return iDictionary->getTagCache().get(iIndex).typeIndex;
    case eDefinedAsTypeMember:
      return iDictionary->getMemberCache().get(iIndex).typeIndex;
    case eWhereDefinedNotSet:
    case eDefinedByType:
    case eUndefined:
      break;
  }
  return -1;
}

ELogicalType XMLItem::getLogicalType() const {
  const long typeIndex = getTypeIndex();
  if (typeIndex < 0 || !iDictionary) return eLogicalString;
  return static_cast<ELogicalType>(iDictionary->getTypeCache().get(typeIndex).logicalType);
}

ELogicalType XMLItem::computeValueLogicalType() const {
  if (iDictionary && (iWhereDefined == eDefinedAsTypeMember || iWhereDefined == eDefinedAsElement ||
      iWhereDefined == eDefinedByType)) {
    iLogicalType = iDictionary->getBaseLogicalType(getTypeIndex());
    if (iLogicalType > 0) return static_cast<ELogicalType>(iLogicalType);
  }
  iLogicalType = getLogicalType();
  return static_cast<ELogicalType>(iLogicalType);
}

void XMLItem::useMessageSetNullEncoding() {
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

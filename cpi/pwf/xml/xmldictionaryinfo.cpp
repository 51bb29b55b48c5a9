#include "xmldictionaryinfo.h"

#include "zelexception.h"
#include "zellog.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>

namespace {

constexpr char16_t kFormatName[] = u"XML";
constexpr char16_t kGenericRootTagName[] = u"VRK";
constexpr char16_t kGenericIdAttributeName[] = u"id";
constexpr char16_t kGenericValueAttributeName[] = u"val";
constexpr char16_t kEmpty[] = u"";
constexpr char kInternalError[] = "XML Internal Error";
constexpr char kWorkerInternalError[] = "XML Worker Internal Error";

[[noreturn]] void throwInternalError(long line, const char* function, const char* first, const char* cause,
                                     std::u16string_view detail = {}) {
  if (ZelLog::traceOn()) {
    ZelLog::trace(nullptr, function, {"Throwing exception", __FILE__, line, "CP_XML_INTERNAL_ERROR", first});
  }
  ZelParserException error(__FILE__, line, function, zelDefaultLogSourceName(), ZelMessages::CP_XML_INTERNAL_ERROR);
  error.addInsert(first).addInsert(cause);
  if (!detail.empty()) error.addInsert(detail.data(), detail.size());
  throw error;
}

bool isEnvironmentSet(const char* name) { return std::getenv(name) != nullptr; }

struct ZoneRename {
  const char16_t* from;
  const char16_t* to;
};

// Applies the first rename whose from equals zone exactly; reports whether one did.
bool renameZone(ZelWstring& zone, std::initializer_list<ZoneRename> renames) {
  for (const ZoneRename& rename : renames) {
    if (zone.view() == std::u16string_view(rename.from)) {
      zone.assign(rename.to);
      return true;
    }
  }
  return false;
}

// A root tag name may continue after its element name with a blank and
// attribute text, so a blank in it ends the comparison when name ends (or
// has a blank) at the same place.
bool rootTagNameEquals(const ZelWstring& rootTagName, const char16_t* name) {
  const char16_t* r = rootTagName.c_str();
  const char16_t* s = name;
  for (;; ++r, ++s) {
    if (*r == u' ' && (*s == u' ' || *s == 0)) return true;
    if (*r != *s) return false;
    if (*r == 0) return true;
  }
}

// Compares candidate with the text prefix+rest by code units, a prefix
// first, without joining the two.
int compareWithJoined(std::u16string_view candidate, std::u16string_view prefix, std::u16string_view rest) {
  const std::size_t common = candidate.size() < prefix.size() ? candidate.size() : prefix.size();
  if (const int order = candidate.substr(0, common).compare(prefix.substr(0, common))) return order;
  if (candidate.size() < prefix.size()) return -1;  // a proper prefix of prefix+rest
  return candidate.substr(prefix.size()).compare(rest);
}

bool styleAccepts(TAG_STYLE style, bool declaredAsAttribute) {
  switch (style) {
    case eTagStyleElementDeclaration:
      return !declaredAsAttribute;
    case eTagStyleAttributeDeclaration:
      return declaredAsAttribute;
    case eTagStyleAny:
      break;
  }
  return true;
}

const char16_t* orEmpty(const char16_t* text) { return text ? text : kEmpty; }

}  // namespace

// ---- prf_XML_MSET_DEFINITION ----------------------------------------------

prf_XML_MSET_DEFINITION::prf_XML_MSET_DEFINITION(
    bool suppressXmlDecl, const char16_t* standalone, bool suppressDocType, bool suppressXmlEncoding,
    bool suppressVRKComment, const char16_t* docTypeSystemId, const char16_t* docTypePublicId,
    const char16_t* docTypeText, const char16_t* rootTagName, bool enableVersioningSupport,
    const char16_t* booleanTrueValue, const char16_t* booleanFalseValue, ENullEncoding nullNumEncoding,
    const char16_t* nullNumValue, ENullEncoding nullNonNumEncoding, const char16_t* nullNonNumValue,
    const char16_t* defaultDateTimeFormat, const char16_t* defaultTimeZone, long centuryWindow,
    const char16_t* firstDayOfWeek, long firstWeekOfYear, bool allowLenientDatetimes,
    EOutputXsiTypePolicy outputXsiTypePolicy, const char16_t* xmlVersion, bool preserveUTCFormat)
    : suppressXmlDecl(suppressXmlDecl),
      standalone(standalone),
      suppressDocType(suppressDocType),
      suppressXmlEncoding(suppressXmlEncoding),
      suppressVRKComment(suppressVRKComment),
      docTypeSystemId(docTypeSystemId),
      docTypePublicId(docTypePublicId),
      docTypeText(docTypeText),
      rootTagName(rootTagName),
      enableVersioningSupport(enableVersioningSupport),
      booleanTrueValue(booleanTrueValue),
      booleanFalseValue(booleanFalseValue),
      nullNumEncoding(nullNumEncoding),
      nullNumValue(nullNumValue),
      nullNonNumEncoding(nullNonNumEncoding),
      nullNonNumValue(nullNonNumValue),
      defaultDateTimeFormat(defaultDateTimeFormat),
      defaultTimeZone(defaultTimeZone),
      centuryWindow(centuryWindow),
      firstDayOfWeek(firstDayOfWeek),
      firstWeekOfYear(firstWeekOfYear),
      allowLenientDatetimes(allowLenientDatetimes),
      outputXsiTypePolicy(outputXsiTypePolicy),
      xmlVersion(xmlVersion),
      preserveUTCFormat(preserveUTCFormat) {
  translateTimeZone();
}

void prf_XML_MSET_DEFINITION::translateTimeZone() {
  const bool legacy = renameZone(defaultTimeZone, {{XML_TZ_Old_Darwin, XML_TZ_New_Darwin},
                                                   {XML_TZ_Old_StJohns, XML_TZ_New_StJohns},
                                                   {XML_TZ_Old_Tehran, XML_TZ_New_Tehran}});
  // Without the switch these zones are mapped to neighbours that kept the
  // daylight-saving rules in force before 2007.
  if (!legacy && !isEnvironmentSet("KOBR_USE_NEW_US_DST")) {
    renameZone(defaultTimeZone, {{XML_TZ_Los_Angeles, XML_TZ_Tijuana},
                                 {XML_TZ_Denver, XML_TZ_Chihuahua},
                                 {XML_TZ_Chicago, XML_TZ_Mexico_City},
                                 {XML_TZ_New_York, XML_TZ_Nassau},
                                 {XML_TZ_Halifax, XML_TZ_Bermuda}});
  }
  if (isEnvironmentSet("KOBR_USE_NEW_WAUS_DST")) {
    renameZone(defaultTimeZone, {{XML_TZ_GMT_PLUS_8, XML_TZ_Australia_Perth}});
  }
}

// ---- prf_XML_TAG_DEFINITION -------------------------------------------------

prf_XML_TAG_DEFINITION::prf_XML_TAG_DEFINITION(
    const char16_t* xmlName, const char16_t* docTypeSystemId, const char16_t* docTypePublicId,
    const char16_t* docTypeText, const char16_t* rootTagName, ERender render, const char16_t* idAttributeName,
    long idAttributeNamespace, const char16_t* idAttributeValue, EDataEncoding dataEncoding, const char16_t* format,
    const char16_t* schemaLocation, const char16_t* noNamespaceSchemaLocation,
    EOutputNamespaceDeclPolicy namespaceDeclPolicy, EOutputXsiTypePolicy outputXsiTypePolicy)
    : xmlName(xmlName),
      docTypeSystemId(docTypeSystemId),
      docTypePublicId(docTypePublicId),
      docTypeText(docTypeText),
      rootTagName(rootTagName),
      render(render),
      idAttributeName(idAttributeName),
      idAttributeNamespace(idAttributeNamespace),
      idAttributeValue(idAttributeValue),
      dataEncoding(dataEncoding),
      format(format),
      schemaLocation(schemaLocation),
      noNamespaceSchemaLocation(noNamespaceSchemaLocation),
      namespaceDeclPolicy(namespaceDeclPolicy),
      outputXsiTypePolicy(outputXsiTypePolicy) {}

// ---- XMLPropertyGroup -------------------------------------------------------

template <class TableRef, std::size_t Count>
void XMLPropertyGroup<TableRef, Count>::MapTableProperty(DictTableRefBase table, StringTableRef property) {
  const DictionaryInfo* owner = table.GetTable() ? table.GetTable()->getOwner() : nullptr;
  if (owner && property && property->getTableName() == owner->getWireFormatName()) {
    for (std::size_t slot = 0; slot < Count; ++slot) {
      if (property->getPropertyName() == std::u16string_view(iNames[slot])) {
        iProperties[slot] = property;
        break;
      }
    }
  }
  iTable.MapTableProperty(table, property);
}

template <class TableRef, std::size_t Count>
const char16_t* XMLPropertyGroup<TableRef, Count>::stringAt(std::size_t slot, long row) const {
  return iProperties[slot] ? iProperties[slot]->GetValue(row) : nullptr;
}

template <class TableRef, std::size_t Count>
std::int64_t XMLPropertyGroup<TableRef, Count>::integerAt(std::size_t slot, long row, std::int64_t absent) const {
  return iProperties[slot] ? iProperties[slot]->GetIntValue(row) : absent;
}

template <class TableRef, std::size_t Count>
std::int64_t XMLPropertyGroup<TableRef, Count>::requiredIntegerAt(std::size_t slot, long row) const {
  // The dictionary's tooling always writes these; a dictionary without them
  // was not made for this wire format.
  if (!iProperties[slot]) {
    throwInternalError(__LINE__, "XMLPropertyGroup::requiredIntegerAt", kInternalError,
                       "Required XML property missing from the dictionary", iNames[slot]);
  }
  return iProperties[slot]->GetIntValue(row);
}

template class XMLPropertyGroup<StdDictMsgSetDefs, 25>;
template class XMLPropertyGroup<StdDictTagDefs, 15>;
template class XMLPropertyGroup<StdDictStructDefs, 9>;
template class XMLPropertyGroup<StdDictNamespaceDefs, 1>;

// ---- XMLMsgSetDefs -----------------------------------------------------------

const XMLDictionaryInfo::XMLMsgSetDefs::PropertyNames& XMLDictionaryInfo::XMLMsgSetDefs::names() {
  static const PropertyNames kNames = {
      XML_SUPPRESS_XML_DECLARATION, XML_STANDALONE_DOCUMENT,       XML_SUPPRESS_DOCTYPE,
      XML_SUPPRESS_XML_ENCODING,    XML_SUPPRESS_VRK_COMMENT,      XML_DOCTYPE_SYSTEM_ID,
      XML_DOCTYPE_PUBLIC_ID,        XML_DOCTYPE_TEXT,              XML_ROOT_TAG_NAME,
      XML_ENABLE_VERSIONING_SUPPORT, XML_BOOLEAN_TRUE_VALUE,       XML_BOOLEAN_FALSE_VALUE,
      XML_ENCODING_NULL_NUM,        XML_ENCODING_NULL_NUM_VAL,     XML_ENCODING_NULL_NON_NUM,
      XML_ENCODING_NULL_NON_NUM_VAL, XML_DEFAULT_DATETIME_FORMAT_VAL, XML_DEFAULT_TIME_ZONE_VAL,
      XML_CENTURY_WINDOW_VAL,       XML_FIRST_DAY_OF_WEEK_VAL,     XML_FIRST_WEEK_OF_YEAR_VAL,
      XML_ALLOW_LENIENT_DATETIMES_VAL, XML_OUTPUT_XSITYPE_POLICY,  XML_VERSION_KEY,
      XML_PRESERVE_UTC_FORMAT,
  };
  return kNames;
}

prf_XML_MSET_DEFINITION XMLDictionaryInfo::XMLMsgSetDefs::buildRecord() const {
  constexpr long row = 0;
  // Strings whose absence means "not set" and those stored as "" when absent
  // both end up empty in the record.
  return prf_XML_MSET_DEFINITION(
      requiredIntegerAt(eSuppressXmlDecl, row) != 0, stringAt(eStandalone, row),
      requiredIntegerAt(eSuppressDocType, row) != 0, integerAt(eSuppressXmlEncoding, row, 1) != 0,
      integerAt(eSuppressVRKComment, row, 0) != 0, stringAt(eDocTypeSystemId, row),
      stringAt(eDocTypePublicId, row), stringAt(eDocTypeText, row), stringAt(eRootTagName, row),
      requiredIntegerAt(eEnableVersioningSupport, row) != 0, stringAt(eBooleanTrueValue, row),
      stringAt(eBooleanFalseValue, row), requiredEnumAt<ENullEncoding>(eNullNum, row), stringAt(eNullNumValue, row),
      requiredEnumAt<ENullEncoding>(eNullNonNum, row), stringAt(eNullNonNumValue, row),
      stringAt(eDefaultDateTimeFormat, row), stringAt(eDefaultTimeZone, row),
      static_cast<long>(integerAt(eCenturyWindow, row, 53)), stringAt(eFirstDayOfWeek, row),
      static_cast<long>(integerAt(eFirstWeekOfYear, row, 0)), integerAt(eAllowLenientDatetimes, row, 1) != 0,
      enumAt(eOutputXsiTypePolicy, row, eXsiTypeNever), stringAt(eXmlVersion, row),
      integerAt(ePreserveUTCFormat, row, 0) != 0);
}

// ---- XMLTagDefs --------------------------------------------------------------

const XMLDictionaryInfo::XMLTagDefs::PropertyNames& XMLDictionaryInfo::XMLTagDefs::names() {
  static const PropertyNames kNames = {
      XML_XML_NAME,           XML_DOCTYPE_SYSTEM_ID,       XML_DOCTYPE_PUBLIC_ID,
      XML_DOCTYPE_TEXT,       XML_ROOT_TAG_NAME,           XML_RENDER,
      XML_ID_ATTRIBUTE_NAME,  XML_ID_ATTRIBUTE_NAMESPACE,  XML_ID_ATTRIBUTE_VALUE,
      XML_ENCODING,           XML_FORMAT,                  XML_SCHEMA_LOCATION,
      XML_NO_NAMESPACE_SCHEMA_LOCATION, XML_OUTPUT_NAMESPACE_DECL_POLICY, XML_OUTPUT_XSITYPE_POLICY,
  };
  return kNames;
}

prf_XML_TAG_DEFINITION XMLDictionaryInfo::XMLTagDefs::buildRecord(long row) const {
  return prf_XML_TAG_DEFINITION(
      stringAt(eXmlName, row), stringAt(eDocTypeSystemId, row), stringAt(eDocTypePublicId, row),
      stringAt(eDocTypeText, row), stringAt(eRootTagName, row), requiredEnumAt<ERender>(eRender, row),
      stringAt(eIdAttributeName, row), enumAt<std::int32_t>(eIdAttributeNamespace, row, -1),
      stringAt(eIdAttributeValue, row), enumAt(eEncoding, row, edeUndefined), stringAt(eFormat, row),
      stringAt(eSchemaLocation, row), stringAt(eNoNamespaceSchemaLocation, row),
      enumAt(eNamespaceDeclPolicy, row, enspUndefined), enumAt(eOutputXsiTypePolicy, row, eXsiTypeNever));
}

long XMLDictionaryInfo::XMLTagDefs::getIndex(long tagId) const {
  const long index = iOwner.getTagDefIndex(tagId);
  if (index < 0) {
    throwInternalError(__LINE__, "XMLDictionaryInfo::XMLTagDefs::getIndex", kWorkerInternalError,
                       "Couldn't find tag ID in the dictionary");
  }
  return index;
}

long XMLDictionaryInfo::XMLTagDefs::getElementIndexFromXMLElement(const char16_t* name,
                                                                  const ZelWstring& namespaceURI,
                                                                  TAG_STYLE style) const {
  const std::vector<NameSearchKey>& keys = iOwner.iNameSearchKeys;
  if (!name || !*name || keys.empty()) return -1;
  const std::u16string_view keyName(name);
  const std::u16string_view keyNamespace = namespaceURI.view();
  const char16_t* text = iOwner.iNameSearchText.data();

  long lo = 0;
  long hi = static_cast<long>(keys.size());
  long mid = hi / 2;
  for (;;) {
    const NameSearchKey& candidate = keys[static_cast<std::size_t>(mid)];
    const int order =
        compareWithJoined(std::u16string_view(text + candidate.offset, candidate.length), keyNamespace, keyName);
    if (order > 0) {
      hi = mid;
    } else if (order < 0) {
      lo = mid;
    } else {
      const prf_SMD_TAG_DEFINITION& tag = iOwner.getTagCache().get(candidate.tagIndex);
      if ((tag.tagClass == eTagClassField || tag.tagClass == eTagClassStructure) &&
          styleAccepts(style, tag.declaredAsAttribute)) {
        return candidate.tagIndex;
      }
    }
    // An equal key of the wrong class or style leaves lo and hi alone, so
    // the next probe would repeat this one and the search ends.
    const long next = (lo + hi) / 2;
    if (next == mid || lo >= hi) return -1;
    mid = next;
  }
}

// ---- XMLStructDefs -----------------------------------------------------------

const XMLDictionaryInfo::XMLStructDefs::PropertyNames& XMLDictionaryInfo::XMLStructDefs::names() {
  static const PropertyNames kNames = {
      XML_XML_NAME,           XML_RENDER,               XML_ID_ATTRIBUTE_NAME,
      XML_ID_ATTRIBUTE_NAMESPACE, XML_ID_ATTRIBUTE_VALUE, XML_VALUE_ATTRIBUTE_NAME,
      XML_VALUE_ATTRIBUTE_NAMESPACE, XML_FORMAT,          XML_ENCODING,
  };
  return kNames;
}

prf_XML_TYPEMEMBER_DEFINITION XMLDictionaryInfo::XMLStructDefs::buildRecord(long row) const {
  prf_XML_TYPEMEMBER_DEFINITION record;
  record.xmlName = stringAt(eXmlName, row);
  record.render = requiredEnumAt<ERender>(eRender, row);
  record.idAttributeName = stringAt(eIdAttributeName, row);
  record.idAttributeNamespace = enumAt<std::int32_t>(eIdAttributeNamespace, row, -1);
  record.idAttributeValue = stringAt(eIdAttributeValue, row);
  record.valueAttributeName = stringAt(eValueAttributeName, row);
  record.valueAttributeNamespace = enumAt<std::int32_t>(eValueAttributeNamespace, row, -1);
  record.format = stringAt(eFormat, row);
  record.dataEncoding = requiredEnumAt<EDataEncoding>(eEncoding, row);
  return record;
}

long XMLDictionaryInfo::XMLStructDefs::getIndex(long memberId) const {
  const long index = iOwner.getStructDefIndexFromMbrID(memberId);
  if (index < 0) {
    throwInternalError(__LINE__, "XMLDictionaryInfo::XMLStructDefs::getIndex", kWorkerInternalError,
                       "Couldn't find the tag id in the dictionary");
  }
  return index;
}

// ---- XMLNamespaceDefs --------------------------------------------------------

const XMLDictionaryInfo::XMLNamespaceDefs::PropertyNames& XMLDictionaryInfo::XMLNamespaceDefs::names() {
  static const PropertyNames kNames = {XML_PREFERRED_PREFIX};
  return kNames;
}

const char16_t* XMLDictionaryInfo::XMLNamespaceDefs::getPreferredPrefix(long namespaceIndex) const {
  const StringTableRef prefixes = getProperty(ePreferredPrefix);
  if (!prefixes || namespaceIndex < 0 || namespaceIndex >= prefixes->getRowCount()) return nullptr;
  return prefixes->GetValue(namespaceIndex);
}

// ---- XMLDictionaryInfo -------------------------------------------------------

XMLDictionaryInfo::XMLDictionaryInfo(int derivedTableCount)
    : StdDictionaryInfo(derivedTableCount + 1),
      iElementNameIndexTable(derivedTableCount),
      iElementNameIndex(getTable(derivedTableCount)),
      iXMLMsgSetDefs(getMsgSetDefs()),
      iXMLTagDefs(getTagDefs(), *this),
      iXMLStructDefs(getStructDefs(), *this),
      iXMLNamespaceDefs(getNamespaceDefs()) {}

XMLDictionaryInfo::~XMLDictionaryInfo() = default;

void XMLDictionaryInfo::release() {
  ZelTraceScope scope(nullptr, "XMLDictionaryInfo::release");
  delete this;
}

void XMLDictionaryInfo::MapTableProperty(DictTableRefBase table, StringTableRef property) {
  StdDictionaryInfo::MapTableProperty(table, property);
  if (table == iXMLMsgSetDefs.getTable()) {
    iXMLMsgSetDefs.MapTableProperty(table, property);
  } else if (table == iXMLTagDefs.getTable()) {
    iXMLTagDefs.MapTableProperty(table, property);
  } else if (table == iXMLStructDefs.getTable()) {
    iXMLStructDefs.MapTableProperty(table, property);
  } else if (table == iXMLNamespaceDefs.getTable()) {
    iXMLNamespaceDefs.MapTableProperty(table, property);
  }
}

std::uint32_t XMLDictionaryInfo::CreateTable(int tableNumber, std::uint32_t entrySize, std::int32_t count) {
  if (tableNumber == iElementNameIndexTable && entrySize != sizeof(std::int32_t)) {
    if (ZelLog::traceOn()) {
      ZelLog::trace(nullptr, "XMLDictionaryInfo::CreateTable",
                    {"Actual long is bigger than that in QL buffer. Will adjust to the actual size."});
    }
    entrySize = sizeof(std::int32_t);
  }
  return StdDictionaryInfo::CreateTable(tableNumber, entrySize, count);
}

void XMLDictionaryInfo::FromExtractFormat(BitstreamWorker* worker, const unsigned char* buffer,
                                          std::size_t length) {
  ZelTraceScope scope(nullptr, "XMLDictionaryInfo::FromExtractFormat");
  StdDictionaryInfo::FromExtractFormat(worker, buffer, length);
  buildElementNameIndex();
}

void XMLDictionaryInfo::FromDictionary(const DictionaryInfo& source) {
  ZelTraceScope scope(nullptr, "XMLDictionaryInfo::FromDictionary");
  const auto* standard = dynamic_cast<const StdDictionaryInfo*>(&source);
  if (!standard) {
    throwInternalError(__LINE__, "XMLDictionaryInfo::FromDictionary", kInternalError,
                       "The generic build needs a standard dictionary");
  }
  // Set first: property tables are recognised by this name as they are created.
  setWireFormatName(ZelWstring(kFormatName));
  const GenericMessageSetValues messageSet = copyIdentificationAndMessageSet(*standard);
  copyStringTableEntries(*standard);
  const StdDictWireFormatDefs& wireFormats = getWireFormatDefs();
  wireFormats.Create(1);
  std::memcpy(wireFormats.GetBuffer()[0].inlineName, kFormatName, sizeof kFormatName);
  wireFormats.SetRowName(0, kFormatName);
  copyTagsWithGenericProperties(*standard, messageSet);
  copyMembersWithGenericProperties(*standard);
  copyTypesAndMemberIds(*standard);
}

namespace {

// Creates properties of one table under the "XML" table name.
class GenericPropertyWriter {
public:
  explicit GenericPropertyWriter(DictTable* table) : table_(table) {}
  StringTableRef strings(const char16_t* name) const {
    return table_->CreateProperty(kFormatName, name, eLogicalString, 0);
  }
  StringTableRef integers(const char16_t* name) const {
    return table_->CreateProperty(kFormatName, name, eLogicalInteger, 0);
  }
  // A property with one value on row 0.
  void setString(const char16_t* name, const ZelWstring& value) const { strings(name)->SetValue(0, value.c_str()); }
  void setInteger(const char16_t* name, std::int64_t value) const { integers(name)->SetIntValue(0, value); }

private:
  DictTable* table_;
};

bool hasBinaryType(const StdDictTypeDefs& types, long typeIndex) {
  return types.containsRow(typeIndex) && types.GetBuffer()[typeIndex].logicalType == eLogicalBinary;
}

std::int64_t genericEncoding(const StdDictTypeDefs& types, long typeIndex) {
  return hasBinaryType(types, typeIndex) ? edeCDATA : edeUndefined;
}

}  // namespace

XMLDictionaryInfo::GenericMessageSetValues XMLDictionaryInfo::copyIdentificationAndMessageSet(
    const StdDictionaryInfo& source) {
  const DictIdentificationDefs& identification = getIdentificationDefs();
  identification.Create(1);
  GenericMessageSetValues values;
  if (source.getIdentificationDefs().GetRowCount() > 0) {
    const DICTIONARY_IDENTIFICATION& from = source.getIdentificationDefs().GetBuffer()[0];
    DICTIONARY_IDENTIFICATION& to = identification.GetBuffer()[0];
    std::memcpy(to.messageSetName, from.messageSetName, sizeof to.messageSetName);
    to.versionMajor = from.versionMajor;
    to.versionMinor = from.versionMinor;
    to.versionPatch = from.versionPatch;
    std::memcpy(to.sourceName, from.sourceName, sizeof to.sourceName);
    to.formatVersion = from.formatVersion;
    to.revision = from.revision;
    values.docTypePublicId = source.getIdentificationDefs().GetRowName(0);
    identification.SetRowName(0, values.docTypePublicId.view());
  }
  identification.GetBuffer()[0].buildKind = DictCodes::eBuildGeneric;
  values.docTypeSystemId = VRK_NAMESPACEATTR_PREFIX;
  values.docTypeSystemId.append(values.docTypePublicId);
  values.rootTagName = kGenericRootTagName;

  const StdDictMsgSetDefs& msgSets = getMsgSetDefs();
  msgSets.Create(1);
  if (source.getMsgSetDefs().GetRowCount() > 0) {
    std::memcpy(msgSets.GetBuffer()[0].inlineName, source.getMsgSetDefs().GetBuffer()[0].inlineName,
                sizeof msgSets.GetBuffer()[0].inlineName);
    msgSets.SetRowName(0, source.getMessageSetName());
  }
  const GenericPropertyWriter properties(msgSets.GetTable());
  properties.setInteger(XML_SUPPRESS_XML_DECLARATION, 0);
  properties.setString(XML_VERSION_KEY, XML_VERSION_1_0);
  properties.setInteger(XML_SUPPRESS_XML_ENCODING, 1);
  properties.setInteger(XML_SUPPRESS_VRK_COMMENT, 0);
  properties.setString(XML_STANDALONE_DOCUMENT, kEmpty);
  properties.setInteger(XML_SUPPRESS_DOCTYPE, 0);
  properties.setString(XML_DOCTYPE_SYSTEM_ID, values.docTypeSystemId);
  properties.setString(XML_DOCTYPE_PUBLIC_ID, values.docTypePublicId);
  properties.setString(XML_DOCTYPE_TEXT, values.docTypeText);
  properties.setString(XML_ROOT_TAG_NAME, values.rootTagName);
  properties.setInteger(XML_ENABLE_VERSIONING_SUPPORT, 1);
  properties.setString(XML_BOOLEAN_TRUE_VALUE, u"1");
  properties.setString(XML_BOOLEAN_FALSE_VALUE, u"0");
  properties.setInteger(XML_ENCODING_NULL_NUM, eNULLEmpty);
  properties.setString(XML_ENCODING_NULL_NUM_VAL, kEmpty);
  properties.setInteger(XML_ENCODING_NULL_NON_NUM, eNULLEmpty);
  properties.setString(XML_ENCODING_NULL_NON_NUM_VAL, kEmpty);
  properties.setString(XML_DEFAULT_TIME_ZONE_VAL, kEmpty);
  properties.setInteger(XML_PRESERVE_UTC_FORMAT, 0);
  properties.setString(XML_DEFAULT_DATETIME_FORMAT_VAL, kEmpty);
  properties.setInteger(XML_CENTURY_WINDOW_VAL, 1);
  properties.setString(XML_FIRST_DAY_OF_WEEK_VAL, kEmpty);
  properties.setInteger(XML_FIRST_WEEK_OF_YEAR_VAL, 1);
  properties.setInteger(XML_ALLOW_LENIENT_DATETIMES_VAL, 1);
  return values;
}

void XMLDictionaryInfo::copyStringTableEntries(const StdDictionaryInfo& source) {
  const StdDictStringTableEntries& entries = getStringTableEntries();
  const std::int32_t count = source.getStringTableEntries().GetRowCount();
  entries.Create(count);
  for (std::int32_t i = 0; i < count; ++i) entries.SetRowName(i, source.getStringTableEntries().GetRowName(i));
}

void XMLDictionaryInfo::copyTagsWithGenericProperties(const StdDictionaryInfo& source,
                                                      const GenericMessageSetValues& messageSet) {
  const StdDictTagDefs& tags = getTagDefs();
  const std::int32_t count = source.getTagDefs().GetRowCount();
  tags.Create(count);
  const GenericPropertyWriter properties(tags.GetTable());
  const StringTableRef docTypeSystemId = properties.strings(XML_DOCTYPE_SYSTEM_ID);
  const StringTableRef docTypePublicId = properties.strings(XML_DOCTYPE_PUBLIC_ID);
  const StringTableRef docTypeText = properties.strings(XML_DOCTYPE_TEXT);
  const StringTableRef rootTagName = properties.strings(XML_ROOT_TAG_NAME);
  const StringTableRef xmlName = properties.strings(XML_XML_NAME);
  const StringTableRef render = properties.integers(XML_RENDER);
  const StringTableRef idAttributeName = properties.strings(XML_ID_ATTRIBUTE_NAME);
  const StringTableRef idAttributeValue = properties.strings(XML_ID_ATTRIBUTE_VALUE);
  const StringTableRef format = properties.strings(XML_FORMAT);
  const StringTableRef encoding = properties.integers(XML_ENCODING);

  const SMD_TAG_DEFINITION* from = source.getTagDefs().GetBuffer();
  SMD_TAG_DEFINITION* to = tags.GetBuffer();
  for (std::int32_t i = 0; i < count; ++i) {
    // The namespace index keeps its default: the generic build has no namespaces.
    to[i].tagId = from[i].tagId;
    to[i].tagClass = from[i].tagClass;
    to[i].typeId = from[i].typeId;
    to[i].nillable = from[i].nillable;
    to[i].typeIndex = from[i].typeIndex;
    to[i].declaredAsAttribute = from[i].declaredAsAttribute;
    to[i].blockFlags = from[i].blockFlags;

    const char16_t* name = source.getTagName(i);
    if (from[i].tagClass == DictCodes::eClassMessage) {
      docTypeSystemId->SetValue(i, messageSet.docTypeSystemId.c_str());
      docTypePublicId->SetValue(i, messageSet.docTypePublicId.c_str());
      docTypeText->SetValue(i, messageSet.docTypeText.c_str());
      rootTagName->SetValue(i, messageSet.rootTagName.c_str());
      render->SetIntValue(i, erElement);
      idAttributeName->SetValue(i, kGenericIdAttributeName);
      idAttributeValue->SetValue(i, orEmpty(name));
    } else {
      docTypeSystemId->SetValue(i, kEmpty);
      docTypePublicId->SetValue(i, kEmpty);
      docTypeText->SetValue(i, kEmpty);
      rootTagName->SetValue(i, kEmpty);
      render->SetIntValue(i, erUndefined);
      idAttributeName->SetValue(i, kEmpty);
      idAttributeValue->SetValue(i, kEmpty);
    }
    xmlName->SetValue(i, orEmpty(name));
    format->SetValue(i, kEmpty);
    encoding->SetIntValue(i, genericEncoding(source.getTypeDefs(), from[i].typeIndex));
  }
}

void XMLDictionaryInfo::copyMembersWithGenericProperties(const StdDictionaryInfo& source) {
  const StdDictStructDefs& members = getStructDefs();
  const std::int32_t count = source.getStructDefs().GetRowCount();
  members.Create(count);
  const GenericPropertyWriter properties(members.GetTable());
  const StringTableRef xmlName = properties.strings(XML_XML_NAME);
  const StringTableRef render = properties.integers(XML_RENDER);
  const StringTableRef idAttributeName = properties.strings(XML_ID_ATTRIBUTE_NAME);
  const StringTableRef idAttributeValue = properties.strings(XML_ID_ATTRIBUTE_VALUE);
  const StringTableRef valueAttributeName = properties.strings(XML_VALUE_ATTRIBUTE_NAME);
  const StringTableRef format = properties.strings(XML_FORMAT);
  const StringTableRef encoding = properties.integers(XML_ENCODING);

  const SMD_STRUCTURE_ELEMENT_DEFINITION* from = source.getStructDefs().GetBuffer();
  SMD_STRUCTURE_ELEMENT_DEFINITION* to = members.GetBuffer();
  for (std::int32_t i = 0; i < count; ++i) {
    to[i].memberId = from[i].memberId;
    to[i].containingTypeId = from[i].containingTypeId;
    to[i].elementId = from[i].elementId;
    to[i].memberTypeId = from[i].memberTypeId;
    to[i].memberKind = from[i].memberKind;
    to[i].minOccurs = from[i].minOccurs;
    to[i].maxOccurs = from[i].maxOccurs;
    to[i].elementIndex = from[i].elementIndex;
    to[i].typeIndex = from[i].typeIndex;

    const long element = from[i].elementIndex;
    if (element >= 0) {
      // The XML name this build gave the element: its name in the source.
      const char16_t* elementName = orEmpty(source.getTagName(element));
      xmlName->SetValue(i, elementName);
      render->SetIntValue(i, erElement);
      idAttributeName->SetValue(i, kGenericIdAttributeName);
      idAttributeValue->SetValue(i, elementName);
      valueAttributeName->SetValue(i, kGenericValueAttributeName);
    } else {
      xmlName->SetValue(i, kEmpty);
      render->SetIntValue(i, erUndefined);
      idAttributeName->SetValue(i, kEmpty);
      idAttributeValue->SetValue(i, kEmpty);
      valueAttributeName->SetValue(i, kEmpty);
    }
    format->SetValue(i, kEmpty);
    encoding->SetIntValue(i, genericEncoding(source.getTypeDefs(), from[i].typeIndex));
  }
}

void XMLDictionaryInfo::copyTypesAndMemberIds(const StdDictionaryInfo& source) {
  const StdDictTypeDefs& types = getTypeDefs();
  const std::int32_t typeCount = source.getTypeDefs().GetRowCount();
  types.Create(typeCount);
  const SMD_TYPE_DEFINITION* from = source.getTypeDefs().GetBuffer();
  SMD_TYPE_DEFINITION* to = types.GetBuffer();
  for (std::int32_t i = 0; i < typeCount; ++i) {
    to[i].typeId = from[i].typeId;
    to[i].derivationMethod = from[i].derivationMethod;
    to[i].contentKind = from[i].contentKind;
    to[i].baseTypeId = from[i].baseTypeId;
    to[i].logicalType = from[i].logicalType;
    to[i].firstMemberIndex = from[i].firstMemberIndex;
    to[i].typeKind = from[i].typeKind;
    to[i].listItemTypeIndex = from[i].listItemTypeIndex;
    to[i].namespaceIndex = from[i].namespaceIndex;
    to[i].whiteSpace = from[i].whiteSpace;
    to[i].skipsUndeclaredAttributes = from[i].skipsUndeclaredAttributes;
  }

  const StdDictMbrIdToStructDefs& memberIds = getMbrIdToStructDefs();
  const std::int32_t idCount = source.getMbrIdToStructDefs().GetRowCount();
  memberIds.Create(idCount);
  for (std::int32_t i = 0; i < idCount; ++i) *memberIds[i] = *source.getMbrIdToStructDefs()[i];
}

void XMLDictionaryInfo::buildElementNameIndex() {
  // Keys compare by code units with a prefix first, as the bisection does.
  std::map<ZelWstring, std::int32_t> keys;
  const StdDictNamespaceDefs& namespaces = getNamespaceDefs();
  const SMD_TAG_DEFINITION* tags = getTagDefs().GetBuffer();
  const std::int32_t tagCount = getTagDefs().GetRowCount();
  for (std::int32_t i = 0; i < tagCount; ++i) {
    const char16_t* name = iXMLTagDefs.getXMLName(i);
    if (!name || !*name) continue;
    const char16_t* uri = tags[i].namespaceIndex == -1 ? nullptr : namespaces.GetRowName(tags[i].namespaceIndex);
    ZelWstring key(uri);
    key.append(name);
    keys.emplace(std::move(key), i);  // an existing key keeps its first tag
  }
  CreateTable(iElementNameIndexTable, sizeof(std::int32_t), static_cast<std::int32_t>(keys.size()));
  std::int32_t* rows = iElementNameIndex.GetBuffer();
  for (const auto& entry : keys) *rows++ = entry.second;
}

void XMLDictionaryInfo::postProcessDictionary() {
  ZelTraceScope scope(nullptr, "XMLDictionaryInfo::postProcessDictionary");
  buildStandardCaches();
  buildXMLRecords();
  buildNameSearchKeys();
  buildMessageTagIndexes();
}

void XMLDictionaryInfo::buildMessageTagIndexes() {
  const CheckedVector<prf_SMD_TAG_DEFINITION>& tags = getTagCache();
  iMessageTagsByName.clear();
  for (std::size_t i = 0; i < tags.size() && i < iXMLTagDefinitions.size(); ++i)
    if (tags[i].tagClass == eTagClassMessage) iMessageTagsByName.push_back(static_cast<long>(i));
  // Most message elements name no wrapper; an empty root tag name never
  // matches, so only the others are compared at every document's root.
  iWrapperTagIndexes.clear();
  for (const long i : iMessageTagsByName)
    if (!iXMLTagDefinitions[static_cast<std::size_t>(i)].rootTagName.empty()) iWrapperTagIndexes.push_back(i);
  std::stable_sort(iMessageTagsByName.begin(), iMessageTagsByName.end(), [this](long a, long b) {
    return xmlNameOf(a) < xmlNameOf(b);
  });
}

std::u16string_view XMLDictionaryInfo::xmlNameOf(long tagIndex) const {
  return iXMLTagDefinitions[static_cast<std::size_t>(tagIndex)].xmlName.view();
}

XMLDictionaryInfo::TagIndexes XMLDictionaryInfo::messageTagsNamed(std::u16string_view name) const {
  const long* const end = iMessageTagsByName.data() + iMessageTagsByName.size();
  const long* const first = std::lower_bound(iMessageTagsByName.data(), end, name,
                                             [this](long tag, std::u16string_view n) { return xmlNameOf(tag) < n; });
  const long* last = first;
  while (last != end && xmlNameOf(*last) == name) ++last;
  return {first, last};
}

void XMLDictionaryInfo::buildXMLRecords() {
  const long tagCount = getTagDefs().GetRowCount();
  iXMLTagDefinitions.clear();
  iXMLTagDefinitions.reserve(static_cast<std::size_t>(tagCount));
  for (long i = 0; i < tagCount; ++i) iXMLTagDefinitions.push_back(iXMLTagDefs.buildRecord(i));

  const long memberCount = getStructDefs().GetRowCount();
  iXMLTypeMemberDefinitions.clear();
  iXMLTypeMemberDefinitions.reserve(static_cast<std::size_t>(memberCount));
  for (long i = 0; i < memberCount; ++i) iXMLTypeMemberDefinitions.push_back(iXMLStructDefs.buildRecord(i));

  iXMLMsgSetDefinition = iXMLMsgSetDefs.buildRecord();
}

void XMLDictionaryInfo::buildNameSearchKeys() {
  const bool withNamespace = getFormatVersion() >= 4;
  const long rows = getElementNameIndexCount();
  iNameSearchKeys.clear();
  iNameSearchText.clear();
  iNameSearchKeys.reserve(static_cast<std::size_t>(rows));
  for (long row = 0; row < rows; ++row) {
    const long tagIndex = getElementNameIndexEntry(row);
    const prf_SMD_TAG_DEFINITION& tag = getTagCache().get(tagIndex);
    const std::size_t offset = iNameSearchText.size();
    if (withNamespace && tag.namespaceIndex != -1) {
      iNameSearchText.append(getNamespaceCache().get(tag.namespaceIndex).getURI().view());
    }
    iNameSearchText.append(iXMLTagDefinitions.get(tagIndex).xmlName.view());
    iNameSearchKeys.push_back({static_cast<std::uint32_t>(offset),
                               static_cast<std::uint32_t>(iNameSearchText.size() - offset), tagIndex});
  }
}

void XMLDictionaryInfo::DumpContents(FILE* file) const {
  StdDictionaryInfo::DumpContents(file);
  std::fprintf(file, "\nxmlElementNameToTagIndex\n");
  std::fprintf(file, "------------------------\n");
  for (long i = 0; i < getElementNameIndexCount(); ++i) {
    const long tagIndex = getElementNameIndexEntry(i);
    const std::string name = ZelWstring(iXMLTagDefs.getXMLName(tagIndex)).toUtf8();
    std::fprintf(file, "i = %-3ld, tagIndex = %-5.5ld, tagName = %s\n", i, tagIndex, name.c_str());
  }
}

bool XMLDictionaryInfo::rootTagNameMatch(const char16_t* name) const {
  constexpr const char* kFunction = "XMLDictionaryInfo::rootTagNameMatch";
  if (!name || !*name) return false;
  if (rootTagNameEquals(iXMLMsgSetDefinition.rootTagName, name)) {
    if (ZelLog::traceOn()) ZelLog::trace(nullptr, kFunction, {"Matched root tag name against message set value"});
    return true;
  }
  for (const long i : iWrapperTagIndexes) {
    if (rootTagNameEquals(iXMLTagDefinitions[static_cast<std::size_t>(i)].rootTagName, name)) {
      if (ZelLog::traceOn()) ZelLog::trace(nullptr, kFunction, {"Matched root tag name against tag index", i});
      return true;
    }
  }
  if (ZelLog::traceOn()) ZelLog::trace(nullptr, kFunction, {"Tag did not match against the root tag name."});
  return false;
}

ELogicalType XMLDictionaryInfo::getBaseLogicalType(long typeIndex) const {
  if (typeIndex < 0) return eLogicalNone;
  const CheckedVector<prf_SMD_TYPE_DEFINITION>& types = getTypeCache();
  const long baseTypeId = types.get(typeIndex).baseTypeId;
  if (baseTypeId <= 0) return eLogicalNone;
  return static_cast<ELogicalType>(types.get(getTypeDefIndex(baseTypeId)).logicalType);
}

bool XMLDictionaryInfo::isNamespaceProcessingEnabled() const {
  return getFormatVersion() > 3 && getMsgSetDefs().GetRowCount() > 0 && getMsgSetDefs()[0]->namespacesEnabled == 1;
}

#include "xmldictionaryinfo.h"

#include "plugin/xmltestdictionary.h"
#include "host/test_support.h"
#include "zelexception.h"
#include "paramname.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using Table = XMLTestDictionary::Table;

std::u16string text(const ZelWstring& value) { return std::u16string(value.view()); }

std::string dumpOf(const XMLDictionaryInfo& dictionary) {
  FILE* file = std::tmpfile();
  dictionary.DumpContents(file);
  std::rewind(file);
  std::string out;
  for (int c; (c = std::fgetc(file)) != EOF;) out += static_cast<char>(c);
  std::fclose(file);
  return out.substr(out.find("xmlElementNameToTagIndex"));
}

// ---- Property mapping ----------------------------------------------------

std::string show(const ZelWstring& value) { return value.toUtf8(); }
std::string show(long value) { return std::to_string(value); }
std::string show(bool value) { return value ? "true" : "false"; }

using FieldReader = std::string (*)(const XMLDictionaryInfo&);
#define MSET(f) [](const XMLDictionaryInfo& d) { return show(d.getXMLMsgSetDefinition().f); }
#define TAG(i, f) [](const XMLDictionaryInfo& d) { return show(d.getXMLTagDefinition(i).f); }
#define MEMBER(i, f) [](const XMLDictionaryInfo& d) { return show(d.getXMLTypeMemberDefinition(i).f); }

struct PropertyCase {
  Table table;
  const char16_t* name;
  XMLTestDictionary::Value value;
  FieldReader field;
  const char* whenSet;
  const char* whenAbsent;  // null: the property is required
};

// One tag (0) and one member (1 refers to it) carry the element and member
// properties; namespace 0 exists.
XMLTestDictionary propertyFixture() {
  XMLTestDictionary source;
  source.addNamespace(u"urn:a");
  source.addMember(u"m", source.addTag({u"t", 'M'}), -1);
  return source;
}

class XMLDictionaryProperty : public testing::TestWithParam<PropertyCase> {};

TEST_P(XMLDictionaryProperty, ReachesItsOwnField) {
  const PropertyCase& c = GetParam();
  XMLTestDictionary source = propertyFixture();
  source.property(c.table, c.name, 0, c.value);
  EXPECT_EQ(c.field(*source.build()), c.whenSet);
}

TEST_P(XMLDictionaryProperty, UnderAnotherWireFormatIsAbsent) {
  const PropertyCase& c = GetParam();
  XMLTestDictionary source = propertyFixture();
  source.removeProperty(c.table, c.name).property(c.table, c.name, 0, c.value, u"CWF");
  if (c.whenAbsent) {
    EXPECT_EQ(c.field(*source.build()), c.whenAbsent);
    return;
  }
  const XMLDictionaryPtr dictionary = source.load();
  const ZelException e = raisedBy([&] { dictionary->postProcessDictionary(); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_XML_INTERNAL_ERROR);
  EXPECT_EQ(text(e.getInserts().back().text), c.name);
}

// One required and one optional property of each table: the rest reach
// their fields the same way, and the parse and write tests use them.
INSTANTIATE_TEST_SUITE_P(
    All, XMLDictionaryProperty,
    testing::Values(
        PropertyCase{Table::MsgSet, XML_SUPPRESS_XML_DECLARATION, 1, MSET(suppressXmlDecl), "true", nullptr},
        PropertyCase{Table::MsgSet, XML_ENCODING_NULL_NON_NUM, 0x100000003, MSET(nullNonNumEncoding), "3", nullptr},
        PropertyCase{Table::MsgSet, XML_CENTURY_WINDOW_VAL, 70, MSET(centuryWindow), "70", "53"},
        PropertyCase{Table::Tag, XML_RENDER, 2, TAG(0, render), "2", nullptr},
        PropertyCase{Table::Tag, XML_FORMAT, u"f", TAG(0, format), "f", ""},
        PropertyCase{Table::Member, XML_ENCODING, 1, MEMBER(0, dataEncoding), "1", nullptr},
        PropertyCase{Table::Member, XML_VALUE_ATTRIBUTE_NAMESPACE, 0, MEMBER(0, valueAttributeNamespace), "0", "-1"}));

// ---- Time-zone translation -----------------------------------------------

// Sets or unsets an environment variable for one scope, restoring it after.
class ScopedEnvironment {
public:
  ScopedEnvironment(const char* name, std::optional<const char*> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, *value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

private:
  const char* name_;
  std::optional<std::string> old_;
};

// tests/data/descriptor/time-zones.txt: zones and their translations.
class XMLDictionaryTimeZone : public testing::TestWithParam<DataCase> {};

TEST_P(XMLDictionaryTimeZone, IsTranslatedUnderTheEnvironmentSwitches) {
  const DataCase& c = GetParam();
  const auto given = [&c](const char* key) {
    return c.fields.count(key) ? std::optional<const char*>(c[key].c_str()) : std::nullopt;
  };
  const ScopedEnvironment us("KOBR_USE_NEW_US_DST", given("us"));
  const ScopedEnvironment waus("KOBR_USE_NEW_WAUS_DST", given("waus"));
  XMLTestDictionary source;
  const std::u16string zone(ZelWstring::fromUtf8(c["zone"]).view());
  source.property(Table::MsgSet, XML_DEFAULT_TIME_ZONE_VAL, 0, zone.c_str());
  EXPECT_EQ(text(source.build()->getXMLMsgSetDefinition().defaultTimeZone), text(ZelWstring::fromUtf8(c["expected"])));
}

INSTANTIATE_TEST_SUITE_P(All, XMLDictionaryTimeZone, testing::ValuesIn(dataCases("descriptor/time-zones.txt")),
                         ReadableName());

// ---- The generic build ---------------------------------------------------

struct GenericCase {
  FieldReader field;
  const char* expected;
};

class XMLDictionaryGenericBuild : public testing::Test {
protected:
  // Tags: 0 purchaseOrder (message, String type), 1 picture (Binary type).
  // Members: 0 refers to picture, 1 to no element (String type).
  static void SetUpTestSuite() {
    XMLTestDictionary source;
    source.identificationName = u"Shop";
    const long binary = source.addType(u"blob", eLogicalBinary);
    const long string = source.addType(u"text", eLogicalString);
    source.addTag({u"purchaseOrder", 'M', string});
    source.addMember(u"picture", source.addTag({u"picture", 'F', binary}), binary);
    source.addMember(u"", -1, string);
    XMLDictionaryInfo image(0);
    source.fill(image);
    dictionary_ = new XMLDictionaryInfo(0);
    dictionary_->FromDictionary(image);
    dictionary_->postProcessDictionary();
  }
  static void TearDownTestSuite() { dictionary_->release(); }
  static XMLDictionaryInfo* dictionary_;
};

XMLDictionaryInfo* XMLDictionaryGenericBuild::dictionary_ = nullptr;

class XMLDictionaryGenericColumn : public XMLDictionaryGenericBuild, public testing::WithParamInterface<GenericCase> {};

TEST_P(XMLDictionaryGenericColumn, HoldsTheGenericDefault) {
  EXPECT_EQ(GetParam().field(*dictionary_), GetParam().expected);
}

const std::string kGenericSystemId = ZelWstring(VRK_NAMESPACEATTR_PREFIX).toUtf8() + "Shop";

INSTANTIATE_TEST_SUITE_P(
    All, XMLDictionaryGenericColumn,
    testing::Values(GenericCase{MSET(rootTagName), "VRK"}, GenericCase{MSET(docTypePublicId), "Shop"},
                    GenericCase{MSET(docTypeSystemId), kGenericSystemId.c_str()},
                    // A message tag.
                    GenericCase{TAG(0, render), "0"}, GenericCase{TAG(0, xmlName), "purchaseOrder"},
                    GenericCase{TAG(0, idAttributeName), "id"}, GenericCase{TAG(0, idAttributeValue), "purchaseOrder"},
                    GenericCase{TAG(0, rootTagName), "VRK"}, GenericCase{TAG(0, docTypePublicId), "Shop"},
                    GenericCase{TAG(0, dataEncoding), "-1"},
                    // Any other tag; Binary gets CDATA.
                    GenericCase{TAG(1, render), "-1"}, GenericCase{TAG(1, xmlName), "picture"},
                    GenericCase{TAG(1, idAttributeValue), ""}, GenericCase{TAG(1, rootTagName), ""},
                    GenericCase{TAG(1, dataEncoding), "0"},
                    // A member with an element and one without.
                    GenericCase{MEMBER(0, render), "0"}, GenericCase{MEMBER(0, xmlName), "picture"},
                    GenericCase{MEMBER(0, idAttributeName), "id"}, GenericCase{MEMBER(0, idAttributeValue), "picture"},
                    GenericCase{MEMBER(0, valueAttributeName), "val"}, GenericCase{MEMBER(0, dataEncoding), "0"},
                    GenericCase{MEMBER(1, render), "-1"}, GenericCase{MEMBER(1, xmlName), ""},
                    GenericCase{MEMBER(1, idAttributeName), ""}, GenericCase{MEMBER(1, valueAttributeName), ""},
                    GenericCase{MEMBER(1, dataEncoding), "-1"}), ReadableName());

TEST_F(XMLDictionaryGenericBuild, LeavesTheNameIndexEmptyAndOneEmptyNamespace) {
  EXPECT_EQ(dictionary_->getDictionaryIdentification()->buildKind, DictCodes::eBuildGeneric);
  EXPECT_EQ(dictionary_->getXMLTagDefs().getElementIndexFromXMLElement(u"picture", ZelWstring(), eTagStyleAny), -1);
  ASSERT_EQ(dictionary_->getNamespaceCache().size(), 1u);
  EXPECT_TRUE(dictionary_->getNamespaceCache()[0].getURI().empty());
}

TEST(XMLDictionaryGenericBuildSource, MustBeAStandardDictionary) {
  DictionaryInfo plain(1);
  XMLDictionaryPtr dictionary(new XMLDictionaryInfo(0));
  EXPECT_EQ(raisedBy([&] { dictionary->FromDictionary(plain); }).getMessageNumber(),
            ZelMessages::CP_XML_INTERNAL_ERROR);
}

// ---- The element-name index ----------------------------------------------

TEST(XMLDictionaryNameIndex, KeepsTheLowerTagForADuplicateKeyAndSkipsNamelessTags) {
  XMLTestDictionary source;
  const long ns = source.addNamespace(u"urn:x");
  const long first = source.addTag({u"b"});
  source.addTag({u"b"});
  source.addTag({u"anonymous", 'F', -1, -1, false, u""});
  const long namespaced = source.addTag({u"a", 'F', -1, ns});
  const XMLDictionaryPtr dictionary = source.build();

  ASSERT_EQ(dictionary->getElementNameIndexCount(), 2);
  EXPECT_EQ(dictionary->getElementNameIndexEntry(0), first);       // "b"
  EXPECT_EQ(dictionary->getElementNameIndexEntry(1), namespaced);  // "urn:xa" sorts after "b"
  EXPECT_EQ(dumpOf(*dictionary),
            "xmlElementNameToTagIndex\n"
            "------------------------\n"
            "i = 0  , tagIndex = 00000, tagName = b\n"
            "i = 1  , tagIndex = 00003, tagName = a\n");
}

// ---- Name lookups ---------------------------------------------------------

// 0 order (message), 1 item (F), 2 box (S), 3 id (attribute declaration),
// 4 id (element declaration), 5 urn:a item (F), 6 no XML name.
XMLDictionaryPtr buildLookupDictionary(std::int32_t formatVersion) {
  XMLTestDictionary source;
  const long ns = source.addNamespace(u"urn:a");
  source.addTag({u"order", 'M'});
  source.addTag({u"item", 'F'});
  source.addTag({u"box", 'S'});
  source.addTag({u"id", 'F', -1, -1, true});
  source.addTag({u"id2", 'F', -1, -1, false, u"id"});
  source.addTag({u"item", 'F', -1, ns});
  source.addTag({u"nameless", 'F', -1, -1, false, u""});
  source.formatVersion = formatVersion;
  return source.build();
}

// tests/data/descriptor/lookups.txt: names, namespaces and styles looked up.
class XMLDictionaryNameLookup : public testing::TestWithParam<DataCase> {};

TEST_P(XMLDictionaryNameLookup, FindsElementDefinitionsByNamespaceNameAndStyle) {
  const DataCase& c = GetParam();
  const XMLDictionaryPtr dictionary =
      buildLookupDictionary(c.fields.count("format") ? std::stoi(c["format"]) : DictCodes::eFormatVersionCurrent);
  const std::map<std::string, TAG_STYLE> styles = {
      {"any", eTagStyleAny}, {"attribute", eTagStyleAttributeDeclaration}, {"element", eTagStyleElementDeclaration}};
  const bool named = c.fields.count("name");
  const std::u16string name(ZelWstring::fromUtf8(named ? c["name"] : "").view());
  const ZelWstring uri = ZelWstring::fromUtf8(c.fields.count("namespace") ? c["namespace"] : "");
  EXPECT_EQ(dictionary->getXMLTagDefs().getElementIndexFromXMLElement(named ? name.c_str() : nullptr, uri,
                                                                      styles.at(c["style"])),
            std::stol(c["expected"]));
}

INSTANTIATE_TEST_SUITE_P(All, XMLDictionaryNameLookup, testing::ValuesIn(dataCases("descriptor/lookups.txt")),
                         ReadableName());

class XMLDictionaryBisection : public testing::TestWithParam<int> {};

TEST_P(XMLDictionaryBisection, FindsEveryElementAndNoNameBetweenThem) {
  // Names e1000, e1003, ... so that e1001 falls between two of them.
  const auto nameOf = [](int number) {
    const std::string digits = "e" + std::to_string(number);
    return std::u16string(digits.begin(), digits.end());
  };
  XMLTestDictionary source;
  const int count = GetParam();
  for (int i = 0; i < count; ++i) source.addTag({nameOf(1000 + 3 * i)});
  const XMLDictionaryPtr dictionary = source.build();
  const auto& tags = dictionary->getXMLTagDefs();
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(tags.getElementIndexFromXMLElement(nameOf(1000 + 3 * i).c_str(), ZelWstring(), eTagStyleAny), i);
    EXPECT_EQ(tags.getElementIndexFromXMLElement(nameOf(1001 + 3 * i).c_str(), ZelWstring(), eTagStyleAny), -1);
  }
  EXPECT_EQ(tags.getElementIndexFromXMLElement(u"a", ZelWstring(), eTagStyleAny), -1);
  EXPECT_EQ(tags.getElementIndexFromXMLElement(u"z", ZelWstring(), eTagStyleAny), -1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, XMLDictionaryBisection, testing::Values(0, 1, 2, 3, 4, 7, 8, 100), ReadableName());

// ---- Root tag names --------------------------------------------------------

// tests/data/descriptor/root-tags.txt: root tag names and the names they match.
class XMLDictionaryRootTag : public testing::TestWithParam<DataCase> {};

TEST_P(XMLDictionaryRootTag, MatchesTheElementNameOfARootTagName) {
  const DataCase& c = GetParam();
  const auto given = [&c](const char* key) -> std::optional<std::u16string> {
    if (!c.fields.count(key)) return std::nullopt;
    return std::u16string(ZelWstring::fromUtf8(c[key]).view());
  };
  const std::optional<std::u16string> setRoot = given("set"), messageRoot = given("message"), name = given("name");
  XMLTestDictionary source;
  source.addTag({u"field", 'F'});
  const long message = source.addTag({u"msg", 'M'});
  if (setRoot) source.property(Table::MsgSet, XML_ROOT_TAG_NAME, 0, setRoot->c_str());
  if (messageRoot) source.property(Table::Tag, XML_ROOT_TAG_NAME, message, messageRoot->c_str());
  source.property(Table::Tag, XML_ROOT_TAG_NAME, 0, u"FieldRoot");  // not a message: ignored
  EXPECT_EQ(source.build()->rootTagNameMatch(name ? name->c_str() : nullptr), c["matches"] == "yes");
}

INSTANTIATE_TEST_SUITE_P(All, XMLDictionaryRootTag, testing::ValuesIn(dataCases("descriptor/root-tags.txt")),
                         ReadableName());

TEST(XMLDictionaryMessageTags, FindsTheMessageElementsOfANameInTableOrder) {
  XMLTestDictionary source;
  source.addTag({u"msg", 'F'});  // not a message
  const long later = source.addTag({u"msg", 'M'});
  const long other = source.addTag({u"other", 'M'});
  source.addTag({u"group", 'S'});
  const long last = source.addTag({u"msg", 'M'});
  const XMLDictionaryPtr dictionary = source.build();
  const auto named = [&](std::u16string_view name) {
    const auto tags = dictionary->messageTagsNamed(name);
    return std::vector<long>(tags.begin(), tags.end());
  };
  EXPECT_EQ(named(u"msg"), (std::vector<long>{later, last}));
  EXPECT_EQ(named(u"other"), std::vector<long>{other});
  for (const std::u16string_view absent : {u"ms", u"msgs", u"group", u"", u"zzz"})
    EXPECT_TRUE(named(absent).empty());
}

// ---- ID lookups ---------------------------------------------------------------

TEST(XMLDictionaryIdLookup, FindsKnownIdsAndRejectsUnknownOnes) {
  XMLTestDictionary source;
  const long tag = source.addTag({u"a"});
  const long member = source.addMember(u"a", tag, -1);
  const XMLDictionaryPtr dictionary = source.build();
  EXPECT_EQ(dictionary->getXMLTagDefs().getIndex(XMLTestDictionary::tagIdOf(tag)), tag);
  EXPECT_EQ(dictionary->getXMLStructDefs().getIndex(XMLTestDictionary::memberIdOf(member)), member);

  EXPECT_STREQ(raisedBy([&] { dictionary->getXMLTagDefs().getIndex(42); }).getKey(), "CP_XML_INTERNAL_ERROR");
  EXPECT_STREQ(raisedBy([&] { dictionary->getXMLStructDefs().getIndex(42); }).getKey(), "CP_XML_INTERNAL_ERROR");
}

// ---- Types ---------------------------------------------------

TEST(XMLDictionaryTypes, BaseLogicalTypeLooksOneLevelUp) {
  XMLTestDictionary source;
  const long decimal = source.addType(u"decimal", eLogicalDecimal);
  const long price = source.addType(u"price", eLogicalString, decimal);
  const long discount = source.addType(u"discount", eLogicalString, price);
  const XMLDictionaryPtr dictionary = source.build();
  EXPECT_EQ(dictionary->getBaseLogicalType(-1), eLogicalNone);
  EXPECT_EQ(dictionary->getBaseLogicalType(decimal), eLogicalNone);
  EXPECT_EQ(dictionary->getBaseLogicalType(price), eLogicalDecimal);
  EXPECT_EQ(dictionary->getBaseLogicalType(discount), eLogicalString);
}

}  // namespace

// Namespace declarations, xsi:type policies, schema locations and the SOAP
// encoding style.
#include "writetestsupport.h"

#include "parsetestsupport.h"
#include "xmlworkerutility.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <string>

using namespace writetest;

namespace {

constexpr std::u16string_view kXsi = XML_SCHEMA_INSTANCE_NAMESPACE_STR;
const std::string kXsiDecl = " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";
const std::string kXsDecl = " xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"";

std::string namespaceSet(const std::string& policy, const std::string& messageExtras = "") {
  return dataText("sets/write/namespaces.json", {{"@POLICY@", policy}, {"@MESSAGE@", messageExtras}});
}

// msg > item (with an xsi:type field in the tree) > price, label; plain; a
// self-defining time t.
void buildMessage(TreeMaker& make, std::u16string_view xsiType = u"urn:b:Item") {
  TreeElement& msg = make.tag(nullptr, u"msg");
  TreeElement& item = make.member(msg, u"item", PWFData(), 3);
  if (!xsiType.empty()) make.named(&item, u"type", str(xsiType), 0, kXsi);
  make.member(item, u"price", PWFData::makeDecimal(ZelWstring(u"1.50")));
  make.member(item, u"label", str(u"x"));
  make.member(msg, u"plain", str(u"p"));
  constexpr std::int32_t kUnset = PWFDateTime::kUnset;
  make.named(&msg, u"t", PWFData::makeDateTime(dateTime(kUnset, kUnset, kUnset, 10, 30, 0)));
}

// tests/data/write/xsi-type-policies.txt: each policy and the document it writes.
class XMLWriterXsiTypePolicies : public testing::TestWithParam<DataCase> {};

}  // namespace

TEST_P(XMLWriterXsiTypePolicies, WritesXsiTypeAsThePolicySays) {
  const DescriptorPtr descriptor = compileDescriptor(namespaceSet(GetParam().label));
  MessageTree tree;
  TreeMaker make(tree, descriptor.get());
  buildMessage(make);
  EXPECT_EQ(WriteRun(descriptor.get()).text(tree), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Policies, XMLWriterXsiTypePolicies,
                         testing::ValuesIn(dataCases("write/xsi-type-policies.txt")), ReadableName());

TEST(XMLWriterXsiType, TreeValueSplitsAtItsLastColon) {
  const DescriptorPtr descriptor = compileDescriptor(namespaceSet("never"));
  const std::pair<std::u16string_view, std::string> cases[] = {
      {u"Item", "<b:item xmlns:b=\"urn:b\"" + kXsiDecl + " xsi:type=\"Item\">"},
      {u"urn:x:y:Item", "<b:item xmlns:b=\"urn:b\"" + kXsiDecl + " xmlns:ns1=\"urn:x:y\" xsi:type=\"ns1:Item\">"}};
  for (const auto& [value, start] : cases) {
    MessageTree tree;
    TreeMaker make(tree, descriptor.get());
    buildMessage(make, value);
    const std::string xml = WriteRun(descriptor.get()).text(tree);
    EXPECT_NE(xml.find(start), std::string::npos) << xml;
  }
}

// All on the message: the namespaces the message uses, on the message
// element; at first use: where needed, and again in siblings. urn:c has no
// preferred prefix: one is made up; the instance and XML Schema namespaces
// of the message set go unused, undeclared.
TEST(XMLWriterNamespaces, DeclaredAllOnTheMessageOrAtFirstUse) {
  const std::pair<const char*, const char*> cases[] = {
      {R"("namespaceDeclarationPolicy": "allOnMessage",)",
       "<a:msg xmlns:a=\"urn:a\" xmlns:b=\"urn:b\" xmlns:ns1=\"urn:c\"><b:item><a:price>2</a:price></b:item>"
       "<ns1:other>o</ns1:other><ns1:other>p</ns1:other></a:msg>"},
      {"",
       "<a:msg xmlns:a=\"urn:a\"><b:item xmlns:b=\"urn:b\"><a:price>2</a:price></b:item>"
       "<ns1:other xmlns:ns1=\"urn:c\">o</ns1:other><ns1:other xmlns:ns1=\"urn:c\">p</ns1:other></a:msg>"}};
  for (const auto& [policy, expected] : cases) {
    const DescriptorPtr descriptor = compileDescriptor(namespaceSet("never", policy));
    MessageTree tree;
    TreeMaker make(tree, descriptor.get());
    TreeElement& msg = make.tag(nullptr, u"msg");
    make.member(make.member(msg, u"item", PWFData(), 3), u"price", PWFData::makeDecimal(ZelWstring(u"2")));
    make.member(msg, u"other", str(u"o"));
    make.member(msg, u"other", str(u"p"));
    EXPECT_EQ(WriteRun(descriptor.get()).text(tree), expected);
  }
}

// Schema locations go on the message element; self-defining elements and
// attributes keep their namespaces.
TEST(XMLWriterNamespaces, SchemaLocationsOnTheMessageSelfDefiningNamespacesKept) {
  const DescriptorPtr descriptor = compileDescriptor(namespaceSet(
      "never", R"("schemaLocation": "urn:a a.xsd", "noNamespaceSchemaLocation": "n&n.xsd",)"));
  MessageTree tree;
  TreeMaker make(tree, descriptor.get());
  TreeElement& msg = make.tag(nullptr, u"msg");
  make.member(msg, u"plain", str(u"p"));
  TreeElement& extra = make.named(&msg, u"extra", str(u"e"), 0, u"urn:b");
  make.named(&extra, u"@lang", str(u"en"), 0, u"urn:c");
  make.named(&extra, u"@plain", str(u"1"));
  EXPECT_EQ(WriteRun(descriptor.get()).text(tree),
            "<a:msg xmlns:a=\"urn:a\"" + kXsiDecl +
                " xsi:schemaLocation=\"urn:a a.xsd\" xsi:noNamespaceSchemaLocation=\"n&amp;n.xsd\"><plain>p</plain>"
                "<b:extra xmlns:b=\"urn:b\" xmlns:ns1=\"urn:c\" ns1:lang=\"en\" plain=\"1\">e</b:extra></a:msg>");
}

// With namespaces off, a namespace on any element or attribute, defined or
// self-defining, ends the write, naming it and its namespace.
TEST(XMLWriterNamespaces, NamespacesWhereTheMessageSetHasNoneEndTheWrite) {
  const DescriptorPtr descriptor = compileDescriptorFile("sets/write/no-namespaces.json");
  const struct {
    std::u16string_view name;
    bool member;
    const char* key;
  } cases[] = {{u"x", false, "CP_XML_ELEM_NAMESPACE_NOT_ALLOWED"},
               {u"@y", false, "CP_XML_ATTR_NAMESPACE_NOT_ALLOWED"},
               {u"a", true, "CP_XML_ELEM_NAMESPACE_NOT_ALLOWED"},
               {u"id", true, "CP_XML_ATTR_NAMESPACE_NOT_ALLOWED"}};
  for (const auto& c : cases) {
    MessageTree tree;
    TreeMaker make(tree, descriptor.get());
    TreeElement& msg = make.tag(nullptr, u"msg");
    tree.setNamespaceURI(c.member ? make.member(msg, c.name, str(u"1")) : make.named(&msg, c.name, str(u"1")),
                         u"urn:x");
    const ZelException e = WriteRun(descriptor.get()).failure(tree);
    EXPECT_STREQ(e.getKey(), c.key);
    const std::vector<std::string> inserts = insertsOf(e);
    ASSERT_EQ(inserts.size(), 3u) << e.what();
    EXPECT_EQ(inserts[1], ZelWstring(c.name.substr(c.name[0] == u'@')).toUtf8());
    EXPECT_EQ(inserts[2], "urn:x");
  }
}

// ---------------------------------------------------------------------------
// ID and value attributes in namespaces (tests/data/write/attribute-namespaces.txt).

namespace {
class XMLWriterAttributeNamespaces : public testing::TestWithParam<DataCase> {};
}  // namespace

TEST_P(XMLWriterAttributeNamespaces, DeclaresANewPrefixBeforeTheAttribute) {
  const DataCase& c = GetParam();
  const DescriptorPtr descriptor =
      compileDescriptor(dataText("sets/write/attribute-namespaces.json", {{"@POLICY@", c["policy"]}, {"@ID_NAMESPACE@", c["id"]}}));
  MessageTree tree;
  TreeMaker make(tree, descriptor.get());
  TreeElement& msg = make.tag(nullptr, u"msg");
  make.member(msg, u"cur", str(u"5"));
  make.member(msg, u"amt", PWFData::makeDecimal(ZelWstring(u"1.5")));
  const std::string xml = WriteRun(descriptor.get()).text(tree);
  EXPECT_EQ(xml, c.text);
  // And the parser reads it back.
  EXPECT_NO_THROW(parsetest::ParseRun(descriptor.get()).parse(xml));
}

INSTANTIATE_TEST_SUITE_P(Policies, XMLWriterAttributeNamespaces,
                         testing::ValuesIn(dataCases("write/attribute-namespaces.txt")),
                         [](const auto& info) { return info.param.label; });

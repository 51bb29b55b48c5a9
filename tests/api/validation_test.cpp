// Validating documents against the schemas a message set was compiled from.
#include "apitestsupport.h"
#include "dictformat.h"

#include "deepschemas.h"
#include "peakresident.h"
#include "smallthread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace {

// An order schema in two documents (the types are included), with a facet,
// a required attribute and a key.
constexpr char kOrderSchema[] = R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:o="urn:order"
    targetNamespace="urn:order" elementFormDefault="qualified">
  <xs:include schemaLocation="types/order-types.xsd"/>
  <xs:element name="order">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="id" type="o:Code"/>
        <xs:element name="line" type="o:Line" maxOccurs="unbounded"/>
      </xs:sequence>
    </xs:complexType>
    <xs:key name="lineNumbers"><xs:selector xpath="o:line"/><xs:field xpath="@no"/></xs:key>
  </xs:element>
</xs:schema>)";
constexpr char kOrderTypes[] = R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:o="urn:order"
    targetNamespace="urn:order" elementFormDefault="qualified">
  <xs:simpleType name="Code"><xs:restriction base="xs:string"><xs:pattern value="[A-Z]{3}"/></xs:restriction></xs:simpleType>
  <xs:simpleType name="None"><xs:restriction base="xs:string"><xs:length value="0"/></xs:restriction></xs:simpleType>
  <xs:complexType name="Line">
    <xs:sequence><xs:element name="qty" type="xs:positiveInteger"/><xs:any namespace="urn:w" processContents="lax" minOccurs="0"/></xs:sequence>
    <xs:attribute name="no" type="xs:int" use="required"/>
    <xs:attribute name="after" type="xs:IDREFS"/>
  </xs:complexType>
</xs:schema>)";

std::string order(const std::string& id, const std::string& lines) {
  return "<o:order xmlns:o=\"urn:order\">\n<o:id>" + id + "</o:id>\n" + lines + "</o:order>\n";
}

// The message set compiled from the schema, then loaded from its dictionary
// with the schema files gone.
wfxml::MessageSet orderSetWithoutFiles() {
  std::vector<std::uint8_t> dictionary;
  {
    const ScratchFolder folder;
    std::filesystem::create_directory(folder.path() / "types");
    folder.write("types/order-types.xsd", kOrderTypes);
    dictionary = wfxml::MessageSet::compile({folder.write("order.xsd", kOrderSchema)}).dictionaryBytes();
  }
  const ScratchFolder folder;
  return wfxml::MessageSet::load(folder.write("order.dict", textOf(dictionary)));
}

struct InvalidCase {
  const char* name;
  std::string document;
  std::uint64_t line;
  const char* path;     // of the first problem
  const char* message;  // part of the first problem's message
  std::size_t count = 0;  // of the problems, where it is pinned
};

const std::string kLine1 = "<o:line no=\"1\"><o:qty>2</o:qty></o:line>\n";
const std::vector<InvalidCase> kInvalidOrders = {
    {"PatternFacet", order("abc", kLine1), 2, "/o:order/o:id", "'abc'"},
    {"MissingRequiredAttribute", order("ABC", "<o:line><o:qty>2</o:qty></o:line>\n"), 3, "/o:order/o:line", "no"},
    {"MissingElement", order("ABC", ""), 3, "/o:order", "content"},
    {"UnexpectedElementNamesItself", order("ABC", kLine1 + "<o:note/>\n"), 4, "/o:order/o:note", "note"},
    {"DuplicateKey", order("ABC", kLine1 + kLine1), 4, "/o:order/o:line", "duplicate"},
    // Found at the document's end, named where the reference stands.
    {"ReferenceToNoId", order("ABC", kLine1 + "<o:line no=\"2\" after=\" x1\"><o:qty>2</o:qty></o:line>\n" +
                                         "<o:line no=\"3\" after=\"x1\"><o:qty>2</o:qty></o:line>\n"),
     4, "/o:order/o:line", "'x1' is referenced", 1},
    // In document order, not that of Xerces-C's table of IDs.
    {"ReferencesToNoIdInOrder", order("abc", [] {
       std::string lines;
       int no = 0;
       for (const char* id : {"z9", "a1", "m5", "q7", "b2", "k3", "x1", "c8", "y4"})
         lines += "<o:line no=\"" + std::to_string(++no) + "\" after=\"" + id + "\"><o:qty>2</o:qty></o:line>\n";
       return lines;
     }()), 2, "/o:order/o:id", "'abc'", 10},
    {"WrongRoot", "<order/>", 1, "/order", "the root 'order' is declared by none of the schemas (they declare '{urn:order}order')", 1},
    // No more than the root's declaration missing, said once: not each attribute (namespace
    // declarations too, as Xerces-C reports them) and element within.
    {"RootOfAnotherSchema", "<p:pay xmlns:p=\"urn:pay\" xmlns:q=\"urn:q\" id=\"1\">\n<p:id>1</p:id><q:x a=\"2\"/></p:pay>\n",
     1, "/p:pay", "the root '{urn:pay}pay' is declared by none of the schemas (their namespaces: urn:order)", 1},
    {"UndeclaredRootOfTheSchemasNamespace", "<o:note xmlns:o=\"urn:order\" id=\"1\"><o:id>ABC</o:id></o:note>", 1,
     "/o:note", "the root '{urn:order}note' is declared by none", 1},
    {"NotWellFormed", order("ABC", "<o:line no=\"1\">\n"), 4, "/o:order/o:line", "o:line"},
    {"Empty", "", 1, "", "the document is empty", 1},  // Xerces-C: "invalid document structure"
    {"EmptyButForWhiteSpace", "\n  \n", 1, "", "the document is empty but for white space", 1},
    {"Json", "\xEF\xBB\xBF\n [{\"o:order\": {}}]", 1, "", "the document is JSON, not XML (it starts with '[')", 1},
    {"MalformedDocumentType", "<!DOCTYPE o:order [<!ELEMENT o:order>]>\n" + order("ABC", kLine1), 1, "", "whitespace"},
    // Nothing is fetched: an external entity is refused, also where the external subset reads as empty.
    {"ExternalEntity", "<!DOCTYPE o:order SYSTEM \"order.dtd\" [<!ENTITY e SYSTEM \"order.dtd\">]>\n" + order("&e;", kLine1),
     3, "/o:order/o:id", "unable to open external entity 'order.dtd'"},
    {"OverlongUtf8AfterTheRoot", order("ABC", kLine1) + "\xC1\x83", 5, "", "byte 0xC1 is not UTF-8"},
    {"UndeclaredElement", order("ABC", "<o:line no='1'><o:qty>2</o:qty><w:u xmlns:w='urn:w'>v</w:u></o:line><o:note/>\n"),
     3, "/o:order/o:note", "note"},  // then one of its name typed: the type went unchecked once a scanner had met it
    {"UndeclaredElementTypedAfterOne", order("ABC", "<o:line no='1'><o:qty>2</o:qty><w:u xmlns:w='urn:w' xmlns:i="
                                                    "'http://www.w3.org/2001/XMLSchema-instance' i:type='o:None'>v</w:u></o:line>\n"),
     3, "/o:order/o:line/w:u", "length"}};

std::string problemsOf(const std::vector<wfxml::ValidationError>& problems) {
  std::string text;
  for (const wfxml::ValidationError& p : problems)
    text += std::to_string(p.line) + ":" + std::to_string(p.column) + ": " + p.path + ": " + p.message + "\n";
  return text;
}

// Every problem names its place, and a parse that validates raises them all, document after
// document on one session: the validator's error (a set from a message-set source has no schema),
// then the problems (also of a document the parse refuses too), before the parse's own error (a
// duration too long for it); a valid document's result.
TEST(Validation, AParseThatValidatesRefusesAnInvalidDocumentWithItsProblems) {
  const ScratchFolder folder;
  wfxml::Session orders(orderSetWithoutFiles()),
      fromSource(wfxml::MessageSet::compile({WF_EXAMPLES_DIR "/purchase-order/purchase-order.json"})),
      durations(wfxml::MessageSet::compile({folder.write("d.xsd", R"(<xs:schema
          xmlns:xs="http://www.w3.org/2001/XMLSchema"><xs:element name="d" type="xs:duration"/></xs:schema>)")}));
  wfxml::ParseOptions options;
  options.validate = true;
  for (const InvalidCase& c : kInvalidOrders) {
    const auto problems = orders.messageSet().validate(c.document.data(), c.document.size());
    EXPECT_EQ(std::to_string(problems.at(0).line) + " " + problems[0].path, std::to_string(c.line) + " " + c.path);
    EXPECT_NE(problems[0].message.find(c.message), std::string::npos) << problems[0].message;
    if (c.count != 0) {
      EXPECT_EQ(problems.size(), c.count) << c.name << "\n" << problemsOf(problems);
    }
    EXPECT_TRUE(std::is_sorted(problems.begin(), problems.end(), [](const auto& a, const auto& b) {
      return std::tie(a.line, a.column) < std::tie(b.line, b.column);
    })) << c.name << "\n" << problemsOf(problems);
    for (const wfxml::Error& error : {errorOf([&] { orders.parse(c.document.data(), c.document.size(), options); }),
                                      errorOf([&] { orders.toJson(c.document.data(), c.document.size(), options); })}) {
      EXPECT_EQ(error.key(), "CP_NOT_SCHEMA_VALID") << c.name;
      EXPECT_EQ(problemsOf(error.validationErrors()), problemsOf(problems));
      EXPECT_EQ(error.inserts().at(1).rfind(std::to_string(c.line) + ":", 0), 0u) << error.inserts().at(1);
    }
  }
  // Valid; the hint names a schema that is nowhere: the kept one serves. An external DTD subset
  // reads as empty, as for the parse (Xerces-C loads it whenever it validates).
  const std::string withSubset = "<!DOCTYPE o:order SYSTEM \"order.dtd\">\n" + order("ABC", kLine1);
  EXPECT_EQ(problemsOf(orders.messageSet().validate(withSubset.data(), withSubset.size())), "");
  for (const std::u16string& wideSubset : {u"\uFEFF" + std::u16string(withSubset.begin(), withSubset.end()),
                                           u"<?xml version='1.0' encoding='UTF-16'?>" + std::u16string(withSubset.begin(), withSubset.end())})
    EXPECT_EQ(problemsOf(orders.messageSet().validate(wideSubset.data(), wideSubset.size() * 2)), "");
  EXPECT_EQ(orders.toJson(withSubset.data(), withSubset.size(), options), orders.toJson(withSubset.data(), withSubset.size()));
  std::string valid = order("ABC", kLine1);
  valid.insert(valid.find('>'), " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                                "xsi:schemaLocation=\"urn:order http://example.invalid/order.xsd\"");
  const std::u16string wide(valid.begin(), valid.end());
  EXPECT_EQ(orders.parse(valid.data(), valid.size(), options).root().child("id").value().text(), "ABC");
  EXPECT_EQ(orders.toJson(wide.data(), wide.size() * 2, {"utf-16le", true}), orders.toJson(valid.data(), valid.size()));
  const std::string duration = "<d>P99999999999999999999Y</d>";
  EXPECT_EQ(errorOf([&] { fromSource.toJson("<a/>", 4, options); }).key(), "CP_NO_SCHEMA");
  EXPECT_EQ(errorOf([&] { durations.parse(duration.data(), duration.size(), options); }).key(),
            "CP_XML_DATA_READ_CONVERSION_ERROR");
  const std::string& invalid = kInvalidOrders[0].document;  // without the option the parser takes it
  EXPECT_NO_THROW(orders.parse(invalid.data(), invalid.size()));
}

// Each entity ten of the one before: 10^10 characters.
std::string billionLaughs(const std::string& root) {
  std::string doctype = "<!DOCTYPE " + root + " [<!ENTITY a \"aaaaaaaaaa\">";
  for (char level = 'b'; level <= 'j'; ++level) {
    doctype += std::string("<!ENTITY ") + level + " \"";
    for (int i = 0; i < 10; ++i) doctype += std::string("&") + static_cast<char>(level - 1) + ";";
    doctype += "\">";
  }
  return doctype + "]>";
}

// Documents valid but for one thing, each checked twice (URIs found good are remembered, facets still apply),
// and valid ones in UTF-8 (read as UTF-16) or declared Latin-1 (read as declared); comments after the
// declaration, which the first check leaves out where they are plain; one in UTF-16 that declares UTF-8.
// The import's empty location resolves to a folder: read as an empty document, it failed the compile.
// An element a lax wildcard admits, then one of its name with an xsi:type it breaks (the type went
// unchecked once a scanner had met the name). An xsi:nil or xsi:type of an element left unvalidated,
// and an xsi:nil="false" of an element with children, went to the next element validated.
TEST(Validation, DocumentsValidButForOneThing) {
  const ScratchFolder folder;
  const wfxml::MessageSet set = wfxml::MessageSet::compile({folder.write("x.xsd", R"(<xs:schema
      xmlns:xs="http://www.w3.org/2001/XMLSchema"><xs:import namespace="urn:other" schemaLocation=""/>
      <xs:simpleType name="none"><xs:restriction base="xs:string"><xs:length value="0"/></xs:restriction></xs:simpleType>
      <xs:simpleType name="max2"><xs:restriction base="xs:string"><xs:maxLength value="2"/></xs:restriction></xs:simpleType>
      <xs:simpleType name="two"><xs:restriction base="xs:string"><xs:length value="2"/></xs:restriction></xs:simpleType>
      <xs:simpleType name="classes"><xs:restriction base="xs:string"><xs:pattern value="\d\D\i\c\I\C\p{IsPrivateUse}"/>
      </xs:restriction></xs:simpleType><xs:simpleType name="nmtoken"><xs:restriction base="xs:NMTOKEN"/></xs:simpleType>
      <xs:simpleType name="uris"><xs:list itemType="xs:anyURI"/></xs:simpleType>
      <xs:complexType name="holds"><xs:sequence><xs:element name="x" type="xs:anyType"/></xs:sequence></xs:complexType>
      <xs:attribute name="code" type="xs:int"/><xs:attribute name="kind" type="xs:token" fixed="a b"/>
      <xs:attribute name="rate" type="xs:double"/>
      <xs:element name="x" nillable="true"><xs:complexType><xs:choice minOccurs="0" maxOccurs="2"><xs:element ref="x"/>
      <xs:element name="t" type="xs:string"/><xs:element name="h" type="xs:anyURI"/>
      <xs:element name="n" type="xs:decimal"/><xs:element name="c" type="holds"/><xs:any namespace="urn:w" processContents="lax"/><xs:any namespace="urn:s"
      processContents="skip"/></xs:choice><xs:attribute name="f" type="xs:float"/><xs:attribute name="s"><xs:simpleType><xs:restriction base="xs:anyURI">
      <xs:minLength value="2"/></xs:restriction></xs:simpleType></xs:attribute></xs:complexType></xs:element>
      </xs:schema>)")});
  std::string deep, wide = "<!DOCTYPE x [<!ENTITY w \"" + std::string(5000, 'w') + "\">]><x><t>";
  for (int i = 0; i < 1001; ++i) deep = "<x>" + deep + "</x>";
  for (int i = 0; i < 900; ++i) wide += "&w;";  // 4.5 M characters from fewer references than allowed
  const std::string xsi = "<x xmlns:i='http://www.w3.org/2001/XMLSchema-instance'";
  const auto typed = [&xsi](const char* type, const char* text) {
    return xsi + "><w:u xmlns:w='urn:w' i:type='" + type + "'>" + text + "</w:u></x>";
  };
  // A character of each class in turn, or (at refusedAt) one the class refuses: Unicode 3.1's digits (Ethiopic
  // one, Tamil zero, mathematical zero), XML 1.0 Fifth Edition's name characters, the private-use block alone.
  const auto classes = [&typed](std::size_t refusedAt) {
    const char* const taken[] = {"\u1369", "\u0BE6", "\u0370", "\u0346", "\u00B7", "\u00D7", "\uE000"};
    const char* const refused[] = {"\u0BE6", "\U0001D7CE", "\u0300", "\u00D7", "\u2070", "\U00010000", "\U000F0000"};
    std::string text;
    for (std::size_t i = 0; i < std::size(taken); ++i) text += i == refusedAt ? refused[i] : taken[i];
    return typed("classes", text.c_str());
  };
  // Elements checked apart within each other, levels times.
  const auto nestedLax = [](int levels) {
    std::string document = "<x xmlns:w='urn:w'>";
    for (int i = 0; i < levels; ++i) document += "<w:u><x>";
    for (int i = 0; i < levels; ++i) document += "</x></w:u>";
    return document + "</x>";
  };
  const char* const clef = "\xF0\x9D\x84\x9E";  // one character, two UTF-16 units (which Xerces-C counted)
  std::string utf16 = "\xFF\xFE";  // declaring UTF-8, as a file converted without its declaration
  for (const char c : std::string("<?xml version='1.0' encoding='UTF-8'?><x/>")) utf16 += {c, '\0'};
  for (const auto& [document, problem] : std::vector<std::pair<std::string, std::string>>{
           {deep, "nested deeper than 1000"}, {billionLaughs("x") + "<x><t>&j;</t></x>", "xpansion"},
           {wide + "</t></x>", "more character data"}, {"<x s='urn:a'/>", ""}, {"<x s='a%2'/>", "invalid anyURI"},
           {"<x s='a'/>", "minLength"}, {"<x s='\xC3\xA9'/>", "minLength"}, {"\xEF\xBB\xBF<x/>", ""},
           {"<?xml version='1.0' encoding='utf-8'?><x><t>\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E</t></x>", ""},
           {"<?xml version='1.0' encoding='ISO-8859-1'?><x><t>\xE9</t></x>", ""},
           // An external subset outside UTF-8 (Xerces-C lost an entity for it each time).
           {"<?xml version='1.0' encoding='ISO-8859-1'?><!DOCTYPE x SYSTEM 'x\xE9.dtd'>\n<x><t>\xE9</t></x>", ""},
           {"<?xml version='1.0' encoding='Shift_JIS'?><!DOCTYPE x PUBLIC '-//T//x' '\x83\x5B.dtd'>\n<x s='a'/>", "minLength"},
           {"<?xml version='1.0' encoding='Shift_JIS'?><x><t>\x85\x40</t></x>", "bytes 0x85 0x40 are no character"},
           {"\xEF\xBB\xBF<?xml version='1.0' encoding='ISO-8859-1'?><x><t>\xC3\xA9</t></x>", "mark but declares"},
           {"<?xml version='1.0'?><!-- a -->\n<!-- b --><x/>", ""},
           {"<!DOCTYPE x PUBLIC '-//T//DTD x//EN'\n  \"x.dtd\" [<!ENTITY e 'v'>]><x><t>&e;</t></x>", ""},
           {"<!DOCTYPE x SYSTEM\n'x.dtd'>\n<x s='a'/>", "minLength"}, {"<?xml version='1.0'?><!-- a -- b --><x/>", "'--'"},
           // Its id's faults are the scanner's to report, not blanked out of sight.
           {"<!DOCTYPE x PUBLIC 'a{b' 'x.dtd'><x/>", "invalid character 0x7B in public id"},
           {"<!DOCTYPE x SYSTEM 'x\xFF.dtd'><x/>", "byte 0xFF is not UTF-8"},
           // In EBCDIC, the id's characters found by the code page's table: '!' is 0x4F in IBM500,
           // IBM273 and IBM277, '"' 0xFC in IBM1026, the small letters elsewhere in IBM930; NL and
           // LF end lines, a comment or instruction comes first.
           {inCodePage("<?xml version=\"1.0\" encoding=\"IBM037\"?><!DOCTYPE x SYSTEM \"x.dtd\"><x><t>v</t></x>", "ibm-37"), ""},
           {inCodePage("<?xml version='1.0' encoding='IBM500'?><!DOCTYPE x PUBLIC '-//T//x' 'x.dtd'>\n<x s='a'/>", "ibm-500"),
            "minLength"},
           {inCodePage("<?xml version=\"1.0\" encoding=\"IBM1047\"?>\u0085<!-- c -->\n<!DOCTYPE x PUBLIC\u0085\"-//T//x\"\n  "
                       "'x.dtd'\u0085 [<!ENTITY e 'v'>]><x><t>&e;</t></x>", "ibm-1047"), ""},
           {inCodePage("<?xml version='1.0' encoding='IBM273'?><?p d?><!DOCTYPE x SYSTEM 'x.dtd'><x s='a'/>", "ibm-273"),
            "minLength"},
           {inCodePage("<?xml version='1.0' encoding='IBM1026'?><!DOCTYPE x SYSTEM \"x.dtd\"><x><t>v</t></x>", "ibm-1026"), ""},
           {inCodePage("<?xml version=\"1.0\" encoding=\"IBM277\"?><!DOCTYPE x SYSTEM \"x.dtd\"><x><t>v</t></x>", "ibm-277"), ""},
           {inCodePage("<?xml version='1.0' encoding='IBM930'?><!DOCTYPE x SYSTEM 'x.dtd'><x><t>v</t></x>", "ibm-930"), ""},
           // Double-byte characters between shifts, before the id and in it.
           {inCodePage("<?xml version='1.0' encoding='IBM930'?><!-- 日本 --><!DOCTYPE x SYSTEM 'x日.dtd'><x><t>v</t></x>",
                       "ibm-930"), ""},
           // Characters that are not ASCII before the id or in it (a surrogate pair too), in UTF-16
           // and UTF-32 with a mark or without and in EBCDIC, markup in a comment or instruction, '['
           // and '>' in the id, an id past the first 64 K characters: each check lost an entity.
           {inCodePage("<?xml version='1.0' encoding='UTF-16'?><!-- Gr\u00F6\u00DFe <b> -->\n<!DOCTYPE x SYSTEM 'x.dtd'><x s='a'/>",
                       "UTF-16LE"), "minLength"},
           {inCodePage("\uFEFF<?p \u00E4 <b?><!DOCTYPE x SYSTEM 'Gr\u00F6\u00DFe[1]>.dtd'><x><t>v</t></x>", "UTF-16BE"), ""},
           {inCodePage("\uFEFF<!DOCTYPE x PUBLIC '-//T//x' 'x\U0001D11E.dtd'>\n<x s='a'/>", "UTF-16LE"), "minLength"},
           {inCodePage("<?xml version='1.0' encoding='UTF-16'?><!DOCTYPE x SYSTEM '\U0001D11E\u00E4'><x><t>v</t></x>", "UTF-16BE"), ""},
           {inCodePage("\uFEFF<!-- \U0001D11E --><!DOCTYPE x SYSTEM 'x\u00E4.dtd'><x s='a'/>", "UTF-32LE"), "minLength"},
           {inCodePage("\uFEFF<?p \u00E4?><!DOCTYPE x SYSTEM 'x\U0001D11E\n.dtd'><x><t>v</t></x>", "UTF-32BE"), ""},
           {inCodePage("<?xml version='1.0' encoding='IBM273'?><!-- Gr\u00F6\u00DFe --><!DOCTYPE x SYSTEM 'x\u00E4.dtd'><x s='a'/>",
                       "ibm-273"), "minLength"},
           {inCodePage("\uFEFF<!-- " + std::string(70000, 'c') + " --><!DOCTYPE x SYSTEM 'x.dtd'><x><t>v</t></x>", "UTF-16LE"), ""},
           {"<?xml version='1.0'?><!-- \x01 --><x/>", "0x1"}, {"<?xml version='1.0'?><!--a--><?xml version='1.0'?><x/>", "column 1"},
           {"<x><w:u xmlns:w='urn:w'>v</w:u></x>", ""},
           // Lax content's undeclared elements hold elements checked as their global declarations say
           // (Xerces-C checked nothing inside), empty or not, however deep; skipped content not.
           {"<x><w:u xmlns:w='urn:w'><x s='a'/></w:u></x>", "minLength"},
           {xsi + "><w:u xmlns:w='urn:w'><w:v>1<x><t>v</t><w:u i:type='none'>v</w:u></x></w:v></w:u></x>", "length"},
           {"<x><w:u xmlns:w='urn:w'><w:v><x><t>v</t><t>v</t><t>v</t></x></w:v></w:u></x>", "content"},
           {"<x><w:u xmlns:w='urn:w'><x s='urn:a'><t>&lt;v&#10;\"\t&amp;</t></x></w:u></x>", ""},
           {"<x><s:u xmlns:s='urn:s'><x s='a'/></s:u></x>", ""},
           {xsi + "><w:u xmlns:w='urn:w' i:type='holds'><x s='a'/></w:u></x>", ""},  // its own x, typed by xsi:type
           {xsi + "><w:u xmlns:w='urn:w' i:type='holds'><x><w:v><x s='a'/></w:v></x></w:u></x>", "minLength"},  // of xs:anyType
           // Their attributes that global declarations name too, whitespace collapsed as the type says
           // (libxml2 refuses ' 7 ' there).
           {"<x><w:u xmlns:w='urn:w' code=' 7 ' kind=' a  b'/></x>", ""}, {"<x><w:u xmlns:w='urn:w'><w:v code='x'/></w:u></x>", "facet"},
           {"<x><w:u xmlns:w='urn:w'><w:v kind='a'/></w:u></x>", "value 'a' of attribute 'kind' is not its fixed value 'a b'"},
           // Xerces-C's refusals of decimals, doubles and floats name no value.
           {xsi + " xmlns:xs='http://www.w3.org/2001/XMLSchema'><w:u xmlns:w='urn:w' i:type='xs:decimal'> 1,5 </w:u></x>",
            "value '1,5' is invalid decimal: invalid character encountered"},
           {"<x><w:u xmlns:w='urn:w' rate='1e'/></x>", "value '1e' is invalid double: invalid character encountered"},
           {"<x f='1,5'><n/></x>", "value '' is invalid decimal: empty string encountered"},
           {"<x f='1,5'/>", "value '1,5' is invalid float: invalid character encountered"},
           {nestedLax(8), ""}, {nestedLax(9), "elements to be checked apart nested more than 8 deep"},
           {"<x><w:u xmlns:w='urn:w' xmlns:i='http://www.w3.org/2001/XMLSchema-instance' i:type='none'>v</w:u></x>",
            "length"},
           {xsi + " i:nil='false'><t>v</t></x>", ""}, {xsi + " i:nil='true'><t>v</t></x>", "nil"},
           // xsi:nil is a boolean: 1 and 0 (which Xerces-C refuses) as well.
           {xsi + " i:nil='1'/>", ""}, {xsi + " i:nil=' 1 '></x>", ""}, {xsi + " i:nil='0'><t>v</t></x>", ""},
           {xsi + " i:nil='1'><t>v</t></x>", "nil"}, {xsi + " i:nil='yes'/>", "boolean"},
           {xsi + "><w:u xmlns:w='urn:w' i:nil='true'></w:u><t>v</t></x>", ""},
           // A simple type by xsi:type on an element of a complex type (Xerces-C refused it only where the type
           // has attributes), xs:anyType's aside.
           {xsi + " xmlns:xs='http://www.w3.org/2001/XMLSchema'><c i:type='xs:string'><x/></c></x>",
            "type 'xs:string' specified in 'xsi:type' does not derive from type of element 'c'"},
           {xsi + " xmlns:xs='http://www.w3.org/2001/XMLSchema'><c><x i:type='xs:int'>1</x></c><c i:type='holds'><x/></c></x>", ""},
           // Nor to the next undeclared element of lax content, whose attributes were then refused.
           {xsi + " xmlns:xs='http://www.w3.org/2001/XMLSchema'><w:u xmlns:w='urn:w'><w:v i:type='xs:int'>1</w:v></w:u>"
                  "<w:e xmlns:w='urn:w' a='1'/></x>", ""},
           // A location hint is not followed: one without its pair is no problem (Xerces-C refused it).
           {xsi + " i:schemaLocation='urn:a'/>", ""}, {xsi + " i:schemaLocation='urn:a a.xsd urn:b'><t>v</t></x>", ""},
           {xsi + "><s:u xmlns:s='urn:s' i:type='none'>v</s:u><t>v</t></x>", ""},
           {typed("max2", (std::string(clef) + "a").c_str()), ""}, {typed("two", (std::string(clef) + "a").c_str()), ""},
           {typed("max2", (std::string(clef) + "ab").c_str()), "maxLength"}, {typed("two", "abc"), "length facet"},
           // An authority is [user "@"] host [":" port], the port in digits (Xerces-C took a registry
           // name with ':' and '@'), in attributes, elements, list items and xsi:type's anyURI alike.
           {"<x s='http://a:/x'/>", "value 'http://a:/x' is invalid anyURI"}, {"<x><h>//a:8a/x</h></x>", "invalid anyURI"},
           {typed("uris", "urn:a http://u@a@b/x"), "'http://u@a@b/x' is invalid anyURI"},
           {xsi + " xmlns:xs='http://www.w3.org/2001/XMLSchema'><w:u xmlns:w='urn:w' i:type='xs:anyURI'>http://http://a/x</w:u></x>",
            "invalid anyURI"},
           {typed("uris", "http://u:p@a.b:8080/x?q=a:b@c#f http://[::1]:80 //a%41_~!$&amp;'()*+,;=/ http://\xC3\xA9.fr/ "
                          "http:///x x:y:z mailto:a@b urn:a:b /a:b ?a@b:c #f"), ""},
           {utf16, "UTF-16LE (by its byte-order mark) but declares encoding=\"UTF-8\""},
           {classes(7), ""}, {classes(0), "facet"}, {classes(1), "facet"}, {classes(2), "facet"}, {classes(3), "facet"},
           {classes(4), "facet"}, {classes(5), "facet"}, {classes(6), "facet"},
           // The built-in type's own pattern too.
           {typed("nmtoken", "\u2070\U00010000"), ""}, {typed("nmtoken", "a\u00D7"), "facet"}}) {
    for (int time = 0; time < 2; ++time) {
      const std::vector<wfxml::ValidationError> problems = set.validate(document.data(), document.size());
      EXPECT_EQ(problems.empty(), problem.empty()) << problem;
      EXPECT_NE((problems.empty() ? "" : problems.back().message).find(problem), std::string::npos) << problem;
    }
  }
  // Problems keep their places once the id is blanked, a byte or unit a blank (as without it; after it
  // on its last line too): an EBCDIC document's, the code page declared or given; a surrogate pair
  // counts two columns, in UTF-32 too (one unit); a character of more bytes in UTF-8 or Shift_JIS one.
  const std::string ebcdicId = "PUBLIC '-//T//x'\u0085 \"x.dtd\"", ebcdicBlanks = std::string(16, ' ') + "\u0085" + std::string(8, ' ');
  const std::string wideId = "SYSTEM 'a\U0001D11E\u00E4.dtd'";
  struct Blanked {
    std::string start;
    const char *codePage, *given;
    std::string id, blanks;
    const char* place;
  };
  for (const auto& [start, codePage, given, id, blanks, place] : std::vector<Blanked>{
           {"<?xml version='1.0' encoding='IBM1047'?>", "ibm-1047", "", ebcdicId, ebcdicBlanks, "2:19:"},
           {"", "ibm-1047", "ibm-1047", ebcdicId, ebcdicBlanks, "2:19:"},
           {"\uFEFF<!-- \u00E4 -->", "UTF-16LE", "", wideId, std::string(17, ' '), "1:50:"},
           {"<?xml version='1.0' encoding='UTF-16'?>", "UTF-16BE", "", wideId, std::string(17, ' '), "1:79:"},
           {"\uFEFF", "UTF-32LE", "", "SYSTEM 'a\U0001D11E\n.dtd'", std::string(10, ' ') + "\n" + std::string(5, ' '), "2:16:"},
           {"\uFEFF", "UTF-32BE", "", wideId, std::string(17, ' '), "1:40:"},
           {"<!-- \u00E4 -->", "UTF-32LE", "utf-32le", wideId, std::string(17, ' '), "1:50:"},
           {"", "UTF-8", "", wideId, std::string(17, ' '), "1:40:"},
           {"<?xml version='1.0' encoding='Shift_JIS'?>", "Shift_JIS", "", "SYSTEM 'a\u30FC.dtd'", std::string(15, ' '), "1:80:"},
           {"<?xml version='1.0' encoding='IBM930'?><!-- \u65E5 -->", "ibm-930", "", "SYSTEM 'a\u65E5\u672C.dtd'",
            std::string(16, ' '), "1:88:"}}) {
    const auto problems = [&, &start = start, &codePage = codePage, &given = given](const std::string& text) {
      const std::string document = inCodePage(start + "<!DOCTYPE x " + text + "><x s='a'><t>v</t><u/></x>", codePage);
      return problemsOf(set.validate(document.data(), document.size(), {given}));
    };
    const std::string places = problems(id);
    EXPECT_EQ(places, problems(blanks)) << codePage;
    EXPECT_EQ(places.substr(0, 5), place) << places;
  }
  const std::string lax = "<x>\n<w:u xmlns:w='urn:w'>\n<w:v>\n<x s='a'>\n<t>v</t>\n</x>\n</w:v>\n</w:u>\n</x>";
  EXPECT_EQ(problemsOf(set.validate(lax.data(), lax.size())).substr(0, 20), "4:10: /x/w:u/w:v/x: ") << lax;
  // The check before typed data are written places such a problem in them too.
  const std::string laxValid = "<x><w:u xmlns:w='urn:w'><x s='urn:a'/></w:u></x>";
  std::string laxData = set.toJson(laxValid.data(), laxValid.size());
  laxData.replace(laxData.find("urn:a"), 5, "a");
  try {
    set.fromJson(laxData);
    ADD_FAILURE() << laxData;
  } catch (const wfxml::Error& e) {
    EXPECT_NE(std::string(e.what()).find("minLength"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("at $.x.{urn:w}u.{}x.@s"), std::string::npos) << e.what();
  }
  const std::string notUtf8 = "<!DOCTYPE x SYSTEM '\u00E9\u00E9'><x s='a\xC1\x81'/>";  // placed in the bytes given too
  EXPECT_EQ(problemsOf(set.validate(notUtf8.data(), notUtf8.size())).substr(0, 5), "1:32:");
}

// Valid documents Xerces-C refused, and the check before a write of what they read: it put a
// declaration's default in as the content of an empty element before it checked xsi:nil (a fixed
// value, text or a child is still refused); it finds no xs:anyType for an xsi:type (refused where
// the declared type is another); it refused a prohibited attribute that an attribute wildcard
// admits (a strict one still refuses it); it refused a document type naming another root. And an
// invalid one it took: blanks alone as empty, given the default (`<d> </d>` of an xs:int). Both
// scanners (a schema of no namespace and one of a namespace).
TEST(Validation, XercesRefusalsOfValidDocumentsAreDropped) {
  const ScratchFolder folder;
  const auto prohibited = [](const std::string& element, const std::string& processing) {
    return "<xs:element name='" + element + "'><xs:complexType><xs:attribute name='x' use='prohibited'/>"
           "<xs:anyAttribute namespace='##local' processContents='" + processing + "'/></xs:complexType></xs:element>";
  };
  for (const std::string target : {"", "urn:n"}) {
    const std::string attribute = target.empty() ? "" : " targetNamespace='" + target + "' xmlns='" + target + "'";
    const wfxml::MessageSet set = wfxml::MessageSet::compile({folder.write(
        "n" + std::to_string(target.size()) + ".xsd",
        "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema' elementFormDefault='qualified'" + attribute +
            "><xs:element name='r'><xs:complexType><xs:choice maxOccurs='3'>"
            "<xs:element name='d' type='xs:int' default='5' nillable='true'/>"
            "<xs:element name='f' type='xs:string' fixed='x' nillable='true'/><xs:element name='a' type='xs:anyType'/>"
            "<xs:element name='s' type='xs:string'/>" + prohibited("w", "lax") + prohibited("v", "strict") +
            "</xs:choice></xs:complexType></xs:element></xs:schema>")});
    const std::string root = "<r xmlns='" + target +
                             "' xmlns:i='http://www.w3.org/2001/XMLSchema-instance' xmlns:xs='http://www.w3.org/2001/XMLSchema'>";
    for (const auto& [content, problem] : std::vector<std::pair<std::string, std::string>>{
             {"<d i:nil='true'/><d i:nil='1'></d><d i:nil='true'><!-- c --></d>", ""},
             {"<d/><d>7</d>", ""},
             {"<d><!-- c --></d><d> 7 </d>", ""},
             {"<d> </d>", "value '' does not match"},
             {"<d>\n<!-- c --> </d>", "value '' does not match"},
             {"<d i:nil='true'>3</d>", "nil"},
             {"<d i:nil='true'> </d>", "nil"},
             {"<f i:nil='true'/>", "nil"},
             {"<a i:type='xs:anyType'>1<b i:type='xs:anyType'/></a><a i:type='x:anyType' xmlns:x='http://www.w3.org/2001/XMLSchema'/>", ""},
             {"<s i:type='xs:anyType'>1</s>", "cannot be resolved"},
             {"<w x='1'/>", ""},
             {"<v x='1'/>", "prohibited"},
             {"<a i:type='t:anyType' xmlns:t='urn:n'/>", target.empty() ? "grammar not found" : "cannot be resolved"}}) {
      const std::string document = root + content + "</r>";
      const std::string problems = problemsOf(set.validate(document.data(), document.size()));
      EXPECT_EQ(problems.empty(), problem.empty()) << target << " " << content << "\n" << problems;
      EXPECT_NE(problems.find(problem), std::string::npos) << target << " " << content << "\n" << problems;
    }
    const std::string otherRoot = "<!DOCTYPE record>" + root + "<s>x</s></r>";  // the DTD's root rule: no DTD is checked
    EXPECT_EQ(problemsOf(set.validate(otherRoot.data(), otherRoot.size())), "") << target;
    const std::string read = root + "<d i:nil='true'/><a i:type='xs:anyType'>1<b/></a></r>";
    EXPECT_NO_THROW(set.fromJson(set.toJson(read.data(), read.size()))) << target;
  }
}

// A Unicode code page named for bytes that start with a byte-order mark
// yields to the mark, in the check as in the parse: the check read UTF-16
// named UTF-8 as UTF-8, and the parse read UTF-16 named UTF-32 as UTF-32.
// UTF-32 behind its mark was refused for a character beyond U+FFFF before
// the first '>' ("unable to decode first line").
TEST(Validation, ANamedUnicodeCodePageYieldsToTheByteOrderMarkAsInTheParse) {
  const ScratchFolder folder;
  const wfxml::MessageSet set = wfxml::MessageSet::compile({folder.write("x.xsd", R"(<xs:schema
      xmlns:xs="http://www.w3.org/2001/XMLSchema"><xs:element name="x"><xs:complexType><xs:simpleContent>
      <xs:extension base="xs:string"><xs:attribute name="a"/></xs:extension></xs:simpleContent></xs:complexType>
      </xs:element></xs:schema>)")});
  // <x a="U+1F600">v</x> behind a mark, in units of two or four bytes.
  const auto wide = [](const std::string& mark, std::size_t unit, bool little) {
    std::vector<char32_t> units;
    for (const char32_t c : std::u32string(U"<x a=\"\U0001F600\">v</x>")) {
      if (unit == 2 && c > 0xFFFF) {
        units.insert(units.end(), {0xD800 + ((c - 0x10000) >> 10), 0xDC00 + ((c - 0x10000) & 0x3FF)});
      } else {
        units.push_back(c);
      }
    }
    std::string bytes = mark;
    for (const char32_t u : units)
      for (std::size_t i = 0; i < unit; ++i) bytes += static_cast<char>(u >> (8 * (little ? i : unit - 1 - i)));
    return bytes;
  };
  const std::string utf32LittleEndian = wide(std::string("\xFF\xFE\0\0", 4), 4, true);
  wfxml::Session session(set);
  for (const auto& [document, named] : std::vector<std::pair<std::string, std::string>>{
           {wide("\xFF\xFE", 2, true), "utf-8"},
           {"\xEF\xBB\xBF<x a=\"\xF0\x9F\x98\x80\">v</x>", "utf-16le"},
           {wide("\xFE\xFF", 2, false), "utf-32le"},
           {utf32LittleEndian, "utf-16be"},
           {utf32LittleEndian, ""},
           {wide(std::string("\0\0\xFE\xFF", 4), 4, false), "utf-32le"}}) {
    EXPECT_TRUE(set.validate(document.data(), document.size(), {named}).empty()) << named;
    EXPECT_EQ(session.parse(document.data(), document.size(), {named}).root().value().text(), "v") << named;
  }
}

// An entity expansion limit asked for holds in the check as in the parse, in
// every reading that validates (the check kept the default of 1,000 and
// refused what the parse was allowed to read).
// Texts, then numbers.
wfxml::MessageSet textsAndNumbersSet() {
  const ScratchFolder folder;
  return wfxml::MessageSet::compile({folder.write("x.xsd", R"(<xs:schema
      xmlns:xs="http://www.w3.org/2001/XMLSchema"><xs:element name="x"><xs:complexType><xs:sequence>
      <xs:element name="t" type="xs:string" maxOccurs="unbounded"/><xs:element name="n" type="xs:int" minOccurs="0"
      maxOccurs="unbounded"/></xs:sequence></xs:complexType></xs:element></xs:schema>)")});
}

TEST(Validation, TheEntityExpansionLimitAskedHoldsInTheCheckAsInTheParse) {
  wfxml::Session session(textsAndNumbersSet());
  std::string document = "<!DOCTYPE x [<!ENTITY e 'e'>]><x><t>";
  for (int i = 0; i < 1500; ++i) document += "&e;";
  document += "</t><t>v</t></x>";
  for (const auto& [limit, refused] : {std::pair{std::size_t{0}, true}, {1200, true}, {2000, false}}) {
    wfxml::ParseOptions options;
    options.entityExpansionLimit = limit;
    const std::string context = "limit " + std::to_string(limit);
    const std::vector<wfxml::ValidationError> problems =
        session.messageSet().validate(document.data(), document.size(), options);
    EXPECT_EQ(problems.empty(), !refused) << context << "\n" << problemsOf(problems);
    if (refused) {
      EXPECT_NE(problemsOf(problems).find("xpansion"), std::string::npos) << problemsOf(problems);
    }
    options.validate = true;
    std::size_t records = 0;
    wfxml::RecordReader reader("t", [&, rest = std::string_view(document)]() mutable {
      const std::string_view next = rest.substr(0, 64);
      rest.remove_prefix(next.size());
      return next;
    }, options);
    const std::vector<std::function<void()>> readings{
        [&] { session.toJson(document.data(), document.size(), options); },
        [&] { session.parse(document.data(), document.size(), options); },
        [&] { while (reader.nextJson(session, [&](std::string_view) { ++records; })) {} }};
    for (const std::function<void()>& reading : readings) {
      if (refused) {
        EXPECT_EQ(errorOf(reading).key(), "CP_NOT_SCHEMA_VALID") << context;
      } else {
        EXPECT_NO_THROW(reading()) << context;
      }
    }
    EXPECT_EQ(records, refused ? 0u : 2u) << context;
  }
}

// A fault in each of a file's many records is listed so many times, then
// the check stops (it held them all: 10^6 took 300 MB and more).
TEST(Validation, TheCheckStopsAfterItsBoundOfProblems) {
  constexpr std::size_t kProblemsListed = 10000;
  std::string document = "<x><t>v</t>\n";
  for (std::size_t i = 0; i < kProblemsListed + 50; ++i) document += "<n>a</n>\n";
  document += "</x>";
  const auto problems = textsAndNumbersSet().validate(document.data(), document.size());
  ASSERT_EQ(problems.size(), kProblemsListed + 1);
  EXPECT_EQ(problems[0].line, 2u);
  EXPECT_EQ(problems.back().line, problems[problems.size() - 2].line + 1);
  EXPECT_EQ(problems.back().message, "more than 10000 problems");
}

// Schemas nested as deep as the compile takes them, compiled, read into
// typed data, written back, checked and let go on a thread of 2 MB (a
// worker's): the grammar of 5,000 referenced elements overflowed its stack
// in Xerces-C's loader, unions nested 3,000 deep were refused, and the
// first typed read flattened each of nested groups on its own (1,000 took
// 1.6 s and 1.5 GB; the 450 here, within the bound of group references,
// 96 MB: pinned by the read's peak memory); the writer looked for a pattern
// only 64 bases up, so true was written where a base 100 up takes only 0
// and 1 (and was refused). The parser searched only 64 unions and groups
// deep: a value only the innermost union member takes was refused, and an
// element in the innermost group was read as a self-defining string.
TEST(Validation, DeepSchemasAreReadWrittenAndCheckedOnASmallThread) {
  const std::string referenced = referencedElementChain(5000);
  const std::string unions = unionChain(3000, "E0");
  const std::string groups = linesOf(450, [](int i) {
    const std::string content =
        i < 450 ? "<xs:group ref='G" + std::to_string(i + 1) + "'/>" : "<xs:element name='E1' type='xs:int'/>";
    const char* compositor = i % 2 ? "xs:sequence" : "xs:choice";
    return "<xs:group name='G" + std::to_string(i) + "'><" + compositor + ">" + content + "</" + compositor + "></xs:group>";
  }) + "<xs:element name='E0'><xs:complexType><xs:group ref='G0'/></xs:complexType></xs:element>";
  const std::string restrictions = linesOf(100, [](int i) {
    return "<xs:simpleType name='S" + std::to_string(i) + "'><xs:restriction base='" +
           (i ? "S" + std::to_string(i - 1) + "'/>" : "xs:boolean'><xs:pattern value='0|1'/></xs:restriction>") +
           "</xs:simpleType>";
  }) + "<xs:element name='E0' type='S100'/>";
  const ScratchFolder folder;
  for (const auto& [label, body, document, expected] :
       {std::tuple{"referenced elements", referenced, "<E0><E1/></E0>", R"({"E0":{"E1":{}}})"},
        {"unions", unions, "<E0>0A1B</E0>", R"({"E0":"Chs="})"},
        {"groups", groups, "<E0><E1>5</E1></E0>", R"({"E0":{"E1":5}})"},
        {"restrictions", restrictions, "<E0>1</E0>", R"({"E0":true})"}}) {
    const std::string schema = folder.write("deep.xsd", "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>" +
                                                            body + "</xs:schema>");
    std::string failure, json;
    std::size_t problems = 1;
    std::optional<long> readGrowthKiB;
    ASSERT_TRUE(runOnSmallThread([&, document = std::string(document)] {
      try {
        const wfxml::MessageSet set = wfxml::MessageSet::compile({schema});
        const PeakResidentGrowth peak;
        json = set.toJson(document.data(), document.size());
        readGrowthKiB = peak.kib();
        set.fromJson(json);
        problems = set.validate(document.data(), document.size()).size();
      } catch (const wfxml::Error& e) {
        failure = e.what();
      }
    }));
    EXPECT_EQ(failure, "") << label;
    EXPECT_EQ(json, expected) << label;
    EXPECT_EQ(problems, 0u) << label;
    if (readGrowthKiB) {
      EXPECT_LT(*readGrowthKiB, 40 << 10) << label;
    }
  }
}

// The schema loader has no limits of its own: schema documents get the
// parser's, and are refused when compiled.
TEST(Validation, SchemaDocumentsKeepTheParsersEntityLimits) {
  const ScratchFolder folder;
  std::string wide;  // 300 times 20,000 characters
  for (int i = 0; i < 300; ++i) wide += "&w;";
  for (const auto& [doctype, text, limit] :
       {std::tuple{billionLaughs("xs:schema"), std::string("&j;"), "1000"},
        std::tuple{"<!DOCTYPE xs:schema [<!ENTITY w \"" + std::string(20000, 'w') + "\">]>", wide, "characters"}}) {
    const std::string schema = folder.write("s.xsd", doctype + R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
      <xs:element name="a"><xs:annotation><xs:documentation>)" + text + "</xs:documentation></xs:annotation></xs:element></xs:schema>");
    const wfxml::Error error = errorOf([&] { wfxml::MessageSet::compile({schema}); });
    EXPECT_EQ(error.key(), "CP_DICTIONARY_SOURCE_ERROR");
    EXPECT_NE(error.inserts().back().find(limit), std::string::npos) << error.what();
  }
}

// A namespace one file imports without a location is another file's, named
// after it: the check loads that file first, as the compile does.
TEST(Validation, ANamespaceImportedWithoutALocationComesFromTheFileGivenAfter) {
  const wfxml::MessageSet set =
      wfxml::MessageSet::compile({testData("xsd/main-unlocated.xsd"), testData("xsd/common.xsd")});
  const std::string document = R"(<invoice xmlns="urn:test:main"><total ccy="EUR">1.5</total></invoice>)";
  EXPECT_EQ(problemsOf(set.validate(document.data(), document.size())), "");
}

// A circle of imports back to a namespace being loaded, the last without a
// location (b imports urn:a, whose a.xsd imports b): b's references to a's
// components were not found at compile ("type 'urn:a:Amount' not found").
// The dictionary checks without the files, from another folder.
TEST(Validation, AnImportClosingACircleWithoutALocationFindsTheNamespacesComponents) {
  std::vector<std::uint8_t> dictionary;
  {
    const ScratchFolder folder;
    std::filesystem::create_directories(folder.path() / "b 1");
    folder.write("b 1/b.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:b"
      xmlns:a="urn:a"><xs:import namespace="urn:a"/><xs:element name="item"><xs:complexType><xs:sequence>
      <xs:element name="amt" type="a:Amount"/><xs:element ref="a:head"/></xs:sequence></xs:complexType></xs:element>
      <xs:element name="member" type="xs:string" substitutionGroup="a:head"/></xs:schema>)");
    dictionary = wfxml::MessageSet::compile({folder.write("a & \u00E9.xsd", R"(<xs:schema
      xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:a" xmlns:b="urn:b">
      <xs:import namespace="urn:b" schemaLocation="b%201/b.xsd"/>
      <xs:element name="root"><xs:complexType><xs:sequence><xs:element ref="b:item"/></xs:sequence></xs:complexType>
      </xs:element><xs:complexType name="Amount"><xs:simpleContent><xs:extension base="xs:decimal"/></xs:simpleContent>
      </xs:complexType><xs:element name="head" type="xs:string"/></xs:schema>)")}).dictionaryBytes();
  }
  const ScratchFolder folder;
  const wfxml::MessageSet set = wfxml::MessageSet::load(folder.write("a.dict", textOf(dictionary)));
  const std::string document = "<a:root xmlns:a='urn:a' xmlns:b='urn:b'><b:item><amt>AMT</amt><b:member>x</b:member></b:item></a:root>";
  for (const auto& [amount, problem] : {std::pair{"1.5", ""}, std::pair{"x", "invalid decimal"}}) {
    std::string text = document;
    text.replace(text.find("AMT"), 3, amount);
    const std::string problems = problemsOf(set.validate(text.data(), text.size()));
    EXPECT_EQ(problems.empty(), *problem == '\0') << problems;
    EXPECT_NE(problems.find(problem), std::string::npos) << problems;
  }
}

// A remote document's reference up a folder ("../common/c.xsd") names one
// document, however it is reached: the compile reads it and the check finds it.
TEST(Validation, ARemoteReferenceUpAFolderNamesOneDocument) {
  const ScratchFolder folder;
  folder.write("a.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:a" xmlns:c="urn:c">
    <xs:import namespace="urn:c" schemaLocation="../common/c.xsd"/><xs:element name="doc"><xs:complexType><xs:sequence>
    <xs:element ref="c:v"/></xs:sequence></xs:complexType></xs:element></xs:schema>)");
  folder.write("c.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:c">
    <xs:element name="v" type="xs:decimal"/></xs:schema>)");
  const std::string catalog = folder.write("catalog.xml", R"(<catalog xmlns="urn:oasis:names:tc:entity:xmlns:xml:catalog">
    <system systemId="http://schemas.example.invalid/s/main/a.xsd" uri="a.xsd"/>
    <system systemId="http://schemas.example.invalid/s/common/c.xsd" uri="c.xsd"/></catalog>)");
  const wfxml::MessageSet set = wfxml::MessageSet::compile({"http://schemas.example.invalid/s/main/a.xsd"}, {catalog});
  const std::string document = R"(<doc xmlns="urn:a" xmlns:c="urn:c"><c:v>1.5</c:v></doc>)";
  EXPECT_EQ(problemsOf(set.validate(document.data(), document.size())), "");
}

// A schemaLocation is a URI: "b%20c.xsd" names the file "b c.xsd".
TEST(Validation, AnEscapedSchemaLocationNamesItsFile) {
  const ScratchFolder folder;
  folder.write("b c.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:b">
    <xs:element name="v" type="xs:int"/></xs:schema>)");
  const wfxml::MessageSet set = wfxml::MessageSet::compile({folder.write("a.xsd", R"(<xs:schema
    xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:a" xmlns:b="urn:b">
    <xs:import namespace="urn:b" schemaLocation="b%20c.xsd"/><xs:element name="doc"><xs:complexType><xs:sequence>
    <xs:element ref="b:v"/></xs:sequence></xs:complexType></xs:element></xs:schema>)")});
  const std::string document = R"(<doc xmlns="urn:a" xmlns:b="urn:b"><b:v>7</b:v></doc>)";
  EXPECT_EQ(problemsOf(set.validate(document.data(), document.size())), "");
}

// The grammar unrolls occurrence counts: a content model of more than 2,000
// positions (a sequence of two elements occurring 1,001 times; 10,000 times
// took 54 s) is refused when it is built, and so is a count past 10,000 that
// would be unrolled. Where every repeated group holds one element occurring
// once, counts are counted, not unrolled: any count is taken, and checked.
TEST(Validation, ContentModelsUnrollWithinBounds) {
  const ScratchFolder folder;
  const std::string pair = "<xs:element name='a'/><xs:element name='b' minOccurs='0'/></xs:sequence>";
  const std::string twice = "<xs:sequence maxOccurs='2'><xs:element name='b'/><xs:element name='c'/></xs:sequence>";
  for (const auto& [content, refusal, valid] : std::vector<std::tuple<std::string, std::string, bool>>{
           {"<xs:sequence maxOccurs='1000'>" + pair, "", true},
           {"<xs:sequence maxOccurs='1001'>" + pair, "complexType 'T' unrolls to more than 2000 positions", false},
           {"<xs:choice maxOccurs='1000000'><xs:element name='a'/></xs:choice>", "", true},
           {"<xs:sequence><xs:any processContents='skip' minOccurs='0' maxOccurs='999999999'/></xs:sequence>", "",
            true},
           {"<xs:sequence><xs:element name='a' minOccurs='20000' maxOccurs='99999'/></xs:sequence>", "", false},
           {"<xs:sequence><xs:element name='a' maxOccurs='10001'/>" + twice + "</xs:sequence>",
            "maxOccurs 10001 in complexType 'T'", false},
           {"<xs:choice maxOccurs='10001'><xs:element name='a' maxOccurs='2'/></xs:choice>",
            "maxOccurs 10001 in complexType 'T'", false},
           {"<xs:sequence><xs:any namespace='##local urn:x' maxOccurs='10001'/></xs:sequence>",
            "maxOccurs 10001 in complexType 'T'", false}}) {
    const wfxml::MessageSet set = wfxml::MessageSet::compile(
        {folder.write("t.xsd", "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'><xs:complexType name='T'>" +
                                   content + "</xs:complexType><xs:element name='r' type='T'/></xs:schema>")});
    const std::string document = "<r><a/></r>";
    if (refusal.empty()) {
      EXPECT_EQ(set.validate(document.data(), document.size()).empty(), valid) << content;
      continue;
    }
    const wfxml::Error error = errorOf([&] { set.validate(document.data(), document.size()); });
    EXPECT_EQ(error.key(), "CP_DICTIONARY_SOURCE_ERROR") << content;
    EXPECT_NE(error.inserts().back().find(refusal), std::string::npos) << error.what();
  }
}

// An import of the XML namespace naming no document, or one only the network
// serves, reads that namespace's own: its attributes are checked, also by the
// dictionary alone.
TEST(Validation, XmlNamespaceImportsReadTheNamespacesOwnDocument) {
  const ScratchFolder folder;
  for (const std::string location :
       {"", " schemaLocation='http://www.w3.org/2001/xml.xsd'", " schemaLocation='http://www.w3.org/XML/1998/xml.xsd'"}) {
    const wfxml::MessageSet compiled = wfxml::MessageSet::compile({folder.write(
        "x.xsd", "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'><xs:import "
                 "namespace='http://www.w3.org/XML/1998/namespace'" + location + "/><xs:element name='r'>"
                 "<xs:complexType><xs:attributeGroup ref='xml:specialAttrs'/></xs:complexType></xs:element></xs:schema>")});
    const wfxml::MessageSet loaded = wfxml::MessageSet::fromDictionaryBytes(compiled.dictionaryBytes());
    for (const auto& [document, valid] : {std::pair{"<r xml:lang='en-GB' xml:space='preserve' xml:base='a/' xml:id='i'/>", true},
                                          {"<r xml:lang=''/>", true},
                                          {"<r xml:space='keep'/>", false},
                                          {"<r xml:lang='en GB'/>", false}}) {
      const std::string text = document;
      EXPECT_EQ(compiled.validate(text.data(), text.size()).empty(), valid) << location << text;
      EXPECT_EQ(loaded.validate(text.data(), text.size()).empty(), valid) << location << text;
    }
  }
}

// A dictionary made by hand may carry any schema: its chains are measured
// before Xerces-C reads it, as when compiled. Here the 101 types, made to
// extend one base, are edited to extend each the one before.
TEST(Validation, SchemaDocumentsKeepTheLoadersChainBounds) {
  const ScratchFolder folder;
  std::string types;
  const auto typeName = [](int i) {
    char name[8];
    std::snprintf(name, sizeof name, "T%03d", i);
    return std::string(name);
  };
  for (int i = 1; i <= 101; ++i)
    types += "<xs:complexType name='" + typeName(i) + "'><xs:complexContent><xs:extension base='T000'/>"
             "</xs:complexContent></xs:complexType>\n";
  const wfxml::MessageSet set = wfxml::MessageSet::compile({folder.write(
      "s.xsd", "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'><xs:complexType name='T000'/>\n" + types +
                   "<xs:element name='a' type='T101'/></xs:schema>")});
  std::vector<std::uint8_t> bytes = set.dictionaryBytes();
  std::string text(bytes.begin(), bytes.end());
  for (int i = 2; i <= 101; ++i) {
    const std::string from = "name='" + typeName(i) + "'><xs:complexContent><xs:extension base='T000'";
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at + from.size() - 5, 4, typeName(i - 1));
  }
  bytes.assign(text.begin(), text.end());
  const std::size_t covered = DICT_FORMAT_CHECKSUM_OFFSET + 8;
  const std::uint64_t sum = dictFormatChecksum(bytes.data() + covered, bytes.size() - covered);
  for (int i = 0; i < 8; ++i) bytes[DICT_FORMAT_CHECKSUM_OFFSET + i] = static_cast<std::uint8_t>(sum >> (8 * i));
  const wfxml::MessageSet edited = wfxml::MessageSet::fromDictionaryBytes(bytes);
  const std::string document = "<a/>";
  const wfxml::Error error = errorOf([&] { edited.validate(document.data(), document.size()); });
  EXPECT_EQ(error.key(), "CP_DICTIONARY_SOURCE_ERROR");
  EXPECT_EQ(error.inserts().at(0), "s.xsd");
  EXPECT_EQ(error.inserts().at(1).rfind("line 101, column", 0), 0u) << error.what();
  EXPECT_NE(error.inserts().at(1).find("complexType 'T100'"), std::string::npos) << error.what();
  EXPECT_NE(error.inserts().at(2).find("it leads through more than 100 base types"), std::string::npos)
      << error.what();
}

}  // namespace

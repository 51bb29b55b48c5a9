// The typed JSON mapping: every rule pinned on one schema that uses them all
// (tests/data/typed), the way back to XML (schema-valid, exact numbers), the
// typed-data calls a handler gets, and the refusals of data that do not fit,
// each naming its JSON path.
#include "apitestsupport.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

const wfxml::MessageSet& sharedNameSet();

// Values as typed data give them: whitespace rules, numbers, a union, mixed content.
const wfxml::MessageSet& givenDataSet() { return compiledOnce(testData("typed/given.xsd")); }
const wfxml::MessageSet& noDictionary() {
  static const wfxml::MessageSet none = wfxml::MessageSet::none();
  return none;
}

// Each rule of docs/typed-json.md, in the order the document shows them.
const char kOrderJson[] =
    R"({"order":{"@id":"o-1",)"                                                  // attributes: "@name"
    R"("party":[{"@id":"p1","name":"Ann"},)"                                       // maxOccurs > 1: always an array
    R"({"@xsi:type":"Company","name":"Bob Ltd","vat":"DE1"}],)"                    // xsi:type
    R"("line":[{"@o:batch":7,"qty":2,"price":{"@ccy":"EUR","$":12345678901234567.0123456}}],)"  // "$", exact decimal, a lax attribute wildcard
    R"("key":["colour","size"],"value":["red"],)"                                  // a repeating group
    R"("codes":[7,-3,42],"size":"large","total":0.10,"big":9007199254740993,)"     // list, union, numbers
    R"("ratio":0.25,"limit":"-INF","urgent":true,)"                                // doubles, INF, booleans
    R"("when":"2026-12-05T10:15:00.5+01:00","wait":"P1DT2H","blob":"3q2+7w==",)"   // XML text, base64
    R"("note":null,)"                                                              // xsi:nil
    R"("remark":{"@o:batch":"8","$":["Deliver ",{"b":"before"}," noon"]},)"       // mixed content, a skip attribute wildcard
    R"("t:name":"Main","o:name":"Other",)"                                         // clashing names
    R"("book":[{"sku":"B-1"}],)"                                                   // a substitution group
    R"("{urn:test:memo}memo":{"@lang":"en","line":["one","two"]}}})";              // wildcard content

TEST(TypedJson, EveryMappingRuleOnOneDocumentAndBackToValidXml) {
  const std::string original = readFileText(testData("typed/order.xml"));
  EXPECT_EQ(typedJson(typedMessageSet(), original.data(), original.size()), kOrderJson);
  wfxml::Session session(typedMessageSet());
  const std::vector<std::uint8_t> xml = session.write(session.fromJson(kOrderJson));
  EXPECT_EQ(typedJson(session.messageSet(), xml.data(), xml.size()), kOrderJson);
  EXPECT_TRUE(typedMessageSet().validate(xml.data(), xml.size()).empty()) << textOf(xml);
  // A comment or an instruction inside mixed content's text leaves one run, as the way back writes it;
  // so it does in self-defining content, beside a value that ends in a comment.
  std::string cut = original;
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"Deliver <b>before</b> noon", "Deli<!--c-->ver <b>before</b> no<?p?>on"},
                                 {"<x:line>one", "<x:line>o<!--c-->ne"}, {"large</size>", "large<!--c--></size>"}})
    cut.replace(cut.find(from), from.size(), to);
  EXPECT_EQ(typedJson(typedMessageSet(), cut.data(), cut.size()), kOrderJson);
  EXPECT_EQ(session.toJson(session.parse(cut.data(), cut.size())), kOrderJson);
}

TEST(TypedJson, KeysMayComeInAnyOrderAndTheXmlFollowsTheSchema) {
  // Members out of order, the repeating group's members apart: the written
  // document has them as the schema orders them, the group's in turns.
  const std::string shuffled =
      R"({"order":{"value":["red"],"key":["colour","size"],"codes":[],"party":[{"name":"A"}],"size":1.5,)"
      R"("total":1,"big":1,"ratio":1,"limit":2,"urgent":false,"when":"2026-01-01T00:00:00Z","wait":"PT1S",)"
      R"("blob":"","note":"n","remark":{"$":[]},"name":"N","o:name":"O"}})";
  const std::string xml = textOf(typedMessageSet().fromJson(shuffled));
  EXPECT_NE(xml.find("<t:party><t:name>A</t:name></t:party><t:key>colour</t:key><t:value>red</t:value><t:key>size<"),
            std::string::npos) << xml;
  // A name in a group used twice stands where the schema has it, each time.
  wfxml::Session session(sharedNameSet());
  const std::string twice = textOf(session.write(session.fromJson(R"({"doc":{"d":"2026-01-02","y":1,"g":[1,2],"z":0}})")));
  EXPECT_NE(twice.find("<g>1</g><z>0</z><g>2</g>"), std::string::npos) << twice;
}

// Records the handler calls, one word each.
class CallRecorder : public wfxml::TypedDataHandler {
public:
  void startObject() override { calls.push_back("{"); }
  void key(std::string_view name) override { calls.push_back("key " + std::string(name)); }
  void endObject() override { calls.push_back("}"); }
  void startArray() override { calls.push_back("["); }
  void endArray() override { calls.push_back("]"); }
  void null() override { calls.push_back("null"); }
  void boolean(bool value) override { calls.push_back(value ? "boolean true" : "boolean false"); }
  void integer(std::int64_t value) override { calls.push_back("integer " + std::to_string(value)); }
  void bigInteger(std::string_view digits) override { calls.push_back("bigInteger " + std::string(digits)); }
  void decimal(std::string_view digits) override { calls.push_back("decimal " + std::string(digits)); }
  void number(double value) override { calls.push_back("number " + std::to_string(value)); }
  void string(std::string_view text) override { calls.push_back("string " + std::string(text)); }
  void binary(const std::uint8_t*, std::size_t size) override { calls.push_back("binary " + std::to_string(size)); }

  // The call after the key.
  std::string after(const std::string& key) const {
    for (std::size_t i = 0; i + 1 < calls.size(); ++i)
      if (calls[i] == "key " + key) return calls[i + 1];
    return "(no key " + key + ")";
  }
  std::vector<std::string> calls;
};

TEST(TypedData, EachValueComesWithItsKindAndTheBuilderTakesTheCalls) {
  const std::string xml = readFileText(testData("typed/order.xml"));
  wfxml::Session session(typedMessageSet());
  CallRecorder recorder;
  session.toTypedData(xml.data(), xml.size(), recorder);
  for (const auto& [key, call] : std::vector<std::pair<std::string, std::string>>{
           {"total", "decimal 0.10"}, {"big", "integer 9007199254740993"}, {"ratio", "number 0.250000"},
           {"limit", "number -inf"}, {"urgent", "boolean true"}, {"when", "string 2026-12-05T10:15:00.5+01:00"},
           {"blob", "binary 4"}, {"note", "null"}, {"codes", "["}})
    EXPECT_EQ(recorder.after(key), call);
  const std::unique_ptr<wfxml::Session::Builder> builder = session.typedDataBuilder();
  session.toTypedData(session.parse(xml.data(), xml.size()), *builder);
  EXPECT_EQ(session.toJson(builder->finish()), kOrderJson);
}

// Integers beyond 64 bits come as big integers; every number in a form JSON
// takes (no "+", no leading zeros), with its digits; and the builder takes
// them back (an infinite double of a union as a document's INF, not "inf").
// A value the parse's lenient conversions took from outside its type's
// lexical space (an integer's fraction, a boolean's -1) keeps what it was
// read from, for the way back to refuse, and becomes no other valid value.
TEST(TypedData, NumbersComeWithTheirDigitsInJsonForm) {
  const std::string xml = "<doc><i>123456789012345678901234567890</i><i>-0042</i><x>+007.50</x><uf>INF</uf></doc>";
  const std::string lenient = "<doc><i>1.5</i><pb>-1</pb></doc>";
  wfxml::Session session(givenDataSet());
  CallRecorder recorder;
  session.toTypedData(xml.data(), xml.size(), recorder);
  session.toTypedData(lenient.data(), lenient.size(), recorder);
  for (const char* call : {"bigInteger 123456789012345678901234567890", "integer -42", "decimal 7.50", "number inf",
                           "decimal 1.5", "string -1"})
    EXPECT_NE(std::find(recorder.calls.begin(), recorder.calls.end(), call), recorder.calls.end()) << call;
  const std::unique_ptr<wfxml::Session::Builder> builder = session.typedDataBuilder();
  session.toTypedData(session.parse(xml.data(), xml.size()), *builder);
  EXPECT_EQ(session.toJson(builder->finish()), session.toJson(xml.data(), xml.size()));
}

// A union's value given as the document's text (its own form would go to
// another member) is the text as its member read it, after the member's
// whitespace rule: the blanks around it were kept, and read back otherwise.
TEST(TypedJson, AUnionsDocumentTextIsAsItsMemberReadIt) {
  const std::string xml = "<doc><uf> 12.0 </uf><uf>\t1e2\n</uf><ub> AB </ub></doc>";
  const std::string json = R"({"doc":{"uf":["12.0","1e2"],"ub":["AB"]}})";
  wfxml::Session session(givenDataSet());
  EXPECT_EQ(typedJson(givenDataSet(), xml.data(), xml.size()), json);
  const std::vector<std::uint8_t> written = session.write(session.fromJson(json));
  EXPECT_EQ(typedJson(givenDataSet(), written.data(), written.size()), json) << textOf(written);
}

// A message set that writes XML 1.1 carries the control characters XML 1.0 cannot (they were
// refused as they are for 1.0), as character references, both ways; U+0000 neither carries.
TEST(TypedJson, ControlCharactersGoBothWaysInXml11) {
  const ScratchFolder folder;
  const wfxml::MessageSet set = wfxml::MessageSet::compile({folder.write("v.json", R"({ "name": "V",
    "properties": { "xmlVersion": "1.1" },
    "elements": [ { "name": "doc", "class": "message", "type": { "members": [ { "name": "t", "type": "string" } ] } } ] })")});
  wfxml::Session session(set);
  const std::string json = R"({"doc":{"t":"a\u0001b"}})";
  const std::string xml = textOf(session.write(session.fromJson(json)));
  EXPECT_NE(xml.find("<t>a&#x1;b</t>"), std::string::npos) << xml;
  EXPECT_EQ(typedJson(set, xml.data(), xml.size()), json);
  EXPECT_EQ(errorOf([&] { session.fromJson(R"({"doc":{"t":"\u0000"}})"); }).inserts().back(),
            "XML 1.1 cannot carry U+0000 (a control character), character 1 of the text");
}

TEST(TypedData, CallsOutOfOrderAreRefused) {
  wfxml::Session session(typedMessageSet());
  const std::unique_ptr<wfxml::Session::Builder> builder = session.typedDataBuilder();
  builder->startObject();
  EXPECT_EQ(errorOf([&] { builder->integer(1); }).key(), "CP_JSON_MISMATCH");
  EXPECT_EQ(errorOf([&] { builder->endArray(); }).key(), "CP_JSON_MISMATCH");
  EXPECT_EQ(errorOf([&] { builder->finish(); }).key(), "CP_JSON_MISMATCH");
  // Text and names that are not UTF-8 (they were written with U+FFFD).
  wfxml::Session plain(wfxml::MessageSet::none());
  for (const auto& [key, text, what] : std::vector<std::array<std::string, 3>>{
           {"name", "A\xC3", "the text is not UTF-8 (at byte 1)"}, {"n\xC0\xAE", "A", "the name is not UTF-8 (at byte 1)"}}) {
    const std::unique_ptr<wfxml::Session::Builder> bad = plain.typedDataBuilder();
    bad->startObject();
    bad->key("order");
    bad->startObject();
    bad->key(key);
    bad->string(text);
    bad->endObject();
    bad->endObject();
    EXPECT_EQ(errorOf([&] { bad->finish(); }).inserts().back(), what);
  }
}

// tests/data/typed/misfits.txt: "from" in kOrderJson replaced by "to" is
// refused with "path" as the error's first insert.
class JsonThatDoesNotFit : public testing::TestWithParam<DataCase> {};

TEST_P(JsonThatDoesNotFit, IsRefusedNamingItsPath) {
  std::string json = kOrderJson;
  const DataCase& misfit = GetParam();
  const std::size_t at = json.find(misfit["from"]);
  ASSERT_NE(at, std::string::npos) << misfit["from"];
  json.replace(at, misfit["from"].size(), misfit["to"]);
  wfxml::Session session(typedMessageSet());
  const wfxml::Error error = errorOf([&] { session.fromJson(json); });
  EXPECT_EQ(error.key(), "CP_JSON_MISMATCH");
  ASSERT_EQ(error.inserts().size(), 2u) << error.what();
  EXPECT_EQ(error.inserts()[0], misfit["path"]) << error.what();
}

INSTANTIATE_TEST_SUITE_P(Mapping, JsonThatDoesNotFit, testing::ValuesIn(dataCases("typed/misfits.txt")),
                         [](const testing::TestParamInfo<DataCase>& info) { return info.param.label; });

// Wildcard content by its processContents: stamp (a dateTime) and qty (a
// long) are global elements; each message has a header and open content.
const wfxml::MessageSet& wildcardSet() {
  static const ScratchFolder folder;
  static const wfxml::MessageSet set = wfxml::MessageSet::compile({folder.write("w.json", R"({ "name": "W",
    "types": [ { "name": "AnySkip", "composition": "open", "processContents": "skip" },
               { "name": "AnyLax", "composition": "open", "processContents": "lax" } ],
    "elements": [ { "name": "stamp", "type": "dateTime" }, { "name": "qty", "type": "long" }, { "name": "flag", "type": "boolean" },
      { "name": "skip", "class": "message", "type": { "members": [ { "name": "hdr", "type": "string" }, { "group": "AnySkip" } ] } },
      { "name": "lax", "class": "message", "type": { "members": [ { "name": "hdr", "type": "string" }, { "group": "AnyLax" } ] } } ] })")});
  return set;
}

// A mixed type whose content is a lax wildcard alone, and xs:anyType (mixed
// by definition): text runs stay in "$" beside the elements, also alone.
const wfxml::MessageSet& mixedWildcardSet() { return compiledOnce(testData("typed/mixed-wildcard.xsd")); }

// Members of one XML name told apart by an ID attribute; messages too.
const wfxml::MessageSet& purchaseOrderSet() {
  return compiledOnce(std::string(WF_EXAMPLES_DIR) + "/purchase-order/purchase-order.json");
}

const wfxml::MessageSet& inventorySet() {
  return compiledOnce(std::string(WF_EXAMPLES_DIR) + "/inventory/inventory.json");
}

// A name in two branches of a choice (at most one occurs), the choice an
// extended base's, and a name in a group used twice in a sequence (both may).
const wfxml::MessageSet& sharedNameSet() { return compiledOnce(testData("typed/shared-names.xsd")); }

// A message set with booleans and zero zone offsets spelled its own way.
const wfxml::MessageSet& spellingsSet() { return compiledOnce(testData("typed/spellings.json")); }

struct WildcardCase {
  const char* name;
  const wfxml::MessageSet& (*set)();
  const char* xml;
  const char* json;
};

class WildcardContent : public testing::TestWithParam<WildcardCase> {};

TEST_P(WildcardContent, IsTypedAsTheParserTypesItBothWays) {
  wfxml::Session session(GetParam().set());
  const std::string xml = GetParam().xml;
  ASSERT_EQ(typedJson(session.messageSet(), xml.data(), xml.size()), GetParam().json);
  // The documents hold only what each case is about, not every member
  // their schemas require: the schema's checks are off.
  const std::vector<std::uint8_t> written =
      session.write(session.fromJson(GetParam().json, {/*check=*/false}), checkedWrite(false));
  EXPECT_EQ(typedJson(session.messageSet(), written.data(), written.size()), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    ProcessContents, WildcardContent,
    testing::Values(
        // Skipped content is never typed, however deep.
        WildcardCase{"Skip", wildcardSet, "<skip><hdr>h</hdr><stamp>yesterday</stamp><box><qty>5</qty></box></skip>",
                     R"({"skip":{"hdr":"h","stamp":"yesterday","box":{"qty":"5"}}})"},
        // Lax content is typed where it can be and keeps as text what is not.
        WildcardCase{"LaxKeepsWhatDoesNotConvert", wildcardSet,
                     "<lax><hdr>h</hdr><stamp>yesterday</stamp><box><qty>5</qty><qty>x</qty></box></lax>",
                     R"({"lax":{"hdr":"h","stamp":"yesterday","box":{"qty":[5,"x"]}}})"},
        WildcardCase{"LaxTypes", wildcardSet, "<lax><hdr>h</hdr><qty>5</qty></lax>", R"({"lax":{"hdr":"h","qty":5}})"},
        // Under an undeclared element a message is matched by neither way (the way back typed it, and wrote
        // stamp after hdr, or refused one of its members' arrays).
        WildcardCase{"MessageUnderAnUndeclaredElement", wildcardSet,
                     "<lax><hdr>h</hdr><box><skip><stamp>x</stamp><hdr>a</hdr></skip></box></lax>",
                     R"({"lax":{"hdr":"h","box":{"skip":{"stamp":"x","hdr":"a"}}}})"},
        // Text in open content that is not mixed: every run kept, as mixed content.
        WildcardCase{"TextInOpenContent", wildcardSet, "<lax><hdr>h</hdr>a<qty>5</qty>b</lax>",
                     R"({"lax":{"$":[{"hdr":"h"},"a",{"qty":5},"b"]}})"},
        // Mixed wildcard content keeps its text runs in "$" beside the elements, also alone.
        WildcardCase{"MixedTextAlone", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed"><stamp>2010-11-26T18:00:00Z</stamp></doc>)",
                     R"({"doc":{"stamp":{"$":["2010-11-26T18:00:00Z"]}}})"},
        WildcardCase{"MixedTextAroundElements", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed"><stamp>a<qty>5</qty>b<x>y</x>c</stamp></doc>)",
                     R"({"doc":{"stamp":{"$":["a",{"qty":5},"b",{"x":"y"},"c"]}}})"},
        // A foreign element keeps its namespace in the key, as outside mixed content.
        WildcardCase{"MixedForeignElement", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed"><stamp>a<q xmlns="urn:x">y</q></stamp></doc>)",
                     R"({"doc":{"stamp":{"$":["a",{"{urn:x}q":"y"}]}}})"},
        // A namespace may hold '}' (XML takes "urn:x}y", which is no URI): a key's name is what follows
        // the last one (the way back took the first and refused the name).
        WildcardCase{"NamespaceHoldingABrace", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed"><stamp><q xmlns="urn:x}y" xmlns:o="urn:{o}" o:k="1">y</q></stamp></doc>)",
                     R"({"doc":{"stamp":{"$":[{"{urn:x}y}q":{"@{urn:{o}}k":"1","$":"y"}}]}}})"},
        // An undeclared element's text before its first child (it was lost).
        WildcardCase{"LeadingTextOfAnUndeclaredElement", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed"><stamp><z>t<b/>u</z></stamp></doc>)",
                     R"({"doc":{"stamp":{"$":[{"z":{"$":["t",{"b":""},"u"]}}]}}})"},
        WildcardCase{"AnyTypeTextAlone", mixedWildcardSet, R"(<doc xmlns="urn:test:mixed"><free>t</free></doc>)",
                     R"({"doc":{"free":{"$":["t"]}}})"},
        WildcardCase{"AnyTypeTextAroundElements", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed"><free>a<qty>5</qty>b</free></doc>)",
                     R"({"doc":{"free":{"$":["a",{"qty":5},"b"]}}})"},
        // A built-in type the schema uses nowhere, named by xsi:type: a QName kept its text alone,
        // and the written document lost the binding of its prefix.
        WildcardCase{"AnyTypeOfAnUnusedBuiltinType", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed" xmlns:i="http://www.w3.org/2001/XMLSchema-instance")"
                     R"( xmlns:s="http://www.w3.org/2001/XMLSchema" xmlns:o="urn:o"><free i:type="s:QName">o:x</free></doc>)",
                     R"({"doc":{"free":{"@xsi:type":"QName","@xmlns:o":"urn:o","$":"o:x"}}})"},
        // A built-in list type alike (its type was refused on the way back); base64Binary, which
        // the parse would read as hexadecimal there, stays text unless the schema uses it.
        WildcardCase{"AnyTypeOfAnUnusedBuiltinListType", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed" xmlns:i="http://www.w3.org/2001/XMLSchema-instance")"
                     R"( xmlns:s="http://www.w3.org/2001/XMLSchema"><free i:type="s:NMTOKENS">a b</free></doc>)",
                     R"({"doc":{"free":{"@xsi:type":"NMTOKENS","$":["a","b"]}}})"},
        WildcardCase{"AnyTypeOfUnusedBase64", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed" xmlns:i="http://www.w3.org/2001/XMLSchema-instance")"
                     R"( xmlns:s="http://www.w3.org/2001/XMLSchema"><free i:type="s:base64Binary">q83v</free></doc>)",
                     R"({"doc":{"free":{"@xsi:type":"base64Binary","$":["q83v"]}}})"},
        // The second qty is the wildcard's: the way back refused the array for a member that does not repeat.
        WildcardCase{"WildcardTakesAMembersName", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed"><pair><qty>1</qty><qty>2</qty></pair></doc>)",
                     R"({"doc":{"pair":{"qty":[1,2]}}})"},
        // The first qty is the wildcard's: the way back wrote them in turn.
        WildcardCase{"WildcardBeforeAMembersName", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed"><lead><qty>1</qty><qty>2</qty></lead></doc>)",
                     R"({"doc":{"lead":{"qty":[1,2]}}})"},
        // Skipped content's xsi:type keeps its namespace (it was written without), also one naming a type
        // the set does not have (it was dropped); it types nothing, so no default attribute comes of it (an
        // element a skip wildcard admits was typed by it, and given n="3").
        WildcardCase{"XsiTypeInSkippedContent", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xmlns:o="urn:o">)"
                     R"(<skipped><box xsi:type="Box"><qty>5</qty></box><box xsi:type="o:Crate"/></skipped></doc>)",
                     R"({"doc":{"skipped":{"box":[{"@xsi:type":"{urn:test:mixed}Box","qty":"5"},{"@xsi:type":"{urn:o}Crate"}]}}})"},
        // Nil where not nillable, under an undeclared element in lax content: it was null, which the way back refused.
        WildcardCase{"NilWhereNotNillable", mixedWildcardSet,
                     R"(<doc xmlns="urn:test:mixed" xmlns:i="http://www.w3.org/2001/XMLSchema-instance">)"
                     R"(<stamp><z><qty i:nil="true"/></z></stamp></doc>)",
                     R"({"doc":{"stamp":{"$":[{"z":{"qty":{"@xsi:nil":"true","$":""}}}]}}})"},
        WildcardCase{"AnyTypeAttributes", mixedWildcardSet, R"(<doc xmlns="urn:test:mixed"><free a="1">t</free></doc>)",
                     R"({"doc":{"free":{"@a":"1","$":["t"]}}})"},
        // Any global element may be the root, also one the set does not take for a message.
        WildcardCase{"RootReferencedElsewhere", sharedNameSet, R"(<name xmlns="urn:test:other">x</name>)",
                     R"({"name":"x"})"},
        WildcardCase{"RootSharingItsNameWithAnother", sharedNameSet, R"(<item xmlns="urn:test:other">x</item>)",
                     R"({"o:item":"x"})"},
        // A root no global element declares, typed by its xsi:type alone (it was refused).
        WildcardCase{"RootTypedByItsXsiTypeAlone", typedMessageSet,
                     R"(<t:invoice xmlns:t="urn:test:typed" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" )"
                     R"(xsi:type="t:Party" id="p1"><t:name>A</t:name></t:invoice>)",
                     R"({"t:invoice":{"@xsi:type":"Party","@id":"p1","name":"A"}})"}),
    [](const testing::TestParamInfo<WildcardCase>& info) { return info.param.name; });

// A qty the wildcard takes: the second, after another member (lax), or the
// first, before a local member of the global element's name (strict). The
// checked way back counted it against the member's one occurrence and refused
// the valid document's own data; so did the checked write of the tree it
// parses into, where the parse marks both as the member, or both as the
// global element.
TEST(TypedJson, AnElementBeyondItsMembersOccurrencesIsTheWildcards) {
  wfxml::Session session(mixedWildcardSet());
  for (const auto& [content, json] : std::vector<std::pair<std::string, std::string>>{
           {"<trio><qty>1</qty><note>n</note><qty>2</qty></trio>", R"({"doc":{"trio":{"$":[{"qty":1},{"note":"n"},{"qty":2}]}}})"},
           {"<own><qty>1</qty><qty>2</qty></own>", R"({"doc":{"own":{"qty":[1,2]}}})"}}) {
    const std::string xml = R"(<doc xmlns="urn:test:mixed">)" + content + "</doc>";
    EXPECT_EQ(typedJson(session.messageSet(), xml.data(), xml.size()), json);
    const std::vector<std::uint8_t> written = session.write(session.fromJson(json));
    EXPECT_EQ(typedJson(session.messageSet(), written.data(), written.size()), json);
    EXPECT_EQ(textOf(session.write(session.parse(xml.data(), xml.size()))), textOf(written));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Identity, WildcardContent,
    testing::Values(
        // Each keeps its member's name and gets its ID attribute back; neither repeats.
        WildcardCase{"MembersChosenByIdAttribute", purchaseOrderSet,
                     R"(<order kind="purchase" orderNumber="1"><address type="shipTo"><name>S</name></address>)"
                     R"(<address type="billTo"><name>B</name></address>)"
                     R"(<amount type="net" value="1"/><amount type="gross" value="2.50"/></order>)",
                     R"({"order":{"@orderNumber":"1","shipTo":{"name":"S"},"billTo":{"name":"B"},)"
                     R"("netAmount":1,"grossAmount":2.50}})"},
        // An xsi:type naming a built-in type keeps the value, typed as it says, and the type.
        WildcardCase{"XsiTypeOfBuiltInDecimal", inventorySet,
                     R"(<stockReport xmlns="urn:example:inventory" xmlns:xs="http://www.w3.org/2001/XMLSchema" )"
                     R"(xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">)"
                     R"(<warehouse xsi:type="xs:decimal">1.50</warehouse></stockReport>)",
                     R"({"stockReport":{"warehouse":{"@xsi:type":"decimal","$":1.50}}})"},
        // A zero offset keeps its spelling both ways where the message set says so.
        WildcardCase{"PreservedUtcFormat", spellingsSet, "<doc><t>2003-02-01T10:00:00+00:00</t></doc>",
                     R"({"doc":{"t":"2003-02-01T10:00:00+00:00"}})"},
        // A name in two branches of a choice occurs once; one in a group used twice may twice.
        WildcardCase{"NameInTwoBranchesOfAChoice", sharedNameSet,
                     "<doc><y>1</y><d>2026-01-02</d><g>1</g><z>0</z><g>2</g></doc>",
                     R"({"doc":{"d":"2026-01-02","y":1,"g":[1,2],"z":0}})"},
        // Of two members of one name in two namespaces, one alone still names its namespace
        // (it was "name", which the way back took for the other).
        WildcardCase{"NameInTwoNamespacesOneOfThem", sharedNameSet,
                     R"(<doc xmlns:o="urn:test:other"><y>1</y><d>2026-01-02</d><g>1</g><z>0</z><g>2</g><o:name>n</o:name></doc>)",
                     R"({"doc":{"d":"2026-01-02","y":1,"g":[1,2],"z":0,"o:name":"n"}})"},
        // An attribute without a prefix is of no namespace, also beside one of its name in another
        // (the way back refused "@batch" as a name two namespaces have).
        WildcardCase{"AttributeNameInTwoNamespaces", sharedNameSet,
                     R"(<doc xmlns:o="urn:test:other" o:batch="7" batch="b"><y>1</y><d>2026-01-02</d><g>1</g><z>0</z><g>2</g></doc>)",
                     R"({"doc":{"@batch":"b","@o:batch":7,"d":"2026-01-02","y":1,"g":[1,2],"z":0}})"},
        // An attribute of no namespace a wildcard admits, beside a member of its name in another: "@{}tone"
        // (it was "@tone", which the way back gave to the member, or refused beside it).
        WildcardCase{"WildcardAttributeSharingAMembersName", typedMessageSet,
                     R"(<t:order xmlns:t="urn:test:typed"><t:remark tone="a">r</t:remark></t:order>)",
                     R"({"order":{"remark":{"@{}tone":"a","$":["r"]}}})"},
        WildcardCase{"WildcardAttributeBesideTheMemberOfItsName", typedMessageSet,
                     R"(<t:order xmlns:t="urn:test:typed" xmlns:o="urn:test:other"><t:remark o:tone="b" tone="c">r</t:remark></t:order>)",
                     R"({"order":{"remark":{"@tone":"b","@{}tone":"c","$":["r"]}}})"},
        // Keys alone would come back in turns (p, q, p): the elements stay in their order.
        WildcardCase{"RepeatingChoiceInAnOrderTurnsWouldChange", sharedNameSet,
                     "<doc><y>1</y><d>2026-01-02</d><g>1</g><z>0</z><g>2</g><p>1</p><p>2</p><q>3</q></doc>",
                     R"({"doc":{"$":[{"y":1},{"d":"2026-01-02"},{"g":1},{"z":0},{"g":2},{"p":1},{"p":2},{"q":3}]}})"},
        // A head's member of another namespace than its parent's keeps it in its key (it was
        // "item", which the way back took for the member of the parent's namespace).
        WildcardCase{"SubstituteOfAnotherNamespace", sharedNameSet,
                     R"(<doc><y>1</y><d>2026-01-02</d><g>1</g><z>0</z><g>2</g><o:item xmlns:o="urn:test:other">i</o:item></doc>)",
                     R"({"doc":{"d":"2026-01-02","y":1,"g":[1,2],"z":0,"o:item":"i"}})"},
        // One of its parent's namespace whose name a member of another namespace has keeps its namespace
        // too (it was "label", which the way back took for that member).
        WildcardCase{"SubstituteSharingAMembersName", sharedNameSet,
                     "<doc><y>1</y><d>2026-01-02</d><g>1</g><z>0</z><g>2</g><label>l</label></doc>",
                     R"({"doc":{"d":"2026-01-02","y":1,"g":[1,2],"z":0,"{}label":"l"}})"},
        // An xsi:type naming a built-in type the set does not have (its schemas never use it):
        // kept, and the value read as declared (it was "", then the xsi:type was lost).
        WildcardCase{"XsiTypeTheSetDoesNotHave", sharedNameSet,
                     R"(<doc xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">)"
                     R"(<y>1</y><d>2026-01-02</d><g>1</g><z xsi:type="xs:byte">7</z><g>2</g></doc>)",
                     R"({"doc":{"d":"2026-01-02","y":1,"g":[1,2],"z":{"@xsi:type":"byte","$":7}}})"},
        // A QName value's prefix only the document binds: declared beside it both ways (the way back refused it).
        // An attribute's is its element's (the attribute was an object).
        WildcardCase{"QNameOfAPrefixTheDocumentBinds", givenDataSet, R"(<doc xmlns:p="urn:p" qa="p:y"><q>p:x</q></doc>)",
                     R"({"doc":{"@xmlns:p":"urn:p","@qa":"p:y","q":{"@xmlns:p":"urn:p","$":"p:x"}}})"},
        // A QName value without a prefix names the default namespace: kept beside it both ways (it was lost).
        // A list attribute's prefixes are declared too (they were not), and its items' default
        // namespace (it was not, when no other value of the element needed it).
        WildcardCase{"QNameInTheDefaultNamespace", typedMessageSet,
                     R"(<o:unit xmlns:o="urn:test:other" xmlns="urn:x" xmlns:p="urn:p" qa="p:EUR" ql="p:a b">)"
                     R"(<m xmlns="">USD</m><o:v>CHF</o:v></o:unit>)",
                     R"({"unit":{"@xmlns:p":"urn:p","@xmlns":"urn:x","@qa":"p:EUR","@ql":["p:a","b"],"m":"USD",)"
                     R"("v":{"@xmlns":"urn:x","$":"CHF"}}})"},
        // Messages of one name in two namespaces: the message's key names its namespace.
        WildcardCase{"MessageNameInTwoNamespaces", sharedNameSet, R"(<o:note xmlns:o="urn:test:other"><o:n>x</o:n></o:note>)",
                     R"({"o:note":{"n":"x"}})"},
        WildcardCase{"RepeatingChoiceInTurns", sharedNameSet,
                     "<doc><y>1</y><d>2026-01-02</d><g>1</g><z>0</z><g>2</g><p>1</p><q>2</q><p>3</p></doc>",
                     R"({"doc":{"d":"2026-01-02","y":1,"g":[1,2],"z":0,"p":[1,3],"q":[2]}})"}),
    [](const testing::TestParamInfo<WildcardCase>& info) { return info.param.name; });

// In lax content text is taken as a parse takes it: text that converts to the
// type of a global element or attribute of its name is that value.
TEST(TypedJson, LaxContentTakesTextAsTheParserDoes) {
  const struct {
    const wfxml::MessageSet& (*set)();
    std::string given, built;
  } cases[] = {{wildcardSet, R"({"lax":{"hdr":"h","qty":"5"}})", R"({"lax":{"hdr":"h","qty":5}})"},
               // Text outside the type's lexical space, which the conversions would take leniently.
               {wildcardSet, R"({"lax":{"hdr":"h","flag":["-1","TRUE","1"]}})", R"({"lax":{"hdr":"h","flag":["-1","TRUE",true]}})"},
               {typedMessageSet, R"({"order":{"@id":"o-1","{urn:test:memo}memo":{"@o:batch":"8","note":"n"}}})",
                R"({"order":{"@id":"o-1","{urn:test:memo}memo":{"@o:batch":8,"note":"n"}}})"}};
  for (const auto& each : cases) {
    wfxml::Session session(each.set());
    EXPECT_EQ(session.toJson(session.fromJson(each.given, {/*check=*/false})), each.built);
  }
}

// Refusals beyond the order document's (misfits.txt): where, and what is wrong.
TEST(TypedJson, RefusalsNameWhereAndWhatIsWrong) {
  const std::string kNoDeclarationAttribute =
      "a namespace declaration is no attribute: only an element that holds a QName value binds its prefix, with "
      "\"@xmlns\" or \"@xmlns:p\"";
  const struct {
    const wfxml::MessageSet& (*set)();
    std::string json, path, what;
  } cases[] = {
      // Two messages of one root name: the refusal is the best fit's, where the mistake is.
      {purchaseOrderSet,
       R"({"order":{"@orderNumber":"1","orderDate":"2024-03-05T09:30:00","items":{"item":[)"
       R"({"@partNum":"1","productName":"p","quantity":"many","unitPrice":1,"giftWrap":true}]}}})",
       "$.order.items.item[0].quantity", "a number was expected"},
      // The header stays strict beside lax content.
      {wildcardSet, R"({"lax":{"hdr":7,"qty":"x"}})", "$.lax.hdr", "a value of type String was expected, not Integer"},
      // Text or items no member type of a union takes.
      {givenDataSet, R"({"doc":{"f":"x"}})", "$.doc.f", "'x' is a value of none of the union's member types"},
      {givenDataSet, R"({"doc":{"f":10000}})", "$.doc.f", "'10000' is a value of none of the union's member types"},
      {givenDataSet, R"({"doc":{"l":["a"]}})", "$.doc.l", "the union has no member type these items are values of"},
      // Items after the first that are no values were dropped.
      {givenDataSet, R"({"doc":{"l":[7,null]}})", "$.doc.l", "the union has no member type these items are values of"},
      {givenDataSet, R"({"doc":{"l":[1,[2]]}})", "$.doc.l", "the union has no member type these items are values of"},
      // The writer gives names of the schema-instance namespace as attributes.
      {typedMessageSet, R"({"xsi:x":{"@xsi:type":"Company","name":"A","vat":"D"}})", "$.xsi:x",
       "an element cannot be in the XML Schema instance namespace"},
      // An item with white space (or none) would read back as other items.
      {givenDataSet, R"({"doc":{"tl":{"@ws":["a","b c"],"$":7}}})", "$.doc.tl.@ws[1]",
       "a list item must be one word: 'b c' would read back as 2 items"},
      {givenDataSet, R"({"doc":{"l":["7 8"]}})", "$.doc.l[0]", "a list item must be one word: '7 8' would read back as 2 items"},
      {givenDataSet, R"({"doc":{"nl":{"@xsi:nil":"1"}}})", "$.doc.nl.@xsi:nil", "\"true\" or \"false\" was expected"},
      {givenDataSet, R"({"doc":{"@xmlns":"urn:x","@qa":"A"}})", "$.doc.@xmlns", "an element of no namespace cannot bind a default namespace"},
      // In content no declaration describes, a declaration was written as one, and gone when read back.
      {typedMessageSet, R"({"order":{"@id":"o-1","{urn:test:memo}memo":{"@xmlns":"urn:z","line":"one"}}})",
       "$.order.{urn:test:memo}memo.@xmlns", kNoDeclarationAttribute},
      {typedMessageSet, R"({"order":{"@id":"o-1","{urn:test:memo}memo":{"@xmlns:q":"urn:z","line":"one"}}})",
       "$.order.{urn:test:memo}memo.@xmlns:q", kNoDeclarationAttribute},
      // Numbers as the member's type takes them; one beyond a long double's range is no malformed JSON.
      {givenDataSet, R"({"doc":{"x":1e5000}})", "$.doc.x", "the exponent is beyond 4096"},
      {givenDataSet, R"({"doc":{"in":1e4000}})", "$.doc.in", "the integer does not fit 64 bits"},
      {givenDataSet, R"({"doc":{"in":2.5}})", "$.doc.in", "an integer was expected"},
      // Written empty, an element reads back as its default or fixed value.
      {givenDataSet, R"({"doc":{"hl":[]}})", "$.doc.hl", "an empty element reads back as its default or fixed value '0a 0b', not as the empty value given"},
      {givenDataSet, R"({"doc":{"hx":{"@ha":"qw==","$":""}}})", "$.doc.hx", "an empty element reads back as its default or fixed value '0fa9', not as the empty value given"},
      // Without a dictionary null was written as an empty element, which reads back as "".
      {noDictionary, R"({"a":{"b":null}})", "$.a.b", "null, but without a dictionary nothing reads back as null: give \"\" or {\"@xsi:nil\": \"true\"}"}};
  for (const auto& each : cases) {
    const wfxml::Error error = errorOf([&] { wfxml::Session(each.set()).fromJson(each.json); });
    EXPECT_EQ(error.inserts(), (std::vector<std::string>{each.path, each.what})) << each.json;
  }
}

// A root the set does not define is refused, naming it and the set's messages;
// a message of the root's name with its namespace, which is what differs.
TEST(TypedJson, ARootTheSetDoesNotDefineIsRefused) {
  const struct {
    std::string xml, path, named;
  } cases[] = {
      {R"(<invoice xmlns="urn:test:typed"/>)", "/invoice",
       "the root '{urn:test:typed}invoice' is not a message of the set (its messages: order, "},
      {R"(<order xmlns="urn:test:wrong"/>)", "/order",
       "the root '{urn:test:wrong}order' is not a message of the set (its messages: {urn:test:typed}order, "},
      {"<order/>", "/order", "the root 'order' is not a message of the set (its messages: {urn:test:typed}order, "}};
  for (const auto& each : cases) {
    const wfxml::Error error = errorOf([&] { typedJson(typedMessageSet(), each.xml.data(), each.xml.size()); });
    EXPECT_EQ(error.key(), "CP_JSON_MISMATCH");
    EXPECT_NE(std::string(error.what()).find(each.named), std::string::npos) << error.what();
    EXPECT_EQ(error.path(), each.path);  // the document's element path, not a JSON path ("$")
  }
}

TEST(SelfDefining, WithoutDictionaryValuesAreStringsAndRepeatedNamesArrays) {
  const std::string xml =
      R"(<a xmlns="urn:x" xmlns:p="urn:p" n="1"><b>1</b><c><d>x</d></c><b>2</b><e xmlns="urn:y">t</e>)"
      R"(text<p:f p:k="v"/></a>)";
  const wfxml::MessageSet none = wfxml::MessageSet::none();
  const std::string json = typedJson(none, xml.data(), xml.size());
  // Without a dictionary names stay as written, prefixes too (the way back refused those):
  // namespace declarations are attributes.
  EXPECT_EQ(json, R"({"a":{"@xmlns":"urn:x","@xmlns:p":"urn:p","@n":"1","$":[{"b":"1"},{"c":{"d":"x"}},{"b":"2"},)"
                  R"({"e":{"@xmlns":"urn:y","$":"t"}},"text",{"p:f":{"@p:k":"v"}}]}})");
  const std::string plain = R"(<a n="1"><b>1</b><b>2</b><c><d>x</d></c></a>)";
  EXPECT_EQ(typedJson(none, plain.data(), plain.size()), R"({"a":{"@n":"1","b":["1","2"],"c":{"d":"x"}}})");
  // A name after another name: keys would write b, b, c.
  const std::string interleaved = R"(<a><b>1</b><c>x</c><b>2</b></a>)";
  const std::string ordered = R"({"a":{"$":[{"b":"1"},{"c":"x"},{"b":"2"}]}})";
  EXPECT_EQ(typedJson(none, interleaved.data(), interleaved.size()), ordered);
  // A comment or an instruction inside text leaves one value.
  const std::string cut = R"(<a><r>1.<!--c-->4E2</r><s n="1">x<?p?>y<!--c-->z</s></a>)";
  const std::string joined = R"({"a":{"r":"1.4E2","s":{"@n":"1","$":"xyz"}}})";
  EXPECT_EQ(typedJson(none, cut.data(), cut.size()), joined);
  // Names may hold characters beyond U+FFFF.
  const std::string beyond = "<a><\U00010000 \U00010001=\"v\">x</\U00010000></a>";
  const std::string supplementary = "{\"a\":{\"\U00010000\":{\"@\U00010001\":\"v\",\"$\":\"x\"}}}";
  EXPECT_EQ(typedJson(none, beyond.data(), beyond.size()), supplementary);
  wfxml::Session session(none);
  for (const std::string& given : {json, ordered, joined, supplementary})
    EXPECT_EQ(session.toJson(session.fromJson(given)), given);
}

// Content of many thousand names (a hostile document, or what a wildcard
// admits) converts both ways, each name found through an index rather than
// by a scan of those before it (which took minutes); the validator, whose
// scanner slows with each name it does not know, stops at its limit. The
// attributes are as many as an element may have.
TEST(SelfDefining, ThousandsOfNamesInOneElementConvertBothWays) {
  constexpr int kNames = 20000, kAttributes = 10000;
  std::string attributes, elements;
  for (int i = 0; i < kNames; ++i) {
    if (i < kAttributes) attributes += " a" + std::to_string(i) + "='1'";
    elements += "<e" + std::to_string(i) + ">1</e" + std::to_string(i) + ">";
  }
  const std::string xml = "<doc xmlns='urn:test:mixed'><free" + attributes + ">" + elements + "</free></doc>";
  for (const wfxml::MessageSet& set : {wfxml::MessageSet::none(), mixedWildcardSet()}) {
    const std::string json = typedJson(set, xml.data(), xml.size());
    EXPECT_NE(json.find(R"("@a9999":"1")"), std::string::npos);
    EXPECT_NE(json.find(R"("e19999":"1")"), std::string::npos);
    wfxml::Session session(set);
    const std::vector<std::uint8_t> written = session.write(session.fromJson(json, {.check = false}), {.check = false});
    EXPECT_EQ(typedJson(set, written.data(), written.size()), json);
  }
  const std::vector<wfxml::ValidationError> problems = mixedWildcardSet().validate(xml.data(), xml.size());
  ASSERT_EQ(problems.size(), 1U);
  EXPECT_EQ(problems[0].message, "elements of more than 10000 names the schemas do not declare");
  EXPECT_EQ(problems[0].path, "/doc/free");
}

// Typed data nest up to three levels below their parent's (a "$" array, the
// one-key object in it, the element's own): the data of a document as deep
// as the parse takes were refused on the way back, at 1,000 levels of data.
// Deeper elements (1,001 levels: the writer would refuse them), and deeper
// data, are refused naming the limit.
TEST(SelfDefining, TheDeepestDocumentTheParseTakesConvertsBothWays) {
  constexpr int kNested = 999;  // e within e, each between two x: in order, under "$"
  std::string xml;
  for (int i = 0; i < kNested; ++i) xml += "<e><x/>";
  for (int i = 0; i < kNested; ++i) xml += "<x/></e>";
  const wfxml::MessageSet none = wfxml::MessageSet::none();
  const std::string json = typedJson(none, xml.data(), xml.size());
  wfxml::Session session(none);
  const std::vector<std::uint8_t> written = session.write(session.fromJson(json));
  EXPECT_EQ(typedJson(none, written.data(), written.size()), json);

  std::string elements = "\"\"", data = "1";
  for (int i = 0; i <= 1000; ++i) elements = "{\"e\":" + elements + "}";
  for (int i = 0; i <= 3003; ++i) data = "[" + data + "]";
  const struct {
    std::string json, what;
  } deeper[] = {{elements, "the elements are nested deeper than 1000 levels"},
                {"{\"e\":" + data + "}", "the data are nested deeper than 3003 levels"}};
  for (const auto& each : deeper) {
    const wfxml::Error error = errorOf([&] { session.fromJson(each.json); });
    ASSERT_EQ(error.inserts().size(), 2U);
    EXPECT_EQ(error.inserts()[1], each.what);
  }
}

// Written back, the message declares every namespace it uses at its root:
// each of thousands was looked up by a scan of those declared before it (the
// writer's list and the prefixes in scope), which took seconds.
TEST(SelfDefining, ThousandsOfNamespacesAreDeclaredAtTheRoot) {
  constexpr int kNamespaces = 30000;
  std::string elements;
  for (int i = 0; i < kNamespaces; ++i) elements += "<e xmlns='urn:n" + std::to_string(i) + "'/>";
  const std::string xml = "<doc xmlns='urn:test:mixed'><free>" + elements + "</free></doc>";
  wfxml::Session session(mixedWildcardSet());
  const std::string json = typedJson(session.messageSet(), xml.data(), xml.size());
  const std::vector<std::uint8_t> written = session.write(session.fromJson(json, {.check = false}), {.check = false});
  const std::string text(written.begin(), written.end());
  EXPECT_NE(text.find(R"( xmlns:ns30000="urn:n29999"><m:free><ns1:e>)"), std::string::npos) << text.substr(0, 300);
  EXPECT_NE(text.find("<ns30000:e></ns30000:e></m:free></m:doc>"), std::string::npos) << text.substr(text.size() - 300);
}

struct GivenData {
  const char* name;
  std::string given;  // the content of "doc"
  std::string built;     // as the message built gives it; empty: as given
  std::string readBack{};  // as the document written reads back; empty: as built
  const wfxml::MessageSet& (*set)() = givenDataSet;
};

class DataGiven : public testing::TestWithParam<GivenData> {};

TEST_P(DataGiven, IsBuiltAsTheDocumentWrittenReadsBack) {
  wfxml::Session session(GetParam().set());
  const wfxml::Message message = session.fromJson(std::string(R"({"doc":{)") + GetParam().given + "}}");
  const std::string built = R"({"doc":{)" + (GetParam().built.empty() ? GetParam().given : GetParam().built) + "}}";
  EXPECT_EQ(session.toJson(message), built);
  const std::vector<std::uint8_t> xml = session.write(message);
  const std::string readBack = GetParam().readBack.empty() ? built : R"({"doc":{)" + GetParam().readBack + "}}";
  EXPECT_EQ(typedJson(session.messageSet(), xml.data(), xml.size()), readBack) << textOf(xml);
  // The checked write of the tree the document parses into passes, and gives
  // the document again where it reads back as built.
  const std::string rewritten = textOf(session.write(session.parse(xml.data(), xml.size())));
  if (GetParam().readBack.empty()) {
    EXPECT_EQ(rewritten, textOf(xml));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, DataGiven,
    testing::Values(GivenData{"StringKeepsIt", R"("s":" a\tb  c ")", ""},
                    GivenData{"NormalizedStringAndDerivationsReplaceIt", R"("n":" a\tb  c\n","c":"a\r\nb")", R"("n":" a b  c ","c":"a  b")"},
                    GivenData{"TokenAndDerivationsCollapseIt", R"("t":" SYSTEM \t DE1","w":"\nA  B ")", R"("t":"SYSTEM DE1","w":"A B")"},
                    GivenData{"AttributesAndOtherTypesToo", R"("@a":" x  y ","d":" 2026-01-02\n")", R"("@a":"x y","d":"2026-01-02")"},
                    // An exponent is spelled out for a decimal; digits beyond a double's range stay.
                    GivenData{"DecimalExponent", R"("x":1.5e3)", R"("x":1500)"},
                    // JSON's -0 is the negative zero of a double or decimal, and an int's 0.
                    GivenData{"NegativeZero", R"("x":-0,"db":-0,"in":-0)", R"("x":-0,"db":-0,"in":0)"},
                    // A number whose value is an integer, for an int as for an integer.
                    GivenData{"IntegralNumbers", R"("i":[2.0,1e2],"in":2.5e1)", R"("i":[2,100],"in":25)"},
                    GivenData{"BigIntegersAndDecimals", R"("i":[123456789012345678901234567890,-42],"x":)" + std::string(400, '7') + ".25", ""},
                    // Beyond a long double's range, which the JSON parser reads numbers into.
                    GivenData{"NumbersOfAnyLength", R"("i":[)" + std::string(5000, '9') + R"(],"x":-)" + std::string(5000, '1') + ".5", ""},
                    // A union's value is that of the first member type its text is one of; a list member's, its items.
                    GivenData{"UnionMemberType", R"("u":"7")", R"("u":7)"},
                    GivenData{"UnionMembersWhiteSpaceAndListMember", R"("u":" a  b ","l":" 1 2  3")", R"("u":"a b","l":[1,2,3])"},
                    GivenData{"UnionListMemberItems", R"("l":[1,2])", ""},
                    GivenData{"UnionListBesideAttribute", R"("tl":{"@u":"x","$":"1 2"})", R"("tl":{"@u":"x","$":[1,2]})"},
                    GivenData{"UnionSimpleMemberFirst", R"("l":[7])", R"("l":7)"},
                    GivenData{"UnionMemberByEnumeration", R"("sc":"7")", R"("sc":7)"},
                    // The document's text where the plain form would go to a member before: 12 to xs:int, qw== to base64.
                    GivenData{"UnionMemberKeptByItsText", R"("uf":["12.0",7,"INF"],"ub":["AB","qw=="])", ""},
                    // Fixed values and hexBinary enumerations (also a simple-content restriction's) as the schema
                    // spells them: Xerces-C compares them as text.
                    GivenData{"FixedValuesInTheSchemasSpelling",
                              R"("hx":{"@ha":"qw==","$":"D6k="},"hl":["Cg==","Cw=="],"he":"yv4=","hn":{"@n":"x","$":"yv4="})", ""},
                    // Booleans and numbers a pattern takes in other spellings only: the same value so spelled; a
                    // decimal built with those digits, as the document reads back (it was built 12.5); a bare point, a
                    // sign +, an exponent of three digits (1.2500E-002), hexBinary in lower case, 19 zeros before an
                    // integer (\d{20}), a float's -0 with its sign (-0.0). A simple-content restriction's pattern
                    // holds beside its base's (0.01 as 1.00E-2, not the base's 1.0E-2).
                    GivenData{"PatternsTakingOtherSpellings",
                              R"("pb":true,"pr":0.01,"pcr":0.01,"pc":12.5,"pm":0.5,"ps":7,"pe":0.0125,"ph":"yv4=","pz":1,"pn":-0)",
                              R"("pb":true,"pr":0.01,"pcr":0.01,"pc":12.50,"pm":0.500,"ps":7,"pe":0.0125,"ph":"yv4=","pz":1,"pn":-0)"},
                    GivenData{"ListPatternsTakingOtherSpellings", R"("pl":[1.5,2.25],"pbl":[true,false,true])",
                              R"("pl":[1.50,2.25],"pbl":[true,false,true])"},
                    // Items of a union's members, each in a spelling that reads back as the same member; an
                    // attribute's too, a union's and a member's own pattern (hexBinary in lower case), a nested
                    // union, a union's list member, a string member's item as given. A parsed tree loses -00:00 in a list: wfhost-runs.txt has those.
                    GivenData{"UnionListPatternsTakingOtherSpellings",
                              R"("@pa":[1.5,true],"ul":[1.5,true,2.25],"ud":[1.5,2.25],"un":[7,2.5],)"
                              R"("uc":12.5,"ucl":[1.5,true],"ua":[12.5,"2026-12-08Z"],"uu":[1.5,false],"uh":"q80=","uo":[1.5,"small"],"up":[1.5,true])",
                              R"("@pa":[1.50,true],"ul":[1.50,true,2.25],"ud":[1.50,2.25],"un":[7,2.5],)"
                              R"("uc":12.50,"ucl":[1.50,true],"ua":[12.50,"2026-12-08Z"],"uu":[1.50,false],"uh":"q80=","uo":[1.50,"small"],"up":[1.50,true])"},
                    // A zero offset as -00:00 where the pattern wants it; a parsed tree keeps that spelling.
                    GivenData{"ZeroOffsetAPatternTakes", R"("pw":"13:20:00Z")", ""},
                    // The gMonth form --MM-- and a duration's zeros as given, as the parse keeps them.
                    GivenData{"FirstGMonthFormAndDurationZeros", R"("gm":"--05--","du":["P0001Y01M","-PT00H05M"," PT1S "])",
                              R"("gm":"--05--","du":["P0001Y01M","-PT00H05M","PT1S"])"},
                    // xsi:nil="true" kept as an attribute where the value cannot be null.
                    GivenData{"NilOfAComplexOrListType", R"("nl":null,"nc":null)", ""},
                    // Beside an xsi:type a nil value is "$": null, a list's "@xsi:nil" (either value) its own key.
                    GivenData{"NilBesideAnXsiType", R"("s":{"@xsi:type":"string","$":null},"nl":{"@xsi:type":"Ints","@xsi:nil":"true"})", ""},
                    GivenData{"ListNotNil", R"("nl":{"@xsi:nil":"false","$":[1]})", ""},
                    // A QName's null has no prefix to bind; a union's is written as xsi:nil, not as empty.
                    GivenData{"NilQNameAndUnions", R"("nq":null,"nu":null,"nt":{"@u":"x","$":null})",
                              R"("nq":null,"nu":null,"nt":{"@u":"x","@xsi:nil":"true"})"},
                    // Every item, with attributes beside them or not (the parse kept the first of them only).
                    GivenData{"SimpleContentOfAListType", R"("li":[[1,2,3],{"@n":"x","$":[4,5]},{"@n":"y","$":[6]},[]])", ""},
                    GivenData{"UnionBooleanSpelledOwnWay", R"("f":"Y","g":"N")", R"("f":true,"g":false)", "", spellingsSet},
                    // Text alone for mixed content, as an undeclared element in lax content has it.
                    // Those of a member's name the wildcard takes share its key (the built message had a key for each).
                    GivenData{"MemberNameAlsoTheWildcards", R"("trio":{"$":[{"qty":1},{"note":"n"},{"qty":2}]})", "", "", mixedWildcardSet},
                    GivenData{"LocalMemberNameAlsoTheWildcards", R"("own":{"qty":[1,2]})", "", "", mixedWildcardSet},
                    GivenData{"TextAloneOfMixedContent", R"("stamp":"t")", R"("stamp":{"$":["t"]})", "", mixedWildcardSet},
                    // Beside attributes too (it was refused: an array was expected).
                    GivenData{"TextAloneOfMixedContentBesideAttributes", R"("m":{"@k":"v","$":"t"})", R"("m":{"@k":"v","$":["t"]})"},
                    // Runs side by side are one; whitespace alone is written, and the parser drops it.
                    GivenData{"MixedTextRuns", R"("m":{"$":["a","b ",{"b":"x"}," ",{"b":"y"},"\n"]})",
                              R"("m":{"$":["ab ",{"b":"x"}," ",{"b":"y"},"\n"]})",
                              R"("m":{"$":["ab ",{"b":"x"},{"b":"y"}]})"}),
    [](const testing::TestParamInfo<GivenData>& info) { return info.param.name; });

}  // namespace

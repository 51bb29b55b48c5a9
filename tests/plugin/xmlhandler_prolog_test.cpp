// Parsing without a dictionary: the prolog, the internal subset, comments,
// scanner errors and hostile documents. Whole traces of self-defining
// documents and their prologs are recorded ones (xmlhandler_dictionary_test).
#include "parsetestsupport.h"
#include "unicodeconverter.h"
#include "paramname.h"

#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/util/XMLExceptMsgs.hpp>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

using namespace parsetest;
using Lines = std::vector<std::string>;

// A comment before the root without a doctype, and the writer's timestamp
// comment, are not kept.
TEST(PrologParse, DroppedComments) {
  ParseRun run;
  EXPECT_EQ(run.parse("<!--gone--><m/>").front(), "startMessage({})");
  EXPECT_EQ(run.parse("<m><!--VRK Generated XML Output on : Mon Jan  1--><a/></m>")[3],
            R"(startElement("a", "", 0, -, -1, -1))");
}

// XML 1.0 versions are "1." and digits; the scanner itself takes any text
// that begins with "1.". Every encoding must refuse the same versions.
struct VersionCase {
  const char* name;
  long ccsid;
  long byteOrder;  // of UTF-16: 1 little-endian, 2 big-endian (with a mark)
};

void PrintTo(const VersionCase& c, std::ostream* out) { *out << c.name; }

class DeclaredVersionTest : public ::testing::TestWithParam<VersionCase> {
protected:
  // The document in the case's encoding, parsed; the exception it ends with, if any.
  std::optional<ZelException> parse(std::u16string_view version) {
    const std::u16string text = u"<?xml version=\"" + std::u16string(version) + u"\"?><m/>";
    CPUnicodeConverter converter(GetParam().ccsid, GetParam().byteOrder);
    WritableBitstreamBuffer out;
    if (CPUnicodeConverter::IsUnicode(GetParam().ccsid)) {
      const char16_t mark = u'\uFEFF';
      converter.fromUnicode(&mark, 1, out);
    }
    converter.fromUnicode(text.data(), text.size(), out);
    converter.finish(out);
    ParseRun run;
    run.properties.setIntegerProperty(ZelWstring(MI_CCSID_STR), GetParam().ccsid);
    try {
      run.parse(std::string(out.bytes().begin(), out.bytes().end()));
    } catch (const ZelException& e) {
      return e;
    }
    return std::nullopt;
  }
};

TEST_P(DeclaredVersionTest, OneDotAndDigitsParse) {
  for (const char16_t* version : {u"1.0", u"1.1", u"1.10"}) EXPECT_FALSE(parse(version)) << TraceText::quoted(ZelWstring(version));
}

TEST_P(DeclaredVersionTest, AnyOtherVersionIsTheScannersError) {
  for (const char16_t* version : {u"1.0 ", u"1.x", u"1.", u"1.\u0660", u"2.0"}) {
    if (GetParam().ccsid == 500 && version[2] == u'\u0660') {
      // Not in the code page, and no reference may stand in a declaration.
      EXPECT_THROW(parse(version), ZelConversionException);
      continue;
    }
    const std::optional<ZelException> e = parse(version);
    ASSERT_TRUE(e) << TraceText::quoted(ZelWstring(version));
    EXPECT_EQ(scannerErrorCode(*e), std::to_string(xercesc::XMLErrs::UnsupportedXMLVersion));
  }
}

INSTANTIATE_TEST_SUITE_P(Encodings, DeclaredVersionTest,
                         ::testing::Values(VersionCase{"Utf8", 1208, 2}, VersionCase{"Utf16Little", 1200, 1},
                                           VersionCase{"Utf16Big", 1200, 2}, VersionCase{"Ebcdic500", 500, 2}),
                         [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

TEST(PrologParse, SecondDocumentGetsAStartRecordOfItsOwn) {
  // Keeps the start records the host is given.
  struct Keeper : EventRecorder {
    std::vector<WorkerInfoPtr> records;
    void startMessage(const WorkerInfoPtr& info) override {
      records.push_back(info);
      EventRecorder::startMessage(info);
    }
  };
  const ZelNamedLogSource owner("test");
  XMLWorker worker(&owner);
  MessageInfo properties;
  Keeper keeper;
  worker.initializeParse(-1, &properties, 0);
  worker.setFIHandler(&keeper);
  for (const std::string document : {R"(<?xml version="1.0" standalone="yes"?><m/>)", "<m/>"}) {
    const BitstreamBuffer buffer(reinterpret_cast<const unsigned char*>(document.data()), document.size());
    worker.parse(&buffer, nullptr, 0, 0);
  }
  ASSERT_EQ(keeper.records.size(), 2u);
  EXPECT_EQ(record(keeper.records[0]), R"({1:String:"yes", 4:String:"1.0"})");
  EXPECT_EQ(record(keeper.records[1]), "{}");
}

// The internal subset is rebuilt declaration by declaration
// (tests/data/traces/internal-subsets.txt).
class InternalSubsetTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(InternalSubsetTest, RebuildsTheDeclaration) {
  const DataCase& c = GetParam();
  const std::string declaration = c.fields.count("declaration") ? c["declaration"] : c.text;
  const std::string expected = std::string(R"(startMessage({2:String:null, 3:String:null, 5:String:)") +
                               TraceText::quoted(ZelWstring::fromUtf8(c.text)) + "})";
  EXPECT_EQ(ParseRun().parse("<!DOCTYPE a [" + declaration + "]><a/>").front(), expected);
}

INSTANTIATE_TEST_SUITE_P(Declarations, InternalSubsetTest, ::testing::ValuesIn(dataCases("traces/internal-subsets.txt")),
                         ReadableName());

TEST(HostileParse, ExternalEntitiesAndTheExternalSubsetAreNeverRead) {
  const std::string secret = std::string(WF_TEST_DATA_DIR) + "/parse/secret.ent";
  const std::string document = "<!DOCTYPE a SYSTEM \"" + secret + "\" [<!ENTITY s SYSTEM \"" + secret +
                               "\">]><a>[&s;]</a>";
  ParseRun run;
  const Lines& lines = run.parse(document);
  EXPECT_NE(std::find(lines.begin(), lines.end(), R"(data(String:"[]", -, -1, -1))"), lines.end());
  for (const std::string& line : lines) EXPECT_EQ(line.find("SECRET"), std::string::npos) << line;
}

TEST(HostileParse, EntityExpansionBombEndsAtTheExpansionLimit) {
  std::string document = "<!DOCTYPE b [<!ENTITY l0 \"lol\">";
  for (int level = 1; level <= 9; ++level) {
    document += "<!ENTITY l" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) document += "&l" + std::to_string(level - 1) + ";";
    document += "\">";
  }
  document += "]><b>&l9;</b>";
  const ZelException e = ParseRun().failure(document);
  EXPECT_EQ(scannerErrorCode(e), std::to_string(xercesc::XMLErrs::EntityExpansionLimitExceeded));
  EXPECT_EQ(insertsOf(e).back(), "b");
}

// A document that expands an entity 1,500 times: beyond the default limit,
// within one a host sets through the message property.
struct ExpansionLimitCase {
  const char* name;
  const char* property;  // null: not set
  bool parses;
};

void PrintTo(const ExpansionLimitCase& c, std::ostream* out) { *out << c.name; }

class EntityExpansionLimitTest : public ::testing::TestWithParam<ExpansionLimitCase> {};

TEST_P(EntityExpansionLimitTest, TheHostMayRaiseTheLimit) {
  std::string document = "<!DOCTYPE a [<!ENTITY e \"x\">]><a>";
  for (int i = 0; i < 1500; ++i) document += "&e;";
  document += "</a>";
  ParseRun run;
  if (GetParam().property)
    run.properties.setProperty(ZelWstring(MI_ENTITYEXPANSIONLIMIT_STR), ZelWstring::fromUtf8(GetParam().property));
  if (GetParam().parses) {
    const Lines& lines = run.parse(document);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "data(String:\"" + std::string(1500, 'x') + "\", -, -1, -1)"),
              lines.end());
    return;
  }
  EXPECT_EQ(scannerErrorCode(run.failure(document)), std::to_string(xercesc::XMLErrs::EntityExpansionLimitExceeded));
}

INSTANTIATE_TEST_SUITE_P(Limits, EntityExpansionLimitTest,
                         ::testing::Values(ExpansionLimitCase{"Default", nullptr, false},
                                           ExpansionLimitCase{"Raised", "1500", true},
                                           ExpansionLimitCase{"Lowered", "100", false},
                                           ExpansionLimitCase{"NoneIsNotAnOption", "0", false}),
                         [](const ::testing::TestParamInfo<ExpansionLimitCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(HostileParse, AnExpansionLimitThatIsNoNumberIsAConversionError) {
  ParseRun run;
  run.properties.setProperty(ZelWstring(MI_ENTITYEXPANSIONLIMIT_STR), ZelWstring(u"many"));
  EXPECT_THROW(run.parse("<a/>"), ZelConversionException);
}

// Entity text beyond its allowance and nesting beyond the limit end the
// parse with the limit and the element, not a crash.
TEST(HostileParse, TextAndNestingLimitsEndTheParse) {
  std::string entities = "<!DOCTYPE q [<!ENTITY a \"" + std::string(100000, 'x') + "\">]><q>";
  for (int i = 0; i < 200; ++i) entities += "<e>&a;</e>";
  entities += "</q>";
  std::string nested;
  for (int i = 0; i < 100000; ++i) nested += "<a>";
  for (int i = 0; i < 100000; ++i) nested += "</a>";
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {entities, {std::to_string(entities.size() + XMLHandler::kEntityTextAllowance), "e"}},
      {nested, {std::to_string(XMLHandler::kMaxElementDepth), "a"}}};
  for (const auto& [document, limitAndElement] : cases) {
    SCOPED_TRACE(limitAndElement.back());
    const ZelException e = ParseRun().failure(document);
    EXPECT_STREQ(e.getKey(), "CP_XML_INTERNAL_ERROR");
    const std::vector<std::string> inserts = insertsOf(e);
    ASSERT_EQ(inserts.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(inserts.begin() + 2, inserts.end()), limitAndElement);
  }
}

TEST(ScannerErrors, AWorkerThatParsesAgainDecodesUtf8AsBefore) {
  // The first parse leaves the worker's code page at UTF-8 for the next.
  ParseRun run;
  run.parse("<a/>");
  EXPECT_EQ(scannerErrorCode(run.failure("<a>x\xC3(y</a>")), std::to_string(xercesc::XMLExcepts::UTF8_FormatError));
}

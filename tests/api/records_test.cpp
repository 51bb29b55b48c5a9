// Typed JSON records: each record as its part of the whole document's typed
// JSON, with its ancestors and their attributes and nothing else; from a
// file as from bytes.
#include "apitestsupport.h"
#include "zelexception.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

std::vector<std::string> recordsOf(const std::string& xml, const std::string& record) {
  std::vector<std::string> lines;
  wfxml::Session session(typedMessageSet());
  session.toJsonRecords(xml.data(), xml.size(), record,
                        [&](std::string_view json) { lines.emplace_back(json); });
  return lines;
}

struct RecordCase {
  const char* name;
  const char* record;
  std::vector<std::string> lines;  // the parts of the whole document's typed JSON (typedjson_test.cpp)
};

class Records : public testing::TestWithParam<RecordCase> {};

// From bytes as from a mapped file.
TEST_P(Records, AreTheirPartsOfTheWholeDocument) {
  EXPECT_EQ(recordsOf(readFileText(testData("typed/order.xml")), GetParam().record), GetParam().lines);
  std::vector<std::string> lines;
  wfxml::Session(typedMessageSet()).toJsonRecordsFromFile(testData("typed/order.xml"), GetParam().record,
                                                   [&](std::string_view json) { lines.emplace_back(json); });
  EXPECT_EQ(lines, GetParam().lines);
}

const std::string kParty1 = R"({"order":{"@id":"o-1","party":[{"@id":"p1","name":"Ann"}]}})";
const std::string kParty2 = R"({"order":{"@id":"o-1","party":[{"@xsi:type":"Company","name":"Bob Ltd","vat":"DE1"}]}})";

INSTANTIATE_TEST_SUITE_P(
    ByNameOrPath, Records,
    testing::Values(RecordCase{"Name", "party", {kParty1, kParty2}},
                    RecordCase{"ParentAndName", "order/party", {kParty1, kParty2}},
                    RecordCase{"WholePath", "/order/party", {kParty1, kParty2}},
                    RecordCase{"WholePathThatDoesNotStartAtTheMessage", "/party", {}},
                    RecordCase{"OtherParent", "other/party", {}},
                    // The ancestor keeps its attributes only, not its other members.
                    RecordCase{"ItsAncestorsKeepTheirAttributesOnly", "price",
                               {R"({"order":{"@id":"o-1","line":[{"@o:batch":7,"price":{"@ccy":"EUR","$":12345678901234567.0123456}}]}})"}},
                    RecordCase{"AnAttributeIsNoRecord", "id", {}}, RecordCase{"Empty", "", {}}),
    [](const testing::TestParamInfo<RecordCase>& info) { return std::string(info.param.name); });

TEST(Records, TheMessageElementIsOneRecordWithTheWholeDocument) {
  const std::string xml = readFileText(testData("typed/order.xml"));
  EXPECT_EQ(recordsOf(xml, "order"), std::vector<std::string>{typedJson(typedMessageSet(), xml.data(), xml.size())});
}

// The markup a cutter must step over: a DTD with '>' in its subset (in an
// entity, a comment, a processing instruction with "]>", a tag and a quote),
// comments, a processing instruction and CDATA that look like records, '>' in an
// attribute value, prefixes, records nested and empty.
const std::string kCuttable = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE order [ <!ENTITY who "Ann &#62; Bob"> <!-- a comment with > --> <?pi ]> <order> it's?> ]>
<order xmlns="urn:test:typed" xmlns:t="urn:test:typed" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"
       id="o>1">
  <party id="p1"><name>&who;</name></party>
  <?note <party>?><!-- <party> -->
  <t:party xsi:type="t:Company"><name><![CDATA[</party><party>]]></name><vat>DE1</vat></t:party >
  <line><qty>2</qty><price ccy="EUR">1.5</price></line><line><qty>3</qty><price ccy="USD">2</price></line>
  <key>colour</key><codes>7</codes><size>large</size><total>0.10</total><big>1</big><ratio>0.25</ratio>
  <limit>1</limit><urgent>true</urgent><when>2026-12-05</when><wait>P1D</wait><blob/><note/><remark/>
  <name>Main</name>
</order>
)";

// The records of xml read by a RecordReader in chunks of chunk bytes, cut
// after every record; pieces counts the pieces it converted or refused.
std::vector<std::string> recordsOfPieces(const std::string& xml, const std::string& record, std::size_t chunk,
                                         int& pieces, const wfxml::ParseOptions& options = {}) {
  std::vector<std::string> lines;
  wfxml::Session session(typedMessageSet());
  std::size_t at = 0;
  wfxml::RecordReader reader(record, [&] {
    const std::string_view next = std::string_view(xml).substr(at, chunk);
    at += next.size();
    return next;
  }, options, /*pieceSize=*/1);
  pieces = 1;  // the one being converted, also when its parse throws
  while (reader.nextJson(session, [&](std::string_view json) { lines.emplace_back(json); })) ++pieces;
  --pieces;  // the last call found none
  return lines;
}

// Xerces-C reads a start tag in time that grows with its attributes squared
// (each prefix looked up among the declarations one by one, attributes of
// one local name in one hash chain): 40,000 took half a minute to validate.
// Every reading refuses a tag of more than 10,000 before the scanner reads
// it, at the attribute past the bound, in any encoding, also where records
// are checked piece by piece as they come (the tag split between pieces).
// Runs of '=' that no start tag holds, a quote that a comment opens, and
// '<' bytes within a UTF-16 character are no tag's, nor a quote's byte
// within a pair of double-byte EBCDIC (U+4F86 is 0x56 0x7D in IBM939).
TEST(Records, AnElementOfTooManyAttributesIsRefusedUnread) {
  wfxml::Session none(wfxml::MessageSet::none());
  const struct {
    std::string encoding;
    std::string declared;
    std::string value;
  } cases[] = {{"UTF-8", "UTF-8", "v"}, {"UTF-16LE", "UTF-16", "\u3C3C"}, {"ibm-500", "ibm-500", "v"},
               {"ibm-939", "IBM939", "\u4F86"}};
  for (const auto& [encoding, declared, value] : cases) {
    const auto attributesOf = [](const std::string& value) {
      std::string attributes;
      for (int i = 0; i < 5001; ++i) {
        const std::string n = std::to_string(i);
        attributes += " xmlns:p" + n + "='urn:" + n + "' p" + n + ":a='" + value + "'";
      }
      return attributes;
    };
    const std::string attributes = attributesOf(value);
    // One line, after a byte-order mark (no column of it) in UTF-8.
    const std::string head = "<?xml version='1.0' encoding='" + declared + "'?><!-- <a b=\" " +
                             std::string(20000, '=') + " --><order";
    const std::string ascii = attributesOf("v");  // a column a character
    const long column = static_cast<long>(head.size() + ascii.find(" xmlns:p5000=") + std::string(" xmlns:p5000").size() + 1);
    const auto document = [&](const std::string& attributeList) {
      return inCodePage((encoding == "UTF-8" ? "\uFEFF" : "") + head + attributeList + "><name>" + std::string(60000, '=') +
                            "</name></order>",
                        encoding.c_str());
    };
    const std::string xml = document(attributes);
    const auto expectRefused = [&](const wfxml::Error& error, const char* how) {
      EXPECT_EQ(std::make_pair(error.line(), error.column()), std::make_pair(1L, column)) << encoding << ", " << how;
      EXPECT_NE(error.description().find("more than 10000 attributes"), std::string::npos) << error.what();
    };
    expectRefused(errorOf([&] { none.toJson(xml.data(), xml.size()); }), "typed data");
    expectRefused(errorOf([&] { none.parse(xml.data(), xml.size()); }), "tree");
    int pieces = 0;
    expectRefused(errorOf([&] { recordsOfPieces(xml, "name", 4001, pieces, {.encoding = "", .validate = true}); }), "records checked");
    const std::vector<wfxml::ValidationError> problems = typedMessageSet().validate(xml.data(), xml.size());
    ASSERT_EQ(problems.size(), 1U) << encoding;
    EXPECT_EQ(std::make_pair(problems[0].line, problems[0].column), std::make_pair(std::uint64_t{1}, std::uint64_t(column)));
    // One attribute fewer is read.
    const std::string read = document(attributes.substr(0, attributes.rfind(" xmlns:p5000")));
    EXPECT_NE(none.toJson(read.data(), read.size()).find("@p4999:a"), std::string::npos) << encoding;
    for (const wfxml::ValidationError& problem : typedMessageSet().validate(read.data(), read.size()))
      EXPECT_EQ(problem.message.find("more than 10000"), std::string::npos) << encoding << ": " << problem.message;
  }
}

TEST(Records, PiecesCutBetweenRecordsGiveTheWholeDocumentsRecords) {
  for (const char* record : {"party", "price", "line/price", "name", "note", "order"}) {
    const std::vector<std::string> whole = recordsOf(kCuttable, record);
    ASSERT_FALSE(whole.empty()) << record;
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, kCuttable.size()}) {
      int pieces = 0;
      EXPECT_EQ(recordsOfPieces(kCuttable, record, chunk, pieces), whole) << record << ", chunks of " << chunk;
      // A cut after every record but the message element, the rest after the last.
      const int cuts = std::string(record) == "order" ? 0 : static_cast<int>(whole.size());
      EXPECT_EQ(pieces, cuts + 1) << record;
    }
  }
}

// A fault in a later piece: its error names the line and column of the
// whole document, as the whole document's parse (from bytes or a mapped
// file) does after the records before the fault.
struct PieceFault { const char* name; std::string xml; };

// The inserts of the host exception an error keeps.
std::vector<std::string> hostInserts(const wfxml::Error& error) {
  std::vector<std::string> inserts;
  try {
    std::rethrow_exception(error.hostException());
  } catch (const ZelException& e) {
    for (const ZelInsert& insert : e.getInserts()) inserts.push_back(insert.toUtf8());
  }
  return inserts;
}

class PieceFaults : public testing::TestWithParam<PieceFault> {};

TEST_P(PieceFaults, NameTheWholeDocumentsLineAndColumn) {
  const std::string& xml = GetParam().xml;
  std::vector<std::string> before;
  wfxml::Session session(typedMessageSet());
  const wfxml::Error whole = errorOf([&] {
    session.toJsonRecords(xml.data(), xml.size(), "party", [&](std::string_view json) { before.emplace_back(json); });
  });
  ASSERT_GT(whole.line(), 0) << whole.what();
  EXPECT_FALSE(before.empty());
  for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, xml.size()}) {
    int pieces = 0;
    const wfxml::Error piece = errorOf([&] { recordsOfPieces(xml, "party", chunk, pieces); });
    EXPECT_GT(pieces, 1);
    EXPECT_EQ(std::tuple(std::string(piece.what()), piece.inserts(), hostInserts(piece)),
              std::tuple(std::string(whole.what()), whole.inserts(), hostInserts(whole))) << "chunks of " << chunk;
  }
}

std::string parties(int count, const std::string& lineEnd) {
  std::string xml = "<order xmlns=\"urn:test:typed\"" + lineEnd + "  id=\"o\">";
  for (int i = 0; i < count; ++i) xml += "<party><name>P" + std::to_string(i) + "</name></party>" + lineEnd;
  return xml;
}

// A file is read, not mapped: one cut short while its records are read ends there, as a document cut
// short (a mapping's missing pages killed the process); a pipe reads as the file it carries.
TEST(Records, AFileIsReadAsItComesAndNamedWhenItCannotBe) {
  const wfxml::Error e = errorOf(
      [] { wfxml::Session(typedMessageSet()).toJsonRecordsFromFile(testData("typed/absent.xml"), "party", [](std::string_view) {}); });
  EXPECT_NE(std::string(e.what()).find("absent.xml"), std::string::npos) << e.what();
  const ScratchFolder folder;
  const std::string file = folder.write("many.xml", parties(100000, "\n") + "</order>");
  std::size_t records = 0;
  const wfxml::Error cut = errorOf([&] {
    wfxml::Session(typedMessageSet()).toJsonRecordsFromFile(file, "party", [&](std::string_view) {
      if (records++ == 0) {
        ASSERT_EQ(::truncate(file.c_str(), 100), 0);
      }
    });
  });
  EXPECT_EQ(cut.key(), "CP_XML_XERCES_PARSER_EXCEPTION") << cut.what();
  EXPECT_GT(records, 0u);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const std::string xml = parties(2, "") + "</order>";
  ASSERT_EQ(::write(ends[1], xml.data(), xml.size()), static_cast<ssize_t>(xml.size()));
  ::close(ends[1]);
  records = 0;
  wfxml::Session(typedMessageSet()).toJsonRecordsFromFile("/dev/fd/" + std::to_string(ends[0]), "party",
                                                          [&](std::string_view) { ++records; });
  ::close(ends[0]);
  EXPECT_EQ(records, 2u);
}

TEST(Records, PiecesOfAnUncuttableCodePageOrAFaultStayWhole) {
  int pieces = 0;
  // UTF-16 keeps no markup in single bytes: the document is one piece.
  std::string utf16 = "\xFF\xFE";
  for (const char c : parties(2, "") + "</order>") utf16.append({c, '\0'});
  EXPECT_EQ(recordsOfPieces(utf16, "party", 64, pieces).size(), 2u);
  EXPECT_EQ(pieces, 1);
  // Nor does a code page of several bytes a character, also when the declaration comes a byte at a time.
  EXPECT_EQ(recordsOfPieces("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>" + parties(2, "") + "</order>", "party", 1,
                            pieces).size(), 2u);
  EXPECT_EQ(pieces, 1);
  // A declaration whose quote runs on past its "?>" is the parse's to report, where the whole document's does.
  const std::string openQuote = "<?xml version='1.0\"?>\n" + parties(2, "\n") + "<x a='b'/></order>";
  const wfxml::Error whole = errorOf([&] { recordsOf(openQuote, "party"); });
  const wfxml::Error piece = errorOf([&] { recordsOfPieces(openQuote, "party", 5, pieces); });
  EXPECT_EQ(std::pair(piece.line(), piece.column()), std::pair(whole.line(), whole.column())) << whole.what();
  // After an end tag that closes nothing open, the rest is one piece, and
  // its parse reports the fault.
  EXPECT_THROW(recordsOfPieces(parties(2, "") + "<x></order></x>", "party", 5, pieces), wfxml::Error);
  EXPECT_EQ(pieces, 3);
}

// Validating, the whole document is checked as it is read: the parties'
// pieces are good though the order needs its later members, and a problem
// stops the records before its piece, named as the whole document's check
// names it.
TEST(Records, ValidatedAsAWholeDocumentWhileRead) {
  const std::string order = readFileText(testData("typed/order.xml"));
  const auto with = [&](const std::string& what, const std::string& by) {
    return std::string(order).replace(order.find(what), what.size(), by);
  };
  const std::pair<std::string, int> cases[] = {  // the document, its pieces converted or refused
      {order, 3}, {with("<vat>", "<bad/><vat>"), 2}, {with("<codes>7", "<codes>x"), 3}, {with("<name>Main</name>", ""), 3}};
  for (const auto& [xml, convertedPieces] : cases) {
    const std::vector<wfxml::ValidationError> problems = typedMessageSet().validate(xml.data(), xml.size());
    for (const std::size_t chunk : {std::size_t{1}, xml.size()}) {
      int pieces = 0;
      const auto read = [&, &xml = xml] { return recordsOfPieces(xml, "party", chunk, pieces, {"", true}); };
      if (problems.empty()) {
        EXPECT_EQ(read(), (std::vector<std::string>{kParty1, kParty2}));
      } else {
        const std::vector<wfxml::ValidationError> raised = errorOf(read).validationErrors();
        ASSERT_FALSE(raised.empty()) << problems[0].message;
        EXPECT_EQ(std::tie(raised[0].line, raised[0].column, raised[0].path, raised[0].message),
                  std::tie(problems[0].line, problems[0].column, problems[0].path, problems[0].message));
      }
      EXPECT_EQ(pieces, convertedPieces) << xml << "\nchunks of " << chunk;
    }
  }
  // Entities may add their text beyond the document's own, which the first piece holds here too.
  std::string references;
  for (int i = 0; i < 1000; ++i) references += "&e;";
  std::string expanded = with("Ann", std::string(1 << 20, 'a') + references);
  expanded.replace(expanded.find("<order"), 6, "<!DOCTYPE order [<!ENTITY e '" + std::string(3500, 'e') + "'>]>\n<order");
  ASSERT_TRUE(typedMessageSet().validate(expanded.data(), expanded.size()).empty());
  int expandedPieces = 0;
  EXPECT_EQ(recordsOfPieces(expanded, "party", expanded.size(), expandedPieces, {"", true}).size(), 2u);
  // A document type's external subset reads as empty (Xerces-C lost an entity for it each time), in
  // EBCDIC too.
  const std::string withSubset = with("<order", "<!DOCTYPE order SYSTEM 'order.dtd'>\n<order");
  const std::string ebcdic = inCodePage(std::string(withSubset).replace(withSubset.find("UTF-8"), 5, "IBM500"), "ibm-500");
  for (const std::string& document : {withSubset, ebcdic}) {
    int pieces = 0;
    EXPECT_EQ(recordsOfPieces(document, "party", document.size(), pieces, {"", true}), (std::vector<std::string>{kParty1, kParty2}));
  }
  // A problem after the blanked id on its line keeps its place (in UTF-16 units, as the scanner counts).
  std::string wideId = with("<order", "<!DOCTYPE order SYSTEM '\u00E9\U0001D11E.dtd'><order bad='1'");
  const auto rootTag = wideId.begin() + static_cast<long>(wideId.find("<order"));
  std::replace(rootTag, std::find(rootTag, wideId.end(), '>'), '\n', ' ');
  int pieces = 0;
  const std::vector<wfxml::ValidationError> problems = typedMessageSet().validate(wideId.data(), wideId.size());
  const std::vector<wfxml::ValidationError> raised =
      errorOf([&] { recordsOfPieces(wideId, "party", wideId.size(), pieces, {"", true}); }).validationErrors();
  ASSERT_FALSE(problems.empty() || raised.empty());
  EXPECT_EQ(std::pair(raised[0].line, raised[0].column), std::pair(problems[0].line, problems[0].column));
  EXPECT_EQ(std::to_string(problems[0].line) + ":" + std::to_string(problems[0].column), "2:192") << problems[0].message;
  // So are records from bytes or a file: an order of many pieces that misses its later members
  // gives its first pieces' parties before the problem (it was checked whole before any record).
  const ScratchFolder folder;
  std::size_t records = 0;
  EXPECT_EQ(errorOf([&] {
    wfxml::Session(typedMessageSet()).toJsonRecordsFromFile(folder.write("many.xml", parties(20000, "\n") + "</order>"),
                                                     "party", [&](std::string_view) { ++records; }, {"", true});
  }).key(), "CP_NOT_SCHEMA_VALID");
  EXPECT_GT(records, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    InLaterPieces, PieceFaults,
    testing::Values(
        PieceFault{"OnAPiecesFirstLine", parties(3, "") + "<party><name>x</nam></party></order>"},
        PieceFault{"AtTheEndOfInput", parties(3, "\n") + "<party>"},
        PieceFault{"FarIn", parties(200, "\n") + "<party><name>x</nam></party></order>"},
        PieceFault{"AfterCrLf", parties(3, "\r\n") + "<party><name>x</nam></party></order>"},
        PieceFault{"AfterCr", parties(3, "\r") + "<party><name>x</nam></party></order>"},
        PieceFault{"AValueAfterCharactersOfSeveralBytes",
                   parties(2, "\n") + "<party><name>\u00e9\u20ac\U0001D11E</name></party><line><qty>x</qty></line>"},
        PieceFault{"InLatin1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" + parties(2, "\n") +
                                   "<party><name>\xE9\xE9</name></party><party><name>x</nam></party></order>"},
        PieceFault{"AfterAHeadOfSeveralLines",
                   kCuttable.substr(0, kCuttable.find("<vat>")) + "<vat>x</vt>" + kCuttable.substr(kCuttable.find("</t:party"))}),
    [](const testing::TestParamInfo<PieceFault>& info) { return std::string(info.param.name); });

}  // namespace

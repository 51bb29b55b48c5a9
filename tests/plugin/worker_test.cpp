// The parse driver: calling order, failure state, scanner set-up and errors.
#include "parsetestsupport.h"
#include "xmlmemorymanager.h"
#include "host/test_support.h"

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLExceptMsgs.hpp>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace parsetest;

namespace {
const std::string kSmallDocument = "<a><b>hi</b></a>";
const std::vector<std::string> kSmallDocumentEvents = {
    "startMessage({})",
    "startEmbeddedMessage()",
    R"(startMessageContent("a", "", 5, -, -1))",
    R"(startElement("b", "", 0, -, -1, -1))",
    R"(data(String:"hi", -, -1, -1))",
    R"(endElement("b", "", -))",
    R"(endMessageContent("a", "", -))",
    "endMessage(-)"};

BitstreamBuffer bufferOf(const std::string& text) {
  return BitstreamBuffer(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// ---------------------------------------------------------------------------
// Calling order

struct OrderCase {
  const char* label;
  std::function<void(XMLWorker&)> call;
};

class BeforeInitializeParseTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(BeforeInitializeParseTest, RaisesInitializeParseNotCalled) {
  const ZelNamedLogSource owner("test");
  XMLWorker worker(&owner);
  const ZelParserException e = expectParserException([&] { GetParam().call(worker); }, ZelMessages::CP_INTERNAL_ERROR);
  ASSERT_EQ(e.getInserts().size(), 1u);
  EXPECT_EQ(e.insertText(0), "XML Worker initializeParse not called.");
}

const BitstreamBuffer kEmptyBuffer;

INSTANTIATE_TEST_SUITE_P(
    Operations, BeforeInitializeParseTest,
    ::testing::Values(OrderCase{"setFIHandler", [](XMLWorker& w) { w.setFIHandler(nullptr); }},
                      OrderCase{"parse", [](XMLWorker& w) { w.parse(&kEmptyBuffer, nullptr, 0, 0); }},
                      OrderCase{"parseFirst", [](XMLWorker& w) { w.parseFirst(&kEmptyBuffer, nullptr, false, 0, -1); }},
                      OrderCase{"parseNext", [](XMLWorker& w) { w.parseNext(); }},
                      OrderCase{"hasNext", [](XMLWorker& w) { w.hasNext(); }}),
    [](const auto& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------
// Scanning

// parse() and parseFirst() (whose end of message is unknown) both scan the
// whole document; parseNext() has nothing left.
TEST(WorkerTest, ParseAndParseFirstScanToTheEnd) {
  const BitstreamBuffer buffer = bufferOf(kSmallDocument);
  ParseRun whole;
  EXPECT_EQ(whole.worker().parse(&buffer, nullptr, 0, 0), 0);
  EXPECT_EQ(whole.events.lines(), kSmallDocumentEvents);

  ParseRun stepped;
  stepped.worker().parseFirst(&buffer, nullptr, false, 0, -1);
  EXPECT_EQ(stepped.worker().getEndOfMessageOffset(), -1);
  EXPECT_EQ(stepped.worker().getNumBytesParsed(), -1);
  EXPECT_EQ(stepped.events.lines(), kSmallDocumentEvents);
  for (ParseRun* run : {&whole, &stepped}) EXPECT_FALSE(run->worker().hasNext());
}

TEST(WorkerTest, ANewParseAfterAnAbandonedOneStartsClean) {
  ParseRun run;
  const std::string first = "<x><y>1</y><y>2</y></x>";
  const BitstreamBuffer buffer = bufferOf(first);
  run.worker().parseFirst(&buffer, nullptr, false, 0, -1);
  run.worker().parseNext();
  ASSERT_TRUE(run.worker().hasNext());
  EXPECT_EQ(run.parse(kSmallDocument), kSmallDocumentEvents);
}

// The worker keeps its input source and the scanner's name for the encoding
// from document to document: each change of code page, byte order or mark
// must still reach the scanner. The low four bits of the encoding property
// give the byte order of unmarked UTF-16 (2: little-endian).
TEST(WorkerTest, OneWorkerReadsEachDocumentInItsOwnEncoding) {
  const std::string& document = kSmallDocument;
  auto utf16 = [&](bool littleEndian, bool mark) {
    std::string bytes = mark ? (littleEndian ? "\xFF\xFE" : "\xFE\xFF") : "";
    for (const char c : document) bytes += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    return bytes;
  };
  struct Step {
    const char* ccsid;
    const char* encoding;
    std::string bytes;
  };
  const Step steps[] = {
      {"1208", "273", document},
      {"1200", "546", utf16(true, false)},
      {"1200", "273", utf16(false, false)},
      {"1200", "785", utf16(false, false)},
      {"1200", "546", utf16(true, true)},
      {"500", "273", "\x4C\x81\x6E\x4C\x82\x6E\x88\x89\x4C\x61\x82\x6E\x4C\x61\x81\x6E"},
      {"1208", "273", "\xEF\xBB\xBF" + document},
      {"1208", "273", document},
  };
  ParseRun run;
  for (const Step& step : steps) {
    run.setProperty(MI_CCSID_STR, step.ccsid);
    run.setProperty(MI_ENCODING_STR, step.encoding);
    run.worker();
    run.initialize();
    EXPECT_EQ(run.parse(step.bytes), kSmallDocumentEvents) << "ccsid " << step.ccsid << ", encoding " << step.encoding;
  }
}

// ---------------------------------------------------------------------------
// Errors

struct MalformedCase {
  const char* label;
  const char* text;
  long code;
  long line;
  long column;
};

class MalformedDocumentTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedDocumentTest, ReportsTheScannerErrorAndFails) {
  ParseRun run;
  const ZelParserException e =
      expectParserException([&] { run.parse(GetParam().text); }, ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION);
  ASSERT_EQ(e.getInserts().size(), 8u) << e.what();
  EXPECT_EQ(e.insertText(0), "XMLHandler::error reported from the Xerces parser");
  EXPECT_EQ(e.getInserts()[1].number, GetParam().code);
  EXPECT_EQ(e.insertText(2), "");
  EXPECT_EQ(e.getInserts()[3].number, GetParam().line);
  EXPECT_EQ(e.getInserts()[4].number, GetParam().column);
  EXPECT_FALSE(e.insertText(5).empty());

  EXPECT_FALSE(run.worker().hasNext());
  const auto eventsSoFar = run.events.lines();
  EXPECT_EQ(run.worker().parseNext(), 0);
  EXPECT_EQ(run.events.lines(), eventsSoFar) << "a failed worker must not scan again";
}

INSTANTIATE_TEST_SUITE_P(Documents, MalformedDocumentTest,
                         ::testing::Values(MalformedCase{"UnclosedOnThirdLine", "<a>\n<b>\n</b>", 246, 3, 5},
                                           MalformedCase{"Empty", "", 165, 1, 1},
                                           // The reader decodes ahead, so the error is placed where
                                           // decoding started.
                                           MalformedCase{"BadUtf8",
                                                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>x\xC3(y</a>",
                                                         xercesc::XMLExcepts::UTF8_FormatError, 1, 39}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(WorkerTest, ScannerExceptionsBecomeParserExceptionsWithNineInserts) {
  ParseRun run;
  run.setProperty(MI_CCSID_STR, "99999");  // no converter: the scanner throws from scanFirst
  const ZelParserException e =
      expectParserException([&] { run.parse("<a/>"); }, ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION);
  ASSERT_EQ(e.getInserts().size(), 9u) << e.what();
  EXPECT_EQ(e.insertText(0), "An error has been reported by the XERCES component during scanFirst");
  EXPECT_TRUE(e.getInserts()[1].isNumber);
  EXPECT_GT(e.getInserts()[1].number, 0);
  EXPECT_EQ(e.insertText(2), "");
  EXPECT_TRUE(e.getInserts()[4].isNumber);
  EXPECT_EQ(e.insertText(5), "?");
  EXPECT_NE(e.insertText(6).find("99999"), std::string::npos) << "the scanner's message names the encoding";

  EXPECT_FALSE(run.worker().hasNext());
  EXPECT_EQ(run.worker().parseNext(), 0);
  const ZelParserException again = expectParserException([&] { run.parse("<a/>"); }, ZelMessages::CP_INTERNAL_ERROR);
  EXPECT_EQ(again.insertText(0), "XML Worker has encountered an exception in a previous call.");
}

// ---------------------------------------------------------------------------
// Memory manager

// tests/data/memory-manager.txt: the properties and the manager they choose.
class MemoryManagerPropertyTest : public ::testing::TestWithParam<DataCase> {
protected:
  void TearDown() override {
    ZelLog::setSink({});
    iEffectiveLogFilter = 0;
  }
};

TEST_P(MemoryManagerPropertyTest, ChoosesTheManager) {
  const DataCase& c = GetParam();
  std::vector<std::string> lines;
  ZelLog::setSink([&lines](std::string_view line) { lines.emplace_back(line); });
  iEffectiveLogFilter = 3;
  ParseRun run;
  if (c.fields.count("pool")) run.setProperty(ZelXmlMemoryManager::getMemoryManagerPoolSize().c_str(), c["pool"].c_str());
  if (c.fields.count("chunk"))
    run.setProperty(ZelXmlMemoryManager::getMemoryManagerChunkSize0().c_str(), c["chunk"].c_str());

  const bool pooled = dynamic_cast<ZelXmlMemoryManager*>(run.worker().getMemoryManager()) != nullptr;
  EXPECT_EQ(pooled, c["pooled"] == "yes");
  if (!pooled) {
    EXPECT_EQ(run.worker().getMemoryManager(), xercesc::XMLPlatformUtils::fgMemoryManager);
  }
  bool traced = false;
  for (const auto& line : lines) traced |= line.find("Invalid memory manager parameters") != std::string::npos;
  EXPECT_EQ(traced, c["invalid"] == "yes");

  EXPECT_EQ(run.parse(kSmallDocument), kSmallDocumentEvents);
}

INSTANTIATE_TEST_SUITE_P(Properties, MemoryManagerPropertyTest, ::testing::ValuesIn(dataCases("memory-manager.txt")),
                         [](const auto& info) { return info.param.label; });

// Xerces-C loses the content model it has built when a malformed element
// declaration ends the scan. A pooled manager, the worker's own, takes it back
// when the worker goes, whatever its chunk sizes; the leak checker of the
// sanitizer build fails these cases otherwise. (Without a pool size the
// process-wide manager serves, and the loss is the scanner's.)
struct LostMemoryCase {
  const char* label;
  std::vector<std::pair<const char16_t*, const char*>> properties;
};

void PrintTo(const LostMemoryCase& c, std::ostream* out) { *out << c.label; }

class ScannerLostMemoryTest
    : public ::testing::TestWithParam<std::tuple<const char*, LostMemoryCase>> {};

TEST_P(ScannerLostMemoryTest, IsTakenBackWithTheWorker) {
  ParseRun run;
  for (const auto& [name, value] : std::get<1>(GetParam()).properties) run.setProperty(name, value);
  expectParserException([&] { run.parse(std::get<0>(GetParam())); }, ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION);
}

INSTANTIATE_TEST_SUITE_P(
    Declarations, ScannerLostMemoryTest,
    ::testing::Combine(
        ::testing::Values("<!DOCTYPE doc [<!ELEMENT doc ((#PCDATA))>]><doc></doc>",
                          "<!DOCTYPE doc [<!ELEMENT doc (a, (b, c), (d, (e, f) | g))?>]><doc></doc>"),
        ::testing::Values(LostMemoryCase{"Pooled", {{ZelXmlMemoryManager::getMemoryManagerPoolSize().c_str(), "4096"}}},
                          // Every request is larger than a chunk.
                          LostMemoryCase{"PooledTinyChunks",
                                         {{ZelXmlMemoryManager::getMemoryManagerPoolSize().c_str(), "4096"},
                                          {ZelXmlMemoryManager::getMemoryManagerChunkSize0().c_str(), "1"},
                                          {ZelXmlMemoryManager::getMemoryManagerChunkSize1().c_str(), "2"},
                                          {ZelXmlMemoryManager::getMemoryManagerChunkSize2().c_str(), "3"}}})),
    [](const auto& info) {
      const bool pcdata = std::string(std::get<0>(info.param)).find("#PCDATA") != std::string::npos;
      return std::string(std::get<1>(info.param).label) + (pcdata ? "ParenthesisedPcdata" : "NestedGroups");
    });
}  // namespace

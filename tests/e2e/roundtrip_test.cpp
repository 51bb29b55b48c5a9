// Parse, write, parse again: the second tree equals the first, for every
// example and test document, in every output code page. The plug-in is
// loaded by name, as a host loads it; dictionaries are compiled from the
// message-set sources that sit beside the documents.
#include "treeroundtrip.h"

#include "e2esupport.h"

#include "messagesetjson.h"
#include "zelexception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A document and what it needs to be read.
struct Document {
  std::string path;
  std::string dictionary;  // message-set source; empty = self-defining
  std::map<std::string, long> properties;
  bool rejected;  // the parser must refuse it: nothing to round-trip
};

// The message set of a folder is the source named after it
// (inventory/inventory.json); the purchase-order test documents (po-*.xml)
// follow the purchase-order example's.
std::string messageSetOf(const fs::path& document) {
  const fs::path source = document.parent_path() / (document.parent_path().filename().string() + ".json");
  if (fs::exists(source)) return source.string();
  if (document.filename().string().rfind("po-", 0) == 0)
    return (fs::path(WF_EXAMPLES_DIR) / "purchase-order" / "purchase-order.json").string();
  return {};
}

// Documents without byte-order mark in an encoding the scanner cannot
// detect say so in their names.
std::map<std::string, long> propertiesOf(const std::string& name) {
  if (name.rfind("ebcdic500", 0) == 0) return {{"ccsid", 500}};
  if (name == "utf16le.xml") return {{"ccsid", 1200}, {"encoding", 546}};
  if (name == "utf16be.xml") return {{"ccsid", 1200}, {"encoding", 785}};
  return {};
}

// Not well-formed (or empty, or in an encoding other than it declares), or a
// value its message set cannot take.
bool isRejected(const std::string& name) {
  return name == "malformed.xml" || name == "po-bad-quantity.xml" || name == "empty.xml" ||
         name == "utf16le-bom-declares-utf8.xml";
}

std::vector<Document> allDocuments() {
  std::vector<Document> documents;
  for (const char* root : {WF_EXAMPLES_DIR, WF_TEST_DATA_DIR}) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file() || entry.path().extension() != ".xml") continue;
      // The parse traces' documents pin a parse's events, comments before the
      // root included, which a written document places elsewhere.
      if (entry.path().parent_path().filename() == "traces") continue;
      const std::string name = entry.path().filename().string();
      documents.push_back({entry.path().string(), messageSetOf(entry.path()), propertiesOf(name), isRejected(name)});
    }
  }
  std::sort(documents.begin(), documents.end(), [](const Document& a, const Document& b) { return a.path < b.path; });
  return documents;
}

struct CodePage {
  const char* name;
  long ccsid;
  long encoding;  // -1: not set
};

const CodePage kCodePages[] = {
    {"Utf8", 1208, -1}, {"Utf16LeBom", 1200, 546}, {"Utf16BeBom", 1200, 785}, {"Ebcdic500", 500, -1}};

std::vector<std::uint8_t> write(const MessageTree& tree, const DictionaryInfo* descriptor, const CodePage& codePage) {
  std::map<std::string, long> values{{"ccsid", codePage.ccsid}};
  if (codePage.encoding >= 0) values["encoding"] = codePage.encoding;
  return writeTree(tree, descriptor, propertiesFrom(values));
}

// The element name of the message set's root wrapper; empty when none.
std::string wrapperOf(const std::string& messageSetSource) {
  if (messageSetSource.empty()) return {};
  const std::string rootTagName = readMessageSetJsonFile(messageSetSource).xml.rootTagName;
  return rootTagName.substr(0, rootTagName.find(' '));
}

void PrintTo(const Document& document, std::ostream* os) { *os << document.path; }
void PrintTo(const CodePage& codePage, std::ostream* os) { *os << codePage.name; }

class RoundTrip : public testing::TestWithParam<std::tuple<Document, CodePage>> {};

}  // namespace

TEST_P(RoundTrip, SecondParseGivesTheSameTree) {
  const auto& [document, codePage] = GetParam();
  const DictionaryInfo* descriptor = LoadedPlugin::instance().descriptor(document.dictionary);
  MessageTree first;
  if (document.rejected) {
    EXPECT_THROW(parseTree(readBytes(document.path), descriptor, propertiesFrom(document.properties), first),
                 ZelException);
    return;
  }
  parseTree(readBytes(document.path), descriptor, propertiesFrom(document.properties), first);
  const std::vector<std::uint8_t> written = write(first, descriptor, codePage);
  MessageTree second;
  parseTree(written, descriptor,
            propertiesFrom(codePage.ccsid == 500 ? std::map<std::string, long>{{"ccsid", 500}}
                                                 : std::map<std::string, long>{}),
            second);
  // The message set's root wrapper is written around the message, and a
  // parser that knows it keeps it out of the tree.
  const std::string wrapper = wrapperOf(document.dictionary);
  if (!wrapper.empty()) {
    for (const MessageTree* tree : {&first, &second}) ASSERT_NE(tree->getRoot()->getName().toUtf8(), wrapper);
  }
  EXPECT_EQ(comparableJson(second), comparableJson(first)) << std::string(written.begin(), written.end());
}

INSTANTIATE_TEST_SUITE_P(Documents, RoundTrip,
                         testing::Combine(testing::ValuesIn(allDocuments()), testing::ValuesIn(kCodePages)),
                         [](const testing::TestParamInfo<RoundTrip::ParamType>& info) {
                           const fs::path path = std::get<0>(info.param).path;
                           return testNameOf(path.parent_path().filename().string() + "_" + path.stem().string() +
                                             "_" + std::get<1>(info.param).name);
                         });

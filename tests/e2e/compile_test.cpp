// wfhost compile and wfhost dump: the example message-set sources, XML
// Schema documents (the messages chosen, warnings) and the real payment
// schemas. (Sources that do not compile are wfhost-runs.txt cases.)
#include "e2esupport.h"
#include "messagesetjson.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class ExampleDictionary : public ::testing::TestWithParam<const char*> {};

TEST_P(ExampleDictionary, CompilesAndDumpsEveryElementAndMember) {
  const std::string source = std::string(WF_EXAMPLES_DIR) + "/" + GetParam();
  const ScratchFolder scratch;
  const CommandResult compiled = runWfhost({"compile", source, "-o", scratch.file("set.dict")});
  ASSERT_EQ(compiled.status, 0) << compiled.err;
  EXPECT_EQ(compiled.out, "");
  const CommandResult dump = runWfhost({"dump", scratch.file("set.dict")});
  ASSERT_EQ(dump.status, 0) << dump.err;

  const msgset::MessageSet set = readMessageSetJsonFile(source);
  std::vector<std::string> names;
  for (const msgset::ElementDef& element : set.elements) names.push_back(element.name);
  for (const msgset::TypeDef& type : set.types) {
    for (const msgset::MemberDef& member : type.members) {
      const std::string& name =
          member.form == msgset::MemberDef::Form::ElementRef ? set.elements[member.element].name : member.name;
      if (!name.empty()) names.push_back(name);
    }
  }
  for (const std::string& name : names) EXPECT_NE(dump.out.find("name=\"" + name + "\""), std::string::npos) << name;
  // The element-name index lists every global element.
  const std::size_t index = dump.out.find("\nxmlElementNameToTagIndex\n");
  ASSERT_NE(index, std::string::npos) << dump.out;
  for (const msgset::ElementDef& element : set.elements)
    EXPECT_NE(dump.out.find("tagName = " + element.xml.xmlName.value_or(element.name) + "\n", index),
              std::string::npos)
        << element.name;
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleDictionary,
                         ::testing::Values("purchase-order/purchase-order.json", "inventory/inventory.json"),
                         [](const auto& info) { return testNameOf(fs::path(info.param).stem().string()); });

// The names listed in the dump's message table.
std::vector<std::string> messagesOf(const std::string& dump) {
  std::vector<std::string> names;
  bool inTable = false;
  for (const std::string& line : linesOf(dump)) {
    if (line.rfind("Table ", 0) == 0) inTable = line.find("SMD_MESSAGE_DEFINITION") != std::string::npos;
    const std::size_t name = line.find("name=\"");
    if (!inTable || name == std::string::npos) continue;
    names.push_back(line.substr(name + 6, line.find('"', name + 6) - name - 6));
  }
  return names;
}

class CompileSchema : public ::testing::Test {
protected:
  CommandResult compile(std::vector<std::string> args) {
    args.insert(args.begin(), "compile");
    args.insert(args.end(), {"-o", scratch_.file("t.dict")});
    return runWfhost(args);
  }
  std::string dump() { return runWfhost({"dump", scratch_.file("t.dict")}).out; }
  static std::string schema(const std::string& name) { return testData("xsd/" + name); }

  const ScratchFolder scratch_;
};

TEST_F(CompileSchema, MessagesAreTheUnreferencedElementsUnlessNamed) {
  const CommandResult result = compile({schema("features.xsd")});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(linesOf(result.err).size(), 1u) << result.err;  // the facets of one type
  const std::string text = dump();
  EXPECT_EQ(messagesOf(text), (std::vector<std::string>{"order", "envelope"}));
  EXPECT_NE(text.find("name=\"urn:test:features\""), std::string::npos);

  ASSERT_EQ(compile({schema("features.xsd"), "--messages", "party,price"}).status, 0);
  EXPECT_EQ(messagesOf(dump()), (std::vector<std::string>{"party", "price"}));
}

TEST_F(CompileSchema, PartlyMappedConstructsWarnOnStderrAndStillCompile) {
  const CommandResult result = compile({schema("partial.xsd")});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> warnings = linesOf(result.err);
  ASSERT_EQ(warnings.size(), 2u) << result.err;
  for (const std::string& warning : warnings) {
    EXPECT_EQ(warning.rfind("warning: ", 0), 0u) << warning;
    EXPECT_NE(warning.find("partial.xsd: line "), std::string::npos) << warning;
  }
}

// Documents are named as a user in their folder names them, also those that
// Xerces-C reads by an absolute name (the ones a schema imports).
TEST_F(CompileSchema, AnErrorNamesTheDocumentsRelativeToTheWorkingFolder) {
  const CommandResult result =
      runCommand("sh", {"-c", "cd \"$1\" && exec \"$0\" compile missing-import.xsd -o \"$2\"", WF_WFHOST,
                        testData("xsd"), scratch_.file("t.dict")});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "wfhost: missing-import.xsd:4:41: the schema document gone/types.xsd (imported for namespace urn:test:gone "
            "by missing-import.xsd) cannot be read (no such file), and without it: namespace 'urn:test:gone' is "
            "referenced without import declaration at element 'a' (CP_DICTIONARY_SOURCE_ERROR)\n");
}

// How documents refer to each other must not change what validation
// reads: a file referred to by its path and by a URL the catalog maps to it
// is one document, and a copy of it imported again is not read (read twice,
// their components were declared twice); an import by absolute path or
// file: URL finds the kept document (made relative, it was not found); an
// import by a URL no catalog maps, of a namespace read before, is skipped
// (it stopped the compile: Spring's schemas import each other so).
TEST_F(CompileSchema, ValidationReadsTheDocumentsAsTheyReferToEachOther) {
  const std::string typesAt = scratch_.write(
      "types.xsd",
      "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema' targetNamespace='urn:test:common' "
      "elementFormDefault='qualified'><xs:element name='note' type='xs:int'/></xs:schema>");
  const auto mainImporting = [&](const std::string& name, const std::string& location) {
    return scratch_.write(name,
                          "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema' xmlns:c='urn:test:common' "
                          "targetNamespace='urn:test:twice' elementFormDefault='qualified'><xs:import "
                          "namespace='urn:test:common' schemaLocation='" + location + "'/><xs:element name='batch'>"
                          "<xs:complexType><xs:sequence><xs:element ref='c:note'/></xs:sequence></xs:complexType>"
                          "</xs:element></xs:schema>");
  };
  std::ifstream common(schema("common.xsd"));
  scratch_.write("common-copy.xsd", std::string(std::istreambuf_iterator<char>(common), {}));
  const std::string copyCatalog = scratch_.write(
      "copy-catalog.xml", "<catalog xmlns='urn:oasis:names:tc:entity:xmlns:xml:catalog'><uri "
                          "name='http://schemas.example.invalid/common/common.xsd' uri='common-copy.xsd'/></catalog>");
  const std::string open = "<t:batch xmlns:t='urn:test:twice' xmlns:m='urn:test:main' xmlns:c='urn:test:common'>";
  const struct {
    std::string label;
    std::vector<std::string> compileArgs;
    std::string content;
  } rows[] = {
      {"path and mapped URL", {schema("remote-twice.xsd"), "--catalog", schema("catalog.xml")},
       "<m:invoice><m:total>1.5</m:total></m:invoice><c:note>n</c:note>"},
      {"a copy by mapped URL", {schema("remote-twice.xsd"), "--catalog", copyCatalog},
       "<m:invoice><m:total>1.5</m:total></m:invoice><c:note>n</c:note>"},
      {"absolute path", {mainImporting("by-path.xsd", typesAt)}, "<c:note>1</c:note>"},
      {"file URL", {mainImporting("by-url.xsd", "file://" + typesAt)}, "<c:note>1</c:note>"},
      {"unmapped URL of a named namespace",
       {mainImporting("by-http.xsd", "http://schemas.example.invalid/common/types.xsd"), typesAt},
       "<c:note>1</c:note>"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    const CommandResult compiled = compile(row.compileArgs);
    ASSERT_EQ(compiled.status, 0) << compiled.err;
    const std::string dictionary = scratch_.file("t.dict");
    const CommandResult valid =
        runWfhost({"validate", "--dict", dictionary, scratch_.write("ok.xml", open + row.content + "</t:batch>")});
    EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
    std::vector<std::string> inProcess = {"validate"};  // --catalog too, where the row has one
    for (const std::string& arg : row.compileArgs) {
      if (arg.size() > 4 && arg.compare(arg.size() - 4, 4, ".xsd") == 0) inProcess.push_back("--schema");
      inProcess.push_back(arg);
    }
    inProcess.push_back(scratch_.file("ok.xml"));
    const CommandResult validInProcess = runWfhost(inProcess);
    EXPECT_EQ(validInProcess.status, 0) << validInProcess.out << validInProcess.err;
    const CommandResult invalid = runWfhost(
        {"validate", "--dict", dictionary, scratch_.write("bad.xml", open + row.content + "<c:note>x</c:note></t:batch>")});
    EXPECT_EQ(invalid.status, 1) << invalid.out << invalid.err;
  }
}

// Every schema of the payment corpus compiles, also the one without a
// sample message (the corpus tests compile the others).
TEST_F(CompileSchema, EveryPaymentSchemaCompiles) {
  const fs::path corpus = fs::path(WF_CORPORA_DIR) / "iso20022-sepa";
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "the payment-message corpus is not at " << corpus;
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(corpus / "schemas")) {
    if (entry.path().extension() != ".xsd") continue;
    ++count;
    const CommandResult compiled = compile({entry.path().string()});
    EXPECT_EQ(compiled.status, 0) << entry.path() << ": " << compiled.err;
  }
  EXPECT_EQ(count, 7u);
}

}  // namespace

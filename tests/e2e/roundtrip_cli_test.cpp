// wfhost write as a user runs it: golden output, embedded messages with
// their own dictionary, code pages. (The roundtrip command's output is
// checked by the schema feature tests, xmllint included.)
#include "e2esupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Compiles a message-set source into folder; returns the dictionary's path.
std::string compile(const std::string& source, const ScratchFolder& folder, const std::string& name) {
  const std::string dictionary = folder.file(name);
  const CommandResult result = runWfhost({"compile", source, "-o", dictionary});
  EXPECT_EQ(result.status, 0) << result.err;
  return dictionary;
}

}  // namespace

TEST(WfhostWrite, TreeWithoutDictionaryGivesTheGoldenDocument) {
  const CommandResult result = runWfhost({"write", testData("write/order-tree.json"), "-o", "-"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, readFileText(testData("write/order-tree.xml")) + "\n");  // text on stdout ends its line
}

TEST(WfhostWrite, EmbeddedMessageIsWrittenWithTheDictionaryItNames) {
  ScratchFolder folder;
  const std::string outer = compile(testData("write/outer.json"), folder, "outer.dict");
  compile(testData("write/inner.json"), folder, "inner.dict");
  // The tree names inner.dict, which is found beside the tree.
  fs::copy_file(testData("write/embedded-tree.json"), folder.file("tree.json"));
  const CommandResult result =
      runWfhost({"write", "--dict", outer, folder.file("tree.json"), "-o", folder.file("out.xml")});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(
      readFileText(folder.file("out.xml")),
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><envelope><urgent>Y</urgent><n:note xmlns:n=\"urn:example:note\">"
      "<n:urgent>true</n:urgent><n:text>call back</n:text></n:note><urgent>N</urgent></envelope>");
}

// Code page 500 by property: wfhost-options.txt.
TEST(WfhostWrite, PropertiesChooseCodePageByteOrderAndSubtree) {
  const std::string tree = testData("write/order-tree.json");
  const CommandResult utf16 = runWfhost({"write", tree, "-o", "-", "--prop", "ccsid=1200", "--prop", "encoding=546"});
  ASSERT_EQ(utf16.status, 0) << utf16.err;
  EXPECT_EQ(utf16.out.substr(0, 6), std::string("\xFF\xFE<\0?\0", 6));
  const CommandResult subtree = runWfhost({"write", tree, "-o", "-", "--prop", "subTreeBitStream=1"});
  ASSERT_EQ(subtree.status, 0) << subtree.err;
  // Only the message's bytes: no line break after them on stdout either.
  EXPECT_TRUE(subtree.out.rfind("<order id=", 0) == 0 && subtree.out.back() == '>') << subtree.out;
}

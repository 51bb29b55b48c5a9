// A worker writes one message after another and keeps its text writer, its
// converter and its definition cache from write to write: nothing kept may
// ever show in the output, whatever code page each write asks for and
// whether the write before it failed half-way.
#include "writetestsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace writetest;

namespace {

// msg > e (string), without declaration-dependent or time-dependent parts
// other than the encoding name.
constexpr char kMessageSet[] = "sets/write/reuse.json";

// Latin-1 letters, an escaped character and one that code page 500 lacks
// (written there as a character reference), several times over.
void buildMessage(MessageTree& tree, const XMLDictionaryInfo& descriptor, std::u16string_view value) {
  TreeMaker make(tree, &descriptor);
  TreeElement& msg = make.tag(nullptr, u"msg");
  for (int i = 0; i < 3; ++i) make.member(msg, u"e", str(value));
}

struct OutputPage {
  long ccsid;
  long encoding;  // byte order: low four bits 2 little-endian
};

// The output properties of each write of one worker, in turn.
const std::vector<OutputPage> kPageSequence = {{1208, 273}, {500, 273}, {1200, 546}, {1200, 273},
                                               {500, 273},  {1208, 273}};

class ReusedWriter : public ::testing::Test {
protected:
  void SetUp() override {
    descriptor = compileDescriptorFile(kMessageSet);
    buildMessage(tree, *descriptor, u"M\u00fcller & S\u00f6hne \u20ac");
    worker.setWireFormatDescriptor(descriptor.get());
    worker.initializeWrite(&properties, nullptr, nullptr, nullptr);
  }
  std::vector<std::uint8_t> write(const MessageTree& message, const OutputPage& page,
                                  const XMLDictionaryInfo* with = nullptr) {
    if (with) worker.setWireFormatDescriptor(with);
    properties.setIntegerProperty(ZelWstring(MI_CCSID_STR), page.ccsid);
    properties.setIntegerProperty(ZelWstring(MI_ENCODING_STR), page.encoding);
    worker.setFIMessageTree(&message);
    WritableBitstreamBuffer out;
    worker.write(&out, nullptr, 0);
    return out.bytes();
  }
  std::vector<std::uint8_t> freshWrite(const OutputPage& page, const MessageTree* message = nullptr,
                                       const XMLDictionaryInfo* with = nullptr) {
    WritableBitstreamBuffer out;
    return WriteRun(with ? with : descriptor.get())
        .prop(MI_CCSID_STR, page.ccsid)
        .prop(MI_ENCODING_STR, page.encoding)
        .bytes(message ? *message : tree, out);
  }

  DescriptorPtr descriptor;
  MessageTree tree;
  ZelNamedLogSource owner{"test"};
  XMLWorker worker{&owner};
  MessageInfo properties;
};

// Each write, also the one after a failed write (whose failing value comes
// after text still pending in the text writer), equals a fresh worker's.
TEST_F(ReusedWriter, EachWriteEqualsAFreshWorkersAcrossCodePagesAndAfterAFailure) {
  MessageTree broken;
  buildMessage(broken, *descriptor, u"lone \xD800 surrogate");
  for (const OutputPage& page : kPageSequence) {
    SCOPED_TRACE("ccsid " + std::to_string(page.ccsid) + ", encoding " + std::to_string(page.encoding));
    EXPECT_EQ(write(tree, page), freshWrite(page));
    EXPECT_THROW(write(broken, page), ZelException);
    EXPECT_EQ(write(tree, page), freshWrite(page));
  }
}

// Two descriptors with their one member in the same row, under another
// name, render and namespace: a definition or prefix kept from the other
// write would show.
TEST_F(ReusedWriter, EachWriteFollowsItsOwnDescriptor) {
  DescriptorPtr descriptors[2];
  MessageTree trees[2];
  const char* const names[2][2] = {{"a", "attribute"}, {"e", "element"}};
  for (int i = 0; i < 2; ++i) {
    descriptors[i] = compileDescriptor(
        dataText("sets/write/one-member.json", {{"@NAME@", names[i][0]}, {"@RENDER@", names[i][1]},
                                                {"@NAMESPACE@", i ? R"("namespace": "urn:n", )" : ""}}));
    TreeMaker make(trees[i], descriptors[i].get());
    make.member(make.tag(nullptr, u"msg"), ZelWstring::fromUtf8(names[i][0]).view(), str(u"x"));
  }
  ASSERT_NE(freshWrite(kPageSequence[0], &trees[0], descriptors[0].get()),
            freshWrite(kPageSequence[0], &trees[1], descriptors[1].get()));
  for (const int i : {0, 1, 0, 1})
    EXPECT_EQ(write(trees[i], kPageSequence[0], descriptors[i].get()),
              freshWrite(kPageSequence[0], &trees[i], descriptors[i].get()));
}

}  // namespace

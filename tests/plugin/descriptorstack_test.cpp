// The worker's descriptor stack on the parse side.
#include "parsetestsupport.h"
#include "stddictionaryinfo.h"
#include "xmltestdictionary.h"

#include <xercesc/internal/XMLScanner.hpp>

#include <gtest/gtest.h>

namespace {
XMLDictionaryPtr makeDescriptor(std::int32_t formatVersion, bool namespacesEnabled) {
  XMLTestDictionary source;
  source.formatVersion = formatVersion;
  source.namespacesEnabled = namespacesEnabled;
  return source.build();
}

struct NamespaceCase {
  const char* label;
  std::int32_t formatVersion;
  bool namespacesEnabled;
  bool expected;
};

void PrintTo(const NamespaceCase& c, std::ostream* out) { *out << c.label; }

class NamespaceSettingTest : public ::testing::TestWithParam<NamespaceCase> {};

TEST_P(NamespaceSettingTest, ScannerAndHandlerFollowTheDescriptor) {
  const XMLDictionaryPtr descriptor = makeDescriptor(GetParam().formatVersion, GetParam().namespacesEnabled);
  for (const bool pushFirst : {true, false}) {
    SCOPED_TRACE(pushFirst ? "descriptor before initializeParse" : "descriptor after initializeParse");
    parsetest::ParseRun run(pushFirst ? descriptor.get() : nullptr);
    if (!pushFirst) run.worker().setWireFormatDescriptor(descriptor.get());
    const XMLHandler* handler = run.worker().getHandler();
    EXPECT_EQ(handler->getXMLWireFormatDescriptor(), descriptor.get());
    EXPECT_EQ(handler->isNamespacesEnabled(), GetParam().expected);
    EXPECT_EQ(handler->getScanner()->getDoNamespaces(), GetParam().expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, NamespaceSettingTest,
                         ::testing::Values(NamespaceCase{"Enabled", 4, true, true},
                                           NamespaceCase{"Disabled", 4, false, false},
                                           NamespaceCase{"FormatTooOld", 3, true, false}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(DescriptorStackTest, ReleaseRestoresThePreviousDescriptor) {
  const XMLDictionaryPtr first = makeDescriptor(4, false);
  const XMLDictionaryPtr second = makeDescriptor(4, true);
  parsetest::ParseRun run(first.get());
  XMLWorker& worker = run.worker();
  worker.setWireFormatDescriptor(second.get());
  EXPECT_EQ(worker.getWireFormatDescriptor(), second.get());
  EXPECT_TRUE(worker.getHandler()->getScanner()->getDoNamespaces());

  worker.release(false);
  EXPECT_EQ(worker.getWireFormatDescriptor(), first.get());
  EXPECT_EQ(worker.getHandler()->getXMLWireFormatDescriptor(), first.get());
  EXPECT_FALSE(worker.getHandler()->getScanner()->getDoNamespaces());

  worker.release(false);
  EXPECT_EQ(worker.getWireFormatDescriptor(), nullptr);
  EXPECT_EQ(worker.getHandler()->getXMLWireFormatDescriptor(), nullptr);
  worker.release(false);  // an empty stack pops nothing
  EXPECT_EQ(worker.getWireFormatDescriptor(), nullptr);
}

TEST(DescriptorStackTest, OnlyXmlDescriptorsAreAccepted) {
  StdDictionaryInfo generic(0);
  const ZelNamedLogSource owner("test");
  XMLWorker worker(&owner);
  const ZelParserException e = expectParserException([&] { worker.setWireFormatDescriptor(&generic); },
                                                     ZelMessages::CP_XML_INTERNAL_ERROR);
  EXPECT_EQ(e.insertText(0), "XML Worker Internal Error");
  EXPECT_EQ(worker.getWireFormatDescriptor(), nullptr);
}
}  // namespace

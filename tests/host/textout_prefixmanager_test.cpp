#include "xmlprefixmanager.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

// Declaring once per scope, again in siblings and in the next document is
// what the writer's namespace and reuse tests write; these are the cases of
// clashing prefixes they do not reach.
namespace {

const ZelWstring A(u"urn:a");
const ZelWstring B(u"urn:b");
const ZelWstring C(u"urn:c");

// The prefix handed out and whether it is to be declared.
using Answer = std::pair<std::string, bool>;

class PrefixManagerTest : public ::testing::Test {
protected:
  Answer ask(const ZelWstring& uri, bool create = true) {
    ZelBufferedWstring<16> prefix(u"stale");
    const bool declare = manager.getNamespacePrefix(uri, prefix, create);
    return {prefix.toUtf8(), declare};
  }

  ZelNamedLogSource owner{"prefixtest"};
  XMLPrefixManager manager{&owner};
};

TEST_F(PrefixManagerTest, PreferredPrefixYieldsToAnotherUriInScopeOnly) {
  manager.addNamespace(A, ZelWstring(u"p"));
  manager.addNamespace(B, ZelWstring(u"p"));
  manager.addLevel();
  EXPECT_EQ(ask(A), (Answer{"p", true}));
  manager.addLevel();
  EXPECT_EQ(ask(B), (Answer{"ns1", true}));  // "p" means A here
  manager.removeLevel();
  manager.removeLevel();
  manager.addLevel();
  EXPECT_EQ(ask(B), (Answer{"p", true}));
  manager.addLevel();
  EXPECT_EQ(ask(A), (Answer{"ns2", true}));  // "p" means B now; ns1 stays B's
}

TEST_F(PrefixManagerTest, GeneratedPrefixesAvoidPreferredOnesAndEachOther) {
  manager.addNamespace(A, ZelWstring(u"ns1"));
  manager.addNamespace(B, ZelWstring(u"ns3"));
  manager.addLevel();
  EXPECT_EQ(ask(C), (Answer{"ns2", true}));
  EXPECT_EQ(ask(ZelWstring(u"urn:d")), (Answer{"ns4", true}));
  EXPECT_EQ(ask(A), (Answer{"ns1", true}));
  EXPECT_EQ(ask(B), (Answer{"ns3", true}));

  std::set<std::string> prefixes{"ns1", "ns2", "ns3", "ns4"};
  for (int i = 0; i < 50; ++i) {
    const Answer answer = ask(ZelWstring::fromUtf8("urn:many:" + std::to_string(i)));
    EXPECT_TRUE(answer.second);
    EXPECT_TRUE(prefixes.insert(answer.first).second) << answer.first << " handed out twice";
  }
}

TEST_F(PrefixManagerTest, XmlNamespaceReservedPrefixesAndLookupsWithoutCreate) {
  const ZelWstring xmlUri(XMLPrefixManager::XML_NAMESPACE_URI);
  manager.addNamespace(xmlUri, ZelWstring(u"x"));
  manager.addNamespace(A, ZelWstring(u"xml"));  // reserved: ignored
  manager.addNamespace(B, ZelWstring(u"b"));
  manager.addLevel();
  EXPECT_EQ(ask(xmlUri), (Answer{"xml", false}));
  EXPECT_EQ(ask(xmlUri, /*create=*/false), (Answer{"xml", false}));
  // An element read as <xmlns:a/> is written so, not with a prefix declared for the namespace.
  EXPECT_EQ(ask(ZelWstring(XMLPrefixManager::XMLNS_NAMESPACE_URI)), (Answer{"xmlns", false}));
  EXPECT_EQ(ask(B, /*create=*/false), (Answer{"", false}));
  EXPECT_EQ(ask(A), (Answer{"ns1", true}));
  EXPECT_EQ(ask(B), (Answer{"b", true}));
  EXPECT_EQ(ask(B, /*create=*/false), (Answer{"b", false}));
  EXPECT_EQ(ask(ZelWstring()), (Answer{"", false}));
}

// An answer remembered by the URI's address is forgotten when a level
// closes, as the text there may change with it (the next document's tree).
TEST_F(PrefixManagerTest, PrefixInScopeIsAskedAgainAfterALevelCloses) {
  manager.addLevel();
  ask(A);
  ask(B);
  ZelWstring uri(A);
  for (const char* expected : {"ns1", "ns2"}) {
    manager.addLevel();
    EXPECT_EQ(manager.findPrefixInScope(uri)->toUtf8(), expected);
    manager.removeLevel();
    uri.assign(B);
  }
}

}  // namespace

// The memories of element matches: an answer is given back only for the
// very key it was remembered under, and never after clear().
#include "elementmatchcache.h"

#include <gtest/gtest.h>

#include <memory>

namespace {
ElementMatch member(long index) { return ElementMatch{index, eDefinedAsTypeMember, ContentProcessing::Strict, true}; }
long found(const ElementMatch* match) { return match ? match->index : -1; }
}  // namespace

TEST(ElementMatchCacheTest, AnswersOnlyTheWholeKeyAndForgetsOnClear) {
  const auto cache = std::make_unique<ElementMatchCache>();
  int declarations[2];
  cache->remember(&declarations[0], 5, 7, member(42));
  EXPECT_EQ(found(cache->find(&declarations[0], 5, 7)), 42);
  EXPECT_EQ(found(cache->find(&declarations[1], 5, 7)), -1);
  EXPECT_EQ(found(cache->find(&declarations[0], 6, 7)), -1);
  EXPECT_EQ(found(cache->find(&declarations[0], 5, 8)), -1);
  // A new document's declaration may sit where an old one was.
  cache->clear();
  EXPECT_EQ(found(cache->find(&declarations[0], 5, 7)), -1);
  cache->remember(&declarations[0], 5, 7, member(43));
  EXPECT_EQ(found(cache->find(&declarations[0], 5, 7)), 43);
}

TEST(ElementMatchCacheTest, NamedAnswersNeedTheSameNameNamespaceAndParent) {
  NamedMatchCache cache;
  cache.remember(7, u"ID", u"urn:a", member(3));
  EXPECT_EQ(found(cache.find(7, u"ID", u"urn:a")), 3);
  EXPECT_EQ(found(cache.find(7, u"ID", u"urn:b")), -1);
  EXPECT_EQ(found(cache.find(8, u"ID", u"urn:a")), -1);
  EXPECT_EQ(found(cache.find(7, u"Id", u"urn:a")), -1);
}

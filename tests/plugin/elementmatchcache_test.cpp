// The per-document memory of element matches: an answer is given back only
// for the very key it was remembered under, and never after clear().
#include "elementmatchcache.h"

#include <gtest/gtest.h>

#include <memory>

TEST(ElementMatchCacheTest, AnswersOnlyTheWholeKeyAndForgetsOnClear) {
  const auto cache = std::make_unique<ElementMatchCache>();
  int declarations[2];
  cache->remember(&declarations[0], 5, 7, 42);
  EXPECT_EQ(cache->find(&declarations[0], 5, 7), 42);
  EXPECT_EQ(cache->find(&declarations[1], 5, 7), -1);
  EXPECT_EQ(cache->find(&declarations[0], 6, 7), -1);
  EXPECT_EQ(cache->find(&declarations[0], 5, 8), -1);
  // A new document's declaration may sit where an old one was.
  cache->clear();
  EXPECT_EQ(cache->find(&declarations[0], 5, 7), -1);
  cache->remember(&declarations[0], 5, 7, 43);
  EXPECT_EQ(cache->find(&declarations[0], 5, 7), 43);
}

TEST(ElementMatchCacheTest, ADeclarationInTheSameSlotReplacesTheOld) {
  const auto cache = std::make_unique<ElementMatchCache>();
  // 256 slots of 16 bytes: addresses 4096 bytes apart share a slot.
  const auto storage = std::make_unique<char[]>(8192);
  const void* first = storage.get();
  const void* second = storage.get() + 4096;
  cache->remember(first, 1, 0, 3);
  cache->remember(second, 1, 0, 4);
  EXPECT_EQ(cache->find(first, 1, 0), -1);
  EXPECT_EQ(cache->find(second, 1, 0), 4);
}

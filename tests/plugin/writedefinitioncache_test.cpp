// The writer resolves each type member once per write (a worker following
// the descriptor of each write is the reuse test's).
#include "writeitem.h"

#include "writetestsupport.h"

#include <gtest/gtest.h>

using namespace writetest;

TEST(WriteDefinitionCache, RowOutsideTheDictionaryRaisesAndCachesNothing) {
  const DescriptorPtr descriptor =
      compileDescriptor(dataText("sets/write/one-member.json", {{"@NAME@", "e"}, {"@RENDER@", "element"}, {"@NAMESPACE@", ""}}));
  WriteDefinitionCache cache;
  cache.reset(descriptor.get());
  const long rows = descriptor->getStructDefs().GetRowCount();
  EXPECT_ANY_THROW(cache.member(*descriptor, rows));
  EXPECT_ANY_THROW(cache.member(*descriptor, rows));
  EXPECT_NE(cache.member(*descriptor, 0), nullptr);
}

#include "xmlmemorymanager.h"

#include "zelexception.h"
#include "paramname.h"

#include <xercesc/util/PlatformUtils.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {
bool isAligned(const void* p) { return reinterpret_cast<std::uintptr_t>(p) % alignof(std::max_align_t) == 0; }

// Sizes at and around each chunk-size boundary, plus one past the largest.
class MemoryManagerSizeTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(MemoryManagerSizeTest, ServesAlignedWritableMemoryAndReusesIt) {
  ZelXmlMemoryManager manager(4096);
  const std::size_t size = GetParam();
  std::vector<void*> chunks;
  for (int i = 0; i < 40; ++i) {
    void* p = manager.allocate(size);
    ASSERT_TRUE(isAligned(p));
    std::memset(p, i, size);
    chunks.push_back(p);
  }
  for (std::size_t i = 0; i < chunks.size(); ++i)
    ASSERT_EQ(static_cast<unsigned char*>(chunks[i])[size - 1], static_cast<unsigned char>(i)) << "chunks overlap";
  const std::size_t blocks = manager.getBlockCount();
  for (void* p : chunks) manager.deallocate(p);
  for (int i = 0; i < 40; ++i) chunks[i] = manager.allocate(size);
  EXPECT_EQ(manager.getBlockCount(), blocks) << "freed chunks must be reused";
  for (void* p : chunks) manager.deallocate(p);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, MemoryManagerSizeTest, ::testing::Values(1, 64, 65, 256, 257, 1024, 1025, 70000), ReadableName());

TEST(ZelXmlMemoryManagerTest, SmallPoolStillServesTheLargestChunk) {
  ZelXmlMemoryManager manager(16);
  void* a = manager.allocate(1024);
  void* b = manager.allocate(1024);
  EXPECT_NE(a, b);
  EXPECT_EQ(manager.getBlockCount(), 2u);
  manager.deallocate(a);
  manager.deallocate(b);
  manager.deallocate(nullptr);
}

TEST(ZelXmlTrackingMemoryManagerTest, CountsTheBlocksOut) {
  ZelXmlTrackingMemoryManager manager;
  std::vector<void*> blocks;
  for (const std::size_t size : {1, 64, 70000}) {
    void* p = manager.allocate(size);
    ASSERT_TRUE(isAligned(p));
    std::memset(p, 0xA5, size);
    blocks.push_back(p);
  }
  EXPECT_EQ(manager.getLiveBlockCount(), 3u);
  manager.deallocate(blocks[1]);
  manager.deallocate(nullptr);
  EXPECT_EQ(manager.getLiveBlockCount(), 2u);
  // The other two go with the manager (the leak checker would see them).
}

// A pool size outside 1..kMaximumPoolSize, or chunk sizes not rising from
// above zero, are refused.
TEST(ZelXmlMemoryManagerTest, RefusesNonsenseParameters) {
  using Manager = ZelXmlMemoryManager;
  for (const auto& [poolSize, chunks] :
       {std::pair{0L, Manager::kDefaultChunkSizes}, {-1L, Manager::kDefaultChunkSizes},
        {Manager::kMaximumPoolSize + 1, Manager::kDefaultChunkSizes}, {4096L, Manager::ChunkSizes{0, 64, 128}},
        {4096L, Manager::ChunkSizes{64, 64, 128}}, {4096L, Manager::ChunkSizes{64, 256, 128}}})
    EXPECT_THROW(Manager(poolSize, chunks), ZelConversionException) << poolSize << " " << chunks[0];
}

}  // namespace

#include "workerinfo.h"
#include "host/test_support.h"

#include <gtest/gtest.h>

#include <utility>

namespace {
// A record that counts its destructions.
class CountedInfo : public DataWorkerInfo<2> {
public:
  explicit CountedInfo(int& destroyed) : destroyed_(destroyed) {}
  ~CountedInfo() override { ++destroyed_; }

private:
  int& destroyed_;
};

// Copies count, moves transfer without counting, reassigning releases the
// old record only, and the last handle deletes the record.
TEST(WorkerInfoPtrTest, HandlesCountTheRecordAndTheLastDeletesIt) {
  int destroyed = 0;
  auto* info = new CountedInfo(destroyed);
  {
    WorkerInfoPtr first(info);
    {
      WorkerInfoPtr copy(first);
      WorkerInfoPtr assigned;
      assigned = copy;
      EXPECT_EQ(info->refCount(), 3);
    }
    EXPECT_EQ(info->refCount(), 1);
    WorkerInfoPtr moved(std::move(first));
    EXPECT_TRUE(first.isNull());
    WorkerInfoPtr sameRecord(moved);
    moved = std::move(sameRecord);  // both held it: one reference goes
    EXPECT_EQ(info->refCount(), 1);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);

  WorkerInfoPtr handle(new CountedInfo(destroyed));
  WorkerInfoPtr other(new CountedInfo(destroyed));
  handle = other;
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(handle.get(), other.get());
  EXPECT_EQ(other->refCount(), 2);
  handle = handle;  // the same record: nothing changes
  handle.reset(other.get());
  EXPECT_EQ(other->refCount(), 2);
  handle.reset();
  other = WorkerInfoPtr();
  EXPECT_EQ(destroyed, 3);
}

// ---------------------------------------------------------------------------

template <long N>
void expectKeyOutOfRange(DataWorkerInfo<N>& info, long key) {
  SCOPED_TRACE("key " + std::to_string(key));
  auto check = [](auto&& call) {
    const ZelParserException e = raisedBy<ZelParserException>([&] { call(); });
    EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_INTERNAL_ERROR);
    EXPECT_EQ(e.insertText(0), "key out of range");
  };
  check([&] { info.getDataProperty(key); });
  check([&] { info.setProperty(key, PWFData::makeInteger(1)); });
}

TEST(DataWorkerInfoTest, KeysOutsideTheRecordAreRefused) {
  DataWorkerInfo<6> start;
  DataWorkerInfo<1> element;
  for (long key : {-1L, 6L, 100L}) expectKeyOutOfRange(start, key);
  for (long key : {-1L, 1L}) expectKeyOutOfRange(element, key);
}

}  // namespace

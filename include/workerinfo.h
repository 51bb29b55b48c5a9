#ifndef WORKERINFO_H
#define WORKERINFO_H

#include "pwfdata.h"
#include "zelapi.h"
#include "zelexception.h"

#include <atomic>
#include <cstdint>

// Base of reference-counted objects. The count starts at 0; whoever drops it
// to 0 deletes the object. Counts are atomic: a parse's records live on in
// the tree it built while the session that parsed (and still refers to its
// last records) serves another thread.
class ZEL_API CPRCObject {
public:
  CPRCObject() = default;
  CPRCObject(const CPRCObject&) = delete;
  CPRCObject& operator=(const CPRCObject&) = delete;
  virtual ~CPRCObject();

  void addRef() const { refCount_.fetch_add(1, std::memory_order_relaxed); }
  // Decrements the count and deletes the object when it reaches 0.
  void removeRef() const {
    if (refCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  std::int32_t refCount() const { return refCount_.load(std::memory_order_relaxed); }

private:
  mutable std::atomic<std::int32_t> refCount_{0};
};

// Facts that a wire format keeps on a tree element so that a later write can
// reproduce them: properties addressed by a small integer key.
class ZEL_API WorkerInfo : public CPRCObject {
public:
  ~WorkerInfo() override;
  // The value at key; throws ZelParserException CP_INTERNAL_ERROR
  // "key out of range" for a key outside the record.
  virtual const PWFData& getDataProperty(long key) const = 0;
  virtual long getInt32Property(long key) const = 0;
  virtual void setProperty(long key, long value) = 0;
  virtual void setProperty(long key, const PWFData& value) = 0;
  // How many data properties the record holds (keys 0 to count-1).
  virtual long getDataPropertyCount() const = 0;
};

namespace WorkerInfoErrors {
[[noreturn]] ZEL_API void keyOutOfRange(const char* function, long key);
[[noreturn]] ZEL_API void notSupported(const char* function);
}  // namespace WorkerInfoErrors

// A record of N data properties, each starting as "nothing".
template <long N>
class DataWorkerInfo : public WorkerInfo {
public:
  const PWFData& getDataProperty(long key) const override {
    if (key < 0 || key >= N) WorkerInfoErrors::keyOutOfRange("DataWorkerInfo::getDataProperty", key);
    return properties_[key];
  }
  long getInt32Property(long) const override { WorkerInfoErrors::notSupported("DataWorkerInfo::getInt32Property"); }
  void setProperty(long key, long) override { WorkerInfoErrors::keyOutOfRange("DataWorkerInfo::setProperty", key); }
  void setProperty(long key, const PWFData& value) override {
    if (key < 0 || key >= N) WorkerInfoErrors::keyOutOfRange("DataWorkerInfo::setProperty", key);
    properties_[key] = value;
  }
  long getDataPropertyCount() const override { return N; }

private:
  PWFData properties_[N];
};

// A counted handle on a WorkerInfo (null allowed).
class ZEL_API WorkerInfoPtr {
public:
  WorkerInfoPtr() = default;
  // Adopts a fresh record (or shares an existing one): the count goes up.
  explicit WorkerInfoPtr(WorkerInfo* info) : info_(info) {
    if (info_) info_->addRef();
  }
  WorkerInfoPtr(const WorkerInfoPtr& other) : info_(other.info_) {
    if (info_) info_->addRef();
  }
  WorkerInfoPtr(WorkerInfoPtr&& other) noexcept : info_(other.info_) { other.info_ = nullptr; }
  WorkerInfoPtr& operator=(const WorkerInfoPtr& other) {
    reset(other.info_);
    return *this;
  }
  WorkerInfoPtr& operator=(WorkerInfoPtr&& other) noexcept {
    if (this != &other) {
      WorkerInfo* old = info_;
      info_ = other.info_;
      other.info_ = nullptr;
      if (old) old->removeRef();
    }
    return *this;
  }
  ~WorkerInfoPtr() {
    if (info_) info_->removeRef();
  }

  // Holds info from now on; assigning the record already held changes nothing.
  void reset(WorkerInfo* info = nullptr) {
    if (info == info_) return;
    if (info) info->addRef();
    WorkerInfo* old = info_;
    info_ = info;
    if (old) old->removeRef();
  }
  WorkerInfo* get() const { return info_; }
  WorkerInfo* operator->() const { return info_; }
  WorkerInfo& operator*() const { return *info_; }
  explicit operator bool() const { return info_ != nullptr; }
  bool isNull() const { return info_ == nullptr; }

private:
  WorkerInfo* info_ = nullptr;
};

#endif

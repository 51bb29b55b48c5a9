#ifndef BITSTREAMWORKER_H
#define BITSTREAMWORKER_H

#include "zelapi.h"

#include <vector>

class BitstreamBuffer;
class DictionaryInfo;
class FIHandler;
class FIMessageTree;
class MessageInfo;
class WritableBitstreamBuffer;
class ZelNamedLogSource;

// The parse side of a wire-format worker.
class ZEL_API FIParser {
public:
  virtual ~FIParser();
  virtual void initializeParse(long messageId, MessageInfo* properties, long reserved) = 0;
  virtual void setFIHandler(FIHandler* handler) = 0;
  virtual FIHandler* getFIHandler() const = 0;
  virtual long parse(const BitstreamBuffer* buffer, const std::vector<long>* path, long, long) = 0;
  virtual long parseFirst(const BitstreamBuffer* buffer, const std::vector<long>* path, bool, long, long) = 0;
  virtual long parseNext() = 0;
  virtual bool hasNext() const = 0;
  virtual long getNumBytesParsed() const = 0;
  // Parses the rest of the message and reports where it ended.
  virtual long getEndOfMessageOffset();
  virtual const DictionaryInfo* getWireFormatDescriptor() const = 0;
  virtual void setWireFormatDescriptor(const DictionaryInfo* descriptor) = 0;
  // Makes the previous descriptor current again; with destroy, ends the worker.
  virtual void release(bool destroy) = 0;
};

// The write side of a wire-format worker.
class ZEL_API FIWriter {
public:
  virtual ~FIWriter();
  virtual void initializeWrite(MessageInfo* properties, const BitstreamBuffer* input, const MessageInfo* inputProperties,
                               bool* done) = 0;
  virtual void setFIMessageTree(const FIMessageTree* tree) = 0;
  virtual const FIMessageTree* getFIMessageTree() const = 0;
  // Appends the document to output; returns the number of bytes appended.
  virtual long write(WritableBitstreamBuffer* output, const std::vector<long>* path, long) = 0;
};

// A worker: one parse or write at a time, on the calling thread.
class ZEL_API BitstreamWorker : public FIParser, public FIWriter {
public:
  BitstreamWorker() = default;
  ~BitstreamWorker() override;

private:
  long counter_ = 1;  // the host's use count; plug-ins do not read it
};

// What a wire-format library hands out: workers and descriptors, owned by the caller.
class ZEL_API BitstreamWorkerFactory {
public:
  virtual ~BitstreamWorkerFactory();
  virtual BitstreamWorker* createBitstreamWorker(const ZelNamedLogSource* owner) = 0;
  virtual DictionaryInfo* createDescriptor() = 0;
};

// The four functions every wire-format library exports, unmangled.
// Status: 0 success, 1 failure; out-parameters are always written.
extern "C" {
typedef int (*GetFactoryFn)(const char16_t* formatName, BitstreamWorkerFactory** factory);
typedef int (*GetNumFormatsFn)(long* count);
typedef int (*GetFormatFn)(long index, const char16_t** name);
typedef int (*GetLevelFn)(const char16_t** level);
}

#endif

#ifndef FUZZ_FUZZSUPPORT_H
#define FUZZ_FUZZSUPPORT_H

#include "bitstreambuffer.h"
#include "dictionaryinfo.h"
#include "messageinfo.h"
#include "messagetree.h"
#include "xmlworker.h"
#include "zelexception.h"
#include "zellog.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Descriptors are given back with release(), never deleted.
struct DescriptorRelease {
  void operator()(DictionaryInfo* descriptor) const { descriptor->release(); }
};
using DescriptorPtr = std::unique_ptr<DictionaryInfo, DescriptorRelease>;

inline XMLWorkerFactory& workerFactory() {
  static XMLWorkerFactory factory;
  return factory;
}

// Parses bytes into a host tree, in steps, with descriptor current (may be
// null). Host exceptions are the expected answer to bad input; anything
// else escapes and libFuzzer reports it.
inline void parseIntoTree(const std::uint8_t* data, std::size_t size, const DictionaryInfo* descriptor) {
  static const ZelNamedLogSource owner("fuzz");
  std::unique_ptr<BitstreamWorker> worker(workerFactory().createBitstreamWorker(&owner));
  MessageInfo properties;
  MessageTree tree;
  TreeBuilder builder(tree);
  const BitstreamBuffer buffer(data, size);
  try {
    if (descriptor) worker->setWireFormatDescriptor(descriptor);
    worker->initializeParse(-1, &properties, 0);
    worker->setFIHandler(&builder);
    worker->parseFirst(&buffer, nullptr, false, 0, -1);
    while (worker->hasNext()) worker->parseNext();
  } catch (const ZelException&) {
  }
  if (descriptor) worker->release(false);
}

#endif

#ifndef FUZZ_FUZZSUPPORT_H
#define FUZZ_FUZZSUPPORT_H

#include "bitstreambuffer.h"
#include "dictionaryinfo.h"
#include "messageinfo.h"
#include "messagetree.h"
#include "treeroundtrip.h"
#include "xmlworker.h"
#include "zelexception.h"
#include "zellog.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Descriptors are given back with release(), never deleted.
using DescriptorPtr = OwnedDescriptor;

inline XMLWorkerFactory& workerFactory() {
  static XMLWorkerFactory factory;
  return factory;
}

// Parses bytes into tree, in steps, with descriptor current (may be null)
// and the message properties given. Returns false when the parse ends with a
// host exception, the expected answer to bad input; anything else escapes
// and libFuzzer reports it.
inline bool parseInto(const std::uint8_t* data, std::size_t size, const DictionaryInfo* descriptor,
                      MessageInfo& properties, MessageTree& tree) {
  static const ZelNamedLogSource owner("fuzz");
  std::unique_ptr<BitstreamWorker> worker(workerFactory().createBitstreamWorker(&owner));
  TreeBuilder builder(tree);
  const BitstreamBuffer buffer(data, size);
  bool parsed = true;
  try {
    if (descriptor) worker->setWireFormatDescriptor(descriptor);
    worker->initializeParse(-1, &properties, 0);
    worker->setFIHandler(&builder);
    worker->parseFirst(&buffer, nullptr, false, 0, -1);
    while (worker->hasNext()) worker->parseNext();
  } catch (const ZelException&) {
    parsed = false;
  }
  if (descriptor) worker->release(false);
  return parsed;
}

inline void parseIntoTree(const std::uint8_t* data, std::size_t size, const DictionaryInfo* descriptor) {
  MessageInfo properties;
  MessageTree tree;
  parseInto(data, size, descriptor, properties, tree);
}

// Post-processed descriptors of every example message set (compiled once),
// with namespaces as the set says and, when both is set, also switched off.
const std::vector<DescriptorPtr>& exampleDescriptors(bool both);

#endif

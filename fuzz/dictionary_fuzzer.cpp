// Arbitrary bytes as a serialized dictionary: load, post-process and dump.
#include "fuzzsupport.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FILE* const sink = std::fopen("/dev/null", "w");
  DescriptorPtr descriptor(workerFactory().createDescriptor());
  try {
    descriptor->FromExtractFormat(nullptr, data, size);
    descriptor->postProcessDictionary();
  } catch (const ZelException&) {
    return 0;
  }
  descriptor->DumpContents(sink);
  return 0;
}

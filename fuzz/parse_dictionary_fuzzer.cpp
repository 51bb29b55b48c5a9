// Arbitrary bytes through the XML worker against every example dictionary,
// once with namespaces on and once off.
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const DescriptorPtr& descriptor : exampleDescriptors(true)) parseIntoTree(data, size, descriptor.get());
  return 0;
}

// Arbitrary bytes through the XML worker without a dictionary.
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  parseIntoTree(data, size, nullptr);
  return 0;
}

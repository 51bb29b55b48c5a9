// Arbitrary text as a tree in JSON: a tree that reads back writes the same
// JSON after another read.
#include "messagetree.h"
#include "zelexception.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MessageTree tree;
  try {
    treeFromJson(std::string_view(reinterpret_cast<const char*>(data), size), tree);
  } catch (const ZelException&) {
    return 0;
  }
  const std::string first = treeToJson(tree);
  MessageTree again;
  treeFromJson(first, again);
  const std::string second = treeToJson(again);
  if (first != second) {
    std::fprintf(stderr, "JSON differs after a round trip:\n%s\n%s\n", first.c_str(), second.c_str());
    std::abort();
  }
  return 0;
}

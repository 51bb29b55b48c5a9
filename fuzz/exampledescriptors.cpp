#include "fuzzsupport.h"
#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "stddictionaryinfo.h"

#include <filesystem>

namespace {
std::vector<DescriptorPtr> loadExampleDescriptors(bool both) {
  std::vector<DescriptorPtr> descriptors;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(WF_EXAMPLES_DIR)) {
    if (entry.path().extension() != ".json") continue;
    const msgset::MessageSet set = readMessageSetJsonFile(entry.path().string());
    for (const bool namespaces : {true, false}) {
      if (!namespaces && !both) continue;
      // The compiler refuses to switch namespaces off for a set that uses
      // them, so the switch is turned in the compiled tables instead.
      const std::unique_ptr<StdDictionaryInfo> compiled = compileMessageSet(set, entry.path().filename().string());
      if (!namespaces) compiled->getMsgSetDefs().GetBuffer()[0].namespacesEnabled = 0;
      const std::vector<unsigned char> bytes = compiled->ToQLBuffer();
      DescriptorPtr descriptor(workerFactory().createDescriptor());
      descriptor->FromExtractFormat(nullptr, bytes.data(), bytes.size());
      descriptor->postProcessDictionary();
      descriptors.push_back(std::move(descriptor));
    }
  }
  return descriptors;
}
}  // namespace

const std::vector<DescriptorPtr>& exampleDescriptors(bool both) {
  if (both) {
    static const std::vector<DescriptorPtr> withSwitch = loadExampleDescriptors(true);
    return withSwitch;
  }
  static const std::vector<DescriptorPtr> asCompiled = loadExampleDescriptors(false);
  return asCompiled;
}

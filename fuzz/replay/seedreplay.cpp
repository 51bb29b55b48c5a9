// Runs a fuzz target on files as libFuzzer runs a corpus: each file's bytes
// once through the target. The test suite builds every target into this
// program with the normal compiler and replays the committed seeds (the
// findings kept among them), so that the targets keep building and what they
// once found stays fixed. A target signals a fault by aborting.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#define WF_FUZZ_TARGET(name) extern "C" int name##_one(const std::uint8_t* data, std::size_t size);
#include "fuzztargets.inc"
#undef WF_FUZZ_TARGET

namespace {

using Target = int (*)(const std::uint8_t*, std::size_t);

const std::map<std::string, Target>& targets() {
  static const std::map<std::string, Target> all = {
#define WF_FUZZ_TARGET(name) {#name, name##_one},
#include "fuzztargets.inc"
#undef WF_FUZZ_TARGET
  };
  return all;
}

// The files of a path: itself, or those below a folder in name order.
std::vector<std::filesystem::path> filesOf(const std::filesystem::path& path) {
  if (!std::filesystem::is_directory(path)) return {path};
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  const auto target = argc >= 3 ? targets().find(argv[1]) : targets().end();
  if (target == targets().end()) {
    std::fprintf(stderr, "usage: %s TARGET FILE_OR_FOLDER...\ntargets:", argv[0]);
    for (const auto& [name, run] : targets()) std::fprintf(stderr, " %s", name.c_str());
    std::fprintf(stderr, "\n");
    return 2;
  }
  std::size_t inputs = 0;
  for (int i = 2; i < argc; ++i) {
    for (const std::filesystem::path& file : filesOf(argv[i])) {
      std::ifstream in(file, std::ios::binary);
      const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      std::printf("%s\n", file.c_str());
      std::fflush(stdout);
      target->second(bytes.data(), bytes.size());
      ++inputs;
    }
  }
  std::printf("%s: %zu inputs\n", argv[1], inputs);
  return inputs == 0 ? 1 : 0;
}

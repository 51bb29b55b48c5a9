// A program using the library finds the plug-in next to the host library,
// wherever the libraries were copied, with no plug-in path set.
#include "apitestsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

TEST(Relocation, ThePlugInIsFoundBesideTheHostLibrary) {
  const ScratchFolder folder;
  // The program and the libraries in folders of their own, not bin/ and
  // lib/ beside each other, so that only the host library's folder leads
  // to the plug-in.
  const fs::path program = folder.path() / "app" / "relocationprobe";
  const fs::path libraries = folder.path() / "libraries";
  fs::create_directories(program.parent_path());
  fs::create_directories(libraries);
  fs::copy_file(WF_RELOCATION_PROBE, program);
  for (const auto& entry : fs::directory_iterator(WF_PLUGIN_DIR))
    if (entry.path().filename().string().find(".so") != std::string::npos)
      fs::copy(entry.path(), libraries / entry.path().filename(), fs::copy_options::copy_symlinks);

  // The copied libraries come first (the program's run path still names
  // the build tree, where another plug-in sits).
  const CommandResult result =
      runCommand("env", {"-u", "WF_PLUGIN_PATH", "LD_LIBRARY_PATH=" + libraries.string(), program.string()});
  EXPECT_EQ(result.out.substr(0, 3), "ok\n") << result.out << result.err;
  EXPECT_NE(result.out.find(libraries.string() + "/libpwfxml.so"), std::string::npos) << result.out;
}

}  // namespace

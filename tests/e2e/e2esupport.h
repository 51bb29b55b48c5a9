#ifndef TESTS_E2E_E2ESUPPORT_H
#define TESTS_E2E_E2ESUPPORT_H

#include "paramname.h"

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// What a finished program left behind.
struct CommandResult {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Starts program with args (no shell), its standard output and error sent
// to the files named, without waiting for it; -1 when it cannot start.
pid_t startCommand(const std::string& program, const std::vector<std::string>& args, const std::string& outPath,
                   const std::string& errPath);
// Runs program with args (no shell) and collects its output.
CommandResult runCommand(const std::string& program, const std::vector<std::string>& args);
// Runs the built wfhost.
inline CommandResult runWfhost(const std::vector<std::string>& args) { return runCommand(WF_WFHOST, args); }

// What wfhost with args prints when input is its standard input ('-').
inline CommandResult runWfhostOnStdin(const std::string& input, const std::vector<std::string>& args) {
  std::string command = std::string("'") + WF_WFHOST + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  return runCommand("sh", {"-c", command + " < '" + input + "'"});
}

// The whole content of a file; empty when it cannot be read.
std::string readFileText(const std::string& path);

// The text split at line feeds (no empty last line).
std::vector<std::string> linesOf(const std::string& text);

// The full path of a file in tests/data.
inline std::string testData(const std::string& name) { return std::string(WF_TEST_DATA_DIR) + "/" + name; }

// The payment example's schema and first message, which many wfhost tests use.
inline const std::string kPaymentSchema = std::string(WF_EXAMPLES_DIR) + "/payment/payment.xsd";
inline const std::string kPayment = std::string(WF_EXAMPLES_DIR) + "/payment/payment-1.xml";

// The words of a command line, those starting with examples/ or data/ made
// the full paths of those files.
std::vector<std::string> commandWords(const std::string& line);

// True when a program of that name is on the PATH.
bool haveProgram(const std::string& name);

// A folder of its own for each test, removed afterwards.
class ScratchFolder {
public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of a file in the folder.
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // Writes text into the folder; returns the file's path.
  std::string write(const std::string& name, std::string_view text) const;

private:
  std::filesystem::path path_;
};

#endif

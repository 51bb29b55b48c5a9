#include "e2esupport.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
std::string slurpAndRemove(const std::string& path) {
  std::string text = readFileText(path);
  std::remove(path.c_str());
  return text;
}

std::string temporaryFile() {
  char name[] = "/tmp/e2e-output-XXXXXX";
  const int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  return name;
}
}  // namespace

pid_t startCommand(const std::string& program, const std::vector<std::string>& args, const std::string& outPath,
                   const std::string& errPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_TRUNC, 0);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

CommandResult runCommand(const std::string& program, const std::vector<std::string>& args) {
  const std::string outPath = temporaryFile();
  const std::string errPath = temporaryFile();
  CommandResult result;
  const pid_t pid = startCommand(program, args, outPath, errPath);
  int wstatus = 0;
  if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  result.out = slurpAndRemove(outPath);
  result.err = slurpAndRemove(errPath);
  return result;
}

std::string readFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> commandWords(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) {
    if (word.rfind("examples/", 0) == 0) word = std::string(WF_EXAMPLES_DIR) + word.substr(8);
    else if (word.rfind("data/", 0) == 0) word = testData(word.substr(5));
    words.push_back(word);
  }
  return words;
}

bool haveProgram(const std::string& name) {
  return runCommand("sh", {"-c", "command -v " + name}).status == 0;
}

ScratchFolder::ScratchFolder() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("wfxml-test-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1)));
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::write(const std::string& name, std::string_view text) const {
  const std::string path = file(name);
  std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
  return path;
}

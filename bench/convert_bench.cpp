// Batch conversion to typed JSON and back over the FpML confirmation corpus
// (the 554 messages its schemas accept, 3.7 MB of UTF-8, depth up to 12, mostly short element
// values with scheme attributes), with the dictionary loaded once:
//   BM_BatchToJson      parse + toJson of every file, one Session
//   BM_BatchFromJson    fromJson + write of every file's JSON; /1 with the
//                       content checks (the default), /0 without
//   BM_JsonOutput       toJson of parsed messages (the JSON writer alone)
//   BM_XmlOutput        write of the same messages (the XML writer alone; /1
//                       with the tree's content check, /0 without)
//   BM_WfhostPerFile    one `wfhost convert --dict` process per file (loads the dictionary each time)
//   BM_WfhostBatch      one `wfhost convert --out-dir` process for all files
// Counters: files/s and bytes/s of the XML input. WF_CORPORA_DIR finds the corpus.
#include "wfxml/wfxml.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct Corpus {
  std::vector<std::string> paths;
  std::vector<std::string> xml;
  std::vector<std::string> json;
  std::size_t bytes = 0;
  std::unique_ptr<wfxml::MessageSet> set;
  std::string dictionary;  // the compiled dictionary as a file, for wfhost
};

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

const Corpus* corpus() {
  static const std::unique_ptr<Corpus> loaded = []() -> std::unique_ptr<Corpus> {
    const char* root = std::getenv("WF_CORPORA_DIR");
    const fs::path folder = fs::path(root ? root : WF_CORPORA_DIR) / "fpml-5.11-confirmation";
    if (!fs::exists(folder / "examples")) return nullptr;
    auto c = std::make_unique<Corpus>();
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder / "examples"))
      if (entry.path().extension() == ".xml") paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    c->set = std::make_unique<wfxml::MessageSet>(
        wfxml::MessageSet::compile({(folder / "schemas" / "fpml-main-5-11.xsd").string()}));
    wfxml::Session session(*c->set);
    for (const std::string& path : paths) {
      std::string xml = readText(path);
      // The one the schemas refuse as published would be refused when written back.
      if (!c->set->validate(xml.data(), xml.size()).empty()) continue;
      c->paths.push_back(path);
      c->xml.push_back(std::move(xml));
      c->bytes += c->xml.back().size();
      c->json.push_back(session.toJson(session.parse(c->xml.back().data(), c->xml.back().size())));
    }
    c->dictionary = (fs::temp_directory_path() / ("convert-bench-" + std::to_string(getpid()) + ".dict")).string();
    const std::vector<std::uint8_t> bytes = c->set->dictionaryBytes();
    std::ofstream(c->dictionary, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
    return c;
  }();
  return loaded.get();
}

void report(benchmark::State& state, std::size_t files, std::size_t bytes) {
  state.counters["files/s"] = benchmark::Counter(static_cast<double>(files * state.iterations()),
                                                 benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
}

void BM_BatchToJson(benchmark::State& state) {
  const Corpus* c = corpus();
  if (!c) return state.SkipWithError("FpML corpus not found (WF_CORPORA_DIR)");
  wfxml::Session session(*c->set);
  for (auto _ : state) {
    for (const std::string& xml : c->xml) {
      std::string json = session.toJson(session.parse(xml.data(), xml.size()));
      benchmark::DoNotOptimize(json.data());
    }
  }
  report(state, c->xml.size(), c->bytes);
}

void BM_BatchFromJson(benchmark::State& state) {
  const Corpus* c = corpus();
  if (!c) return state.SkipWithError("FpML corpus not found (WF_CORPORA_DIR)");
  wfxml::Session session(*c->set);
  const bool check = state.range(0) != 0;
  wfxml::WriteOptions options;
  options.check = check;
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    for (const std::string& json : c->json) {
      out.clear();
      session.write(session.fromJson(json, {check}), out, options);
      benchmark::DoNotOptimize(out.data());
    }
  }
  report(state, c->json.size(), c->bytes);
}

// The parsed messages, made outside the timed loops of the two writers.
std::vector<wfxml::Message> parsedMessages(const Corpus& c, wfxml::Session& session) {
  std::vector<wfxml::Message> messages;
  for (const std::string& xml : c.xml) messages.push_back(session.parse(xml.data(), xml.size()));
  return messages;
}

void BM_JsonOutput(benchmark::State& state) {
  const Corpus* c = corpus();
  if (!c) return state.SkipWithError("FpML corpus not found (WF_CORPORA_DIR)");
  wfxml::Session session(*c->set);
  const std::vector<wfxml::Message> messages = parsedMessages(*c, session);
  for (auto _ : state) {
    for (const wfxml::Message& message : messages) {
      std::string json = session.toJson(message);
      benchmark::DoNotOptimize(json.data());
    }
  }
  report(state, messages.size(), c->bytes);
}

void BM_XmlOutput(benchmark::State& state) {
  const Corpus* c = corpus();
  if (!c) return state.SkipWithError("FpML corpus not found (WF_CORPORA_DIR)");
  wfxml::Session session(*c->set);
  const std::vector<wfxml::Message> messages = parsedMessages(*c, session);
  wfxml::WriteOptions options;
  options.check = state.range(0) != 0;
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    for (const wfxml::Message& message : messages) {
      out.clear();
      session.write(message, out, options);
      benchmark::DoNotOptimize(out.data());
    }
  }
  report(state, messages.size(), c->bytes);
}

int runProgram(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Files per process run: the first 40 of the corpus, enough to average the
// start-up and dictionary load that every run pays.
constexpr std::size_t kPerFileRuns = 40;

void BM_WfhostPerFile(benchmark::State& state) {
  const Corpus* c = corpus();
  if (!c) return state.SkipWithError("FpML corpus not found (WF_CORPORA_DIR)");
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < kPerFileRuns; ++i) bytes += c->xml[i].size();
  for (auto _ : state) {
    for (std::size_t i = 0; i < kPerFileRuns; ++i) {
      if (runProgram({WF_WFHOST, "convert", "--dict", c->dictionary, c->paths[i]}) != 0)
        return state.SkipWithError("wfhost convert failed");
    }
  }
  report(state, kPerFileRuns, bytes);
}

void BM_WfhostBatch(benchmark::State& state) {
  const Corpus* c = corpus();
  if (!c) return state.SkipWithError("FpML corpus not found (WF_CORPORA_DIR)");
  const std::string out = (fs::temp_directory_path() / ("convert-bench-out-" + std::to_string(getpid()))).string();
  std::vector<std::string> args = {WF_WFHOST, "convert", "--dict", c->dictionary, "--quiet",
                                    "-j", std::to_string(state.range(0)), "--out-dir", out};
  args.insert(args.end(), c->paths.begin(), c->paths.end());
  for (auto _ : state) {
    if (runProgram(args) != 0) return state.SkipWithError("wfhost convert failed");
  }
  std::error_code ignored;
  fs::remove_all(out, ignored);
  report(state, c->paths.size(), c->bytes);
}

BENCHMARK(BM_BatchToJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BatchFromJson)->Unit(benchmark::kMillisecond)->Arg(1)->Arg(0);
BENCHMARK(BM_JsonOutput)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlOutput)->Unit(benchmark::kMillisecond)->Arg(1)->Arg(0);
BENCHMARK(BM_WfhostPerFile)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_WfhostBatch)->Unit(benchmark::kMillisecond)->Arg(1)->Arg(2)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (const Corpus* c = corpus()) std::remove(c->dictionary.c_str());
  return 0;
}

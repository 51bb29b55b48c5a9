// Compiling dictionaries from XML Schema sets.
//
// Data: the seven payment-initiation schemas of the shared corpus
// (iso20022-sepa/schemas, 19 to 49 KB each, one target namespace, 59 to 138
// named types, mostly sequences of local elements over restricted string,
// decimal, date and boolean types). The corpus folder is read from
// $WF_CORPORA_DIR, else ../shared/corpora from the working directory.
//
//   ImportAndCompileSepaSchemas   all seven, one after the other: schema
//                                 loading and checking by Xerces-C, mapping,
//                                 and compilation into the serialized
//                                 dictionary (what wfhost compile does,
//                                 without process start and file output).

#include "messagesetcompiler.h"
#include "xsdimporter.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> sepaSchemas() {
  const char* corpora = std::getenv("WF_CORPORA_DIR");
  const std::filesystem::path folder =
      std::filesystem::path(corpora ? corpora : "../shared/corpora") / "iso20022-sepa" / "schemas";
  std::vector<std::string> schemas;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".xsd") schemas.push_back(entry.path().string());
  }
  return schemas;
}

void ImportAndCompileSepaSchemas(benchmark::State& state) {
  const std::vector<std::string> schemas = sepaSchemas();
  if (schemas.empty()) {
    state.SkipWithError("corpus not found: set WF_CORPORA_DIR");
    return;
  }
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (const std::string& schema : schemas) {
      const XsdImportResult imported = importXmlSchemas({schema}, {});
      const std::vector<unsigned char> dictionary = compileMessageSetToExtract(imported.set, schema);
      bytes += dictionary.size();
      benchmark::DoNotOptimize(dictionary.data());
    }
  }
  state.counters["schemas"] = static_cast<double>(schemas.size());
  state.counters["dictBytes/s"] = benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsRate);
}
BENCHMARK(ImportAndCompileSepaSchemas)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

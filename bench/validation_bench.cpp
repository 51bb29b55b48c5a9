// Schema validation of whole corpora held in memory, the grammar built once:
// the FpML confirmation corpus (555 messages, 3.7 MB) and the UBL invoices.
//   BM_Validate/<corpus>              MessageSet::validate of every document (Xerces-C, one thread)
//   BM_ParseAndValidate/<corpus>      parse with ParseOptions::validate (validated, then parsed)
//   BM_Parse/<corpus>                 the typed parse alone, for the ratio
//   BM_Libxml2ReadValidate/<corpus>   libxml2: xmlReadMemory + xmlSchemaValidateDoc
//   BM_Libxml2Stream/<corpus>         libxml2: xmlSchemaValidateStream (SAX, no tree)
// Counters: bytes/s of the XML input. WF_CORPORA_DIR finds the corpora.
//   validation_bench --repeat N --case validate|parse-validate|parse|json-validate|json/<corpus>
//                                 passes over one corpus for callgrind, after a warm
//                                 one: --toggle-collect='*repeatCase*' counts them alone
//                                 (json: Session::toJson, the typed path of Python's to_dict)
#include "wfxml/wfxml.h"

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct SchemaFree {
  void operator()(xmlSchema* schema) const { xmlSchemaFree(schema); }
};
struct ValidContextFree {
  void operator()(xmlSchemaValidCtxt* context) const { xmlSchemaFreeValidCtxt(context); }
};

struct Corpus {
  const char* label;
  std::string schema;
  std::vector<std::string> xml;
  std::size_t bytes = 0;
  std::unique_ptr<wfxml::MessageSet> set;
  std::unique_ptr<xmlSchema, SchemaFree> libxml2Schema;
};

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void silence(void*, const char*, ...) {}

// label, schema and documents below the corpora folder; a document name
// filter ("" for all).
std::unique_ptr<Corpus> loadCorpus(const char* label, const char* schema, const char* documents, const char* filter) {
  const char* root = std::getenv("WF_CORPORA_DIR");
  const fs::path folder = fs::path(root ? root : WF_CORPORA_DIR);
  if (!fs::exists(folder / documents)) return nullptr;
  auto c = std::make_unique<Corpus>();
  c->label = label;
  c->schema = (folder / schema).string();
  std::vector<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(folder / documents)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".xml" && name.find(filter) != std::string::npos) paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  for (const std::string& path : paths) {
    c->xml.push_back(readText(path));
    c->bytes += c->xml.back().size();
  }
  c->set = std::make_unique<wfxml::MessageSet>(wfxml::MessageSet::compile({c->schema}));
  c->set->validate("", 0);  // the grammar, built once
  std::unique_ptr<xmlSchemaParserCtxt, void (*)(xmlSchemaParserCtxt*)> parser(
      xmlSchemaNewParserCtxt(c->schema.c_str()), xmlSchemaFreeParserCtxt);
  c->libxml2Schema.reset(xmlSchemaParse(parser.get()));
  return c;
}

std::vector<Corpus*> corpora() {
  static const std::vector<std::unique_ptr<Corpus>> loaded = [] {
    std::vector<std::unique_ptr<Corpus>> all;
    all.push_back(loadCorpus("fpml", "fpml-5.11-confirmation/schemas/fpml-main-5-11.xsd",
                             "fpml-5.11-confirmation/examples", ""));
    all.push_back(loadCorpus("ubl-invoices", "ubl-2.1/schemas/maindoc/UBL-Invoice-2.1.xsd", "ubl-2.1/samples",
                             "UBL-Invoice-2."));
    return all;
  }();
  std::vector<Corpus*> present;
  for (const auto& c : loaded)
    if (c) present.push_back(c.get());
  return present;
}

void count(benchmark::State& state, const Corpus& c, std::size_t invalid) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.bytes));
  state.counters["files"] = static_cast<double>(c.xml.size());
  state.counters["invalid"] = static_cast<double>(invalid);
}

void BM_Validate(benchmark::State& state, Corpus* c) {
  std::size_t invalid = 0;
  for (auto _ : state) {
    invalid = 0;
    for (const std::string& xml : c->xml) invalid += c->set->validate(xml.data(), xml.size()).empty() ? 0 : 1;
  }
  count(state, *c, invalid);
}

void parseAll(benchmark::State& state, Corpus* c, bool validate) {
  wfxml::Session session(*c->set);
  wfxml::Message message = wfxml::Message::create(*c->set, c->set->messageNames().front());
  wfxml::ParseOptions options;
  options.validate = validate;
  std::size_t invalid = 0;
  for (auto _ : state) {
    invalid = 0;
    for (const std::string& xml : c->xml) {
      try {
        session.parse(xml.data(), xml.size(), message, options);
      } catch (const wfxml::Error&) {
        ++invalid;
      }
    }
  }
  count(state, *c, invalid);
}

void BM_ParseAndValidate(benchmark::State& state, Corpus* c) { parseAll(state, c, true); }
void BM_Parse(benchmark::State& state, Corpus* c) { parseAll(state, c, false); }

// Runs validateOne (true: valid) over every document with one libxml2
// validation context, the schema parsed once.
template <typename ValidateOne>
void libxml2Validate(benchmark::State& state, Corpus* c, ValidateOne validateOne) {
  std::unique_ptr<xmlSchemaValidCtxt, ValidContextFree> context(xmlSchemaNewValidCtxt(c->libxml2Schema.get()));
  xmlSchemaSetValidErrors(context.get(), silence, silence, nullptr);
  std::size_t invalid = 0;
  for (auto _ : state) {
    invalid = 0;
    for (const std::string& xml : c->xml) invalid += validateOne(context.get(), xml) ? 0 : 1;
  }
  count(state, *c, invalid);
}

void BM_Libxml2ReadValidate(benchmark::State& state, Corpus* c) {
  libxml2Validate(state, c, [](xmlSchemaValidCtxt* context, const std::string& xml) {
    xmlDoc* doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "doc.xml", nullptr, XML_PARSE_NONET);
    const bool valid = doc != nullptr && xmlSchemaValidateDoc(context, doc) == 0;
    xmlFreeDoc(doc);
    return valid;
  });
}

void BM_Libxml2Stream(benchmark::State& state, Corpus* c) {
  libxml2Validate(state, c, [](xmlSchemaValidCtxt* context, const std::string& xml) {
    xmlParserInputBuffer* input =
        xmlParserInputBufferCreateMem(xml.data(), static_cast<int>(xml.size()), XML_CHAR_ENCODING_NONE);
    return xmlSchemaValidateStream(context, input, XML_CHAR_ENCODING_NONE, nullptr, nullptr) == 0;
  });
}

const char* const kCases[] = {"validate", "parse-validate", "parse", "json-validate", "json"};

// One pass over a corpus: what (one of kCases).
void pass(const std::string& what, Corpus& c, wfxml::Session& session, wfxml::Message& message) {
  wfxml::ParseOptions options;
  options.validate = what == "parse-validate" || what == "json-validate";
  const bool json = what.compare(0, 4, "json") == 0;
  for (const std::string& xml : c.xml) {
    if (what == "validate") {
      c.set->validate(xml.data(), xml.size());
      continue;
    }
    try {
      if (json) {
        session.toJson(xml.data(), xml.size(), options);
      } else {
        session.parse(xml.data(), xml.size(), message, options);
      }
    } catch (const wfxml::Error&) {
    }
  }
}

__attribute__((noinline)) void repeatCase(const std::string& what, Corpus& c, wfxml::Session& session,
                                          wfxml::Message& message, long count) {
  for (long i = 0; i < count; ++i) pass(what, c, session, message);
}

// --repeat N --case WHAT/CORPUS; 2 on a case it does not know.
int repeat(const std::vector<Corpus*>& present, long count, const std::string& chosen) {
  const std::string what = chosen.substr(0, chosen.find('/'));
  for (Corpus* c : present) {
    if (chosen != what + "/" + c->label || std::find(std::begin(kCases), std::end(kCases), what) == std::end(kCases))
      continue;
    wfxml::Session session(*c->set);
    wfxml::Message message = wfxml::Message::create(*c->set, c->set->messageNames().front());
    pass(what, *c, session, message);  // warm
    repeatCase(what, *c, session, message, count);
    return 0;
  }
  std::fprintf(stderr, "usage: validation_bench --repeat N --case validate|parse-validate|parse|json-validate|json/CORPUS\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  xmlSetGenericErrorFunc(nullptr, silence);
  if (argc == 5 && std::string(argv[1]) == "--repeat" && std::string(argv[3]) == "--case") {
    return repeat(corpora(), std::atol(argv[2]), argv[4]);
  }
  benchmark::Initialize(&argc, argv);
  const std::vector<Corpus*> present = corpora();
  if (present.empty()) std::fprintf(stderr, "the corpora are not present (WF_CORPORA_DIR)\n");
  for (Corpus* c : present) {
    const std::string label = c->label;
    benchmark::RegisterBenchmark(("BM_Validate/" + label).c_str(), BM_Validate, c)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_ParseAndValidate/" + label).c_str(), BM_ParseAndValidate, c)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_Parse/" + label).c_str(), BM_Parse, c)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_Libxml2ReadValidate/" + label).c_str(), BM_Libxml2ReadValidate, c)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_Libxml2Stream/" + label).c_str(), BM_Libxml2Stream, c)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

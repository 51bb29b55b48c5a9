// Throughput of the output text layer: UTF-16 to code-page conversion in
// large chunks, and the printer's batching of small pieces.
//
// Data: a business-style document of ~4 MB of UTF-16 text, markup and
// values in ASCII with one Latin-1 accent per record and one character per
// record that code page 500 lacks (written as a character reference there).
// Rates are in characters of the document per second.
#include "bitstreambuffer.h"
#include "textbufferwriter.h"
#include "xmlprinter.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr std::size_t RECORDS = 40000;

// The pieces of one record as the writer appends them: tags, punctuation,
// names and values.
const std::vector<std::u16string>& recordPieces() {
  static const std::vector<std::u16string> pieces = {
      u"<", u"Order", u" ", u"id", u"=", u"\"", u"A-10042", u"\"", u">",
      u"<", u"Customer", u">", u"M\u00fcller & S\u00f6hne GmbH", u"<", u"/", u"Customer", u">",
      u"<", u"Amount", u">", u"1234.50", u"<", u"/", u"Amount", u">",
      u"<", u"Note", u">", u"Delivery to dock 7 before noon \u2013 call ahead", u"<", u"/", u"Note", u">",
      u"<", u"/", u"Order", u">"};
  return pieces;
}

const std::u16string& wholeDocument() {
  static const std::u16string document = [] {
    std::u16string text;
    for (std::size_t i = 0; i < RECORDS; ++i)
      for (const auto& piece : recordPieces()) text += piece;
    return text;
  }();
  return document;
}

void BM_ConvertWhole(benchmark::State& state) {
  const long ccsid = state.range(0);
  const std::u16string& document = wholeDocument();
  WritableBitstreamBuffer out;
  out.reserve(document.size() * 4);
  for (auto _ : state) {
    out.clear();
    TextBufferWriter writer(&out, ccsid, 2);
    // Chunks of one batch, as the printer hands them over.
    for (std::size_t at = 0; at < document.size(); at += TextBufferWriter::DEFAULT_PENDING_CAPACITY)
      writer.appendStr(document.data() + at, std::min(TextBufferWriter::DEFAULT_PENDING_CAPACITY, document.size() - at));
    writer.flush();
    benchmark::DoNotOptimize(out.getData());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document.size()));
}
BENCHMARK(BM_ConvertWhole)->Arg(1208)->Arg(1200)->Arg(500)->Arg(943)->Unit(benchmark::kMillisecond);

// The printer path: every piece appended on its own, values escaped.
void BM_PrinterPieces(benchmark::State& state) {
  const long ccsid = state.range(0);
  const auto capacity = static_cast<std::size_t>(state.range(1));
  const auto& pieces = recordPieces();
  WritableBitstreamBuffer out;
  out.reserve(wholeDocument().size() * 4);
  for (auto _ : state) {
    out.clear();
    TextBufferWriter writer(&out, ccsid, 2, capacity);
    for (std::size_t i = 0; i < RECORDS; ++i) {
      for (const auto& piece : pieces) {
        if (piece.size() > 2)
          XMLPrinter::appendReplaceStr(&writer, piece);
        else
          XMLPrinter::appendStr(&writer, piece);
      }
    }
    writer.flush();
    benchmark::DoNotOptimize(out.getData());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wholeDocument().size()));
}
BENCHMARK(BM_PrinterPieces)
    ->Args({1208, 1024})
    ->Args({1208, TextBufferWriter::DEFAULT_PENDING_CAPACITY})
    ->Args({1208, 65536})
    ->Args({500, TextBufferWriter::DEFAULT_PENDING_CAPACITY})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

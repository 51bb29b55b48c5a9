// Cost of one value conversion on the parse and write paths. Each case
// converts a small table of typical values round robin with one converter
// and one scratch string, as the parse handler and the writer do.
#include "base64converter.h"
#include "datacnv.h"

#include <benchmark/benchmark.h>

#include <string_view>
#include <vector>

namespace {

DataCnv makeDataCnv() { return DataCnv(1200, 2, 1, 53, nullptr, false, nullptr, 0, true, 12, false, 0, nullptr); }

const std::u16string_view kIntegers[] = {u"0", u"42", u"-17", u"1234567890", u"9223372036854775807"};
const std::u16string_view kDoubles[] = {u"0.1", u"3.14159", u"-2.5E-3", u"1E21", u"123456.789"};
const std::u16string_view kDateTimes[] = {u"2024-02-29T12:34:56", u"2024-02-29T12:34:56.123+01:00", u"2024-12-31",
                                          u"23:59:59Z", u"--02-29"};
const std::u16string_view kPatternDates[] = {u"2024-02-29 12:34:56", u"1999-12-31 23:59:59", u"2000-01-01 00:00:00"};
const std::u16string_view kDurations[] = {u"P1Y2M3DT4H5M6.789S", u"-P10D", u"PT0S", u"PT36H"};

template <std::size_t N, class Convert>
void roundRobin(benchmark::State& state, const std::u16string_view (&texts)[N], Convert convert) {
  std::size_t i = 0;
  for (auto _ : state) {
    const std::u16string_view text = texts[i];
    benchmark::DoNotOptimize(convert(text));
    i = i + 1 == N ? 0 : i + 1;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_StrToInt64(benchmark::State& state) {
  const DataCnv cnv = makeDataCnv();
  roundRobin(state, kIntegers, [&](std::u16string_view t) {
    return cnv.StrToInt64(t.data(), t.size(), 3, DataCnv::US_MINUS, DataCnv::US_PLUS, 0, 1, u'0', true);
  });
}
BENCHMARK(BM_StrToInt64);

void BM_StrToDbl(benchmark::State& state) {
  const DataCnv cnv = makeDataCnv();
  roundRobin(state, kDoubles, [&](std::u16string_view t) { return cnv.StrToDbl(t.data(), t.size()); });
}
BENCHMARK(BM_StrToDbl);

void BM_StrFromDbl(benchmark::State& state) {
  const DataCnv cnv = makeDataCnv();
  ZelBufferedWstring<32> out;
  double value = 0.1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(cnv.StrFromDbl(value, out).data());
    value = value * 1.0001 + 0.37;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StrFromDbl);

void BM_StrToDateTimeSchema(benchmark::State& state) {
  const DataCnv cnv = makeDataCnv();
  roundRobin(state, kDateTimes, [&](std::u16string_view t) {
    return cnv.StrToDateTime(t.data(), DataCnv::XML_SCHEMA_FORMAT, static_cast<long>(t.size()));
  });
}
BENCHMARK(BM_StrToDateTimeSchema);

void BM_StrFromDateTimeSchema(benchmark::State& state) {
  const DataCnv cnv = makeDataCnv();
  std::vector<PWFDateTime> values;
  for (const auto text : kDateTimes)
    values.push_back(cnv.StrToDateTime(text.data(), u"I", static_cast<long>(text.size())).getDateTimeValue());
  ZelBufferedWstring<64> out;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(cnv.StrFromDateTime(values[i], u"I", nullptr, out).data());
    i = i + 1 == values.size() ? 0 : i + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StrFromDateTimeSchema);

// The same values through a cached ICU pattern, for comparison.
void BM_StrToDateTimePattern(benchmark::State& state) {
  const DataCnv cnv = makeDataCnv();
  roundRobin(state, kPatternDates, [&](std::u16string_view t) {
    return cnv.StrToDateTime(t.data(), u"yyyy-MM-dd HH:mm:ss", static_cast<long>(t.size()));
  });
}
BENCHMARK(BM_StrToDateTimePattern);

void BM_StrFromDateTimePattern(benchmark::State& state) {
  const DataCnv cnv = makeDataCnv();
  const PWFDateTime value = cnv.StrToDateTime(u"2024-02-29T12:34:56", u"I", -1).getDateTimeValue();
  ZelBufferedWstring<64> out;
  for (auto _ : state)
    benchmark::DoNotOptimize(cnv.StrFromDateTime(value, u"yyyy-MM-dd HH:mm:ss", nullptr, out).data());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StrFromDateTimePattern);

void BM_StrToInterval(benchmark::State& state) {
  const DataCnv cnv = makeDataCnv();
  roundRobin(state, kDurations, [&](std::u16string_view t) { return cnv.StrToInterval(t.data(), t.size()); });
}
BENCHMARK(BM_StrToInterval);

// Base64 of a 3 KiB binary value, both directions; bytes/s counts the binary side.
void BM_Base64(benchmark::State& state) {
  std::vector<std::uint8_t> bytes(3072);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31);
  ZelWstring text;
  for (auto _ : state) {
    CPBase64Converter::binToBase64(bytes.data(), bytes.size(), text);
    benchmark::DoNotOptimize(CPBase64Converter::binFromBase64(text.data(), text.length()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Base64);

}  // namespace

BENCHMARK_MAIN();

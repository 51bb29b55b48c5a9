#ifndef TESTS_API_APITESTSUPPORT_H
#define TESTS_API_APITESTSUPPORT_H

#include "corpora/xsdsuite.h"
#include "e2e/e2esupport.h"
#include "wfxml/wfxml.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// tests/data/kinds: a schema with one element of every value kind (and an
// attribute), the message set compiled from it, and a document that fills
// every element.
extern const std::string_view kKindsDocument;
const wfxml::MessageSet& kindsMessageSet();
const wfxml::Message& kindsMessage();  // the document parsed once
const wfxml::MessageSet& typedMessageSet();  // tests/data/typed/typed.xsd
// The message set of one source file, compiled on first use and kept.
const wfxml::MessageSet& compiledOnce(const std::string& sourcePath);

// The corpus tests take every N-th document (the sanitizer build every 25th).
constexpr std::size_t kTypedCorpusSample = WF_TYPED_CORPUS_SAMPLE;

// A parse's events as lines: depth, kind, name, namespace, marks and value text.
std::vector<std::string> eventLines(const wfxml::MessageSet& set, std::string_view document);

// The message set of a W3C suite group's schemas, its validator's grammar
// loaded; none when either fails.
std::optional<wfxml::MessageSet> compiledSuiteSet(const XsdSuiteGroup& group);

// UTF-8, with the schema's checks on or off.
inline wfxml::WriteOptions checkedWrite(bool check) {
  wfxml::WriteOptions options;
  options.check = check;
  return options;
}

inline std::vector<std::uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

// Text in a code page (UTF-8 in; in EBCDIC U+0085 is NL and '\n' LF).
inline std::string inCodePage(std::string_view text, const char* codePage) {
  std::string bytes(4 * text.size(), '\0');
  UErrorCode status = U_ZERO_ERROR;
  bytes.resize(static_cast<std::size_t>(ucnv_convert(codePage, "UTF-8", bytes.data(), static_cast<int32_t>(bytes.size()),
                                                     text.data(), static_cast<int32_t>(text.size()), &status)));
  EXPECT_TRUE(U_SUCCESS(status)) << codePage;
  return bytes;
}
inline std::string textOf(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// A document's typed JSON straight from the parse; the message tree's walk
// must give the same text.
inline std::string typedJson(const wfxml::MessageSet& set, const void* xml, std::size_t size) {
  wfxml::Session session(set);
  const std::string json = session.toJson(xml, size);
  EXPECT_EQ(session.toJson(session.parse(xml, size)), json) << "the tree path differs";
  return json;
}

// The Error that call throws; fails the test when it throws none.
template <class Call>
wfxml::Error errorOf(Call&& call) {
  try {
    call();
  } catch (const wfxml::Error& e) {
    return e;
  }
  ADD_FAILURE() << "no wfxml::Error thrown";
  return wfxml::Error("", 0, {}, "");
}

#endif

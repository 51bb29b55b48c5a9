// Arbitrary bytes as a document of one message set (tests/data/typed), its
// records read piece by piece: cut between records at any piece size and
// fed in chunks of any size, the pieces give exactly the records of the
// whole document, or fail where and as the whole document's conversion does.
// Exceptions: a byte that is not of the document's code page, which both
// refuse, each at the first fault its reading meets (the scanner decodes a
// block of bytes ahead of what it has parsed, and the blocks of a piece are
// not the whole document's: either may meet the byte or a fault of the
// markup before it first);
// and, in a document the schema refuses, records inside an element of a
// simple type (each piece converts that element with its own part of the
// element's text) and records after text inside element-only content. The
// first two bytes choose the record and the chunk and piece sizes.
#include "typedsupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Outcome {
  std::vector<std::string> records;
  std::string error;  // empty: converted
  bool undecodable = false;
  bool unconvertible = false;  // a value that does not fit its type
};

// The scanner's code for a byte its transcoder cannot decode (Xerces-C's
// XMLExcepts: Trans_Unrepresentable to Trans_BadTrailingSurrogate and
// UTF8_FormatError to UTF8_Exceeds_BytesLimit) is its second insert.
bool isUndecodable(const wfxml::Error& e) {
  if (e.key() != "CP_XML_XERCES_PARSER_EXCEPTION" || e.inserts().size() < 2) return false;
  const std::string& code = e.inserts()[1];
  return code == "77" || code == "78" || code == "79" || code == "80" || (code.size() == 2 && code >= "89" && code <= "93");
}

std::string described(const wfxml::Error& e) {
  return e.key() + " at " + std::to_string(e.line()) + ":" + std::to_string(e.column()) + " " + e.what();
}

std::string shown(const Outcome& outcome) {
  std::string text = outcome.error.empty() ? "converted" : outcome.error;
  for (const std::string& record : outcome.records) text += "\n  " + record;
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* const kRecords[] = {"party", "name", "line/price", "/order/line", "note", "order", "b", "memo"};
  if (size < 2) return 0;
  const std::string_view record = kRecords[data[0] % std::size(kRecords)];
  const std::size_t chunk = 1 + (data[0] >> 3) * 3;  // 1 to 94 bytes
  const std::size_t pieceSize = data[1];
  const std::string_view xml(reinterpret_cast<const char*>(data) + 2, size - 2);

  wfxml::Session session(typedSet());
  Outcome whole;
  try {
    session.toJsonRecords(xml.data(), xml.size(), record, [&](std::string_view json) { whole.records.emplace_back(json); });
  } catch (const wfxml::Error& e) {
    whole.error = described(e);
    whole.undecodable = isUndecodable(e);
    whole.unconvertible = e.key() == "CP_XML_DATA_READ_CONVERSION_ERROR";
  }

  Outcome pieces;
  std::size_t at = 0;
  try {
    wfxml::RecordReader reader(record, [&] {
      const std::string_view next = xml.substr(at, chunk);
      at += next.size();
      return next;
    }, {}, pieceSize);
    while (reader.nextJson(session, [&](std::string_view json) { pieces.records.emplace_back(json); })) {
    }
  } catch (const wfxml::Error& e) {
    pieces.error = described(e);
    pieces.undecodable = isUndecodable(e);
    pieces.unconvertible = e.key() == "CP_XML_DATA_READ_CONVERSION_ERROR";
  }
  const bool undecodable = whole.undecodable || pieces.undecodable;
  bool same = undecodable ? !pieces.error.empty() && !whole.error.empty()
                          : pieces.records == whole.records && pieces.error == whole.error;
  // Records inside an element of a simple type: the pieces refuse where the
  // whole converts, or both refuse, each where its part of the text fails
  // (a piece's part may convert, and the piece fail at a later fault).
  const auto isPrefix = [](const std::vector<std::string>& some, const std::vector<std::string>& all) {
    return some.size() <= all.size() && std::equal(some.begin(), some.end(), all.begin());
  };
  const bool prefix = isPrefix(pieces.records, whole.records);
  const bool refusedByPieces =
      (pieces.unconvertible && (prefix || whole.unconvertible)) ||
      (whole.unconvertible && !pieces.error.empty() && (prefix || isPrefix(whole.records, pieces.records)));
  // In a document the schema refuses, text inside element-only content
  // makes the whole document's element mixed content from there on, which
  // a piece without that text does not see: as many records, spelled
  // otherwise ("name" for "t:name").
  const bool spelledOtherwise = pieces.records.size() == whole.records.size() && pieces.error == whole.error;
  if (!same && (refusedByPieces || spelledOtherwise)) same = !typedSet().validate(xml.data(), xml.size()).empty();
  if (!same)
    finding("the pieces' records differ from the whole document's",
            "record " + std::string(record) + ", chunks of " + std::to_string(chunk) + ", pieces of " +
                std::to_string(pieceSize) + "\nwhole: " + shown(whole) + "\npieces: " + shown(pieces));
  return 0;
}

// Arbitrary bytes as a document of one message set (tests/data/typed), to
// typed JSON: the one-pass conversion gives what the parse into a message
// and its JSON give, or refuses as that parse does; the message element as
// a record is the whole document's JSON; and JSON that builds again writes a
// document that reads back to the same JSON, so no value is lost or changed.
#include "wfxml/wfxml.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

const wfxml::MessageSet& typedSet() {
  static const wfxml::MessageSet set = wfxml::MessageSet::compile({std::string(WF_TEST_DATA_DIR) + "/typed/typed.xsd"});
  return set;
}

[[noreturn]] void finding(const std::string& what, const std::string& detail) {
  std::fprintf(stderr, "%s\n%s\n", what.c_str(), detail.c_str());
  std::abort();
}

std::string described(const wfxml::Error& e) { return e.key() + " " + e.what(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wfxml::Session session(typedSet());
  std::optional<std::string> direct;
  std::optional<wfxml::Error> directError;
  try {
    direct = session.toJson(data, size);
  } catch (const wfxml::Error& e) {
    directError = e;
  }
  std::string viaMessage;
  try {
    viaMessage = session.toJson(session.parse(data, size));
  } catch (const wfxml::Error& e) {
    if (!directError) finding("only the parse into a message refuses", described(e));
    if (described(e) != described(*directError))
      finding("the two conversions refuse differently", described(e) + "\n" + described(*directError));
    return 0;
  }
  if (!direct) finding("only the one-pass conversion refuses", described(*directError) + "\n" + viaMessage);
  if (*direct != viaMessage) finding("the two conversions differ", *direct + "\n" + viaMessage);

  if (direct->rfind("{\"order\":", 0) == 0) {
    std::vector<std::string> records;
    session.toJsonRecords(data, size, "/order", [&](std::string_view json) { records.emplace_back(json); });
    if (records != std::vector<std::string>{*direct}) finding("the message element as a record differs", *direct);
  }

  // What the schema forbids may be refused (the parse reads what the
  // schema's tables allow); what builds must come back unchanged.
  std::optional<wfxml::Message> built;
  try {
    built.emplace(session.fromJson(*direct));
  } catch (const wfxml::Error& e) {
    if (e.key() != "CP_JSON_MISMATCH") finding("the JSON is refused without naming its path", described(e) + "\n" + *direct);
    return 0;
  }
  std::vector<std::uint8_t> xml;
  try {
    xml = session.write(*built);
  } catch (const wfxml::Error& e) {
    if (e.key() == "CP_JSON_MISMATCH") return 0;  // the check of the document written
    finding("JSON that builds cannot be written", described(e) + "\n" + *direct);
  }
  std::string back;
  try {
    back = session.toJson(xml.data(), xml.size());
  } catch (const wfxml::Error& e) {
    finding("the document written does not read back", described(e) + "\n" + std::string(xml.begin(), xml.end()));
  }
  if (back != *direct) finding("the document written reads back to other JSON", *direct + "\n" + back);
  return 0;
}

#ifndef WFXML_SRC_JSONTEXT_H
#define WFXML_SRC_JSONTEXT_H

// Typed data as JSON text, both ways.

#include "wfxml/wfxml.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {

// Keys as JSON text writes them ("name":), kept from message to message by
// the address of their name: the typed walk hands most names out of the
// schema view, from the same address every time. A slot still compares the
// text, for names in a reused buffer.
class JsonKeyTexts {
public:
  std::string_view find(std::string_view name);

private:
  struct Slot {
    const char* source = nullptr;
    std::string name;
    std::string text;  // empty: unused
  };
  static constexpr int kBits = 10;
  std::unique_ptr<Slot[]> slots_;  // made on the first key
};

// Appends the typed data it is given to out as compact JSON text: integers,
// big integers and decimals with exactly their digits, doubles in their
// shortest exact form ("INF", "-INF" and "NaN" as strings), binary as base64
// text.
class JsonTextWriter final : public TypedDataHandler {
public:
  // keys, when given, keeps the keys' text between writers.
  explicit JsonTextWriter(std::string& out, JsonKeyTexts* keys = nullptr) : out_(out), keys_(keys) {}

  void startObject() override;
  void key(std::string_view name) override;
  void endObject() override;
  void startArray() override;
  void endArray() override;
  void null() override;
  void boolean(bool value) override;
  void integer(std::int64_t value) override;
  void bigInteger(std::string_view digits) override;
  void decimal(std::string_view digits) override;
  void number(double value) override;
  void string(std::string_view text) override;
  void binary(const std::uint8_t* bytes, std::size_t size) override;

private:
  void separate();
  void quoted(std::string_view text);

  std::string& out_;
  JsonKeyTexts* keys_;
  std::vector<bool> first_;  // per open object or array: nothing written in it yet
  bool afterKey_ = false;
};

// Reads JSON text and reports it to out: integers of 64 bits as integer(),
// longer ones as bigInteger(), numbers with a point or exponent as decimal()
// with their text (so no digit is lost), strings as string(). Malformed text
// is refused with Error CP_JSON_MISMATCH, inserts: the JSON path where it
// went wrong, what is wrong (with the byte offset). What out throws passes
// through.
void readJsonText(std::string_view json, TypedDataHandler& out);

}  // namespace wfxml::detail

#endif

#include "jsontext.h"

#include "base64converter.h"
#include "error.h"
#include "jsonpath.h"
#include "zelexception.h"
#include "zelwstring.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <map>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>

namespace wfxml::detail {

void JsonTextWriter::separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (first_.empty()) return;
  if (!first_.back()) out_ += ',';
  first_.back() = false;
}

namespace {

void appendQuoted(std::string& out, std::string_view text) {
  out += '"';
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text.data() + run, i - run);
    run = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        out += escape;
      }
    }
  }
  out.append(text.data() + run, text.size() - run);
  out += '"';
}

}  // namespace

void JsonTextWriter::quoted(std::string_view text) { appendQuoted(out_, text); }

void JsonTextWriter::startObject() {
  separate();
  out_ += '{';
  first_.push_back(true);
}

std::string_view JsonKeyTexts::find(std::string_view name) {
  if (!slots_) slots_ = std::make_unique<Slot[]>(std::size_t{1} << kBits);
  const std::uint64_t address = reinterpret_cast<std::uintptr_t>(name.data()) ^ name.size();
  Slot& slot = slots_[(address * 0x9E3779B97F4A7C15u) >> (64 - kBits)];
  if (slot.source == name.data() && slot.name == name && !slot.text.empty()) return slot.text;
  slot.source = name.data();
  slot.name = name;
  slot.text.clear();
  appendQuoted(slot.text, name);
  slot.text += ':';
  return slot.text;
}

void JsonTextWriter::key(std::string_view name) {
  separate();
  if (keys_) {
    out_ += keys_->find(name);
  } else {
    quoted(name);
    out_ += ':';
  }
  afterKey_ = true;
}

void JsonTextWriter::endObject() {
  out_ += '}';
  first_.pop_back();
}

void JsonTextWriter::startArray() {
  separate();
  out_ += '[';
  first_.push_back(true);
}

void JsonTextWriter::endArray() {
  out_ += ']';
  first_.pop_back();
}

void JsonTextWriter::null() {
  separate();
  out_ += "null";
}

void JsonTextWriter::boolean(bool value) {
  separate();
  out_ += value ? "true" : "false";
}

void JsonTextWriter::integer(std::int64_t value) {
  separate();
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out_.append(digits, end);
}

void JsonTextWriter::bigInteger(std::string_view digits) {
  separate();
  out_ += digits;
}

void JsonTextWriter::decimal(std::string_view digits) {
  separate();
  out_ += digits;
}

void JsonTextWriter::number(double value) {
  separate();
  if (std::isnan(value)) {
    out_ += "\"NaN\"";
  } else if (std::isinf(value)) {
    out_ += value < 0 ? "\"-INF\"" : "\"INF\"";
  } else {
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out_.append(digits, end);
  }
}

void JsonTextWriter::string(std::string_view text) {
  separate();
  quoted(text);
}

void JsonTextWriter::binary(const std::uint8_t* bytes, std::size_t size) {
  separate();
  ZelWstring text;
  CPBase64Converter::binToBase64(bytes, size, text);
  quoted(text.toUtf8());
}

namespace {

// JSON whose numbers the lexer reads as long double: only the text of a
// number is used, and a double's range would refuse decimals of 309 digits
// as an overflow although they are valid values.
using WideJson = nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t, std::uint64_t, long double>;

// Numbers beyond a long double's range too (an integer of 4,933 digits, as
// an unbounded xs:integer may have) are parsed as a number of their length
// that it holds ("0.000..."), so that errors keep their places; their text
// is kept here, by their place among the document's numbers.
class OversizedNumbers {
public:
  explicit OversizedNumbers(std::string_view json) : json_(json) {
    std::size_t number = 0;
    for (std::size_t i = 0; i < json.size(); ++i) {
      const char c = json[i];
      if (c == '"') {
        for (++i; i < json.size() && json[i] != '"'; ++i)
          if (json[i] == '\\') ++i;
      } else if (c == '-' || isDigit(c)) {
        const std::size_t end = json.find_first_not_of("0123456789+-.eE", i);
        const std::string_view token = json.substr(i, end == std::string_view::npos ? end : end - i);
        if (mayBeBeyondLongDouble(token) && isJsonNumber(token) && beyondLongDouble(token)) {
          if (copy_.empty()) copy_.assign(json);
          copy_.replace(i, token.size(), "0." + std::string(token.size() - 2, '0'));
          kept_.emplace(number, token);
        }
        ++number;
        i += token.size() - 1;
      }
    }
  }
  std::string_view json() const { return copy_.empty() ? json_ : std::string_view(copy_); }
  // The text of the document's number-th number (from 0), parsed as parsed.
  std::string_view text(std::size_t number, std::string_view parsed) const {
    const auto kept = kept_.find(number);
    return kept == kept_.end() ? parsed : kept->second;
  }

private:
  static bool isDigit(char c) { return c >= '0' && c <= '9'; }
  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?, the rest left to the parser's errors.
  static bool isJsonNumber(std::string_view token) {
    std::size_t i = token.front() == '-' ? 1 : 0;
    const auto digits = [&] {
      const std::size_t start = i;
      while (i < token.size() && isDigit(token[i])) ++i;
      return i - start;
    };
    const std::size_t start = i;
    if (digits() == 0 || (token[start] == '0' && i - start > 1)) return false;
    if (i < token.size() && token[i] == '.' && (++i, digits() == 0)) return false;
    if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
      ++i;
      if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
      if (digits() == 0) return false;
    }
    return i == token.size();
  }
  // Most numbers are short and have no exponent: nothing more to look at.
  static bool mayBeBeyondLongDouble(std::string_view token) {
    return token.size() > 2 && (token.size() > kBeyondDigits || token.find_first_of("eE") != std::string_view::npos);
  }
  // Whether its magnitude reaches 10^4900 (a long double ends near 1.19e4932).
  static constexpr long kBeyondDigits = 4900;
  static bool beyondLongDouble(std::string_view token) {
    const std::size_t exponentAt = token.find_first_of("eE");
    const std::string_view mantissa = token.substr(0, exponentAt);
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) return false;
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    long magnitude = point > first ? static_cast<long>(point - first) : -static_cast<long>(first - point);
    if (exponentAt != std::string_view::npos) {
      std::string_view exponent = token.substr(exponentAt + 1);
      if (!exponent.empty() && exponent.front() == '+') exponent.remove_prefix(1);
      long value = 0;
      const auto [end, fault] = std::from_chars(exponent.data(), exponent.data() + exponent.size(), value);
      if (fault == std::errc::result_out_of_range) return exponent.front() != '-';
      if (fault != std::errc() || end != exponent.data() + exponent.size()) return false;
      if (value > kBeyondDigits) return true;
      magnitude += value;
    }
    return magnitude > kBeyondDigits;
  }

  std::string_view json_;
  std::string copy_;                             // the JSON with placeholders, where any was needed
  std::map<std::size_t, std::string_view> kept_;  // number's place: its text in json_
};

// nlohmann's SAX events to typed data, with the path for syntax errors.
class SaxReader {
public:
  using Json = WideJson;
  SaxReader(TypedDataHandler& out, const OversizedNumbers& oversized) : out_(out), oversized_(oversized) {}

  bool null() { return value([&] { out_.null(); }); }
  bool boolean(bool v) { return value([&] { out_.boolean(v); }); }
  // Non-negative integers come to number_unsigned: a zero here was "-0",
  // the negative zero of a float or double (or a decimal's "-0"), which the
  // integer 0 would lose.
  bool number_integer(Json::number_integer_t v) {
    ++numbers_;
    return value([&] { v == 0 ? out_.bigInteger("-0") : out_.integer(v); });
  }
  bool number_unsigned(Json::number_unsigned_t v) {
    ++numbers_;
    return value([&] {
      if (v <= static_cast<Json::number_unsigned_t>(std::numeric_limits<std::int64_t>::max())) {
        out_.integer(static_cast<std::int64_t>(v));
      } else {
        out_.bigInteger(std::to_string(v));
      }
    });
  }
  // Called with the number's own text: a number without point or exponent
  // got here only because it is beyond 64 bits.
  bool number_float(Json::number_float_t, const Json::string_t& parsed) {
    const std::string_view text = oversized_.text(numbers_++, parsed);
    return value([&] {
      if (text.find_first_of(".eE") == std::string_view::npos) {
        out_.bigInteger(text);
      } else {
        out_.decimal(text);
      }
    });
  }
  bool string(Json::string_t& text) { return value([&] { out_.string(text); }); }
  bool binary(Json::binary_t&) { return false; }  // not in JSON text
  bool start_object(std::size_t) {
    out_.startObject();
    path_.open(false);
    return true;
  }
  bool key(Json::string_t& name) {
    path_.key(name);
    out_.key(name);
    return true;
  }
  bool end_object() {
    out_.endObject();
    path_.close();
    return true;
  }
  bool start_array(std::size_t) {
    out_.startArray();
    path_.open(true);
    return true;
  }
  bool end_array() {
    out_.endArray();
    path_.close();
    return true;
  }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) {
    std::string what = e.what();
    // "[json.exception.parse_error.101] parse error at line 1, column 3: ...": the
    // line and column say where, the byte offset would say it again.
    const std::size_t tag = what.find("] ");
    if (tag != std::string::npos) what.erase(0, tag + 2);
    const std::string_view prefix = "parse error ";
    if (what.rfind("parse error at line", 0) == 0) what.erase(0, prefix.size());
    else what = "at byte " + std::to_string(position) + ": " + what;
    throwError(__FILE__, __LINE__, "readJsonText", ZelMessages::CP_JSON_MISMATCH, {path_.text(), "malformed JSON " + what});
  }

private:
  template <class Report>
  bool value(Report&& report) {
    report();
    path_.valueDone();
    return true;
  }

  TypedDataHandler& out_;
  const OversizedNumbers& oversized_;
  std::size_t numbers_ = 0;  // the numbers read so far
  JsonPath path_;
};

}  // namespace

namespace {
// The encoding of JSON text in UTF-16 or UTF-32, by its byte-order mark or,
// without one, by the zero bytes of its first character (RFC 4627, 3); null
// for anything else. Its first bytes would read as malformed UTF-8.
const char* wideJsonEncoding(std::string_view json) {
  const auto at = [&](std::size_t i) { return i < json.size() ? static_cast<unsigned char>(json[i]) : 0x100u; };
  if (at(0) == 0x00 && at(1) == 0x00 && at(2) == 0xFE && at(3) == 0xFF) return "UTF-32BE";
  if (at(0) == 0xFF && at(1) == 0xFE && at(2) == 0x00 && at(3) == 0x00) return "UTF-32LE";
  if (at(0) == 0xFE && at(1) == 0xFF) return "UTF-16BE";
  if (at(0) == 0xFF && at(1) == 0xFE) return "UTF-16LE";
  if (json.size() < 4) return nullptr;
  if (at(0) == 0x00 && at(1) == 0x00 && at(2) == 0x00 && at(3) != 0x00) return "UTF-32BE";
  if (at(0) != 0x00 && at(1) == 0x00 && at(2) == 0x00 && at(3) == 0x00) return "UTF-32LE";
  if (at(0) == 0x00 && at(1) != 0x00) return "UTF-16BE";
  if (at(0) != 0x00 && at(1) == 0x00) return "UTF-16LE";
  return nullptr;
}
}  // namespace

void readJsonText(std::string_view json, TypedDataHandler& out) {
  if (const char* encoding = wideJsonEncoding(json))
    throwError(__FILE__, __LINE__, "readJsonText", ZelMessages::CP_JSON_MISMATCH,
               {"$", std::string("the JSON text is ") + encoding + "; JSON is read as UTF-8 (convert it to UTF-8 first)"});
  const OversizedNumbers oversized(json);
  SaxReader reader(out, oversized);
  const std::string_view parsed = oversized.json();
  WideJson::sax_parse(parsed.begin(), parsed.end(), &reader, WideJson::input_format_t::json, /*strict=*/true);
}

}  // namespace wfxml::detail

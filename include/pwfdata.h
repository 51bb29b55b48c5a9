#ifndef PWFDATA_H
#define PWFDATA_H

#include "zelapi.h"
#include "zelwstring.h"

#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// Logical types of values in the message tree. The numbers are fixed: they
// are stored in dictionaries and exchanged with plug-ins.
enum ELogicalType : long {
  eLogicalNone = 0,
  eLogicalString = 2,
  eLogicalInteger = 4,
  eLogicalFloat = 6,
  eLogicalBinary = 10,
  eLogicalBoolean = 12,
  eLogicalInterval = 14,
  eLogicalDateTime = 15,
  eLogicalDecimal = 16,
};

// "None", "String", "Integer", ... for each logical type; "ERROR: undefined"
// for a number that is no logical type.
ZEL_API const char* logicalTypeName(ELogicalType type);

// Byte order of a bitstream.
enum EEndian : long { eEndianNone = -1, eEndianLittle = 1, eEndianBig = 2 };

// A point in time as its text said it: absent fields hold kUnset, the
// fraction of a second keeps all its digits, and the zone stays as written.
// Nothing is normalised, so writing it back gives the same text.
struct ZEL_API PWFDateTime {
  static constexpr std::int32_t kUnset = INT32_MIN;
  std::int32_t year = kUnset;   // may be negative (years BCE)
  std::int32_t month = kUnset;
  std::int32_t day = kUnset;
  std::int32_t hour = kUnset;
  std::int32_t minute = kUnset;
  std::int32_t second = kUnset;
  std::string fraction;         // digits after the decimal point, e.g. "500"; empty = none
  std::string zone;             // "" none, "Z", or "+hh:mm" / "-hh:mm" as written

  bool hasDate() const { return year != kUnset && month != kUnset && day != kUnset; }
  bool hasTime() const { return hour != kUnset && minute != kUnset && second != kUnset; }
  bool operator==(const PWFDateTime& o) const;
  bool operator!=(const PWFDateTime& o) const { return !(*this == o); }
};

// A duration (xs:duration) as written: absent fields hold kUnset.
struct ZEL_API PWFInterval {
  static constexpr std::int32_t kUnset = INT32_MIN;
  bool negative = false;
  std::int32_t years = kUnset;
  std::int32_t months = kUnset;
  std::int32_t days = kUnset;
  std::int32_t hours = kUnset;
  std::int32_t minutes = kUnset;
  std::int32_t seconds = kUnset;
  std::string fraction;  // digits after the decimal point of the seconds

  bool operator==(const PWFInterval& o) const;
  bool operator!=(const PWFInterval& o) const { return !(*this == o); }
};

// A typed value of the message tree: a logical type and a value, or a
// logical type and null, or nothing at all (logical type None, no value).
class ZEL_API PWFData {
public:
  PWFData() = default;  // nothing

  static PWFData makeNull(ELogicalType type);
  static PWFData makeString(const char16_t* text, std::size_t length);
  static PWFData makeString(const ZelWstring& text) { return makeString(text.data(), text.length()); }
  // Makes this value a String of the text, reusing the storage of a String
  // it already holds: a caller that sends many strings through one value
  // allocates only when a text is longer than any before.
  void assignString(const char16_t* text, std::size_t length);
  static PWFData makeInteger(std::int64_t value);
  static PWFData makeFloat(double value);
  static PWFData makeBoolean(bool value);
  static PWFData makeBinary(std::vector<std::uint8_t> bytes);
  static PWFData makeInterval(const PWFInterval& value);
  static PWFData makeDateTime(const PWFDateTime& value);
  // A decimal keeps its text exactly (any number of digits).
  static PWFData makeDecimal(const ZelWstring& text);
  // Makes this value a Decimal of the text, reusing storage as assignString does.
  void assignDecimal(const char16_t* text, std::size_t length);
  // Make this value an Integer, Float, Boolean or DateTime in place: a value
  // that already holds one of the kind keeps its storage (a DateTime's
  // fraction and zone texts), so no temporary value is built and moved.
  void assignInteger(std::int64_t value);
  void assignFloat(double value);
  void assignBoolean(bool value);
  void assignDateTime(PWFDateTime&& value);
  // Untyped text (logical type None) that is not "nothing": the raw text of
  // a value whose type is unknown.
  static PWFData makeUntyped(const char16_t* text, std::size_t length);

  ELogicalType getDataLogicalType() const { return type_; }
  bool isNull() const { return type_ != eLogicalNone && std::holds_alternative<std::monostate>(value_); }
  bool isNothing() const { return type_ == eLogicalNone && std::holds_alternative<std::monostate>(value_); }

  // Getters: each is valid only for its own logical type (and not null); a
  // mismatch throws std::bad_variant_access.
  const char16_t* getStringValue() const;   // String, Decimal and untyped text
  std::size_t getStringLength() const;
  const ZelWstring& getText() const;        // the same as a string
  std::int64_t getIntegerValue() const { return std::get<std::int64_t>(value_); }
  double getFloatValue() const { return std::get<double>(value_); }
  bool getBooleanValue() const { return std::get<bool>(value_); }
  const std::vector<std::uint8_t>& getBinaryValue() const { return std::get<std::vector<std::uint8_t>>(value_); }
  const PWFInterval& getIntervalValue() const { return std::get<PWFInterval>(value_); }
  const PWFDateTime& getDateTimeValue() const { return std::get<PWFDateTime>(value_); }
  const ZelWstring& getDecimalValue() const { return getText(); }

  // The text the value was read from, kept where a writer would spell the
  // value otherwise (a boolean read as 1, a float in exponent form, a token
  // with more blanks than its value): writing it back gives the text that
  // was read. Null when none. Every assignment of a new value drops it.
  const ZelWstring* getLexicalForm() const { return lexical_.get(); }
  void setLexicalForm(std::u16string_view text);

  // Same logical type, same nullness and equal value (floats compare by
  // bits, so NaN equals NaN); lexical forms do not count.
  bool operator==(const PWFData& o) const;
  bool operator!=(const PWFData& o) const { return !(*this == o); }

private:
  using Value = std::variant<std::monostate, ZelWstring, std::int64_t, double, bool, std::vector<std::uint8_t>,
                             PWFInterval, PWFDateTime>;
  // Copied with the value; one pointer, null for nearly every value.
  class LexicalForm {
  public:
    LexicalForm() = default;
    LexicalForm(const LexicalForm& other) : text_(other.text_ ? std::make_unique<ZelWstring>(*other.text_) : nullptr) {}
    LexicalForm(LexicalForm&&) noexcept = default;
    LexicalForm& operator=(const LexicalForm& other) {
      if (this != &other) text_ = other.text_ ? std::make_unique<ZelWstring>(*other.text_) : nullptr;
      return *this;
    }
    LexicalForm& operator=(LexicalForm&&) noexcept = default;
    const ZelWstring* get() const { return text_.get(); }
    void reset() { text_.reset(); }
    void assign(std::u16string_view text) {
      if (text_) text_->assign(text);
      else text_ = std::make_unique<ZelWstring>(text);
    }

  private:
    std::unique_ptr<ZelWstring> text_;
  };
  ELogicalType type_ = eLogicalNone;
  Value value_;
  LexicalForm lexical_;
};

inline void PWFData::setLexicalForm(std::u16string_view text) { lexical_.assign(text); }

inline void PWFData::assignString(const char16_t* text, std::size_t length) {
  lexical_.reset();
  if (ZelWstring* string = std::get_if<ZelWstring>(&value_)) {
    string->assign(text, length);
  } else {
    value_.emplace<ZelWstring>(text, length);
  }
  type_ = eLogicalString;
}

inline void PWFData::assignDecimal(const char16_t* text, std::size_t length) {
  assignString(text, length);
  type_ = eLogicalDecimal;
}

inline void PWFData::assignInteger(std::int64_t value) {
  lexical_.reset();
  value_ = value;
  type_ = eLogicalInteger;
}

inline void PWFData::assignFloat(double value) {
  lexical_.reset();
  value_ = value;
  type_ = eLogicalFloat;
}

inline void PWFData::assignBoolean(bool value) {
  lexical_.reset();
  value_ = value;
  type_ = eLogicalBoolean;
}

inline void PWFData::assignDateTime(PWFDateTime&& value) {
  lexical_.reset();
  value_ = std::move(value);
  type_ = eLogicalDateTime;
}

#endif

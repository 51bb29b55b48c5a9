#include "pwfdata.h"

#include <cstring>

const char* logicalTypeName(ELogicalType type) {
  switch (type) {
    case eLogicalNone: return "None";
    case eLogicalString: return "String";
    case eLogicalInteger: return "Integer";
    case eLogicalFloat: return "Float";
    case eLogicalBinary: return "Binary";
    case eLogicalBoolean: return "Boolean";
    case eLogicalInterval: return "Interval";
    case eLogicalDateTime: return "DateTime";
    case eLogicalDecimal: return "Decimal";
  }
  return "ERROR: undefined";
}

bool PWFDateTime::operator==(const PWFDateTime& o) const {
  return year == o.year && month == o.month && day == o.day && hour == o.hour && minute == o.minute &&
         second == o.second && fraction == o.fraction && zone == o.zone;
}

bool PWFInterval::operator==(const PWFInterval& o) const {
  return negative == o.negative && years == o.years && months == o.months && days == o.days &&
         hours == o.hours && minutes == o.minutes && seconds == o.seconds && fraction == o.fraction;
}

PWFData PWFData::makeNull(ELogicalType type) {
  PWFData d;
  d.type_ = type;
  return d;
}

PWFData PWFData::makeString(const char16_t* text, std::size_t length) {
  PWFData d;
  d.type_ = eLogicalString;
  d.value_.emplace<ZelWstring>(text, length);
  return d;
}

PWFData PWFData::makeInteger(std::int64_t value) {
  PWFData d;
  d.type_ = eLogicalInteger;
  d.value_ = value;
  return d;
}

PWFData PWFData::makeFloat(double value) {
  PWFData d;
  d.type_ = eLogicalFloat;
  d.value_ = value;
  return d;
}

PWFData PWFData::makeBoolean(bool value) {
  PWFData d;
  d.type_ = eLogicalBoolean;
  d.value_ = value;
  return d;
}

PWFData PWFData::makeBinary(std::vector<std::uint8_t> bytes) {
  PWFData d;
  d.type_ = eLogicalBinary;
  d.value_ = std::move(bytes);
  return d;
}

PWFData PWFData::makeInterval(const PWFInterval& value) {
  PWFData d;
  d.type_ = eLogicalInterval;
  d.value_ = value;
  return d;
}

PWFData PWFData::makeDateTime(const PWFDateTime& value) {
  PWFData d;
  d.type_ = eLogicalDateTime;
  d.value_ = value;
  return d;
}

PWFData PWFData::makeDecimal(const ZelWstring& text) {
  PWFData d;
  d.type_ = eLogicalDecimal;
  d.value_.emplace<ZelWstring>(text);
  return d;
}

PWFData PWFData::makeUntyped(const char16_t* text, std::size_t length) {
  PWFData d;
  d.value_.emplace<ZelWstring>(text, length);
  return d;
}

const ZelWstring& PWFData::getText() const { return std::get<ZelWstring>(value_); }
const char16_t* PWFData::getStringValue() const { return getText().c_str(); }
std::size_t PWFData::getStringLength() const { return getText().length(); }

bool PWFData::operator==(const PWFData& o) const {
  if (type_ != o.type_ || value_.index() != o.value_.index()) return false;
  if (const auto* a = std::get_if<double>(&value_)) {
    const double b = std::get<double>(o.value_);
    return std::memcmp(a, &b, sizeof b) == 0;
  }
  return value_ == o.value_;
}

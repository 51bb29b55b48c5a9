#include "wfxml/wfxml.h"

#include "base64converter.h"
#include "datacnv.h"
#include "error.h"
#include "pwfdata.h"
#include "utf8.h"
#include "zelexception.h"

namespace wfxml {
namespace {

const char* kindName(ValueKind kind) {
  switch (kind) {
    case ValueKind::None: return "None";
    case ValueKind::String: return "String";
    case ValueKind::Integer: return "Integer";
    case ValueKind::Decimal: return "Decimal";
    case ValueKind::Double: return "Double";
    case ValueKind::Boolean: return "Boolean";
    case ValueKind::DateTime: return "DateTime";
    case ValueKind::Duration: return "Duration";
    case ValueKind::Binary: return "Binary";
  }
  return "None";
}

// The converter for value texts, one per thread: a DataCnv serves one thread.
const DataCnv& converter() {
  thread_local const DataCnv cnv(/*codepage=*/1200, eEndianBig, /*floatFormat=*/1, /*floatPrecisionBits=*/53,
                                 /*defaultDateTimeFormat=*/nullptr, /*collapseWhitespace=*/false,
                                 /*defaultTimeZone=*/nullptr, /*firstDayOfWeek=*/0, /*allowLenient=*/true,
                                 /*centuryWindow=*/12, /*preserveUTCFormat=*/false, /*firstWeekOfYear=*/0,
                                 /*logSource=*/nullptr);
  return cnv;
}

}  // namespace

ValueKind Value::kind() const {
  if (!data_) return ValueKind::None;
  switch (data_->getDataLogicalType()) {
    // Untyped text (no dictionary type) is text all the same.
    case eLogicalNone: return data_->isNothing() ? ValueKind::None : ValueKind::String;
    case eLogicalString: return ValueKind::String;
    case eLogicalInteger: return ValueKind::Integer;
    case eLogicalFloat: return ValueKind::Double;
    case eLogicalBinary: return ValueKind::Binary;
    case eLogicalBoolean: return ValueKind::Boolean;
    case eLogicalInterval: return ValueKind::Duration;
    case eLogicalDateTime: return ValueKind::DateTime;
    case eLogicalDecimal: return ValueKind::Decimal;
  }
  return ValueKind::None;
}

bool Value::isNull() const { return data_ && data_->isNull(); }

namespace {
// The value's data when it is a non-null value of that kind; Error
// CP_TYPE_MISMATCH (inserts: wanted kind, actual kind or "null") otherwise.
const PWFData& require(const Value& value, ValueKind wanted) {
  if (value.kind() != wanted || value.isNull())
    detail::throwError(__FILE__, __LINE__, "Value::as", ZelMessages::CP_TYPE_MISMATCH,
                       {kindName(wanted), value.isNull() ? "null" : kindName(value.kind())});
  return *value.data();
}
}  // namespace

std::int64_t Value::asInteger() const { return require(*this, ValueKind::Integer).getIntegerValue(); }

double Value::asDouble() const { return require(*this, ValueKind::Double).getFloatValue(); }

bool Value::asBoolean() const { return require(*this, ValueKind::Boolean).getBooleanValue(); }

std::vector<std::uint8_t> Value::asBinary() const { return require(*this, ValueKind::Binary).getBinaryValue(); }

std::string Value::asDecimal() const {
  return detail::toUtf8(converter().StrFromDec(require(*this, ValueKind::Decimal).getDecimalValue()));
}

namespace {
std::optional<std::int32_t> part(std::int32_t field) {
  return field == PWFDateTime::kUnset ? std::nullopt : std::optional<std::int32_t>(field);
}
}  // namespace

DateTimeParts Value::asDateTime() const {
  const PWFDateTime& value = require(*this, ValueKind::DateTime).getDateTimeValue();
  return {part(value.year),   part(value.month),  part(value.day), part(value.hour),
          part(value.minute), part(value.second), value.fraction,  value.zone};
}

DurationParts Value::asDuration() const {
  const PWFInterval& value = require(*this, ValueKind::Duration).getIntervalValue();
  return {value.negative,      part(value.years),   part(value.months), part(value.days),
          part(value.hours),   part(value.minutes), part(value.seconds), value.fraction};
}

std::string Value::text() const {
  if (!data_ || data_->isNull() || data_->isNothing()) return {};
  return detail::translated([this]() -> std::string {
    const PWFData& value = *data_;
    ZelBufferedWstring<64> text;
    switch (value.getDataLogicalType()) {
      case eLogicalNone:
      case eLogicalString:
        return detail::toUtf8({value.getStringValue(), value.getStringLength()});
      case eLogicalInteger:
        return std::to_string(value.getIntegerValue());
      case eLogicalFloat:
        return detail::toUtf8(converter().StrFromDbl(value.getFloatValue(), text).view());
      case eLogicalDecimal:
        return detail::toUtf8(converter().StrFromDec(value.getDecimalValue()));
      case eLogicalBoolean:
        return value.getBooleanValue() ? "true" : "false";
      case eLogicalInterval:
        return detail::toUtf8(converter().StrFromInterval(value.getIntervalValue(), text).view());
      case eLogicalDateTime:
        return detail::toUtf8(
            converter().StrFromDateTime(value.getDateTimeValue(), DataCnv::XML_SCHEMA_FORMAT, nullptr, text).view());
      case eLogicalBinary: {
        const std::vector<std::uint8_t>& bytes = value.getBinaryValue();
        return detail::toUtf8(CPBase64Converter::binToBase64(bytes.data(), bytes.size(), text).view());
      }
    }
    return {};
  });
}

}  // namespace wfxml

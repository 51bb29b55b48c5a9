#include "tracetext.h"

#include "workerinfo.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace TraceText {

namespace {

// JSON escapes for the ASCII characters that need them; everything else as is.
void appendEscaped(std::string& out, char c) {
  switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
  }
  if (static_cast<unsigned char>(c) < 0x20) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
    out += buf;
    return;
  }
  out += c;
}

bool isSet(std::int32_t field) { return field != PWFDateTime::kUnset; }

void appendNumber(std::string& out, std::int64_t value) {
  char buf[24];
  auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, result.ptr);
}

// Two digits at least, as the XML Schema forms write months, days and times.
void appendPadded(std::string& out, std::int32_t value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  out += buf;
}

void appendYear(std::string& out, std::int32_t year) {
  if (year < 0) {
    out += '-';
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04lld", -static_cast<long long>(year));
    out += buf;
    return;
  }
  appendPadded(out, year, 4);
}

void appendTimeField(std::string& out, std::int32_t field) {
  if (isSet(field))
    appendPadded(out, field, 2);
  else
    out += "--";
}

void appendDurationField(std::string& out, std::int32_t field, char designator) {
  if (!isSet(field)) return;
  appendNumber(out, field);
  out += designator;
}

}  // namespace

void appendQuotedUtf8(std::string& out, std::string_view utf8) {
  out += '"';
  for (char c : utf8) appendEscaped(out, c);
  out += '"';
}

void appendQuoted(std::string& out, const char16_t* text, std::size_t length) {
  appendQuotedUtf8(out, ZelWstring(text, length).toUtf8());
}

std::string quoted(const ZelWstring& text) {
  std::string out;
  appendQuoted(out, text.data(), text.length());
  return out;
}

void appendFloat(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
  } else if (std::isinf(value)) {
    out += value < 0 ? "-INF" : "INF";
  } else {
    char buf[32];
    auto result = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, result.ptr);
  }
}

void appendHex(std::string& out, const std::vector<std::uint8_t>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  out.reserve(out.size() + 2 * bytes.size());
  for (std::uint8_t byte : bytes) {
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
  }
}

void appendDateTime(std::string& out, const PWFDateTime& value) {
  const bool hasDatePart = isSet(value.year) || isSet(value.month) || isSet(value.day);
  if (hasDatePart) {
    // Without a year the XML Schema forms start with "--" (gMonth, gMonthDay)
    // or "---" (gDay).
    if (isSet(value.year))
      appendYear(out, value.year);
    else
      out += '-';
    if (isSet(value.month)) {
      out += '-';
      appendPadded(out, value.month, 2);
    } else if (isSet(value.day)) {
      out += '-';
    }
    if (isSet(value.day)) {
      out += '-';
      appendPadded(out, value.day, 2);
    }
  }
  if (isSet(value.hour) || isSet(value.minute) || isSet(value.second)) {
    if (hasDatePart) out += 'T';
    appendTimeField(out, value.hour);
    out += ':';
    appendTimeField(out, value.minute);
    out += ':';
    appendTimeField(out, value.second);
    if (!value.fraction.empty()) {
      out += '.';
      out += value.fraction;
    }
  }
  out += value.zone;
}

void appendInterval(std::string& out, const PWFInterval& value) {
  if (value.negative) out += '-';
  out += 'P';
  appendDurationField(out, value.years, 'Y');
  appendDurationField(out, value.months, 'M');
  appendDurationField(out, value.days, 'D');
  const bool hasSeconds = isSet(value.seconds) || !value.fraction.empty();
  if (!isSet(value.hours) && !isSet(value.minutes) && !hasSeconds) return;
  out += 'T';
  appendDurationField(out, value.hours, 'H');
  appendDurationField(out, value.minutes, 'M');
  if (!hasSeconds) return;
  appendNumber(out, isSet(value.seconds) ? value.seconds : 0);
  if (!value.fraction.empty()) {
    out += '.';
    out += value.fraction;
  }
  out += 'S';
}

void appendValue(std::string& out, const PWFData& value) {
  const ELogicalType type = value.getDataLogicalType();
  out += ::logicalTypeName(type);
  out += ':';
  if (value.isNothing()) {
    out += "nothing";
    return;
  }
  if (value.isNull()) {
    out += "null";
    return;
  }
  switch (type) {
    case eLogicalNone:
    case eLogicalString:
      appendQuoted(out, value.getStringValue(), value.getStringLength());
      return;
    case eLogicalDecimal: out += value.getDecimalValue().toUtf8(); return;
    case eLogicalInteger: appendNumber(out, value.getIntegerValue()); return;
    case eLogicalFloat: appendFloat(out, value.getFloatValue()); return;
    case eLogicalBoolean: out += value.getBooleanValue() ? "true" : "false"; return;
    case eLogicalBinary: appendHex(out, value.getBinaryValue()); return;
    case eLogicalInterval: appendInterval(out, value.getIntervalValue()); return;
    case eLogicalDateTime: appendDateTime(out, value.getDateTimeValue()); return;
  }
  out += '?';  // a logical type number outside the enumeration
}

std::string ofValue(const PWFData& value) {
  std::string out;
  appendValue(out, value);
  return out;
}

void appendRecord(std::string& out, const WorkerInfo* record) {
  if (!record) {
    out += '-';
    return;
  }
  out += '{';
  bool first = true;
  const long count = record->getDataPropertyCount();
  for (long key = 0; key < count; ++key) {
    const PWFData& property = record->getDataProperty(key);
    if (property.getDataLogicalType() == eLogicalNone) continue;
    if (!first) out += ", ";
    first = false;
    appendNumber(out, key);
    out += ':';
    appendValue(out, property);
  }
  out += '}';
}

std::string ofRecord(const WorkerInfo* record) {
  std::string out;
  appendRecord(out, record);
  return out;
}

}  // namespace TraceText

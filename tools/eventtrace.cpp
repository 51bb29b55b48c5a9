#include "eventtrace.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdio>
#include <ostream>

namespace EventText {
std::string quote(const char16_t* text) { return quote(ZelWstring(text)); }

std::string quote(const ZelWstring& text) {
  return nlohmann::json(text.toUtf8()).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

namespace {
std::string twoDigits(std::int32_t n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", n);
  return buffer;
}

// ISO 8601 text of the fields that are set: 2024-02-29T12:00:00.5+01:00.
std::string dateTimeText(const PWFDateTime& t) {
  std::string out;
  if (t.year != PWFDateTime::kUnset) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d", t.year);
    out += buffer;
  }
  if (t.month != PWFDateTime::kUnset) out += (out.empty() ? "--" : "-") + twoDigits(t.month);
  if (t.day != PWFDateTime::kUnset) out += (out.empty() ? "---" : "-") + twoDigits(t.day);
  if (t.hasTime()) {
    if (!out.empty()) out += 'T';
    out += twoDigits(t.hour) + ':' + twoDigits(t.minute) + ':' + twoDigits(t.second);
    if (!t.fraction.empty()) out += '.' + t.fraction;
  }
  return out + t.zone;
}

// ISO 8601 duration: -P1Y2M3DT4H5M6.7S.
std::string intervalText(const PWFInterval& d) {
  std::string out = d.negative ? "-P" : "P";
  auto part = [&out](std::int32_t n, char unit) {
    if (n != PWFInterval::kUnset) out += std::to_string(n) + unit;
  };
  part(d.years, 'Y');
  part(d.months, 'M');
  part(d.days, 'D');
  if (d.hours != PWFInterval::kUnset || d.minutes != PWFInterval::kUnset || d.seconds != PWFInterval::kUnset) {
    out += 'T';
    part(d.hours, 'H');
    part(d.minutes, 'M');
    if (d.seconds != PWFInterval::kUnset)
      out += std::to_string(d.seconds) + (d.fraction.empty() ? "" : "." + d.fraction) + 'S';
  }
  return out;
}

std::string floatText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string hexText(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

}  // namespace

std::string value(const PWFData& data) {
  const ELogicalType type = data.getDataLogicalType();
  std::string out = std::string(logicalTypeName(type)) + ':';
  if (data.isNothing()) return out + "nothing";
  if (data.isNull()) return out + "null";
  switch (type) {
    case eLogicalNone:
    case eLogicalString: return out + quote(data.getText());
    case eLogicalDecimal: return out + data.getText().toUtf8();
    case eLogicalInteger: return out + std::to_string(data.getIntegerValue());
    case eLogicalFloat: return out + floatText(data.getFloatValue());
    case eLogicalBoolean: return out + (data.getBooleanValue() ? "true" : "false");
    case eLogicalBinary: return out + hexText(data.getBinaryValue());
    case eLogicalInterval: return out + intervalText(data.getIntervalValue());
    case eLogicalDateTime: return out + dateTimeText(data.getDateTimeValue());
  }
  return out + "?";
}

std::string record(const WorkerInfoPtr& info) {
  if (!info) return "-";
  std::string out = "{";
  const long count = info->getDataPropertyCount();
  for (long key = 0; key < count; ++key) {
    const PWFData& property = info->getDataProperty(key);
    if (property.getDataLogicalType() == eLogicalNone) continue;
    if (out.size() > 1) out += ", ";
    out += std::to_string(key) + ':' + value(property);
  }
  return out + '}';
}
}  // namespace EventText

namespace {
std::string argText(const std::string& text) { return text; }
std::string argText(long n) { return std::to_string(n); }
std::string argText(unsigned short n) { return std::to_string(n); }
std::string argText(bool flag) { return flag ? "true" : "false"; }
}  // namespace

template <typename... Args>
void EventTrace::line(const char* operation, const Args&... args) {
  std::string text = operation;
  text += '(';
  [[maybe_unused]] const char* separator = "";
  ((text += separator, text += argText(args), separator = ", "), ...);
  text += ")\n";
  out_ << text;
}

using EventText::quote;
using EventText::record;

void EventTrace::startMessage(const WorkerInfoPtr& startInfo) { line("startMessage", record(startInfo)); }

void EventTrace::endMessage(const WorkerInfoPtr& endInfo) { line("endMessage", record(endInfo)); }

void EventTrace::startEmbeddedMessage() { line("startEmbeddedMessage"); }

void EventTrace::endEmbeddedMessage(bool keep, bool abandoned) { line("endEmbeddedMessage", keep, abandoned); }

bool EventTrace::startMessageContent(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                                     const WorkerInfoPtr& startInfo, long xsiTypeIndex) {
  line("startMessageContent", quote(name), quote(namespaceURI), elementKind, record(startInfo), xsiTypeIndex);
  return true;
}

bool EventTrace::startMessageContent(long& tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo,
                                     long memberId, long xsiTypeIndex, long tagIndex, long memberIndex) {
  line("startMessageContent", tagId, elementKind, record(startInfo), memberId, xsiTypeIndex, tagIndex, memberIndex);
  return true;
}

void EventTrace::endMessageContent(long tagId, const WorkerInfoPtr& endInfo) {
  line("endMessageContent", tagId, record(endInfo));
}

void EventTrace::endMessageContent(const char16_t* name, const ZelWstring& namespaceURI,
                                   const WorkerInfoPtr& endInfo) {
  line("endMessageContent", quote(name), quote(namespaceURI), record(endInfo));
}

void EventTrace::startElement(long tagId, unsigned short elementKind, const WorkerInfoPtr& startInfo, long memberId,
                              long occurrence, long xsiTypeIndex, long tagIndex, long memberIndex) {
  line("startElement", tagId, elementKind, record(startInfo), memberId, occurrence, xsiTypeIndex, tagIndex,
       memberIndex);
}

void EventTrace::startElement(const char16_t* name, const ZelWstring& namespaceURI, unsigned short elementKind,
                              const WorkerInfoPtr& startInfo, long memberId, long xsiTypeIndex) {
  line("startElement", quote(name), quote(namespaceURI), elementKind, record(startInfo), memberId, xsiTypeIndex);
}

void EventTrace::endElement(long tagId, const WorkerInfoPtr& endInfo) { line("endElement", tagId, record(endInfo)); }

void EventTrace::endElement(const char16_t* name, const ZelWstring& namespaceURI, const WorkerInfoPtr& endInfo) {
  line("endElement", quote(name), quote(namespaceURI), record(endInfo));
}

void EventTrace::data(const PWFData& value, const WorkerInfoPtr& info, long itemTypeIndex, long listTypeIndex) {
  line("data", EventText::value(value), record(info), itemTypeIndex, listTypeIndex);
}

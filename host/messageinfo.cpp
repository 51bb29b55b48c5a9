#include "messageinfo.h"

#include "zelexception.h"

void MessageInfo::setProperty(const ZelWstring& name, const ZelWstring& value) { properties_[name] = value; }

void MessageInfo::setIntegerProperty(const ZelWstring& name, std::int64_t value) {
  properties_[name] = ZelWstring::fromUtf8(std::to_string(value));
}

void MessageInfo::removeProperty(const ZelWstring& name) { properties_.erase(name); }

const ZelWstring* MessageInfo::getProperty(const ZelWstring& name) const {
  const auto it = properties_.find(name);
  return it == properties_.end() ? nullptr : &it->second;
}

namespace {
[[noreturn]] void notAnInteger(const ZelWstring& name, const ZelWstring& text) {
  ZelConversionException e(__FILE__, __LINE__, "MessageInfo::getPropertyAsInteger", nullptr,
                           ZelMessages::CP_CONVERSION_ERROR);
  e.addInsert("Message property is not an integer").addInsert(name).addInsert(text);
  throw e;
}
}  // namespace

std::int64_t MessageInfo::getPropertyAsInteger(const ZelWstring& name) const {
  const ZelWstring* text = getProperty(name);
  if (!text) return kNotSet;
  std::size_t i = 0;
  const std::size_t n = text->length();
  while (i < n && (*text)[i] == u' ') ++i;
  bool negative = false;
  if (i < n && ((*text)[i] == u'-' || (*text)[i] == u'+')) negative = (*text)[i++] == u'-';
  const std::size_t firstDigit = i;
  // Accumulate as a negative number so that INT64_MIN itself fits.
  std::int64_t value = 0;
  for (; i < n && (*text)[i] >= u'0' && (*text)[i] <= u'9'; ++i) {
    const int digit = (*text)[i] - u'0';
    if (value < (INT64_MIN + digit) / 10) notAnInteger(name, *text);
    value = value * 10 - digit;
  }
  if (i == firstDigit) notAnInteger(name, *text);
  while (i < n && (*text)[i] == u' ') ++i;
  if (i != n) notAnInteger(name, *text);
  if (!negative) {
    if (value == INT64_MIN) notAnInteger(name, *text);
    value = -value;
  }
  return value;
}

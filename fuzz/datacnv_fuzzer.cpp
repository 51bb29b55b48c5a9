// Arbitrary text through each value conversion. The first byte picks the
// logical type; the rest is the text, one byte per UTF-16 unit. Text that
// converts must write back, and the written text must read back as the
// same value.
#include "datacnv.h"
#include "pwfdata.h"
#include "zelexception.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {
struct Conversion {
  const char* name;
  std::function<PWFData(const DataCnv&, const std::u16string&)> read;
  std::function<ZelWstring&(const DataCnv&, const PWFData&, ZelWstring&)> write;
};

PWFData readInteger(const DataCnv& c, const std::u16string& t, bool wide) {
  return wide ? c.StrToInt64(t.data(), t.size(), DataCnv::SIGN_LEADING, u'-', u'+', 0, DataCnv::JUSTIFY_LEFT, u' ', true)
              : c.StrToInt32(t.data(), t.size(), DataCnv::SIGN_LEADING, u'-', u'+', 0, DataCnv::JUSTIFY_LEFT, u' ', true);
}

const Conversion kConversions[] = {
    {"Int64", [](const DataCnv& c, const std::u16string& t) { return readInteger(c, t, true); },
     [](const DataCnv& c, const PWFData& v, ZelWstring& out) -> ZelWstring& {
       return c.StrFromInt64(v.getIntegerValue(), out);
     }},
    {"Int32", [](const DataCnv& c, const std::u16string& t) { return readInteger(c, t, false); },
     [](const DataCnv& c, const PWFData& v, ZelWstring& out) -> ZelWstring& {
       return c.StrFromInt64(v.getIntegerValue(), out);
     }},
    {"Float", [](const DataCnv& c, const std::u16string& t) { return c.StrToDbl(t.data(), t.size()); },
     [](const DataCnv& c, const PWFData& v, ZelWstring& out) -> ZelWstring& {
       return c.StrFromDbl(v.getFloatValue(), out);
     }},
    {"Decimal",
     [](const DataCnv& c, const std::u16string& t) {
       return c.StrToDec(t.data(), t.size(), false, 0, u'.', DataCnv::SIGN_LEADING, u'-', u'+', 0,
                         DataCnv::JUSTIFY_LEFT, u' ', true);
     },
     [](const DataCnv& c, const PWFData& v, ZelWstring& out) -> ZelWstring& {
       return c.StrFromDec(v.getDecimalValue(), out);
     }},
    {"Binary", [](const DataCnv& c, const std::u16string& t) { return c.StrToBin(t.data(), t.size()); },
     [](const DataCnv& c, const PWFData& v, ZelWstring& out) -> ZelWstring& {
       const auto& bytes = v.getBinaryValue();
       return c.StrFromBin(bytes.data(), bytes.size(), out);
     }},
    {"Interval", [](const DataCnv& c, const std::u16string& t) { return c.StrToInterval(t.data(), t.size()); },
     [](const DataCnv& c, const PWFData& v, ZelWstring& out) -> ZelWstring& {
       return c.StrFromInterval(v.getIntervalValue(), out);
     }},
    {"DateTime",
     [](const DataCnv& c, const std::u16string& t) {
       return c.StrToDateTime(t.data(), DataCnv::XML_SCHEMA_FORMAT, static_cast<long>(t.size()));
     },
     [](const DataCnv& c, const PWFData& v, ZelWstring& out) -> ZelWstring& {
       return c.StrFromDateTime(v.getDateTimeValue(), DataCnv::XML_SCHEMA_FORMAT, nullptr, out);
     }},
};

[[noreturn]] void fail(const Conversion& conversion, const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s %s\n", conversion.name, what, detail.c_str());
  std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const DataCnv converter(1200, 2, 1, 53, nullptr, false, nullptr, 0, true, 12, false, 0, nullptr);
  const Conversion& conversion = kConversions[data[0] % (sizeof kConversions / sizeof kConversions[0])];
  const std::u16string text(data + 1, data + size);
  PWFData value;
  try {
    value = conversion.read(converter, text);
  } catch (const ZelConversionException&) {
    return 0;
  }
  ZelWstring written;
  try {
    conversion.write(converter, value, written);
  } catch (const ZelConversionException& e) {
    fail(conversion, "a value read from text does not write:", e.what());
  }
  PWFData reread;
  try {
    reread = conversion.read(converter, std::u16string(written.view()));
  } catch (const ZelConversionException& e) {
    fail(conversion, "written text does not read back:", written.toUtf8() + " " + e.what());
  }
  if (!(reread == value)) fail(conversion, "value changed in a round trip via", written.toUtf8());
  return 0;
}

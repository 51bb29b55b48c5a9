#include "unicodeconverter.h"

#include "bitstreambuffer.h"
#include "zelexception.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr long CCSID_UTF8 = 1208;
constexpr long UTF16_CCSIDS[] = {1200, 13488, 17584};
constexpr long UTF32_CCSIDS[] = {1232, 1234, 1236};
// CCSIDs are 16-bit numbers.
constexpr long MAX_CCSID = 65535;
// Bytes converted per ICU call before they are appended to the output: large
// enough that the per-call cost vanishes, small enough to stay in cache.
constexpr std::size_t SCRATCH_BYTES = 32 * 1024;
// Room for the units of the character a conversion failed on (ICU keeps at most 32).
constexpr int8_t INVALID_UNITS_ROOM = 32;

bool isOneOf(long ccsid, const long (&list)[3]) { return std::find(std::begin(list), std::end(list), ccsid) != std::end(list); }

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Characters missing from the code page become "&#NNN;". Anything else that
// reaches the callback is an unpaired surrogate: the error stays set, which
// stops the conversion.
void U_CALLCONV escapeUnassigned(const void*, UConverterFromUnicodeArgs* args, const UChar* codeUnits,
                                 int32_t length, UChar32 codePoint, UConverterCallbackReason reason,
                                 UErrorCode* error) {
  if (reason != UCNV_UNASSIGNED) return;
  UCNV_FROM_U_CALLBACK_ESCAPE(UCNV_ESCAPE_XML_DEC, args, codeUnits, length, codePoint, reason, error);
}

// insert: the CCSID, or a text naming the code page.
template <typename Insert>
[[noreturn]] void throwCodepageError(const char* function, Insert insert) {
  ZelFatalException error(__FILE__, __LINE__, function, zelDefaultLogSourceName(), ZelMessages::CP_CODEPAGE_ERROR);
  error.addInsert(insert);
  throw error;
}

ConverterPtr openConverter(long ccsid, bool littleEndian, UErrorCode& status) {
  if (ccsid == CCSID_UTF8) return ConverterPtr(ucnv_open("UTF-8", &status));
  if (isOneOf(ccsid, UTF16_CCSIDS)) return ConverterPtr(ucnv_open(littleEndian ? "UTF-16LE" : "UTF-16BE", &status));
  if (isOneOf(ccsid, UTF32_CCSIDS)) return ConverterPtr(ucnv_open(littleEndian ? "UTF-32LE" : "UTF-32BE", &status));
  return ConverterPtr(ucnv_openCCSID(static_cast<int32_t>(ccsid), UCNV_IBM, &status));
}

std::string encodingName(long ccsid) {
  if (ccsid == CCSID_UTF8) return "UTF-8";
  // Both byte orders: the reader takes the order from the byte-order mark.
  if (isOneOf(ccsid, UTF16_CCSIDS)) return "UTF-16";
  // The XML recommendation's name for UCS-4; unlike "UTF-32", libxml2 also
  // reads it (big-endian, without a mark).
  if (isOneOf(ccsid, UTF32_CCSIDS)) return "ISO-10646-UCS-4";
  char name[16];
  std::snprintf(name, sizeof name, "IBM%03ld", ccsid);
  return name;
}

}  // namespace

struct CPUnicodeConverter::Handle {
  ConverterPtr converter;
};

CPUnicodeConverter::CPUnicodeConverter(long ccsid, long byteOrder)
    : ccsid_(ccsid), littleEndian_(byteOrder == 1), name_(encodingName(ccsid)) {
  if (ccsid <= 0 || ccsid > MAX_CCSID) throwCodepageError("CPUnicodeConverter::CPUnicodeConverter", ccsid);
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr converter = openConverter(ccsid, littleEndian_, status);
  // ICU answers U_AMBIGUOUS_ALIAS_WARNING and the like with a usable converter.
  if (U_FAILURE(status) || !converter) throwCodepageError("CPUnicodeConverter::CPUnicodeConverter", ccsid);
  ucnv_setFromUCallBack(converter.get(), escapeUnassigned, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) throwCodepageError("CPUnicodeConverter::CPUnicodeConverter", ccsid);
  handle_ = std::make_unique<Handle>(Handle{std::move(converter)});
  scratch_.resize(SCRATCH_BYTES);
}

CPUnicodeConverter::~CPUnicodeConverter() = default;

bool CPUnicodeConverter::IsUnicode(long ccsid) { return isOneOf(ccsid, UTF16_CCSIDS) || isOneOf(ccsid, UTF32_CCSIDS); }

int CPUnicodeConverter::getMinBytesPerChar() const { return ucnv_getMinCharSize(handle_->converter.get()); }

void CPUnicodeConverter::fromUnicode(const char16_t* text, std::size_t length, WritableBitstreamBuffer& out) {
  if (length == 0) return;
  convert(text, length, /*flush=*/false, out);
}

void CPUnicodeConverter::finish(WritableBitstreamBuffer& out) { convert(nullptr, 0, /*flush=*/true, out); }

void CPUnicodeConverter::convert(const char16_t* text, std::size_t length, bool flush, WritableBitstreamBuffer& out) {
  UConverter* converter = handle_->converter.get();
  const std::size_t sizeBefore = out.getLength();
  const UChar* source = text;
  const UChar* const sourceLimit = text + length;
  char* const scratchBegin = reinterpret_cast<char*>(scratch_.data());
  char* const scratchEnd = scratchBegin + scratch_.size();
  for (;;) {
    char* target = scratchBegin;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, scratchEnd, &source, sourceLimit, nullptr, flush, &status);
    out.append(scratchBegin, static_cast<std::size_t>(target - scratchBegin));
    if (status == U_BUFFER_OVERFLOW_ERROR) continue;
    if (U_SUCCESS(status)) return;

    UChar invalid[INVALID_UNITS_ROOM];
    int8_t invalidLength = INVALID_UNITS_ROOM;
    UErrorCode ignored = U_ZERO_ERROR;
    ucnv_getInvalidUChars(converter, invalid, &invalidLength, &ignored);
    const long consumed = static_cast<long>(source - text);
    out.truncate(sizeBefore);
    ucnv_resetFromUnicode(converter);
    ZelConversionException error(__FILE__, __LINE__, "CPUnicodeConverter::fromUnicode", zelDefaultLogSourceName(),
                                 ZelMessages::CP_CONVERSION_ERROR);
    error.addInsert(ccsid_);
    error.addInsert(std::max(0L, consumed - (U_SUCCESS(ignored) ? invalidLength : 0)));
    throw error;
  }
}

ZelWstring CPUnicodeConverter::fromLocalToUnicode(const char* text, std::size_t length) {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr local(ucnv_open(nullptr, &status));
  if (U_FAILURE(status) || !local) throwCodepageError("CPUnicodeConverter::fromLocalToUnicode", "local");
  ZelWstring result;
  if (length == 0) return result;
  // One unit per byte is enough for every code page a C library formats in;
  // the overflow answer sizes the second try for any other.
  result.resize(length);
  int32_t needed = ucnv_toUChars(local.get(), &result[0], static_cast<int32_t>(length),
                                 text, static_cast<int32_t>(length), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    status = U_ZERO_ERROR;
    result.resize(static_cast<std::size_t>(needed));
    needed = ucnv_toUChars(local.get(), &result[0], needed, text, static_cast<int32_t>(length), &status);
  }
  if (U_FAILURE(status)) throwCodepageError("CPUnicodeConverter::fromLocalToUnicode", "local");
  result.resize(static_cast<std::size_t>(needed));
  return result;
}

#include "undefinedbytes.h"

#include "encoding.h"
#include "icuconverter.h"
#include "widenedutf8.h"
#include "xmldeclaration.h"

#include <unicode/ucnv.h>

#include <array>
#include <map>
#include <mutex>
#include <string_view>

namespace wfxml::detail {
namespace {

// Whether the scanner decodes bytes of the code page strictly, or the code
// page defines every byte: no check needed. Unicode is read by the
// scanner's own decoders, which refuse what is not a character.
bool needsNoCheck(UConverter& converter) {
  switch (ucnv_getType(&converter)) {
    case UCNV_UTF8:
    case UCNV_CESU8:
    case UCNV_UTF16:
    case UCNV_UTF16_BigEndian:
    case UCNV_UTF16_LittleEndian:
    case UCNV_LATIN_1:
      return true;
    case UCNV_SBCS:
      break;
    default:
      return false;
  }
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(&converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  for (int byte = 0; byte < 256 && U_SUCCESS(status); ++byte) {
    const char in = static_cast<char>(byte);
    std::array<UChar, 4> out{};
    ucnv_toUChars(&converter, out.data(), out.size(), &in, 1, &status);
  }
  return U_SUCCESS(status);
}

// needsNoCheck by name, remembered for names ICU has a converter for (so
// that declared names cannot fill the map); a name it has none for, the
// scanner refuses itself.
bool needsNoCheck(const std::string& name) {
  static std::mutex mutex;
  static std::map<std::string, bool> known;
  const std::lock_guard<std::mutex> lock(mutex);
  const auto it = known.find(name);
  if (it != known.end()) return it->second;
  const IcuConverter converter = openIcuConverter(name.c_str());
  return !converter || known.emplace(name, needsNoCheck(*converter)).first->second;
}

// The converter of a document the scanner reads as UTF-16 or UTF-32 (by the
// name forced on it, its byte-order mark or the zero bytes around the
// "<?xml" of its declaration) whose last unit the end cuts short: the
// scanner drops those bytes without a word. Empty for any other document.
std::string cutShortWideEncoding(const void* bytes, std::size_t size, const std::u16string& scannerEncoding) {
  struct Wide {
    std::u16string_view forced;  // as scannerEncodingOf names it
    std::string_view start;      // else the byte-order mark, or "<?xml" (without either the parse refuses it)
    const char* converter;
    std::size_t unit;
  };
  using namespace std::string_view_literals;
  static constexpr Wide kWide[] = {
      {u"UTF-16LE", {}, "UTF-16LE", 2},        {u"UTF-16BE", {}, "UTF-16BE", 2},
      {u"ibm-1232", {}, "ibm-1232", 4},        {u"ibm-1234", {}, "ibm-1234", 4},
      {u"ibm-1236", {}, "ibm-1236", 4},        {{}, "\0\0\xFE\xFF"sv, "UTF-32", 4},
      {{}, "\xFF\xFE\0\0"sv, "UTF-32", 4},     {{}, "\xFE\xFF"sv, "UTF-16", 2},
      {{}, "\xFF\xFE"sv, "UTF-16", 2},
      {{}, "\0\0\0<\0\0\0?\0\0\0x\0\0\0m\0\0\0l"sv, "UTF-32BE", 4},
      {{}, "<\0\0\0?\0\0\0x\0\0\0m\0\0\0l\0\0\0"sv, "UTF-32LE", 4},
      {{}, "\0<\0?\0x\0m\0l"sv, "UTF-16BE", 2},
      {{}, "<\0?\0x\0m\0l\0"sv, "UTF-16LE", 2}};
  if (size % 4 == 0) return {};
  const std::string_view document(static_cast<const char*>(bytes), size);
  for (const Wide& wide : kWide) {
    const bool reads = scannerEncoding.empty() ? !wide.start.empty() && document.substr(0, wide.start.size()) == wide.start
                                               : scannerEncoding == wide.forced;
    if (reads) return size % wide.unit != 0 ? wide.converter : "";
  }
  return {};
}

// Lines and columns as the scanner counts them: LF, CR and CR LF end a line,
// and NL (U+0085) too where it reads EBCDIC's NL as LF.
class Position {
public:
  explicit Position(bool nlEndsLine) : nlEndsLine_(nlEndsLine) {}
  void pass(const UChar* from, const UChar* to) {
    for (; from != to; ++from) {
      const UChar c = *from;
      if (c == u'\n' && afterCr_) {
        afterCr_ = false;
        continue;
      }
      afterCr_ = c == u'\r';
      if (c == u'\n' || c == u'\r' || (c == 0x85 && nlEndsLine_)) {
        ++line_;
        column_ = 1;
      } else {
        ++column_;
      }
    }
  }
  std::size_t line() const { return line_; }
  std::size_t column() const { return column_; }

private:
  const bool nlEndsLine_;
  bool afterCr_ = false;
  std::size_t line_ = 1;
  std::size_t column_ = 1;
};

}  // namespace

std::string icuCodePageName(const void* bytes, std::size_t size, const std::u16string& scannerEncoding) {
  if (scannerEncoding.empty()) {
    std::string declared = documentDeclaredEncoding(bytes, size).value_or("");
    // Most documents: answered without a lock.
    return declared.size() == 5 && (declared[0] | 0x20) == 'u' && (declared[1] | 0x20) == 't' &&
                   (declared[2] | 0x20) == 'f' && declared.substr(3) == "-8"
               ? std::string()
               : declared;
  }
  if (scannerEncoding == u"UTF-8" || scannerEncoding.rfind(u"UTF-16", 0) == 0) return {};
  return std::string(scannerEncoding.begin(), scannerEncoding.end());  // "ibm-NNN"
}

std::optional<UndefinedBytes> firstUndefinedBytes(const void* bytes, std::size_t size,
                                                  const std::u16string& scannerEncoding) {
  std::string name = cutShortWideEncoding(bytes, size, scannerEncoding);
  if (name.empty()) {
    name = icuCodePageName(bytes, size, scannerEncoding);
    if (name.empty() || needsNoCheck(name)) return std::nullopt;
  }
  const IcuConverter converter = openIcuConverter(name.c_str());
  if (!converter) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  Position position(scansNlAsLf(scannerEncoding, bytes, size));
  const char* source = static_cast<const char*>(bytes);
  const char* const end = source + size;
  std::array<UChar, 4096> text;
  do {
    status = U_ZERO_ERROR;
    UChar* target = text.data();
    ucnv_toUnicode(converter.get(), &target, text.data() + text.size(), &source, end, nullptr, /*flush=*/true,
                   &status);
    position.pass(text.data(), target);
  } while (status == U_BUFFER_OVERFLOW_ERROR);
  if (U_SUCCESS(status)) return std::nullopt;
  std::array<char, 32> invalid{};
  auto length = static_cast<int8_t>(invalid.size());
  UErrorCode ignored = U_ZERO_ERROR;
  ucnv_getInvalidChars(converter.get(), invalid.data(), &length, &ignored);
  return UndefinedBytes{position.line(), position.column(), hexBytes(invalid.data(), static_cast<std::size_t>(length)), name};
}

std::string undefinedBytesReason(const UndefinedBytes& undefined) {
  return (undefined.bytes.size() > 4 ? "bytes " : "byte ") + undefined.bytes + " " +
         (undefined.bytes.size() > 4 ? "are" : "is") + " no character of the document's encoding, " +
         undefined.encoding;
}

}  // namespace wfxml::detail

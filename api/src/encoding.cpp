#include "encoding.h"

#include "ebcdiclineends.h"
#include "icuconverter.h"
#include "error.h"
#include "messageinfo.h"
#include "unicodeconverter.h"
#include "widenedutf8.h"
#include "xmldeclaration.h"
#include "zelexception.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace wfxml::detail {
namespace {

constexpr long kUtf8 = 1208;
constexpr long kUtf16 = 1200;
constexpr long kUtf32LittleEndian = 1234;
// The host's byte-order codes: the low four bits 2 mean little-endian.
constexpr long kBigEndianCode = 1;
constexpr long kLittleEndianCode = 2;

std::string lowerCase(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

bool isDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// ICU's own CCSID for a number its UTF-16 or UTF-32 converters also go by
// (ibm-13490 is UTF-16LE, ibm-1205 UTF-16): the host's converter writes only
// its own Unicode numbers as Unicode, behind a byte-order mark, and opens
// the others as ICU tables, which put no mark (ibm-13490) or one that the
// declared name (IBM1205) then contradicts.
constexpr long kIcuUnicode[] = {kUtf16, 1202, 1204, 1232, kUtf32LittleEndian, 1236};

bool isIcuUnicode(long ccsid) { return std::find(std::begin(kIcuUnicode), std::end(kIcuUnicode), ccsid) != std::end(kIcuUnicode); }

long unicodeCcsidOf(long ccsid) {
  const long own = ccsidOfIcuName(("ibm-" + std::to_string(ccsid)).c_str());
  return isIcuUnicode(own) ? own : ccsid;
}

// A name the host's converter tables may not answer to: resolved once.
CodePage resolve(const std::string& lower, std::string_view name) {
  if (lower == "utf-8" || lower == "utf8") return {kUtf8, false};
  if (lower == "utf-16le") return {kUtf16, true};
  if (lower == "utf-16be" || lower == "utf-16") return {kUtf16, false};
  long ccsid = 0;
  const std::string_view digits = lower.rfind("ibm-", 0) == 0 ? std::string_view(lower).substr(4) : lower;
  if (isDigits(digits) && digits.size() <= 6) ccsid = std::stol(std::string(digits));
  if (ccsid == 0) ccsid = ccsidOfIcuName(lower.c_str());
  if (ccsid > 0) ccsid = unicodeCcsidOf(ccsid);
  if (ccsid <= 0) {
    // Documents are read and written by CCSID: a converter without one
    // (euc-jp, big5, gbk) can only be found by the declaration it names.
    if (const IcuConverter converter = openIcuConverter(lower.c_str())) {
      UErrorCode status = U_ZERO_ERROR;
      throwError(__FILE__, __LINE__, "codePageOf", ZelMessages::CP_CODEPAGE_ERROR,
                 {std::string(name), std::string("ICU's converter ") + ucnv_getName(converter.get(), &status) +
                                         " has no IBM code page number (CCSID), by which documents are read and "
                                         "written: name a code page that has one, or none for a document that "
                                         "declares its encoding"});
    }
    return {0, false};
  }
  // Unicode CCSIDs other than the plain ones carry a byte order of their own.
  if (ccsid == 1202) return {kUtf16, true};
  if (ccsid == 1204) return {kUtf16, false};
  if (ccsid == kUtf32LittleEndian) return {kUtf32LittleEndian, true};
  try {
    CPUnicodeConverter probe(ccsid, kBigEndianCode);
  } catch (const ZelException& e) {
    // A table ICU has, but no XML can be written or read in: say why.
    if (e.getInserts().size() > 1)
      throwError(__FILE__, __LINE__, "codePageOf", ZelMessages::CP_CODEPAGE_ERROR, {std::string(name), e.getInserts()[1].toUtf8()});
    return {0, false};
  }
  return {ccsid, false};
}

bool isUtf32(long ccsid) { return ccsid == 1232 || ccsid == kUtf32LittleEndian || ccsid == 1236; }

// The CCSIDs the writer and the plug-in take for UTF-16 (a code page of the
// "ccsid" property may be any of them).
bool isUtf16(long ccsid) { return ccsid == kUtf16 || ccsid == 13488 || ccsid == 17584; }

bool isUnicode(long ccsid) { return ccsid == kUtf8 || isUtf16(ccsid) || isUtf32(ccsid); }

// The length of a byte-order mark of UTF-8, UTF-16 or UTF-32 as the plug-in
// finds one (in four bytes or more); 0 without one. A Unicode code page
// named for such bytes yields to it.
std::size_t byteOrderMarkLength(const void* bytes, std::size_t size) {
  const auto* b = static_cast<const unsigned char*>(bytes);
  if (size < 4) return 0;
  if ((b[0] == 0 && b[1] == 0 && ((b[2] == 0xFE && b[3] == 0xFF) || (b[2] == 0xFF && b[3] == 0xFE))) ||
      (b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0))
    return 4;
  if ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE)) return 2;
  return b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF ? 3 : 0;
}

bool hasByteOrderMark(const void* bytes, std::size_t size) { return byteOrderMarkLength(bytes, size) != 0; }

}  // namespace

CodePage codePageOf(std::string_view name) {
  if (name.empty()) return {};
  const std::string lower = lowerCase(name);
  if (lower == "utf-8") return {kUtf8, false};
  // Names that worked before are answered from memory: ICU's lookups are
  // slow next to a small message.
  static std::mutex mutex;
  static std::map<std::string, CodePage> known;
  CodePage found;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    const auto it = known.find(lower);
    if (it != known.end()) {
      found = it->second;
    } else {
      found = resolve(lower, name);
      // Only names that work are kept, so that bad input cannot fill the map.
      if (found.ccsid != 0) known.emplace(lower, found);
    }
  }
  if (found.ccsid == 0)
    throwError(__FILE__, __LINE__, "codePageOf", ZelMessages::CP_UNKNOWN_ENCODING, {std::string(name)});
  return found;
}

namespace {
constexpr long kUtf32ByMark = 1236;

bool hasUtf32Mark(const void* bytes, std::size_t size) {
  const auto* b = static_cast<const unsigned char*>(bytes);
  return size >= 4 && ((b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) ||
                       (b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0));
}

// The code page an EBCDIC document (its first bytes EBCDIC's "<?") declares;
// 0 without one. The scanner finds a declaration only in the characters of
// ibm-037, not in those of the Katakana tables (ibm-930, "<?" then no "xml")
// or the Turkish ones (ibm-1026, no '"'), so it is named to the scanner.
long declaredEbcdicCcsid(const void* bytes, std::size_t size) {
  const auto* b = static_cast<const unsigned char*>(bytes);
  if (size < 2 || b[0] != 0x4C || b[1] != 0x6F) return 0;
  const std::optional<std::string> declared = documentDeclaredEncoding(bytes, size);
  // A converter's options (",swaplfnl") are no code page.
  if (!declared || declared->find(',') != std::string::npos) return 0;
  const long ccsid = ccsidOfIcuName(declared->c_str());
  return ccsid > 0 && !isUnicode(ccsid) ? ccsid : 0;
}

// The code page to read bytes in, where the one named would not do. UTF-32
// behind its mark goes to the scanner as the converter that reads the mark
// (ibm-1236): the scanner's own reader refuses a character beyond U+FFFF
// before the first '>' ("unable to decode first line", as <r a="😀"/>
// without a declaration), and a UTF-32 code page named to it would keep
// the mark as text. A document that declares another encoding is left to
// the scanner, which names the contradiction. Any other byte-order mark
// wins over a Unicode code page named, as in the parser.
CodePage readingCodePage(const CodePage& named, const void* bytes, std::size_t size) {
  if (named.ccsid == 0)
    if (const long declared = declaredEbcdicCcsid(bytes, size)) return {declared, false};
  if (named.ccsid != 0 && !isUnicode(named.ccsid)) return named;
  if (hasUtf32Mark(bytes, size)) {
    if (!wideDocumentDeclaringOtherEncoding(bytes, size)) return {kUtf32ByMark, false};
    return {};
  }
  return isUtf32(named.ccsid) && hasByteOrderMark(bytes, size) ? CodePage{} : named;
}
}  // namespace

CodePage codePageToRead(std::string_view name, const void* bytes, std::size_t size) {
  return readingCodePage(codePageOf(name), bytes, size);
}

std::optional<MessageInfo> propertiesToRead(const MessageInfo& properties, const void* bytes, std::size_t size) {
  // The bytes first (a mark, EBCDIC's "<?"): reading the properties costs more.
  const auto* b = static_cast<const unsigned char*>(bytes);
  if (!hasByteOrderMark(bytes, size) && !(size >= 2 && b[0] == 0x4C && b[1] == 0x6F)) return std::nullopt;
  const CodePage named = codePageOf(properties);
  const CodePage reading = readingCodePage(named, bytes, size);
  if (reading == named) return std::nullopt;
  std::optional<MessageInfo> marked(properties);
  setCodePage(reading, *marked);
  return marked;
}

void setCodePage(const CodePage& codePage, MessageInfo& properties) {
  properties.setIntegerProperty(ZelWstring(MI_CCSID_STR), codePage.ccsid);
  properties.setIntegerProperty(ZelWstring(MI_ENCODING_STR), codePage.littleEndian ? kLittleEndianCode : kBigEndianCode);
}

CodePage codePageOf(const MessageInfo& properties) {
  // Asked at every parse of the framework's: the keys are made once.
  static const ZelWstring ccsidKey(MI_CCSID_STR);
  static const ZelWstring encodingKey(MI_ENCODING_STR);
  const std::int64_t ccsid = properties.getPropertyAsInteger(ccsidKey);
  if (ccsid == MessageInfo::kNotSet) return {};
  const std::int64_t order = properties.getPropertyAsInteger(encodingKey);
  return CodePage{static_cast<long>(ccsid), order != MessageInfo::kNotSet && (order & 0xF) == kLittleEndianCode};
}

std::u16string scannerEncodingOf(const CodePage& named, const void* bytes, std::size_t size) {
  const CodePage codePage = readingCodePage(named, bytes, size);
  // As the parser names it: with a byte-order mark the scanner finds UTF-8
  // and UTF-16 itself, and a forced name would keep the mark as text.
  const bool utf8Or16 = codePage.ccsid == kUtf8 || isUtf16(codePage.ccsid);
  if (codePage.ccsid == 0 || (utf8Or16 && hasByteOrderMark(bytes, size))) return u"";
  if (codePage.ccsid == kUtf8) return u"UTF-8";
  if (isUtf16(codePage.ccsid)) return codePage.littleEndian ? u"UTF-16LE" : u"UTF-16BE";
  const std::string name = "ibm-" + std::to_string(codePage.ccsid);
  return std::u16string(name.begin(), name.end());
}

namespace {
bool isUnicodeName(const std::string& name) {
  const long ccsid = ccsidOfIcuName(name.c_str());
  return ccsid == kUtf8 || isIcuUnicode(unicodeCcsidOf(ccsid));
}

bool sameName(std::string_view one, std::string_view other) {
  return one.size() == other.size() && std::equal(one.begin(), one.end(), other.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

// Whether two code pages read the bytes as the same text, so that nothing
// hangs on which of them the scanner uses: an ASCII document declared
// US-ASCII and read as UTF-8, Latin-1 without C1 bytes read as windows-1252.
bool readAlike(const char* one, const char* other, const void* bytes, std::size_t size) {
  constexpr std::size_t kAtMost = 1u << 28;  // the units of a read fit an int32_t
  if (size > kAtMost) return false;
  const auto read = [&](const char* name) -> std::optional<std::u16string> {
    const IcuConverter converter = openIcuConverter(name);
    if (!converter) return std::nullopt;
    std::u16string text(2 * size + 2, u'\0');  // a byte gives at most two units
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucnv_toUChars(converter.get(), text.data(), static_cast<int32_t>(text.size()),
                                         static_cast<const char*>(bytes), static_cast<int32_t>(size), &status);
    if (U_FAILURE(status)) return std::nullopt;
    text.resize(static_cast<std::size_t>(length));
    return text;
  };
  const std::optional<std::u16string> first = read(one);
  return first && first == read(other);
}
}  // namespace

std::optional<std::string> declarationContradicting(const std::u16string& scannerEncoding, const void* bytes,
                                                    std::size_t size) {
  if (scannerEncoding.empty()) return utf8MarkDeclaringOtherEncoding(bytes, size);
  const std::string given(scannerEncoding.begin(), scannerEncoding.end());
  // A mark with a code page of no Unicode form, which would read it as
  // characters before the first '<'.
  if (const std::size_t mark = byteOrderMarkLength(bytes, size); mark != 0 && !isUnicodeName(given)) {
    return "the document starts with a byte-order mark (" + hexBytes(bytes, mark) + ") but is read in the encoding given (" + given +
           "): give none, or the Unicode encoding the mark stands for";
  }
  const std::optional<std::string> declared = documentDeclaredEncoding(bytes, size);
  if (!declared) return std::nullopt;
  if (sameName(*declared, given)) return std::nullopt;
  const long declaredCcsid = ccsidOfIcuName(declared->c_str());
  const long givenCcsid = ccsidOfIcuName(given.c_str());
  // A name without a CCSID cannot be compared; the scanner has its word.
  if (declaredCcsid <= 0 || givenCcsid <= 0 || unicodeCcsidOf(declaredCcsid) == unicodeCcsidOf(givenCcsid))
    return std::nullopt;
  if (readAlike(declared->c_str(), given.c_str(), bytes, size)) return std::nullopt;
  return "the document declares encoding=\"" + *declared + "\" and reads otherwise in the encoding given (" + given +
         "): give none for a document that declares its own, or the one it declares";
}

long nlAsLfCodePage(const std::u16string& scannerEncoding, const void* bytes, std::size_t size) {
  long ccsid = 0;
  if (!scannerEncoding.empty()) {
    constexpr std::u16string_view kTable = u"ibm-";
    if (scannerEncoding.rfind(kTable, 0) != 0 || scannerEncoding.size() > kTable.size() + 6) return 0;
    for (const char16_t c : std::u16string_view(scannerEncoding).substr(kTable.size())) {
      if (c < u'0' || c > u'9') return 0;
      ccsid = ccsid * 10 + (c - u'0');
    }
  }
  return ::nlAsLfCodePage(ccsid, bytes, size);
}

}  // namespace wfxml::detail

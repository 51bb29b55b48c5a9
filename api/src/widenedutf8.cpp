#include "widenedutf8.h"

#include "encoding.h"
#include "icuconverter.h"
#include "recordcutter.h"
#include "utf8.h"
#include "xmldeclaration.h"

#include <xercesc/util/BinInputStream.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

using namespace xercesc;

namespace wfxml::detail {
namespace {

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

std::size_t markLength(const unsigned char* bytes, std::size_t size) {
  return size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
}


// The code point of a sequence of length bytes (UTF-8, as checked).
std::uint32_t codePoint(const unsigned char* at, std::size_t length) {
  std::uint32_t point = length == 1 ? at[0] : at[0] & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) point = point << 6 | (at[k] & 0x3F);
  return point;
}

// A code point as one UTF-16 unit or a surrogate pair at out (room for two).
char16_t* putUnits(std::uint32_t point, char16_t* out) {
  if (point < 0x10000) {
    *out = static_cast<char16_t>(point);
    return out + 1;
  }
  out[0] = static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + (point & 0x3FF));
  return out + 2;
}

// A run of ASCII bytes (a multiple of sixteen) to as many UTF-16 units.
void widenAscii(const unsigned char* at, std::size_t run, void* to) {
  auto* out = static_cast<unsigned char*>(to);
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  for (std::size_t i = 0; i < run; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16), _mm_unpackhi_epi8(bytes, zero));
  }
#endif
}

bool equalsIgnoringAsciiCase(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
    if (c != upper[i]) return false;
  }
  return true;
}

// The document (its mark left out) says nothing against UTF-8: it starts
// with '<' as UTF-8 does, and an XML declaration names no other encoding.
bool declaresNothingElse(std::string_view document) {
  if (document.size() < 2 || document[0] != '<' || document[1] == 0) return false;
  if (document.compare(0, 5, "<?xml") != 0 || document.size() < 6 ||
      (document[5] != ' ' && document[5] != '\t' && document[5] != '\r' && document[5] != '\n')) {
    return true;
  }
  // Xerces-C reads a declaration up to the first '>' byte by byte and
  // refuses any beyond ASCII there ("unable to decode first line").
  const std::string_view firstLine = document.substr(0, document.find('>'));
  if (std::any_of(firstLine.begin(), firstLine.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
    return false;
  const std::size_t end = document.find("?>");
  if (end == std::string_view::npos) return false;
  const std::string_view declaration = document.substr(0, end);
  if (declaration.find("encoding") == std::string_view::npos) return true;
  const std::optional<std::string_view> declared = declaredEncoding(declaration);
  return declared && equalsIgnoringAsciiCase(*declared, "UTF-8");
}

// Where a document's XML declaration ends (just past its "?>"), where its
// values are quoted and hold no '<' or '>'; 0 where it has none such.
std::size_t declarationEnd(std::string_view document) {
  if (document.compare(0, 5, "<?xml") != 0) return 0;
  char quote = 0;
  for (std::size_t i = 5; i < document.size(); ++i) {
    const char c = document[i];
    if (c == '<' || c == '>') return 0;
    if (quote != 0) {
      quote = c == quote ? 0 : quote;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '?') {
      return i + 1 < document.size() && document[i + 1] == '>' ? i + 2 : 0;
    }
  }
  return 0;
}

// The length of the plain comment at the start of text ("<!--" printable
// ASCII, tabs and line ends without "--" "-->"), 0 where there is none.
std::size_t plainCommentLength(std::string_view text) {
  if (text.compare(0, 4, "<!--") != 0) return 0;
  const std::size_t close = text.find("-->", 4);
  if (close == std::string_view::npos) return 0;
  const std::string_view content = text.substr(4, close - 4);
  const bool plain = std::all_of(content.begin(), content.end(), [](char c) {
    return (c >= 0x20 && c <= 0x7E) || c == '\t' || c == '\n' || c == '\r';
  });
  if (!plain || content.find("--") != std::string_view::npos || (!content.empty() && content.back() == '-')) return 0;
  return close + 3;
}

// The bytes [first, second) of document that WidenedUtf8Source leaves out:
// the plain comments after its XML declaration, each with the white space
// before it; empty (first == second) for none.
std::pair<std::size_t, std::size_t> plainPrologComments(std::string_view document) {
  const std::size_t from = declarationEnd(document);
  if (from == 0) return {0, 0};
  for (std::size_t to = from;;) {
    const std::size_t at = std::min(document.find_first_not_of(" \t\r\n", to), document.size());
    const std::size_t length = plainCommentLength(document.substr(at));
    if (length == 0) return {from, to};
    to = at + length;
  }
}

class WidenedStream : public BinInputStream {
public:
  // Hands out the bytes but [skipFrom, skipTo), up to any that are not
  // UTF-8; wasUtf8 is cleared there.
  WidenedStream(const unsigned char* bytes, std::size_t size, std::size_t skipFrom, std::size_t skipTo, bool& wasUtf8)
      : begin_(bytes), at_(bytes), segmentEnd_(bytes + skipFrom), resume_(bytes + skipTo), end_(bytes + size),
        wasUtf8_(wasUtf8) {}

  XMLFilePos curPos() const override { return static_cast<XMLFilePos>(at_ - begin_); }
  const XMLCh* getContentType() const override { return nullptr; }

  XMLSize_t readBytes(XMLByte* toFill, XMLSize_t maxToRead) override {
    // The reader asks for its whole buffer (48 KB in Xerces-C 3.2) less a
    // byte or two it kept. Were there no room for a surrogate pair, the
    // document would end here for the scanner: the check fails, and the
    // second check, which reads the bytes themselves, gives the verdict.
    if (maxToRead < 2 * sizeof(char16_t)) return 0;
    XMLByte* out = toFill;
    XMLByte* const outEnd = toFill + (maxToRead / sizeof(char16_t) - 1) * sizeof(char16_t);  // room for a pair
    for (;;) {
      if (at_ == segmentEnd_ && segmentEnd_ != end_) {
        at_ = resume_;
        segmentEnd_ = end_;
      }
      if (at_ >= segmentEnd_ || out >= outEnd) break;
      const std::size_t run = asciiRun(at_, std::min<std::size_t>(segmentEnd_ - at_, (outEnd - out) / 2));
      widenAscii(at_, run, out);
      at_ += run;
      out += 2 * run;
      if (at_ == segmentEnd_ || out >= outEnd) continue;
      const std::size_t length = utf8SequenceLength(at_, static_cast<std::size_t>(segmentEnd_ - at_));
      if (length == 0) {
        wasUtf8_ = false;
        at_ = segmentEnd_ = end_;
        break;
      }
      char16_t units[2];
      const std::size_t count = static_cast<std::size_t>(putUnits(codePoint(at_, length), units) - units);
      std::memcpy(out, units, count * sizeof(char16_t));
      out += count * sizeof(char16_t);
      at_ += length;
    }
    return static_cast<XMLSize_t>(out - toFill);
  }

private:
  const unsigned char* const begin_;
  const unsigned char* at_;
  const unsigned char* segmentEnd_;  // where the bytes handed out now end
  const unsigned char* const resume_;
  const unsigned char* const end_;
  bool& wasUtf8_;
};

}  // namespace

namespace {
// The document (its mark left out) where the scanner would read it as UTF-8
// by its mark, its declaration and the forced encoding; else nullopt.
std::optional<std::string_view> utf8Document(const void* bytes, std::size_t size,
                                             const std::u16string& forcedEncoding) {
  if (!kLittleEndian || (!forcedEncoding.empty() && forcedEncoding != u"UTF-8")) return std::nullopt;
  const auto* b = static_cast<const unsigned char*>(bytes);
  const std::size_t mark = markLength(b, size);
  if (mark != 0 && !forcedEncoding.empty()) return std::nullopt;  // a forced reader may keep the mark as text
  const std::string_view document(reinterpret_cast<const char*>(b) + mark, size - mark);
  if (document.empty() || document[0] != '<' || (forcedEncoding.empty() && !declaresNothingElse(document)))
    return std::nullopt;
  return document;
}
}  // namespace

bool readsAsUtf8(const void* bytes, std::size_t size, const std::u16string& forcedEncoding) {
  return utf8Document(bytes, size, forcedEncoding).has_value();
}

namespace {
// Where the lead byte of a sequence the end cuts short stands; size where
// none does. A lead byte claims up to six bytes in Xerces-C's decoder.
std::size_t cutShortLead(const unsigned char* at, std::size_t size) {
  for (std::size_t lead = size > 5 ? size - 5 : 0; lead < size; ++lead) {
    const unsigned byte = at[lead];
    const std::size_t length = byte < 0xC0 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : byte < 0xF8 ? 4 : byte < 0xFC ? 5 : 6;
    if (lead + length > size) return lead;
  }
  return size;
}
}  // namespace

bool mayEndInsideUtf8Sequence(const void* bytes, std::size_t size) {
  return cutShortLead(static_cast<const unsigned char*>(bytes), size) != size;
}

namespace {
Utf8Fault faultAt(std::string_view document, std::size_t offset) {
  TextPosition position(/*utf8=*/true);
  position.advance(document.substr(0, offset));
  return {static_cast<std::size_t>(position.line()), static_cast<std::size_t>(position.column()),
          static_cast<unsigned char>(document[offset])};
}

std::string hexByte(unsigned char byte) { return hexBytes(&byte, 1); }
}  // namespace

std::string hexBytes(const void* bytes, std::size_t count) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char byte = static_cast<const unsigned char*>(bytes)[i];
    text += std::string(i == 0 ? "0x" : " 0x") + kHex[byte >> 4] + kHex[byte & 0xF];
  }
  return text;
}

std::optional<Utf8Fault> cutShortUtf8(const void* bytes, std::size_t size, const std::u16string& forcedEncoding) {
  const auto* at = static_cast<const unsigned char*>(bytes);
  const std::size_t lead = cutShortLead(at, size);
  if (lead == size) return std::nullopt;
  const std::optional<std::string_view> document = utf8Document(bytes, size, forcedEncoding);
  if (!document) return std::nullopt;
  return faultAt(*document, static_cast<std::size_t>(at + lead - reinterpret_cast<const unsigned char*>(document->data())));
}

std::string cutShortUtf8Reason(const Utf8Fault& cut) {
  return "the document ends inside the UTF-8 sequence that byte " + hexByte(cut.byte) + " begins";
}

std::optional<Utf8Fault> firstNonUtf8Byte(const void* bytes, std::size_t size, const std::u16string& forcedEncoding) {
  const std::optional<std::string_view> document = utf8Document(bytes, size, forcedEncoding);
  if (!document) return std::nullopt;
  const std::size_t bad = firstNonUtf8(*document);
  if (bad == std::string_view::npos) return std::nullopt;
  return faultAt(*document, bad);
}

std::string nonUtf8Reason(const Utf8Fault& bad) {
  return "byte " + hexByte(bad.byte) +
         " is not UTF-8 (the document is read as UTF-8; one in another code page must declare it, e.g. "
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>)";
}

namespace {
std::optional<std::string> emptyDocument(const void* bytes, std::size_t size) {
  std::string_view document(static_cast<const char*>(bytes), size);
  if (document.substr(0, 3) == "\xEF\xBB\xBF") document.remove_prefix(3);
  if (document.empty()) return "the document is empty";
  if (document.find_first_not_of(" \t\r\n") == std::string_view::npos) return "the document is empty but for white space";
  return std::nullopt;
}

// JSON given where XML is read (a typed JSON file, a message tree): the
// scanner says "invalid document structure", which names no cause.
std::optional<std::string> jsonDocument(const void* bytes, std::size_t size) {
  std::string_view document(static_cast<const char*>(bytes), size);
  if (document.substr(0, 3) == "\xEF\xBB\xBF") document.remove_prefix(3);
  const std::size_t first = document.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos || (document[first] != '{' && document[first] != '[')) return std::nullopt;
  return std::string("the document is JSON, not XML (it starts with '") + document[first] + "')";
}
}  // namespace

std::optional<std::string> wideDocumentDeclaringOtherEncoding(const void* bytes, std::size_t size) {
  struct Form {
    std::string_view start;  // the byte-order mark, or '<' without one
    bool marked;
    std::size_t unit;        // bytes a character of ASCII takes
    std::size_t at;          // where in its unit that character's byte is
    const char* name;
  };
  using namespace std::string_view_literals;
  static constexpr Form kForms[] = {
      {"\0\0\xFE\xFF"sv, true, 4, 3, "UTF-32BE"}, {"\xFF\xFE\0\0"sv, true, 4, 0, "UTF-32LE"},
      {"\xFE\xFF"sv, true, 2, 1, "UTF-16BE"},       {"\xFF\xFE"sv, true, 2, 0, "UTF-16LE"},
      {"\0\0\0<"sv, false, 4, 3, "UTF-32BE"},      {"<\0\0\0"sv, false, 4, 0, "UTF-32LE"},
      {"\0<\0?"sv, false, 2, 1, "UTF-16BE"},        {"<\0?\0"sv, false, 2, 0, "UTF-16LE"}};
  const std::string_view document(static_cast<const char*>(bytes), size);
  for (const Form& form : kForms) {
    if (document.substr(0, form.start.size()) != form.start) continue;
    // The declaration's ASCII characters, as far as they go.
    std::string declaration;
    for (std::size_t i = form.marked ? form.start.size() : 0; i + form.unit <= size && declaration.size() < 256;
         i += form.unit) {
      const std::string_view unit = document.substr(i, form.unit);
      const char c = unit[form.at];
      if (c <= 0 || std::count(unit.begin(), unit.end(), '\0') != static_cast<std::ptrdiff_t>(form.unit - 1)) break;
      declaration += c;
      if (declaration.size() >= 2 && declaration.compare(declaration.size() - 2, 2, "?>") == 0) break;
    }
    if (declaration.rfind("<?xml", 0) != 0) return std::nullopt;
    const std::optional<std::string_view> declared = declaredEncoding(declaration);
    if (!declared) return std::nullopt;
    std::string upper(*declared);
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const bool wide16 = form.unit == 2;
    if (upper.rfind(wide16 ? "UTF-16" : "UTF-32", 0) == 0 || upper.find(wide16 ? "UCS-2" : "UCS-4") != std::string::npos)
      return std::nullopt;
    return std::string("the document is ") + form.name + " (by its " +
           (form.marked ? "byte-order mark" : "first bytes") + ") but declares encoding=\"" + std::string(*declared) +
           "\": write it in the encoding it declares, or declare encoding=\"" + (wide16 ? "UTF-16" : "UTF-32") + "\"";
  }
  return std::nullopt;
}

namespace {
// An EBCDIC declaration ('<?xml' in code page 37's letters) without the
// encoding the scanner needs to read on (it then says no more than "EBCDIC
// file must provide encoding declaration").
std::optional<std::string> undeclaredEbcdicEncoding(const unsigned char* b, std::size_t size) {
  static constexpr unsigned char kEncoding[] = {0x85, 0x95, 0x83, 0x96, 0x84, 0x89, 0x95, 0x87};  // "encoding"
  static constexpr unsigned char kEnd[] = {0x6F, 0x6E};                                            // "?>"
  const unsigned char* const end = b + std::min<std::size_t>(size, 512);
  const unsigned char* const close = std::search(b, end, std::begin(kEnd), std::end(kEnd));
  if (close == end || std::search(b, close, std::begin(kEncoding), std::end(kEncoding)) != close) return std::nullopt;
  return std::string("the document's declaration is in EBCDIC but names no encoding: give its encoding (ibm-037, "
                     "say) or declare it (<?xml version=\"1.0\" encoding=\"IBM037\"?>)");
}

// EBCDIC's '<' (0x4C) first, then a letter (0x81 and up), '!' or '_' of
// EBCDIC: a start tag, comment or document type without the declaration that
// would name the code page. No XML document in an ASCII-based encoding starts
// so. Or EBCDIC's '<?' (0x4C 0x6F) not followed by "xml" where most EBCDIC
// code pages have it (0xA7 0x94 0x93), the only form the scanner recognises:
// a declaration in a code page that moves the small letters (ibm-930, say)
// that names no encoding (one that does is read in it: readingCodePage).
std::optional<std::string> undeclaredEbcdicDocument(const void* bytes, std::size_t size) {
  const auto* b = static_cast<const unsigned char*>(bytes);
  if (size < 2 || b[0] != 0x4C) return std::nullopt;
  if (b[1] == 0x6F) {
    if (size >= 5 && b[2] == 0xA7 && b[3] == 0x94 && b[4] == 0x93) return undeclaredEbcdicEncoding(b, size);
    return "the document looks like EBCDIC (its first bytes, 0x4C 0x6F, are '<?' there) in a code page whose "
           "declaration cannot be read before the code page is known: give its encoding (ibm-930, say)";
  }
  if (b[1] < 0x81 && b[1] != 0x5A && b[1] != 0x6D) return std::nullopt;
  return "the document looks like EBCDIC (its first byte, 0x4C, is '<' there) and names no code page: give its "
         "encoding (ibm-037, say) or declare it (<?xml version=\"1.0\" encoding=\"IBM037\"?>)";
}

// Zero bytes around a first '<' that no "?" follows: UTF-16 or UTF-32
// without the byte-order mark or declaration by which the scanner would
// know it, so that it read the document as UTF-8.
std::optional<std::string> unmarkedWideDocument(const void* bytes, std::size_t size) {
  const auto* b = static_cast<const unsigned char*>(bytes);
  if (size < 4) return std::nullopt;
  const char* form = nullptr;
  if (b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == '<') form = "UTF-32BE";
  else if (b[0] == '<' && b[1] == 0 && b[2] == 0 && b[3] == 0) form = "UTF-32LE";
  else if (b[0] == 0 && b[1] == '<' && b[2] == 0 && b[3] != 0 && b[3] != '?') form = "UTF-16BE";
  else if (b[0] == '<' && b[1] == 0 && b[2] != 0 && b[2] != '?' && b[3] == 0) form = "UTF-16LE";
  if (!form) return std::nullopt;
  return std::string("the document looks like ") + form +
         " (by the zero bytes around its first '<') but has neither a byte-order mark nor an XML declaration to "
         "say so: give its encoding (" + form + ") or start it with a byte-order mark";
}
}  // namespace

std::optional<std::string> utf8MarkDeclaringOtherEncoding(const void* bytes, std::size_t size) {
  if (size < 3 || std::memcmp(bytes, "\xEF\xBB\xBF", 3) != 0) return std::nullopt;
  const std::optional<std::string> declared = documentDeclaredEncoding(bytes, size);
  if (!declared || ccsidOfIcuName(declared->c_str()) == 1208) return std::nullopt;
  return "the document starts with UTF-8's byte-order mark but declares encoding=\"" + *declared +
         "\": remove the mark from a document in that encoding, or declare encoding=\"UTF-8\"";
}

std::optional<std::string> unreadableDocumentReason(const void* bytes, std::size_t size) {
  if (std::optional<std::string> reason = wideDocumentDeclaringOtherEncoding(bytes, size)) return reason;
  if (std::optional<std::string> reason = unmarkedWideDocument(bytes, size)) return reason;
  if (std::optional<std::string> reason = undeclaredEbcdicDocument(bytes, size)) return reason;
  if (std::optional<std::string> reason = jsonDocument(bytes, size)) return reason;
  return emptyDocument(bytes, size);
}

std::string_view afterProlog(std::string_view document) {
  if (document.substr(0, 3) == "\xEF\xBB\xBF") document.remove_prefix(3);
  for (;;) {
    const std::size_t start = document.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return {};
    document.remove_prefix(start);
    const std::string_view close = document.substr(0, 4) == "<!--" ? "-->" : document.substr(0, 2) == "<?" ? "?>" : "";
    if (close.empty()) return document;
    const std::size_t end = document.find(close, 2);
    if (end == std::string_view::npos) return document;
    document.remove_prefix(end + close.size());
  }
}

bool declaresDocumentType(std::string_view prolog) { return afterProlog(prolog).substr(0, 9) == "<!DOCTYPE"; }

std::optional<std::size_t> widenUtf8(const void* bytes, std::size_t size, const std::u16string& forcedEncoding,
                                     std::vector<char16_t>& out) {
  const std::optional<std::string_view> document = utf8Document(bytes, size, forcedEncoding);
  if (!document) return std::nullopt;
  const auto* at = reinterpret_cast<const unsigned char*>(document->data());
  const std::size_t count = document->size();
  if (out.size() < count) out.resize(count);  // never more units than bytes
  char16_t* to = out.data();
  for (std::size_t i = 0; i < count;) {
    const std::size_t run = asciiRun(at + i, count - i);
    widenAscii(at + i, run, to);
    to += run;
    i += run;
    if (i == count) break;
    const std::size_t length = utf8SequenceLength(at + i, count - i);
    if (length == 0) return std::nullopt;
    to = putUnits(codePoint(at + i, length), to);
    i += length;
  }
  return static_cast<std::size_t>(to - out.data());
}

void blankPlainPrologComments(const void* bytes, std::size_t size, char16_t* widened) {
  const std::size_t mark = markLength(static_cast<const unsigned char*>(bytes), size);
  const std::string_view document(static_cast<const char*>(bytes) + mark, size - mark);
  const auto [from, to] = plainPrologComments(document);
  // Up to their end a byte is a unit where the declaration is ASCII, as
  // the comments are.
  if (from == to || !std::all_of(document.begin(), document.begin() + static_cast<std::ptrdiff_t>(from),
                                  [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return;
  for (std::size_t i = from; i < to; ++i)
    if (widened[i] != u'\n' && widened[i] != u'\r') widened[i] = u' ';
}

WidenedUtf8Source::WidenedUtf8Source(const void* bytes, std::size_t size)
    : InputSource(u"document"), bytes_(static_cast<const unsigned char*>(bytes)), size_(size) {
  setEncoding(u"UTF-16LE");
}

BinInputStream* WidenedUtf8Source::makeStream() const {
  const std::size_t mark = markLength(bytes_, size_);
  const std::string_view document(reinterpret_cast<const char*>(bytes_) + mark, size_ - mark);
  const auto [skipFrom, skipTo] = plainPrologComments(document);
  wasUtf8_ = true;
  return new WidenedStream(bytes_ + mark, size_ - mark, skipFrom, skipTo, wasUtf8_);
}

}  // namespace wfxml::detail

#include "widenedutf8.h"

#include "encoding.h"

#include <xercesc/util/BinInputStream.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using namespace xercesc;

namespace wfxml::detail {
namespace {

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

std::size_t markLength(const unsigned char* bytes, std::size_t size) {
  return size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
}

// How many of the bytes from at on are ASCII, counted sixteen at a time (a
// run shorter than sixteen counts as none).
std::size_t asciiRun(const unsigned char* at, std::size_t size) {
  std::size_t run = 0;
#ifdef __SSE2__
  while (size - run >= 16 &&
         _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + run))) == 0) {
    run += 16;
  }
#endif
  return run;
}

// UTF-8 as RFC 3629 has it: no overlong forms, surrogates or code points
// beyond U+10FFFF.
bool isUtf8(const unsigned char* bytes, std::size_t size) {
  std::size_t i = 0;
  while (i < size) {
    i += asciiRun(bytes + i, size - i);
    if (i == size) break;
    const unsigned lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (size - i < length || bytes[i + 1] < low || bytes[i + 1] > high) return false;
    for (std::size_t k = 2; k < length; ++k)
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
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
  const std::size_t end = document.find("?>");
  if (end == std::string_view::npos) return false;
  const std::string_view declaration = document.substr(0, end);
  if (declaration.find("encoding") == std::string_view::npos) return true;
  const std::optional<std::string_view> declared = declaredEncoding(declaration);
  return declared && equalsIgnoringAsciiCase(*declared, "UTF-8");
}

class WidenedStream : public BinInputStream {
public:
  WidenedStream(const unsigned char* bytes, std::size_t size) : begin_(bytes), at_(bytes), end_(bytes + size) {}

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
    while (at_ < end_ && out < outEnd) {
      const std::size_t run = asciiRun(at_, std::min<std::size_t>(end_ - at_, (outEnd - out) / 2));
      widenAscii(run, out);
      if (at_ == end_ || out >= outEnd) break;
      const std::size_t left = static_cast<std::size_t>(end_ - at_);
      const unsigned lead = at_[0];
      const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      if (length > left) break;  // not UTF-8: readsAsUtf8 keeps such documents away
      std::uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
      for (std::size_t k = 1; k < length; ++k) point = point << 6 | (at_[k] & 0x3F);
      at_ += length;
      if (point < 0x10000) {
        put(out, static_cast<char16_t>(point));
      } else {
        put(out, static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
        put(out, static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
      }
    }
    return static_cast<XMLSize_t>(out - toFill);
  }

private:
  static void put(XMLByte*& out, char16_t unit) {
    std::memcpy(out, &unit, sizeof unit);
    out += sizeof unit;
  }
  // A run of ASCII bytes (a multiple of sixteen) to as many UTF-16 units.
  void widenAscii(std::size_t run, XMLByte*& out) {
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (std::size_t i = 0; i < run; i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at_ + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi8(bytes, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16), _mm_unpackhi_epi8(bytes, zero));
    }
#endif
    at_ += run;
    out += 2 * run;
  }

  const unsigned char* const begin_;
  const unsigned char* at_;
  const unsigned char* const end_;
};

}  // namespace

bool readsAsUtf8(const void* bytes, std::size_t size, const std::u16string& forcedEncoding) {
  if (!kLittleEndian || (!forcedEncoding.empty() && forcedEncoding != u"UTF-8")) return false;
  const auto* b = static_cast<const unsigned char*>(bytes);
  const std::size_t mark = markLength(b, size);
  if (mark != 0 && !forcedEncoding.empty()) return false;  // a forced reader may keep the mark as text
  const std::string_view document(reinterpret_cast<const char*>(b) + mark, size - mark);
  return (!forcedEncoding.empty() || declaresNothingElse(document)) && !document.empty() && document[0] == '<' &&
         isUtf8(b + mark, size - mark);
}

WidenedUtf8Source::WidenedUtf8Source(const void* bytes, std::size_t size)
    : InputSource(u"document"), bytes_(static_cast<const unsigned char*>(bytes)), size_(size) {
  setEncoding(u"UTF-16LE");
}

BinInputStream* WidenedUtf8Source::makeStream() const {
  const std::size_t mark = markLength(bytes_, size_);
  return new WidenedStream(bytes_ + mark, size_ - mark);
}

}  // namespace wfxml::detail

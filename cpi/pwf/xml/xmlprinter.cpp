#include "xmlprinter.h"

#include "textbufferwriter.h"
#include "unicodeconverter.h"
#include "zelexception.h"
#include "zellog.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Units that need more than a copy lie below 64 (the five special
// characters and the control characters) or from U+D800 on (surrogates,
// U+FFFE and U+FFFF, and the characters between, which are copied after a
// closer look): one bit mask and one comparison tell them apart. Two more
// are line ends to the parser, which recognises the mainframe line ends:
// written as they are, they would come back as a line feed (a blank in an
// attribute value).
constexpr char16_t ATTENTION_LIMIT = 64;
constexpr char16_t FIRST_SURROGATE = 0xD800;
constexpr char16_t NEXT_LINE = 0x85;
constexpr char16_t LINE_SEPARATOR = 0x2028;
constexpr std::uint64_t ATTENTION_MASK = [] {
  std::uint64_t mask = (std::uint64_t{1} << 0x20) - 1;  // the control characters
  for (char16_t special : XML_ENTITY_STD) mask |= std::uint64_t{1} << special;
  return mask;
}();

inline bool needsAttention(char16_t unit) {
  return unit < ATTENTION_LIMIT ? ((ATTENTION_MASK >> unit) & 1) != 0
                                : unit >= FIRST_SURROGATE || unit == NEXT_LINE || unit == LINE_SEPARATOR;
}

// What each unit below 64 that needs attention becomes, in content and in
// attribute values; an empty view marks a character XML 1.0 cannot carry.
// Tab and line feed stay themselves in content.
using Replacements = std::array<std::u16string_view, ATTENTION_LIMIT>;
constexpr Replacements replacementsFor(EscapeKind kind) {
  Replacements table{};
  table[u'<'] = XML_ENTITY_LT_STR;
  table[u'>'] = XML_ENTITY_GT_STR;
  table[u'&'] = XML_ENTITY_AMP_STR;
  table[u'\''] = XML_ENTITY_SQ_STR;
  table[u'"'] = XML_ENTITY_DQ_STR;
  table[u'\r'] = u"&#xD;";
  table[u'\t'] = kind == EscapeKind::Content ? u"\t" : u"&#x9;";
  table[u'\n'] = kind == EscapeKind::Content ? u"\n" : u"&#xA;";
  return table;
}
constexpr Replacements CONTENT_REPLACEMENTS = replacementsFor(EscapeKind::Content);
constexpr Replacements ATTRIBUTE_REPLACEMENTS = replacementsFor(EscapeKind::AttributeValue);

// The longest replacement, in units: what one unit of text may become.
constexpr std::size_t LONGEST_ENTITY = 8;

[[noreturn]] void refuseCharacter(std::u16string_view text, std::size_t at) {
  ZelConversionException error(__FILE__, __LINE__, "XMLPrinter::appendReplaceStr", zelDefaultLogSourceName(),
                               ZelMessages::CP_CONVERSION_ERROR);
  char code[8];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(text[at]));
  error.addInsert("XML 1.0 cannot carry the character").addInsert(code).addInsert(static_cast<unsigned long>(at));
  if (ZelLog::traceOn())
    ZelLog::trace(nullptr, "XMLPrinter::appendReplaceStr",
                  {"Throwing exception", __FILE__, static_cast<long>(__LINE__), error.getKey(), code});
  throw error;
}

// What the unit at text[at], one that needs attention, becomes: an entity,
// a character reference, or the unit itself (with its low surrogate, when it
// starts a pair). Throws for a character XML 1.0 cannot carry.
std::u16string_view replacementAt(std::u16string_view text, std::size_t at, EscapeKind kind) {
  const char16_t unit = text[at];
  if (unit < ATTENTION_LIMIT) {
    const std::u16string_view replacement =
        (kind == EscapeKind::Content ? CONTENT_REPLACEMENTS : ATTRIBUTE_REPLACEMENTS)[unit];
    if (replacement.empty()) refuseCharacter(text, at);
    return replacement;
  }
  if (unit == NEXT_LINE) return u"&#x85;";
  if (unit == LINE_SEPARATOR) return u"&#x2028;";
  if (unit <= 0xDBFF) {
    if (at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF) return text.substr(at, 2);
    refuseCharacter(text, at);
  }
  if (unit <= 0xDFFF || unit >= 0xFFFE) refuseCharacter(text, at);
  return text.substr(at, 1);
}

// Units of text that a replacement stands for: two for a surrogate pair.
inline std::size_t unitsReplaced(std::u16string_view replacement, std::u16string_view text, std::size_t at) {
  return replacement.data() == text.data() + at ? replacement.size() : 1;
}

#if defined(__SSE2__)
// Eight units at a time: two mask bits for each unit that needs attention.
inline int attentionMask(__m128i units) {
  const __m128i specials = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u'<')), _mm_cmpeq_epi16(units, _mm_set1_epi16(u'>'))),
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u'&')),
                                _mm_cmpeq_epi16(units, _mm_set1_epi16(u'\''))),
                   _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(u'"')),
                                _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(NEXT_LINE)),
                                             _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(LINE_SEPARATOR)))))));
  // Units compare unsigned once their top bit is flipped: below U+0020, or
  // from U+D800 on.
  const __m128i flipped = _mm_xor_si128(units, _mm_set1_epi16(static_cast<short>(0x8000)));
  const __m128i outside =
      _mm_or_si128(_mm_cmplt_epi16(flipped, _mm_set1_epi16(static_cast<short>(0x20 ^ 0x8000))),
                   _mm_cmpgt_epi16(flipped, _mm_set1_epi16(static_cast<short>((FIRST_SURROGATE - 1) ^ 0x8000))));
  return _mm_movemask_epi8(_mm_or_si128(specials, outside));
}
#endif

std::size_t findAttention(std::u16string_view text, std::size_t from) {
  std::size_t i = from;
#if defined(__SSE2__)
  for (; i + 8 <= text.size(); i += 8) {
    const int mask = attentionMask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i)));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
  }
#endif
  for (; i < text.size(); ++i)
    if (needsAttention(text[i])) return i;
  return text.size();
}

// Hands text escaped to append, piece by piece: each run of plain units in
// one go, then the replacement. The scan starts at the first unit that needs
// attention.
template <typename Append>
void forEachEscapedPiece(std::u16string_view text, std::size_t firstAttention, EscapeKind kind, Append append) {
  std::size_t runStart = 0;
  for (std::size_t at = firstAttention; at < text.size(); at = findAttention(text, runStart)) {
    const std::u16string_view replacement = replacementAt(text, at, kind);
    append(text.substr(runStart, at - runStart));
    append(replacement);
    runStart = at + unitsReplaced(replacement, text, at);
  }
  append(text.substr(runStart));
}

// Length of text once escaped; the scan starts at its first unit that needs
// attention. Throws as replacementAt.
std::size_t escapedLength(std::u16string_view text, std::size_t firstAttention, EscapeKind kind) {
  std::size_t length = 0;
  forEachEscapedPiece(text, firstAttention, kind, [&length](std::u16string_view piece) { length += piece.size(); });
  return length;
}

// Writes text escaped to target, which has room for LONGEST_ENTITY units
// per unit of text, in one pass; returns the units written. Throws as
// replacementAt (what was written to target is then not committed).
std::size_t escapeInto(std::u16string_view text, char16_t* target, EscapeKind kind) {
  char16_t* out = target;
  std::size_t i = 0;
  auto putReplacement = [&] {
    const std::u16string_view replacement = replacementAt(text, i, kind);
    out = std::copy(replacement.begin(), replacement.end(), out);
    i += unitsReplaced(replacement, text, i);
  };
#if defined(__SSE2__)
  // Eight units at a time are stored whole; a unit among them that needs
  // attention ends the block there and is replaced. The room for entities
  // leaves space for the whole block.
  while (i + 8 <= text.size()) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    const int mask = attentionMask(units);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), units);
    if (mask == 0) {
      out += 8;
      i += 8;
      continue;
    }
    const std::size_t plain = static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
    out += plain;
    i += plain;
    putReplacement();
  }
#endif
  while (i < text.size()) {
    if (needsAttention(text[i]))
      putReplacement();
    else
      *out++ = text[i++];
  }
  return static_cast<std::size_t>(out - target);
}

std::u16string_view viewOf(const char16_t* text, long length) {
  if (!text) return {};
  return length < 0 ? std::u16string_view(text) : std::u16string_view(text, static_cast<std::size_t>(length));
}

bool isPresent(const char16_t* text) { return text && text[0] != 0; }

// Makes room for n more units in the pending text: converts what it holds
// when the batch would outgrow the capacity. Returns whether the n units fit
// in the pending text at all.
bool makeRoom(TextBufferWriter* out, std::size_t n) {
  if (n <= out->pendingRoom()) return true;
  out->convertPending();
  return n <= out->pendingCapacity();
}

}  // namespace

void XMLPrinter::appendStr(TextBufferWriter* out, std::u16string_view text) {
  if (makeRoom(out, text.size()))
    out->appendPending(text.data(), text.size());
  else
    out->appendStr(text.data(), text.size());
}

void XMLPrinter::appendStr(TextBufferWriter* out, const char16_t* text, long length) {
  appendStr(out, viewOf(text, length));
}

void XMLPrinter::appendStr(TextBufferWriter* out, const ZelWstring& text) { appendStr(out, text.view()); }

void XMLPrinter::appendReplaceStr(TextBufferWriter* out, std::u16string_view text, EscapeKind kind) {
  // Text whose every unit could become an entity and still fit the pending
  // text is escaped while it is copied, in one pass.
  if (text.size() <= out->pendingRoom() / LONGEST_ENTITY) {
    char16_t* target = out->reservePending(text.size() * LONGEST_ENTITY);
    out->commitPending(escapeInto(text, target, kind));
    return;
  }
  const std::size_t firstAttention = findAttention(text, 0);
  if (firstAttention == text.size()) {
    if (text.size() <= out->pendingRoom())
      out->appendPending(text.data(), text.size());
    else
      appendStr(out, text);
    return;
  }
  // Escape straight into the pending text when the result fits; only a
  // result longer than a batch needs a string of its own. The length is
  // known, and every character checked, before anything is appended.
  const std::size_t length = escapedLength(text, firstAttention, kind);
  if (makeRoom(out, length)) {
    forEachEscapedPiece(text, firstAttention, kind,
                        [out](std::u16string_view piece) { out->appendPending(piece.data(), piece.size()); });
    return;
  }
  ZelWstring escaped;
  escaped.reserve(length);
  forEachEscapedPiece(text, firstAttention, kind, [&escaped](std::u16string_view piece) { escaped.append(piece); });
  out->appendStr(escaped);
}

void XMLPrinter::appendReplaceStr11(TextBufferWriter* out, std::u16string_view text, EscapeKind kind) {
  const auto restricted = [](char16_t unit) {
    return (unit < 0x20 && unit != u'\t' && unit != u'\n' && unit != u'\r') || (unit >= 0x7F && unit <= 0x9F);
  };
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!restricted(text[i])) continue;
    if (i > start) appendReplaceStr(out, text.substr(start, i - start), kind);
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    const unsigned code = text[i];
    char16_t reference[] = {u'&', u'#', u'x', 0, 0, 0};
    std::size_t length = 3;
    if (code >= 0x10) reference[length++] = kDigits[code >> 4];
    reference[length++] = kDigits[code & 0xF];
    reference[length++] = u';';
    appendStr(out, std::u16string_view(reference, length));
    start = i + 1;
  }
  if (start < text.size()) appendReplaceStr(out, text.substr(start), kind);
}

void XMLPrinter::appendReplaceStr(TextBufferWriter* out, const char16_t* text, long length) {
  appendReplaceStr(out, viewOf(text, length));
}

void XMLPrinter::appendReplaceStr(TextBufferWriter* out, const ZelWstring& text) { appendReplaceStr(out, text.view()); }

void XMLPrinter::replaceSpecialChars(const ZelWstring& in, ZelWstring& out) {
  out.clear();
  out.reserve(in.length());
  forEachEscapedPiece(in.view(), findAttention(in.view(), 0), EscapeKind::Content,
                      [&out](std::u16string_view piece) { out.append(piece); });
}

void XMLPrinter::outputBOM(TextBufferWriter* out) {
  const long codepage = out->getCodepage();
  const long endian = out->getEndian();
  if (ZelLog::traceOn()) ZelLog::trace(nullptr, "XMLPrinter::outputBOM", {"Buffer parameters", "codepage", codepage, "endian", endian});
  if (!CPUnicodeConverter::IsUnicode(codepage) || endian == -1) return;

  static constexpr std::uint8_t UTF16_BE[] = {0xFE, 0xFF};
  static constexpr std::uint8_t UTF16_LE[] = {0xFF, 0xFE};
  static constexpr std::uint8_t UTF32_BE[] = {0x00, 0x00, 0xFE, 0xFF};
  static constexpr std::uint8_t UTF32_LE[] = {0xFF, 0xFE, 0x00, 0x00};
  // The converter writes little-endian for byte order 1 only; the mark agrees.
  const bool littleEndian = endian == 1;
  const int minBytesPerChar = out->getConverter().getMinBytesPerChar();
  switch (minBytesPerChar) {
    case 2:
      out->appendRaw(littleEndian ? UTF16_LE : UTF16_BE, sizeof UTF16_BE);
      return;
    case 4:
      out->appendRaw(littleEndian ? UTF32_LE : UTF32_BE, sizeof UTF32_BE);
      return;
    default:
      ZelLog::warning(nullptr, "XMLPrinter::outputBOM", ZelMessages::CP_XML_INTERNAL_ERROR,
                      {"Unicode codepages should have a min bytes per char of either 2 or 4.", minBytesPerChar, codepage});
  }
}

void XMLPrinter::outputDocType(TextBufferWriter* out, const char16_t* rootName, const char16_t* publicId,
                               const char16_t* systemId, const char16_t* internalSubset, bool newLines) {
  appendStr(out, XML_DOCTYPE_PREFIX_STR);
  appendStr(out, rootName, -1);
  if (isPresent(systemId)) {
    // A public identifier needs a system identifier after it, so alone it is dropped.
    if (isPresent(publicId)) {
      appendStr(out, XML_PUBLIC_PREFIX_STR);
      appendStr(out, XML_DOUBLEQUOTE_STR);
      appendStr(out, publicId, -1);
      appendStr(out, XML_DOUBLEQUOTE_STR);
      appendStr(out, XML_SPACE_STR);
    } else {
      appendStr(out, XML_SYSTEM_PREFIX_STR);
    }
    appendStr(out, XML_DOUBLEQUOTE_STR);
    appendStr(out, systemId, -1);
    appendStr(out, XML_DOUBLEQUOTE_STR);
  }
  if (isPresent(internalSubset)) {
    outputInternalSubsetBegin(out);
    if (newLines) appendStr(out, XML_NEWLINE_STR);
    appendStr(out, internalSubset, -1);
    if (newLines) appendStr(out, XML_NEWLINE_STR);
    outputInternalSubsetEnd(out);
  }
  appendStr(out, XML_GREATERTHAN_STR);
}

void XMLPrinter::outputCDataSection(TextBufferWriter* out, const char16_t* text, long length) {
  appendStr(out, XML_CDATA_PREFIX_STR);
  appendStr(out, text, length);
  appendStr(out, XML_CDATA_SUFFIX_STR);
}

void XMLPrinter::outputInternalSubsetBegin(TextBufferWriter* out) { appendStr(out, XML_INTERNAL_PREFIX_STR); }

void XMLPrinter::outputInternalSubsetEnd(TextBufferWriter* out) { appendStr(out, XML_INTERNAL_SUFFIX_STR); }

#ifndef WFXML_SRC_UTF8_H
#define WFXML_SRC_UTF8_H

#include <cstddef>
#include <string>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace wfxml::detail {

// Writes the UTF-8 of text at the start of buffer and returns a view of it,
// valid until the next write. The buffer keeps its size (it only grows),
// which spares refilling it for every text. Unpaired surrogates become
// U+FFFD.
std::string_view writeUtf8(std::string& buffer, std::u16string_view text);

// Replaces out's text with the UTF-8 of text, reusing out's storage (names
// of streamed events are converted into the same strings again and again).
// Unpaired surrogates become U+FFFD.
void assignUtf8(std::string& out, std::u16string_view text);

// How many of the bytes from at on are ASCII, counted sixteen at a time (a
// run shorter than sixteen counts as none). Inline: the widening of a
// document calls it for every run.
inline std::size_t asciiRun(const unsigned char* at, std::size_t size) {
  std::size_t run = 0;
#ifdef __SSE2__
  while (size - run >= 16 && _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + run))) == 0) {
    run += 16;
  }
#endif
  return run;
}

// The length of the UTF-8 sequence at at (left bytes from there on) as
// RFC 3629 has it: no overlong forms, surrogates or code points beyond
// U+10FFFF; 0 where it is none.
inline std::size_t utf8SequenceLength(const unsigned char* at, std::size_t left) {
  const unsigned lead = at[0];
  if (lead < 0x80) return 1;
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
    return 0;
  }
  if (left < length || at[1] < low || at[1] > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if ((at[k] & 0xC0) != 0x80) return 0;
  return length;
}


// The offset of the first byte of text that does not begin a well-formed
// UTF-8 sequence (an overlong form, a surrogate, beyond U+10FFFF, cut
// short), std::string_view::npos when there is none. Text given to the API
// is checked, since the conversion to UTF-16 would turn such bytes into
// U+FFFD without a word.
std::size_t firstNonUtf8(std::string_view text);

inline std::string toUtf8(std::u16string_view text) {
  std::string out;
  assignUtf8(out, text);
  return out;
}

}  // namespace wfxml::detail

#endif

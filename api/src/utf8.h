#ifndef WFXML_SRC_UTF8_H
#define WFXML_SRC_UTF8_H

#include <string>
#include <string_view>

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

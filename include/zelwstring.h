#ifndef ZELWSTRING_H
#define ZELWSTRING_H

#include "zelapi.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

// A counted string of UTF-16 code units. The text is always zero-terminated
// (c_str() is never null) but may itself contain zero units; length() counts
// them. Comparison is by unsigned code units, a shorter string first on a
// common prefix.
class ZEL_API ZelWstring {
public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  ZelWstring() noexcept;
  ZelWstring(const char16_t* text);                    // null = empty
  ZelWstring(const char16_t* text, std::size_t length);
  explicit ZelWstring(std::u16string_view text);
  ZelWstring(const ZelWstring& other);
  ZelWstring(ZelWstring&& other) noexcept;
  ZelWstring& operator=(const ZelWstring& other);
  ZelWstring& operator=(ZelWstring&& other) noexcept;
  ZelWstring& operator=(const char16_t* text) { return assign(text); }
  ~ZelWstring();

  const char16_t* c_str() const noexcept { return data_; }
  const char16_t* data() const noexcept { return data_; }
  std::size_t length() const noexcept { return length_; }
  std::size_t size() const noexcept { return length_; }
  bool empty() const noexcept { return length_ == 0; }
  std::size_t capacity() const noexcept { return capacity_; }
  std::u16string_view view() const noexcept { return {data_, length_}; }
  char16_t operator[](std::size_t i) const { return data_[i]; }
  char16_t& operator[](std::size_t i) { return data_[i]; }

  void reserve(std::size_t units);
  // Inline: the parse empties its text buffers at every tag.
  void clear() noexcept {
    length_ = 0;
    if (capacity_ != 0) data_[0] = 0;
  }
  void resize(std::size_t units, char16_t fill = 0);

  ZelWstring& assign(const char16_t* text);            // null = empty
  ZelWstring& assign(const char16_t* text, std::size_t length);
  ZelWstring& assign(std::u16string_view text) { return assign(text.data(), text.size()); }
  ZelWstring& assign(const ZelWstring& other) { return assign(other.data_, other.length_); }
  ZelWstring& append(const char16_t* text);            // null appends nothing
  ZelWstring& append(const char16_t* text, std::size_t length);
  ZelWstring& append(std::u16string_view text) { return append(text.data(), text.size()); }
  ZelWstring& append(const ZelWstring& other) { return append(other.data_, other.length_); }
  ZelWstring& append(char16_t unit) { return append(&unit, 1); }
  ZelWstring& operator+=(const ZelWstring& other) { return append(other); }
  ZelWstring& operator+=(const char16_t* text) { return append(text); }
  ZelWstring& operator+=(char16_t unit) { return append(unit); }

  // Removes up to count units from pos (pos past the end removes nothing).
  ZelWstring& erase(std::size_t pos = 0, std::size_t count = npos);
  ZelWstring substr(std::size_t pos, std::size_t count = npos) const;
  std::size_t find(char16_t unit, std::size_t from = 0) const noexcept;
  std::size_t rfind(char16_t unit) const noexcept;

  int compare(std::u16string_view other) const noexcept;
  int compare(const ZelWstring& other) const noexcept { return compare(other.view()); }
  int compare(const char16_t* other) const noexcept { return compare(std::u16string_view(other ? other : u"")); }

  // Conversions from and to 8-bit text. convertString reads UTF-8 (so also
  // plain ASCII); invalid sequences become U+FFFD. convertChar appends one
  // Latin-1 character. toUtf8 writes UTF-8, unpaired surrogates as U+FFFD.
  ZelWstring& convertString(const char* utf8);
  ZelWstring& convertString(std::string_view utf8);
  ZelWstring& convertChar(char latin1);
  std::string toUtf8() const;
  static ZelWstring fromUtf8(std::string_view utf8);

protected:
  // For ZelBufferedWstring: storage of inlineCapacity units plus terminator
  // owned by the derived object. The tag keeps (char16_t*, size_t) calls on
  // the public text-and-length constructor.
  struct InlineStorage {};
  ZelWstring(InlineStorage, char16_t* storage, std::size_t inlineCapacity) noexcept;

private:
  bool usesHeap() const noexcept { return data_ != inline_ && data_ != emptyText(); }
  static char16_t* emptyText() noexcept;
  void growTo(std::size_t units);
  void stealOrCopy(ZelWstring& other);

  char16_t* data_;
  std::size_t length_;
  std::size_t capacity_;
  char16_t* inline_;
  std::size_t inlineCapacity_;
};

// Equal texts are compared with memcmp: char_traits<char16_t> compares one
// unit at a time, and names and namespace URIs of equal length mostly match.
inline bool operator==(const ZelWstring& a, std::u16string_view b) noexcept {
  return a.length() == b.size() && (b.empty() || std::memcmp(a.data(), b.data(), b.size() * sizeof(char16_t)) == 0);
}
inline bool operator!=(const ZelWstring& a, std::u16string_view b) noexcept { return !(a == b); }
inline bool operator==(const ZelWstring& a, const ZelWstring& b) noexcept { return a == b.view(); }
inline bool operator!=(const ZelWstring& a, const ZelWstring& b) noexcept { return !(a == b); }
inline bool operator<(const ZelWstring& a, const ZelWstring& b) noexcept { return a.compare(b) < 0; }

// A ZelWstring with room for N units inline: shorter texts need no heap.
template <std::size_t N>
class ZelBufferedWstring : public ZelWstring {
public:
  ZelBufferedWstring() noexcept : ZelWstring(InlineStorage{}, storage_, N) {}
  ZelBufferedWstring(const char16_t* text) : ZelWstring(InlineStorage{}, storage_, N) { assign(text); }
  ZelBufferedWstring(const char16_t* text, std::size_t length) : ZelWstring(InlineStorage{}, storage_, N) { assign(text, length); }
  explicit ZelBufferedWstring(std::u16string_view text) : ZelWstring(InlineStorage{}, storage_, N) { assign(text); }
  ZelBufferedWstring(const ZelWstring& other) : ZelWstring(InlineStorage{}, storage_, N) { assign(other); }
  ZelBufferedWstring(const ZelBufferedWstring& other) : ZelWstring(InlineStorage{}, storage_, N) { assign(other); }
  ZelBufferedWstring(ZelBufferedWstring&& other) noexcept : ZelWstring(InlineStorage{}, storage_, N) {
    ZelWstring::operator=(std::move(other));
  }
  ZelBufferedWstring& operator=(const ZelBufferedWstring& other) { assign(other); return *this; }
  ZelBufferedWstring& operator=(ZelBufferedWstring&& other) noexcept {
    ZelWstring::operator=(std::move(other));
    return *this;
  }
  ZelBufferedWstring& operator=(const ZelWstring& other) { assign(other); return *this; }
  ZelBufferedWstring& operator=(ZelWstring&& other) noexcept {
    ZelWstring::operator=(std::move(other));
    return *this;
  }
  ZelBufferedWstring& operator=(const char16_t* text) { assign(text); return *this; }

private:
  char16_t storage_[N + 1] = {};
};

// Hash for unordered containers keyed by ZelWstring.
struct ZelWstringHash {
  std::size_t operator()(const ZelWstring& s) const noexcept { return std::hash<std::u16string_view>()(s.view()); }
};

#endif

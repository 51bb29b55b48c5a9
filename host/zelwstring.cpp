#include "zelwstring.h"

#include <algorithm>
#include <cstring>
#include <new>

char16_t* ZelWstring::emptyText() noexcept {
  // Shared terminator of every empty plain string; never written to, since
  // capacity 0 forces growTo before any write.
  static char16_t empty[1] = {0};
  return empty;
}

ZelWstring::ZelWstring() noexcept
    : data_(emptyText()), length_(0), capacity_(0), inline_(nullptr), inlineCapacity_(0) {}

ZelWstring::ZelWstring(InlineStorage, char16_t* inlineStorage, std::size_t inlineCapacity) noexcept
    : data_(inlineStorage), length_(0), capacity_(inlineCapacity), inline_(inlineStorage),
      inlineCapacity_(inlineCapacity) {
  inlineStorage[0] = 0;
}

ZelWstring::ZelWstring(const char16_t* text) : ZelWstring() { assign(text); }
ZelWstring::ZelWstring(const char16_t* text, std::size_t length) : ZelWstring() { assign(text, length); }
ZelWstring::ZelWstring(std::u16string_view text) : ZelWstring() { assign(text); }
ZelWstring::ZelWstring(const ZelWstring& other) : ZelWstring() { assign(other); }
ZelWstring::ZelWstring(ZelWstring&& other) noexcept : ZelWstring() { stealOrCopy(other); }

ZelWstring& ZelWstring::operator=(const ZelWstring& other) {
  if (this != &other) assign(other);
  return *this;
}

ZelWstring& ZelWstring::operator=(ZelWstring&& other) noexcept {
  if (this != &other) stealOrCopy(other);
  return *this;
}

ZelWstring::~ZelWstring() {
  if (usesHeap()) delete[] data_;
}

void ZelWstring::stealOrCopy(ZelWstring& other) {
  if (other.usesHeap()) {
    if (usesHeap()) delete[] data_;
    data_ = other.data_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.data_ = other.inline_ ? other.inline_ : emptyText();
    other.capacity_ = other.inline_ ? other.inlineCapacity_ : 0;
    other.length_ = 0;
    if (other.inline_) other.inline_[0] = 0;
    return;
  }
  // The other string's text sits in its own inline storage: copy it. Short
  // texts fit our inline storage or an existing heap buffer, so this does not
  // allocate in practice; a failure here would terminate (noexcept).
  assign(other.data_, other.length_);
  other.clear();
}

void ZelWstring::growTo(std::size_t units) {
  if (units <= capacity_) return;
  std::size_t newCapacity = std::max(units, capacity_ + capacity_ / 2);
  auto* fresh = new char16_t[newCapacity + 1];
  std::memcpy(fresh, data_, length_ * sizeof(char16_t));
  fresh[length_] = 0;
  if (usesHeap()) delete[] data_;
  data_ = fresh;
  capacity_ = newCapacity;
}

void ZelWstring::reserve(std::size_t units) { growTo(units); }

void ZelWstring::resize(std::size_t units, char16_t fill) {
  if (units > length_) {
    growTo(units);
    std::fill(data_ + length_, data_ + units, fill);
  }
  length_ = units;
  if (capacity_ != 0) data_[length_] = 0;
}

ZelWstring& ZelWstring::assign(const char16_t* text) {
  if (!text) {
    clear();
    return *this;
  }
  return assign(text, std::char_traits<char16_t>::length(text));
}

ZelWstring& ZelWstring::assign(const char16_t* text, std::size_t length) {
  if (length == 0) {
    clear();
    return *this;
  }
  // The source may lie inside our own buffer (s.assign(s.data() + 1, ...)).
  if (text >= data_ && text <= data_ + length_) {
    std::memmove(data_, text, length * sizeof(char16_t));
  } else {
    length_ = 0;
    growTo(length);
    std::memcpy(data_, text, length * sizeof(char16_t));
  }
  length_ = length;
  data_[length_] = 0;
  return *this;
}

ZelWstring& ZelWstring::append(const char16_t* text) {
  if (!text) return *this;
  return append(text, std::char_traits<char16_t>::length(text));
}

ZelWstring& ZelWstring::append(const char16_t* text, std::size_t length) {
  if (length == 0) return *this;
  if (text >= data_ && text <= data_ + length_) {
    // Appending (part of) ourselves: growTo may move the buffer.
    const std::size_t offset = static_cast<std::size_t>(text - data_);
    growTo(length_ + length);
    std::memmove(data_ + length_, data_ + offset, length * sizeof(char16_t));
  } else {
    growTo(length_ + length);
    std::memcpy(data_ + length_, text, length * sizeof(char16_t));
  }
  length_ += length;
  data_[length_] = 0;
  return *this;
}

ZelWstring& ZelWstring::erase(std::size_t pos, std::size_t count) {
  if (pos >= length_) return *this;
  count = std::min(count, length_ - pos);
  std::memmove(data_ + pos, data_ + pos + count, (length_ - pos - count) * sizeof(char16_t));
  length_ -= count;
  data_[length_] = 0;
  return *this;
}

ZelWstring ZelWstring::substr(std::size_t pos, std::size_t count) const {
  if (pos >= length_) return ZelWstring();
  return ZelWstring(data_ + pos, std::min(count, length_ - pos));
}

std::size_t ZelWstring::find(char16_t unit, std::size_t from) const noexcept {
  for (std::size_t i = from; i < length_; ++i)
    if (data_[i] == unit) return i;
  return npos;
}

std::size_t ZelWstring::rfind(char16_t unit) const noexcept {
  for (std::size_t i = length_; i > 0; --i)
    if (data_[i - 1] == unit) return i - 1;
  return npos;
}

int ZelWstring::compare(std::u16string_view other) const noexcept {
  const std::size_t n = std::min(length_, other.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (data_[i] != other[i]) return data_[i] < other[i] ? -1 : 1;
  }
  if (length_ == other.size()) return 0;
  return length_ < other.size() ? -1 : 1;
}

ZelWstring& ZelWstring::convertString(const char* utf8) {
  clear();
  return utf8 ? convertString(std::string_view(utf8)) : *this;
}

ZelWstring& ZelWstring::convertString(std::string_view utf8) {
  clear();
  reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::uint32_t cp = 0xFFFD;
    std::size_t extra = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      cp = lead & 0x1F;
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      cp = lead & 0x0F;
      extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      cp = lead & 0x07;
      extra = 3;
    } else {
      append(u'\uFFFD');
      ++i;
      continue;
    }
    bool valid = true;
    for (std::size_t k = 1; valid && k <= extra; ++k) {
      if (i + k >= utf8.size() || (static_cast<unsigned char>(utf8[i + k]) & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    // The shortest form is the only valid one: an overlong "/" must not pass.
    static constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (!valid || cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      append(u'\uFFFD');
      ++i;
      continue;
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      append(static_cast<char16_t>(0xD800 + (cp >> 10)));
      append(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      append(static_cast<char16_t>(cp));
    }
  }
  return *this;
}

ZelWstring& ZelWstring::convertChar(char latin1) {
  return append(static_cast<char16_t>(static_cast<unsigned char>(latin1)));
}

std::string ZelWstring::toUtf8() const {
  std::string out;
  out.reserve(length_);
  for (std::size_t i = 0; i < length_; ++i) {
    std::uint32_t cp = data_[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length_ && data_[i + 1] >= 0xDC00 && data_[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (data_[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

ZelWstring ZelWstring::fromUtf8(std::string_view utf8) {
  ZelWstring s;
  s.convertString(utf8);
  return s;
}

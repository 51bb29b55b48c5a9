#include "zelexception.h"

#include <cstdio>

namespace ZelMessages {
const char* keyOf(std::uint32_t messageNumber) {
  switch (messageNumber) {
    case CP_XML_XERCES_PARSER_EXCEPTION: return "CP_XML_XERCES_PARSER_EXCEPTION";
    case CP_XML_INTERNAL_ERROR: return "CP_XML_INTERNAL_ERROR";
    case CP_XML_WRITING_UNPARSED_BUFFER_ERROR: return "CP_XML_WRITING_UNPARSED_BUFFER_ERROR";
    case CP_XML_DATA_READ_CONVERSION_ERROR: return "CP_XML_DATA_READ_CONVERSION_ERROR";
    case CP_XML_ROOTELEMENT_DATA_ERROR: return "CP_XML_ROOTELEMENT_DATA_ERROR";
    case CP_XML_ELEM_NAMESPACE_NOT_ALLOWED: return "CP_XML_ELEM_NAMESPACE_NOT_ALLOWED";
    case CP_XML_ATTR_NAMESPACE_NOT_ALLOWED: return "CP_XML_ATTR_NAMESPACE_NOT_ALLOWED";
    case CP_XML_NO_DICTIONARY: return "CP_XML_NO_DICTIONARY";
    case CP_XML_UNRESOLVED_UNION_ERROR: return "CP_XML_UNRESOLVED_UNION_ERROR";
    case CP_XML_LIST_OF_LIST_NOT_ALLOWED: return "CP_XML_LIST_OF_LIST_NOT_ALLOWED";
    case CP_INTERNAL_ERROR: return "CP_INTERNAL_ERROR";
    case CP_CONVERSION_ERROR: return "CP_CONVERSION_ERROR";
    case CP_DICTIONARY_FORMAT_ERROR: return "CP_DICTIONARY_FORMAT_ERROR";
    case CP_DICTIONARY_SOURCE_ERROR: return "CP_DICTIONARY_SOURCE_ERROR";
    case CP_PLUGIN_LOAD_ERROR: return "CP_PLUGIN_LOAD_ERROR";
    case CP_IO_ERROR: return "CP_IO_ERROR";
    case CP_CODEPAGE_ERROR: return "CP_CODEPAGE_ERROR";
    case CP_TREE_ERROR: return "CP_TREE_ERROR";
    case CP_TYPE_MISMATCH: return "CP_TYPE_MISMATCH";
    case CP_UNKNOWN_ENCODING: return "CP_UNKNOWN_ENCODING";
    case CP_UNKNOWN_MEMBER: return "CP_UNKNOWN_MEMBER";
    case CP_JSON_MISMATCH: return "CP_JSON_MISMATCH";
    case CP_NOT_SCHEMA_VALID: return "CP_NOT_SCHEMA_VALID";
    case CP_NO_SCHEMA: return "CP_NO_SCHEMA";
    case CP_INVALID_CONTENT: return "CP_INVALID_CONTENT";
    default: return "CP_UNKNOWN_MESSAGE";
  }
}
}  // namespace ZelMessages

std::string ZelInsert::toUtf8() const { return isNumber ? std::to_string(number) : text.toUtf8(); }

const char* zelDefaultLogSourceName() { return "WireFormatHost"; }

ZelException::ZelException(const char* sourceFile, long line, const char* function, const char* logSourceName,
                           std::uint32_t messageNumber)
    : sourceFile_(sourceFile ? sourceFile : ""), line_(line), function_(function ? function : ""),
      logSourceName_(logSourceName ? logSourceName : zelDefaultLogSourceName()), messageNumber_(messageNumber) {}

ZelException::~ZelException() = default;

ZelException& ZelException::addInsert(const ZelWstring& text) {
  ZelInsert insert;
  insert.text = text;
  inserts_.push_back(std::move(insert));
  rendered_.clear();
  return *this;
}

ZelException& ZelException::addInsert(const char16_t* text) { return addInsert(ZelWstring(text)); }

ZelException& ZelException::addInsert(const char16_t* text, std::size_t length) {
  return addInsert(ZelWstring(text, length));
}

ZelException& ZelException::addInsert(const char* utf8) {
  return addInsert(ZelWstring::fromUtf8(utf8 ? utf8 : ""));
}

ZelException& ZelException::addInsert(long long number) {
  ZelInsert insert;
  insert.isNumber = true;
  insert.number = number;
  inserts_.push_back(std::move(insert));
  rendered_.clear();
  return *this;
}

ZelException& ZelException::addInsert(const ZelException& cause) { return addInsert(std::string(cause.what())); }

std::string ZelException::insertText(std::size_t i) const {
  return i < inserts_.size() ? inserts_[i].toUtf8() : std::string();
}

const char* ZelException::what() const noexcept {
  if (rendered_.empty()) {
    try {
      char number[16];
      std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(messageNumber_));
      std::string text = std::string(getKey()) + " (" + number + ") in " + function_;
      if (!sourceFile_.empty()) text += " [" + sourceFile_ + ":" + std::to_string(line_) + "]";
      for (std::size_t i = 0; i < inserts_.size(); ++i) text += (i == 0 ? ": " : " | ") + inserts_[i].toUtf8();
      rendered_ = std::move(text);
    } catch (...) {
      return getKey();
    }
  }
  return rendered_.c_str();
}

const char* ZelException::className() const { return "ZelException"; }
void ZelException::throwThis() const { throw *this; }

ZelParserException::~ZelParserException() = default;
const char* ZelParserException::className() const { return "ZelParserException"; }
void ZelParserException::throwThis() const { throw *this; }

ZelFatalException::~ZelFatalException() = default;
const char* ZelFatalException::className() const { return "ZelFatalException"; }
void ZelFatalException::throwThis() const { throw *this; }

ZelConversionException::~ZelConversionException() = default;
const char* ZelConversionException::className() const { return "ZelConversionException"; }
void ZelConversionException::throwThis() const { throw *this; }

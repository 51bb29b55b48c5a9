// Base64 through Xerces-C's codec. Its XMLCh decoder wants a zero-terminated
// text, so the text is narrowed here and given to the byte decoder. The
// codec is handed a memory manager of ours: without one it frees some
// buffers with delete[] that it took from operator new, and the global one
// exists only while Xerces is initialised.
#include "base64converter.h"

#include "zelexception.h"

#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/util/Base64.hpp>

#include <memory>
#include <new>
#include <string>

namespace {

class OperatorNewMemoryManager final : public xercesc::MemoryManager {
public:
  xercesc::MemoryManager* getExceptionMemoryManager() override { return this; }
  void* allocate(XMLSize_t size) override { return ::operator new(size); }
  void deallocate(void* p) override { ::operator delete(p); }
};

xercesc::MemoryManager* codecMemory() {
  static OperatorNewMemoryManager memory;
  return &memory;
}

struct OperatorDelete {
  void operator()(XMLByte* bytes) const { ::operator delete(bytes); }
};
using XercesBytes = std::unique_ptr<XMLByte, OperatorDelete>;

bool isXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

[[noreturn]] void throwNotBase64(long line, const char16_t* text, std::size_t length) {
  ZelConversionException error(__FILE__, line, "CPBase64Converter::binFromBase64", zelDefaultLogSourceName(),
                               ZelMessages::CP_CONVERSION_ERROR);
  error.addInsert("base64 binary");
  error.addInsert(text, length);
  throw error;
}

}  // namespace

ZelWstring& CPBase64Converter::binToBase64(const std::uint8_t* bytes, std::size_t length, ZelWstring& out) {
  out.clear();
  if (length == 0) return out;
  XMLSize_t encodedLength = 0;
  const XercesBytes encoded(xercesc::Base64::encode(bytes, length, &encodedLength, codecMemory()));
  // Xerces breaks lines every 60 characters; values carry none.
  out.reserve(encodedLength);
  for (XMLSize_t i = 0; i < encodedLength; ++i)
    if (encoded.get()[i] != '\n') out.append(static_cast<char16_t>(encoded.get()[i]));
  return out;
}

PWFData CPBase64Converter::binFromBase64(const char16_t* text, std::size_t length) {
  if (!text) length = 0;
  // Narrow to the bytes the decoder reads; any character beyond ASCII is
  // no base64 (a plain cast could turn it into a valid one).
  std::string ascii;
  ascii.reserve(length + 1);
  bool onlySpace = true;
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == 0 || text[i] > 0x7F) throwNotBase64(__LINE__, text, length);
    onlySpace = onlySpace && isXmlSpace(text[i]);
    ascii.push_back(static_cast<char>(text[i]));
  }
  // The decoder answers an empty text like an invalid one.
  if (onlySpace) return PWFData::makeBinary({});
  XMLSize_t decodedLength = 0;
  const XercesBytes decoded(xercesc::Base64::decode(reinterpret_cast<const XMLByte*>(ascii.c_str()), &decodedLength,
                                                    codecMemory(), xercesc::Base64::Conf_RFC2045));
  if (!decoded) throwNotBase64(__LINE__, text, length);
  return PWFData::makeBinary(std::vector<std::uint8_t>(decoded.get(), decoded.get() + decodedLength));
}

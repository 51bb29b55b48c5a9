#include "valuepattern.h"

#include "xmllibrary.h"
#include "zelwstring.h"

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/regx/RegularExpression.hpp>

namespace wfxml::detail {

struct ValuePattern::Expression {
  explicit Expression(const char16_t* pattern)
      : regex(pattern, kSchemaSyntax, xercesc::XMLPlatformUtils::fgMemoryManager) {}
  static constexpr char16_t kSchemaSyntax[] = u"X";  // XML Schema's dialect, matching whole values
  xercesc::RegularExpression regex;
};

std::unique_ptr<const ValuePattern> ValuePattern::compile(const std::string& expression) {
  startXmlLibraryForProcess();
  const ZelWstring pattern = ZelWstring::fromUtf8(expression);
  try {
    return std::unique_ptr<const ValuePattern>(new ValuePattern(std::make_unique<Expression>(pattern.c_str())));
  } catch (const xercesc::XMLException&) {
    return nullptr;
  }
}

ValuePattern::ValuePattern(std::unique_ptr<Expression> expression) : expression_(std::move(expression)) {}

ValuePattern::~ValuePattern() = default;

bool ValuePattern::matches(std::string_view text) const {
  const ZelWstring wide = ZelWstring::fromUtf8(text);
  return expression_->regex.matches(wide.c_str(), xercesc::XMLPlatformUtils::fgMemoryManager);
}

}  // namespace wfxml::detail

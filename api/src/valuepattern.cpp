#include "valuepattern.h"

#include "patternbacktracking.h"
#include "xmllibrary.h"
#include "zelwstring.h"

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/regx/RangeToken.hpp>
#include <xercesc/util/regx/RegularExpression.hpp>
#include <xercesc/util/regx/Token.hpp>

namespace wfxml::detail {
namespace {

void buildLookupTables(const xercesc::Token* token) {
  if (!token) return;
  const xercesc::Token::tokType type = token->getTokenType();
  if (type == xercesc::Token::T_RANGE || type == xercesc::Token::T_NRANGE)
    const_cast<xercesc::RangeToken*>(static_cast<const xercesc::RangeToken*>(token))->createMap();
  for (XMLSize_t i = 0; i < token->size(); ++i) buildLookupTables(token->getChild(i));
}

}  // namespace

void buildLookupTables(const xercesc::RegularExpression& expression) {
  buildLookupTables(patternTokenTree(expression));
}

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
    auto compiled = std::make_unique<Expression>(pattern.c_str());
    if (!unboundedExpressionMatch(compiled->regex).empty()) return nullptr;
    buildLookupTables(compiled->regex);
    return std::unique_ptr<const ValuePattern>(new ValuePattern(std::move(compiled)));
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

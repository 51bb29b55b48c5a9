// Texts of every kind DataCnv reads (tests/data/datacnv-texts.json): each is
// written back as its value's text, or refused naming the kind and the text.
#include "base64converter.h"
#include "host/datacnv_test_support.h"
#include "paramname.h"
#include "xsdlexical.h"
#include "testdata.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

namespace {

struct KindText {
  std::string kind;
  std::string refusedAs;  // empty: the text is read and written back as written
  std::u16string text;
  std::u16string written;
};
void PrintTo(const KindText& c, std::ostream* os) { *os << c.kind << " '" << utf8(c.text) << "'"; }

std::vector<KindText> kindTexts() {
  std::vector<KindText> cases;
  const nlohmann::json json = nlohmann::json::parse(dataText("datacnv-texts.json"));
  for (const auto& [kind, texts] : json.items()) {
    if (kind == "#") continue;
    auto add = [&](const std::string& text, const std::string& written, bool refused) {
      const auto utf16 = [](const std::string& utf8) { return std::u16string(ZelWstring::fromUtf8(utf8).view()); };
      cases.push_back({kind, refused ? texts.at("refusedAs").get<std::string>() : "", utf16(text), utf16(written)});
    };
    const nlohmann::json unchanged = texts.value("unchanged", nlohmann::json::array());
    const nlohmann::json rewritten = texts.value("written", nlohmann::json::object());
    for (const nlohmann::json& text : unchanged) add(text, text, false);
    for (const auto& [text, written] : rewritten.items()) add(text, written, false);
    for (const nlohmann::json& text : texts.at("refused")) add(text, "", true);
  }
  return cases;
}

// Reads the text as its kind and writes the value back.
std::u16string writtenBack(const DataCnv& cnv, const std::string& kind, std::u16string_view text) {
  ZelWstring out;
  if (kind == "Int64") {
    cnv.StrFromInt64(toInt64(cnv, text).getIntegerValue(), out);
  } else if (kind == "Int32") {
    const PWFData value = cnv.StrToInt32(text.data(), text.size(), DataCnv::SIGN_LEADING, DataCnv::US_MINUS,
                                         DataCnv::US_PLUS, 0, DataCnv::JUSTIFY_RIGHT, u'0', true);
    cnv.StrFromInt64(value.getIntegerValue(), out);
  } else if (kind == "Double") {
    cnv.StrFromDbl(cnv.StrToDbl(text.data(), text.size()).getFloatValue(), out);
  } else if (kind == "Decimal") {
    cnv.StrFromDec(toDecimal(cnv, text).getDecimalValue(), out);
  } else if (kind == "HexBinary") {
    const std::vector<std::uint8_t> bytes = cnv.StrToBin(text.data(), text.size()).getBinaryValue();
    cnv.StrFromBin(bytes.data(), bytes.size(), out);
  } else if (kind == "Base64") {
    const std::vector<std::uint8_t> bytes = CPBase64Converter::binFromBase64(text.data(), text.size()).getBinaryValue();
    CPBase64Converter::binToBase64(bytes.data(), bytes.size(), out);
  } else if (kind == "Duration") {
    cnv.StrFromInterval(cnv.StrToInterval(text.data(), text.size()).getIntervalValue(), out);
  } else if (kind == "DateTime") {
    const PWFData value = cnv.StrToDateTime(text.data(), u"I", static_cast<long>(text.size()));
    cnv.StrFromDateTime(value.getDateTimeValue(), u"I", nullptr, out);
  } else {
    ADD_FAILURE() << "no kind " << kind;
  }
  return std::u16string(out.view());
}

class DataCnvTexts : public testing::TestWithParam<KindText> {};

TEST_P(DataCnvTexts, AreWrittenBackAsTheirValueOrRefusedNamingKindAndText) {
  const DataCnv cnv = handlerDataCnv();
  const KindText& c = GetParam();
  if (c.refusedAs.empty()) {
    EXPECT_EQ(writtenBack(cnv, c.kind, c.text), c.written);
  } else {
    expectConversionError([&] { writtenBack(cnv, c.kind, c.text); }, c.refusedAs, c.text);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, DataCnvTexts, testing::ValuesIn(kindTexts()),
                         [](const testing::TestParamInfo<KindText>& info) {
                           return info.param.kind + "_" + ReadableName()(testing::TestParamInfo<std::u16string_view>(
                                                              info.param.text, info.index));
                         });

}  // namespace

// tests/data/xsd-lexical.json: texts a built-in type's lexical space takes or refuses.
TEST(XsdLexicalForms, AreThoseOfTheBuiltInTypes) {
  const nlohmann::json json = nlohmann::json::parse(dataText("xsd-lexical.json"));
  for (const auto& [name, texts] : json.items()) {
    if (name == "#") continue;
    const XsdBuiltin type = xsdBuiltinNamed(ZelWstring::fromUtf8(name).view());
    ASSERT_NE(type, XsdBuiltin::None) << name;
    for (const auto& [verdict, taken] : {std::pair{"takes", true}, std::pair{"refuses", false}})
      for (const std::string text : texts.at(verdict))
        EXPECT_EQ(isXsdLexicalForm(type, ZelWstring::fromUtf8(text).view()), taken) << name << " '" << text << "'";
  }
}

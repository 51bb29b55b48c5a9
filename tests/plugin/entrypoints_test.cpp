#include "xmlworker.h"

#include <gtest/gtest.h>

#include <string>

namespace {
struct NameCase {
  const char* label;
  const char16_t* name;
  bool served;
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << c.label; }

class GetFactoryTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(GetFactoryTest, ServesExactlyTheNameXML) {
  BitstreamWorkerFactory* factory = reinterpret_cast<BitstreamWorkerFactory*>(0x1);
  const int status = GetFactory(GetParam().name, &factory);
  if (GetParam().served) {
    EXPECT_EQ(status, 0);
    ASSERT_NE(factory, nullptr);
    BitstreamWorkerFactory* again = nullptr;
    GetFactory(u"XML", &again);
    EXPECT_EQ(again, factory) << "one factory for the process";
  } else {
    EXPECT_EQ(status, 1);
    EXPECT_EQ(factory, nullptr) << "the out-parameter is written on failure too";
  }
}

INSTANTIATE_TEST_SUITE_P(Names, GetFactoryTest,
                         ::testing::Values(NameCase{"Exact", u"XML", true}, NameCase{"Prefix", u"XM", false},
                                           NameCase{"Longer", u"XMLX", false}, NameCase{"LowerCase", u"xml", false},
                                           NameCase{"Empty", u"", false}, NameCase{"Null", nullptr, false}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(EntryPointsTest, DescribeOneFormatAtLevel001) {
  long count = 0;
  EXPECT_EQ(GetNumFormats(&count), 0);
  EXPECT_EQ(count, 1);

  const char16_t* name = nullptr;
  EXPECT_EQ(GetFormat(0, &name), 0);
  EXPECT_EQ(std::u16string(name), u"XML");
  for (long index : {1L, -1L}) {
    name = u"stale";
    EXPECT_EQ(GetFormat(index, &name), 1);
    EXPECT_EQ(name, nullptr);
  }

  const char16_t* level = nullptr;
  EXPECT_EQ(GetLevel(&level), 0);
  EXPECT_EQ(std::u16string(level), u"001");
}

}  // namespace

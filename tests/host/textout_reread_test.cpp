// Documents written through TextBufferWriter, with the converter's name in
// the XML declaration, read back by the scanner's library and by libxml2.
#include "bitstreambuffer.h"
#include "textbufferwriter.h"
#include "unicodeconverter.h"
#include "paramname.h"

#include <gtest/gtest.h>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace xercesc;

// Text the code pages under test carry partly; everything else travels as
// character references and must come back all the same.
const std::u16string CONTENT = u"plain \u00e9\u00fc \u20ac \u65e5\u672c \U0001F600 end";

struct Reread {
  long ccsid;
  long endian;
  bool libxml2;  // libxml2 2.9 reads no UTF-32 document that starts with a mark
};

void PrintTo(const Reread& page, std::ostream* os) { *os << page.ccsid << "/" << page.endian; }

std::vector<std::uint8_t> writeDocument(const Reread& page) {
  WritableBitstreamBuffer out;
  TextBufferWriter writer(&out, page.ccsid, page.endian);
  const CPUnicodeConverter& converter = writer.getConverter();
  if (CPUnicodeConverter::IsUnicode(page.ccsid) && page.endian != -1) {
    static const std::uint8_t marks[2][2][4] = {{{0xFE, 0xFF}, {0xFF, 0xFE}}, {{0, 0, 0xFE, 0xFF}, {0xFF, 0xFE, 0, 0}}};
    const int wide = converter.getMinBytesPerChar() == 4;
    writer.appendRaw(marks[wide][page.endian == 1], wide ? 4 : 2);
  }
  ZelWstring text;
  text.convertString(std::string("<?xml version=\"1.0\" encoding=\"") + converter.getName() + "\"?>\n<r>");
  text.append(CONTENT);
  text.append(u"</r>");
  writer.appendStr(text);
  writer.flush();
  return out.bytes();
}

class RereadAcrossCodePages : public ::testing::TestWithParam<Reread> {
protected:
  static void SetUpTestSuite() { XMLPlatformUtils::Initialize(); }
  static void TearDownTestSuite() { XMLPlatformUtils::Terminate(); }
};

TEST_P(RereadAcrossCodePages, ScannerLibraryAndLibxml2ReadTheDeclaredEncoding) {
  const std::vector<std::uint8_t> bytes = writeDocument(GetParam());
  XercesDOMParser parser;
  HandlerBase errors;  // throws on every error
  parser.setErrorHandler(&errors);
  MemBufInputSource source(bytes.data(), bytes.size(), "reread");
  ASSERT_NO_THROW(parser.parse(source));
  EXPECT_EQ(std::u16string(parser.getDocument()->getDocumentElement()->getTextContent()), CONTENT);

  if (!GetParam().libxml2) return;  // a form libxml2 cannot read
  if (std::system("xmllint --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint is not installed";
  char path[] = "/tmp/textout_rereadXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fd);
  std::string result;
  if (FILE* pipe = popen((std::string("xmllint --xpath 'string(/r)' ") + path + " 2>&1").c_str(), "r")) {
    char chunk[256];
    for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) result.append(chunk, n);
    pclose(pipe);
  }
  unlink(path);
  EXPECT_EQ(result, ZelWstring(CONTENT).toUtf8() + "\n");  // xmllint ends its answer with a line feed
}

INSTANTIATE_TEST_SUITE_P(CodePages, RereadAcrossCodePages,
                         ::testing::Values(Reread{1208, 2, true}, Reread{1200, 2, true}, Reread{1200, 1, true},
                                           Reread{17584, -1, true}, Reread{1232, 2, false}, Reread{1234, 1, false},
                                           Reread{500, 2, true}, Reread{37, 2, true}, Reread{1047, 2, true},
                                           Reread{819, 2, true}, Reread{5348, 2, true}, Reread{943, 2, true},
                                           Reread{1386, 2, true}), ReadableName());

}  // namespace

// Serialization of whole dictionaries: round trip and the loader's
// robustness against truncated and corrupted buffers. (The callbacks a load
// makes are what every XML descriptor of the plug-in tests is filled by.)

#include "dictformat.h"
#include "stddictionaryinfo.h"
#include "zelexception.h"
#include "host/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

// A small dictionary with every kind of content: records with names,
// properties of both types, a namespace, dependencies and a mode word.
void fillSample(StdDictionaryInfo& dict) {
  dict.setWireFormatName(u"XML");
  dict.setDictionaryMode(1);
  dict.setProjectDependencies({ZelWstring(u"urn:base"), ZelWstring(u"urn:own")});
  dict.setSchemaDocuments({{"/s/orders.xsd", "<xs:schema/>", true}, {"/s/common.xsd", "", false}});
  dict.getIdentificationDefs().Create(1);
  dict.getIdentificationDefs().SetRowName(0, u"sample");
  dict.getMsgSetDefs().Create(1);
  dict.getMsgSetDefs().SetRowName(0, u"orders");
  dict.getMsgSetDefs().GetBuffer()[0].namespacesEnabled = 1;
  dict.getNamespaceDefs().Create(1);
  dict.getNamespaceDefs().SetRowName(0, u"urn:orders");

  dict.getTypeDefs().Create(2);
  SMD_TYPE_DEFINITION* types = dict.getTypeDefs().GetBuffer();
  types[0].typeId = 100;
  types[0].logicalType = eLogicalDecimal;
  types[0].namespaceIndex = 0;
  dict.getTypeDefs().SetRowName(0, u"amount");
  types[1].typeId = 101;
  types[1].baseTypeId = 100;
  types[1].derivationMethod = DictCodes::eDerivationRestriction;
  types[1].isAnonymous = 1;

  dict.getTagDefs().Create(2);
  SMD_TAG_DEFINITION* tags = dict.getTagDefs().GetBuffer();
  tags[0] = SMD_TAG_DEFINITION{};
  tags[0].tagId = 7;
  tags[0].tagClass = 'M';
  tags[0].typeId = 101;
  tags[0].typeIndex = 1;
  tags[0].namespaceIndex = 0;
  dict.getTagDefs().SetRowName(0, u"order");
  tags[1].tagId = 8;
  tags[1].tagClass = 'F';
  tags[1].typeId = 100;
  tags[1].typeIndex = 0;
  dict.getTagDefs().SetRowName(1, u"total");

  DictTable* tagTable = dict.getTagDefs().GetTable();
  tagTable->CreateProperty(u"XML", u"XML Name", eLogicalString, 0);
  tagTable->SetProperty(0, u"XML", u"XML Name", u"Order");
  tagTable->SetProperty(1, u"XML", u"XML Name", u"");
  tagTable->CreateProperty(u"XML", u"Render", eLogicalInteger, 0);
  tagTable->SetIntProperty(1, u"XML", u"Render", -1);

  dict.getStructDefs().Create(1);
  SMD_STRUCTURE_ELEMENT_DEFINITION* member = dict.getStructDefs().GetBuffer();
  member->memberId = 500;
  member->containingTypeId = 101;
  member->elementId = 8;
  member->elementIndex = 1;
  member->typeIndex = 0;
  dict.getStructDefs().SetRowName(0, u"total");
}

std::vector<unsigned char> sampleBuffer() {
  StdDictionaryInfo dict(1);
  fillSample(dict);
  return dict.ToQLBuffer();
}

void expectFormatError(const std::vector<unsigned char>& bytes) {
  StdDictionaryInfo dict(1);
  const ZelFatalException e = raisedBy<ZelFatalException>([&] { dict.FromQLBuffer(bytes.data(), bytes.size()); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_DICTIONARY_FORMAT_ERROR) << e.what();
  ASSERT_EQ(e.getInserts().size(), 2u);
  EXPECT_TRUE(e.getInserts()[1].isNumber);
}

// Rewrites the recorded length and the checksum so that damage reaches the
// structural checks.
void reseal(std::vector<unsigned char>& bytes) {
  for (int i = 0; i < 8; ++i) bytes[16 + i] = static_cast<unsigned char>(std::uint64_t(bytes.size()) >> (8 * i));
  const std::size_t covered = DICT_FORMAT_CHECKSUM_OFFSET + 8;
  const std::uint64_t sum = dictFormatChecksum(bytes.data() + covered, bytes.size() - covered);
  for (int i = 0; i < 8; ++i) bytes[DICT_FORMAT_CHECKSUM_OFFSET + i] = static_cast<unsigned char>(sum >> (8 * i));
}

std::string dumpOf(const DictionaryInfo& dict) {
  char* text = nullptr;
  std::size_t size = 0;
  FILE* file = open_memstream(&text, &size);
  dict.DumpContents(file);
  std::fclose(file);
  std::string result(text, size);
  std::free(text);
  return result;
}

TEST(DictRoundTrip, ReloadedDictionaryDumpsAndSerializesIdentically) {
  StdDictionaryInfo original(1);
  fillSample(original);
  const std::vector<unsigned char> bytes = original.ToQLBuffer();

  StdDictionaryInfo copy(1);
  copy.FromQLBuffer(bytes.data(), bytes.size());
  EXPECT_EQ(copy.ToQLBuffer(), bytes);
  // The dump lists the wire format, mode, dependencies, every row and every
  // property value (an empty string as a value, an unset one not at all).
  EXPECT_EQ(dumpOf(copy), dumpOf(original));
  ASSERT_EQ(copy.getSchemaDocuments().size(), 2u);
  EXPECT_EQ(copy.getSchemaDocuments()[0].bytes, "<xs:schema/>");
  EXPECT_TRUE(copy.getSchemaDocuments()[0].isRoot);
  EXPECT_EQ(copy.getSchemaDocuments()[1].location, "/s/common.xsd");
  // Row names are mapped again during the load and name pointers refreshed.
  EXPECT_EQ(std::u16string_view(copy.getTagDefs()[1]->name), u"total");
}

TEST(DictRoundTrip, RejectsForeignNumberingAndSecondLoad) {
  const std::vector<unsigned char> bytes = sampleBuffer();
  StdDictionaryInfo otherNumbering(0);
  EXPECT_THROW(otherNumbering.FromQLBuffer(bytes.data(), bytes.size()), ZelFatalException);

  StdDictionaryInfo dict(1);
  dict.FromQLBuffer(bytes.data(), bytes.size());
  const ZelFatalException e = raisedBy<ZelFatalException>([&] { dict.FromQLBuffer(bytes.data(), bytes.size()); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_INTERNAL_ERROR);
}

TEST(DictLoaderRobustness, EveryTruncationIsAFormatError) {
  const std::vector<unsigned char> bytes = sampleBuffer();
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    std::vector<unsigned char> truncated(bytes.begin(), bytes.begin() + length);
    expectFormatError(truncated);
    if (length < DICT_FORMAT_HEADER_SIZE) continue;
    reseal(truncated);  // a consistent header: the cut is found in the body
    expectFormatError(truncated);
  }
}

TEST(DictLoaderRobustness, EveryByteFlipFailsTheChecksumOrHeader) {
  const std::vector<unsigned char> bytes = sampleBuffer();
  std::mt19937 random(20240611u);
  for (int trial = 0; trial < 3000; ++trial) {
    std::vector<unsigned char> damaged = bytes;
    const std::size_t at = random() % damaged.size();
    damaged[at] ^= static_cast<unsigned char>(1 + random() % 255);
    expectFormatError(damaged);
  }
}

// With the checksum resealed, damage reaches the structure: a load either
// fails with a host exception or yields a dictionary whose own lookups and
// dump stay within bounds.
TEST(DictLoaderRobustness, ResealedDamageNeverCrashes) {
  const std::vector<unsigned char> bytes = sampleBuffer();
  std::mt19937 random(77u);
  FILE* sink = std::fopen("/dev/null", "w");
  ASSERT_NE(sink, nullptr);
  int loaded = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    std::vector<unsigned char> damaged = bytes;
    const int flips = 1 + static_cast<int>(random() % 3);
    for (int f = 0; f < flips; ++f) {
      const std::size_t at = DICT_FORMAT_CHECKSUM_OFFSET + 8 + random() % (damaged.size() - DICT_FORMAT_CHECKSUM_OFFSET - 8);
      damaged[at] ^= static_cast<unsigned char>(1 + random() % 255);
    }
    reseal(damaged);
    StdDictionaryInfo dict(1);
    try {
      dict.FromQLBuffer(damaged.data(), damaged.size());
      dict.postProcessDictionary();
      ++loaded;
      long index = 0;
      for (long id : {7L, 8L, 100L, 101L, 500L, -1L}) {
        dict.getTagDefIndex(id);
        dict.getStructDefIndexFromMbrID(id);
        dict.getTraceTextForID(id);
      }
      for (long t = -1; t <= dict.getTypeDefs().GetRowCount(); ++t) dict.getEventualParentTypeName(t);
      dict.getTypeIndexForTypeText(u"amount", ZelWstring(u"urn:orders"), index, false);
      dict.getTypeIndexForTypeText(u"amount", ZelWstring(), index, true);
      dict.getFormatVersion();
      dict.DumpContents(sink);
    } catch (const ZelException&) {
    }
  }
  std::fclose(sink);
  EXPECT_GT(loaded, 0);  // some damage only changes values
}

}  // namespace

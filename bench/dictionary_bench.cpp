// Loading an XML descriptor and looking elements up by name.
//
// Data: a generated dictionary with 100 types of mixed logical types, four
// namespaces (a fifth of the elements in none), elements named
// "element000000" ... with an XML name and render each, and type members that
// refer to the elements in turn, each with an XML name, render and encoding.
//
//   LoadAndPostProcess    10,000 elements and 50,000 members, serialized once
//                          in set-up; timed: FromExtractFormat (which also
//                          builds the element-name index) and
//                          postProcessDictionary.
//   ElementNameLookup/N    lookups of existing elements (in a scattered order)
//                          in a dictionary of N elements; the time per lookup
//                          should grow with log2(N), not with N.
//
// What is timed is the plug-in's descriptor class itself (its loading and
// its name index), so this program builds and loads XMLDictionaryInfo
// directly rather than through the wfxml API, whose loading adds the
// plug-in's library and a first worker.

#include "xmldictionaryinfo.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kTypeCount = 100;
constexpr int kNamespaceCount = 4;

struct Releaser {
  void operator()(XMLDictionaryInfo* dictionary) const { dictionary->release(); }
};
using DictionaryPtr = std::unique_ptr<XMLDictionaryInfo, Releaser>;

std::u16string elementName(int i) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "element%06d", i);
  return std::u16string(digits, digits + std::char_traits<char>::length(digits));
}

std::u16string namespaceURI(int i) { return u"urn:bench:ns" + std::u16string(1, static_cast<char16_t>(u'0' + i)); }

// Element i is in namespace i % 5 - 1 (-1: none).
long namespaceOf(int element) { return element % (kNamespaceCount + 1) - 1; }

std::vector<unsigned char> makeDictionaryImage(int elementCount, int memberCount) {
  XMLDictionaryInfo image(0);
  image.setWireFormatName(ZelWstring(u"XML"));
  image.getIdentificationDefs().Create(1);
  image.getIdentificationDefs().SetRowName(0, u"Bench");

  const StdDictMsgSetDefs& msgSets = image.getMsgSetDefs();
  msgSets.Create(1);
  for (const char16_t* name : {XML_SUPPRESS_XML_DECLARATION, XML_SUPPRESS_DOCTYPE, XML_ENABLE_VERSIONING_SUPPORT,
                               XML_ENCODING_NULL_NUM, XML_ENCODING_NULL_NON_NUM}) {
    msgSets.GetTable()->CreateProperty(u"XML", name, eLogicalInteger, 0)->SetIntValue(0, 1);
  }

  const StdDictNamespaceDefs& namespaces = image.getNamespaceDefs();
  namespaces.Create(kNamespaceCount);
  for (int i = 0; i < kNamespaceCount; ++i) namespaces.SetRowName(i, namespaceURI(i));

  const ELogicalType logicalTypes[] = {eLogicalString, eLogicalInteger, eLogicalDecimal, eLogicalDateTime,
                                       eLogicalBinary};
  const StdDictTypeDefs& types = image.getTypeDefs();
  types.Create(kTypeCount);
  for (int i = 0; i < kTypeCount; ++i) {
    types.GetBuffer()[i].typeId = 10 + i;
    types.GetBuffer()[i].logicalType = logicalTypes[i % 5];
  }

  const StdDictTagDefs& tags = image.getTagDefs();
  tags.Create(elementCount);
  DictTable* tagTable = tags.GetTable();
  const StringTableRef tagXmlName = tagTable->CreateProperty(u"XML", XML_XML_NAME, eLogicalString, 0);
  const StringTableRef tagRender = tagTable->CreateProperty(u"XML", XML_RENDER, eLogicalInteger, 0);
  for (int i = 0; i < elementCount; ++i) {
    SMD_TAG_DEFINITION& tag = tags.GetBuffer()[i];
    tag.tagId = 100000 + i;
    tag.tagClass = i % 50 == 0 ? DictCodes::eClassStructure : DictCodes::eClassField;
    tag.typeIndex = i % kTypeCount;
    tag.typeId = 10 + tag.typeIndex;
    tag.namespaceIndex = static_cast<std::int32_t>(namespaceOf(i));
    const std::u16string name = elementName(i);
    tags.SetRowName(i, name);
    tagXmlName->SetValue(i, name.c_str());
    tagRender->SetIntValue(i, erElement);
  }

  const StdDictStructDefs& members = image.getStructDefs();
  members.Create(memberCount);
  DictTable* memberTable = members.GetTable();
  const StringTableRef memberXmlName = memberTable->CreateProperty(u"XML", XML_XML_NAME, eLogicalString, 0);
  const StringTableRef memberRender = memberTable->CreateProperty(u"XML", XML_RENDER, eLogicalInteger, 0);
  const StringTableRef memberEncoding = memberTable->CreateProperty(u"XML", XML_ENCODING, eLogicalInteger, 0);
  for (int i = 0; i < memberCount; ++i) {
    SMD_STRUCTURE_ELEMENT_DEFINITION& member = members.GetBuffer()[i];
    member.memberId = 1000000 + i;
    member.elementIndex = i % elementCount;
    member.elementId = 100000 + member.elementIndex;
    member.typeIndex = i % kTypeCount;
    member.containingTypeId = 10 + (i / 5) % kTypeCount;
    memberXmlName->SetValue(i, elementName(member.elementIndex).c_str());
    memberRender->SetIntValue(i, erElement);
    memberEncoding->SetIntValue(i, edeUndefined);
  }
  return image.ToQLBuffer();
}

DictionaryPtr loadDictionary(const std::vector<unsigned char>& image) {
  DictionaryPtr dictionary(new XMLDictionaryInfo(0));
  dictionary->FromExtractFormat(nullptr, image.data(), image.size());
  dictionary->postProcessDictionary();
  return dictionary;
}

void LoadAndPostProcess(benchmark::State& state) {
  const std::vector<unsigned char> image = makeDictionaryImage(10000, 50000);
  for (auto _ : state) {
    DictionaryPtr dictionary = loadDictionary(image);
    benchmark::DoNotOptimize(dictionary.get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
  state.counters["image_bytes"] = static_cast<double>(image.size());
}
BENCHMARK(LoadAndPostProcess)->Unit(benchmark::kMillisecond);

struct LookupKey {
  std::u16string name;
  ZelWstring namespaceURI;
};

void ElementNameLookup(benchmark::State& state) {
  const int elementCount = static_cast<int>(state.range(0));
  const DictionaryPtr dictionary = loadDictionary(makeDictionaryImage(elementCount, 0));
  // A fixed, scattered sample of existing elements, so that the probes do
  // not follow one path through the index.
  std::vector<LookupKey> keys;
  for (int i = 0; i < 1024; ++i) {
    const int element = static_cast<int>((i * 2654435761u) % static_cast<unsigned>(elementCount));
    const long ns = namespaceOf(element);
    keys.push_back({elementName(element), ns < 0 ? ZelWstring() : ZelWstring(namespaceURI(static_cast<int>(ns)))});
  }
  const XMLDictionaryInfo::XMLTagDefs& tags = dictionary->getXMLTagDefs();
  std::size_t next = 0;
  long found = 0;
  for (auto _ : state) {
    const LookupKey& key = keys[next];
    next = (next + 1) % keys.size();
    found += tags.getElementIndexFromXMLElement(key.name.c_str(), key.namespaceURI, eTagStyleAny) >= 0;
  }
  if (found != static_cast<long>(state.iterations())) state.SkipWithError("an existing element was not found");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(ElementNameLookup)->Arg(1000)->Arg(10000)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();

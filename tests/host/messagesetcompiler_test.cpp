#include "messagesetcompiler.h"

#include "dictrecords.h"
#include "messagesetjson.h"
#include "stddictionaryinfo.h"
#include "zelexception.h"
#include "host/test_support.h"
#include "smallthread.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace msgset;

namespace {

constexpr char kSchemaNamespace[] = "http://www.w3.org/2001/XMLSchema";

// Compiles a source, then loads the serialized dictionary into a fresh one,
// as a host would: every expectation below holds after the round trip.
std::unique_ptr<StdDictionaryInfo> compileAndLoad(const std::string& source) {
  const std::vector<unsigned char> bytes = compileMessageSetToExtract(parseMessageSetJson(source, "t.json"), "t.json");
  auto loaded = std::make_unique<StdDictionaryInfo>(1);
  loaded->FromExtractFormat(nullptr, bytes.data(), bytes.size());
  loaded->postProcessDictionary();
  return loaded;
}

std::string utf8(const char16_t* text) { return text ? ZelWstring(text).toUtf8() : std::string("(null)"); }

// An "XML" property of a row: its string ("" when unset) or integer.
std::string text(const DictTableRefBase& table, const char16_t* property, long row) {
  const StringTable* values = table.GetTable()->FindProperty(u"XML", property);
  if (!values) return "(no property)";
  const char16_t* value = values->GetValue(row);
  return value ? utf8(value) : "";
}
std::int64_t number(const DictTableRefBase& table, const char16_t* property, long row) {
  const StringTable* values = table.GetTable()->FindProperty(u"XML", property);
  EXPECT_NE(values, nullptr) << utf8(property);
  return values ? values->GetIntValue(row) : -999;
}

long rowNamed(const DictTableRefBase& table, const std::string& name) {
  for (long i = 0; i < table.GetRowCount(); ++i) {
    if (utf8(table.GetTable()->GetRowName(i)) == name) return i;
  }
  ADD_FAILURE() << "no row " << name;
  return -1;
}

constexpr char kOrders[] = "sets/compiler/orders.json";

TEST(MessageSetCompiler, IdentificationAndMessageSet) {
  const auto dictionary = compileAndLoad(dataText(kOrders));
  const StdDictionaryInfo& d = *dictionary;
  EXPECT_EQ(utf8(d.getIdentificationDefs().GetRowName(0)), "orders-dict");
  EXPECT_EQ(d.getFormatVersion(), 700);
  EXPECT_EQ(utf8(d.getDictionaryIdentification()->messageSetName), "Orders");
  EXPECT_EQ(utf8(d.getDictionaryIdentification()->sourceName), "t.json");
  EXPECT_EQ(utf8(d.getMessageSetName()), "Orders");
  EXPECT_FALSE(d.getNamespacesEnabled());
  ASSERT_EQ(d.getProjectDependencies().size(), 2u);
  EXPECT_EQ(d.getProjectDependencies()[1].toUtf8(), "orders");
  EXPECT_EQ(d.getWireFormatName().toUtf8(), "XML");

  // Defaults no other test reaches through a parse or a write. The tag,
  // member and type rows the compiler makes are pinned by the recorded
  // parse traces of the plug-in tests and written back by the writer tests.
  EXPECT_EQ(text(d.getMsgSetDefs(), u"Boolean False Value", 0), "false");
  EXPECT_EQ(number(d.getMsgSetDefs(), u"Century Window", 0), 53);
}

TEST(MessageSetCompiler, NamespacesPlacePredefinedTypesInTheSchemaNamespace) {
  const auto d = compileAndLoad(dataText("sets/compiler/namespaced.json"));
  EXPECT_TRUE(d->getNamespacesEnabled());
  const StdDictNamespaceDefs& namespaces = d->getNamespaceDefs();
  ASSERT_EQ(namespaces.GetRowCount(), 2);
  EXPECT_EQ(utf8(d->getNamespaceURI(1)), kSchemaNamespace);
  EXPECT_EQ(text(namespaces, u"Preferred Prefix", 0), "n");
  EXPECT_EQ(text(namespaces, u"Preferred Prefix", 1), "xs");

  long found = -1;
  EXPECT_EQ(d->getTypeIndexForTypeText(u"dateTime", ZelWstring::fromUtf8(kSchemaNamespace), found, false), 0);
  EXPECT_EQ(found, rowNamed(d->getTypeDefs(), "dateTime"));
  EXPECT_EQ(d->getTypeIndexForTypeText(u"Tags", ZelWstring(u"urn:n"), found, false), 0);
  EXPECT_EQ(d->getTypeDefs()[found]->listItemTypeIndex, rowNamed(d->getTypeDefs(), "string"));

  const long e = rowNamed(d->getTagDefs(), "e");
  EXPECT_EQ(d->getTagDefs()[e]->namespaceIndex, 0);
  const long when = d->getTypeDefs()[d->getTagDefs()[e]->typeIndex]->firstMemberIndex;
  EXPECT_EQ(number(d->getStructDefs(), u"ID Attribute Namespace", when), 0);
  EXPECT_EQ(d->getTagDefs()[d->getStructDefs()[when]->elementIndex]->namespaceIndex, 0);
  EXPECT_EQ(d->getTagDefs()[d->getStructDefs()[when + 1]->elementIndex]->namespaceIndex, -1);
}

TEST(MessageSetCompiler, CompilingTwiceGivesTheSameBytes) {
  const MessageSet set = parseMessageSetJson(dataText(kOrders), "t.json");
  EXPECT_EQ(compileMessageSetToExtract(set, "t.json"), compileMessageSetToExtract(set, "t.json"));
}

// A source's unions may nest as deep as it likes: searched for their first
// Binary member on the stack, 100,000 overflowed a worker's 2 MB, and the
// search, once for each, took time squared.
TEST(MessageSetCompiler, UnionsNestedWithoutBoundCompileOnASmallThread) {
  MessageSet set;
  set.name = "chain";
  int link = useBuiltinType(set, "hexBinary");
  for (int i = 0; i < 100000; ++i) {
    TypeDef type;
    type.variety = TypeVariety::Union;
    type.unionMemberTypes = {link};
    set.types.push_back(std::move(type));
    link = static_cast<int>(set.types.size() - 1);
  }
  ElementDef root;
  root.name = "root";
  root.type = link;
  set.elements.push_back(root);
  std::string failure;
  ASSERT_TRUE(runOnSmallThread([&] {
    try {
      compileMessageSet(set, "chain");
    } catch (const ZelException& e) {
      failure = e.what();
    }
  }));
  EXPECT_EQ(failure, "");
}

// A source's processContents of open content (strict when not given) reads
// into the type and compiles to its content kind.
class SourceProcessContents : public ::testing::TestWithParam<std::pair<std::string, ProcessContents>> {};

TEST_P(SourceProcessContents, ReadsIntoTheTypeAndCompilesToItsContentKind) {
  static const std::int32_t kContentKinds[] = {DictCodes::eContentOpen, DictCodes::eContentOpenLax,
                                               DictCodes::eContentOpenSkip};
  const auto& [given, read] = GetParam();
  const std::string source = R"({"name": "W", "types": [{"name": "Any", "composition": "open")" +
                             (given.empty() ? "" : R"(, "processContents": ")" + given + R"(")") +
                             R"(}], "elements": [{"name": "m", "class": "message", "type": "Any"}]})";
  EXPECT_EQ(parseMessageSetJson(source, "t.json").types.at(0).processContents, read);
  const auto dictionary = compileAndLoad(source);
  EXPECT_EQ(dictionary->getTypeCache().get(rowNamed(dictionary->getTypeDefs(), "Any")).contentKind,
            kContentKinds[static_cast<int>(read)]);
}

INSTANTIATE_TEST_SUITE_P(
    Source, SourceProcessContents,
    ::testing::Values(std::pair{"", ProcessContents::Strict}, std::pair{"strict", ProcessContents::Strict},
                      std::pair{"lax", ProcessContents::Lax}, std::pair{"skip", ProcessContents::Skip}),
    [](const auto& info) { return info.param.first.empty() ? "absent" : info.param.first; });

struct BrokenModel {
  const char* label;
  void (*spoil)(MessageSet&);
  const char* place;
};

class BrokenModelTest : public ::testing::TestWithParam<BrokenModel> {};

TEST_P(BrokenModelTest, IsRejectedWithThePlace) {
  MessageSet set = parseMessageSetJson(dataText(kOrders), "t.json");
  GetParam().spoil(set);
  const ZelFatalException e = raisedBy<ZelFatalException>([&] { compileMessageSet(set, "model"); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_DICTIONARY_SOURCE_ERROR);
  EXPECT_EQ(e.insertText(0), "model");
  EXPECT_EQ(e.insertText(1), GetParam().place);
}

const BrokenModel kBrokenModels[] = {
    {"BaseOutOfRange", [](MessageSet& s) { s.types[1].baseType = 99; }, "types[1].baseType"},
    // The tables repeat bases' members: a chain of 50,000 took 6 minutes
    // and overflowed a 2 MB stack.
    {"ExtensionsPastTheBound",
     [](MessageSet& s) {
       s.types.resize(100);
       for (int i = 1; i <= 101; ++i) {
         TypeDef extension;
         extension.variety = TypeVariety::Complex;
         extension.baseType = i == 1 ? 0 : static_cast<int>(s.types.size() - 1);
         extension.derivation = Derivation::Extension;
         s.types.push_back(extension);
       }
       s.types[0].variety = TypeVariety::Complex;
     },
     "types[200]"},
    // The parser's search enters a group as often as it is referenced:
    // groups each holding the next twice, 40 deep, hung it at 2^40. The
    // count passes 100,000 sixteen groups above the last.
    {"GroupsExpandedPastTheBound",
     [](MessageSet& s) {
       s.types.resize(100);
       for (int i = 100; i <= 140; ++i) {
         TypeDef group;
         group.variety = TypeVariety::Complex;
         if (i < 140) {
           MemberDef next;
           next.form = MemberDef::Form::Group;
           next.type = i + 1;
           group.members = {next, next};
         }
         s.types.push_back(group);
       }
     },
     "types[124]"},
    {"ElementTypeOutOfRange", [](MessageSet& s) { s.elements[1].type = -7; }, "elements[1].type"},
    {"MissingUnionMember", [](MessageSet& s) { s.types[2].unionMemberTypes.push_back(kNone); },
     "types[2].unionMemberTypes[2]"},
    {"ElementRefWithoutElement", [](MessageSet& s) { s.types[0].members[0].form = MemberDef::Form::ElementRef; },
     "types[0].members[0].element"},
    {"NamespaceWhileDisabled", [](MessageSet& s) { s.namespaces.push_back({"urn:x", ""}); s.namespacesEnabled = false;
                                                   s.elements[1].namespaceIndex = 0; }, "elements[1].namespaceIndex"},
    {"BaseCycle", [](MessageSet& s) { s.types[0].baseType = 1; }, "types[0]"},
};

INSTANTIATE_TEST_SUITE_P(Compiler, BrokenModelTest, ::testing::ValuesIn(kBrokenModels),
                         [](const ::testing::TestParamInfo<BrokenModel>& info) { return info.param.label; });

}  // namespace

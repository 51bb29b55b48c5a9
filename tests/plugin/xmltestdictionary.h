#ifndef TESTS_PLUGIN_XMLTESTDICTIONARY_H
#define TESTS_PLUGIN_XMLTESTDICTIONARY_H

// Builds small XML descriptors for tests the way the host fills one: standard
// tables through their references, XML properties through
// DictTable::CreateProperty under a wire-format name; load() serializes the
// tables and loads them into a fresh descriptor with FromExtractFormat. Rows
// are described first and the tables created at the end, since a table's row
// count is fixed when it is created.

#include "descriptortestsupport.h"
#include "xmldictionaryinfo.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using XMLDictionaryPtr = plugintest::DescriptorPtr;

class XMLTestDictionary {
public:
  enum class Table { MsgSet, Tag, Member, Namespace };

  // A property value: a string or an integer.
  struct Value {
    Value(const char16_t* text) : isString(true), text(text) {}
    Value(long number) : number(number) {}
    Value(int number) : number(number) {}
    bool isString = false;
    std::u16string text;
    std::int64_t number = 0;
  };

  struct Tag {
    std::u16string name;  // row name; also the "XML Name" unless xmlName is given
    char tagClass = 'F';
    long typeIndex = -1;
    long namespaceIndex = -1;
    bool declaredAsAttribute = false;
    const char16_t* xmlName = nullptr;  // u"": no XML name
  };

  std::int32_t formatVersion = DictCodes::eFormatVersionCurrent;
  bool namespacesEnabled = false;
  std::u16string identificationName = u"TestDictionary";

  // A message set with its required XML properties.
  XMLTestDictionary() {
    for (const char16_t* name : {XML_SUPPRESS_XML_DECLARATION, XML_SUPPRESS_DOCTYPE, XML_ENABLE_VERSIONING_SUPPORT})
      property(Table::MsgSet, name, 0, 0);
    property(Table::MsgSet, XML_ENCODING_NULL_NUM, 0, 1);
    property(Table::MsgSet, XML_ENCODING_NULL_NON_NUM, 0, 1);
  }

  // Type ID 100 + index.
  long addType(const std::u16string& name, ELogicalType logicalType, long baseTypeIndex = -1) {
    types_.push_back({name, logicalType, baseTypeIndex});
    return static_cast<long>(types_.size()) - 1;
  }
  long addNamespace(const std::u16string& uri, const char16_t* preferredPrefix = nullptr) {
    namespaces_.push_back(uri);
    const long index = static_cast<long>(namespaces_.size()) - 1;
    if (preferredPrefix) property(Table::Namespace, XML_PREFERRED_PREFIX, index, preferredPrefix);
    return index;
  }
  // Tag ID 1000 + index; render 0.
  long addTag(const Tag& tag) {
    tags_.push_back(tag);
    const long index = static_cast<long>(tags_.size()) - 1;
    const std::u16string xmlName = tag.xmlName ? tag.xmlName : tag.name;
    if (!xmlName.empty()) property(Table::Tag, XML_XML_NAME, index, xmlName.c_str());
    property(Table::Tag, XML_RENDER, index, 0);
    return index;
  }
  // Member ID 5000 + index; render 0, encoding -1.
  long addMember(const std::u16string& name, long elementIndex, long typeIndex) {
    members_.push_back({name, elementIndex, typeIndex});
    const long index = static_cast<long>(members_.size()) - 1;
    property(Table::Member, XML_RENDER, index, 0);
    property(Table::Member, XML_ENCODING, index, -1);
    return index;
  }
  static std::int32_t tagIdOf(long tagIndex) { return static_cast<std::int32_t>(1000 + tagIndex); }
  static std::int32_t memberIdOf(long memberIndex) { return static_cast<std::int32_t>(5000 + memberIndex); }

  XMLTestDictionary& property(Table table, const char16_t* name, long row, Value value,
                              const char16_t* wireFormat = u"XML") {
    properties_[{table, wireFormat, name}].insert_or_assign(row, std::move(value));
    return *this;
  }
  XMLTestDictionary& removeProperty(Table table, const char16_t* name) {
    properties_.erase({table, u"XML", name});
    return *this;
  }

  // Fills a descriptor's tables directly (a generic build's source, or the
  // image that load() serializes).
  void fill(XMLDictionaryInfo& d) const {
    d.setWireFormatName(ZelWstring(u"XML"));
    d.getIdentificationDefs().Create(1);
    d.getIdentificationDefs().SetRowName(0, identificationName);
    d.getIdentificationDefs().GetBuffer()[0].formatVersion = formatVersion;
    d.getMsgSetDefs().Create(1);
    d.getMsgSetDefs().GetBuffer()[0].namespacesEnabled = namespacesEnabled ? 1 : 0;
    d.getNamespaceDefs().Create(static_cast<std::int32_t>(namespaces_.size()));
    for (std::size_t i = 0; i < namespaces_.size(); ++i) d.getNamespaceDefs().SetRowName(i, namespaces_[i]);

    d.getTypeDefs().Create(static_cast<std::int32_t>(types_.size()));
    for (std::size_t i = 0; i < types_.size(); ++i) {
      SMD_TYPE_DEFINITION& type = d.getTypeDefs().GetBuffer()[i];
      type.typeId = static_cast<std::int32_t>(100 + i);
      type.logicalType = types_[i].logicalType;
      type.baseTypeId = types_[i].baseTypeIndex >= 0 ? static_cast<std::int32_t>(100 + types_[i].baseTypeIndex) : 0;
      d.getTypeDefs().SetRowName(i, types_[i].name);
    }
    d.getTagDefs().Create(static_cast<std::int32_t>(tags_.size()));
    for (std::size_t i = 0; i < tags_.size(); ++i) {
      SMD_TAG_DEFINITION& tag = d.getTagDefs().GetBuffer()[i];
      tag.tagId = tagIdOf(static_cast<long>(i));
      tag.tagClass = tags_[i].tagClass;
      tag.typeIndex = static_cast<std::int32_t>(tags_[i].typeIndex);
      tag.typeId = static_cast<std::int32_t>(100 + tags_[i].typeIndex);
      tag.namespaceIndex = static_cast<std::int32_t>(tags_[i].namespaceIndex);
      tag.declaredAsAttribute = tags_[i].declaredAsAttribute ? 1 : 0;
      d.getTagDefs().SetRowName(i, tags_[i].name);
    }
    d.getStructDefs().Create(static_cast<std::int32_t>(members_.size()));
    for (std::size_t i = 0; i < members_.size(); ++i) {
      SMD_STRUCTURE_ELEMENT_DEFINITION& member = d.getStructDefs().GetBuffer()[i];
      member.memberId = memberIdOf(static_cast<long>(i));
      member.elementIndex = static_cast<std::int32_t>(members_[i].elementIndex);
      member.typeIndex = static_cast<std::int32_t>(members_[i].typeIndex);
      d.getStructDefs().SetRowName(i, members_[i].name);
    }

    for (const auto& [key, rows] : properties_) {
      const auto& [table, wireFormat, name] = key;
      DictTable* target = table == Table::MsgSet ? d.getMsgSetDefs().GetTable()
                          : table == Table::Tag  ? d.getTagDefs().GetTable()
                          : table == Table::Member ? d.getStructDefs().GetTable()
                                                   : d.getNamespaceDefs().GetTable();
      const bool isString = rows.begin()->second.isString;
      target->CreateProperty(wireFormat.c_str(), name.c_str(), isString ? eLogicalString : eLogicalInteger, 0);
      for (const auto& [row, value] : rows) {
        if (isString) {
          target->SetProperty(row, wireFormat.c_str(), name.c_str(), value.text.c_str());
        } else {
          target->SetIntProperty(row, wireFormat.c_str(), name.c_str(), value.number);
        }
      }
    }
  }

  // Serializes the tables and loads them into a fresh descriptor, as the host does.
  XMLDictionaryPtr load() const {
    XMLDictionaryInfo image(0);
    fill(image);
    const std::vector<unsigned char> bytes = image.ToQLBuffer();
    XMLDictionaryPtr loaded(new XMLDictionaryInfo(0));
    loaded->FromExtractFormat(nullptr, bytes.data(), bytes.size());
    return loaded;
  }
  XMLDictionaryPtr build() const {
    XMLDictionaryPtr dictionary = load();
    dictionary->postProcessDictionary();
    return dictionary;
  }

private:
  struct Type {
    std::u16string name;
    ELogicalType logicalType;
    long baseTypeIndex;
  };
  struct Member {
    std::u16string name;
    long elementIndex;
    long typeIndex;
  };

  std::vector<Type> types_;
  std::vector<std::u16string> namespaces_;
  std::vector<Tag> tags_;
  std::vector<Member> members_;
  std::map<std::tuple<Table, std::u16string, std::u16string>, std::map<long, Value>> properties_;
};

#endif

#include "apitestsupport.h"

const char kKindsSchema[] = R"(<?xml version="1.0"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:test:kinds"
           xmlns:k="urn:test:kinds" elementFormDefault="qualified">
  <xs:element name="values">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="text" type="xs:string"/>
        <xs:element name="count" type="xs:long"/>
        <xs:element name="huge" type="xs:decimal"/>
        <xs:element name="price" type="xs:decimal"/>
        <xs:element name="ratio" type="xs:double"/>
        <xs:element name="limit" type="xs:double"/>
        <xs:element name="flag" type="xs:boolean"/>
        <xs:element name="stamp" type="xs:dateTime"/>
        <xs:element name="day" type="xs:date"/>
        <xs:element name="span" type="xs:duration"/>
        <xs:element name="blob" type="xs:base64Binary"/>
        <xs:element name="hex" type="xs:hexBinary"/>
        <xs:element name="missing" type="xs:int" nillable="true"/>
      </xs:sequence>
      <xs:attribute name="id" type="xs:int"/>
    </xs:complexType>
  </xs:element>
</xs:schema>
)";

const std::string_view kKindsDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<values xmlns="urn:test:kinds" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" id="7">
  <text>Zoë &amp; &lt;Müller&gt;</text>
  <count>-42</count>
  <huge>123456789012345678901234567890</huge>
  <price>-12.50</price>
  <ratio>0.1</ratio>
  <limit>-INF</limit>
  <flag>1</flag>
  <stamp>2024-02-29T23:59:59.125+01:00</stamp>
  <day>2024-02-29</day>
  <span>-P1Y2M3DT4H5M6.7S</span>
  <blob>AQID/w==</blob>
  <hex>0A1B</hex>
  <missing xsi:nil="true"/>
</values>
)";

const wfxml::MessageSet& kindsMessageSet() {
  static const wfxml::MessageSet set = [] {
    const ScratchFolder folder;
    return wfxml::MessageSet::compile({folder.write("kinds.xsd", kKindsSchema)});
  }();
  return set;
}

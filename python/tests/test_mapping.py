"""The typed data's Python types, on a message with a member of every kind.

to_dict is the typed walk toJson takes, with Python objects for its tokens: which members are arrays, xsi:type,
mixed content and the strings of a set without dictionary are that walk's, pinned by the API's TypedJson tests.
"""

import decimal
import enum
import json
import math
import pickle
import sys
from xml.etree import ElementTree

import pytest

import wfxml
from conftest import SOURCE

D = decimal.Decimal


@pytest.fixture(scope="module")
def message(kinds, kinds_xml):
    data = kinds.to_dict(kinds_xml)
    assert list(data) == ["kinds"]
    return data["kinds"]


@pytest.mark.parametrize(
    "key, expected",
    [
        ("@version", "1.0"),
        ("int", -2147483648),
        ("long", 9223372036854775807),
        ("big", -123456789012345678901),  # beyond 64 bits
        ("small", 42),  # an unbounded integer type, small value: still int
        ("amount", D("12345678901234567.0123456")),  # beyond double precision
        ("ratio", 0.1),
        ("infinite", -math.inf),
        ("flag", True),
        ("when", "2026-12-05T10:30:00.125+01:00"),
        ("day", "2026-12-05"),
        ("span", "P1Y2M3DT4H"),
        ("blob", b"\x00\x01\x02\xff"),
        ("hex", b"\x00\xff\x10"),
        ("text", "Zo\u00eb & <M\u00fcller> \u2603"),
        ("numbers", [1, -2, 3]),  # a list type
        ("size", [12, "XL"]),  # a union, in a member that repeats
        ("note", None),  # xsi:nil
        ("price", {"@currency": "EUR", "$": D("9007199254740993")}),
    ],
)
def test_member_has_python_type_and_value(message, key, expected):
    value = message[key]
    assert value == expected
    assert type(value) is type(expected)
    if isinstance(expected, list):
        assert [type(item) for item in value] == [type(item) for item in expected]


# (to_xml feeds the typed-data builder fromJson feeds; TypedJson's tests check its documents against their schema.)
@pytest.mark.parametrize("encoding", ["utf-8", "utf-16le", "utf-16be", "ibm-500", "windows-1252"])
def test_round_trip_in_code_page_keeps_every_value(kinds, kinds_xml, encoding):
    data = kinds.to_dict(kinds_xml)
    xml = kinds.to_xml(data, encoding=encoding)
    assert kinds.to_dict(xml) == data
    assert kinds.to_dict(xml, encoding=encoding) == data
    text = kinds.to_json(kinds_xml)  # read by the library, so no value passes through a float
    for json_text in (text, text.encode(), bytearray(text.encode()), memoryview(text.encode())):
        assert kinds.to_xml(json_text, encoding=encoding) == xml


@pytest.mark.parametrize("encoding", ["windows-1252", "iso-8859-15", "koi8-r"])
def test_a_single_byte_code_page_is_declared_by_a_name_other_readers_know(kinds, kinds_xml, encoding):
    # Python's parser knows no IBM numbers (it failed: unknown encoding IBM5348).
    xml = kinds.to_xml(kinds.to_dict(kinds_xml), encoding=encoding)
    text = ElementTree.fromstring(xml).find("{urn:example:kinds}text").text
    assert text == kinds.to_dict(kinds_xml)["kinds"]["text"]


@pytest.mark.parametrize(
    "key, value, back",
    [
        ("amount", D("1.5E+3"), D("1500")),  # an exponent is written in plain digits
        ("amount", D("7" * 400 + ".25"), D("7" * 400 + ".25")),  # beyond a double's range
        ("big", int(D("8" * 5000)), int(D("8" * 5000))),  # beyond the digits Python's int() and str() take
        ("big", -int(D("9" * 3001 + "0" * 3000)), -int(D("9" * 3001 + "0" * 3000))),  # read back in halves
        ("amount", D("7" * 5000 + ".25"), D("7" * 5000 + ".25")),  # its exponent beyond 4096, no zero to add
        ("big", 7**6000, 7**6000),  # 5,071 digits, spelt from halves of its bits
        ("big", -(2**20000 - 1), -(2**20000 - 1)),  # every bit of every half set
        ("big", 2**20000, 2**20000),  # halves of no bit set
    ],
    ids=["exponent", "long-decimal", "long-integer", "long-negative-integer", "longer-decimal", "integer-halves",
         "integer-halves-all-set", "integer-halves-none-set"],
)
def test_numbers_go_both_ways_exactly(kinds, kinds_xml, key, value, back):
    data = kinds.to_dict(kinds_xml)
    data["kinds"][key] = value
    assert kinds.to_dict(kinds.to_xml(data))["kinds"][key] == back


def test_list_items_of_unions_come_back_as_their_patterns_spell_them():
    given = wfxml.MessageSet.compile([SOURCE / "tests" / "data" / "typed" / "given.xsd"])
    xml = (SOURCE / "tests" / "data" / "convert" / "union-lists.xml").read_bytes().rstrip()  # 001.50 true, +7 +2.5, ...
    assert given.validate(xml) == []
    assert given.to_xml(given.to_dict(xml)) == xml
    assert given.to_xml(given.to_json(xml)) == xml


def test_str_document_equals_its_utf8_bytes(kinds, kinds_xml):
    assert kinds.to_dict(kinds_xml.decode("utf-8")) == kinds.to_dict(kinds_xml)
    assert kinds.to_dict(memoryview(kinds_xml)) == kinds.to_dict(bytearray(kinds_xml))
    with pytest.raises(wfxml.Error):  # a lone surrogate is no character (it was a UnicodeEncodeError)
        kinds.to_dict(kinds_xml.decode("utf-8").replace("<kinds", "<kinds a='\udc80'", 1))


def test_to_json_holds_the_same_data(kinds, kinds_xml):
    from_json = json.loads(kinds.to_json(kinds_xml), parse_float=D)["kinds"]
    data = kinds.to_dict(kinds_xml)["kinds"]
    for key in ("amount", "big", "numbers"):
        assert from_json[key] == data[key]


def test_events_carry_depths_names_and_typed_values(kinds, kinds_xml):
    events = list(kinds.events(kinds_xml))
    assert issubclass(wfxml.EventKind, enum.Enum)
    assert [e.kind for e in (events[0], events[-1])] == [wfxml.EventKind.START_MESSAGE, wfxml.EventKind.END_MESSAGE]
    values, current = {}, None
    for event in events:
        if event.kind == wfxml.EventKind.START_ELEMENT:
            current = (event.name, event.depth)
        elif event.kind == wfxml.EventKind.VALUE:
            values.setdefault(current, event.value)
    expected = {"int": -2147483648, "amount": D("12345678901234567.0123456"), "blob": b"\x00\x01\x02\xff", "flag": True}
    assert [(values[(name, 1)], type(values[(name, 1)])) for name in expected] == [(v, type(v)) for v in expected.values()]
    assert values[("note", 1)] is None


def test_pickle_and_dictionary_file_give_the_same_set(kinds, kinds_xml, tmp_path):
    path = tmp_path / "kinds.dict"
    path.write_bytes(kinds.dictionary_bytes())
    for copy in (pickle.loads(pickle.dumps(kinds)), wfxml.MessageSet.load(path)):
        assert copy.message_names == kinds.message_names
        assert copy.to_dict(kinds_xml) == kinds.to_dict(kinds_xml)


@pytest.mark.parametrize(
    "text",
    ["plain", "Zo\u00eb", "\u20acuro \u2603", "\U0001d11e clef", "a\U0001f600b\u00e9 and a longer tail of plain text"],
)
def test_text_and_names_beyond_ascii_arrive_unchanged(text):
    # Names are keys and texts are values: both go from UTF-16 to UTF-8 on the way.
    xml = f"<r><n\u00e4me\u20ac>{text}</n\u00e4me\u20ac><x>{text[::-1]}</x><y>z</y></r>".encode("utf-8")
    assert wfxml.MessageSet.none().to_dict(xml) == {"r": {"n\u00e4me\u20ac": text, "x": text[::-1], "y": "z"}}


def test_keys_and_values_survive_documents_with_more_of_them_than_are_kept():
    none = wfxml.MessageSet.none()
    for first in (0, 12000):  # the two documents together need more keys and values than the module keeps
        names = [f"e{number}" for number in range(first, first + 12000)]
        xml = ("<r>" + "".join(f"<{name}>{name}</{name}>" for name in names) + "</r>").encode()
        data = none.to_dict(xml)
        assert data == {"r": {name: name for name in names}}
        assert all(key is sys.intern(key) for key in data["r"])


def test_a_kept_value_keeps_its_type_where_the_same_text_has_another(kinds, kinds_xml):
    same_digits = kinds_xml.replace("Zoë &amp; &lt;Müller&gt; ☃".encode(), b"12345678901234567.0123456")
    for xml in (kinds_xml, same_digits, same_digits):
        data = kinds.to_dict(xml)["kinds"]
        assert type(data["amount"]) is D and type(data["text"]) is str

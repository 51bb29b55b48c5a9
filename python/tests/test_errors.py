"""Bad input: wfxml.Error with key, number and inserts (and the data's path for to_xml)."""

import pathlib
import pickle
from decimal import Decimal as D

import pytest

import wfxml
from conftest import SOURCE


def error_of(call):
    with pytest.raises(wfxml.Error) as caught:
        call()
    error = caught.value
    assert error.key.startswith("CP_") and isinstance(error.number, int) and error.number > 0
    assert isinstance(error.inserts, tuple) and all(isinstance(i, str) for i in error.inserts)
    return error


@pytest.mark.parametrize(
    "document",
    [b"", b"<kinds", b"<kinds></other>", b"\xff\xfe<\x00", "<kinds>&undefined;</kinds>", b"hello"],
    ids=["empty", "truncated", "mismatched", "bad-bytes", "undefined-entity", "text"],
)
def test_malformed_document_raises_error_and_leaves_the_set_usable(kinds, kinds_xml, document):
    # (That an error names nothing of an earlier document: the API's ParseErrors.)
    error = error_of(lambda: kinds.to_dict(document))
    assert error.path in (None, "/kinds")  # the element open where it broke, if any
    error_of(lambda: list(kinds.events(document)))
    assert kinds.to_dict(kinds_xml)["kinds"]["int"] == -2147483648


def test_error_gives_line_column_and_element_path(kinds):
    error = error_of(lambda: kinds.to_dict(b'<kinds xmlns="urn:example:kinds">\n<int>x</int></kinds>'))
    assert (error.line, error.path, error.file) == (2, "/kinds/int", None) and error.column > 1
    assert str(error) == f"2:{error.column}: 'x' is not a valid Integer in <int> at /kinds/int"


def change(data, path, value):
    """data with the member at path (keys and list positions) replaced by value (deleted for ...)."""
    target = data
    for step in path[:-1]:
        target = target[step]
    if value is ...:
        del target[path[-1]]
    else:
        target[path[-1]] = value
    return data


@pytest.mark.parametrize("call, error, words", [
    (lambda: wfxml.MessageSet.compile(123), TypeError, "a path or a list of paths, not int"),
    (lambda: wfxml.MessageSet.compile([SOURCE / "examples/payment/payment.xsd", 7]), TypeError,
     "a path is str, bytes or os.PathLike, not int"),
    (lambda: wfxml.MessageSet.load(b"\x89WFD\x00\x01\xfe"), ValueError, "no zero byte"),  # a dictionary's bytes
], ids=["int", "int in list", "bytes of a file"])
def test_what_is_no_path_is_refused_as_such(call, error, words):
    with pytest.raises(error, match=words):
        call()


@pytest.mark.parametrize("call", ["to_dict", "to_xml"])
@pytest.mark.parametrize("source", ["orders/1.xml", pathlib.Path("orders/1.xml")], ids=["str", "path"])
def test_a_file_name_for_a_document_says_it_looks_like_a_path(kinds, call, source):
    with pytest.raises((TypeError, ValueError), match="a path"):
        getattr(kinds, call)(source)


@pytest.mark.parametrize(
    "path, value, where, forbidden",
    [
        (("kinds", "item", 1, "colour"), "red", "kinds.item[1].colour", False),  # unknown key
        (("kinds", "int"), "twelve", "kinds.int", False),  # wrong type
        (("kinds", "int"), [1, 2], "kinds.int", False),  # array for a single member
        (("kinds", "numbers", 1), "x", "kinds.numbers[1]", False),  # a list item of the wrong type
        (("kinds", "flag"), {"$": True, "@nope": 1}, "kinds.flag", False),
        (("kinds", "item", 0, "name"), "\udc80", "kinds.item[0].name", False),  # a lone surrogate
        # What only the schema forbids is written unchecked.
        (("kinds", "text"), ..., "kinds.text", True),  # a required element missing
        (("kinds", "int"), 3000000000, "kinds.int", True),  # beyond xs:int's range
    ],
)
def test_data_that_does_not_fit_names_its_path(kinds, kinds_xml, path, value, where, forbidden):
    data = change(kinds.to_dict(kinds_xml), path, value)
    error = error_of(lambda: kinds.to_xml(data))
    assert error.path.startswith(where) and str(error).endswith(" at " + error.path)  # as every error reads
    if forbidden:
        assert (error.key, error.path) == ("CP_JSON_MISMATCH", where)
        assert kinds.to_xml(data, check=False)


def test_unknown_message_is_refused(kinds):
    error = error_of(lambda: kinds.to_xml({"nosuchmessage": {}}))
    assert error.path is not None and "(its messages: kinds" in str(error)


@pytest.mark.parametrize(
    "value, error_type, words",
    [
        ({1, 2}, TypeError, "a set is not typed data"),
        (object(), TypeError, "an object is not typed data"),
        (D("1E+1000000000"), ValueError, "a Decimal whose exponent is beyond 4096"),
    ],
    ids=["set", "object", "absurd-exponent"],
)
def test_python_objects_that_are_not_data_name_their_path(kinds, kinds_xml, value, error_type, words):
    data = change(kinds.to_dict(kinds_xml), ("kinds", "item", 0, "name"), value)
    with pytest.raises(error_type, match=r"kinds\.item\[0\]\.name: " + words):
        kinds.to_xml(data)


@pytest.mark.parametrize(
    "text, path, words, forbidden",
    [
        ('{"kinds":{"int":1,}}', "$.kinds.int", "malformed JSON", False),
        ('{"kinds":{"int":1', "$.kinds.int", "unexpected end of input", False),
        ('{"order":{}}', "$.order", "no message 'order'", False),
        (b'{"kinds":{"text":"\xff"}}', "$.kinds.text", "ill-formed UTF-8", False),
        ('{"kinds":{"text":"\udc80"}}', "$.kinds.text", "ill-formed UTF-8", False),  # a lone surrogate
        ('{"kinds":{}}'.encode("utf-16"), "$", "UTF-16LE", False),
        # What only the schema forbids is written unchecked.
        ('{"kinds":{}}', "$.kinds.int", "required, but missing", True),
    ],
    ids=["malformed", "truncated", "unknown-message", "not-utf8", "surrogate", "utf16", "required-missing"],
)
def test_json_text_that_does_not_fit_names_its_json_path(kinds, text, path, words, forbidden):
    error = error_of(lambda: kinds.to_xml(text))
    assert (error.key, error.path) == ("CP_JSON_MISMATCH", path) and words in str(error) and path in str(error)
    if forbidden:
        assert kinds.to_xml(text, check=False)


@pytest.mark.parametrize("data", [["kinds"], 12, None, pathlib.Path("order.json")], ids=["list", "int", "none", "path"])
def test_to_xml_takes_a_dict_or_json_text(kinds, data):
    with pytest.raises(TypeError, match=r"typed data \(a dict.*typed JSON text \(str, bytes"):
        kinds.to_xml(data)


def test_non_string_key_and_cycle_are_refused(kinds, kinds_xml):
    data = kinds.to_dict(kinds_xml)
    data["kinds"][1] = "one"
    with pytest.raises(TypeError, match="a key must be a str, not an int"):
        kinds.to_xml(data)
    loop = []
    loop.append(loop)
    with pytest.raises(ValueError, match="itself"):
        kinds.to_xml({"kinds": {"numbers": loop}})


def test_error_pickles_with_its_attributes(kinds, kinds_xml):
    error = error_of(lambda: kinds.to_xml(change(kinds.to_dict(kinds_xml), ("kinds", "int"), "twelve")))
    fields = lambda e: (e.key, e.number, e.inserts, e.path, str(e))  # noqa: E731
    assert fields(pickle.loads(pickle.dumps(error))) == fields(error)


def test_validation_lists_problems_and_to_dict_raises_them(kinds, kinds_xml):
    assert kinds.validate(kinds_xml) == []
    invalid = kinds_xml.replace(b"<small>42</small>", b"").replace(b'version="1.0">', b'version="1.0" extra="1">')
    expected = [(3, "/kinds", "extra"), (26, "/kinds", "content model")]  # content at the end tag
    problems = kinds.validate(invalid)
    assert [(p.line, p.path) for p in problems] == [(line, path) for line, path, _ in expected]
    assert all(word in p.message for p, (_, _, word) in zip(problems, expected))
    assert kinds.to_dict(invalid)["kinds"]["int"] == -2147483648  # the parser alone takes it
    error = error_of(lambda: kinds.to_dict(invalid, validate=True))
    assert (error.key, error.inserts[0]) == ("CP_NOT_SCHEMA_VALID", "2")
    copy = pickle.loads(pickle.dumps(error))
    assert [(e.line, e.column, e.path, e.message) for e in copy.errors] == [
        (p.line, p.column, p.path, p.message) for p in problems
    ]
    # A set without schemas cannot validate (a loaded dictionary keeps them: the API's validation test).
    assert error_of(lambda: wfxml.MessageSet.none().validate(b"<a/>")).key == "CP_NO_SCHEMA"


def test_http_import_compiles_through_a_catalog():
    """Nothing is fetched: an http import is read where a catalog maps it (unmapped: host XsdImporterCatalogs)."""
    schemas = SOURCE / "tests" / "data" / "xsd"
    compiled = wfxml.MessageSet.compile(schemas / "remote-main.xsd", catalogs=schemas / "catalog.xml")
    assert compiled.message_names == ["invoice"]


def test_compile_warnings_say_each_kind_once_and_a_loaded_set_has_none():
    compiled = wfxml.MessageSet.compile(SOURCE / "tests" / "data" / "xsd" / "partial.xsd")
    assert len(compiled.compile_warnings) == 2, compiled.compile_warnings
    assert compiled.compile_warnings[0].endswith("(and 1 more: element 'square')")
    assert pickle.loads(pickle.dumps(compiled)).compile_warnings == []  # a loaded dictionary


def test_an_entity_expansion_limit_holds_in_every_reading(kinds, kinds_xml):
    # 1,500 references: past the default of 1,000, within a limit of 2,000 (which validate kept at 1,000).
    document = kinds_xml.replace(b"<kinds ", b"<!DOCTYPE kinds [<!ENTITY z 'z'>]><kinds ", 1).replace(
        b"<name>bolt</name>", b"<name>" + b"&z;" * 1500 + b"</name>")
    readings = [
        lambda **limit: kinds.to_dict(document, validate=True, **limit),
        lambda **limit: kinds.to_json(document, **limit),
        lambda **limit: list(kinds.events(document, **limit)),
        lambda **limit: list(kinds.iter_records(document, "item", validate=True, **limit)),
    ]
    for reading in readings:
        assert "1000" in str(error_of(reading))
        reading(entity_expansion_limit=2000)
        with pytest.raises(ValueError, match="positive"):
            reading(entity_expansion_limit=0)
    assert "1000" in kinds.validate(document)[0].message
    assert kinds.validate(document, entity_expansion_limit=2000) == []

"""MessageSet.iter_records: wfhost convert --records' records as typed data, from a path, a stream or bytes."""

import io
import os

import pytest

import wfxml
from conftest import SOURCE

TYPED = SOURCE / "tests" / "data" / "typed"
PARTY_1 = {"order": {"@id": "o-1", "party": [{"@id": "p1", "name": "Ann"}]}}
PARTY_2 = {"order": {"@id": "o-1", "party": [{"@xsi:type": "Company", "name": "Bob Ltd", "vat": "DE1"}]}}


@pytest.fixture(scope="module")
def typed():
    return wfxml.MessageSet.compile([TYPED / "typed.xsd"])


def test_records_from_a_path_a_stream_and_bytes_are_wfhosts_and_a_fault_comes_after_them(typed, tmp_path):
    order = TYPED / "order.xml"
    for source in (order, str(order), io.BytesIO(order.read_bytes()), order.read_bytes()):
        assert list(typed.iter_records(source, "party")) == [PARTY_1, PARTY_2]
    # A fault in a later piece (of 256 KiB) comes after the records before it,
    # at the line and column of the whole document's parse.
    broken = b'<order xmlns="urn:test:typed" id="o-1">' + b'<party id="p1"><name>Ann</name></party>\r\n' * 8_000
    broken += b"<party><name>x</nam>"
    with pytest.raises(wfxml.Error) as whole:
        typed.to_dict(broken)
    records = typed.iter_records(broken, "party")
    assert [next(records) for _ in range(8_000)] == [PARTY_1] * 8_000
    with pytest.raises(wfxml.Error) as pieces:
        next(records)
    assert (pieces.value.line, pieces.value.column) == (whole.value.line, whole.value.column) == (8_001, 17)
    # Read from a file, by its path or as a stream, the fault names the file, as wfhost does (also a name
    # that is no UTF-8, shown with U+FFFD).
    for broken_file in (tmp_path / "broken.xml", tmp_path / os.fsdecode(b"broken-\xe9.xml")):
        broken_file.write_bytes(broken)
        shown = os.fsencode(broken_file).decode("utf-8", "replace")
        with open(broken_file, "rb") as stream:
            for source in (broken_file, stream):
                with pytest.raises(wfxml.Error) as named:
                    list(typed.iter_records(source, "party"))
                error = named.value
                assert error.file == shown and str(error).startswith(f"{shown}:8001:17: "), source
    with pytest.raises(TypeError):
        typed.iter_records(42, "party")
    with pytest.raises(ValueError, match="XML text"):  # a str is a path, not the document
        typed.iter_records(order.read_text(), "party")
    with pytest.raises(ValueError, match="element name"):  # as wfhost convert --records ''
        typed.iter_records(order, "")


def test_validated_records_raise_the_documents_first_problem(typed):
    bad = (TYPED / "order.xml").read_bytes().replace(b"<codes>7", b"<codes>x")
    with pytest.raises(wfxml.Error) as error:
        list(typed.iter_records(bad, "party", validate=True))
    assert [e.message for e in error.value.errors] == [typed.validate(bad)[0].message]


def resident_kib(field):
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith(field + ":"))


def test_memory_holds_a_piece_not_the_document(typed, tmp_path):
    # 8 MB of 2 KB records: read whole, the file alone would add 8 MB.
    party = b'<party id="p"><name>' + b"n" * 2000 + b"</name></party>"
    path = tmp_path / "large.xml"
    with open(path, "wb") as out:
        out.write(b'<order xmlns="urn:test:typed" id="o-1">')
        for _ in range(8 * 1024 * 1024 // len(party)):
            out.write(party)
        out.write(b"</order>")
    try:
        with open("/proc/self/clear_refs", "w") as refs:
            refs.write("5")  # the peak resident size starts again from here
    except OSError:
        pytest.skip("the peak resident size cannot be reset here")
    before = resident_kib("VmRSS")
    with open(path, "rb") as stream:
        count = sum(1 for _ in typed.iter_records(stream, "party"))
    assert count == 8 * 1024 * 1024 // len(party)
    assert resident_kib("VmHWM") - before < 4 * 1024
    os.remove(path)

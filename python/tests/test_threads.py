"""One MessageSet shared by eight threads converting at once; a deep schema on a worker's small stack."""

import concurrent.futures
import threading

import wfxml

from conftest import accepted_fpml_files


def test_eight_threads_convert_with_one_message_set(fpml):
    documents = [path.read_bytes() for path in accepted_fpml_files()[::5]]
    expected = [fpml.to_dict(xml) for xml in documents]

    def round_trip(xml):
        return fpml.to_dict(fpml.to_xml(fpml.to_dict(xml), encoding="utf-16le"))

    with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
        for _ in range(2):
            assert list(pool.map(fpml.to_dict, documents)) == expected
            assert list(pool.map(round_trip, documents)) == expected
            assert [len(list(events)) > 0 for events in pool.map(fpml.events, documents)] == [True] * len(documents)


def test_a_deep_schema_is_compiled_loaded_read_written_and_checked_on_a_small_thread(tmp_path):
    # Types each holding an element of the next, declared last first: 1,500
    # were refused, as the compile then followed them only 1,000 deep.
    chain = "".join(
        f"<xs:complexType name='T{i}'><xs:sequence><xs:element name='e' type='T{i + 1}' minOccurs='0'/>"
        "</xs:sequence></xs:complexType>"
        for i in reversed(range(1500))
    )
    schema = tmp_path / "chain.xsd"
    schema.write_text(
        "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'><xs:element name='root' type='T0'/>"
        f"<xs:complexType name='T1500'/>{chain}</xs:schema>"
    )
    xml = b"<root><e><e/></e></root>"
    outcome = {}

    def work():
        try:
            dictionary = tmp_path / "chain.dict"
            dictionary.write_bytes(wfxml.MessageSet.compile(schema).dictionary_bytes())
            loaded = wfxml.MessageSet.load(dictionary)
            data = loaded.to_dict(xml, validate=True)
            outcome["result"] = (data, loaded.to_xml(data), loaded.validate(xml), len(list(loaded.iter_records(xml, "e"))))
        except wfxml.Error as error:
            outcome["result"] = str(error)

    threading.stack_size(2 << 20)
    try:
        thread = threading.Thread(target=work)
        thread.start()
        thread.join()
    finally:
        threading.stack_size(0)
    assert outcome["result"] == (
        {"root": {"e": {"e": {}}}},
        b'<?xml version="1.0" encoding="UTF-8"?><root><e><e></e></e></root>',
        [],
        1,
    )

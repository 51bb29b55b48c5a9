"""One MessageSet shared by eight threads converting at once."""

import concurrent.futures

from conftest import fpml_files


def test_eight_threads_convert_with_one_message_set(fpml):
    documents = [path.read_bytes() for path in fpml_files()[::5]]
    expected = [fpml.to_dict(xml) for xml in documents]

    def round_trip(xml):
        return fpml.to_dict(fpml.to_xml(fpml.to_dict(xml), encoding="utf-16le"))

    with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
        for _ in range(2):
            assert list(pool.map(fpml.to_dict, documents)) == expected
            assert list(pool.map(round_trip, documents)) == expected
            assert [len(list(events)) > 0 for events in pool.map(fpml.events, documents)] == [True] * len(documents)

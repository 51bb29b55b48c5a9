"""The Dask converter on a local cluster of two worker processes, against the serial conversion."""

import decimal
import json
import os
import subprocess
import sys

import pytest

import wfxml
from conftest import DATA, fpml_files

distributed = pytest.importorskip("distributed")
wfxml_dask = pytest.importorskip("wfxml.dask")
# The functions this module sends to workers travel by value: workers cannot
# import a test module.
pytest.importorskip("cloudpickle").register_pickle_by_value(sys.modules[__name__])


@pytest.fixture(scope="module")
def client():
    # Two processes of one thread each: cheap on a CI machine with two cores.
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None)
    client = distributed.Client(cluster)
    yield client
    client.close()
    cluster.close()


def records(out_dir):
    """file -> data of every line of every part, in part order."""
    lines = []
    for part in sorted(os.listdir(out_dir)):
        with open(os.path.join(out_dir, part), encoding="utf-8") as text:
            lines += [json.loads(line, parse_float=decimal.Decimal) for line in text]
    return {line["file"]: line["data"] for line in lines}, [line["file"] for line in lines]


def test_cluster_gives_the_records_of_the_serial_conversion(fpml, client, tmp_path):
    # The converter names files by their absolute paths, ".." resolved.
    files = [os.path.abspath(path) for path in fpml_files()]
    broken = tmp_path / "broken.xml"
    broken.write_bytes(b"<FpML><trade>")
    missing = tmp_path / "missing.xml"
    inputs = files[:100] + [str(broken)] + files[100:] + [str(missing)]

    summary = wfxml_dask.convert(inputs, fpml, tmp_path / "out", client=client, batch_size=40)

    serial = {file: json.loads(fpml.to_json(open(file, "rb").read()), parse_float=decimal.Decimal) for file in files}
    converted, order = records(tmp_path / "out")
    assert converted == serial
    assert order == files  # parts in input order
    assert summary.files == len(files)
    assert summary.bytes == sum(os.path.getsize(file) for file in files)
    assert [f.file for f in summary.failures] == [str(broken), str(missing)]
    assert summary.failures[0].key is not None and summary.failures[1].key is None
    assert len(summary.outputs) == -(-len(inputs) // 40)
    # Each worker process loaded the message set once, for all its tasks.
    assert sorted(client.run(lambda: len(wfxml_dask._loaded)).values()) == [1, 1]


def test_command_on_a_running_cluster_reports_failures(kinds, client, tmp_path):
    dictionary = tmp_path / "kinds.dict"
    dictionary.write_bytes(kinds.dictionary_bytes())
    broken = tmp_path / "broken.xml"
    broken.write_bytes(b"<kinds>")
    run = subprocess.run(
        [sys.executable, "-m", "wfxml.dask", "--dict", str(dictionary), "--out-dir", str(tmp_path / "out"),
         "--scheduler", client.scheduler.address, str(DATA / "kinds.xml"), str(broken)],
        capture_output=True, text=True, timeout=300,
    )
    assert run.returncode == 1, run.stderr
    assert "converted 1 file " in run.stdout and f"failed: {broken}" in run.stdout
    converted, _ = records(tmp_path / "out")
    assert list(converted) == [str(DATA / "kinds.xml")]


def test_message_set_source_is_the_same_for_the_same_dictionary(kinds, tmp_path):
    path = tmp_path / "kinds.dict"
    path.write_bytes(kinds.dictionary_bytes())
    assert wfxml_dask.MessageSetSource.of(kinds) == wfxml_dask.MessageSetSource.of(str(path))


def write_files(folder, sizes):
    for number, size in enumerate(sizes):
        (folder / f"{number:03d}.xml").write_bytes(b"x" * size)
    return [str(folder / f"{number:03d}.xml") for number in range(len(sizes))]


@pytest.mark.parametrize("workers", [1, 2, 3])
def test_default_batches_keep_input_order_and_share_bytes_evenly(tmp_path, workers):
    count = workers * wfxml_dask._BATCHES_PER_WORKER
    (tmp_path / "even").mkdir()
    even = write_files(tmp_path / "even", [100] * 100)
    lengths = [len(batch) for batch in wfxml_dask._batches(even, None, workers)]
    assert len(lengths) == count and max(lengths) - min(lengths) <= 1

    # Small files with large ones among them, and one that is missing.
    (tmp_path / "mixed").mkdir()
    sizes = [100] * 60 + [5000, 100, 100, 8000] + [100] * 40 + [3000] * 5
    files = write_files(tmp_path / "mixed", sizes)
    files.insert(30, str(tmp_path / "missing.xml"))
    batches = wfxml_dask._batches(files, None, workers)
    assert [file for batch in batches for file in batch] == files
    assert all(batches) and len(batches) <= count
    fair_share = sum(sizes) / count
    assert max(sum(os.path.getsize(f) for f in batch if os.path.exists(f)) for batch in batches) <= fair_share + 8000

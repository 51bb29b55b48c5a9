"""The Dask converter on a local cluster of two worker processes, against the serial conversion;
workers killed, reruns, and command-line mistakes."""

import decimal
import json
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import threading
import time
import warnings

import pytest

import wfxml
from conftest import DATA, SOURCE, fpml_files

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
    for part in sorted(name for name in os.listdir(out_dir) if name.startswith("part-")):
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
    assert wfxml_dask.MessageSetSource.of(kinds) == wfxml_dask.MessageSetSource.of(str(dictionary))  # the same set
    broken = tmp_path / "broken.xml"
    broken.write_bytes(b"<kinds>")
    run = subprocess.run(
        [sys.executable, "-m", "wfxml.dask", "--dict", str(dictionary), "--out-dir", str(tmp_path / "out"),
         "--scheduler", client.scheduler.address, str(DATA / "kinds.xml"), str(broken)],
        capture_output=True, text=True, timeout=300,
    )
    assert run.returncode == 1, run.stderr
    assert "converted 1 file " in run.stdout and f"failed: {broken}" in run.stderr
    converted, _ = records(tmp_path / "out")
    assert list(converted) == [str(DATA / "kinds.xml")]


def test_one_path_given_alone_is_that_path_not_the_letters_of_its_name(kinds, client, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)  # relative: the letters of a name were paths of their own ("/" the whole disk)
    (tmp_path / "in").mkdir()
    (tmp_path / "in" / "kinds.xml").write_bytes((DATA / "kinds.xml").read_bytes())
    for given, out in (("in", "out-str"), (pathlib.Path("in"), "out-path")):
        summary = wfxml_dask.convert(given, kinds, out, client=client)
        assert (summary.files, summary.failures) == (1, []), given


@pytest.fixture(scope="module")
def typed():
    return wfxml.MessageSet.compile([SOURCE / "tests" / "data" / "typed" / "typed.xsd"])


def write_order(path, parties):
    """An order of parties records, about 60 bytes each."""
    parties = b"".join(b'<party id="p%d"><name>%s</name></party>' % (i, b"n" * 50) for i in range(parties))
    path.write_bytes(b'<?xml version="1.0"?><order xmlns="urn:test:typed" id="o-1">' + parties + b"</order>")
    return path


def test_one_files_records_split_over_workers_are_the_single_process_records(typed, client, tmp_path, capsys):
    path = write_order(tmp_path / "order.xml", 1000)
    summary = wfxml_dask.convert_records(path, typed, tmp_path / "out", "party", client=client, piece_size=10_000)
    assert summary.ok and len(summary.outputs) == 9 and summary.records == 1000, summary
    lines = []
    for part in summary.outputs:
        lines += open(part, encoding="utf-8").read().splitlines()
    # Under 256 KiB, iter_records converts the document whole.
    assert lines == list(typed.iter_records(path, "party", json=True))
    source = tmp_path / "typed.dict"
    source.write_bytes(typed.dictionary_bytes())
    argv = ["--dict", str(source), "--out-dir", str(tmp_path / "cli"), "--scheduler", client.scheduler.address]
    assert wfxml_dask.main(argv + ["--records", "party", str(path)]) == 0
    assert open(tmp_path / "cli" / "part-00000.jsonl", encoding="utf-8").read().splitlines() == lines
    # A name that matches nothing is said, as wfhost says it.
    argv[3] = str(tmp_path / "none")
    assert wfxml_dask.main(argv + ["--records", "parti", str(path)]) == 0
    assert f"{path}: no record: no element matches 'parti'" in capsys.readouterr().err
    # A piece's fault names the file's line and column.
    path.write_bytes(path.read_bytes().replace(b"</party>", b"</party>\n").replace(b"</order>", b"<party><name>x</nam>"))
    summary = wfxml_dask.convert_records(path, typed, tmp_path / "broken", "party", client=client, piece_size=10_000)
    assert [failure.error[:8] for failure in summary.failures] == ["1001:17:"], summary


def test_a_file_changed_after_it_was_cut_fails_its_pieces_rather_than_losing_their_records(typed, tmp_path):
    path = tmp_path / "order.xml"
    document = b'<order xmlns="urn:test:typed" id="o-1">' + b'<party id="p"><name>Ann</name></party>' * 900 + b"</order>"
    path.write_bytes(document)
    hour_ago = time.time_ns() - 3600 * 10**9  # so that a change now shows in its time
    os.utime(path, ns=(hour_ago, hour_ago))
    stamp = wfxml_dask._stamp(os.stat(path))
    pieces = wfxml._record_pieces(str(path), "party", 10_000, None)
    source = wfxml_dask.MessageSetSource.of(typed)
    convert = lambda piece: wfxml_dask.convert_piece(source, str(path), stamp, piece, "party", str(tmp_path / "part"))
    assert convert(pieces[1]).records > 0
    # Cut short between records, or written anew at the same size: either would pass for other records.
    for change in (lambda: os.truncate(path, pieces[1][0]), lambda: path.write_bytes(document)):
        change()
        summary = convert(pieces[1])
        assert summary.records == 0 and [failure.error for failure in summary.failures] == [
            "the file changed after it was cut into pieces: convert it again"]
        assert open(tmp_path / "part").read() == ""


@pytest.mark.parametrize("records", [False, True], ids=["files", "records"])
def test_a_cluster_left_without_workers_stops_the_run_after_the_timeout(kinds, tmp_path, records):
    # Workers that die with their nannies are not started again: the run would wait for them without end.
    with distributed.LocalCluster(n_workers=0, dashboard_address=None) as cluster, distributed.Client(cluster) as own:
        run = (lambda: wfxml_dask.convert_records(DATA / "kinds.xml", kinds, tmp_path / "out", "small", client=own,
                                                  timeout=1)) if records else \
            (lambda: wfxml_dask.convert([str(DATA / "kinds.xml")], kinds, tmp_path / "out", client=own, timeout=1))
        with pytest.raises(wfxml_dask.RunError, match="the cluster has had no worker for 1 s"):
            run()
    assert not [name for name in os.listdir(tmp_path / "out") if name.startswith(".") and name != ".wfxml-run.json"]


def test_a_validating_batch_fails_the_invalid_file_and_converts_the_other(kinds, kinds_xml, tmp_path):
    valid, invalid = tmp_path / "valid.xml", tmp_path / "invalid.xml"
    valid.write_bytes(kinds_xml)
    invalid.write_bytes(kinds_xml.replace(b"<small>42</small>", b""))
    output = str(tmp_path / "part.jsonl")
    source = wfxml_dask.MessageSetSource.of(kinds)
    summary = wfxml_dask.convert_batch(source, [str(invalid), str(valid)], output, validate=True)
    assert (summary.files, [(f.file, f.key) for f in summary.failures]) == (1, [(str(invalid), "CP_NOT_SCHEMA_VALID")])
    assert wfxml_dask.convert_batch(source, [str(invalid)], output).ok  # the parser alone takes it


@pytest.mark.parametrize("records", [False, True], ids=["files", "records"])
def test_an_entity_expansion_limit_reaches_every_task(kinds, kinds_xml, client, tmp_path, records):
    # 1,500 references: past the default of 1,000, within a limit of 2,000.
    document = tmp_path / "entities.xml"
    document.write_bytes(kinds_xml.replace(b"<kinds ", b"<!DOCTYPE kinds [<!ENTITY z 'z'>]><kinds ", 1).replace(
        b"<name>bolt</name>", b"<name>" + b"&z;" * 1500 + b"</name>"))
    dictionary = tmp_path / "kinds.dict"
    dictionary.write_bytes(kinds.dictionary_bytes())
    argv = ["--dict", str(dictionary), "--scheduler", client.scheduler.address, str(document)]
    argv += ["--records", "item"] if records else []
    assert wfxml_dask.main(argv + ["--out-dir", str(tmp_path / "default")]) == 1
    assert wfxml_dask.main(argv + ["--out-dir", str(tmp_path / "raised"), "--entity-expansion-limit", "2000"]) == 0
    # A run resumed with another limit would mix parts of two runs.
    with pytest.raises(wfxml_dask.RunError, match="entity_expansion_limit"):
        (wfxml_dask.convert_records(document, kinds, tmp_path / "raised", "item", client=client, resume=True)
         if records else wfxml_dask.convert([document], kinds, tmp_path / "raised", client=client, resume=True))


@pytest.fixture
def full_folder(tmp_path):
    """A folder on a device with no space left (a small tmpfs, filled)."""
    if os.geteuid() != 0:
        pytest.skip("mounting a small tmpfs needs root")
    small = tmp_path / "small"
    small.mkdir()
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", str(small)]).returncode != 0:
        pytest.skip("cannot mount a tmpfs here")
    try:
        with open(small / "filler", "wb") as filler:
            while True:
                filler.write(b"\0" * 4096)
                filler.flush()
    except OSError:
        pass
    yield small
    subprocess.run(["umount", str(small)])


def test_a_full_device_fails_each_file_naming_the_part_or_the_run_file(kinds, kinds_xml, client, full_folder, tmp_path,
                                                                       capsys):
    document = tmp_path / "kinds.xml"
    document.write_bytes(kinds_xml)
    source = wfxml_dask.MessageSetSource.of(kinds)
    part = str(full_folder / "part.jsonl")
    unwritten = f"its part {part} could not be written: No space left on device"
    summary = wfxml_dask.convert_batch(source, [str(document)], part)
    assert (summary.files, summary.outputs, summary.failures) == (0, [], [wfxml_dask.Failure(str(document), unwritten)])
    piece = wfxml._record_pieces(str(document), "small", 1 << 20, None)[0]
    summary = wfxml_dask.convert_piece(source, str(document), wfxml_dask._stamp(os.stat(document)), piece, "small", part)
    assert [failure.error for failure in summary.failures] == [unwritten]
    assert os.listdir(full_folder) == ["filler"]
    dictionary = tmp_path / "kinds.dict"
    dictionary.write_bytes(kinds.dictionary_bytes())
    status = wfxml_dask.main(["--dict", str(dictionary), "--out-dir", str(full_folder / "out"), "--scheduler",
                              client.scheduler.address, str(document)])
    assert status == 2
    assert capsys.readouterr().err == f"python3 -m wfxml.dask: error: {full_folder}/out/.wfxml-run.json: No space left on device\n"


def test_a_folder_that_cannot_be_listed_stops_the_run_rather_than_leave_its_files_out(tmp_path, monkeypatch):
    (tmp_path / "in" / "locked").mkdir(parents=True)
    (tmp_path / "in" / "a.xml").write_bytes(b"<a/>")
    listed = os.scandir

    def scandir(path="."):  # as a folder without read permission lists, for any user (root reads them all)
        if os.fspath(path).endswith("locked"):
            raise PermissionError(13, "Permission denied", os.fspath(path))
        return listed(path)

    monkeypatch.setattr(os, "scandir", scandir)
    with pytest.raises(wfxml_dask.RunError, match=f"^{tmp_path}/in/locked: cannot be listed: Permission denied$"):
        wfxml_dask.collect_files([tmp_path / "in"])


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


def copies(folder, count):
    """count copies of kinds.xml, in input order."""
    folder.mkdir()
    for number in range(count):
        (folder / f"{number:04d}.xml").write_bytes((DATA / "kinds.xml").read_bytes())
    return [str(folder / f"{number:04d}.xml") for number in range(count)]


def test_a_run_whose_workers_are_all_killed_once_converts_every_file_once(kinds, tmp_path):
    files = copies(tmp_path / "in", 150)
    (tmp_path / "out").mkdir()
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as own:
        outcome = {}
        run = threading.Thread(target=lambda: outcome.update(summary=wfxml_dask.convert(
            files, kinds, tmp_path / "out", client=own, batch_size=1)))
        run.start()
        deadline = time.monotonic() + 60
        while not any(name.startswith("part-") for name in os.listdir(tmp_path / "out")):
            assert time.monotonic() < deadline, "no part written in 60 s"
            time.sleep(0.01)
        for pid in own.run(os.getpid).values():
            os.kill(pid, signal.SIGKILL)
        run.join(180)
        assert not run.is_alive(), "the run did not finish within 180 s of the kill"
    assert outcome["summary"].ok, outcome["summary"]
    assert records(tmp_path / "out")[1] == files  # each file once, in order
    assert not [name for name in os.listdir(tmp_path / "out") if name.endswith(".partial")]


def test_a_rerun_resumes_the_same_batches_or_is_refused(kinds, client, tmp_path):
    files = copies(tmp_path / "in", 12)
    out = tmp_path / "out"
    wfxml_dask.convert(files, kinds, out, client=client, batch_size=5)
    (out / "part-00001.jsonl").unlink()  # as if killed before this part
    (out / "part-00002.jsonl").write_text((out / "part-00002.jsonl").read_text().splitlines(True)[0])
    (tmp_path / "report.jsonl").write_text("")
    os.chmod(tmp_path / "report.jsonl", 0o600)  # private, and so it stays
    summary = wfxml_dask.convert(files, kinds, out, client=client, batch_size=2, resume=True,
                                 report=tmp_path / "report.jsonl")
    assert summary.ok and (summary.files, summary.skipped, len(summary.outputs)) == (7, 5, 3)
    assert records(out)[1] == files
    report = [json.loads(line) for line in open(tmp_path / "report.jsonl")]
    assert os.stat(tmp_path / "report.jsonl").st_mode & 0o777 == 0o600
    assert [line["status"] for line in report] == ["skipped"] * 5 + ["converted"] * 7
    assert report[5] == {"file": files[5], "output": str(out / "part-00001.jsonl"), "status": "converted"}
    # A file changed after its part was made of it: its batch is converted again.
    hour_ago = time.time_ns() - 3600 * 10**9
    for file in files:
        os.utime(file, ns=(hour_ago, hour_ago))
    wfxml_dask.convert(files, kinds, tmp_path / "again", client=client, batch_size=5)
    # The part's time is its files' (the last write must not make it now, which no change during the run passes).
    assert os.stat(tmp_path / "again" / "part-00000.jsonl").st_mtime_ns == hour_ago
    pathlib.Path(files[6]).write_bytes(pathlib.Path(files[6]).read_bytes().replace(b"<small>42</small>", b"<small>7</small>"))
    summary = wfxml_dask.convert(files, kinds, tmp_path / "again", client=client, resume=True)
    assert (summary.files, summary.skipped) == (5, 7)
    assert records(tmp_path / "again")[0][files[6]]["kinds"]["small"] == 7
    # Parts made otherwise would pass for this run's: a run converted without validation is not a validating one.
    for other, differs in (({"paths": files[1:]}, "files"), ({"validate": True}, "validate")):
        with pytest.raises(wfxml_dask.RunError, match=rf"holds a run of other arguments \({differs}\)"):
            wfxml_dask.convert(**dict(dict(paths=files, message_set=kinds, out_dir=out), **other), client=client,
                               resume=True)
    # A run recorded before runs kept "validate" did not validate: it resumes so, and only so.
    run_file = out / ".wfxml-run.json"
    run_file.write_text(json.dumps({key: value for key, value in json.loads(run_file.read_text()).items() if key != "validate"}))
    assert wfxml_dask.convert(files, kinds, out, client=client, resume=True).ok
    with pytest.raises(wfxml_dask.RunError, match=r"holds a run of other arguments \(validate\)"):
        wfxml_dask.convert(files, kinds, out, client=client, resume=True, validate=True)


def test_a_records_rerun_keeps_the_pieces_done_converts_the_rest_or_is_refused(typed, kinds, client, tmp_path, capsys):
    path = write_order(tmp_path / "order.xml", 1000)
    hour_ago = time.time_ns() - 3600 * 10**9  # so that a change now shows in its time
    os.utime(path, ns=(hour_ago, hour_ago))
    out = tmp_path / "out"
    run = lambda message_set=typed, name="party", **options: wfxml_dask.convert_records(
        path, message_set, out, name, client=client, resume=True, **options)
    assert len(run(piece_size=10_000).outputs) == 9
    whole = [open(out / f"part-{number:05d}.jsonl").read() for number in range(9)]
    # As kill -9 leaves it: a part not written, one of a piece that failed (written now), a temporary.
    (out / "part-00003.jsonl").unlink()
    os.utime(out / "part-00005.jsonl")
    (out / ".part-00006.jsonl.1.partial").write_text("")
    summary = run()  # the run's own cut, whatever the piece size now
    assert summary.ok and (summary.skipped, len(summary.outputs), summary.records) == (7, 9, 2 * whole[3].count("\n"))
    assert [open(out / f"part-{number:05d}.jsonl").read() for number in range(9)] == whole
    assert sorted(os.listdir(out)) == [".wfxml-run.json"] + [f"part-{number:05d}.jsonl" for number in range(9)]
    dictionary = tmp_path / "typed.dict"
    dictionary.write_bytes(typed.dictionary_bytes())
    argv = ["--dict", str(dictionary), "--out-dir", str(out), "--scheduler", client.scheduler.address, "--resume"]
    assert wfxml_dask.main(argv + ["--records", "party", str(path)]) == 0
    assert "no record" not in capsys.readouterr().err  # none converted, all kept
    for other, differs in (({"name": "name"}, "name"), ({"message_set": kinds}, "dictionary"),
                           ({"encoding": "ISO-8859-1"}, "encoding")):
        with pytest.raises(wfxml_dask.RunError, match=rf"holds a run of other arguments \({differs}\)"):
            run(**other)
    # Changed since it was cut: every piece is cut and converted again, none of the old parts left.
    write_order(path, 300)
    summary = run()
    assert summary.ok and summary.skipped == 0 and summary.records == 300
    assert sorted(summary.outputs) == sorted(str(out / name) for name in os.listdir(out) if name.startswith("part-"))


@pytest.mark.parametrize("args, report", [
    (["--batch-size", "1", "{in}"], "{tmp}/report.jsonl"),
    (["--batch-size", "1", "{in}"], "{out}/report.jsonl"),  # lost with the folder: the summary is not
    (["--records", "party", "{order}"], None),
], ids=["files", "report in out_dir", "records"])
def test_an_out_dir_removed_during_the_run_fails_it_with_the_summary_of_what_was_done(
        typed, kinds, client, tmp_path, capsys, monkeypatch, args, report):
    places = {"tmp": tmp_path, "out": tmp_path / "out", "in": tmp_path / "in", "order": tmp_path / "order.xml"}
    files = copies(places["in"], 3)
    write_order(places["order"], 10)
    places["out"].mkdir()
    outcomes = wfxml_dask._outcomes

    def removing_out_dir_at_the_first_outcome(*arguments):
        for outcome in outcomes(*arguments):
            shutil.rmtree(places["out"], ignore_errors=True)
            yield outcome

    monkeypatch.setattr(wfxml_dask, "_outcomes", removing_out_dir_at_the_first_outcome)
    dictionary = tmp_path / "run.dict"
    dictionary.write_bytes((typed if args[0] == "--records" else kinds).dictionary_bytes())
    argv = ["--dict", str(dictionary), "--out-dir", str(places["out"]), "--scheduler", client.scheduler.address]
    if report is not None:
        report = report.format(**places)
        argv += ["--report", report]
    assert wfxml_dask.main(argv + [arg.format(**places) for arg in args]) == 1
    output = capsys.readouterr()
    assert output.out.startswith("converted 0 files")
    failed = output.err.splitlines()
    assert f"failed: {places['out']}: the output folder vanished during the run" in output.err
    if args[0] == "--records":
        return
    assert all(line.startswith(tuple(f"failed: {file}: its part" for file in files)) for line in failed[:3])
    if report.startswith(str(places["out"])):
        assert failed[-1].startswith(f"failed: {report}: the report could not be written")
    else:
        assert [json.loads(line)["status"] for line in open(report)] == ["failed"] * 3


def test_an_interpreter_without_distributed_says_which_it_needs(kinds, tmp_path, monkeypatch):
    monkeypatch.setitem(sys.modules, "distributed", None)
    with pytest.raises(wfxml_dask.RunError, match="needs the Python packages dask and distributed.*/usr/bin/python3"):
        wfxml_dask.convert([str(DATA / "kinds.xml")], kinds, tmp_path / "out")


@pytest.mark.parametrize("argv, error", [
    (["--schma", "s.xsd", "f.xml"], "unrecognized arguments: --schma"),  # named before the missing --out-dir
    (["--dict", "d", "f.xml"], "the following arguments are required: --out-dir"),
    (["--out-dir", "o", "f.xml"], "one of the arguments --schema --dict is required"),
])
def test_the_first_mistake_of_a_command_line_is_named(capsys, argv, error):
    with pytest.raises(SystemExit) as exit:
        wfxml_dask.main(argv)
    assert exit.value.code == 2 and error in capsys.readouterr().err


@pytest.mark.parametrize("args, error", [
    (["--workers", "0"], "argument --workers: needs a whole number of at least 1, not '0'"),
    (["--batch-size", "x"], "argument --batch-size: needs a whole number of at least 1, not 'x'"),
    (["--scheduler", "tcp://127.0.0.1:9", "--timeout", "1"], "no scheduler answered at tcp://127.0.0.1:9 within 1 s"),
    (["--out-dir", "{file}"], "out_dir {file}: not a folder"),
    (["--out-dir", "{full}"], "out_dir {full} is not empty: resume the run that wrote it (--resume)"),
    (["{empty}"], "no files to convert in {empty}"),
    (["--report", "{out}/part-00000.jsonl"], "report {out}/part-00000.jsonl is an input or a file of the run"),
    (["--records", "party", "--validate"], "--records takes one FILE, without --report, --validate"),
    (["--records", ""], "--records needs an element name or path"),
    (["--records", "party", "{empty}"], "{empty}: is a folder; records are read from one file"),
    (["--records", "party", "/dev/zero"], "/dev/zero: is not a regular file (a pipe?)"),
], ids=["workers 0", "batch size x", "no scheduler", "out-dir a file", "out-dir not empty", "no input", "report a part",
        "records",
        "records unnamed", "records of a folder", "records of a device"])
def test_command_line_mistakes_are_one_line_with_status_2(kinds, tmp_path, capsys, args, error):
    places = {"file": tmp_path / "file", "full": tmp_path / "full", "empty": tmp_path / "empty", "out": tmp_path / "out"}
    places["file"].write_text("")
    places["full"].mkdir()
    (places["full"] / "part-00000.jsonl").write_text("")
    places["empty"].mkdir()
    args = [arg.format(**places) for arg in args]
    dictionary = tmp_path / "kinds.dict"
    dictionary.write_bytes(kinds.dictionary_bytes())
    argv = ["--dict", str(dictionary), "--out-dir", str(tmp_path / "out")] + args
    if not any(arg in (str(places["empty"]), "/dev/zero") for arg in args):
        argv.append(str(DATA / "kinds.xml"))
    try:
        status = wfxml_dask.main(argv)
    except SystemExit as exit:
        status = exit.code
    lines = capsys.readouterr().err.splitlines()
    assert status == 2 and len(lines) == 1, lines
    assert lines[0].startswith("python3 -m wfxml.dask: error: " + error.format(**places)), lines


def test_the_local_cluster_takes_a_free_port_for_its_pages(kinds, client, tmp_path):
    # The module's cluster holds the usual port (8787): a run's own cluster warned that it was taken.
    dictionary = tmp_path / "kinds.dict"
    dictionary.write_bytes(kinds.dictionary_bytes())
    with warnings.catch_warnings(record=True) as warned:
        warnings.simplefilter("always")
        status = wfxml_dask.main(["--dict", str(dictionary), "--out-dir", str(tmp_path / "out"), "--workers", "1",
                                  str(DATA / "kinds.xml")])
    assert status == 0 and not [w for w in warned if "already in use" in str(w.message)]

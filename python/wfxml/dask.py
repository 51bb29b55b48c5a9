"""Converts archives of XML documents to JSON Lines on a Dask cluster.

    from wfxml.dask import convert
    summary = convert(["archive/"], ["fpml-main-5-11.xsd"], "out/")  # a LocalCluster here
    summary = convert(paths, "fpml.dict", "out/", client="tcp://scheduler:8786")
    print(summary)

or from a shell:

    python3 -m wfxml.dask --schema fpml-main-5-11.xsd --out-dir out/ archive/

The files are cut into batches, one task and one output file
(out/part-NNNNN.jsonl) per batch, in input order. Each line is one document:
{"file": "<path>", "data": <its typed JSON, as MessageSet.to_json gives>}.
A document that cannot be read or converted is left out of its part and
listed in the summary; it never stops the run.

Nothing is lost when workers die: a part is written under a temporary name
and renamed into place complete and on the disk, so a task run again replaces
it whole and a power cut leaves no part that is empty under its name. The
batches are kept in out/.wfxml-run.json; a rerun into a folder that is not
empty resumes that run (resume=True: parts that hold every file of their
batch, unchanged since, are kept, the others converted again) or is refused,
so old and new parts never mix.

The message set is compiled or loaded here once and reaches the workers as
its compiled dictionary, in out/.wfxml-run.dict while the run lasts (so a
task run again after every worker died still finds it); each worker process
loads it once and keeps it for every task after. Paths are made absolute
here, so a cluster on other machines needs them, and out/, under the same
names (a shared file system).

A script that starts a LocalCluster (client=None) must guard its entry point
with `if __name__ == "__main__":`, as worker processes import the main module.
"""

import argparse
import dataclasses
import errno
import hashlib
import json
import logging
import math
import os
import sys
import threading
import time
import uuid
from typing import Iterable, List, Optional, Sequence, Union

import wfxml

__all__ = ["MessageSetSource", "Failure", "Summary", "RunError", "collect_files", "convert", "convert_records", "main"]


class RunError(Exception):
    """A run that cannot start or go on: no input, an unusable or non-empty out_dir, no cluster."""


@dataclasses.dataclass(frozen=True)
class MessageSetSource:
    """A message set as workers receive it: its compiled dictionary, picklable.

    key identifies the dictionary (its SHA-256), so that a worker loads each
    message set once however many tasks use it.
    """

    key: str
    dictionary: bytes

    @classmethod
    def of(cls, message_set: Union["wfxml.MessageSet", str, os.PathLike, Sequence[Union[str, os.PathLike]]]):
        """From a MessageSet, a dictionary file (.dict), or schema / message-set source paths to compile."""
        if isinstance(message_set, MessageSetSource):
            return message_set
        if not isinstance(message_set, wfxml.MessageSet):
            message_set = _open_message_set(message_set)
        dictionary = message_set.dictionary_bytes()
        return cls(hashlib.sha256(dictionary).hexdigest(), dictionary)

    def read(self) -> bytes:
        return self.dictionary


@dataclasses.dataclass(frozen=True)
class _DictionaryFile:
    """A message set as the tasks of a run receive it: its key and a dictionary file beside the parts.

    Each task carries it and depends on nothing the cluster may lose: a task
    run again after every worker died finds the file where it was.
    """

    key: str
    path: str

    def read(self) -> bytes:
        with open(self.path, "rb") as dictionary:
            return dictionary.read()


def _open_message_set(paths) -> "wfxml.MessageSet":
    if isinstance(paths, (str, bytes, os.PathLike)):
        paths = [paths]
    paths = [os.fsdecode(path) for path in paths]
    if len(paths) == 1 and paths[0].endswith(".dict"):
        return wfxml.MessageSet.load(paths[0])
    return wfxml.MessageSet.compile(paths)


_loaded = {}
_loading = threading.Lock()


def _message_set(source) -> "wfxml.MessageSet":
    """The worker process's MessageSet for source, loaded on first use."""
    message_set = _loaded.get(source.key)
    if message_set is None:
        with _loading:
            message_set = _loaded.get(source.key)
            if message_set is None:
                message_set = wfxml._load_dictionary_bytes(source.read())
                _loaded[source.key] = message_set
    return message_set


@dataclasses.dataclass(frozen=True)
class Failure:
    """A file that was not converted: why, and the wfxml.Error's key and inserts if it was one."""

    file: str
    error: str
    key: Optional[str] = None
    inserts: tuple = ()

    @classmethod
    def of(cls, file: str, error: BaseException) -> "Failure":
        if isinstance(error, wfxml.Error):
            return cls(file, str(error), error.key, tuple(error.inserts))
        return cls(file, f"{type(error).__name__}: {error}")

    def __str__(self) -> str:
        return f"{self.file}: {self.error}"


@dataclasses.dataclass
class Summary:
    """What a conversion did: files and input bytes converted, failures, the parts written."""

    files: int = 0
    bytes: int = 0
    failures: List[Failure] = dataclasses.field(default_factory=list)
    outputs: List[str] = dataclasses.field(default_factory=list)
    seconds: float = 0.0
    skipped: int = 0  # files (pieces, for convert_records) in parts of the run resumed, kept as they were
    records: int = 0  # JSON lines written by convert_records

    @property
    def ok(self) -> bool:
        return not self.failures

    def add(self, other: "Summary") -> None:
        self.files += other.files
        self.bytes += other.bytes
        self.failures.extend(other.failures)
        self.outputs.extend(other.outputs)
        self.skipped += other.skipped
        self.records += other.records

    def headline(self) -> str:
        rate = self.bytes / 1e6 / self.seconds if self.seconds > 0 else 0.0
        skipped = f", {self.skipped} kept from the run resumed" if self.skipped else ""
        return (
            f"converted {_count(self.files, 'file')} ({self.bytes / 1e6:.1f} MB) in {self.seconds:.1f} s "
            f"({rate:.1f} MB/s) into {_count(len(self.outputs), 'part')}{skipped}; {len(self.failures)} failed"
        )

    def __str__(self) -> str:
        return "\n".join([self.headline()] + [f"failed: {failure}" for failure in self.failures])


def _count(number: int, noun: str) -> str:
    return f"{number} {noun}" if number == 1 else f"{number} {noun}s"


_PARTIAL = ".partial"


def _write_complete(output: str, write, mode: str = "w") -> None:
    """Calls write(file) on a temporary beside output and renames it to output when all is written.

    write may return a modification time (ns) for output. An OSError of the
    writing names output (a full device names no file of its own).
    """
    # A name of its own: a task run again while a lost worker's copy still
    # writes must not share its file.
    folder, name = os.path.split(output)
    pending = os.path.join(folder, f".{name}.{uuid.uuid4().hex}{_PARTIAL}")
    try:
        with open(pending, mode, encoding=None if "b" in mode else "utf-8") as out:
            try:  # a file replaced keeps its permissions: a private report stays private
                os.chmod(out.fileno(), os.stat(output).st_mode & 0o7777)
            except FileNotFoundError:
                pass
            modified = write(out)
            out.flush()  # before its time is set, which a write after would make now
            if modified is not None:
                os.utime(out.fileno(), ns=(time.time_ns(), modified))
            # On the disk before it is named: after a power cut the name
            # holds the whole file or is not there.
            _sync(out.fileno())
        os.replace(pending, output)
    except OSError as error:
        _remove(pending)
        if error.filename is not None:
            raise
        raise OSError(error.errno, error.strerror, output) from None
    except BaseException:
        _remove(pending)
        raise


def _sync(descriptor: int) -> None:
    try:
        os.fdatasync(descriptor)
    except OSError as error:
        # A file system that cannot sync (some FUSE ones) holds the file as well as it can.
        if error.errno not in (errno.EINVAL, errno.ENOTSUP, errno.ENOSYS):
            raise


def _remove(path: str) -> None:
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


def convert_batch(
    source: Union[MessageSetSource, _DictionaryFile], files: Sequence[str], output: str, validate: bool = False,
    entity_expansion_limit: Optional[int] = None,
) -> Summary:
    """Converts files into one JSON Lines file (a task's work); failures are collected, not raised.

    validate: check each file against the schemas first; an invalid one fails
    (key CP_NOT_SCHEMA_VALID, the first problem in its inserts).
    entity_expansion_limit: as for MessageSet.to_json.
    """
    message_set = _message_set(source)
    summary = Summary(outputs=[output])

    def write(out):
        # The part takes the newest time its files had when they were read: a
        # file changed since (also while it was converted) is newer, and a
        # resumed run converts its batch again.
        newest = 0
        for file in files:
            try:
                with open(file, "rb") as document:
                    newest = max(newest, os.fstat(document.fileno()).st_mtime_ns)
                    xml = document.read()
                data = message_set.to_json(xml, validate=validate, entity_expansion_limit=entity_expansion_limit)
            except Exception as error:  # every failure is the file's own; the batch goes on
                summary.failures.append(Failure.of(file, error))
                continue
            out.write('{"file":' + json.dumps(file) + ',"data":' + data + "}\n")
            summary.files += 1
            summary.bytes += len(xml)
        return newest or None

    try:
        _write_complete(output, write)
    except OSError as error:  # no part (a full device): every file of the batch failed
        return Summary(failures=[Failure(file, _unwritten(error)) for file in files])
    return summary


def _unwritten(error: OSError) -> str:
    return f"its part {error.filename} could not be written: {error.strerror or error}"


def _path_list(paths) -> list:
    """paths as a list; one path given alone is that path, not the letters of its name."""
    return [paths] if isinstance(paths, (str, bytes, os.PathLike)) else list(paths)


def collect_files(
    paths: Union[str, os.PathLike, Iterable[Union[str, os.PathLike]]], suffix: str = ".xml"
) -> List[str]:
    """The files named and those under the folders named (ending in suffix), absolute, folders sorted.

    Raises RunError for a folder that cannot be listed, whose files would otherwise be left out unsaid.
    """

    def unlisted(error: OSError):
        raise RunError(f"{os.fsdecode(error.filename)}: cannot be listed: {error.strerror or error}")

    files = []
    for path in _path_list(paths):
        path = os.path.abspath(os.fsdecode(path))
        if not os.path.isdir(path):
            files.append(path)
            continue
        found = []
        for folder, _, names in os.walk(path, onerror=unlisted):
            found += [os.path.join(folder, name) for name in names if name.endswith(suffix)]
        files += sorted(found)
    return files


# Without a batch size: about this many batches a worker (so that workers
# that finish early take more, and the last batches leave little idle time)
# of at most _MAX_BATCH files, unless the files are so many that it takes more.
_BATCHES_PER_WORKER = 8
_MAX_BATCH = 500


def _batches(files: Sequence[str], batch_size: Optional[int], workers: int) -> List[Sequence[str]]:
    if batch_size is not None:
        return [files[i : i + batch_size] for i in range(0, len(files), batch_size)]
    if not files:
        return []
    # Cut at about equal bytes, not equal counts: a batch of large files
    # would keep one worker busy while the others wait at the end.
    workers = max(1, workers)
    count = workers * max(_BATCHES_PER_WORKER, math.ceil(len(files) / (workers * _MAX_BATCH)))
    count = min(count, len(files))
    weights = [_size(file) + 1 for file in files]  # + 1: empty and missing files cost a task something too
    total = sum(weights)
    batches, start, done = [], 0, 0
    bound = total / count
    for index, weight in enumerate(weights):
        done += weight
        if done >= bound and len(batches) + 1 < count:
            batches.append(files[start : index + 1])
            start = index + 1
            bound = done + (total - done) / (count - len(batches))  # the rest, shared by the batches to come
    if start < len(files):
        batches.append(files[start:])
    return batches


def _size(file: str) -> int:
    try:
        return os.path.getsize(file)
    except OSError:  # the task reports it
        return 0


_RUN_FILE = ".wfxml-run.json"  # the batches and the dictionary of the run that wrote the folder
_DICTIONARY_FILE = ".wfxml-run.dict"  # the dictionary, for the tasks


def _part(out_dir: str, number: int) -> str:
    return os.path.join(out_dir, f"part-{number:05d}.jsonl")


def _usable_folder(out_dir: str) -> List[str]:
    """Creates out_dir when missing and gives its entries; RunError when it cannot take the parts."""
    if os.path.exists(out_dir) and not os.path.isdir(out_dir):
        raise RunError(f"out_dir {out_dir}: not a folder")
    try:
        os.makedirs(out_dir, exist_ok=True)
        entries = os.listdir(out_dir)
    except OSError as error:
        raise RunError(f"out_dir {out_dir}: {error.strerror or error}") from None
    if not os.access(out_dir, os.W_OK | os.X_OK):
        raise RunError(f"out_dir {out_dir}: cannot be written")
    return entries


def _check_report(report: str, files: List[str], out_dir: str) -> None:
    """RunError when the report cannot be written, or would replace an input or a file of the run."""
    where = os.path.realpath(report)
    folder, name = os.path.split(where)
    ours = folder == os.path.realpath(out_dir) and (name.startswith((".wfxml-run.", "part-")) or name.endswith(_PARTIAL))
    if ours or where in {os.path.realpath(file) for file in files}:
        raise RunError(f"report {report} is an input or a file of the run, which the report would replace")
    if not os.access(os.path.dirname(os.path.abspath(report)), os.W_OK | os.X_OK):
        raise RunError(f"report {report}: its folder cannot be written")


def _run_to_resume(out_dir: str, resume: bool, work: str, arguments: dict) -> Optional[dict]:
    """The run recorded in out_dir, to resume, or None for a new run (out_dir empty).

    work: the key of the run's cut ("batches", "piece_size"). RunError when out_dir
    holds anything else, or a run made with other arguments, whose parts would
    mix with these.
    """
    entries = [entry for entry in _usable_folder(out_dir) if not entry.endswith(_PARTIAL)]
    if not entries:
        return None
    if not resume:
        raise RunError(f"out_dir {out_dir} is not empty: resume the run that wrote it (--resume) or use an empty folder")
    try:
        with open(os.path.join(out_dir, _RUN_FILE), encoding="utf-8") as text:
            run = json.load(text)
        run[work]
        # A run recorded before runs kept "validate" did not validate.
        recorded = (dict({"validate": False}, **run, files=[file for batch in run["batches"] for file in batch])
                    if work == "batches" else run)
    except (OSError, ValueError, KeyError, TypeError):
        raise RunError(f"out_dir {out_dir} holds no run of this converter to resume") from None
    other = [name for name, value in arguments.items() if recorded.get(name) != value]
    if other:
        raise RunError(f"out_dir {out_dir} holds a run of other arguments ({', '.join(other)}): "
                       "resume it with the same ones or use an empty folder")
    return run


def _remove_partials(out_dir: str) -> None:
    """Removes the temporaries of tasks that died."""
    try:
        entries = os.listdir(out_dir)
    except FileNotFoundError:  # the folder vanished: the run reports it
        return
    for entry in entries:
        if entry.endswith(_PARTIAL):
            _remove(os.path.join(out_dir, entry))


def _vanished(out_dir: str) -> List[Failure]:
    """The failure of a run whose out_dir was removed while it ran, if it was."""
    if os.path.isdir(out_dir):
        return []
    return [Failure(out_dir, "the output folder vanished during the run, and the parts written in it with it")]


def _lost(part: str) -> str:
    return f"its part {part} was removed during the run"


def _holds(part: str, batch: Sequence[str]) -> bool:
    """True when part exists and holds a line for every file of its batch."""
    decoder = json.JSONDecoder()
    try:
        with open(part, encoding="utf-8") as text:
            # Each line starts with {"file":"<path>", 8 characters before the path.
            return [decoder.raw_decode(line, 8)[0] for line in text] == list(batch)
    except (OSError, ValueError):
        return False


def _changed_since(part: str, batch: Sequence[str]) -> bool:
    """True when a file of the batch changed after the part was made of it (see convert_batch)."""
    made = os.stat(part).st_mtime_ns
    for file in batch:
        try:
            if os.stat(file).st_mtime_ns > made:
                return True
        except OSError:  # gone: the part keeps what it was
            pass
    return False


class _Cluster:
    """The client a run uses (with the LocalCluster it starts, if any), closed at the end."""

    def __init__(self, client, workers: Optional[int], timeout: float):
        try:
            import distributed
        except ImportError:
            raise RunError(
                f"needs the Python packages dask and distributed, which {sys.executable} does not have: "
                "run it with Debian's /usr/bin/python3 (apt install python3-distributed)"
            ) from None

        self.client, self.cluster, self.own = client, None, client is None or isinstance(client, str)
        if client is None:
            # Started without workers and scaled after, so that a worker that
            # dies while it starts is a timeout here, not a hang in LocalCluster.
            workers = workers or os.cpu_count() or 1
            self.cluster = distributed.LocalCluster(
                n_workers=0, threads_per_worker=1, processes=True, dashboard_address=":0"
            )
            self.client = distributed.Client(self.cluster, timeout=timeout)
            self.cluster.scale(workers)
            try:
                self.client.wait_for_workers(workers, timeout=timeout)
            except (TimeoutError, distributed.TimeoutError):
                self.close()
                raise RunError(f"the local cluster did not start {workers} workers within {timeout:g} s") from None
        elif isinstance(client, str):
            try:
                self.client = distributed.Client(client, timeout=timeout)
            except (OSError, TimeoutError, distributed.TimeoutError):
                raise RunError(f"no scheduler answered at {client} within {timeout:g} s") from None

    def close(self) -> None:
        if self.own:
            self.client.close(timeout=10)
        if self.cluster is not None:
            self.cluster.close(timeout=10)


def convert(
    paths: Union[str, os.PathLike, Iterable[Union[str, os.PathLike]]],
    message_set,
    out_dir: Union[str, os.PathLike],
    client=None,
    *,
    batch_size: Optional[int] = None,
    workers: Optional[int] = None,
    resume: bool = False,
    report: Optional[Union[str, os.PathLike]] = None,
    timeout: float = 60.0,
    validate: bool = False,
    entity_expansion_limit: Optional[int] = None,
) -> Summary:
    """Converts XML files to JSON Lines in out_dir, one part-NNNNN.jsonl per batch.

    paths: files and folders (their *.xml files, recursively), or one of them.
    message_set: a wfxml.MessageSet, a dictionary file (.dict), or the paths of
        .xsd files or of one message-set .json to compile.
    client: None for a LocalCluster of worker processes (workers of them, one
        thread each; default: the cores), a scheduler address
        ("tcp://host:8786"), or a distributed.Client to use.
    batch_size: files per task and part (default: about eight batches a worker,
        of about equal bytes).
    validate: check each file against the schemas first (MessageSet.validate);
        invalid files fail with key CP_NOT_SCHEMA_VALID.
    entity_expansion_limit: the entity references a file may expand, at most
        (default: the library's, 1,000); a file past it fails.
    resume: out_dir may hold an earlier run of the same files and message set,
        which is finished; without it out_dir must be empty or new.
    report: a file to write one JSON line per input file into: file, output
        (its part), status (converted, skipped: kept from the run resumed,
        failed) and error.
    timeout: seconds to wait for a LocalCluster's workers or a scheduler.

    Raises RunError when no file is found (an empty run is most likely a
    wrong path), when out_dir cannot be used, or when the cluster does not
    start, cannot be reached or is lost; wfxml.Error when the message set
    cannot be made; ValueError for a batch_size, workers or
    entity_expansion_limit below 1. Files that fail are listed in the
    summary's failures.
    """
    _refuse_below_one(batch_size=batch_size, workers=workers, entity_expansion_limit=entity_expansion_limit)
    started = time.perf_counter()
    source = MessageSetSource.of(message_set)
    paths = _path_list(paths)
    files = collect_files(paths)
    if not files:
        raise RunError("no files to convert in " + ", ".join(os.fsdecode(path) for path in paths))
    out_dir = os.path.abspath(os.fsdecode(out_dir))
    if report is not None:
        _check_report(os.fsdecode(report), files, out_dir)
    arguments = {"dictionary": source.key, "files": files, "validate": validate,
                 "entity_expansion_limit": entity_expansion_limit}
    run = _run_to_resume(out_dir, resume, "batches", arguments)
    batches = run and run["batches"]
    _remove_partials(out_dir)

    cluster = _Cluster(client, workers, timeout)
    try:
        client = cluster.client
        if batches is None:
            worker_count = max(1, len(client.scheduler_info().get("workers", {})))
            batches = _batches(files, batch_size, worker_count)
            _write_complete(
                os.path.join(out_dir, _RUN_FILE),
                lambda out: json.dump({"dictionary": source.key, "validate": validate,
                                       "entity_expansion_limit": entity_expansion_limit, "batches": batches}, out),
            )
        shipped = _ship(source, out_dir)
        results = _losing_the_scheduler_stops(
            client, lambda: _run_batches(client, shipped, batches, out_dir, resume, validate, entity_expansion_limit,
                                         timeout))
    finally:
        cluster.close()
        _remove_partials(out_dir)
        _remove(os.path.join(out_dir, _DICTIONARY_FILE))
    for number, result in results.items():
        if result.outputs and not os.path.exists(result.outputs[0]):  # a file converted is one on the disk
            own = {failure.file: failure for failure in result.failures}
            results[number] = Summary(failures=[own.get(file) or Failure(file, _lost(result.outputs[0]))
                                                for file in batches[number]])
    summary = Summary()
    for number in sorted(results):
        summary.add(results[number])
    summary.failures += _vanished(out_dir)
    summary.seconds = time.perf_counter() - started
    if report is not None:
        try:  # the summary of the work done is not lost with its report
            _write_complete(os.fspath(report), lambda out: _write_report(out, out_dir, batches, results))
        except OSError as error:
            summary.failures.append(
                Failure(os.fspath(report), f"the report could not be written: {error.strerror or error}"))
    return summary


def _refuse_below_one(**options) -> None:
    for name, value in options.items():
        if value is not None and value < 1:
            raise ValueError(f"{name} must be at least 1, not {value}")


def _ship(source: MessageSetSource, out_dir: str) -> _DictionaryFile:
    """The message set as the run's tasks receive it, its dictionary written in out_dir.

    A file, not data on the workers: scattered data is gone for good when
    every worker that held it dies, and a task holding it would wait for it.
    """
    shipped = _DictionaryFile(source.key, os.path.join(out_dir, _DICTIONARY_FILE))

    def write(out):  # returns nothing: a count of bytes would be taken for the file's time
        out.write(source.dictionary)

    _write_complete(shipped.path, write, "wb")
    return shipped


def _run_batches(client, shipped: _DictionaryFile, batches, out_dir: str, resume: bool, validate: bool,
                 entity_expansion_limit: Optional[int], timeout: float):
    """Submits the batches (those a resumed run has not finished); batch number -> Summary."""
    results, futures = {}, {}
    for number, batch in enumerate(batches):
        if resume and _holds(_part(out_dir, number), batch) and not _changed_since(_part(out_dir, number), batch):
            results[number] = Summary(outputs=[_part(out_dir, number)], skipped=len(batch))
        else:
            futures[client.submit(convert_batch, shipped, batch, _part(out_dir, number), validate,
                                  entity_expansion_limit, pure=False)] = number
    for number, outcome in _outcomes(client, futures, timeout):
        if isinstance(outcome, Exception):  # a lost task: its files failed, the others go on
            _remove(_part(out_dir, number))  # a part of the run resumed would pass for this one
            outcome = Summary(failures=[Failure.of(file, outcome) for file in batches[number]])
        results[number] = outcome
    return results


def _outcomes(client, futures: dict, timeout: float):
    """Yields (futures[future], its result or the exception that lost it) as the tasks end.

    Raises RunError once the cluster has had no worker for timeout seconds: a
    cluster whose workers all died with their nannies would otherwise be
    waited for without end. The exception of a cluster that is gone (its
    scheduler lost) passes out.
    """
    import distributed

    pending, without_workers_since = set(futures), None
    while pending:
        try:
            done, pending = distributed.wait(pending, timeout=min(1.0, timeout), return_when="FIRST_COMPLETED")
        except (TimeoutError, distributed.TimeoutError):
            if client.nthreads():
                without_workers_since = None
            elif without_workers_since is None:
                without_workers_since = time.monotonic()
            elif time.monotonic() - without_workers_since >= timeout:
                raise RunError(f"the cluster has had no worker for {timeout:g} s; the parts written are kept") from None
            continue
        for future in done:
            try:
                yield futures[future], future.result()
            except Exception as error:
                if client.status != "running":
                    raise
                yield futures[future], error


def _losing_the_scheduler_stops(client, run):
    """run(), with an error that a lost scheduler caused raised as RunError."""
    address = client.scheduler.address
    try:
        return run()
    except RunError:
        raise
    except Exception:
        if client.status == "running":
            raise
        raise RunError(f"lost the scheduler at {address}") from None


def _write_report(out, out_dir: str, batches, results) -> None:
    for number, batch in enumerate(batches):
        result = results[number]
        failures = {failure.file: failure for failure in result.failures}
        for file in batch:
            line = {"file": file, "output": _part(out_dir, number)}
            if result.skipped:
                line["status"] = "skipped"
            elif file in failures:
                line.update(status="failed", error=failures[file].error)
            else:
                line["status"] = "converted"
            out.write(json.dumps(line, separators=(",", ":")) + "\n")


def _stamp(status: os.stat_result) -> tuple:
    """What tells a file's content apart from what it held before: its size and the time it changed."""
    return status.st_size, status.st_mtime_ns


def convert_piece(
    source: Union[MessageSetSource, _DictionaryFile], path: str, stamp: tuple, piece: tuple, name: str, output: str,
    encoding: Optional[str] = None, entity_expansion_limit: Optional[int] = None,
) -> Summary:
    """Converts one piece of a file's records into one JSON Lines file (a task's work).

    stamp: the file's _stamp when it was cut; piece: (begin, end, head, tail,
    place) as wfxml._record_pieces gives it. A fault in the piece is its
    failure, after the records before it, with its line and column in the
    file; so is a file changed since it was cut, whose offsets no longer hold.
    The part of a piece converted whole takes the file's time in stamp, which
    tells a resumed run it is done (_piece_done).
    """
    begin, end, head, tail, place = piece
    message_set = _message_set(source)
    where = f"{path} bytes {begin}-{end}"
    summary = Summary(outputs=[output], bytes=end - begin)

    def records():
        with open(path, "rb") as document:
            document.seek(begin)
            body = document.read(end - begin)
            # A file cut short would give its pieces past the end as no records at all.
            if len(body) != end - begin or _stamp(os.fstat(document.fileno())) != tuple(stamp):
                summary.failures.append(Failure(where, "the file changed after it was cut into pieces: convert it again"))
                return
        yield from message_set._iter_piece(head + body + tail, name, place, encoding=encoding, json=True,
                                           entity_expansion_limit=entity_expansion_limit)

    def write(out):
        lines = records()
        while True:
            try:
                line = next(lines)
            except StopIteration:
                return None if summary.failures else stamp[1]
            except Exception as error:  # the piece's own failure (not the part's); the other pieces go on
                summary.failures.append(Failure.of(where, error))
                return None
            out.write(line + "\n")
            summary.records += 1

    try:
        _write_complete(output, write)
    except OSError as error:  # no part (a full device): the piece failed
        return Summary(bytes=end - begin, failures=[Failure(where, _unwritten(error))])
    return summary


def _piece_done(part: str, stamp: tuple) -> bool:
    """True when part holds its whole piece of the file as stamp was cut (see convert_piece)."""
    try:
        return os.stat(part).st_mtime_ns == stamp[1]
    except FileNotFoundError:
        return False


def _remove_parts(out_dir: str) -> None:
    for entry in os.listdir(out_dir):
        if entry.startswith("part-"):
            _remove(os.path.join(out_dir, entry))


def convert_records(
    path: Union[str, os.PathLike],
    message_set,
    out_dir: Union[str, os.PathLike],
    name: str,
    client=None,
    *,
    workers: Optional[int] = None,
    piece_size: Optional[int] = None,
    encoding: Optional[str] = None,
    timeout: float = 60.0,
    resume: bool = False,
    entity_expansion_limit: Optional[int] = None,
) -> Summary:
    """Converts the records of one large file to JSON Lines, its pieces shared among the workers.

    name: the record element, as for MessageSet.iter_records. One scan here
    cuts the file between records (wfxml._record_pieces); each task reads
    its piece's bytes and converts them with the ancestors' context, into
    part-NNNNN.jsonl. The parts, in order, hold exactly the lines of
    `wfhost convert --records NAME`. A file whose code page does not keep
    its markup in ASCII bytes of their own (UTF-16, EBCDIC, Shift_JIS) is one
    piece.

    piece_size: bytes of a piece, at least (default: about eight pieces a
    worker, and 1 MiB at least). out_dir must be new or empty, or hold a
    run of the same file, name, encoding and message set to resume: its
    pieces (cut with its piece_size) whose parts are complete are kept
    while the file is as that run cut it; a file changed since is cut and
    converted again. client, workers, timeout, entity_expansion_limit (for
    each piece) and the errors raised as for convert; a piece that fails is
    listed in the summary's failures, after its records before the fault.
    """
    _refuse_below_one(piece_size=piece_size, workers=workers, entity_expansion_limit=entity_expansion_limit)
    if not name:
        raise ValueError("name must be an element name or path, not ''")
    started = time.perf_counter()
    source = MessageSetSource.of(message_set)
    path = os.path.abspath(os.fsdecode(path))
    try:
        size = os.path.getsize(path)
    except OSError as error:
        raise RunError(f"{path}: {error.strerror or error}") from None
    if os.path.isdir(path):  # before a cluster starts for nothing
        raise RunError(f"{path}: is a folder; records are read from one file")
    if not os.path.isfile(path):  # workers read their pieces by offset, which a pipe cannot give
        raise RunError(f"{path}: is not a regular file (a pipe?); records are shared out from a file: save it first, "
                       "or read it in one process (wfhost convert --records, MessageSet.iter_records)")
    out_dir = os.path.abspath(os.fsdecode(out_dir))
    arguments = {"dictionary": source.key, "file": path, "name": name, "encoding": encoding,
                 "entity_expansion_limit": entity_expansion_limit}
    run = _run_to_resume(out_dir, resume, "piece_size", arguments)
    _remove_partials(out_dir)
    cluster = _Cluster(client, workers, timeout)
    try:
        client = cluster.client
        stamp = _stamp(os.stat(path))
        if run is not None:
            piece_size = run["piece_size"]  # the same cut, so that each part stays its piece's
            if run.get("stamp") != list(stamp):  # the parts hold pieces of what the file was
                _remove_parts(out_dir)
                run = None
        elif piece_size is None:
            worker_count = max(1, len(client.scheduler_info().get("workers", {})))
            piece_size = max(1 << 20, size // (worker_count * _BATCHES_PER_WORKER))
        pieces = wfxml._record_pieces(path, name, piece_size, encoding)
        if _stamp(os.stat(path)) != stamp:
            raise RunError(f"{path}: changed while it was cut into pieces: convert it once it is written")
        if run is None:
            _write_complete(os.path.join(out_dir, _RUN_FILE),
                            lambda out: json.dump(dict(arguments, stamp=stamp, piece_size=piece_size), out))
        shipped = _ship(source, out_dir)
        results, futures = {}, {}
        for number, piece in enumerate(pieces):
            if run is not None and _piece_done(_part(out_dir, number), stamp):
                results[number] = Summary(outputs=[_part(out_dir, number)], skipped=1)
            else:
                futures[client.submit(convert_piece, shipped, path, stamp, piece, name, _part(out_dir, number),
                                      encoding, entity_expansion_limit, pure=False)] = number
        results.update(_losing_the_scheduler_stops(client, lambda: dict(_outcomes(client, futures, timeout))))
    finally:
        cluster.close()
        _remove_partials(out_dir)
        _remove(os.path.join(out_dir, _DICTIONARY_FILE))
    summary = Summary()
    for number in sorted(results):
        outcome = results[number]
        begin, end = pieces[number][:2]
        where = f"{path} bytes {begin}-{end}"
        if isinstance(outcome, Exception):  # a lost task: its piece failed, the others stand
            _remove(_part(out_dir, number))
            outcome = Summary(failures=[Failure.of(where, outcome)])
        elif outcome.outputs and not os.path.exists(outcome.outputs[0]):  # records written are records on the disk
            outcome = Summary(bytes=outcome.bytes, failures=[Failure(where, _lost(outcome.outputs[0]))])
        summary.add(outcome)
    summary.failures += _vanished(out_dir)
    summary.files = 0 if summary.failures else 1
    summary.seconds = time.perf_counter() - started
    return summary


class _ArgumentParser(argparse.ArgumentParser):
    def error(self, message):  # one line, not the usage
        self.exit(2, f"{self.prog}: error: {message} (--help lists the options)\n")


def _at_least_one(text: str) -> int:
    if not text.isdigit() or int(text) < 1:
        raise argparse.ArgumentTypeError(f"needs a whole number of at least 1, not {text!r}")
    return int(text)


def _seconds(text: str) -> float:
    try:
        if float(text) > 0:
            return float(text)
    except ValueError:
        pass
    raise argparse.ArgumentTypeError(f"needs a number of seconds above 0, not {text!r}")


def main(argv: Optional[Sequence[str]] = None) -> int:
    """The command python3 -m wfxml.dask: exit status 0, 1 when any file failed, 2 when the run could not be made."""
    parser = _ArgumentParser(
        prog="python3 -m wfxml.dask",
        description="Converts XML files to JSON Lines (one part-NNNNN.jsonl per batch) on a Dask cluster.",
    )
    # Required options are checked after the parse, so that a misspelt option
    # (--schma) is named rather than the option it failed to give.
    chosen = parser.add_mutually_exclusive_group()
    chosen.add_argument("--schema", action="append", metavar="FILE", help=".xsd (repeatable) or message-set .json")
    chosen.add_argument("--dict", metavar="FILE", help="a compiled dictionary")
    parser.add_argument("--out-dir", metavar="DIR", help="a new or empty folder (or one to resume)")
    parser.add_argument("--resume", action="store_true", help="finish the run that wrote DIR")
    parser.add_argument("--report", metavar="FILE", help="one JSON line per file: file, output, status, error")
    parser.add_argument("--scheduler", metavar="ADDRESS", help="a running cluster's scheduler (default: a local one)")
    parser.add_argument("--workers", type=_at_least_one, metavar="N", help="local worker processes (default: the cores)")
    parser.add_argument("--batch-size", type=_at_least_one, metavar="N", help="files per task and part")
    parser.add_argument("--timeout", type=_seconds, default=60.0, metavar="S",
                        help="seconds to wait for the workers or the scheduler (default: 60)")
    parser.add_argument("--validate", action="store_true", help="check each file against the schemas first")
    parser.add_argument("--entity-expansion-limit", type=_at_least_one, metavar="N",
                        help="entity references a file (or a piece of --records) may expand (default: 1000)")
    parser.add_argument("--records", metavar="NAME",
                        help="one large FILE: a JSON line per NAME element, its pieces shared among the workers")
    parser.add_argument("paths", nargs="+", metavar="PATH", help="XML files and folders")
    args = parser.parse_args(argv)
    if args.schema is None and args.dict is None:
        parser.error("one of the arguments --schema --dict is required")
    if args.out_dir is None:
        parser.error("the following arguments are required: --out-dir")
    if args.records == "":
        parser.error("--records needs an element name or path")
    if args.records is not None and (len(args.paths) > 1 or args.report or args.validate or args.batch_size):
        parser.error("--records takes one FILE, without --report, --validate or --batch-size")
    # The cluster's own log would bury the one line that says what went wrong.
    logging.getLogger("distributed").setLevel(logging.ERROR)
    if args.workers is not None and args.scheduler is not None:
        parser.error("--workers is for the local cluster, not with --scheduler")

    try:
        if args.records is not None:
            summary = convert_records(args.paths[0], args.schema or args.dict, args.out_dir, args.records,
                                      client=args.scheduler, workers=args.workers, timeout=args.timeout,
                                      resume=args.resume, entity_expansion_limit=args.entity_expansion_limit)
        else:
            summary = convert(
                args.paths,
                args.schema or args.dict,
                args.out_dir,
                client=args.scheduler,
                batch_size=args.batch_size,
                workers=args.workers,
                resume=args.resume,
                report=args.report,
                timeout=args.timeout,
                validate=args.validate,
                entity_expansion_limit=args.entity_expansion_limit,
            )
    except (wfxml.Error, RunError) as error:
        print(f"{parser.prog}: error: {error}", file=sys.stderr)
        return 2
    except OSError as error:  # "FILE: reason", not Python's "[Errno N] reason: 'FILE'"
        where = f"{os.fsdecode(error.filename)}: " if error.filename is not None else ""
        print(f"{parser.prog}: error: {where}{error.strerror or error}", file=sys.stderr)
        return 2
    for failure in summary.failures:
        print(f"failed: {failure}", file=sys.stderr)
    if args.records is not None and summary.ok and summary.records == 0 and not summary.skipped:
        # A name mistyped gives no record: say so, though a file may have none.
        print(f"{parser.prog}: {args.paths[0]}: no record: no element matches '{args.records}'", file=sys.stderr)
    print(summary.headline())
    return 0 if summary.ok else 1


if __name__ == "__main__":
    # Run as the real module, not as __main__: tasks must name
    # wfxml.dask.convert_batch for the workers to find it.
    from wfxml.dask import main as _main

    sys.exit(_main())

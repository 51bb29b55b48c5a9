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

The message set is compiled or loaded here once and travels to the workers
as its compiled dictionary; each worker process loads it once and keeps it
for every task after. Paths are made absolute here, so a cluster on other
machines needs them under the same names (a shared file system).

A script that starts a LocalCluster (client=None) must guard its entry point
with `if __name__ == "__main__":`, as worker processes import the main module.
"""

import argparse
import dataclasses
import hashlib
import json
import math
import os
import sys
import threading
import time
from typing import Iterable, List, Optional, Sequence, Union

import wfxml

__all__ = ["MessageSetSource", "Failure", "Summary", "collect_files", "convert", "main"]


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


def _open_message_set(paths) -> "wfxml.MessageSet":
    if isinstance(paths, (str, bytes, os.PathLike)):
        paths = [paths]
    paths = [os.fsdecode(path) for path in paths]
    if len(paths) == 1 and paths[0].endswith(".dict"):
        return wfxml.MessageSet.load(paths[0])
    return wfxml.MessageSet.compile(paths)


_loaded = {}
_loading = threading.Lock()


def _message_set(source: MessageSetSource) -> "wfxml.MessageSet":
    """The worker process's MessageSet for source, loaded on first use."""
    message_set = _loaded.get(source.key)
    if message_set is None:
        with _loading:
            message_set = _loaded.get(source.key)
            if message_set is None:
                message_set = wfxml._load_dictionary_bytes(source.dictionary)
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

    @property
    def ok(self) -> bool:
        return not self.failures

    def add(self, other: "Summary") -> None:
        self.files += other.files
        self.bytes += other.bytes
        self.failures.extend(other.failures)
        self.outputs.extend(other.outputs)

    def __str__(self) -> str:
        rate = self.bytes / 1e6 / self.seconds if self.seconds > 0 else 0.0
        lines = [
            f"converted {_count(self.files, 'file')} ({self.bytes / 1e6:.1f} MB) in {self.seconds:.1f} s "
            f"({rate:.1f} MB/s) into {_count(len(self.outputs), 'part')}; {len(self.failures)} failed"
        ]
        lines += [f"failed: {failure}" for failure in self.failures]
        return "\n".join(lines)


def _count(number: int, noun: str) -> str:
    return f"{number} {noun}" if number == 1 else f"{number} {noun}s"


def convert_batch(source: MessageSetSource, files: Sequence[str], output: str) -> Summary:
    """Converts files into one JSON Lines file (a task's work); failures are collected, not raised."""
    message_set = _message_set(source)
    summary = Summary(outputs=[output])
    # Written beside and renamed at the end: a task run again after a lost
    # worker replaces the part whole.
    pending = output + ".partial"
    with open(pending, "w", encoding="utf-8") as out:
        for file in files:
            try:
                with open(file, "rb") as document:
                    xml = document.read()
                data = message_set.to_json(xml)
            except Exception as error:  # every failure is the file's own; the batch goes on
                summary.failures.append(Failure.of(file, error))
                continue
            out.write('{"file":' + json.dumps(file) + ',"data":' + data + "}\n")
            summary.files += 1
            summary.bytes += len(xml)
    os.replace(pending, output)
    return summary


def collect_files(paths: Iterable[Union[str, os.PathLike]], suffix: str = ".xml") -> List[str]:
    """The files named and those under the folders named (ending in suffix), absolute, folders sorted."""
    files = []
    for path in paths:
        path = os.path.abspath(os.fsdecode(path))
        if not os.path.isdir(path):
            files.append(path)
            continue
        found = []
        for folder, _, names in os.walk(path):
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


def convert(
    paths: Iterable[Union[str, os.PathLike]],
    message_set,
    out_dir: Union[str, os.PathLike],
    client=None,
    *,
    batch_size: Optional[int] = None,
    workers: Optional[int] = None,
) -> Summary:
    """Converts XML files to JSON Lines in out_dir, one part-NNNNN.jsonl per batch.

    paths: files and folders (their *.xml files, recursively).
    message_set: a wfxml.MessageSet, a dictionary file (.dict), or the paths of
        .xsd files or of one message-set .json to compile.
    client: None for a LocalCluster of worker processes (workers of them, one
        thread each; default: the cores), a scheduler address
        ("tcp://host:8786"), or a distributed.Client to use.
    batch_size: files per task and part (default: about eight batches a worker,
        of about equal bytes).

    Parts of an earlier run with more batches are not removed: use a new or
    empty out_dir. Raises wfxml.Error when the message set cannot be made;
    files that fail are listed in the summary's failures.
    """
    import distributed

    started = time.perf_counter()
    source = MessageSetSource.of(message_set)
    files = collect_files(paths)
    out_dir = os.path.abspath(os.fsdecode(out_dir))
    os.makedirs(out_dir, exist_ok=True)

    cluster = None
    own_client = None
    if client is None:
        cluster = distributed.LocalCluster(
            n_workers=workers or os.cpu_count() or 1, threads_per_worker=1, processes=True, dashboard_address=None
        )
        client = own_client = distributed.Client(cluster)
    elif isinstance(client, str):
        client = own_client = distributed.Client(client)
    try:
        worker_count = max(1, len(client.scheduler_info().get("workers", {})))
        batches = _batches(files, batch_size, worker_count)
        shipped = client.scatter(source, broadcast=True)
        futures = {}
        for number, batch in enumerate(batches):
            output = os.path.join(out_dir, f"part-{number:05d}.jsonl")
            future = client.submit(convert_batch, shipped, batch, output, pure=False)
            futures[future] = batch
        summary = Summary()
        for future in distributed.as_completed(futures):
            try:
                summary.add(future.result())
            except Exception as error:  # a lost task: its files failed, the others go on
                summary.failures += [Failure.of(file, error) for file in futures[future]]
        summary.outputs.sort()
        order = {file: index for index, file in enumerate(files)}
        summary.failures.sort(key=lambda failure: order.get(failure.file, -1))
    finally:
        if own_client is not None:
            own_client.close()
        if cluster is not None:
            cluster.close()
    summary.seconds = time.perf_counter() - started
    return summary


def main(argv: Optional[Sequence[str]] = None) -> int:
    """The command python3 -m wfxml.dask; exit status 1 when any file failed."""
    parser = argparse.ArgumentParser(
        prog="python3 -m wfxml.dask",
        description="Converts XML files to JSON Lines (one part-NNNNN.jsonl per batch) on a Dask cluster.",
    )
    chosen = parser.add_mutually_exclusive_group(required=True)
    chosen.add_argument("--schema", action="append", metavar="FILE", help=".xsd (repeatable) or message-set .json")
    chosen.add_argument("--dict", metavar="FILE", help="a compiled dictionary")
    parser.add_argument("--out-dir", required=True, metavar="DIR")
    parser.add_argument("--scheduler", metavar="ADDRESS", help="a running cluster's scheduler (default: a local one)")
    parser.add_argument("--workers", type=int, metavar="N", help="local worker processes (default: the cores)")
    parser.add_argument("--batch-size", type=int, metavar="N", help="files per task and part")
    parser.add_argument("paths", nargs="+", metavar="PATH", help="XML files and folders")
    args = parser.parse_args(argv)

    try:
        summary = convert(
            args.paths,
            args.schema or args.dict,
            args.out_dir,
            client=args.scheduler,
            batch_size=args.batch_size,
            workers=args.workers,
        )
    except wfxml.Error as error:
        print(f"error: {error}", file=sys.stderr)
        return 2
    print(summary)
    return 0 if summary.ok else 1


if __name__ == "__main__":
    # Run as the real module, not as __main__: tasks must name
    # wfxml.dask.convert_batch for the workers to find it.
    from wfxml.dask import main as _main

    sys.exit(_main())

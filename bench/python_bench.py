#!/usr/bin/python3
"""Python benchmark, run by hand: wfxml's to_dict and to_json next to lxml's
untyped fromstring, xmltodict's untyped dicts and xmlschema's to_dict on the
FpML confirmation corpus, and the Dask converter with one and two workers.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py [--corpus DIR]

Every figure comes from one run on the same files held in memory; schema
loading is timed apart from conversion. The in-process converters run in
turns, one pass over the corpus each per round, timed in CPU time; a ratio is
the median (quartiles in brackets) of the ratios within the rounds. MB are
10^6 bytes of XML input.
"""

import argparse
import datetime
import io
import os
import platform
import tempfile
import time

import wfxml
from sharedcorpora import shared_corpora
from turns import cpu_time, quartiles, ratio_quartiles, seconds_in_turns

DEFAULT_CORPUS = os.path.join(shared_corpora(), "fpml-5.11-confirmation")


def timed(action):
    started = time.perf_counter()
    result = action()
    return time.perf_counter() - started, result


def machine():
    model = next(
        (line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")), "?"
    )
    return f"{model}, {os.cpu_count()} cores, Python {platform.python_version()}, wfxml {wfxml.__version__}"


def load_average():
    return "/".join(f"{value:.2f}" for value in os.getloadavg())


def optional(module):
    try:
        return __import__(module)
    except ImportError:
        print(f"# {module} is not installed: its row is skipped")
        return None


def bench_xmlschema(schema, documents, megabytes):
    import xmlschema

    load_seconds, xsd = timed(lambda: xmlschema.XMLSchema(schema))
    seconds = cpu_time(lambda: [xsd.to_dict(io.BytesIO(xml), validation="lax") for xml in documents])
    return xmlschema.__version__, load_seconds, megabytes / seconds


def bench_dask(message_set, files, megabytes, workers):
    import distributed

    import wfxml.dask

    cluster = distributed.LocalCluster(
        n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None
    )
    try:
        with distributed.Client(cluster) as client, tempfile.TemporaryDirectory() as out:
            # A first small run has every worker load the message set, which is
            # not part of the throughput.
            warm, run = os.path.join(out, "warm"), os.path.join(out, "run")  # each run wants a folder of its own
            wfxml.dask.convert(files[: workers * 4], message_set, warm, client=client, batch_size=1)
            seconds, summary = timed(lambda: wfxml.dask.convert(files, message_set, run, client=client))
            assert summary.ok, summary
            return megabytes / seconds, len(summary.outputs)
    finally:
        cluster.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", default=DEFAULT_CORPUS, help="the FpML confirmation corpus folder")
    parser.add_argument("--rounds", type=int, default=11, help="passes of each converter over the corpus, in turns")
    parser.add_argument("--dask-repeat", type=int, default=60, help="copies of the file list the Dask runs convert")
    parser.add_argument("--skip-xmlschema", action="store_true")
    parser.add_argument("--skip-dask", action="store_true")
    args = parser.parse_args()

    schema = os.path.join(args.corpus, "schemas", "fpml-main-5-11.xsd")
    files = sorted(
        os.path.join(folder, name)
        for folder, _, names in os.walk(os.path.join(args.corpus, "examples"))
        for name in names
        if name.endswith(".xml")
    )
    documents = [open(file, "rb").read() for file in files]
    megabytes = sum(map(len, documents)) / 1e6

    print(f"# {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC; {machine()}")
    print(f"# corpus: {len(files)} files, {megabytes:.2f} MB; load average before: {load_average()}")
    compile_seconds, message_set = timed(lambda: wfxml.MessageSet.compile([schema]))
    print(f"wfxml      schema compile {compile_seconds:6.2f} s")
    converters = {"to_dict": message_set.to_dict, "to_json": message_set.to_json}
    etree = getattr(optional("lxml.etree"), "etree", None)
    if etree:
        converters["lxml fromstring"] = etree.fromstring
    xmltodict = optional("xmltodict")
    if xmltodict:
        converters["xmltodict parse"] = xmltodict.parse
    seconds = seconds_in_turns(
        {name: (lambda convert=convert: [convert(xml) for xml in documents]) for name, convert in converters.items()},
        args.rounds,
    )
    for name, runs in seconds.items():
        low, median, high = quartiles(runs)
        print(f"{name:18} {megabytes / median:7.2f} MB/s median round ({megabytes / high:.2f}-{megabytes / low:.2f})")
    to_dict_rate = megabytes / quartiles(seconds["to_dict"])[1]
    if etree:
        # The rate ratio is the inverse of the time ratio.
        low, median, high = ratio_quartiles(seconds, "lxml fromstring", "to_dict")
        print(f"to_dict / lxml fromstring rate: {median:.2f} ({low:.2f}-{high:.2f})  (target >= 0.5)")
    if not args.skip_xmlschema and optional("xmlschema"):
        version, load_seconds, rate = bench_xmlschema(schema, documents, megabytes)
        print(f"xmlschema  schema load    {load_seconds:6.2f} s   to_dict {rate:7.2f} MB/s (lax, {version})")
        print(f"to_dict speed-up: {to_dict_rate / rate:.0f}x (median round of ours, one pass of theirs)")

    if args.skip_dask:
        return
    dask_files = files * args.dask_repeat
    dask_megabytes = megabytes * args.dask_repeat
    dask_rates = {}
    for workers in (1, 2):
        dask_rates[workers], parts = bench_dask(message_set, dask_files, dask_megabytes, workers)
        print(f"dask       {workers} worker(s) {dask_rates[workers]:7.2f} MB/s ({len(dask_files)} files, {parts} parts)")
    print(f"dask speed-up with two workers: {dask_rates[2] / dask_rates[1]:.2f}x")
    print(f"# load average after: {load_average()}")


if __name__ == "__main__":
    main()

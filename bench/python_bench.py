#!/usr/bin/python3
"""Python benchmark, run by hand: wfxml's to_dict and to_json next to lxml's
untyped fromstring, xmltodict's untyped dicts and xmlschema's to_dict on the
FpML confirmation corpus, and the Dask converter with one and two workers.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py [--corpus DIR]

Every figure comes from one run on the same files held in memory; schema
loading is timed apart from conversion. MB are 10^6 bytes of XML input.
"""

import argparse
import datetime
import io
import os
import platform
import statistics
import tempfile
import time

import wfxml
from sharedcorpora import shared_corpora



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


def best_and_median(converters, documents, megabytes, rounds):
    """Rates of each converter; the rounds take turns, so that a change in the
    machine's load falls on all of them alike."""
    runs = {name: [] for name in converters}
    for _ in range(rounds):
        for name, convert in converters.items():
            seconds, _ = timed(lambda: [convert(xml) for xml in documents])
            runs[name].append(megabytes / seconds)
    return {name: (max(rates), statistics.median(rates)) for name, rates in runs.items()}


def optional(module):
    try:
        return __import__(module)
    except ImportError:
        print(f"# {module} is not installed: its row is skipped")
        return None


def bench_xmlschema(schema, documents, megabytes):
    import xmlschema

    load_seconds, xsd = timed(lambda: xmlschema.XMLSchema(schema))
    seconds, _ = timed(lambda: [xsd.to_dict(io.BytesIO(xml), validation="lax") for xml in documents])
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
    parser.add_argument("--rounds", type=int, default=5, help="passes of each converter over the corpus (best and median)")
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
    rates = best_and_median(converters, documents, megabytes, args.rounds)
    for name, (best, median) in rates.items():
        print(f"{name:18} {best:7.2f} MB/s best, {median:7.2f} median")
    best = rates["to_dict"][0]
    if etree:
        print(f"to_dict / lxml fromstring: {best / rates['lxml fromstring'][0]:.2f} best")
    if not args.skip_xmlschema and optional("xmlschema"):
        version, load_seconds, rate = bench_xmlschema(schema, documents, megabytes)
        print(f"xmlschema  schema load    {load_seconds:6.2f} s   to_dict {rate:7.2f} MB/s (lax, {version})")
        print(f"to_dict speed-up: {best / rate:.0f}x best, {rates['to_dict'][1] / rate:.0f}x median")

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

#!/usr/bin/python3
"""Validation benchmark, run by hand: wfxml's MessageSet.validate next to
xmlschema's is_valid (and libxml2 through lxml when it is installed), and
to_dict(validate=True) next to to_dict, on the FpML confirmation corpus and
the UBL invoices.

    PYTHONPATH=build/python /usr/bin/python3 bench/validation_bench.py [--corpora DIR] [--rounds N]

Every figure of a corpus comes from one run on the same documents held in
memory, the schema loaded once beforehand; the ratios compare figures of that
run. MB are 10^6 bytes of XML input; each wfxml figure is the best of the rounds.
"""

import argparse
import datetime
import io
import os
import platform
import time

import wfxml
from sharedcorpora import shared_corpora

DEFAULT_CORPORA = shared_corpora()
CORPORA = [
    ("fpml", "fpml-5.11-confirmation/schemas/fpml-main-5-11.xsd", "fpml-5.11-confirmation/examples", ""),
    ("ubl-invoices", "ubl-2.1/schemas/maindoc/UBL-Invoice-2.1.xsd", "ubl-2.1/samples", "UBL-Invoice-2."),
]


def timed(action):
    started = time.perf_counter()
    result = action()
    return time.perf_counter() - started, result


def best_rate(action, megabytes, rounds):
    return max(megabytes / timed(action)[0] for _ in range(rounds))


def wall_and_cpu(action):
    """The wall time and the process CPU time (all threads) of action."""
    cpu_started = time.process_time()
    wall = timed(action)[0]
    return wall, time.process_time() - cpu_started


def documents_of(folder, name_filter):
    paths = []
    for parent, _, names in os.walk(folder):
        paths += [os.path.join(parent, n) for n in names if n.endswith(".xml") and name_filter in n]
    return [open(path, "rb").read() for path in sorted(paths)]


def bench_corpus(label, schema, documents, rounds):
    megabytes = sum(map(len, documents)) / 1e6
    message_set = wfxml.MessageSet.compile([schema])
    invalid = sum(1 for xml in documents if message_set.validate(xml))  # also builds the grammar
    figures = {"validate": best_rate(lambda: [message_set.validate(xml) for xml in documents], megabytes, rounds)}

    def to_dict_all(validate):
        for xml in documents:
            try:
                message_set.to_dict(xml, validate=validate)
            except wfxml.Error:
                pass

    # In turns, so that the machine's load falls on both alike.
    times = {False: [], True: []}
    for _ in range(rounds):
        for validate in (False, True):
            times[validate].append(wall_and_cpu(lambda: to_dict_all(validate)))
    (plain_wall, plain_cpu), (checked_wall, checked_cpu) = (tuple(map(min, zip(*times[v]))) for v in (False, True))
    figures["to_dict"] = megabytes / plain_wall
    figures["to_dict(validate=True)"] = megabytes / checked_wall

    import xmlschema

    xsd = xmlschema.XMLSchema(schema)
    figures["xmlschema is_valid"] = megabytes / timed(lambda: [xsd.is_valid(io.BytesIO(xml)) for xml in documents])[0]
    try:
        from lxml import etree

        lxml_schema = etree.XMLSchema(etree.parse(schema))
        parser = etree.XMLParser(no_network=True)
        figures["libxml2 (lxml) parse+validate"] = best_rate(
            lambda: [lxml_schema.validate(etree.fromstring(xml, parser)) for xml in documents], megabytes, rounds
        )
    except ImportError:
        pass

    print(f"\n{label}: {len(documents)} documents, {megabytes:.2f} MB, {invalid} invalid")
    for name, rate in figures.items():
        print(f"  {name:32s} {rate:8.1f} MB/s")
    ours = figures["validate"]
    print(f"  validate / xmlschema is_valid     {ours / figures['xmlschema is_valid']:8.1f}x  (target >= 50x)")
    if "libxml2 (lxml) parse+validate" in figures:
        print(f"  validate / libxml2                {ours / figures['libxml2 (lxml) parse+validate']:8.2f}x  (target >= 1)")
    print(f"  to_dict(validate=True) / to_dict: wall time {checked_wall / plain_wall:5.2f} (target <= 2), "
          f"CPU time {checked_cpu / plain_cpu:5.2f} (all threads; {plain_cpu * 1e3:.0f} and {checked_cpu * 1e3:.0f} ms)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpora", default=DEFAULT_CORPORA)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    model = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    print(f"{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC; {model}, {os.cpu_count()} cores, "
          f"Python {platform.python_version()}, wfxml {wfxml.__version__}; load average "
          + "/".join(f"{v:.2f}" for v in os.getloadavg()))
    for label, schema, folder, name_filter in CORPORA:
        folder = os.path.join(args.corpora, folder)
        if not os.path.isdir(folder):
            print(f"{label}: not present ({folder})")
            continue
        bench_corpus(label, os.path.join(args.corpora, schema), documents_of(folder, name_filter), args.rounds)


if __name__ == "__main__":
    main()

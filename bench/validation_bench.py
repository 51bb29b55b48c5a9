#!/usr/bin/python3
"""Validation benchmark, run by hand: wfxml's MessageSet.validate next to
xmlschema's is_valid (and libxml2 through lxml when it is installed), and
to_dict(validate=True) next to to_dict, on the FpML confirmation corpus and
the UBL invoices.

    PYTHONPATH=build/python /usr/bin/python3 bench/validation_bench.py [--corpora DIR] [--rounds N]

Every figure of a corpus comes from one run on the same documents held in
memory, the schema loaded once beforehand. The contenders run in turns, one
pass each per round; a ratio is the median (quartiles in brackets) of the
ratios of CPU times within the rounds. MB are 10^6 bytes of XML input.
xmlschema, some fifty to a hundred times slower, is set against validate in
turns of their own over the whole corpus, in as many rounds as give it about
XMLSCHEMA_MB of input (at least three), so that no single slow pass decides
its ratio.
"""

import argparse
import datetime
import io
import os
import platform

import wfxml
from sharedcorpora import shared_corpora
from turns import quartiles, ratio_quartiles, seconds_in_turns

DEFAULT_CORPORA = shared_corpora()
XMLSCHEMA_MB = 1.5  # about 2 s of xmlschema
CORPORA = [
    ("fpml", "fpml-5.11-confirmation/schemas/fpml-main-5-11.xsd", "fpml-5.11-confirmation/examples", ""),
    ("ubl-invoices", "ubl-2.1/schemas/maindoc/UBL-Invoice-2.1.xsd", "ubl-2.1/samples", "UBL-Invoice-2."),
]


def documents_of(folder, name_filter):
    paths = []
    for parent, _, names in os.walk(folder):
        paths += [os.path.join(parent, n) for n in names if n.endswith(".xml") and name_filter in n]
    return [open(path, "rb").read() for path in sorted(paths)]


def bench_corpus(label, schema, documents, rounds):
    megabytes = sum(map(len, documents)) / 1e6
    message_set = wfxml.MessageSet.compile([schema])
    invalid = sum(1 for xml in documents if message_set.validate(xml))  # also builds the grammar

    def to_dict_all(validate):
        for xml in documents:
            try:
                message_set.to_dict(xml, validate=validate)
            except wfxml.Error:
                pass

    contenders = {
        "validate": lambda: [message_set.validate(xml) for xml in documents],
        "to_dict": lambda: to_dict_all(False),
        "to_dict(validate=True)": lambda: to_dict_all(True),
    }
    try:
        from lxml import etree

        lxml_schema = etree.XMLSchema(etree.parse(schema))
        parser = etree.XMLParser(no_network=True)
        contenders["libxml2 (lxml) parse+validate"] = lambda: [
            lxml_schema.validate(etree.fromstring(xml, parser)) for xml in documents
        ]
    except ImportError:
        pass

    names = list(contenders)
    seconds = seconds_in_turns(contenders, rounds)

    import xmlschema

    xsd = xmlschema.XMLSchema(schema)
    xmlschema_rounds = max(3, round(XMLSCHEMA_MB / megabytes))
    xmlschema_seconds = seconds_in_turns({
        "validate": lambda: [message_set.validate(xml) for xml in documents],
        "xmlschema": lambda: [xsd.is_valid(io.BytesIO(xml)) for xml in documents],
    }, xmlschema_rounds)

    print(f"\n{label}: {len(documents)} documents, {megabytes:.2f} MB, {invalid} invalid; "
          f"CPU time, {rounds} rounds")
    for name in names:
        print(f"  {name:32s} {megabytes / quartiles(seconds[name])[1]:8.1f} MB/s (median round)")
    print(f"  {'xmlschema is_valid':32s} {megabytes / quartiles(xmlschema_seconds['xmlschema'])[1]:8.1f} MB/s "
          f"(median of {xmlschema_rounds} rounds of its own)")

    def ratio(numerator, denominator, target):
        low, median, high = ratio_quartiles(seconds, numerator, denominator)
        print(f"  {numerator} / {denominator} time: {median:5.2f} ({low:.2f}-{high:.2f})  (target {target})")

    low, median, high = ratio_quartiles(xmlschema_seconds, "xmlschema", "validate")
    print(f"  validate / xmlschema is_valid rate: {median:5.1f}x ({low:.1f}-{high:.1f}) in its rounds  (target >= 50x)")
    if "libxml2 (lxml) parse+validate" in seconds:
        ratio("validate", "libxml2 (lxml) parse+validate", "<= 1")
    ratio("to_dict(validate=True)", "to_dict", "<= 2")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpora", default=DEFAULT_CORPORA)
    parser.add_argument("--rounds", type=int, default=21)
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

#!/usr/bin/python3
"""Records benchmark, run by hand: a bank statement of about 1 GB converted
record by record (wfhost convert --records Ntry) against one of 10,000 entries (33 MB) converted
whole in memory (wfhost convert), CPU time and peak resident size of each.

    nice python3 bench/records_bench.py [--wfhost build/bin/wfhost] [--size-mb 1024]

The statements are generated in a temporary folder (under /tmp) from the
shared camt.053 sample, its one entry repeated, and deleted at the end. MB
are 10^6 bytes of XML input. Each conversion's CPU time less that of a
statement with one entry (the dictionary's compile and the process) gives
the rate.
"""

import argparse
import datetime
import os
import platform
import subprocess
import tempfile

from sharedcorpora import shared_corpora

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE = "messages/camt053.v2.minimal.xml"
SCHEMA = "schemas/camt.053.001.02.xsd"


def write_statement(path, sample, entries):
    """The sample with its one <Ntry> element repeated entries times."""
    start, end = sample.index(b"<Ntry>"), sample.index(b"</Ntry>") + len(b"</Ntry>")
    entry = sample[start:end] + b"\n"
    with open(path, "wb") as out:
        out.write(sample[:start])
        block = entry * 1000
        for _ in range(entries // 1000):
            out.write(block)
        out.write(entry * (entries % 1000))
        out.write(sample[end:])
    return os.path.getsize(path)


def run(command):
    """CPU seconds and peak resident size (MB) of command, its output dropped."""
    with open(os.devnull, "wb") as null:
        process = subprocess.Popen(command, stdout=null)
        _, status, usage = os.wait4(process.pid, 0)
    if status != 0:
        raise SystemExit(f"{' '.join(command)}: exit status {status}")
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--wfhost", default=os.path.join(HERE, "..", "build", "bin", "wfhost"))
    parser.add_argument("--corpus", default=shared_corpora())
    parser.add_argument("--size-mb", type=int, default=1024)
    args = parser.parse_args()
    camt = os.path.join(args.corpus, "iso20022-camt")
    with open(os.path.join(camt, SAMPLE), "rb") as file:
        sample = file.read()
    entry_size = sample.index(b"</Ntry>") + len(b"</Ntry>") + 1 - sample.index(b"<Ntry>")
    schema = os.path.join(camt, SCHEMA)
    print(f"{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC, {platform.node()}, "
          f"{os.cpu_count()} cores, load average {os.getloadavg()[0]:.2f}")
    with tempfile.TemporaryDirectory(prefix="records-bench-") as folder:
        dictionary = os.path.join(folder, "camt053.dict")
        subprocess.run([args.wfhost, "compile", schema, "-o", dictionary], check=True,
                       stdout=subprocess.DEVNULL)
        rows = []
        for label, entries, records in (
            ("one entry, whole", 1, False),
            ("10,000 entries, whole in memory", 10_000, False),
            ("one entry, --records Ntry", 1, True),
            (f"{args.size_mb} MB, --records Ntry", args.size_mb * 10**6 // entry_size, True),
        ):
            path = os.path.join(folder, "statement.xml")
            size = write_statement(path, sample, entries)
            command = [args.wfhost, "convert", "--dict", dictionary] + (["--records", "Ntry"] if records else []) + [path]
            seconds, peak = run(command)
            os.remove(path)
            rows.append((label, size, seconds, peak))
    fixed = {False: rows[0][2], True: rows[2][2]}
    print("| what | MB | CPU s | MB/s (fixed cost off) | peak RSS MB |")
    print("|---|---|---|---|---|")
    for index, (label, size, seconds, peak) in enumerate(rows):
        base = fixed[index >= 2]
        rate = f"{size / 1e6 / (seconds - base):.1f}" if index % 2 else "-"
        print(f"| {label} | {size / 1e6:.1f} | {seconds:.2f} | {rate} | {peak:.1f} |")
    whole = rows[1][1] / (rows[1][2] - fixed[False])
    streamed = rows[3][1] / (rows[3][2] - fixed[True])
    print(f"records rate / in-memory rate: {streamed / whole:.2f}")


if __name__ == "__main__":
    main()

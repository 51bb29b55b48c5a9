"""to_xml(to_dict(x)) over the shared corpora: the same data back, and documents the schema accepts.

CI converts a sample of each corpus (every SAMPLE_STEP-th document); set
WF_PYTHON_FULL_CORPORA=1 for every document.
"""

import os
import re

import pytest

import wfxml
from conftest import CORPORA, KNOWN_INVALID, validate

SAMPLE_STEP = 1 if os.environ.get("WF_PYTHON_FULL_CORPORA") == "1" else 8


def fpml_groups(root):
    return {root / "schemas" / "fpml-main-5-11.xsd": sorted((root / "examples").rglob("*.xml"))}


def camt_groups(root):
    # The schema is named after the version in the default namespace.
    groups = {}
    for document in sorted((root / "messages").glob("*.xml")):
        head = document.read_bytes()[:2000].decode("utf-8", "replace")
        version = re.search(r'xmlns="urn:iso:std:iso:20022:tech:xsd:([^"]+)"', head).group(1)
        groups.setdefault(root / "schemas" / f"{version}.xsd", []).append(document)
    return groups


def sepa_groups(root):
    return {root / "schemas" / f"{d.stem}.xsd": [d] for d in sorted((root / "messages").glob("*.xml"))}


def ubl_groups(root):
    groups = {}
    for document in sorted((root / "samples").glob("*.xml")):
        head = document.read_bytes()[:4000].decode("utf-8", "replace")
        name = re.search(r"<(?:\w+:)?(\w+)[\s>]", re.sub(r"<[?!][^>]*>", "", head)).group(1)
        groups.setdefault(root / "schemas" / "maindoc" / f"UBL-{name}-2.1.xsd", []).append(document)
    return groups


CORPUS_GROUPS = {
    "fpml-5.11-confirmation": fpml_groups,
    "iso20022-camt": camt_groups,
    "iso20022-sepa": sepa_groups,
    "ubl-2.1": ubl_groups,
}


def sample(groups):
    """Every SAMPLE_STEP-th document of the corpus, counted across its schemas."""
    pairs = [(schema, doc) for schema, docs in groups.items() for doc in docs if doc.name not in KNOWN_INVALID]
    chosen = {}
    for schema, document in pairs[::SAMPLE_STEP]:
        chosen.setdefault(schema, []).append(document)
    return chosen


@pytest.mark.parametrize("corpus", sorted(CORPUS_GROUPS))
def test_round_trip_gives_the_same_data_and_valid_documents(corpus, tmp_path):
    root = CORPORA / corpus
    if not root.is_dir():
        pytest.skip(f"corpus {corpus} is not at {root} (set WF_CORPORA_DIR)")
    complaints = []
    for schema, documents in sample(CORPUS_GROUPS[corpus](root)).items():
        message_set = wfxml.MessageSet.compile([schema])
        written = []
        for document in documents:
            data = message_set.to_dict(document.read_bytes())
            xml = message_set.to_xml(data)
            assert message_set.to_dict(xml) == data, document
            out = tmp_path / f"{len(written)}-{document.name}"
            out.write_bytes(xml)
            written.append(out)
        complaints += validate(schema, written)
    assert complaints == []

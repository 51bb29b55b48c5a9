"""to_xml(to_dict(x)) over the shared corpora: the same data back, and from to_json(x) the same bytes. (to_xml
feeds the typed-data builder that fromJson feeds; the API's TypedCorpus test checks what it writes against the
schemas.)

The documents' schemas, the originals their schemas refuse and the known
faults are those of tests/data/corpora.json, which the C++ corpus tests read
too. CI converts a sample of each corpus (every SAMPLE_STEP-th document);
set WF_PYTHON_FULL_CORPORA=1 for every document.
"""

import json
import os
import re

import pytest

import wfxml
from conftest import CORPORA, SOURCE

SAMPLE_STEP = 1 if os.environ.get("WF_PYTHON_FULL_CORPORA") == "1" else 8
FACTS = json.loads((SOURCE / "tests" / "data" / "corpora.json").read_text())


def pairing(corpus, document):
    """The schemas to compile for a document, as corpora.json pairs them."""
    folder = CORPORA / corpus["folder"]
    head = document.read_bytes()[:4000].decode("utf-8", "replace")
    root = re.search(r"<(?:[\w.-]+:)?([\w.-]+)[\s/>]", re.sub(r"<[?!][^>]*>", "", head)).group(1)
    namespace = re.search(r'xmlns="(?:[^"]*xsd:)?([^"]*)"', head)
    names = {"root": root, "namespace": namespace and namespace.group(1), "stem": document.stem}

    def schemas(pattern):
        path = folder / pattern.format(**names)
        return tuple(sorted(path.parent.glob(path.name))) if path.name == "*.xsd" else (path,)

    return schemas(corpus.get("byRoot", {}).get(root, corpus["schemas"]))


def accepted_documents(corpus, step=1):
    """(name, path, schema sources, message set) of every step-th document the corpus's schemas accept;
    each message set compiled once."""
    folder = CORPORA / corpus["folder"]
    if not folder.is_dir():
        pytest.skip(f"corpus {corpus['folder']} is not at {CORPORA} (set WF_CORPORA_DIR)")
    names = {path: str(path.relative_to(CORPORA)) for path in sorted((folder / corpus["documents"]).rglob("*.xml"))}
    message_sets = {}
    for path in [path for path, name in names.items() if name not in FACTS["invalidOriginals"]][::step]:
        sources = pairing(corpus, path)
        if sources not in message_sets:
            message_sets[sources] = wfxml.MessageSet.compile(sources)
        yield names[path], path, sources, message_sets[sources]


@pytest.mark.parametrize("corpus", FACTS["corpora"], ids=lambda corpus: corpus["label"])
def test_round_trip_gives_the_same_data(corpus):
    for name, document, _, message_set in accepted_documents(corpus, SAMPLE_STEP):
        data = message_set.to_dict(document.read_bytes())
        if name in FACTS["knownFaults"]["typed"]:
            with pytest.raises(wfxml.Error) as refused:
                message_set.to_xml(data)
            assert refused.value.key == "CP_JSON_MISMATCH"
            continue
        assert message_set.to_dict(message_set.to_xml(data)) == data, document


@pytest.mark.parametrize("corpus", FACTS["corpora"], ids=lambda corpus: corpus["label"])
def test_json_text_writes_the_bytes_its_data_writes(corpus):
    for name, document, _, message_set in accepted_documents(corpus):
        if name in FACTS["knownFaults"]["typed"]:
            continue
        xml = document.read_bytes()
        assert message_set.to_xml(message_set.to_json(xml)) == message_set.to_xml(message_set.to_dict(xml)), name

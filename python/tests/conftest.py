import json
import os
import pathlib

import pytest

import wfxml

HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE / "data"
SOURCE = pathlib.Path(os.environ.get("WF_SOURCE_DIR", HERE.parents[1]))
CORPORA = pathlib.Path(os.environ.get("WF_CORPORA_DIR", SOURCE.parent / "shared" / "corpora"))
FPML = CORPORA / "fpml-5.11-confirmation"


@pytest.fixture(scope="session")
def kinds():
    return wfxml.MessageSet.compile([DATA / "kinds.xsd"])


@pytest.fixture(scope="session")
def kinds_xml():
    return (DATA / "kinds.xml").read_bytes()


@pytest.fixture(scope="session")
def fpml():
    if not FPML.is_dir():
        pytest.skip(f"the FpML corpus is not at {FPML} (set WF_CORPORA_DIR)")
    return wfxml.MessageSet.compile([FPML / "schemas" / "fpml-main-5-11.xsd"])


def fpml_files():
    return sorted((FPML / "examples").rglob("*.xml"))


def accepted_fpml_files():
    """The FpML documents but those their schemas refuse as published (tests/data/corpora.json): written
    back, those are refused."""
    refused = json.loads((SOURCE / "tests" / "data" / "corpora.json").read_text())["invalidOriginals"]
    return [path for path in fpml_files() if str(path.relative_to(CORPORA)) not in refused]

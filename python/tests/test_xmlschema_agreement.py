"""to_dict agrees with an independent decoder, xmlschema, on every document of the shared corpora.

xmlschema decodes each document with a converter that gives its data our
mapping's shape (docs/typed-json.md, "Next to the anchors users know"
lists the conventions): arrays by the schema, local names as keys, mixed
content in "$". The conventions in which the two differ on purpose are
normalised below, each named where it is done; any other difference fails,
listed with its path. Documents known to differ are listed in
tests/data/corpora.json (knownFaults.xmlschema).
"""

import base64
import collections
import decimal
import math
import re

import pytest

from test_corpora import FACTS, accepted_documents

xmlschema = pytest.importorskip("xmlschema", reason="xmlschema is not installed (Debian package python3-xmlschema)")
from xmlschema.converters import XMLSchemaConverter  # noqa: E402
from xmlschema.validators import XsdAnyElement, XsdElement, XsdGroup  # noqa: E402

XSI = "{http://www.w3.org/2001/XMLSchema-instance}"
UNBOUNDED = math.inf


def local(name):
    return name.rsplit("}", 1)[-1]


class Skipped:
    """Stands for content a processContents="skip" wildcard admits: xmlschema does not decode it."""


class Fixed:
    """Marks the attributes xmlschema fills in from a fixed declaration, also where the document has none."""


def most(particle):
    return UNBOUNDED if particle.max_occurs is None else particle.max_occurs


def occurrences(group, factor=1, branches=(), found=None):
    """Per element name of a content model: (most occurrences, choice branches) of each place it stands."""
    found = {} if found is None else found
    factor *= most(group)
    for index, particle in enumerate(group):
        here = branches + ((id(group), index),) if group.model == "choice" else branches
        if isinstance(particle, XsdGroup):
            occurrences(particle, factor, here, found)
        elif isinstance(particle, XsdElement):
            found.setdefault(particle.name, []).append((factor * most(particle), dict(here)))
    return found


def repeats(places):
    """A name is an array where one place may repeat or two places may both be filled."""
    if any(most > 1 for most, _ in places):
        return True
    return any(
        all(a[1].get(choice, branch) == branch for choice, branch in b[1].items())
        for i, a in enumerate(places)
        for b in places[i + 1 :]
    )


class OurShape(XMLSchemaConverter):
    """xmlschema's decoding in our mapping's shape, from the schema alone."""

    def __init__(self, *args, **kwargs):
        kwargs.update(cdata_prefix="#", text_key="$", attr_prefix="@")
        super().__init__(*args, **kwargs)
        self.models = {}

    def element_decode(self, data, xsd_element, xsd_type=None, level=0):
        xsd_type = xsd_type or xsd_element.type
        attributes = dict(data.attributes or ())
        nil = attributes.pop(XSI + "nil", None) in ("true", "1")
        xsi_type = attributes.pop(XSI + "type", None)
        out, fixed = {}, set()
        for name, value in attributes.items():
            if name.startswith(XSI):
                continue
            out["@" + local(name)] = value
            declaration = xsd_type.attributes.get(name) if hasattr(xsd_type, "attributes") else None
            if declaration is not None and declaration.fixed is not None:
                fixed.add("@" + local(name))
        if xsi_type is not None:
            out["@xsi:type"] = xsi_type.rsplit(":", 1)[-1]
        simple = xsd_type.is_simple() or xsd_type.has_simple_content()
        if self.undeclared(xsd_element):
            result = self.self_defining(out, data)
        elif nil:
            result = out or None
        elif simple:
            value = "" if data.text is None else data.text
            if out or xsi_type is not None:
                out["$"] = value
                result = out
            else:
                result = value
        elif xsd_type.mixed:
            content = data.content or ([(1, data.text, None)] if data.text else [])
            out["$"] = [item if isinstance(name, int) else {local(name): item} for name, item, _ in content]
            result = out
        else:
            self.add_elements(out, data.content or (), xsd_type)
            result = out
        if isinstance(result, dict):
            result[Skipped] = self.skips(xsd_type)
            result[Fixed] = fixed
        return {local(data.tag): result} if level == 0 else result

    @staticmethod
    def undeclared(xsd_element):
        return not isinstance(xsd_element.parent, XsdGroup) and xsd_element.name not in xsd_element.maps.elements

    @staticmethod
    def self_defining(out, data):
        """An element no schema declares, as ours maps it: text as strings, a repeated name an array, text
        beside elements mixed content, an element without content ""."""
        content = data.content or []
        texts = [item for name, item, _ in content if isinstance(name, int)]
        elements = [(local(name), item) for name, item, _ in content if not isinstance(name, int)]
        if texts and elements:
            out["$"] = [item if isinstance(name, int) else {local(name): item} for name, item, _ in content]
            return out
        if not elements:
            text = "".join(texts) or data.text or ""
            if not out:
                return text
            if text:
                out["$"] = text
            return out
        counts = collections.Counter(name for name, _ in elements)
        for name, item in elements:
            if counts[name] > 1:
                out.setdefault(name, []).append(item)
            else:
                out[name] = item
        return out

    def add_elements(self, out, content, xsd_type):
        model = self.models.get(id(xsd_type))
        if model is None:
            model = self.models[id(xsd_type)] = occurrences(xsd_type.content)
        grouped = collections.defaultdict(list)
        declared = {}
        for name, item, child in content:
            if isinstance(name, int):
                continue
            grouped[local(name)].append(item)
            declared[local(name)] = self.place(child, model) if child is not None else None
        for key, items in grouped.items():
            places = declared[key]
            array = len(items) > 1 or (places is not None and repeats(places))
            out[key] = items if array else items[0]

    @staticmethod
    def place(child, model):
        """The places of an element in the model: its own, its substitution group head's, or none (a wildcard's)."""
        name = child.name
        while name is not None:
            if name in model:
                return model[name]
            head = child.maps.elements.get(name)
            name = head.substitution_group if head is not None else None
        return None

    @staticmethod
    def skips(xsd_type):
        content = getattr(xsd_type, "content", None)
        return isinstance(content, XsdGroup) and any(
            isinstance(p, XsdAnyElement) and p.process_contents == "skip" for p in content.iter_model()
        )


ZERO_OFFSET = re.compile(r"(T\d\d:\d\d:\d\d(?:\.\d+)?)[+-]00:00$")


def ours_normalised(value):
    """Our data with the conventions xmlschema does not share taken out."""
    if isinstance(value, dict):
        out = {}
        for key, item in value.items():
            # Keys: local names (ours adds a prefix where two would clash or a namespace is foreign).
            name = key if key.startswith("@xsi:") else re.sub(r"^(@?)(?:\{[^}]*\}|[\w.-]+:)", r"\1", key)
            if name in out:
                raise AssertionError(f"two keys of one object with the local name {name!r}")
            out[name] = ours_normalised(item)
            if name == "$" and isinstance(item, list):
                out[name] = mixed_text_stripped(out[name])
        return out
    if isinstance(value, list):
        return [ours_normalised(item) for item in value]
    return value


def mixed_text_stripped(content):
    """xmlschema strips each text run of mixed content, drops the empty ones and joins what it keeps across
    elements it does not decode."""
    texts = [item.strip() if isinstance(item, str) else item for item in content]
    return [item for item in texts if item != ""]


def grouped_by_name(ours, theirs):
    """Element-only content that keys would reorder is kept in order in "$" by ours; xmlschema groups it by
    name, each name's occurrences in order."""
    elements = collections.defaultdict(list)
    for item in ours["$"]:
        ((name, value),) = item.items()
        elements[name].append(value)
    out = {key: item for key, item in ours.items() if key != "$"}
    for name, values in elements.items():
        out[name] = values if len(values) > 1 or isinstance(theirs.get(name), list) else values[0]
    return out


def agree(ours, theirs, path, differences):
    if isinstance(theirs, dict) and isinstance(ours, dict):
        content = ours.get("$")
        if "$" not in theirs and isinstance(content, list) and all(isinstance(i, dict) and len(i) == 1 for i in content):
            ours = grouped_by_name(ours, theirs)
        skipped = theirs.get(Skipped, False)
        for key in ours.keys() | theirs.keys():
            if key in (Skipped, Fixed):
                continue
            if key not in theirs:
                if not skipped:
                    differences.append((f"{path}.{key}", "only in to_dict", ours[key], None))
            elif key not in ours:
                if key not in theirs.get(Fixed, ()):
                    differences.append((f"{path}.{key}", "only in xmlschema", None, theirs[key]))
            elif skipped and key == "$" and isinstance(ours[key], list):
                # Mixed content beside skipped elements: xmlschema keeps its text alone, joined.
                text = " ".join(item for item in ours[key] if isinstance(item, str))
                if text != " ".join(theirs[key]):
                    differences.append((f"{path}.$", "texts differ", text, theirs[key]))
            else:
                agree(ours[key], theirs[key], f"{path}.{key}", differences)
        return
    if isinstance(theirs, list) and isinstance(ours, list):
        if len(ours) != len(theirs):
            differences.append((path, "lengths differ", ours, theirs))
            return
        for index, (mine, their) in enumerate(zip(ours, theirs)):
            agree(mine, their, f"{path}[{index}]", differences)
        return
    if not same_value(ours, theirs):
        differences.append((path, "values differ", ours, theirs))


def same_value(ours, theirs):
    if isinstance(ours, bytes) and isinstance(theirs, str):
        # Binary: bytes here, the lexical text there.
        for decode in (base64.b64decode, bytes.fromhex):
            try:
                if decode(theirs) == ours:
                    return True
            except ValueError:
                pass
        return False
    if isinstance(theirs, float):
        # Doubles: "INF", "-INF", "NaN" are strings here.
        if isinstance(ours, str):
            return ours == {math.inf: "INF", -math.inf: "-INF"}.get(theirs, "NaN" if math.isnan(theirs) else None)
        return isinstance(ours, float) and ours == theirs
    if isinstance(theirs, str) and isinstance(ours, str):
        # Date-times: a zero offset is "Z" unless the message set keeps its spelling.
        return ours == ZERO_OFFSET.sub(r"\1Z", theirs)
    if isinstance(theirs, bool) or isinstance(ours, bool):
        return type(ours) is type(theirs) and ours == theirs
    if isinstance(theirs, (int, decimal.Decimal)) and isinstance(ours, (int, decimal.Decimal)):
        return ours == theirs
    return type(ours) is type(theirs) and ours == theirs


def oracle_schema(sources, folder):
    """One xmlschema schema for a document's sources: the source itself, or a schema importing them all."""
    if len(sources) == 1:
        return xmlschema.XMLSchema(str(sources[0]), validation="skip")
    imports = []
    for source in sources:
        namespace = re.search(r'targetNamespace="([^"]*)"', source.read_text(encoding="utf-8")).group(1)
        imports.append(f'<xs:import namespace="{namespace}" schemaLocation="{source.as_uri()}"/>')
    wrapper = folder / f"all-{len(list(folder.iterdir()))}.xsd"
    wrapper.write_text('<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">' + "".join(imports) + "</xs:schema>")
    return xmlschema.XMLSchema(str(wrapper), validation="skip")


@pytest.mark.parametrize("corpus", FACTS["corpora"], ids=lambda corpus: corpus["label"])
def test_to_dict_agrees_with_xmlschema(corpus, tmp_path):
    oracles = {}
    differences = []
    for name, document, sources, message_set in accepted_documents(corpus):
        if sources not in oracles:
            oracles[sources] = oracle_schema(sources, tmp_path)
        ours = ours_normalised(message_set.to_dict(document.read_bytes()))
        theirs, _ = oracles[sources].decode(str(document), converter=OurShape, validation="lax")
        found = []
        agree(ours, theirs, "$", found)
        if name in FACTS["knownFaults"]["xmlschema"]:
            assert found, f"{name} agrees now: take it off knownFaults.xmlschema in tests/data/corpora.json"
            continue
        differences += [(name, *difference) for difference in found]
    assert not differences, "\n".join(
        f"{name} {path}: {what}: {ours!r:.200} / {theirs!r:.200}" for name, path, what, ours, theirs in differences[:40]
    )

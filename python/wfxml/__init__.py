"""wfxml: XML messages read and written against a compiled message set.

    import wfxml
    ms = wfxml.MessageSet.compile(["order.xsd"])
    data = ms.to_dict(xml_bytes)              # typed Python data
    xml = ms.to_xml(data, encoding="ibm-500")  # bytes in any code page

See wfxml.dask for converting archives on a Dask cluster.
"""

import enum as _enum
import os as _os
import tempfile as _tempfile

from ._wfxml import Error, Event, EventIterator, MessageSet, RecordIterator, ValidationError, __version__
from ._wfxml import _record_pieces  # noqa: F401 (wfxml.dask splits a file with it)

__all__ = ["Error", "Event", "EventIterator", "EventKind", "MessageSet", "RecordIterator", "ValidationError", "__version__"]


class EventKind(_enum.Enum):
    """What an Event reports."""

    START_MESSAGE = 0
    END_MESSAGE = 1
    START_ELEMENT = 2
    END_ELEMENT = 3
    VALUE = 4


Event.kind = property(lambda event: EventKind(event._kind), doc="The EventKind.")


def _load_dictionary_bytes(data):
    """Unpickles a MessageSet from its compiled dictionary."""
    descriptor, path = _tempfile.mkstemp(suffix=".dict")
    try:
        with _os.fdopen(descriptor, "wb") as file:
            file.write(data)
        return MessageSet.load(path)
    finally:
        _os.unlink(path)

import enum
import os
from decimal import Decimal
from typing import Any, BinaryIO, Iterable, Iterator, Optional, Union

__version__: str

StrPath = Union[str, bytes, os.PathLike]
Document = Union[bytes, bytearray, memoryview, str]
# A value of typed data; a message is {name: dict}.
TypedData = Union[dict[str, Any], list[Any], tuple[Any, ...], str, int, float, Decimal, bool, None, bytes]

class Error(Exception):
    """The failure of a wfxml call. Compare key, never the text."""

    key: Optional[str]
    """The message key, e.g. "CP_XML_XERCES_PARSER_EXCEPTION"."""
    number: Optional[int]
    """The message number, e.g. 0xC000151C."""
    inserts: tuple[str, ...]
    """The message's inserts."""
    path: Optional[str]
    """Where it stopped: the element path of a document ("/order/items/qty"), the JSON
    path of JSON ("$.order.qty"), for to_xml the place in the data ("order.items[2].qty")."""
    file: Optional[str]
    """The file read, or None."""
    line: Optional[int]
    """The line of the document (from 1), or None."""
    column: Optional[int]
    """The column of the document (from 1), or None."""
    errors: list[ValidationError]
    """For a document the schema refuses (key CP_NOT_SCHEMA_VALID): its problems; else empty."""

class ValidationError:
    """One way a document breaks its schema (or is not well-formed)."""

    @property
    def line(self) -> int: ...
    @property
    def column(self) -> int: ...
    @property
    def path(self) -> str:
        """The element: '/Document/GrpHdr/MsgId' (names as written); '' before the root."""
    @property
    def message(self) -> str: ...

class EventKind(enum.Enum):
    START_MESSAGE = 0
    END_MESSAGE = 1
    START_ELEMENT = 2
    END_ELEMENT = 3
    VALUE = 4

class Event:
    """One event of a parsed document's tree."""

    @property
    def kind(self) -> EventKind: ...
    @property
    def name(self) -> str:
        """The local name (elements and attributes); '' for anonymous values and message events."""
    @property
    def namespace(self) -> str: ...
    @property
    def is_attribute(self) -> bool: ...
    @property
    def is_self_defining(self) -> bool:
        """True when the element matched nothing in the message set."""
    @property
    def depth(self) -> int:
        """0 for the message element."""
    @property
    def value(self) -> Union[int, Decimal, float, bool, str, bytes, None]:
        """VALUE events: the typed value (None for a null)."""

class EventIterator(Iterator[Event]):
    def __iter__(self) -> EventIterator: ...
    def __next__(self) -> Event: ...

class RecordIterator(Iterator[Any]):
    def __iter__(self) -> RecordIterator: ...
    def __next__(self) -> Any: ...

class MessageSet:
    """A loaded message set; usable from many threads at once, picklable."""

    @staticmethod
    def compile(
        paths: Union[StrPath, Iterable[StrPath]], catalogs: Optional[Union[StrPath, Iterable[StrPath]]] = None
    ) -> MessageSet:
        """Compiles XML Schema files (.xsd) or one message-set source (.json); catalogs map http schema
        locations to local files. Raises Error."""
    @staticmethod
    def load(path: StrPath) -> MessageSet:
        """Loads a compiled dictionary file. Raises Error."""
    @staticmethod
    def none() -> MessageSet:
        """No message set: every element is self-defining and every value a str."""
    def to_dict(
        self,
        xml: Document,
        encoding: Optional[str] = None,
        validate: bool = False,
        entity_expansion_limit: Optional[int] = None,
    ) -> dict[str, Any]:
        """Parses a document into typed data {message name: content}; validate: check it first;
        entity_expansion_limit: entity references expanded at most (None: 1,000). Raises Error."""
    def to_json(
        self,
        xml: Document,
        encoding: Optional[str] = None,
        validate: bool = False,
        entity_expansion_limit: Optional[int] = None,
    ) -> str:
        """Parses a document into typed data as JSON text; validate: check it first. Raises Error."""
    def validate(
        self, xml: Document, encoding: Optional[str] = None, entity_expansion_limit: Optional[int] = None
    ) -> list[ValidationError]:
        """The document's problems against the schemas (empty when valid). Raises Error CP_NO_SCHEMA."""
    def to_xml(
        self,
        data: Union[dict[str, TypedData], str, bytes, bytearray, memoryview],
        encoding: str = "utf-8",
        check: bool = True,
    ) -> bytes:
        """Writes typed data (a dict) or typed JSON text (str, or bytes-like in UTF-8) as an XML document
        in the code page; check refuses what the schema forbids. Raises Error (with path), TypeError, ValueError."""
    def events(
        self, xml: Document, encoding: Optional[str] = None, entity_expansion_limit: Optional[int] = None
    ) -> EventIterator:
        """The tree events of a document. Raises Error for a malformed document."""
    def iter_records(
        self,
        source: Union[str, os.PathLike[str], BinaryIO, bytes, bytearray, memoryview],
        name: str,
        *,
        encoding: Optional[str] = None,
        json: bool = False,
        validate: bool = False,
        entity_expansion_limit: Optional[int] = None,
    ) -> RecordIterator:
        """Each record (an element name or path) as typed data (str: typed JSON with json=True),
        read from a path, binary stream or bytes piece by piece; validate: check the document as it
        is read. Raises Error."""
    @property
    def message_names(self) -> list[str]: ...
    def dictionary_bytes(self) -> bytes:
        """The compiled dictionary as a file's bytes (what load reads)."""

#!/usr/bin/env python3
"""The vendor's side of Wardline's formats, written from docs/formats.md alone (standard library only).

    vendor.py decode BODY_FILE [--json]
        Reads a received form body (the bytes of the HTTP POST) and prints the subject, the identifier
        and the values. A "state" value is parsed as the state XML and checked: every x that a section
        names must stand in fileinfo.

    vendor.py script BODY_FILE [--white HEX,...] [--black HEX,...] [--remove PATH]... [--keep-suspicious]
                     [--min-version 2.0.24] [-o FILE]
        Writes a removal script for the PC that sent the support request in BODY_FILE: its pcname, os
        and cpu, the white and black lists of checksums (decimal or 0x-hexadecimal) and the lowest
        program version that may run it. Files of the request may be named instead of checksums:
        --remove PATH removes that file (a suspicious file by leaving it off the white list, any other
        by black-listing its checksum); --keep-suspicious white-lists every other suspicious file.

Everything that does not follow the formats raises VendorError with the reason; the command line then
prints the reason and ends with status 1.
"""

import argparse
import base64
import io
import json
import re
import struct
import sys
import urllib.parse
import xml.etree.ElementTree as ElementTree
import zipfile

MAGIC = b"WDPB"
VERSION = 1
KIND_TEXT, KIND_NUMBER, KIND_SET = 1, 2, 3
MAX_COUNT = 1 << 20
START_MARKER = "============= Spyware Removal Script ============="
END_MARKER = "============ ^Spyware Removal Script^ ============"
STATE_SECTIONS = ("meta", "suspicious", "startups", "bhos", "toolbars", "explorerbars", "services",
                  "processes", "fileinfo")
META_FIELDS = ("os", "cpu", "pcname", "comments", "yourname", "youremail", "appversion", "sent")
ID_PATTERN = re.compile(r"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")


class VendorError(Exception):
    """Input that does not follow Wardline's formats."""


# --- The property bag (section 1) --------------------------------------------------------------------

class _Reader:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def fail(self, why, at=None):
        raise VendorError("not a property bag: %s at byte %d" % (why, self.pos if at is None else at))

    def take(self, size, what):
        if len(self.data) - self.pos < size:
            self.fail(what + " is cut short")
        chunk = self.data[self.pos:self.pos + size]
        self.pos += size
        return chunk

    def u8(self, what):
        return self.take(1, what)[0]

    def u32(self, what):
        return struct.unpack("<I", self.take(4, what))[0]

    def count(self, min_size, what):
        at = self.pos
        n = self.u32(what)
        if n > MAX_COUNT or n > (len(self.data) - self.pos) // min_size:
            self.fail("%s %d is more than the bytes can hold" % (what, n), at)
        return n

    def text(self, what):
        at = self.pos
        size = self.u32(what)
        if size % 2:
            self.fail(what + " has an odd length", at)
        if size > len(self.data) - self.pos:
            self.fail(what + " is longer than the bytes left", at)
        return self.take(size, what).decode("utf-16-le", errors="surrogatepass")

    def number(self, what):
        return struct.unpack("<i", self.take(4, what))[0]


def _unique(names, name, reader, at, where):
    folded = name.casefold()
    if folded in names:
        reader.fail('the name "%s" stands twice%s' % (name, where), at)
    names.add(folded)


def _read_value(r, kind):
    """The text or number of `kind` that follows; None for another kind."""
    if kind == KIND_TEXT:
        return r.text("a text")
    return r.number("a number") if kind == KIND_NUMBER else None


def _read_set(r):
    value_set, set_names = {}, set()
    for _ in range(r.count(4 + 4, "the count of a value set")):
        at = r.pos
        entry = r.text("a name in a value set")
        _unique(set_names, entry, r, at, " in a value set")
        count_at = r.pos
        n = r.count(4 + 1 + 4, "the count of values under a name")
        if n == 0:
            r.fail("a name of a value set has no value", count_at)
        keyed, keys = [], set()
        for index in range(n):
            key_at = r.pos
            key = r.text("a key")
            if (index == 0) != (key == ""):
                r.fail("only the first value of a name has the empty key", key_at)
            _unique(keys, key, r, key_at, " among the keys")
            kind_at = r.pos
            kind = r.u8("a kind")
            value = _read_value(r, kind)
            if value is None:
                r.fail("kind %d is not a value of a value set" % kind, kind_at)
            keyed.append((key, value))
        value_set[entry] = keyed
    return value_set


def read_bag(data):
    """The values of a property bag's bytes: {name: str | int | {name: [(key, str | int), ...]}}."""
    r = _Reader(bytes(data))
    if r.take(4, "the header") != MAGIC:
        r.fail('the first bytes are not "WDPB"', 0)
    version = struct.unpack("<H", r.take(2, "the version"))[0]
    if version != VERSION:
        r.fail("version %d is not known" % version, 4)
    values, names = {}, set()
    for _ in range(r.count(4 + 1 + 4, "the count of values")):
        at = r.pos
        name = r.text("a name")
        _unique(names, name, r, at, "")
        kind_at = r.pos
        kind = r.u8("a kind")
        values[name] = _read_set(r) if kind == KIND_SET else _read_value(r, kind)
        if values[name] is None:
            r.fail("kind %d is not known" % kind, kind_at)
    if r.pos != len(r.data):
        r.fail("%d bytes follow the last value" % (len(r.data) - r.pos))
    return values


def _write_text(out, text):
    encoded = text.encode("utf-16-le", errors="surrogatepass")
    out += struct.pack("<I", len(encoded)) + encoded


def write_bag(values):
    """The byte form of a bag of texts and numbers ({name: str | int}), in the order given."""
    out = bytearray(MAGIC + struct.pack("<HI", VERSION, len(values)))
    for name, value in values.items():
        _write_text(out, name)
        if isinstance(value, str):
            out.append(KIND_TEXT)
            _write_text(out, value)
        elif isinstance(value, int) and -2 ** 31 <= value < 2 ** 31:
            out.append(KIND_NUMBER)
            out += struct.pack("<i", value)
        else:
            raise VendorError("value %r of %s is neither text nor a 32-bit number" % (value, name))
    return bytes(out)


# --- The text form (section 2) -----------------------------------------------------------------------

def text_to_bytes(text):
    compact = re.sub(r"[ \t\r\n]", "", text)
    if not re.fullmatch(r"[A-Za-z0-9+/]*={0,2}", compact):
        raise VendorError("not the text form of bytes: a character outside base64")
    compact = compact.rstrip("=")
    if len(compact) % 4 == 1:
        raise VendorError("not the text form of bytes: cut short")
    try:
        return base64.b64decode(compact + "=" * (-len(compact) % 4), validate=True)
    except ValueError as error:
        raise VendorError("not the text form of bytes: %s" % error) from None


def bytes_to_text(data):
    return base64.b64encode(bytes(data)).decode("ascii")


# --- Requests (section 3) ----------------------------------------------------------------------------

def decode(body):
    """A received form body (bytes or text) -> {"subject", "id", "values", "state"}.

    "values" maps each name of "dat" to its value (the first one); "state" is the parsed state XML of a
    support request (None for other subjects, and for a support request whose "state" is empty: the PC
    could not write it)."""
    if isinstance(body, bytes):
        body = body.decode("utf-8")
    if not body.startswith("subject="):
        raise VendorError('the body does not begin with "subject="')
    head, separator, value_field = body.rpartition("&value=")
    if not separator:
        raise VendorError('the body has no "&value="')
    subject_field = urllib.parse.unquote(head[len("subject="):], errors="strict")
    subject, slash, request_id = subject_field.rpartition("\\")
    if not slash:
        raise VendorError("the subject field has no identifier")
    if not ID_PATTERN.match(request_id):
        raise VendorError("the identifier %r is not of the documented form" % request_id)
    archive = text_to_bytes(urllib.parse.unquote(value_field, errors="strict"))
    try:
        with zipfile.ZipFile(io.BytesIO(archive)) as zipped:
            entries = zipped.infolist()
            if len(entries) != 1:
                raise VendorError("the zip holds %d entries, not one" % len(entries))
            if entries[0].filename != request_id + ".dat":
                raise VendorError("the zip's entry is %r, not %r" % (entries[0].filename, request_id + ".dat"))
            request_file = zipped.read(entries[0])
    except zipfile.BadZipFile as error:
        raise VendorError("the value is not a zip archive: %s" % error) from None
    bag = read_bag(request_file)
    if bag.get("cat") != subject:
        raise VendorError("the request file's cat %r is not the subject %r" % (bag.get("cat"), subject))
    if bag.get("id") != request_id:
        raise VendorError("the request file's id %r is not the identifier %r" % (bag.get("id"), request_id))
    dat = bag.get("dat")
    if not isinstance(dat, dict):
        raise VendorError("the request file has no value set dat")
    values = {name: keyed[0][1] for name, keyed in dat.items()}
    state = None
    if subject == "LDW\\SupportRequest" and values.get("state", "") != "":
        state = parse_state(values["state"])
    return {"subject": subject, "id": request_id, "values": values, "state": state}


def parse_state(text):
    """The state XML -> {"meta": {...}, "files": {x: {...}}, "sections": {name: [x, ...]}}, checked."""
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        raise VendorError("the state XML does not parse: %s" % error) from None
    if root.tag != "xml":
        raise VendorError("the state XML's root is %r, not xml" % root.tag)
    tags = tuple(child.tag for child in root)
    if tags != STATE_SECTIONS:
        raise VendorError("the state XML's sections are %s" % (tags,))
    meta = {child.tag: child.text or "" for child in root.find("meta")}
    if tuple(meta) != META_FIELDS:
        raise VendorError("the meta data holds %s" % (tuple(meta),))
    files = {}
    for n, entry in enumerate(root.find("fileinfo"), start=1):
        if entry.tag != "f" or entry.get("x") != str(n):
            raise VendorError("fileinfo entry %d is <%s x=%r>" % (n, entry.tag, entry.get("x")))
        files[n] = {"path": entry.get("i"), "size": int(entry.get("s")), "checksum": int(entry.get("h")),
                    "description": entry.get("d", ""), "maker": entry.get("m", "")}
    sections = {}
    for name in STATE_SECTIONS[1:-1]:
        refs = [int(element.get("x")) for element in root.find(name).iter() if element.get("x") is not None]
        missing = [x for x in refs if x not in files]
        if missing:
            raise VendorError("section %s names x=%s, which fileinfo does not hold" % (name, missing[0]))
        sections[name] = refs
    return {"meta": meta, "files": files, "sections": sections}


# --- Removal scripts (section 4) ---------------------------------------------------------------------

def read_item(item):
    """A checksum item as Wardline reads it."""
    digits = re.match(r"[0-9A-Fa-f]*", re.sub(r"[ \t\n]", "", item)).group(0).lstrip("0")
    if not digits:
        return 0
    if len(digits) > 8:
        raise VendorError("the item %r has more than 8 significant digits" % item)
    value, bits = int(digits, 16), (16 if len(digits) <= 4 else 32)
    return value - (1 << bits) if value >= 1 << (bits - 1) else value


def checksum_item(checksum):
    """A checksum (0 to 2147483647) as an item that Wardline reads back as itself."""
    if not 0 <= checksum <= 0x7FFFFFFF:
        raise VendorError("%d is not a 31-bit checksum" % checksum)
    item = "%X" % checksum
    if read_item(item) != checksum:
        raise VendorError("the checksum %d (0x%s) cannot be written: four significant digits read as a "
                          "negative 16-bit value" % (checksum, item))
    return item


def checksum_list(checksums):
    items, seen = [], set()
    for checksum in checksums:
        if checksum not in seen:
            seen.add(checksum)
            items.append(checksum_item(checksum))
    return ";".join(items)


def lists_for_files(request, remove=(), keep_suspicious=False):
    """(white, black) checksums that remove the files at the paths `remove` (compared without regard to
    letter case) of the support request `request`, and with `keep_suspicious` keep every other
    suspicious file. A suspicious file is removed by leaving its checksum off the white list, any other
    file by black-listing its checksum."""
    state = request.get("state")
    if state is None:
        raise VendorError("files are named by a support request with a state XML")
    by_path = {entry["path"].casefold(): x for x, entry in state["files"].items()}
    suspicious = set(state["sections"]["suspicious"])
    removed, black = set(), []
    for path in remove:
        x = by_path.get(path.casefold())
        if x is None:
            raise VendorError("the request holds no file %r" % path)
        removed.add(state["files"][x]["checksum"])
        if x not in suspicious:
            black.append(state["files"][x]["checksum"])
    white = []
    if keep_suspicious:
        white = [state["files"][x]["checksum"] for x in sorted(suspicious)
                 if state["files"][x]["checksum"] not in removed]
    return white, black


def script(request, white=(), black=(), min_version="2.0.24"):
    """A removal script for the PC that sent `request` (a decoded support request)."""
    if request.get("state") is None:
        raise VendorError("a removal script answers a support request with a state XML")
    if not re.fullmatch(r"\d+(\.\d+){2,}", min_version):
        raise VendorError("the minimum version %r is not three or more numbers joined by points" % min_version)
    meta = request["state"]["meta"]
    bag = write_bag({"w": checksum_list(white), "b": checksum_list(black), "pcname": meta["pcname"],
                     "os": meta["os"], "cpu": meta["cpu"], "minappversion": min_version})
    text = bytes_to_text(bag)
    lines = [text[i:i + 76] for i in range(0, len(text), 76)] or [""]
    return START_MARKER + "\r\n" + "\r\n".join(lines) + "\r\n" + END_MARKER + "\r\n"


# --- Command line ------------------------------------------------------------------------------------

def _checksums(text):
    return [int(item, 0) for item in text.split(",") if item.strip()] if text else []


def main(argv=None):
    parser = argparse.ArgumentParser(description="The vendor's side of Wardline's formats.")
    commands = parser.add_subparsers(dest="command", required=True)
    decode_command = commands.add_parser("decode", help="print a received request")
    decode_command.add_argument("body")
    decode_command.add_argument("--json", action="store_true")
    script_command = commands.add_parser("script", help="write a removal script for a support request")
    script_command.add_argument("body")
    script_command.add_argument("--white", default="")
    script_command.add_argument("--black", default="")
    script_command.add_argument("--remove", action="append", default=[])
    script_command.add_argument("--keep-suspicious", action="store_true")
    script_command.add_argument("--min-version", default="2.0.24")
    script_command.add_argument("-o", "--output")
    args = parser.parse_args(argv)
    try:
        with open(args.body, "rb") as f:
            request = decode(f.read())
        if args.command == "decode":
            if args.json:
                print(json.dumps(request, ensure_ascii=False, default=str))
            else:
                print("subject: %s\nid: %s" % (request["subject"], request["id"]))
                for name, value in request["values"].items():
                    print("%s: %d characters" % (name, len(value)) if isinstance(value, str) else "%s: %s" % (name, value))
                if request["state"]:
                    state = request["state"]
                    print("files: %d; suspicious: %d" % (len(state["files"]), len(state["sections"]["suspicious"])))
        else:
            white, black = lists_for_files(request, args.remove, args.keep_suspicious)
            text = script(request, _checksums(args.white) + white, _checksums(args.black) + black, args.min_version)
            if args.output:
                with open(args.output, "w", encoding="utf-8", newline="") as f:
                    f.write(text)
            else:
                sys.stdout.write(text)
    except VendorError as error:
        print("vendor.py: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

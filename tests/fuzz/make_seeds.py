#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (tests/fuzz/corpus/<target>/) from the native tests' own
cases, in the input form each target reads. Run it again when a target's input form changes:

    python3 tests/fuzz/make_seeds.py

Structured targets read their input with libFuzzer's FuzzedDataProvider: texts from the front (a
backslash followed by another character ends one; a doubled backslash is one backslash), numbers and
choices from the back. Provider below writes such inputs. A text of the program starts with a byte that
gives its form: 0x00 UTF-8, 0x80 UTF-16LE (tests/fuzz/FuzzSupport.h).
"""
import hashlib
import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "vendor"))
import vendor  # noqa: E402  the vendor's tool writes the bags and scripts the program reads

# This machine as the doubles describe it (tests/doubles/FakeSystem.h) and the program's version.
MACHINE = {"pcname": "TESTPC", "os": "Microsoft Windows XP 5.1.2600", "cpu": "x86 Family 6 Model 15"}
VERSION = "2.0.24"

HKCR, HKCU, HKLM = 0, 1, 2  # positions in the registry target's list of hives
REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD = 1, 2, 3, 4  # positions in its list of types


def text(s, utf16=False):
    return b"\x80" + s.encode("utf-16-le") if utf16 else b"\x00" + s.encode("utf-8")


class Provider:
    """Builds an input for FuzzedDataProvider, in the order the target consumes it."""

    def __init__(self):
        self.front = bytearray()
        self.back = bytearray()  # in the order consumed, i.e. from the end of the input

    def string(self, data):
        self.front += data.replace(b"\\", b"\\\\") + b"\\x"
        return self

    def integer(self, value, low, high):
        span, value = high - low, value - low
        count = 0
        while count < 8 and (span >> (8 * count)) > 0:
            count += 1
        for i in reversed(range(count)):
            self.back.append((value >> (8 * i)) & 0xFF)
        return self

    def boolean(self, value):
        return self.integer(1 if value else 0, 0, 255)

    def pick(self, index, size):
        return self.integer(index, 0, size - 1)

    def data(self, rest=b""):
        """The input; `rest` is what the target takes last as all remaining bytes."""
        return bytes(self.front) + rest + bytes(reversed(self.back))


def text_to_bytes_seeds():
    good = ["Zm9vYmFy", "+/8=", " Zm9v\r\nYm\tFy \r\n", "Zm8", "", "AAAA", "////"]
    bad = ["Zm9v!", "Z", "Zm9=v", "Zm===", "Zg=", "Zh==", "%41", "Zm9vY"]
    return [text(s) for s in good + bad] + [text("Zm9vYmFy", utf16=True)]


def resolver_seeds():
    lines = [
        "rundll32.exe shell32.dll,Control_RunDLL desk.cpl", "rundll32 mylib", "RUNDLL32",
        "rundll32.exe  shell32.dll , Entry", "rundll32 lib.ocx Entry", "rundll32,x lib",
        '"rundll32.exe" advpack.dll,LaunchINFSection', "%systemroot%\\system32\\rundll32.exe url.dll,FileProtocolHandler x",
        "rundll32 C:\\a/b.dll,X", 'rundll32 "my lib.dll",Entry', "C:\\Tools\\a.exe /s", "C:\\Program Files/App\\app.exe",
        "C:\\Program Files\\App\\app.exe -min", "app.exe -a -b", '"C:\\Program Files\\App\\app.exe" "%1"',
        '"C:\\Program Files\\App\\app.exe -x', 'C:\\Program Files\\App\\app.exe"%1" -x', "%1 x", "explorer   ",
        "Explorer", '  "  ', '""', "\\??\\C:\\WINDOWS\\system32\\winlogon.exe", "\\SystemRoot\\System32\\smss.exe",
        "\\systemroot\\System32\\smss.exe", "%SystemRoot%\\SYSTEM32\\shell32.dll", "%Long%\\x.dll", "%Self%",
    ]
    # The three choices at the end, consumed last byte first: NT family, 64-bit Windows, long names.
    return [text(line) + bytes([i % 3 == 0, i % 2, i % 3 != 1]) for i, line in enumerate(lines)]


def registry_seeds():
    key = "Software\\Test"

    def place(p, hive, path, name, action, wow32=False):
        return p.boolean(wow32).pick(hive, 3).string(text(path)).string(text(name)).integer(action, 0, 5)

    def value(p, hive, path, name, type_index, data, wow32=False):
        place(p, hive, path, name, 0, wow32).boolean(True).pick(type_index, 9).string(data)

    def utf16(s, nul=True):
        return (s + ("\0" if nul else "")).encode("utf-16-le")

    cases = []
    p = Provider()  # the types and lengths CRegistry's test reads
    value(p, HKLM, key, "Sz", REG_SZ, utf16("plain"))
    value(p, HKLM, key, "Expand", REG_EXPAND_SZ, utf16("%windir%\\x"))
    value(p, HKLM, key, "NoNul", REG_SZ, utf16("abc", nul=False))
    value(p, HKLM, key, "Odd", REG_SZ, b"a\0b")
    value(p, HKLM, key, "Num", REG_DWORD, struct.pack("<I", 4000000000))
    value(p, HKLM, key, "ShortDword", REG_DWORD, b"\x01\x02")
    value(p, HKLM, key, "Bin", REG_BINARY, b"\x01\x02\x03")
    value(p, HKLM, key, "", REG_SZ, utf16("default"))
    cases.append(p.data())

    p = Provider()  # keys, a refused listing and a refused read, in both views
    place(p, HKLM, key + "\\Zed", "", 2)
    place(p, HKLM, key + "\\alpha", "", 2)
    place(p, HKLM, key, "", 3).pick(2, 6)
    value(p, HKCU, key, "V", REG_SZ, utf16("x"), wow32=True)
    place(p, HKCU, key, "V", 4, wow32=True).pick(2, 6)
    cases.append(p.data())

    category = "{00021493-0000-0000-C000-000000000046}"
    for refused in (False, True):  # component categories, and a category manager that fails
        p = Provider()
        for cls in ("{B}", "{A}"):
            place(p, HKCR, "CLSID\\" + cls + "\\Implemented Categories\\" + category, category, 2)
        if refused:
            place(p, HKCR, "CLSID", category, 5).pick(2, 6)
        cases.append(p.data())
    return cases


def zip_seeds():
    def job(junk, level, files):
        p = Provider().boolean(junk).boolean(True).integer(level, 0, 9).integer(len(files), 0, 8)
        for path, data in files:
            p.string(path.encode("utf-8")).integer(0x6DAF, 0, 0xFFFF).integer(0x52CF, 0, 0xFFFF).integer(0x20, 0, 255)
            p.string(data)
        return p.data()

    line = b'<item name="C:\\WINDOWS\\system32\\kernel32.dll" size="983552"/>\r\n'
    return [
        job(True, 6, [("C:\\Temp\\empty.dat", b""), ("C:\\Temp\\three.dat", b"abc")]),
        job(True, 9, [("C:\\Temp\\state.xml", line * 40)]),
        job(False, 0, [("C:\\Temp\\sub\\a.txt", b"a"), (".\\sub\\.\\\\b.txt", b"b"), ("/x/y\\z.txt", b"z")]),
        job(True, 1, [("D:\\in\\r\u00e9sum\u00e9.dat", b"x"), ("d:file.txt", b"f")]),
        job(False, 2, [("..\\up\\c.txt", b"c")]),
        job(True, 6, [("sub\\A.TXT", b"1"), ("a.txt", b"2")]),
    ]


def bag_text(text):
    encoded = text.encode("utf-16-le", errors="surrogatepass")
    return struct.pack("<I", len(encoded)) + encoded


def request_bag():
    """A request as the submission client packs it: "cat", "id" and the value set "dat"."""
    out = bytearray(vendor.MAGIC + struct.pack("<HI", vendor.VERSION, 3))
    out += bag_text("cat") + b"\x01" + bag_text("LDW\\Uninstall")
    out += bag_text("id") + b"\x01" + bag_text("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0")
    out += bag_text("dat") + b"\x03" + struct.pack("<I", 2)
    out += bag_text("reason") + struct.pack("<I", 1) + bag_text("") + b"\x01" + bag_text("too slow\r\n+100% & more")
    out += bag_text("count") + struct.pack("<I", 2) + bag_text("") + b"\x02" + struct.pack("<i", -7)
    out += bag_text("k2") + b"\x01" + bag_text("second")
    return bytes(out)


def script_bag(white="", black="", minappversion=VERSION, **machine):
    return vendor.write_bag({"w": white, "b": black, "pcname": machine.get("pcname", MACHINE["pcname"]),
                             "os": machine.get("os", MACHINE["os"]), "cpu": machine.get("cpu", MACHINE["cpu"]),
                             "minappversion": minappversion})


def property_bag_seeds():
    example = bytes.fromhex("57445042 0100 03000000 04000000 69006400 01 02000000 4100"
                            " 02000000 6E00 02 02010000 02000000 6400 03 01000000"
                            " 02000000 7200 01000000 00000000 01 02000000 5A00".replace(" ", ""))
    reads = [example, request_bag(), script_bag("1A2B3C;ffff", "7FFFFFFF"), script_bag(),
             vendor.write_bag({"n": -2147483648, "text": "\u00e9\u4e2d\U0001F600"})]
    seeds = [b"\x00" + bag for bag in reads]
    p = Provider()  # writes: a text, a number and a value set with a second value under one name
    p.string("cat".encode()).integer(0, 0, 2).string(text("LDW\\SupportRequest"))
    p.string("n".encode()).integer(1, 0, 2).integer(-2147483648, -2147483648, 2147483647)
    p.string("dat".encode()).integer(2, 0, 2).integer(2, 0, 4)
    p.string("reason".encode()).boolean(False).string(text("too slow")).integer(0, 0, 2)
    p.string("count".encode()).boolean(True).integer(-7, -2147483648, 2147483647).integer(1, 0, 2)
    p.string("k2".encode()).boolean(False).string(text("second"))
    seeds.append(b"\x01" + p.data())
    return seeds


def vendor_script(white=(), black=(), min_version=VERSION, **machine):
    meta = dict(MACHINE, **machine)
    return vendor.script({"state": {"meta": meta}}, white, black, min_version)


def script_seeds():
    mail = ("Hello,\r\n\r\nplease paste the script below into Wardline.\r\n\r\n%s\r\n"
            "> Regards,\r\n> the vendor\r\n")
    texts = [
        vendor_script([0x1A2B3C, 12345], [0x7FFFFFFF]),
        mail % vendor_script([], [522891]),
        vendor_script(pcname="OTHERPC"),
        vendor_script(min_version="2.0.25"),
        vendor_script(min_version="1.9.99.7"),
        "   " + vendor_script().replace("\r\n", "\n") + "   ",
        vendor.END_MARKER + "\r\n" + vendor.START_MARKER,
    ]
    seeds = [b"\x00\x00" + t.encode("utf-8") for t in texts]
    for quoted in (False, True):  # assembled: both lists, this PC, version 2.0.24, wrapped at 76
        p = Provider()
        p.boolean(False).integer(2, 0, 6).integer(0x1A2B3C, 0, 0x7FFFFFFF).integer(12345, 0, 0x7FFFFFFF)
        p.boolean(False).integer(1, 0, 6).integer(522891, 0, 0x7FFFFFFF)
        p.integer(0, 0, 3).integer(0, 0, 3).integer(0, 0, 3).integer(0, 0, 10).integer(0, 0, 2)
        p.integer(76, 0, 100).boolean(quoted)
        p.string(text("Hello,\r\n\r\n")).string(text("\r\n> Regards"))
        seeds.append(b"\x01" + p.data())
    return seeds


def checksum_item_seeds():
    items = ["1A2B3C", "ffff", "FFFFFFFF", "8000", "7FFF", "80000000", "0", "", " 1 a\t2\nb ", "123456789",
             "00000000012345678", "12G4", "1A2B3C;ffff;", ";;", "ffff;FFFFFFFF"]
    return [text(item) for item in items]


def version_seeds():
    """The script's minimum version against the program's own (None) or another program version."""
    cases = [("2.0.24", None), ("1.9.99", None), ("1.5.0", None), ("2.0.25", None), ("2.1.0", None),
             ("3.0.0", None), ("2.0", None), ("", None), ("10.0.0", "9.99.999"), ("2.0.24", "2.0")]
    def provider(program):
        return Provider().boolean(True) if program is None else Provider().boolean(False).string(text(program))

    return [provider(program).data(rest=text(minimum)) for minimum, program in cases]


def state_xml_seeds():
    """The state report test's small machine: every kind of item, texts that need escaping."""
    p = Provider()
    for t in ("Windows <XP>", "x86 & co", "PC'1", 'It\'s "slow"\r\nsecond line', "Ann & Bob", "a@b.c", ":"):
        p.string(text(t))
    folder = "C:\\Program Files\\Acme\\"
    files = [("a&b.exe", "Acme & Co", "Something"), ("plain.sys", None, None), ("start.exe", "", "Starter"),
             ("bho.dll", "Acme", ""), ("bar.dll", "Acme", ""), ("one.exe", "Acme", ""), ("lib.dll", None, None),
             ("two.exe", "Acme", "")]
    p.integer(len(files), 0, 8)
    for name, company, description in files:
        p.string(text(folder + name)).string(b"MZ" + name.encode() * 3).boolean(company is not None)
        if company is not None:
            p.string(text(company)).string(text(description))
    index = {name: i for i, (name, _, _) in enumerate(files)}

    def file(name):
        p.boolean(True).integer(index[name], 0, len(files) - 1)

    p.integer(2, 0, 3)  # processes: one.exe with lib.dll and a&b.exe, two.exe alone
    p.integer(3, 1, 4)
    for name in ("one.exe", "lib.dll", "a&b.exe"):
        file(name)
    p.integer(1, 1, 4)
    file("two.exe")
    p.integer(5, 0, 6)  # a service, a startup, a helper object, a toolbar without its file, an explorer bar
    p.string(text("B1")).integer(0, 0, 4).string(text("svcA"))
    file("a&b.exe")
    p.string(text("Alpha <svc>"))
    p.string(text("B2")).integer(1, 0, 4).boolean(False).string(text("run0"))
    file("start.exe")
    p.string(text("B3")).integer(2, 0, 4)
    file("bho.dll")
    p.string(text("B4")).integer(3, 0, 4).boolean(False)
    p.string(text(folder + "tb.dll"))
    p.string(text("B5")).integer(4, 0, 4)
    file("bar.dll")
    return [p.data(), b""]


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for seed in seeds:
        with open(os.path.join(folder, hashlib.sha1(seed).hexdigest()), "wb") as f:
            f.write(seed)


if __name__ == "__main__":
    write("text_to_bytes", text_to_bytes_seeds())
    write("resolver", resolver_seeds())
    write("registry", registry_seeds())
    write("zip", zip_seeds())
    write("property_bag", property_bag_seeds())
    write("script", script_seeds())
    write("checksum_item", checksum_item_seeds())
    write("version", version_seeds())
    write("state_xml", state_xml_seeds())

#!/usr/bin/env python3
"""Wardline and the vendor's tool agree: bodies that the program's submission client writes decode with
vendor.py, and scripts that vendor.py writes read back in the program.

    test_vendor.py --helper PATH/wdl_vendor_interop [unittest options]
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vendor  # noqa: E402

HELPER = None

STATE = ("<xml><meta><os>Microsoft Windows XP 5.1.2600</os><cpu>x86 Family 6 Model 15</cpu>"
         "<pcname>TESTPC</pcname><comments>It&apos;s slow &amp; pops up\r\nads</comments>"
         "<yourname>J\u00fcrgen</yourname><youremail>j@example.com</youremail>"
         "<appversion>2.0.24</appversion><sent>2024-01-02 03:04</sent></meta>"
         "<suspicious><f x='2'/></suspicious><startups><f x='2'/></startups><bhos></bhos>"
         "<toolbars> </toolbars><explorerbars></explorerbars><services><f x='3' d='Spooler'/></services>"
         "<processes><p x='1'><m x='1'/><m x='2'/></p></processes><fileinfo>"
         "<f x='1' i='C:\\WINDOWS\\explorer.exe' s='1032192' h='1715004' d='Windows Explorer' m='Microsoft'/>"
         "<f x='2' i='C:\\WINDOWS\\system32\\bad.dll' s='4096' h='305419896'/>"
         "<f x='3' i='C:\\WINDOWS\\system32\\spoolsv.exe' s='57856' h='10'/></fileinfo></xml>")


class WithProgram(unittest.TestCase):
    """A scratch folder for each test, and the program's side run on files in it."""

    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.folder = folder.name

    def write(self, name, text):
        path = os.path.join(self.folder, name)
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text)
        return path

    def program(self, *arguments, check=True):
        return subprocess.run([HELPER, *arguments], check=check, capture_output=True)

    def program_request(self, category, **values):
        """The body the program posts for `category` and `values` (texts)."""
        body = os.path.join(self.folder, "body.txt")
        self.program("request", body, category,
                     *("%s=@%s" % (name, self.write(name + ".txt", text)) for name, text in values.items()))
        with open(body, "rb") as f:
            return f.read()


class RequestsFromTheProgram(WithProgram):
    def test_uninstall_feedback_decodes_with_its_subject_identifier_and_values(self):
        reason = "Too slow\r\n+ 100% & more \u00e9\u4e2d\U0001F600"
        log = "line 1\r\nline 2 \\ / %41\r\n"
        body = self.program_request("LDW/Uninstall", reason=reason, log=log)
        request = vendor.decode(body)
        self.assertEqual(request["subject"], "LDW\\Uninstall")
        self.assertRegex(request["id"], vendor.ID_PATTERN)
        self.assertEqual(request["values"], {"reason": reason, "log": log})
        self.assertIsNone(request["state"])
        self.assertTrue(body.startswith(b"subject=LDW%5CUninstall%5C" + request["id"].encode()))

    def test_support_request_state_is_parsed_and_its_references_checked(self):
        request = vendor.decode(self.program_request("LDW\\SupportRequest", state=STATE))
        self.assertEqual(request["subject"], "LDW\\SupportRequest")
        state = request["state"]
        self.assertEqual(state["meta"]["pcname"], "TESTPC")
        self.assertEqual(state["meta"]["comments"], "It's slow & pops up\nads")
        self.assertEqual(state["files"][2]["checksum"], 305419896)
        self.assertEqual(state["sections"]["processes"], [1, 1, 2])
        self.assertEqual(state["sections"]["services"], [3])

    def test_a_support_request_whose_state_is_empty_decodes_without_a_state(self):
        request = vendor.decode(self.program_request("LDW\\SupportRequest", state=""))
        self.assertEqual((request["subject"], request["values"], request["state"]),
                         ("LDW\\SupportRequest", {"state": ""}, None))
        with self.assertRaisesRegex(vendor.VendorError, "state XML"):
            vendor.script(request)

    def test_a_state_that_names_a_missing_file_is_refused(self):
        dangling = STATE.replace("<bhos></bhos>", "<bhos><f x='9'/></bhos>")
        with self.assertRaisesRegex(vendor.VendorError, "section bhos names x=9"):
            vendor.decode(self.program_request("LDW\\SupportRequest", state=dangling))

    def test_a_body_changed_on_the_way_is_refused(self):
        body = self.program_request("LDW\\Uninstall", reason="r").decode()
        request_id = vendor.decode(body)["id"]
        other_id = request_id[:-1] + ("0" if request_id[-1] != "0" else "1")
        for broken, reason in [(body.replace(request_id, other_id, 1), "the zip's entry"),
                               (body.replace("subject=", "subjekt=", 1), "subject="),
                               (body[:-8], "zip|text form"),
                               (body.replace("&value=", "&value=%25", 1), "text form")]:
            with self.assertRaisesRegex(vendor.VendorError, reason):
                vendor.decode(broken)


class ScriptsForTheProgram(WithProgram):
    def setUp(self):
        super().setUp()
        self.request = vendor.decode(self.program_request("LDW\\SupportRequest", state=STATE))

    def program_reads(self, text):
        output = self.program("read-script", self.write("script.txt", text)).stdout
        return dict(line.split("=", 1) for line in output.decode("utf-8").splitlines())

    def test_a_script_reads_back_in_the_program_with_every_value(self):
        text = vendor.script(self.request, white=[1715004], black=[305419896, 10, 10, 0x7FFF, 0x10000, 0],
                             min_version="2.0.24")
        mail = "Hello,\r\n> quoted\r\n\r\n" + text + "\r\nRegards\r\n"
        values = self.program_reads(mail)
        self.assertEqual(values, {"white": "1715004", "black": "305419896;10;32767;65536;0", "pcname": "TESTPC",
                                  "os": "Microsoft Windows XP 5.1.2600", "cpu": "x86 Family 6 Model 15",
                                  "minappversion": "2.0.24"})

    def test_empty_lists_are_empty_values(self):
        values = self.program_reads(vendor.script(self.request))
        self.assertEqual((values["white"], values["black"]), ("", ""))

    def test_a_script_with_an_item_the_tool_refuses_is_refused_by_the_program_too(self):
        bag = vendor.write_bag({"w": "", "b": "1;123456789", "pcname": "TESTPC", "os": "", "cpu": "",
                                "minappversion": "2.0.24"})
        text = vendor.START_MARKER + "\r\n" + vendor.bytes_to_text(bag) + "\r\n" + vendor.END_MARKER
        with self.assertRaises(vendor.VendorError):
            vendor.read_item("123456789")
        self.assertNotEqual(self.program("read-script", self.write("script.txt", text), check=False).returncode, 0)

    def test_files_named_by_path_are_removed_and_the_other_suspicious_files_kept(self):
        cases = [(["C:\\WINDOWS\\system32\\BAD.dll"], True, ([], [])),
                 (["C:\\WINDOWS\\explorer.exe"], True, ([305419896], [1715004])),
                 (["C:\\WINDOWS\\explorer.exe"], False, ([], [1715004])),
                 ([], True, ([305419896], []))]
        for remove, keep, lists in cases:
            self.assertEqual(vendor.lists_for_files(self.request, remove, keep), lists, (remove, keep))
        with self.assertRaisesRegex(vendor.VendorError, "no file"):
            vendor.lists_for_files(self.request, ["C:\\missing.dll"])

    def test_the_documented_example_is_what_the_tool_writes(self):
        text = vendor.script(self.request, white=[1715004], black=[305419896, 10])
        with open(os.path.join(os.path.dirname(__file__), "..", "..", "docs", "formats.md"), encoding="utf-8") as f:
            documented = re.findall(r"={13} Spyware Removal Script ={13}\n(.*?)\n={12} \^", f.read(), re.S)[-1]
        self.assertEqual(re.sub(r"\s", "", documented), "".join(text.splitlines()[1:-1]))


class Formats(WithProgram):
    """The tool's reading of the formats, and where it meets the program's, the program's too."""

    def test_items_read_as_the_program_reads_them(self):
        cases = [("1A2B3C", 1715004), ("ffff", -1), ("FFFFFFFF", -1), ("7fff", 32767), ("8000", -32768),
                 ("0000FFFF", -1), ("10000", 65536), ("80000000", -2 ** 31), ("", 0), ("xyz", 0),
                 (" 1 2\t\n", 0x12), ("12;", 0x12), ("1\r2", 1), ("00000000012", 0x12), ("123456789", None),
                 ("1 0000 0000", None), ("0FFFFFFFFF", None)]
        for item, value in cases:
            if value is None:
                with self.assertRaises(vendor.VendorError):
                    vendor.read_item(item)
            else:
                self.assertEqual(vendor.read_item(item), value, item)
        output = self.program("read-items", *(item for item, _ in cases)).stdout.decode("utf-8").splitlines()
        self.assertEqual(output, ["invalid" if value is None else str(value) for _, value in cases])

    def test_checksums_that_cannot_be_written_are_refused(self):
        for checksum in (0x8000, 0xFFFF, -1, 2 ** 31):
            with self.assertRaises(vendor.VendorError):
                vendor.checksum_item(checksum)
        self.assertEqual([vendor.checksum_item(c) for c in (0, 0x7FFF, 0x10000, 0x7FFFFFFF)],
                         ["0", "7FFF", "10000", "7FFFFFFF"])

    def test_the_documented_bag_example_reads(self):
        example = bytes.fromhex("57445042 0100 03000000 04000000 69006400 01 02000000 4100"
                                "02000000 6E00 02 02010000 02000000 6400 03 01000000"
                                "02000000 7200 01000000 00000000 01 02000000 5A00".replace(" ", ""))
        self.assertEqual(vendor.read_bag(example), {"id": "A", "n": 258, "d": {"r": [("", "Z")]}})

    def test_every_cut_of_a_bag_is_refused(self):
        data = vendor.write_bag({"w": "1A;2B", "n": -5, "os": "\u00e9"})
        for size in range(len(data)):
            with self.assertRaises(vendor.VendorError):
                vendor.read_bag(data[:size])
        with self.assertRaises(vendor.VendorError):
            vendor.read_bag(data + b"\0")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--helper", required=True)
    args, rest = parser.parse_known_args()
    HELPER = args.helper
    unittest.main(argv=[sys.argv[0]] + rest)

"""The datafile tool as a user runs it: what it prints, the files it writes
and its exit status. Run by CTest with the tool's path as argument."""

import os
import subprocess
import sys
import tempfile
import unittest

TOOL = None

HEX = b":0400100001020304E2\r\n:00000001FF\r\n"


class DatafileCli(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name, content=None):
        p = os.path.join(self.dir.name, name)
        if content is not None:
            with open(p, "wb") as f:
                f.write(content)
        return p

    def run_tool(self, *args):
        r = subprocess.run([TOOL, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=60, cwd=self.dir.name)
        return r.returncode, r.stdout.decode(), r.stderr.decode()

    def test_open_prints_what_the_loader_logs(self):
        src = self.path("fw.hex", HEX)
        rc, out, err = self.run_tool(src)
        self.assertEqual((rc, err), (0, ""))
        self.assertEqual(out, f"File opened: {src}\nNumber of bytes: 4\nRange of file: 10 - 13\n")

    def test_relocate_delete_and_convert(self):
        src = self.path("fw.hex", HEX)
        mot = self.path("moved.mot")
        bin_ = self.path("cut.bin")
        cases = [
            # (args, expected file, expected bytes or None, expected range line)
            ([src, "--relocate", "-10", "--output", mot], mot,
             b"S107000001020304EE\r\nS9030000FC\r\n", "Range of file: 10 - 13"),
            ([mot, "--delete", "1-2", "--output", bin_], bin_, b"\x01\xff\xff\x04", "Range of file: 0 - 3"),
            ([src, "--relocate", "0x1000", "--output", self.path("up.bin"), "--format", "bin"],
             self.path("up.bin"), b"\x01\x02\x03\x04", "Range of file: 10 - 13"),
        ]
        for args, out_file, expected, range_line in cases:
            with self.subTest(args=args[1:]):
                rc, out, err = self.run_tool(*args)
                self.assertEqual((rc, err), (0, ""))
                self.assertIn(range_line, out)
                with open(out_file, "rb") as f:
                    data = f.read()
                self.assertEqual(data, expected)
        # The moved S-record file reads back at its new place.
        rc, out, _ = self.run_tool(mot)
        self.assertEqual(rc, 0)
        self.assertIn("Range of file: 0 - 3", out)

    def test_reader_errors_exit_1_with_the_readers_text(self):
        cases = [
            (b":0400100001020304E2\r\n:04001400010203G4E2\r\n:00000001FF\r\n",
             "Error in line 2: Expected Hex character : 0..9, A..F"),
            (None, "Could not open file [{path}]\nFile not found!"),
        ]
        for content, message in cases:
            with self.subTest(message=message):
                src = self.path("bad.hex" if content else "missing.hex", content)
                rc, out, err = self.run_tool(src)
                self.assertEqual(rc, 1)
                self.assertEqual(err.strip(), message.format(path=src))

    def test_bad_arguments_print_usage_and_exit_2(self):
        src = self.path("fw.hex", HEX)
        for args in ([], [src, "--relocate"], [src, "--relocate", "xyz"], [src, "--delete", "5"],
                     [src, "--output", self.path("x.txt")], [src, "--bogus"]):
            with self.subTest(args=args[1:]):
                rc, out, err = self.run_tool(*args)
                self.assertEqual(rc, 2)
                self.assertIn("usage: datafile", err)


if __name__ == "__main__":
    TOOL = os.path.abspath(sys.argv.pop(1))
    unittest.main()

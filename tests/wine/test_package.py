"""The shipped programs: 32-bit PE GUI programs that import only DLLs every
Windows installation has, so the delivery folder needs nothing else."""

import os
import re
import subprocess
import unittest

import harness

SHIPPED_BIN = os.environ.get("KAL_WIN32_BIN", os.path.join(harness.ROOT, "build", "win-i686", "bin"))

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "comdlg32.dll",
    "shell32.dll", "advapi32.dll", "ole32.dll", "msvcrt.dll", "shlwapi.dll",
    "version.dll", "winmm.dll",
}


def pe_facts(path):
    out = subprocess.run(["objdump", "-p", path], check=True, stdout=subprocess.PIPE,
                         timeout=60).stdout.decode("latin-1")
    fmt = re.search(r"file format (\S+)", out).group(1)
    subsystem = re.search(r"^Subsystem\s+(\S+)", out, re.M).group(1)
    dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", out)}
    return fmt, int(subsystem, 16), dlls


class ShippedPrograms(unittest.TestCase):
    def check(self, name, bin_dir, fmt_expected):
        path = os.path.join(bin_dir, name)
        self.assertTrue(os.path.exists(path), f"{path} was not built")
        fmt, subsystem, dlls = pe_facts(path)
        self.assertEqual(fmt, fmt_expected, name)
        self.assertEqual(subsystem, 2, f"{name} is not a Windows GUI program")
        self.assertTrue(dlls, f"{name} imports nothing?")
        self.assertLessEqual(dlls, SYSTEM_DLLS, f"{name} imports non-system DLLs: {dlls - SYSTEM_DLLS}")

    def test_i686_programs(self):
        for name in ("Tamrin.exe", "Ignis.exe"):
            with self.subTest(name=name):
                self.check(name, SHIPPED_BIN, "pei-i386")

    def test_x86_64_test_builds(self):
        # The builds the Wine tests run must be the same kind of program.
        for name in ("Tamrin.exe", "Ignis.exe"):
            with self.subTest(name=name):
                self.check(name, harness.BIN, "pei-x86-64")


if __name__ == "__main__":
    unittest.main()

"""The loader's frame, its menu bar, status bar, log view and About box,
its settings file, and its exit status."""

import glob
import os
import subprocess
import time
import unittest

import harness

TITLE = "Tamrin V3.04j"


def tree(env):
    rc, out = env.winctl("tree", TITLE)
    rows = []
    for line in out.splitlines():
        parts = line.split("\t")
        if len(parts) == 5:
            rows.append({"depth": int(parts[0]), "class": parts[1], "text": parts[2],
                         "visible": parts[3] == "1", "rect": parts[4]})
    return rc, rows


def parse_settings(text):
    """Sections of a settings file in file order: {name: [entry lines]}."""
    sections = {}
    current = None
    for line in text.split("\r\n"):
        if line.startswith("["):
            current = line[1:line.index("]")]
            if current in sections:
                raise AssertionError(f"section {current} appears twice")
            sections[current] = []
        elif line and current is not None:
            sections[current].append(line)
    return sections


def wait_for(predicate, timeout=20):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.3)


class TamrinShell(unittest.TestCase):
    def start(self, folder=None):
        env = harness.env()
        folder = folder or env.install(["Tamrin.exe"])
        p = env.start_program(f"{folder}/Tamrin.exe")
        env.x_window(TITLE, timeout=60)
        # Start-up is done once the log shows its first line.
        self.assertTrue(wait_for(lambda: "Application Log started" in env.winctl("tree", TITLE)[1]),
                        "start-up did not finish")
        return env, folder, p

    def close(self, env, p):
        # A program left over by a failed test would be found by the title.
        try:
            rc, _ = env.winctl("close", TITLE)
            self.assertEqual(rc, 0, "no frame to close")
            return p.wait(timeout=30)
        finally:
            p.kill()

    def test_frame_menu_status_bar_and_log(self):
        env, folder, p = self.start()
        try:
            self.assertEqual(env.winctl("hasmenu", TITLE)[0], 0, "the frame has no menu bar")
            # Wine keeps menus inside their process: read the bar from the program's resource.
            rc, menu = env.winctl("resmenu", "Z:" + folder.replace("/", "\\") + "\\Tamrin.exe", 500)
            self.assertEqual(rc, 0)
            top = [line.split("\t")[3] for line in menu.splitlines() if line.startswith("0\t")]
            self.assertEqual(top, ["&File", "&Edit", "&View", "&Target", "&Options", "&Window", "&Help"])
            items = {int(line.split("\t")[1]): line.split("\t")[3]
                     for line in menu.splitlines() if line.split("\t")[2].startswith("item")}
            self.assertEqual(items[520], "&Open...\\tCtrl+O")
            self.assertEqual(items[526], "&Exit\\tAlt+F4")
            self.assertEqual(items[588], "&Auto\\tF9")
            self.assertEqual(items[600], "Project...\\tALT-F7")
            self.assertEqual(items[52], "Tile &Vertical")
            self.assertEqual(items[620], "&About...")

            def log_ready():
                _, rows = tree(env)
                logs = [r for r in rows if r["class"] == "ViewLog_FrameClass"]
                edits = [r for r in rows if r["class"] == "Edit" and "Application Log started" in r["text"]]
                return (rows, logs, edits) if logs and edits else None

            found = wait_for(log_ready)
            self.assertTrue(found, "no log view with its first line")
            rows, logs, edits = found
            self.assertEqual(logs[0]["text"], "Log")
            self.assertEqual(edits[0]["text"], "Application Log started\\r\\n")
            bars = [r for r in rows if r["class"] == "msctls_statusbar32"]
            self.assertEqual(len(bars), 1)
            self.assertEqual(bars[0]["text"], "Ready")
            self.assertTrue(any(r["class"] == "MDIClient" for r in rows))
        finally:
            status = self.close(env, p)
        self.assertEqual(status, 0)

    def test_f1_opens_the_about_box_and_escape_closes_it(self):
        env, folder, p = self.start()
        try:
            env.winctl("key", TITLE, "0x70")   # VK_F1
            rc, _ = env.winctl("wait", "About", 10000)
            self.assertEqual(rc, 0, "F1 opened no About box")
            rc, out = env.winctl("tree", "About")
            self.assertIn(TITLE, out)
            self.assertIn("Compiled ", out)
            env.winctl("key", "About", "0x1B")  # VK_ESCAPE
            rc, _ = env.winctl("gone", "About", 10000)
            self.assertEqual(rc, 0, "Escape did not close the About box")
        finally:
            status = self.close(env, p)
        self.assertEqual(status, 0)

    def test_settings_file_next_to_the_program(self):
        env, folder, p = self.start()
        self.assertEqual(self.close(env, p), 0)
        with open(os.path.join(folder, "Tamrin.ini"), "rb") as f:
            text = f.read().decode("latin-1")
        sections = parse_settings(text)
        self.assertEqual(list(sections)[0], "PrjFile")
        self.assertEqual(sections["PrjFile"], ['Filename=""'])
        self.assertEqual(sections["Password"], ['Contents=""'])
        self.assertEqual(sections["HexFile"], ['Filename=""'])
        # Written in the order Timeout, TimeoutCheckBlank, TimeoutGetCRC,
        # TimeoutConnect: the latest write comes first. The port keys that the
        # serial module writes at the end may stand above them.
        com = [e for e in sections["COM"] if e.startswith("Timeout")]
        self.assertEqual(com, ["TimeoutConnect = 5000", "TimeoutGetCRC = 10000",
                               "TimeoutCheckBlank = 10000", "Timeout = 30000"])
        self.assertTrue(text.endswith("\r\n") and "\n" not in text.replace("\r\n", ""),
                        "every line ends in CR LF")

    def test_read_only_program_folder_uses_dravik_in_the_application_data(self):
        env = harness.env()
        folder = env.install(["Tamrin.exe"])
        pattern = os.path.join(env.prefix, "drive_c", "users", "*", "AppData", "Roaming", "DRAVIK", "Tamrin.ini")
        for old in glob.glob(pattern):
            os.remove(old)
        r = subprocess.run(["chattr", "+i", folder], stderr=subprocess.PIPE)
        if r.returncode != 0:
            self.skipTest("chattr +i is not available here: " + r.stderr.decode())
        try:
            env2, _, p = self.start(folder)
            status = self.close(env2, p)
        finally:
            subprocess.run(["chattr", "-i", folder])
        self.assertEqual(status, 0)
        self.assertFalse(os.path.exists(os.path.join(folder, "Tamrin.ini")))
        found = glob.glob(pattern)
        self.assertEqual(len(found), 1, "no settings file in DRAVIK under the application data")
        with open(found[0], "rb") as f:
            self.assertIn(b"TimeoutConnect = 5000\r\n", f.read())

    def test_error_at_start_up_is_shown_and_gives_status_1(self):
        env = harness.env()
        folder = env.install(["Tamrin.exe"])
        with open(os.path.join(folder, "Tamrin.ini"), "wb") as f:
            f.write(b"[COM]\r\nTimeout = soon\r\n")
        p = env.start_program(f"{folder}/Tamrin.exe")
        try:
            # The frame shows before start-up reads the settings.
            env.x_window(TITLE, timeout=60)
            rc, _ = env.winctl("wait", "Error", 20000)
            self.assertEqual(rc, 0, "no error box")
            rc, out = env.winctl("tree", "Error")
            self.assertIn("\tExpecting a number\t", out)
            env.winctl("key", "Error", "0x0D")   # VK_RETURN presses OK
            self.assertEqual(env.winctl("gone", "Error", 10000)[0], 0)
            status = self.close(env, p)
        finally:
            p.kill()
        self.assertEqual(status, 1)


if __name__ == "__main__":
    unittest.main()

"""The loader under Wine reaches the bootloader simulator through a COM port
mapped to the simulator's pty: the log and the target view follow the target
as it comes and goes."""

import os
import signal
import subprocess
import tempfile
import time
import unittest

import harness

TITLE = "Tamrin V3.04j"
NATIVE = os.environ.get("KAL_NATIVE_BIN", os.path.join(harness.ROOT, "build", "native"))
BTLSIM = os.path.join(NATIVE, "tools", "btlsim", "btlsim")


def wait_for(pred, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if pred():
            return True
        time.sleep(0.3)
    return pred()


COLOURS = {"blue": "rgb(0,0,255)", "red": "rgb(255,0,0)", "green": "rgb(0,128,0)"}


def pixels(env, name="target_view.png"):
    """Counts the screen's pixels in the exact colours the target view draws
    with (nothing else on the screen uses them)."""
    path = env.screenshot(name)
    counts = {}
    for key, colour in COLOURS.items():
        r = subprocess.run(["convert", path, "-fill", "black", "+opaque", colour, "-fill", "white",
                            "-opaque", colour, "-format", "%[fx:round(mean*w*h)]", "info:"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60, check=True)
        counts[key] = int(float(r.stdout.decode().strip() or "0"))
    return counts


@unittest.skipUnless(os.path.exists(BTLSIM), "the native btlsim is not built")
class TamrinTargetLink(unittest.TestCase):
    def test_connect_target_view_and_loss(self):
        env = harness.env()
        work = tempfile.mkdtemp(prefix="sim-", dir=env.work)
        link = os.path.join(work, "pty")
        sim = subprocess.Popen([BTLSIM, "--link", link, "--range1", "8000:1000", "--range2", "20000:100",
                                "--cpu", "RX62N", "--app", "KALUNA M3"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.assertTrue(wait_for(lambda: os.path.exists(link), 10), "btlsim made no pty")
            env.map_com(5, os.path.realpath(link))
            folder = env.install(["Tamrin.exe"])
            # Parity 0: a second SetCommState with parity fails on this machine's ptys.
            with open(os.path.join(folder, "Tamrin.ini"), "wb") as f:
                f.write(b"[COM]\r\nBaudrate = 57600\r\nParity = 0\r\nStopBits = 0\r\nPort = 4\r\n"
                        b"VPort=\"COM5\"\r\n")
            p = env.start_program(f"{folder}/Tamrin.exe")
            try:
                env.x_window(TITLE, timeout=60)
                self.assertTrue(wait_for(lambda: "Connected with target" in env.winctl("tree", TITLE)[1], 30),
                                env.winctl("tree", TITLE)[1])
                self.assertTrue(wait_for(lambda: pixels(env)["blue"] > 0, 10), env.winctl("tree", TITLE)[1])
                shown = pixels(env, "target_view_connected.png")
                self.assertEqual(shown["red"], 0)
                self.assertEqual(shown["green"], 0)

                sim.send_signal(signal.SIGTERM)
                self.assertEqual(sim.wait(timeout=20), 0)
                self.assertTrue(wait_for(lambda: "Connnection to target lost" in env.winctl("tree", TITLE)[1], 30))
                self.assertTrue(wait_for(lambda: pixels(env)["red"] > 0, 10))
                self.assertEqual(pixels(env, "target_view_not_connected.png")["blue"], 0)
                tree = env.winctl("tree", TITLE)[1]
                self.assertEqual(tree.count("Connected with target"), 1, tree)
            finally:
                env.winctl("close", TITLE)
                self.assertEqual(p.wait(timeout=30), 0)
        finally:
            if sim.poll() is None:
                sim.send_signal(signal.SIGTERM)
                sim.wait(timeout=20)
            env.unmap_com(5)


if __name__ == "__main__":
    unittest.main()

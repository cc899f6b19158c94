"""The harness itself: a hung program fails the test instead of hanging the
run, and a COM port mapped to a pty reaches that pty."""

import os
import select
import time
import unittest

import harness


class Harness(unittest.TestCase):
    def test_hung_program_is_killed_and_reported(self):
        env = harness.env()
        # winctl waits up to ten minutes for a window that never comes.
        p = env.start_program(env.exe("winctl.exe"), ["wait", "no such window", "600000"])
        t0 = time.monotonic()
        with self.assertRaises(harness.HarnessError) as cm:
            p.wait(timeout=3)
        self.assertLess(time.monotonic() - t0, 15)
        self.assertIn("did not end within 3 s", str(cm.exception))
        self.assertFalse(p.running())

    def test_missing_window_is_reported(self):
        env = harness.env()
        with self.assertRaises(harness.HarnessError) as cm:
            env.x_window("no such window either", timeout=1)
        self.assertIn("no window titled", str(cm.exception))

    def test_com_port_reaches_pty(self):
        env = harness.env()
        master, slave = os.openpty()
        try:
            env.map_com(7, os.ttyname(slave))
            rc, _ = env.winctl("comwrite", "COM7", "hello")
            self.assertEqual(rc, 0)
            got = b""
            deadline = time.monotonic() + 10
            while len(got) < 5 and time.monotonic() < deadline:
                r, _, _ = select.select([master], [], [], 0.5)
                if r:
                    got += os.read(master, 64)
            self.assertEqual(got, b"hello")
        finally:
            env.unmap_com(7)
            os.close(master)
            os.close(slave)


if __name__ == "__main__":
    unittest.main()

"""The programs start under Wine, show their windows and end with the right
exit status."""

import unittest

import harness


class TamrinStartup(unittest.TestCase):
    def test_frame_appears_and_close_ends_with_status_0(self):
        env = harness.env()
        folder = env.install(["Tamrin.exe"])
        p = env.start_program(f"{folder}/Tamrin.exe")
        env.x_window("Tamrin V3.04j", timeout=60)
        rc, _ = env.winctl("close", "Tamrin V3.04j")
        self.assertEqual(rc, 0, "winctl found no frame to close")
        self.assertEqual(p.wait(timeout=30), 0)

    def test_frame_geometry(self):
        env = harness.env()
        folder = env.install(["Tamrin.exe"])
        p = env.start_program(f"{folder}/Tamrin.exe")
        env.x_window("Tamrin V3.04j", timeout=60)
        rc, out = env.winctl("rect", "Tamrin V3.04j")
        env.winctl("close", "Tamrin V3.04j")
        self.assertEqual(p.wait(timeout=30), 0)
        self.assertEqual(rc, 0)
        self.assertEqual(out.strip(), "0,0,700,640")


class IgnisStartup(unittest.TestCase):
    def test_dialog_title_and_client_area(self):
        env = harness.env()
        folder = env.install(["Ignis.exe"])
        p = env.start_program(f"{folder}/Ignis.exe")
        env.x_window("KALUNA FLASH UTILITY", timeout=60)
        rc, out = env.winctl("client", "KALUNA FLASH UTILITY")
        self.assertEqual(rc, 0)
        self.assertEqual(out.strip(), "492,348")
        env.winctl("close", "KALUNA FLASH UTILITY")
        self.assertEqual(p.wait(timeout=30), 0)


if __name__ == "__main__":
    unittest.main()

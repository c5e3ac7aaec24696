"""The installer window of the real executable under Wine and Xvfb.

Without a window manager the X window of the main window is its client area,
so xdotool reports the client's size and screen position, its input lands at
client coordinates, and a screenshot of the root window shows exactly what
the program painted (GDI shapes are not anti-aliased, so probes see exact
colours). Runs go against the HTTPS test hosts with the stand-in setup as the
package. Screenshots are kept under the build folder (test-artifacts/window).
"""
import json
import os
import re
import struct
import subprocess
import tempfile
import time
import unittest
import xml.etree.ElementTree as ElementTree

import e2e_support
import installer_support
from e2e_support import BUILD_DIR, WINE, windows_path
from field_test import Scanner

EXE = BUILD_DIR / "test-bin" / "QuarvelOnlineSetup.exe"
PRODUCTION_EXE = BUILD_DIR / "bin" / "QuarvelOnlineSetup.exe"
ARTIFACTS = BUILD_DIR / "test-artifacts" / "window"
TITLE = "Quarvel · 安装"
DIALOG_TITLE = "选择 Quarvel 安装文件夹"
PREVIEW_TEXT = "预览 · 打开正式安装程序后自动开始下载"
DESKTOP_KEY = "HKCU\\Control Panel\\Desktop"
MANIFEST_PATH = "/api/v2/releases/quarvel/latest.json"

WHITE = (0xFF, 0xFF, 0xFF)
TEAL = (0x0B, 0x6B, 0x75)
VERSION_PILL = (0xE9, 0xF6, 0xF2)
UNREACHED_CIRCLE = (0xEB, 0xEF, 0xED)
PROGRESS_TRACK = (0xE7, 0xEE, 0xEA)
PASSIVE_BUTTON = (0xF2, 0xF6, 0xF4)
SECONDARY_TEXT = (0x69, 0x75, 0x71)
WARNING_TEXT = (0x9C, 0x4D, 0x3D)

# Logical points inside painted shapes, away from edges and labels.
MAIN_BUTTON = (481, 398)
# Left of the main button: its focus ring (2 units), then a gap (2 units).
RING_ROW = ((471, 398), (472, 398), (473, 398), (474, 398))
STAGE_CIRCLES = ((36, 206), (214, 206), (392, 206))
BROWSE_BUTTON = (521, 353)
LOCATION_BOX = (200, 353)
EMPTY_SPOT = (300, 88)
STATUS_TEXT = (32, 258, 488, 300)  # left, top, right, bottom


def scaled(value, dpi):
    """The program's scale(): half away from zero, DPI below 97 taken as 96."""
    dpi = dpi if dpi >= 97 else 96
    product = value * dpi
    return (product + 48) // 96 if product >= 0 else -((-product + 48) // 96)


def shown_dpi(width, height, system_dpi):
    """The DPI a client area of width x height is laid out at: the system
    DPI, or the one the window lowered it to so that it fits the screen."""
    for dpi in range(system_dpi, 95, -1):
        if (scaled(600, dpi), scaled(440, dpi)) == (width, height):
            return dpi
    return system_dpi


def wait_until(condition, timeout, interval=0.1):
    """The first true value of condition() within timeout seconds, else None."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(interval)
    return None


def xdotool(*arguments):
    return subprocess.run(["xdotool", *map(str, arguments)], capture_output=True, text=True)


def wait_for_a_desktop_with_display(timeout=20):
    """Waits until no Wine desktop process without DISPLAY is left.

    A desktop of this prefix started by a program that had no display (for
    instance a service started before Xvfb) makes every window fail; it exits
    a moment after its last client, and the next window starts one that has
    DISPLAY. Desktops of other prefixes (other namespaces) do not matter.
    """
    def no_blind_desktop():
        found = subprocess.run(["pgrep", "-f", "explorer.exe /desktop"], capture_output=True,
                               text=True).stdout.split()
        prefix = b"WINEPREFIX=" + str(e2e_support.WINE_PREFIX).encode()
        for pid in found:
            try:
                with open(f"/proc/{pid}/environ", "rb") as environ:
                    variables = environ.read().split(b"\0")
            except OSError:
                continue
            display = any(v.startswith(b"DISPLAY=") for v in variables)
            if prefix in variables and not display:
                return False
        return True

    if not wait_until(no_blind_desktop, timeout, interval=0.25):
        raise RuntimeError("a Wine desktop without a display stays up")


def find_window(name, timeout):
    def search():
        found = xdotool("search", "--name", name).stdout.split()
        return found[0] if found else None

    return wait_until(search, timeout, interval=0.2)


def window_geometry(window):
    values = dict(line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell",
                                                         window).stdout.split())
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def reg(*arguments):
    return subprocess.run([WINE, "reg", *arguments], capture_output=True, text=True)


class SystemDpi:
    """Sets the prefix's system DPI (LogPixels, read by each program at its
    start) for the block and puts the previous value back afterwards."""

    def __init__(self, dpi):
        self.dpi = dpi
        self.previous = None

    def __enter__(self):
        query = reg("query", DESKTOP_KEY, "/v", "LogPixels")
        match = re.search(r"LogPixels\s+REG_DWORD\s+0x([0-9a-fA-F]+)", query.stdout)
        self.previous = int(match.group(1), 16) if match else None
        reg("add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(self.dpi), "/f")
        return self

    def __exit__(self, *_):
        if self.previous is None:
            reg("delete", DESKTOP_KEY, "/v", "LogPixels", "/f")
        else:
            reg("add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                str(self.previous), "/f")


class Screenshot:
    """The screen as RGB bytes, read at logical client coordinates."""

    def __init__(self, path, origin, dpi):
        self.path = path
        self.origin = origin
        self.dpi = dpi
        self.width = int(subprocess.run(["identify", "-format", "%w", path], capture_output=True,
                                        text=True, check=True).stdout)
        self.rgb = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                                  check=True).stdout

    def pixel_at(self, x, y):
        """The colour at client pixel (x, y)."""
        offset = ((self.origin[1] + y) * self.width + self.origin[0] + x) * 3
        return tuple(self.rgb[offset:offset + 3])

    def pixel(self, x, y):
        """The colour at logical point (x, y)."""
        return self.pixel_at(scaled(x, self.dpi), scaled(y, self.dpi))

    def colours_in(self, left, top, right, bottom):
        """The colours of a logical rectangle."""
        return {self.pixel_at(x, y)
                for y in range(scaled(top, self.dpi), scaled(bottom, self.dpi))
                for x in range(scaled(left, self.dpi), scaled(right, self.dpi))}


class Installer:
    """One start of the executable, with its main window found."""

    def __init__(self, *arguments, environment=None, dpi=96):
        wait_for_a_desktop_with_display()
        self.dpi = dpi
        env = dict(os.environ, WINEPREFIX=str(e2e_support.WINE_PREFIX), WINEDEBUG="-all,err+all",
                   WINEDLLOVERRIDES="mscoree,mshtml=", **(environment or {}))
        # What Wine itself says (a failed start, say) is kept for the failure message.
        self.wine_output = tempfile.TemporaryFile()
        self.process = subprocess.Popen([WINE, str(EXE), *map(str, arguments)], env=env,
                                        stdin=subprocess.DEVNULL, stdout=self.wine_output,
                                        stderr=subprocess.STDOUT)
        self.window = find_window("^" + TITLE + "$", timeout=30)
        if self.window is None:
            ended = self.process.poll()
            self.stop()
            raise AssertionError(
                "the main window did not appear; the program "
                + ("was still running" if ended is None else f"ended with {ended}")
                + f"; Wine said: {self.said()}")
        self.x, self.y, self.width, self.height = window_geometry(self.window)
        self.dpi = shown_dpi(self.width, self.height, dpi)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait(timeout=30)

    def running(self):
        return self.process.poll() is None

    def said(self):
        """What Wine wrote while running the program."""
        self.wine_output.seek(0)
        return self.wine_output.read().decode(errors="replace") or "nothing"

    def screenshot(self, name, settle=0.4):
        """Waits a few timer ticks, then captures the screen to an artifact."""
        time.sleep(settle)
        ARTIFACTS.mkdir(parents=True, exist_ok=True)
        path = str(ARTIFACTS / (name + ".png"))
        subprocess.run(["import", "-window", "root", path], check=True,
                       stderr=subprocess.DEVNULL)
        return Screenshot(path, (self.x, self.y), self.dpi)

    def click(self, x, y):
        """A click released at client pixel (x, y)."""
        xdotool("mousemove", "--window", self.window, x, y, "click", "1")

    def click_logical(self, point):
        self.click(scaled(point[0], self.dpi), scaled(point[1], self.dpi))

    def focus_main_window(self):
        """The keyboard to the window, then a click on an empty spot, which
        also takes the focus out of the box."""
        xdotool("windowfocus", self.window)
        self.click_logical(EMPTY_SPOT)

    def focus_location_box(self):
        """The keyboard to the window, then a click into the location box."""
        xdotool("windowfocus", self.window)
        self.click_logical(LOCATION_BOX)

    def key(self, name):
        xdotool("key", name)

    def type(self, text):
        """Types text into the focused control. xdotool type drops Shift here,
        so shifted characters go as explicit key presses."""
        shifted = {":": "semicolon", "_": "minus"}
        for run in re.findall(r"[A-Z:_]|[^A-Z:_]+", text):
            if run[0] in shifted or run[0].isupper():
                xdotool("key", "shift+" + shifted.get(run, run.lower()))
            else:
                xdotool("type", "--delay", "20", run)

    def main_button_active(self):
        return self.screenshot("state", settle=0).pixel(*MAIN_BUTTON) == TEAL


def screen_size():
    root = xdotool("getdisplaygeometry").stdout.split()
    return int(root[0]), int(root[1])


def read_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


class WindowTest(unittest.TestCase):
    """A fresh folder with the run's files: cache, report, install location."""

    def setUp(self):
        self.folder = e2e_support.temp_dir(self)
        self.cache = self.folder / "cache"
        self.report = self.folder / "report.json"
        self.progress = self.folder / "report.progress.json"
        self.record = self.folder / "setup-record.json"
        self.install_dir = self.folder / "install"

    def start(self, *arguments, dpi=96, environment=None):
        installer = self.installer = Installer("--cache-dir", windows_path(self.cache), "--report",
                              windows_path(self.report), *arguments, dpi=dpi,
                              environment={"QUARVEL_STAND_IN_RECORD": windows_path(self.record),
                                           **(environment or {})})
        self.addCleanup(installer.stop)
        return installer

    def outcome(self):
        """The run's report as text, or that there is none yet and what Wine said."""
        if self.report.exists():
            return self.report.read_text(encoding="utf-8")
        return f"none; Wine said: {self.installer.said()}"

    def progress_percent(self):
        try:
            return read_json(self.progress)["percent"]
        except (OSError, ValueError):
            return None

    def assert_stays_open(self, installer, seconds):
        time.sleep(seconds)
        self.assertTrue(installer.running(), "the window closed")


class WindowLayout(WindowTest):
    def assert_centred_client_area(self, installer, width, height):
        self.assertEqual((installer.width, installer.height), (width, height))
        screen_width, screen_height = screen_size()
        # The frame is as wide on the left as on the right, so the client
        # area is centred horizontally; the caption pushes it down a little.
        self.assertEqual(installer.x, (screen_width - width) // 2)
        below_centre = installer.y - (screen_height - height) // 2
        self.assertGreater(below_centre, 0)
        self.assertLessEqual(below_centre, 40)

    def test_client_area_is_600_by_440_at_96_dpi_and_centred(self):
        with SystemDpi(96):
            self.assert_centred_client_area(self.start("--preview"), 600, 440)

    def test_client_area_is_900_by_660_at_144_dpi_and_centred(self):
        with SystemDpi(144):
            self.assert_centred_client_area(self.start("--preview", dpi=144), 900, 660)


class PreviewWindow(WindowTest):
    def test_preview_shows_its_text_and_never_starts_a_download(self):
        installer = self.start("--preview")
        installer.click_logical((475, 382))
        installer.focus_main_window()
        installer.key("Return")
        self.assert_stays_open(installer, 2)
        with open(self.progress, encoding="utf-8") as f:
            progress = f.read()
        self.assertEqual(progress, json.dumps({"percent": 0, "text": PREVIEW_TEXT},
                                              ensure_ascii=False, separators=(",", ":")))
        self.assertFalse(self.cache.exists(), "a run touched the cache")
        self.assertFalse(self.report.exists(), "a run wrote its report")

    def check_preview_picture(self, dpi):
        with SystemDpi(dpi):
            shot = self.start("--preview", dpi=dpi).screenshot(f"preview-{dpi}dpi")
        probes = {
            "background above the headline": (EMPTY_SPOT, WHITE),
            "background beside the stages": ((580, 206), WHITE),
            "version pill": ((516, 47), VERSION_PILL),
            "stage 1 circle, reached": (STAGE_CIRCLES[0], TEAL),
            "stage 2 circle, not reached": (STAGE_CIRCLES[1], UNREACHED_CIRCLE),
            "stage 3 circle, not reached": (STAGE_CIRCLES[2], UNREACHED_CIRCLE),
            "empty progress track, left": ((40, 242), PROGRESS_TRACK),
            "empty progress track, right": ((560, 242), PROGRESS_TRACK),
            "passive main button": (MAIN_BUTTON, PASSIVE_BUTTON),
            "background right of the main button": ((580, 398), WHITE),
        }
        for name, (point, colour) in probes.items():
            self.assertEqual(shot.pixel(*point), colour, f"{name} at {dpi} DPI")
        icon = shot.pixel(36, 49)
        self.assertTrue(all(abs(a - b) <= 12 for a, b in zip(icon, TEAL)),
                        f"the header icon's teal edge at {dpi} DPI: {icon}")
        status = shot.colours_in(*STATUS_TEXT)
        self.assertIn(SECONDARY_TEXT, status, "the preview text in the secondary colour")
        self.assertNotIn(WARNING_TEXT, status)

    def test_preview_colours_at_96_dpi(self):
        self.check_preview_picture(96)

    def test_preview_colours_at_144_dpi(self):
        self.check_preview_picture(144)

    def test_browse_opens_the_folder_dialog_and_cancel_leaves_the_box_unchanged(self):
        installer = self.start("--preview", "--install-dir", "D:\\Quarvel")
        box = installer.screenshot("browse-before").colours_in(40, 345, 450, 362)
        installer.click_logical(BROWSE_BUTTON)
        dialog = find_window("^" + DIALOG_TITLE + "$", timeout=15)
        self.assertIsNotNone(dialog, "the folder dialog did not open")
        x, y, width, height = window_geometry(dialog)
        installer.screenshot("browse-dialog")
        # Wine's folder dialog: Cancel sits in its bottom-right corner.
        xdotool("mousemove", "--window", dialog, width - 35, height - 14, "click", "1")
        self.assertTrue(wait_until(lambda: not xdotool("search", "--name", DIALOG_TITLE)
                                   .stdout.strip(), 10), "the dialog stayed open")
        self.assertEqual(installer.screenshot("browse-after").colours_in(40, 345, 450, 362), box)
        self.assertTrue(installer.running())


class StoppedWindow(WindowTest):
    """Runs that fail at once: the release host has no manifest (HTTP 404)."""

    def setUp(self):
        super().setUp()
        self.hosts = e2e_support.test_hosts()
        self.hosts.start()
        self.addCleanup(self.hosts.stop)

    def runs(self):
        return sum(1 for request in self.hosts.requests if request.path == MANIFEST_PATH)

    def start_stopped(self, dpi=96):
        self.report.unlink(missing_ok=True)
        installer = self.start(dpi=dpi)
        self.assertTrue(wait_until(self.report.exists, 30), "the first run did not end")
        self.assertTrue(wait_until(installer.main_button_active, 10), "no continue button")
        return installer

    def assert_new_run(self, action, expected):
        before = self.runs()
        action()
        if expected:
            self.assertTrue(wait_until(lambda: self.runs() > before, 10), "no new run started")
        else:
            time.sleep(1.5)
            self.assertEqual(self.runs(), before, "a new run started")

    def test_a_failed_run_shows_its_message_as_a_warning_with_continue(self):
        installer = self.start_stopped()
        self.assertEqual(read_json(self.report),
                         {"error": "获取版本失败（HTTP 404）", "status": "failed"})
        shot = installer.screenshot("stopped")
        self.assertEqual(shot.pixel(*MAIN_BUTTON), TEAL, "the active continue button")
        self.assertIn(WHITE, shot.colours_in(500, 390, 540, 406), "its white label")
        status = shot.colours_in(*STATUS_TEXT)
        self.assertIn(WARNING_TEXT, status)
        self.assertNotIn(SECONDARY_TEXT, status)
        self.assertEqual(shot.pixel(*STAGE_CIRCLES[1]), UNREACHED_CIRCLE)

    def test_only_a_release_inside_the_main_button_continues(self):
        for dpi in (96, 144):
            with self.subTest(dpi=dpi), SystemDpi(dpi):
                installer = self.start_stopped(dpi)
                s = lambda v: scaled(v, dpi)  # noqa: E731
                self.assert_new_run(lambda: installer.click(s(568), s(398)), False)
                self.assert_new_run(lambda: installer.click(s(520), s(414)), False)
                self.assert_new_run(lambda: installer.click(s(474), s(398)), False)
                self.assert_new_run(lambda: installer.click(s(520), s(381)), False)
                self.assert_new_run(lambda: installer.click(s(475), s(382)), True)
                self.assertTrue(wait_until(installer.main_button_active, 10))
                self.assert_new_run(lambda: installer.click(s(568) - 1, s(414) - 1), True)
                installer.stop()

    def test_enter_and_space_on_the_main_window_continue_but_not_in_the_box(self):
        installer = self.start_stopped()
        installer.focus_main_window()
        self.assert_new_run(lambda: installer.key("Return"), True)
        self.assertTrue(wait_until(installer.main_button_active, 10))
        self.assert_new_run(lambda: installer.key("space"), True)
        self.assertTrue(wait_until(installer.main_button_active, 10))
        installer.focus_location_box()
        self.assert_new_run(lambda: installer.key("Return"), False)
        self.assert_new_run(installer.focus_main_window, False)
        self.assert_new_run(lambda: installer.key("Return"), True)

    def use_the_browse_button(self, installer, key, folder=None):
        """Opens the folder dialog with `key`, then picks `folder` (Wine's
        dialog: its name field along the bottom) or cancels. Without a window
        manager nothing gives the keyboard back when it closes: the test does."""
        installer.key(key)
        dialog = find_window("^" + DIALOG_TITLE + "$", timeout=15)
        self.assertIsNotNone(dialog, "the focus was not on the browse button")
        time.sleep(0.5)  # a click while the dialog is laid out goes astray
        _, _, width, height = window_geometry(dialog)
        offset = (-35, -14) if folder is None else (120 - width // 2, -42)
        xdotool("windowfocus", dialog)
        xdotool("mousemove", "--window", dialog, width + offset[0], height + offset[1], "click", "1")
        if folder is not None:
            installer.type(windows_path(folder))
            installer.key("Return")
        self.assertTrue(wait_until(lambda: not xdotool("search", "--name", DIALOG_TITLE)
                                   .stdout.strip(), 10), "the dialog stayed open")
        xdotool("windowfocus", installer.window)

    def test_tab_cycles_through_box_browse_and_main_button_which_shows_its_focus(self):
        installer = self.start_stopped()
        installer.focus_main_window()
        installer.key("Tab")
        installer.key("Tab")
        shot = installer.screenshot("focus-on-browse")
        self.assertEqual([shot.pixel(*p) for p in RING_ROW], [WHITE] * 4)
        # Picked or cancelled, the dialog hands the focus back to the browse
        # button, whose next stop is the main button.
        self.use_the_browse_button(installer, "space", self.folder)
        installer.key("Tab")
        shot = installer.screenshot("focus-on-main-button")
        self.assertEqual([shot.pixel(*p) for p in RING_ROW], [TEAL, TEAL, WHITE, WHITE])
        self.assertEqual(shot.pixel(*MAIN_BUTTON), TEAL)
        self.assert_new_run(lambda: installer.key("space"), True)
        self.assertTrue(wait_until(installer.main_button_active, 10))
        installer.key("shift+Tab")
        self.use_the_browse_button(installer, "Return")
        installer.key("shift+Tab")
        installer.key("shift+Tab")
        self.assert_new_run(lambda: installer.key("Return"), True)

    def test_at_192_dpi_the_window_is_laid_out_smaller_to_fit_the_screen(self):
        with SystemDpi(192):
            installer = self.start_stopped(192)
        self.assertEqual(screen_size(), (1366, 768), "the display of the test")
        self.assertTrue(96 < installer.dpi < 192, f"laid out at {installer.dpi} DPI")
        # Centred, with room for the caption above the client area.
        self.assertEqual(installer.x, (1366 - installer.width) // 2)
        self.assertGreater(installer.y - (768 - installer.height) // 2, 0)
        self.assertLessEqual(installer.y + installer.height, 768)
        shot = installer.screenshot("fit-192dpi")
        self.assertEqual((shot.pixel(*STAGE_CIRCLES[0]), shot.pixel(580, 398)), (TEAL, WHITE))
        self.assert_new_run(lambda: installer.click_logical(MAIN_BUTTON), True)

    def test_closing_a_stopped_window_ends_the_process(self):
        installer = self.start_stopped()
        installer.focus_main_window()
        installer.key("alt+F4")
        self.assertEqual(installer.process.wait(timeout=10), 0)


class RunningWindow(WindowTest):
    """Runs against hosts that serve the stand-in setup as the package."""

    def setUp(self):
        super().setUp()
        self.hosts = e2e_support.test_hosts()
        self.package = installer_support.stand_in_package()
        installer_support.publish(self.hosts, self.package)
        self.hosts.start()
        self.addCleanup(self.hosts.stop)

    def start_install(self, **options):
        return self.start("--install-dir", windows_path(self.install_dir), **options)

    def wait_for_download(self):
        percent = wait_until(lambda: (self.progress_percent() or 0) >= 90, 60)
        self.assertTrue(percent, "the download did not finish")
        return time.monotonic()

    def installed_into(self):
        arguments = read_json(self.record)["arguments"]
        return arguments[arguments.index("--install-dir") + 1]

    def test_a_full_install_counts_down_installs_and_closes_by_itself(self):
        installer = self.start_install()
        downloaded = self.wait_for_download()
        shot = installer.screenshot("countdown", settle=2)
        self.assertFalse(self.record.exists(), "the setup started during the countdown")
        self.assertEqual([shot.pixel(*c) for c in STAGE_CIRCLES], [TEAL, TEAL, UNREACHED_CIRCLE])
        self.assertEqual(shot.pixel(*MAIN_BUTTON), PASSIVE_BUTTON, "the passive pause button")
        self.assertEqual(shot.pixel(520, 242), TEAL, "the fill at 94 %")
        self.assertEqual(shot.pixel(560, 242), PROGRESS_TRACK)
        self.assertTrue(wait_until(self.record.exists, 30), "the setup did not start")
        countdown = time.monotonic() - downloaded
        self.assertGreaterEqual(countdown, 4.8)
        self.assertLess(countdown, 9)
        self.assertEqual(self.installed_into(), windows_path(self.install_dir))

        def done():
            shot = installer.screenshot("done", settle=0)
            return shot.pixel(*STAGE_CIRCLES[2]) == TEAL and shot.pixel(*MAIN_BUTTON) == TEAL

        self.assertTrue(wait_until(done, 30, interval=0), "the Done state was not shown")
        seen = time.monotonic()
        self.assertEqual(installer.process.wait(timeout=10), 0)
        self.assertGreater(time.monotonic() - seen, 1.1, "closed before 1.6 s had passed")
        report = read_json(self.report)
        self.assertEqual((report["status"], report["installDir"]),
                         ("complete", windows_path(self.install_dir)))
        self.assertTrue((self.install_dir / "quarvel-install.json").is_file())

    def test_a_folder_picked_during_the_countdown_is_installed_into(self):
        picked = self.folder / "picked"
        picked.mkdir()
        installer = self.start_install()
        self.wait_for_download()
        installer.click_logical(BROWSE_BUTTON)
        dialog = find_window("^" + DIALOG_TITLE + "$", timeout=15)
        self.assertIsNotNone(dialog, "the folder dialog did not open")
        time.sleep(6)
        self.assertFalse(self.record.exists(), "installed while the dialog was open")
        # Wine's folder dialog: the file name field runs along its bottom.
        _, _, width, height = window_geometry(dialog)
        xdotool("windowfocus", dialog)
        xdotool("mousemove", "--window", dialog, width // 2 + 120, height - 42, "click", "1")
        installer.type(windows_path(picked))
        xdotool("key", "Return")
        closed = wait_until(lambda: not xdotool("search", "--name", DIALOG_TITLE).stdout.strip(),
                            10)
        self.assertTrue(closed, "the dialog stayed open")
        closed_at = time.monotonic()
        installer.screenshot("picked")
        self.assertTrue(wait_until(self.record.exists, 30),
                        f"the setup did not start; the report: {self.outcome()}")
        self.assertGreaterEqual(time.monotonic() - closed_at, 4.5, "the countdown did not restart")
        self.assertEqual(self.installed_into(), windows_path(picked) + "\\Quarvel")
        self.assertEqual(installer.process.wait(timeout=30), 0)

    def test_typing_goes_on_in_the_box_after_a_switch_to_another_program(self):
        typed, typed_later = windows_path(self.folder) + "\\My Apps", "\\Quarvel"
        installer = self.start("--install-dir", "")
        downloaded = self.wait_for_download()
        installer.focus_location_box()
        installer.type(typed)
        # Away in another program mid-edit (Wine's notepad), past the countdown's end.
        notepad = subprocess.Popen([WINE, "notepad"], env=e2e_support.wine_environment(),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(notepad.wait, timeout=30)
        self.addCleanup(notepad.kill)
        other = find_window("Notepad$", timeout=30)
        self.assertIsNotNone(other, "notepad did not open")
        xdotool("windowfocus", other)
        time.sleep(max(0.0, downloaded + 7 - time.monotonic()))
        self.assertFalse(self.record.exists(), "installed while the user was away mid-edit")
        # Back as notepad closes (without a window manager, the window that
        # closes hands the activation over): the keys go on into the box.
        xdotool("key", "--window", other, "alt+F4")
        self.assertEqual(notepad.wait(timeout=30), 0)
        time.sleep(1)
        xdotool("windowfocus", installer.window)
        installer.type(typed_later)
        installer.key("Return")
        confirmed = time.monotonic()
        if not wait_until(self.record.exists, 30):
            installer.screenshot("enter-not-confirmed")
            self.fail(f"Enter did not end the editing; the run's report: {self.outcome()}")
        self.assertGreaterEqual(time.monotonic() - confirmed, 4.5, "the countdown did not restart")
        self.assertEqual(self.installed_into(), typed + typed_later)
        self.assertEqual(installer.process.wait(timeout=30), 0)

    def test_pause_during_the_checks_before_the_setup_stops_the_run(self):
        installer = self.start_install()
        downloaded = self.wait_for_download()
        # A scanner holds the package from the countdown into the checks,
        # which wait for it; meanwhile the main button still pauses.
        scanner = Scanner(self.cache / installer_support.FILE_NAME, "-", 10_000)
        scanner.wait_until_held()
        time.sleep(max(0.0, downloaded + 6.5 - time.monotonic()))
        installer.click_logical(MAIN_BUTTON)
        self.assertTrue(wait_until(self.report.exists, 15), "the run did not end")
        self.assertEqual(read_json(self.report),
                         {"error": "下载已暂停，可重试继续下载", "status": "failed"})
        self.assertFalse(self.record.exists(), "the setup started")
        self.assertTrue(wait_until(installer.main_button_active, 10), "no continue button")
        scanner.lines()

    def test_pause_during_the_download_stops_and_continue_resumes(self):
        self.hosts.always(e2e_support.quarvel_test_hosts.Fault(path="/downloads/", rate=250_000))
        installer = self.start_install()
        self.assertTrue(wait_until(lambda: (self.cache / "network.log").exists(), 30))
        time.sleep(3)
        installer.click_logical(MAIN_BUTTON)
        self.assertTrue(wait_until(installer.main_button_active, 15), "the run did not stop")
        self.assertEqual(read_json(self.report)["status"], "failed")
        self.assertFalse(self.record.exists())
        installer.screenshot("paused")
        self.hosts.clear_faults()
        installer.click_logical(MAIN_BUTTON)
        self.assertTrue(wait_until(self.record.exists, 60), "the continued run did not install")
        self.assertEqual(installer.process.wait(timeout=30), 0)
        report = read_json(self.report)
        self.assertEqual(report["status"], "complete")
        self.assertGreater(report["resumedBytes"], 0, "the download did not resume")
        self.assertEqual(report["resumedBytes"] + report["transferredBytes"], len(self.package))

    def test_closing_during_the_download_ends_the_process_at_once(self):
        self.hosts.always(e2e_support.quarvel_test_hosts.Fault(path="/downloads/", rate=100_000))
        installer = self.start_install()
        self.assertTrue(wait_until(lambda: (self.cache / "network.log").exists(), 30))
        time.sleep(1)
        installer.focus_main_window()
        installer.key("alt+F4")
        self.assertEqual(installer.process.wait(timeout=5), 0)
        self.assertFalse(self.record.exists())

    def test_closing_is_refused_while_installing(self):
        installer = self.start_install(environment={"QUARVEL_STAND_IN_SECONDS": "5"})
        self.assertTrue(wait_until(self.record.exists, 60), "the setup did not start")
        installer.focus_main_window()
        installer.key("alt+F4")
        installer.click_logical(MAIN_BUTTON)
        self.assert_stays_open(installer, 2)
        shot = installer.screenshot("installing", settle=0)
        self.assertEqual([shot.pixel(*c) for c in STAGE_CIRCLES], [TEAL, TEAL, TEAL])
        self.assertEqual(shot.pixel(*MAIN_BUTTON), PASSIVE_BUTTON)
        self.assertEqual(installer.process.wait(timeout=30), 0, "it closes itself after the setup")
        self.assertEqual(read_json(self.report)["status"], "complete")


RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


def pe_resources(path):
    """{(type, id, language): bytes} of a PE32+ file's resource section."""
    with open(path, "rb") as f:
        image = f.read()
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<2xH12xH", image, pe + 4)
    optional = pe + 24
    if struct.unpack_from("<H", image, optional)[0] != 0x20B:
        raise ValueError("not PE32+")
    resource_rva = struct.unpack_from("<I", image, optional + 112 + 2 * 8)[0]
    table = [struct.unpack_from("<8xII4xI", image, optional + optional_size + 40 * i)
             for i in range(sections)]

    def offset(rva):
        for virtual_size, address, raw in table:
            if address <= rva < address + max(virtual_size, 1):
                return raw + rva - address
        raise ValueError(f"RVA {rva:#x} outside the sections")

    base = offset(resource_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<12xHH", image, base + directory)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", image, base + directory + 16 + 8 * i)
            yield name, target

    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names & 0x7FFFFFFF):
            for language, data in entries(languages & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", image, base + data)
                found[(kind, name, language)] = image[offset(rva):offset(rva) + size]
    return found


def version_block(data, at=0):
    """One VS_VERSIONINFO node: (key, value bytes, children), and its end."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[value_at:value_at + value_size]
    children = []
    child = (value_at + value_size + 3) & ~3
    while child < end:
        node, child_end = version_block(data, child)
        children.append(node)
        child = (child_end + 3) & ~3
    return (key, value, children), end


class ModuleResources(unittest.TestCase):
    """Icon group 1, the manifest and the version block of both executables."""

    def resources(self, path):
        resources = pe_resources(path)
        self.assertTrue(all(language == 0 for _, _, language in resources),
                        "every resource is language neutral")
        return {(kind, name): data for (kind, name, _), data in resources.items()}

    def test_icon_group_holds_seven_32_bit_sizes(self):
        for path in (EXE, PRODUCTION_EXE):
            resources = self.resources(path)
            group = resources[(RT_GROUP_ICON, 1)]
            _, kind, count = struct.unpack_from("<HHH", group, 0)
            self.assertEqual((kind, count), (1, 7))
            sizes = []
            for i in range(count):
                width, height, _, _, _, bits, size, icon_id = struct.unpack_from(
                    "<BBBBHHIH", group, 6 + 14 * i)
                self.assertEqual(width, height)
                self.assertEqual(bits, 32)
                self.assertEqual(len(resources[(RT_ICON, icon_id)]), size)
                sizes.append(width or 256)
            self.assertEqual(sorted(sizes), [16, 24, 32, 48, 64, 128, 256])

    def test_manifest_runs_as_invoker_with_common_controls_6(self):
        resources = self.resources(EXE)
        manifests = [name for kind, name in resources if kind == RT_MANIFEST]
        self.assertEqual(manifests, [1], "exactly one application manifest")
        ns = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
              "c": "urn:schemas-microsoft-com:compatibility.v1"}
        root = ElementTree.fromstring(resources[(RT_MANIFEST, 1)])
        self.assertEqual(root.find("v1:assemblyIdentity", ns).get("name"), "Quarvel.Online.Setup")
        self.assertEqual(root.find("v1:description", ns).text,
                         "Quarvel Online Setup and Uninstaller")
        level = root.find(".//v3:requestedExecutionLevel", ns)
        self.assertEqual((level.get("level"), level.get("uiAccess")), ("asInvoker", "false"))
        dependency = root.find("v1:dependency/v1:dependentAssembly/v1:assemblyIdentity", ns)
        self.assertEqual((dependency.get("name"), dependency.get("version")),
                         ("Microsoft.Windows.Common-Controls", "6.0.0.0"))
        systems = [system.get("Id") for system in root.findall(".//c:supportedOS", ns)]
        self.assertIn("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", systems, "Windows 10")

    def test_version_block_names_the_product_in_unicode(self):
        (key, fixed, children), _ = version_block(self.resources(EXE)[(RT_VERSION, 1)])
        self.assertEqual(key, "VS_VERSION_INFO")
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
        self.assertEqual(signature, 0xFEEF04BD)
        self.assertEqual((file_ms, file_ls, product_ms, product_ls), (1, 0, 1, 0))
        blocks = {child[0]: child for child in children}
        (table_key, _, strings), = blocks["StringFileInfo"][2]
        self.assertEqual(table_key, "000004B0", "language neutral, Unicode")
        values = {name: value.decode("utf-16-le").rstrip("\0") for name, value, _ in strings}
        self.assertEqual(values, {"ProductName": "Quarvel", "FileDescription": "Quarvel 在线安装",
                                  "FileVersion": "0.1.0", "ProductVersion": "0.1.0"})
        (translation_key, translation, _), = blocks["VarFileInfo"][2]
        self.assertEqual(translation_key, "Translation")
        self.assertEqual(struct.unpack("<HH", translation), (0x0000, 1200))


if __name__ == "__main__":
    unittest.main()

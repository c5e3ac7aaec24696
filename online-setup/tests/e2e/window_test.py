"""The installer window of the real executable under Wine and Xvfb.

Without a window manager the X window of the main window is its client area,
so xdotool reports the client's size and screen position and a screenshot of
the root window shows exactly what the program painted. Screenshots are kept
under the build folder (test-artifacts/window) for people to look at.
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

BUILD = os.environ["QUARVEL_BUILD_DIR"]
WINE = "/usr/lib/wine/wine64"
EXE = os.path.join(BUILD, "test-bin", "QuarvelOnlineSetup.exe")
PRODUCTION_EXE = os.path.join(BUILD, "bin", "QuarvelOnlineSetup.exe")
ARTIFACTS = os.path.join(BUILD, "test-artifacts", "window")
TITLE = "Quarvel · 安装"
PREVIEW_TEXT = "预览 · 打开正式安装程序后自动开始下载"
DESKTOP_KEY = "HKCU\\Control Panel\\Desktop"

WHITE = (0xFF, 0xFF, 0xFF)
TEAL = (0x0B, 0x6B, 0x75)
VERSION_PILL = (0xE9, 0xF6, 0xF2)
UNREACHED_CIRCLE = (0xEB, 0xEF, 0xED)
PROGRESS_TRACK = (0xE7, 0xEE, 0xEA)
PASSIVE_BUTTON = (0xF2, 0xF6, 0xF4)
SECONDARY_TEXT = (0x69, 0x75, 0x71)
WARNING_TEXT = (0x9C, 0x4D, 0x3D)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def scaled(value, dpi):
    """The program's scale(): half away from zero, DPI below 97 taken as 96."""
    dpi = dpi if dpi >= 97 else 96
    product = value * dpi
    return (product + 48) // 96 if product >= 0 else -((-product + 48) // 96)


def wait_for_a_desktop_with_display(timeout=20):
    """Waits until no Wine desktop process without DISPLAY is left.

    A desktop started by a program that had no display (for instance a
    service started before Xvfb) makes every window fail; it exits a moment
    after its last client, and the next window starts one that has DISPLAY.
    """
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = subprocess.run(["pgrep", "-f", "explorer.exe /desktop"], capture_output=True,
                               text=True).stdout.split()
        blind = []
        for pid in found:
            try:
                with open(f"/proc/{pid}/environ", "rb") as environ:
                    if b"DISPLAY=" not in environ.read():
                        blind.append(pid)
            except OSError:
                pass
        if not blind:
            return
        time.sleep(0.25)
    raise RuntimeError("a Wine desktop without a display stays up")


def find_window(name, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = subprocess.run(["xdotool", "search", "--name", name], capture_output=True,
                               text=True)
        if found.stdout.strip():
            return found.stdout.split()[0]
        time.sleep(0.2)
    return None


def reg(*arguments):
    return subprocess.run([WINE, "reg", *arguments], capture_output=True, text=True)


class SystemDpi:
    """Sets the prefix's system DPI (LogPixels) for the programs started
    inside the block and puts the previous value back afterwards."""

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
    """The screen as RGB bytes, read at client coordinates of one window."""

    def __init__(self, path, origin):
        self.path = path
        self.origin = origin
        self.width = int(subprocess.run(["identify", "-format", "%w", path], capture_output=True,
                                        text=True, check=True).stdout)
        self.rgb = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                                  check=True).stdout

    def pixel(self, x, y):
        offset = ((self.origin[1] + y) * self.width + self.origin[0] + x) * 3
        return tuple(self.rgb[offset:offset + 3])

    def colours_in(self, left, top, right, bottom):
        return {self.pixel(x, y) for y in range(top, bottom) for x in range(left, right)}


class Installer:
    """One start of the executable with its main window found."""

    def __init__(self, *arguments):
        wait_for_a_desktop_with_display()
        self.process = subprocess.Popen([WINE, EXE, *arguments], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.window = find_window("^" + TITLE + "$", timeout=30)
        if self.window is None:
            self.stop()
            raise AssertionError("the main window did not appear")
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", self.window],
                                  capture_output=True, text=True, check=True).stdout
        values = dict(line.split("=", 1) for line in geometry.split())
        self.x, self.y = int(values["X"]), int(values["Y"])
        self.width, self.height = int(values["WIDTH"]), int(values["HEIGHT"])

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait(timeout=30)

    def screenshot(self, name, settle=0.6):
        """Waits a few timer ticks, then captures the screen to an artifact."""
        time.sleep(settle)
        os.makedirs(ARTIFACTS, exist_ok=True)
        path = os.path.join(ARTIFACTS, name + ".png")
        subprocess.run(["import", "-window", "root", path], check=True,
                       stderr=subprocess.DEVNULL)
        return Screenshot(path, (self.x, self.y))


def screen_size():
    root = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True, text=True,
                          check=True).stdout.split()
    return int(root[0]), int(root[1])


class WindowLayout(unittest.TestCase):
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
        with SystemDpi(96), Installer("--preview") as installer:
            self.assert_centred_client_area(installer, 600, 440)

    def test_client_area_is_900_by_660_at_144_dpi_and_centred(self):
        with SystemDpi(144), Installer("--preview") as installer:
            self.assert_centred_client_area(installer, 900, 660)


class PreviewWindow(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(dir=BUILD, prefix="e2e-window-")
        self.report = os.path.join(self.folder, "report.json")
        self.cache = os.path.join(self.folder, "cache")

    def start_preview(self):
        return Installer("--preview", "--report", windows_path(self.report), "--cache-dir",
                         windows_path(self.cache))

    def test_preview_shows_its_text_and_never_starts_a_download(self):
        with self.start_preview() as installer:
            time.sleep(3)
            self.assertIsNone(installer.process.poll(), "the preview window closed by itself")
            installer.screenshot("preview-96dpi", settle=0)
        with open(os.path.join(self.folder, "report.progress.json"), encoding="utf-8") as f:
            progress = f.read()
        self.assertEqual(json.loads(progress), {"percent": 0, "text": PREVIEW_TEXT})
        self.assertEqual(progress, json.dumps({"percent": 0, "text": PREVIEW_TEXT},
                                              ensure_ascii=False, separators=(",", ":")))
        self.assertFalse(os.path.exists(self.cache), "a run touched the cache")
        self.assertFalse(os.path.exists(self.report), "a run wrote its report")

    def check_preview_picture(self, dpi):
        with SystemDpi(dpi), self.start_preview() as installer:
            shot = installer.screenshot(f"preview-{dpi}dpi")

        def at(x, y):
            return shot.pixel(scaled(x, dpi), scaled(y, dpi))

        probes = {
            "background above the headline": ((300, 88), WHITE),
            "background beside the stages": ((580, 206), WHITE),
            "version pill": ((516, 47), VERSION_PILL),
            "stage 1 circle, reached": ((36, 206), TEAL),
            "stage 2 circle, not reached": ((214, 206), UNREACHED_CIRCLE),
            "stage 3 circle, not reached": ((392, 206), UNREACHED_CIRCLE),
            "empty progress track, left": ((40, 242), PROGRESS_TRACK),
            "empty progress track, right": ((560, 242), PROGRESS_TRACK),
            "passive main button": ((481, 398), PASSIVE_BUTTON),
            "background right of the main button": ((580, 398), WHITE),
        }
        for name, ((x, y), colour) in probes.items():
            self.assertEqual(at(x, y), colour, f"{name} at {dpi} DPI")
        icon = at(36, 49)
        self.assertTrue(all(abs(a - b) <= 12 for a, b in zip(icon, TEAL)),
                        f"the header icon's teal edge at {dpi} DPI: {icon}")
        status = shot.colours_in(scaled(32, dpi), scaled(258, dpi), scaled(488, dpi),
                                 scaled(300, dpi))
        self.assertIn(SECONDARY_TEXT, status, "the preview text in the secondary colour")
        self.assertNotIn(WARNING_TEXT, status)

    def test_preview_colours_at_96_dpi(self):
        self.check_preview_picture(96)

    def test_preview_colours_at_144_dpi(self):
        self.check_preview_picture(144)


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

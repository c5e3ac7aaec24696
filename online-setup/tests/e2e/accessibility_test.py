"""The installer window as a screen reader reads it, under Wine and Xvfb.

test-bin/accessibility-client.exe is another process that reads the window
through AccessibleObjectFromWindow and IAccessible alone: the tree, its walks
with accNavigate, the main button's default action and focus, and the focus,
name, value and state change events. (The order, roles and texts of every
state are unit tests of accessible_tree; here the same tree crosses the
process boundary and drives a real run.)
"""
import re
import subprocess
import tempfile
import unittest

import e2e_support
import installer_support
import window_test
from e2e_support import BUILD_DIR, WINE, windows_path
from window_test import read_json, wait_until

CLIENT = BUILD_DIR / "test-bin" / "accessibility-client.exe"
# Roles and states as the platform numbers them.
CLIENT_AREA, EDITABLE_TEXT = 10, 42
UNAVAILABLE, SELECTED, FOCUSED, CHECKED = 0x1, 0x2, 0x4, 0x10
S_FALSE = 1
DONE, CURRENT, WAITING = CHECKED, SELECTED, UNAVAILABLE
# Child ids (index + 1) of the elements that follow the state.
HEADLINE, STAGES, PROGRESS, STATUS, BOX, BROWSE, BUTTON = 3, (5, 6, 7), 8, 9, 11, 12, 14
PAUSED_MESSAGES = ("下载已暂停，可继续下载", "下载已暂停，可重试继续下载")


def start_client(*arguments, output):
    """Starts the client writing to the open file `output`. Not a pipe: a
    Wine helper that the client starts on demand (the desktop, the RPC
    service) inherits its output and outlives it, so a pipe would never end."""
    return subprocess.Popen([WINE, str(CLIENT), *arguments], env=e2e_support.wine_environment(),
                            stdout=output, stderr=subprocess.DEVNULL)


def client(*arguments):
    """Runs the client; returns its exit code and its JSON lines."""
    with tempfile.TemporaryFile() as output:
        code = start_client(*arguments, output=output).wait(timeout=60)
        output.seek(0)
        return code, e2e_support.json_lines(output.read())


def read_tree():
    """The window's tree, or None while there is no window to read."""
    code, lines = client("read")
    return lines[0] if code == 0 and lines else None


def heard(tree):
    """What a listener hears of the state: headline, stage states, percent,
    status, and the main button's label and whether it is unavailable."""
    c = tree["children"]
    return (c[HEADLINE - 1]["name"], [c[i - 1]["state"] for i in STAGES],
            c[PROGRESS - 1]["value"], c[STATUS - 1]["name"], c[BUTTON - 1]["name"],
            c[BUTTON - 1]["state"] & UNAVAILABLE)


class DrivingTheWindow(window_test.WindowTest):
    """A run against hosts that serve the stand-in setup as the package."""

    def setUp(self):
        super().setUp()
        self.hosts = e2e_support.test_hosts()
        installer_support.publish(self.hosts, installer_support.stand_in_package())
        self.hosts.start()
        self.addCleanup(self.hosts.stop)

    def wait_for_button(self, label):
        shown = lambda: (tree := read_tree()) and heard(tree)[4] == label  # noqa: E731
        self.assertTrue(wait_until(shown, 20, interval=0.3), f"no button {label}")

    def test_a_screen_reader_follows_the_run_and_pauses_and_continues_it(self):
        self.hosts.always(e2e_support.quarvel_test_hosts.Fault(path="/downloads/", rate=250_000))
        installer = self.start("--install-dir", windows_path(self.install_dir),
                               environment={"QUARVEL_STAND_IN_SECONDS": "2"})
        window_test.ARTIFACTS.mkdir(parents=True, exist_ok=True)
        watched = open(window_test.ARTIFACTS / "accessibility-watch.jsonl", "w+b")
        self.addCleanup(watched.close)
        watcher = start_client("watch", "120", output=watched)
        self.addCleanup(lambda: watcher.poll() is None and watcher.kill())
        self.assertTrue(wait_until(lambda: (self.progress_percent() or 0) >= 2, 30))
        self.wait_for_button("暂停")
        tree = read_tree()
        self.assertEqual((tree["name"], tree["role"], len(tree["children"])),
                         ("Quarvel · 安装", CLIENT_AREA, 14))
        box, browse = tree["children"][BOX - 1], tree["children"][BROWSE - 1]
        self.assertEqual((box["role"], box["name"], box["value"]),
                         (EDITABLE_TEXT, "安装位置", windows_path(self.install_dir)))
        # Wine's standard object of a push button control says "client"
        # (Windows: push button); its name is the label either way.
        self.assertEqual(browse["name"], "浏览…")
        # accNavigate meets the children in the order of the list, the two
        # controls as their own objects, and nothing past either end.
        in_order = [*range(1, BOX), "object", "object", *range(BROWSE + 1, BUTTON + 1)]
        self.assertEqual((tree["forward"], tree["backward"]),
                         ({"met": in_order, "end": S_FALSE}, {"met": in_order[::-1], "end": S_FALSE}))
        # Focus on the main window is focus on the main button.
        installer.click_logical(window_test.LOCATION_BOX)
        installer.focus_main_window()

        def button_focused():
            tree = read_tree()
            return tree and tree["children"][BUTTON - 1]["state"] & FOCUSED

        self.assertTrue(wait_until(button_focused, 10), "the main button is not focused")
        self.assertEqual(client("press", "暂停")[0], 0)
        self.wait_for_button("继续")
        paused = read_json(self.report)["error"]
        self.assertIn(paused, PAUSED_MESSAGES)
        self.hosts.clear_faults()
        self.assertEqual(client("press", "继续")[0], 0)
        self.assertEqual(installer.process.wait(timeout=90), 0, "the run did not finish")
        self.assertGreater(read_json(self.report)["resumedBytes"], 0, "it did not resume")
        watcher.wait(timeout=30)
        watched.seek(0)
        lines = e2e_support.json_lines(watched.read())

        # Each property is a call of its own: a tree read while the state
        # changes may mix two states, so each state is looked for whole. The
        # last look may find the window going away (no children).
        states = [heard(line) for line in lines if line.get("children")]
        downloads = [s for s in states if s[0] == "正在为你准备 Quarvel。" and s[4] == "暂停"]
        self.assertTrue(downloads and all(re.fullmatch(r"\d+%", s[2]) for s in downloads))
        # The button's state is read last: a look that meets the countdown's
        # end may pair "暂停" with the installing state, so the pause button
        # is judged while the download runs (below 90 %).
        running = [s for s in downloads if int(s[2][:-1]) < 90]
        self.assertTrue(running and all(s[5] == 0 for s in running), "an available pause button")
        self.assertTrue(any(s[0] == "下载已暂停。" and s[1] == [CURRENT, WAITING, WAITING]
                            and s[3:] == (paused, "继续", 0) for s in states))
        self.assertIn(("即将就绪，正在安装。", [DONE, DONE, CURRENT], "96%", "正在安装，请稍候…",
                       "安装中", UNAVAILABLE), states)
        self.assertIn(("准备好了，开始你的工作。", [DONE] * 3, "100%", "安装完成，正在打开 Quarvel",
                       "完成", 0), states)

        events = [line for line in lines if "event" in line]
        said = lambda child: {e["name"] or e["value"] for e in events  # noqa: E731
                              if e["child"] == child and e["event"] != "state"}
        self.assertGreater(len(said(PROGRESS)), 3, "the progress was announced")
        self.assertIn("100%", said(PROGRESS))
        self.assertIn("安装完成，正在打开 Quarvel", said(STATUS))
        self.assertLessEqual({"继续", "暂停", "安装中", "完成"}, said(BUTTON))
        self.assertIn(BUTTON, {e["child"] for e in events if e["event"] == "state"})
        self.assertIn(BUTTON, {e["child"] for e in events if e["event"] == "focus"})


if __name__ == "__main__":
    unittest.main()

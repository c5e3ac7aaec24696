"""The installer window as a screen reader reads it, under Wine and Xvfb.

test-bin/accessibility-client.exe is another process that reads the window
through AccessibleObjectFromWindow and IAccessible alone: the whole tree, the
main button's default action, and the name, value and state change events.
Runs go against the HTTPS test hosts with the stand-in setup as the package.
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
CLIENT_AREA, LIST_ITEM, STATIC_TEXT, PUSH_BUTTON, PROGRESS_BAR, EDITABLE_TEXT = 10, 34, 41, 43, \
    48, 42
UNAVAILABLE, SELECTED, CHECKED, READ_ONLY = 0x1, 0x2, 0x10, 0x40
DONE, CURRENT, WAITING = CHECKED, SELECTED, UNAVAILABLE
# Child ids of the elements that follow the state (index + 1).
HEADLINE, FIRST_STAGE, PROGRESS, STATUS, BUTTON = 3, 5, 8, 9, 14
# A stop request during the download ends the run with one of these.
PAUSED_MESSAGES = ("下载已暂停，可继续下载", "下载已暂停，可重试继续下载")


def start_client(*arguments, output):
    """Starts the client writing to the open file `output`. Not a pipe: a
    Wine helper the client starts on demand (the desktop, the RPC service)
    inherits its output and outlives it, and a pipe would never end."""
    return subprocess.Popen([WINE, str(CLIENT), *arguments], env=e2e_support.wine_environment(),
                            stdout=output, stderr=subprocess.DEVNULL)


def client(*arguments):
    """Runs the client; returns its exit code and its JSON lines."""
    with tempfile.TemporaryFile() as output:
        code = start_client(*arguments, output=output).wait(timeout=60)
        output.seek(0)
        return code, e2e_support.json_lines(output.read())


def read_tree():
    code, lines = client("read")
    return lines[0] if code == 0 and lines else None


def child(tree, child_id):
    return tree["children"][child_id - 1]


def summary(tree):
    """What a listener hears of the state: headline, stage states, percent,
    status, button label and whether it is unavailable."""
    return {"headline": child(tree, HEADLINE)["name"],
            "stages": [child(tree, FIRST_STAGE + i)["state"] for i in range(3)],
            "percent": child(tree, PROGRESS)["value"],
            "status": child(tree, STATUS)["name"],
            "button": child(tree, BUTTON)["name"],
            "unavailable": bool(child(tree, BUTTON)["state"] & UNAVAILABLE)}


class ReadingTheWindow(window_test.WindowTest):
    def test_the_preview_window_reads_whole_from_another_process(self):
        self.start("--preview", "--install-dir", "D:\\My Apps\\Quarvel")
        tree = wait_until(read_tree, 20)
        self.assertIsNotNone(tree, "the client could not read the window")
        self.assertEqual((tree["name"], tree["role"]), ("Quarvel · 安装", CLIENT_AREA))
        described = [(c["role"], c["name"], c["value"], c["state"]) for c in tree["children"]]
        text = lambda name: (STATIC_TEXT, name, "", READ_ONLY)  # noqa: E731
        self.assertEqual(described[:10] + described[12:], [
            text("Quarvel"), text("1.02"), text("正在为你准备 Quarvel。"),
            text("下载完成后自动安装并打开，可在下方更改安装位置。"),
            (LIST_ITEM, "下载", "", CURRENT), (LIST_ITEM, "校验", "", WAITING),
            (LIST_ITEM, "安装", "", WAITING), (PROGRESS_BAR, "", "0%", READ_ONLY),
            text(window_test.PREVIEW_TEXT), text("安装位置"),
            text("重装与升级会保留文档、最近文件、星标和设置。"),
            (PUSH_BUTTON, "预览", "", UNAVAILABLE)])
        box, browse = tree["children"][10:12]
        self.assertEqual((box["role"], box["name"], box["value"]),
                         (EDITABLE_TEXT, "安装位置", "D:\\My Apps\\Quarvel"))
        # Wine's standard object of a push button control says "client"
        # (Windows says push button); its name is the label either way.
        self.assertEqual(browse["name"], "浏览…")


class DrivingTheWindow(window_test.WindowTest):
    """Runs against hosts that serve the stand-in setup as the package."""

    def setUp(self):
        super().setUp()
        self.hosts = e2e_support.test_hosts()
        installer_support.publish(self.hosts, installer_support.stand_in_package())
        self.hosts.start()
        self.addCleanup(self.hosts.stop)

    def watch(self):
        """The client watching the window until it closes, writing its trees
        and events to a file; returns the process and the file."""
        output = open(self.folder / "watch.jsonl", "w+b")
        self.addCleanup(output.close)
        watcher = start_client("watch", "120", output=output)
        self.addCleanup(lambda: watcher.poll() is None and watcher.kill())
        return watcher, output

    def wait_for_button(self, label, timeout):
        def shown():
            tree = read_tree()
            return tree and child(tree, BUTTON)["name"] == label

        self.assertTrue(wait_until(shown, timeout, interval=0.3), f"no button {label}")

    def test_a_screen_reader_follows_the_run_and_pauses_and_continues_it(self):
        self.hosts.always(e2e_support.quarvel_test_hosts.Fault(path="/downloads/", rate=250_000))
        installer = self.start("--install-dir", windows_path(self.install_dir),
                               environment={"QUARVEL_STAND_IN_SECONDS": "2"})
        watcher, watched = self.watch()
        self.assertTrue(wait_until(lambda: (self.cache / "network.log").exists(), 30))
        self.wait_for_button("暂停", 10)
        self.assertEqual(client("press", "暂停")[0], 0)
        self.wait_for_button("继续", 15)
        report_after_pause = read_json(self.report).get("error")
        self.assertFalse(self.record.exists())
        self.hosts.clear_faults()
        self.assertEqual(client("press", "继续")[0], 0)
        self.assertEqual(installer.process.wait(timeout=90), 0, "the run did not finish")
        watcher.wait(timeout=30)
        watched.seek(0)
        output = watched.read()
        window_test.ARTIFACTS.mkdir(parents=True, exist_ok=True)
        (window_test.ARTIFACTS / "accessibility-watch.jsonl").write_bytes(output)
        lines = e2e_support.json_lines(output)
        report = read_json(self.report)
        self.assertEqual(report["status"], "complete")
        self.assertGreater(report["resumedBytes"], 0, "the download did not resume")

        # Each property is a call of its own, so a tree read while the state
        # changes may mix both states: each state must be heard whole once.
        # The last look may find the window going away (no children).
        heard = [summary(line) for line in lines if line.get("children")]
        downloading = [s for s in heard if s["button"] == "暂停" and s["stages"][0] == CURRENT]
        self.assertTrue(downloading, "no download was heard")
        self.assertTrue(all(re.fullmatch(r"\d+%", s["percent"]) for s in downloading))
        self.assertFalse(any(s["unavailable"] for s in downloading), "pause is available")
        self.assertIn(report_after_pause, PAUSED_MESSAGES)
        self.assertTrue(any(s["headline"] == "下载已暂停。" and s["button"] == "继续" and
                            s["stages"] == [CURRENT, WAITING, WAITING] and not s["unavailable"]
                            and s["status"] == report_after_pause for s in heard),
                        "the paused window was not heard")
        self.assertIn({"headline": "即将就绪，正在安装。", "stages": [DONE, DONE, CURRENT],
                       "percent": "96%", "status": "正在安装，请稍候…", "button": "安装中",
                       "unavailable": True}, heard)
        self.assertIn({"headline": "准备好了，开始你的工作。", "stages": [DONE, DONE, DONE],
                       "percent": "100%", "status": "安装完成，正在打开 Quarvel", "button": "完成",
                       "unavailable": False}, heard)

        events = [line for line in lines if "event" in line]
        said = lambda kind, child_id: [e["name"] or e["value"] for e in events  # noqa: E731
                                       if e["event"] == kind and e["child"] == child_id]
        self.assertIn("100%", said("value", PROGRESS))
        self.assertGreater(len(set(said("value", PROGRESS))), 3, "the progress was announced")
        self.assertIn("安装完成，正在打开 Quarvel", said("name", STATUS))
        self.assertTrue({"继续", "暂停", "安装中", "完成"} <= set(said("name", BUTTON)))




if __name__ == "__main__":
    unittest.main()

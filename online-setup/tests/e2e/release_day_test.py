"""Busy package hosts under Wine: the waits the real executable keeps between
attempts (a Retry-After hint, within 1 to 30 s; else a draw from 1 to 2 s),
timed by the hosts, and three installs started together that outlast a
brownout. The caching edge is tested in nginx_test."""

import concurrent.futures
import time
import unittest

import e2e_support
import installer_support
from quarvel_test_hosts import Fault

DOWNLOADS = "/downloads/"
BUSY = "result=下载服务暂时不可用（HTTP 503）"
SEGMENT = 8_388_608


def busy(**headers):
    return Fault(path=DOWNLOADS, status=503, headers=headers)


class ReleaseDay(e2e_support.HostsTestCase):
    def download(self, size=0):
        """Publishes the stand-in, padded to `size` bytes, and downloads it once;
        returns the gaps between the package requests the hosts saw, in seconds."""
        stand_in = installer_support.stand_in_package()
        installer_support.publish(self.hosts, stand_in + bytes(max(0, size - len(stand_in))))
        run = installer_support.Installer(e2e_support.temp_dir(self)).run("--download-only")
        self.assertEqual(run.exit_code, 0, run.report)
        times = [r.time for r in self.hosts.requests if r.path.startswith(DOWNLOADS)]
        return [later - earlier for earlier, later in zip(times, times[1:])]

    def test_a_hint_is_obeyed_as_a_date_against_the_answers_date_and_up_to_thirty_seconds(self):
        # A 1994 date: read against the local clock it would be no hint at all.
        self.hosts.queue(busy(Date="Sun, 06 Nov 1994 08:49:37 GMT",
                              **{"Retry-After": "Sun, 06 Nov 1994 08:49:40 GMT"}),
                         busy(**{"Retry-After": "120"}))
        gaps = self.download()
        self.assertEqual(len(gaps), 2)
        self.assertTrue(3.0 <= gaps[0] < 4.0 and 30.0 <= gaps[1] < 31.0, gaps)

    def test_without_a_hint_the_waits_are_spread_over_one_to_two_seconds(self):
        # Four busy answers on each of two segments: eight waits.
        self.hosts.queue(*[busy()] * 4, Fault(path=DOWNLOADS), *[busy()] * 4)
        gaps = self.download(SEGMENT + 1000)
        waits = gaps[:4] + gaps[5:]
        self.assertEqual(len(waits), 8)
        self.assertTrue(all(1.0 <= wait < 2.5 for wait in waits), waits)
        self.assertGreater(max(waits) - min(waits), 0.2, waits)

    def test_three_installs_started_together_outlast_a_brownout(self):
        # 503 with "Retry-After: 4" for 10 s from the first package request; with
        # waits of 1 s every install would spend its five attempts inside it.
        self.hosts.always(Fault(path=DOWNLOADS, status=503, headers={"Retry-After": "4"},
                                lasting=10))
        installer_support.publish(self.hosts, installer_support.stand_in_package())

        def install(_):
            installer = installer_support.Installer(e2e_support.temp_dir(self))
            started = time.monotonic()
            run = installer.run("--quiet", "--install-dir",
                                e2e_support.windows_path(installer.folder / "Quarvel"))
            return run, time.monotonic() - started

        with concurrent.futures.ThreadPoolExecutor(3) as pool:
            runs = list(pool.map(install, range(3)))
        for run, seconds in runs:
            self.assertEqual((run.exit_code, run.report["status"]), (0, "complete"), run.report)
            self.assertTrue((run.folder / "Quarvel" / "Quarvel.exe").is_file())
            busy_answers = sum(line.endswith(BUSY) for line in run.network_log())
            self.assertTrue(1 <= busy_answers <= 3, run.network_log())
            print(f"brownout install: {seconds:.1f} s, {busy_answers} busy answers", flush=True)


if __name__ == "__main__":
    unittest.main()

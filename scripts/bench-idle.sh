#!/usr/bin/env bash
# Idle CPU of the installer window under Wine: starts the real executable
# (test host names) once in preview mode and once as a stopped window (its run
# fails at once: nothing answers in the private namespace), waits until the
# window has settled, then reads the Wine process's CPU times (user + sys from
# /proc) over the measuring interval and prints them as percent of one core;
# beside each, the same for the prefix's wineserver over the same interval.
#
#   scripts/bench-idle.sh [SECONDS]      (default 10 per window)
#
# Needs a Windows build and its prefix (see scripts/test.sh); runs inside
# harness/netns-run, so the display and the network are private.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=$root/build/windows/wine-prefix
exe=$root/build/windows/test-bin/QuarvelOnlineSetup.exe
seconds=${1:-10}
[ -f "$exe" ] && [ -f "$prefix/system.reg" ] ||
  { echo "build the windows preset and its prefix first (scripts/test.sh)" >&2; exit 1; }
work=$(mktemp -d "$root/build/bench-idle.XXXXXX")
trap 'rm -rf "$work"' EXIT

cat > "$work/measure.py" <<'EOF'
import os, pathlib, subprocess, sys, time

exe, seconds, work, prefix = sys.argv[1], float(sys.argv[2]), pathlib.Path(sys.argv[3]), sys.argv[4]
TICKS = os.sysconf("SC_CLK_TCK")
TITLE = "^Quarvel · 安装$"


def cpu_seconds(pid):
    """user + sys seconds of a process (fields 14 and 15 of /proc/PID/stat)."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def wineserver_pid():
    """The wineserver working in this prefix's server folder, or None."""
    status = os.stat(prefix)
    folder = f"server-{status.st_dev:x}-{status.st_ino:x}"
    for entry in pathlib.Path("/proc").iterdir():
        try:
            if (entry.name.isdigit() and (entry / "comm").read_text().startswith("wineserver")
                    and os.readlink(entry / "cwd").endswith("/" + folder)):
                return int(entry.name)
        except OSError:
            continue
    return None


def wait_for(condition, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.2)
    return False


def window_shown():
    try:  # a search can hang under Xvfb; the next one is asked afresh
        return subprocess.run(["xdotool", "search", "--name", TITLE], capture_output=True,
                              text=True, timeout=5).stdout.strip() != ""
    except subprocess.TimeoutExpired:
        return False


def measure(name, *arguments, ready=lambda: True):
    folder = work / name
    folder.mkdir()
    windows = lambda path: "Z:" + str(path).replace("/", "\\")  # noqa: E731
    command = ["/usr/lib/wine/wine64", exe, "--cache-dir", windows(folder / "cache"), "--report",
               windows(folder / "report.json"), *arguments]
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        if not wait_for(window_shown, 60) or not wait_for(ready, 60):
            sys.exit(f"{name}: the window did not reach its state")
        time.sleep(2)  # settle: the first paints and the controls' start-up
        server = wineserver_pid()
        before = cpu_seconds(process.pid), server and cpu_seconds(server)
        started = time.monotonic()
        time.sleep(seconds)
        after = cpu_seconds(process.pid), server and cpu_seconds(server)
        elapsed = time.monotonic() - started
    finally:
        process.kill()
        process.wait()
    share = lambda i: 100 * (after[i] - before[i]) / elapsed  # noqa: E731
    server_text = f"{share(1):5.2f} %" if server else "    n/a"
    print(f"{name:16} {share(0):5.2f} %     {server_text}", flush=True)


print(f"idle CPU over {seconds:g} s, percent of one core")
print(f"{'window':16} {'process':10} wineserver")
measure("preview window", "--preview")
measure("stopped window", ready=lambda: (work / "stopped window" / "report.json").exists())
EOF

"$root/harness/netns-run" "$prefix" python3 "$work/measure.py" "$exe" "$seconds" "$work" "$prefix"

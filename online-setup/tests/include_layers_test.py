"""Checks that includes point one way through the layers: core, then release
(the release's identity), then http, then runner, then windows_ui, then main
(the entry). A file may include its own layer and those before it; the
harness and the benchmarks never include the entry; the manifest publisher
uses core, release and http only."""

import pathlib
import re
import sys

SOURCE = pathlib.Path(__file__).resolve().parents[2]
LAYERS = ["core", "release", "http", "runner", "windows_ui", "main"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.M)


def allowed_layers(path):
    parts = path.relative_to(SOURCE).parts
    if parts[:2] == ("online-setup", "src"):
        return set(LAYERS[: LAYERS.index(parts[2]) + 1])
    if parts[0] in ("harness",) or parts[:2] == ("online-setup", "bench"):
        return set(LAYERS[:-1])
    if parts[:2] == ("online-setup", "publisher"):
        return set(LAYERS[:3])
    return None


def violations():
    for path in sorted(SOURCE.rglob("*")):
        if path.suffix not in (".h", ".cpp") or "build" in path.relative_to(SOURCE).parts:
            continue
        allowed = allowed_layers(path)
        if allowed is None:
            continue
        for layer in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if layer in LAYERS and layer not in allowed:
                yield f"{path.relative_to(SOURCE)} includes {layer}/"


if __name__ == "__main__":
    found = list(violations())
    print("\n".join(found) or "includes point one way")
    sys.exit(1 if found else 0)

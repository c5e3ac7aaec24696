#!/usr/bin/env python3
"""Fills in quarvel-hosts.conf.in and writes, beside it, a stand-alone
nginx.conf that serves the two hosts in the foreground with everything (pid,
logs) in one folder:

    hosting/nginx/render.py OUT --release-host H --package-host H \\
        --certificate PEM --key KEY --release-root DIR --package-root DIR
    nginx -p OUT -c OUT/nginx.conf          # runs until stopped (SIGTERM)

OUT/quarvel-hosts.conf is the filled-in template (the part a server's own
nginx.conf includes); OUT/access.log logs every request in nginx's combined
format, OUT/error.log the warnings."""

import argparse
import pathlib
import re

TEMPLATE = pathlib.Path(__file__).resolve().parent / "quarvel-hosts.conf.in"
PLACEHOLDER = re.compile(r"@([A-Z_]+)@")

STAND_ALONE = """daemon off;
master_process off;
pid {out}/nginx.pid;
error_log {out}/error.log warn;
events {{ worker_connections 64; }}
http {{
  access_log {out}/access.log combined;
  include {out}/quarvel-hosts.conf;
}}
"""


def fill(template, values):
    """The template with every @NAME@ outside comments replaced by its value."""
    lines = []
    for line in template.splitlines(keepends=True):
        if not line.lstrip().startswith("#"):
            line = PLACEHOLDER.sub(lambda match: str(values[match.group(1)]), line)
        lines.append(line)
    return "".join(lines)


def render(out, values):
    """Writes OUT/quarvel-hosts.conf and OUT/nginx.conf; returns the latter's
    path. Raises KeyError for a placeholder without a value."""
    out = pathlib.Path(out).resolve()
    out.mkdir(parents=True, exist_ok=True)
    (out / "quarvel-hosts.conf").write_text(fill(TEMPLATE.read_text(encoding="utf-8"), values),
                                            encoding="utf-8")
    conf = out / "nginx.conf"
    conf.write_text(STAND_ALONE.format(out=out), encoding="utf-8")
    return conf


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out")
    for option in ("release-host", "package-host", "certificate", "key", "release-root",
                   "package-root"):
        parser.add_argument(f"--{option}", required=True)
    arguments = parser.parse_args()
    resolve = lambda path: pathlib.Path(path).resolve()  # noqa: E731
    print(render(arguments.out, {
        "RELEASE_HOST": arguments.release_host, "PACKAGE_HOST": arguments.package_host,
        "CERTIFICATE": resolve(arguments.certificate), "CERTIFICATE_KEY": resolve(arguments.key),
        "RELEASE_ROOT": resolve(arguments.release_root),
        "PACKAGE_ROOT": resolve(arguments.package_root),
    }))


if __name__ == "__main__":
    main()

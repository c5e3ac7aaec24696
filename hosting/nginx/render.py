#!/usr/bin/env python3
"""Fills in quarvel-hosts.conf.in (the origin) or quarvel-edge.conf.in (a
caching edge in front of it) and writes, beside it, a stand-alone nginx.conf
that serves it in the foreground with everything (pid, logs, the edge's cache)
in one folder:

    hosting/nginx/render.py OUT --release-host H --package-host H \\
        --certificate PEM --key KEY --release-root DIR --package-root DIR \\
        [--listen ADDRESS:PORT]
    hosting/nginx/render.py OUT --edge --origin ADDRESS:PORT --origin-ca PEM \\
        --release-host H --package-host H --certificate PEM --key KEY
    nginx -p OUT -c OUT/nginx.conf          # runs until stopped (SIGTERM)

OUT/quarvel-hosts.conf or OUT/quarvel-edge.conf is the filled-in template
(the part a server's own nginx.conf includes); OUT/access.log logs every
request in nginx's combined format followed by the cache status ("-" when the
answer did not involve the cache), OUT/error.log the warnings, OUT/cache/ holds
the edge's cache. Both listen on port 443 unless --listen says otherwise."""

import argparse
import pathlib
import re

HERE = pathlib.Path(__file__).resolve().parent
PLACEHOLDER = re.compile(r"@([A-Z_]+)@")

STAND_ALONE = """daemon off;
master_process off;
pid {out}/nginx.pid;
error_log {out}/error.log warn;
worker_rlimit_nofile 8192;
events {{ worker_connections 4096; }}
http {{
  log_format quarvel '$remote_addr - $remote_user [$time_local] "$request" $status '
                     '$body_bytes_sent "$http_referer" "$http_user_agent" $upstream_cache_status';
  access_log {out}/access.log quarvel;
  include {out}/{name};
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


def render(out, values, tier="hosts"):
    """Writes OUT/quarvel-TIER.conf (tier "hosts" or "edge") and OUT/nginx.conf;
    returns the latter's path. Raises KeyError for a placeholder without a value."""
    out = pathlib.Path(out).resolve()
    out.mkdir(parents=True, exist_ok=True)
    name = f"quarvel-{tier}.conf"
    values = dict(values, CACHE_DIR=out / "cache")
    if tier == "edge":
        (out / "cache").mkdir(exist_ok=True)  # nginx makes only the last level
    template = (HERE / f"{name}.in").read_text(encoding="utf-8")
    (out / name).write_text(fill(template, values), encoding="utf-8")
    conf = out / "nginx.conf"
    conf.write_text(STAND_ALONE.format(out=out, name=name), encoding="utf-8")
    return conf


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out")
    parser.add_argument("--edge", action="store_true", help="the caching edge, not the origin")
    parser.add_argument("--listen", default="443", help="ADDRESS:PORT or PORT (default 443)")
    for option in ("release-host", "package-host", "certificate", "key"):
        parser.add_argument(f"--{option}", required=True)
    for option in ("origin", "origin-ca", "release-root", "package-root"):
        parser.add_argument(f"--{option}")
    arguments = parser.parse_args()
    needed = ("origin", "origin-ca") if arguments.edge else ("release-root", "package-root")
    missing = [f"--{name}" for name in needed if getattr(arguments, name.replace("-", "_")) is None]
    if missing:
        parser.error(f"the following arguments are required: {', '.join(missing)}")
    resolve = lambda path: pathlib.Path(path).resolve()  # noqa: E731
    values = {
        "RELEASE_HOST": arguments.release_host.lower(),
        "PACKAGE_HOST": arguments.package_host.lower(), "LISTEN": arguments.listen,
        "CERTIFICATE": resolve(arguments.certificate), "CERTIFICATE_KEY": resolve(arguments.key),
    }
    if arguments.edge:
        values.update(ORIGIN=arguments.origin, ORIGIN_CA=resolve(arguments.origin_ca))
    else:
        values.update(RELEASE_ROOT=resolve(arguments.release_root),
                      PACKAGE_ROOT=resolve(arguments.package_root))
    print(render(arguments.out, values, "edge" if arguments.edge else "hosts"))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""CLIENTS simulated installers started at once, making exactly the online
setup's requests: the manifest, then the package from a random resume offset
in ranges of up to 8 MiB, each with its unique "?quarvel_range=" query, every
byte checked against PACKAGE. Prints one JSON line: completed, failed (with
the first error) and each client's seconds.

    release-day-clients.py CLIENTS PACKAGE CA_PEM RELEASE_HOST"""

import asyncio
import json
import random
import ssl
import sys
import time

SEGMENT = 8 << 20
MANIFEST = "/api/v2/releases/quarvel/latest.json"


async def get(context, host, target, check, first=None, last=None):
    """One GET on its own connection; `check(offset, piece)` sees every body byte.
    Returns the status and the headers (lower-case names)."""
    reader, writer = await asyncio.open_connection(host, 443, ssl=context)
    ranged = "" if first is None else f"Range: bytes={first}-{last}\r\n"
    writer.write(f"GET {target} HTTP/1.1\r\nHost: {host}\r\nUser-Agent: QuarvelOnlineSetup/1.02\r\n"
                 f"Accept-Encoding: identity\r\nConnection: close\r\n{ranged}\r\n".encode())
    head = (await reader.readuntil(b"\r\n\r\n")).decode().split("\r\n")
    headers = dict((k.lower(), v.strip()) for k, _, v in (h.partition(":") for h in head[1:] if h))
    offset = 0
    while piece := await reader.read(1 << 16):
        check(offset, piece)
        offset += len(piece)
    writer.close()
    if offset != int(headers["content-length"]):
        raise ValueError(f"{target}: {offset} of {headers['content-length']} bytes")
    return int(head[0].split()[1]), headers


async def client(context, release_host, package):
    started = time.monotonic()
    body = bytearray()
    await get(context, release_host, MANIFEST, lambda _, piece: body.extend(piece))
    manifest = json.loads(body)
    host, _, path = manifest["url"].removeprefix("https://").partition("/")
    size = manifest["bytes"]
    offset = random.randrange(size)
    while offset < size:
        first, last = offset, min(size - 1, offset + SEGMENT - 1)

        def check(at, piece):
            if package[first + at:first + at + len(piece)] != piece:
                raise ValueError(f"bytes differ at {first + at}")

        query = f"?quarvel_range={first}-{last}-0-{time.time_ns()}"
        status, headers = await get(context, host, f"/{path}{query}", check, first, last)
        if (status, headers.get("content-range")) != (206, f"bytes {first}-{last}/{size}"):
            raise ValueError(f"{status} {headers.get('content-range')} for {first}-{last}")
        offset = last + 1
    return time.monotonic() - started


async def main(clients, package_path, ca, release_host):
    package = memoryview(open(package_path, "rb").read())
    context = ssl.create_default_context(cafile=ca)
    results = await asyncio.gather(*(client(context, release_host, package)
                                      for _ in range(clients)), return_exceptions=True)
    errors = [repr(r) for r in results if isinstance(r, BaseException)]
    print(json.dumps({"completed": clients - len(errors), "failed": len(errors),
                      "first_error": errors[0] if errors else None,
                      "seconds": [r for r in results if not isinstance(r, BaseException)]}))


if __name__ == "__main__":
    asyncio.run(main(int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]))

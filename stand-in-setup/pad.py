"""pad.py IN OUT SIZE: copies a program and pads it with deterministic bytes to SIZE."""
import hashlib
import sys

source, target, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = bytearray(open(source, "rb").read())
block = hashlib.sha256(b"quarvel stand-in padding").digest()
while len(data) < size:
    block = hashlib.sha256(block).digest()
    data += block[:size - len(data)]
open(target, "wb").write(data)

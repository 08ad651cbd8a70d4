#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora to fuzz/corpus/<format>/ (small, committed).

Run again after changing it: the output is the same byte for byte.
"""
import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(fmt, name, data):
    folder = os.path.join(HERE, "corpus", fmt)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def trit(v):
    return v & 0xFF


def run_code(length, byte):
    digits = []
    for _ in range(6):
        r = length % 3
        if r == 2:
            r = -1
        digits.append(trit(r))
        length = (length - r) // 3
    return bytes([0xFF, 0x00, 0x01] + digits[::-1] + [byte])


def yif(w, h, tpp, enc, stream=b""):
    return b"YIF1" + struct.pack("<IIBBH", w, h, tpp, enc, 0) + stream


def yif_seeds(rng):
    write("yif", "worked-example.yif", yif(2, 2, 3, 1, bytes.fromhex("FF0001" "000000010000" "00" "01FF00")))
    write("yif", "header-only.yif", yif(4, 3, 3, 0))
    write("yif", "raw3.yif", yif(5, 4, 3, 0, bytes(trit(rng.randint(-1, 1)) for _ in range(60))))
    write("yif", "raw9.yif", yif(6, 5, 9, 0, bytes(trit(rng.randint(-1, 1)) for _ in range(270))))
    write("yif", "raw9-short.yif", yif(6, 5, 9, 0, bytes(trit(rng.randint(-1, 1)) for _ in range(100))))
    rle = b"".join(run_code(rng.randint(-20, 364), trit(rng.randint(-1, 1))) + bytes([1, 0]) for _ in range(12))
    write("yif", "rle9.yif", yif(16, 16, 9, 1, rle))
    write("yif", "rle-code-at-end.yif", yif(3, 1, 3, 1, run_code(9, 1)))
    write("yif", "rle-code-cut.yif", yif(3, 1, 3, 1, run_code(9, 1)[:9]))
    write("yif", "encoding2.yif", yif(2, 2, 3, 2, run_code(12, 1)))
    write("yif", "tpp5.yif", yif(2, 1, 5, 0, bytes([1, 0, 0xFF, 1, 1, 1])))
    write("yif", "width0.yif", yif(0, 9, 3, 0, bytes(9)))
    write("yif", "huge.yif", yif(0xFFFFFFFF, 0xFFFFFFFF, 9, 1, run_code(364, 1)))
    write("yif", "stray-bytes.yif", yif(4, 4, 9, 0, bytes(rng.randrange(256) for _ in range(144))))
    write("yif", "max-runs.yif", yif(64, 64, 9, 1, bytes([0xFF, 0, 1] + [0x7F] * 6 + [1]) * 8))
    write("yif", "not-yif.yif", b"YIF2" + bytes(12))
    write("yif", "opaque-tail.yif", yif(64, 64, 3, 0, bytes([1, 0, 0xFF, 1])))


def ydf_seeds(rng):
    full = (b'{"@ydf": "1.0", "kind": "brochure", "id": "BR-7", "title": "Spring range",\n'
            b' "issuer": {"name": "Kestrel & Co", "url": "https://kestrel.example"},\n'
            b' "sections": [\n'
            b'  {"kicker": "Intro", "title": "Hello", "paragraph": "A \\"quoted\\" word\\n",\n'
            b'   "list": ["one", "two", 3, true, ["nested"], "four"]},\n'
            b'  {"kicker": "Only kicker"},\n'
            b'  {"kicker": 5, "title": null, "paragraph": "", "list": "not an array"}\n'
            b' ],\n "sig": "0123456789abcdef0123"}\n')
    write("ydf", "full.ydf", full)
    write("ydf", "empty.ydf", b"")
    write("ydf", "issuer-string.ydf", b'{"issuer": "nobody", "name": "x", "title":"T"}')
    write("ydf", "unterminated.ydf", b'{"title": "never ends \\')
    write("ydf", "kicker-no-quote.ydf", b'{"kicker": 12345}')
    write("ydf", "kickers.ydf", b'{"kicker":"k"}' * 200)
    write("ydf", "far-keys.ydf", b'{"kicker":"k",' + b" " * 198 + b'"title":"t",' + b" " * 990 + b'"paragraph":"p"}')
    write("ydf", "binary.ydf", bytes(rng.randrange(256) for _ in range(300)))
    write("ydf", "embedded-nul.ydf", b'{"title": "before\x00after"}')
    # 2 KB whose sections all show one list: more lines than its size allows, so it is cut.
    write("ydf", "shared-list.ydf", b'"kicker":"""list":0' * 80 + b'"list":[' + b'"",' * 160 + b"]")


def yaf(rate, channels, bits, frames, threshold, samples=b""):
    return b"YAF7" + struct.pack("<IHHIhH", rate, channels, bits, frames, threshold, 0) + samples


def yaf_seeds(rng):
    pcm = b"".join(struct.pack("<h", rng.randint(-32768, 32767)) for _ in range(64))
    write("yaf", "stereo.yaf", yaf(44100, 2, 16, 16, -300, pcm))
    write("yaf", "mono-8k.yaf", yaf(8000, 1, 16, 64, 0, pcm))
    write("yaf", "header-only.yaf", yaf(44100, 1, 16, 0, 0))
    write("yaf", "clamped.yaf", yaf(22050, 2, 16, 10, 5, pcm[:7]))
    write("yaf", "zero-channels.yaf", yaf(8000, 0, 16, 0xFFFFFFFF, 0, pcm[:8]))
    write("yaf", "zero-rate.yaf", yaf(0, 1, 8, 4, -1, pcm[:8]))
    write("yaf", "many-channels.yaf", yaf(48000, 0xFFFF, 24, 3, 0, pcm))
    write("yaf", "not-yaf.yaf", b"YAF8" + bytes(16))


if __name__ == "__main__":
    yif_seeds(random.Random(2026))
    ydf_seeds(random.Random(2027))
    yaf_seeds(random.Random(2028))

#!/usr/bin/env python3
"""Writes a corpus of hostile files for the three programs into OUTDIR.

    make_hostile.py OUTDIR

OUTDIR/yif, OUTDIR/yaf and OUTDIR/ydf get at least fifty files each: empty and
one-byte files, files just under and at each header size, magic numbers one byte
off, extreme header values, streams that expand the most per byte, binary garbage.
The same arguments always give the same bytes.
"""
import os
import random
import struct
import sys


class Corpus:
    def __init__(self, root, fmt):
        self.folder = os.path.join(root, fmt)
        self.ext = fmt
        os.makedirs(self.folder, exist_ok=True)
        self.count = 0

    def add(self, name, data):
        with open(os.path.join(self.folder, f"{name}.{self.ext}"), "wb") as f:
            f.write(data)
        self.count += 1


def add_damaged(c, good, cuts, header_size):
    """The empty and one-byte files, GOOD cut short at each of CUTS and after its header,
    and GOOD with each byte of its magic number one bit off."""
    c.add("empty", b"")
    c.add("one-byte", good[:1])
    for n in cuts:
        c.add(f"cut-{n}", good[:n])
    c.add("header-only", good[:header_size])
    for i in range(4):
        bad = bytearray(good)
        bad[i] ^= 0x01
        c.add(f"magic-off-{i}", bytes(bad))


def trits(rng, n, stray=0.0):
    out = bytearray(rng.choice((0xFF, 0x00, 0x01)) for _ in range(n))
    for i in range(int(n * stray)):
        out[rng.randrange(n)] = rng.randrange(256)
    return bytes(out)


def run_code(length, byte, digit_bytes=None):
    digits = []
    for _ in range(6):
        r = length % 3
        if r == 2:
            r = -1
        digits.append(r & 0xFF)
        length = (length - r) // 3
    return bytes([0xFF, 0x00, 0x01] + (digit_bytes or digits[::-1]) + [byte])


def yif(w, h, tpp=3, enc=0, stream=b"", magic=b"YIF1"):
    return magic + struct.pack("<IIBBH", w & 0xFFFFFFFF, h & 0xFFFFFFFF, tpp, enc, 0) + stream


def yif_corpus(c, rng):
    good = yif(4, 3, 3, 0, trits(rng, 36))
    add_damaged(c, good, (4, 8, 15), 16)
    c.add("magic-lowercase", b"yif1" + good[4:])
    for name, w, h in (("width-0", 0, 7), ("height-0", 7, 0), ("both-0", 0, 0),
                       ("width-2p31", 2**31, 1), ("height-2p31", 1, 2**31),
                       ("width-max", 2**32 - 1, 1), ("height-max", 1, 2**32 - 1),
                       ("both-max", 2**32 - 1, 2**32 - 1), ("over-2gib", 32768, 32768),
                       ("just-over-2gib", 16384, 32768), ("wide-line", 2**29, 1)):
        c.add(name, yif(w, h, 9, 1, run_code(364, 1) * 4))
    # 16 bytes that name the largest bitmap there is (2 GiB) and give it no pixel.
    c.add("header-only-2gib", yif(16384, 32767, 9, 0))
    for tpp in (0, 1, 2, 4, 5, 8, 10, 27, 255):
        c.add(f"tpp-{tpp}", yif(6, 4, tpp, 0, trits(rng, 80)))
    for enc in (2, 3, 128, 255):
        c.add(f"encoding-{enc}", yif(6, 4, 3, enc, run_code(30, 1) + trits(rng, 40)))
    # The most expansion per byte: every code asks for 46228 copies (digits all 0x7F).
    maxcode = run_code(0, 1, [0x7F] * 6)
    c.add("max-runs-small-picture", yif(16, 16, 9, 1, maxcode * 20000))
    c.add("max-runs-big-picture", yif(2048, 2048, 9, 1, maxcode * 20000))
    c.add("negative-runs", yif(8, 8, 3, 1, run_code(0, 1, [0x80] * 6) * 500 + trits(rng, 192)))
    c.add("zero-runs", yif(8, 8, 3, 1, run_code(0, 1) * 1000))
    c.add("markers-only", yif(8, 8, 3, 1, bytes([0xFF, 0x00, 0x01]) * 300))
    c.add("marker-at-end", yif(8, 8, 3, 1, trits(rng, 100) + bytes([0xFF, 0x00, 0x01])))
    c.add("code-one-short", yif(3, 1, 3, 1, run_code(9, 1)[:9]))
    c.add("stray-bytes-raw9", yif(32, 32, 9, 0, bytes(rng.randrange(256) for _ in range(32 * 32 * 9))))
    c.add("stray-bytes-rle", yif(32, 32, 9, 1, trits(rng, 9000, stray=0.2)))
    c.add("one-trit-left", yif(5, 5, 3, 0, trits(rng, 4)))
    c.add("two-trits-left", yif(5, 5, 9, 0, trits(rng, 11)))
    c.add("stream-too-long", yif(2, 2, 3, 0, trits(rng, 100000)))
    c.add("large-raw", yif(1024, 768, 9, 0, trits(rng, 1024 * 768 * 9)))
    for i in range(6):
        c.add(f"garbage-{i}", bytes(rng.randrange(256) for _ in range(rng.randrange(16, 4000))))
        c.add(f"garbage-header-{i}", b"YIF1" + bytes(rng.randrange(256) for _ in range(rng.randrange(12, 600))))


def yaf(rate, ch, bits, frames, threshold, samples=b"", magic=b"YAF7"):
    return magic + struct.pack("<IHHIhH", rate & 0xFFFFFFFF, ch, bits, frames & 0xFFFFFFFF, threshold, 0) + samples


def pcm(rng, n):
    return b"".join(struct.pack("<h", rng.randint(-32768, 32767)) for _ in range(n))


def yaf_corpus(c, rng):
    good = yaf(8000, 1, 16, 64, 0, pcm(rng, 64))
    add_damaged(c, good, (4, 12, 19), 20)
    c.add("magic-yaf8", b"YAF8" + good[4:])
    c.add("magic-lowercase", b"yaf7" + good[4:])
    c.add("zero-channels-max-frames", yaf(8000, 0, 16, 2**32 - 1, 0, pcm(rng, 100)))
    c.add("zero-channels-zero-frames", yaf(8000, 0, 16, 0, 0))
    c.add("rate-0", yaf(0, 1, 16, 64, 0, pcm(rng, 64)))
    c.add("rate-0-no-frames", yaf(0, 1, 16, 0, 0))
    c.add("rate-max", yaf(2**32 - 1, 2, 16, 32, 0, pcm(rng, 64)))
    c.add("rate-1", yaf(1, 1, 16, 64, 0, pcm(rng, 64)))
    c.add("channels-max", yaf(44100, 65535, 16, 3, 0, pcm(rng, 1000)))
    c.add("channels-max-no-data", yaf(44100, 65535, 16, 2**32 - 1, 0))
    c.add("frames-max", yaf(44100, 2, 16, 2**32 - 1, 0, pcm(rng, 1000)))
    c.add("frames-max-odd-data", yaf(44100, 2, 16, 2**32 - 1, 0, pcm(rng, 1001)[:-1]))
    c.add("partial-frame", yaf(22050, 3, 16, 10, 0, pcm(rng, 7)[:13]))
    c.add("fewer-frames-than-data", yaf(8000, 1, 16, 5, 0, pcm(rng, 5000)))
    for bits in (0, 8, 24, 32, 65535):
        c.add(f"bits-{bits}", yaf(16000, 1, bits, 100, 0, pcm(rng, 100)))
    for t in (-32768, -1, 32767):
        c.add(f"threshold-{t}", yaf(16000, 1, 16, 100, t, pcm(rng, 100)))
    c.add("full-scale", yaf(8000, 1, 16, 8, 0, struct.pack("<8h", *([32767, -32768] * 4))))
    c.add("silence", yaf(8000, 2, 16, 4000, 0, bytes(16000)))
    c.add("one-frame", yaf(44100, 1, 16, 1, 0, pcm(rng, 1)))
    c.add("large-stereo", yaf(44100, 2, 16, 4_000_000, 0, bytes(rng.randrange(256) for _ in range(1 << 16)) * 244))
    c.add("unused-bytes-set", good[:18] + b"\xff\xff" + good[20:])
    for i in range(8):
        c.add(f"garbage-{i}", bytes(rng.randrange(256) for _ in range(rng.randrange(20, 3000))))
        c.add(f"garbage-header-{i}", b"YAF7" + bytes(rng.randrange(256) for _ in range(rng.randrange(16, 800))))


def ydf_doc(rng, sections=3):
    parts = [b'{"@ydf": "1.0", "kind": "contract", "id": "C-9", "title": "Terms",',
             b' "issuer": {"name": "Osprey Ltd", "url": "https://osprey.example"}, "sections": [']
    for i in range(sections):
        parts.append(b'{"kicker": "K%d", "title": "Section %d", "paragraph": "Text %d.", "list": ["a", "b"]},' % (i, i, i))
    parts.append(b'], "sig": "00112233445566778899"}')
    return b"\n".join(parts)


def ydf_corpus(c, rng):
    good = ydf_doc(rng)
    c.add("empty", b"")
    c.add("one-byte", b"{")
    c.add("just-a-quote", b'"')
    c.add("lone-backslash", b"\\")
    c.add("valid", good)
    c.add("cut-in-half", good[: len(good) // 2])
    c.add("unterminated-5mb", b'{"title": "' + b"x" * (5 << 20))
    c.add("backslashes-1mb", b'{"title": "' + b"\\" * (1 << 20))
    c.add("kickers-20000", b'{"kicker":"k"}' * 20000)
    c.add("kickers-no-value", b'{"kicker": 1}' * 5000)
    c.add("kicker-no-quote-after", b'{"kicker": 12345}')
    c.add("sections-200", ydf_doc(rng, 200))
    # Every section shows the one list at the end: sections x items lines, cut by the
    # renderer at a run per byte of the document.
    for name, n in (("shared-list-22k", 1000), ("shared-list-220k", 10000)):
        c.add(name, b'"kicker":"""list":0' * n + b'"list":[' + b'"",' * n + b"]")
    c.add("list-unclosed", b'{"kicker":"k","list":["a","b","c"' + b',"x"' * 10000)
    c.add("list-not-array", b'{"kicker":"k","list":"no"} {"kicker":"m","list":["late"]}')
    c.add("nested-lists", b'{"kicker":"k","list":[[[[["deep"]]]],"after"]}')
    c.add("deep-nesting", b"[" * 100000 + b'"title":"x"' + b"]" * 100000)
    c.add("issuer-string", b'{"issuer":"x","name":"n"}')
    c.add("issuer-at-end", b'{"title":"t","issuer"')
    c.add("issuer-no-fields", b'{"issuer":{}}')
    c.add("key-at-end", b'{"title"')
    c.add("key-colon-at-end", b'{"title":')
    c.add("value-on-next-line", b'{"title":\n"t"}')
    c.add("crlf", good.replace(b"\n", b"\r\n"))
    c.add("lone-cr", good.replace(b"\n", b"\r"))
    c.add("tabs-in-values", b'{"title":"a\tb","kicker":"\t","paragraph":"\t\t"}')
    c.add("high-bytes", b'{"title":"' + bytes(range(0x80, 0x100)) + b'","kicker":"\xe9\xe8"}')
    c.add("control-bytes", b'{"title":"' + bytes(range(1, 0x20)) + b'"}')
    c.add("embedded-nul", b'{"title":"before\x00after","kicker":"k"}')
    c.add("nul-first", b"\x00" + good)
    c.add("long-title", b'{"title":"' + b"T" * 100000 + b'"}')
    c.add("long-paragraph", b'{"kicker":"k","paragraph":"' + b"p" * 100000 + b'"}')
    c.add("long-item", b'{"kicker":"k","list":["' + b"i" * 100000 + b'","next"]}')
    c.add("long-sig", b'{"sig":"' + b"s" * 10000 + b'"}')
    c.add("long-key", b'{"' + b"k" * 100000 + b'":"v"}')
    c.add("escaped-quotes", b'{"title":"\\"\\"\\"","kicker":"\\\\","list":["\\"]"]}')
    c.add("unicode-escapes", b'{"title":"\\u00e9\\u0000\\ud800"}')
    c.add("utf8-bom", b"\xef\xbb\xbf" + good)
    c.add("utf16", good.decode().encode("utf-16"))
    c.add("keys-as-values", b'{"a":"title","title":"real","b":"kicker","kicker":"k"}')
    c.add("only-quotes", b'"' * 10000)
    c.add("only-colons", b'"title"' + b":" * 10000 + b'"v"')
    c.add("rtf-like", b'{"title":"{\\\\rtf1 \\\\b bold} }{","kicker":"\\\\par"}')
    c.add("json-numbers", b'{"@ydf":1,"id":2,"kind":3,"title":4,"sig":5}')
    c.add("far-title-199", b'{"kicker":"k",' + b" " * 184 + b'"title":"near"}')
    c.add("far-title-200", b'{"kicker":"k",' + b" " * 185 + b'"title":"far"}')
    for i in range(8):
        c.add(f"garbage-{i}", bytes(rng.randrange(256) for _ in range(rng.randrange(1, 5000))))
        c.add(f"garbage-text-{i}", bytes(rng.choice(b'{}[]":,\\ kickertitlelistparagraph') for _ in range(3000)))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    for fmt, build, seed in (("yif", yif_corpus, 1), ("yaf", yaf_corpus, 2), ("ydf", ydf_corpus, 3)):
        corpus = Corpus(root, fmt)
        build(corpus, random.Random(seed))
        print(f"{fmt}: {corpus.count} files")


if __name__ == "__main__":
    main()

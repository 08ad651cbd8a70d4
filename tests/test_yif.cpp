#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "yif_image.h"
#include "yif_view.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes yifFile(uint32_t w, uint32_t h, uint8_t tritsPerPixel, uint8_t encoding, const Bytes& stream) {
    Bytes f = {'Y', 'I', 'F', '1'};
    for (uint32_t v : {w, h})
        for (int i = 0; i < 4; ++i) f.push_back(uint8_t(v >> (8 * i)));
    f.push_back(tritsPerPixel);
    f.push_back(encoding);
    f.push_back(0);
    f.push_back(0);
    f.insert(f.end(), stream.begin(), stream.end());
    return f;
}

// A run code repeating `byte` `len` times (len in -364..364), as balanced-ternary digits.
Bytes runCode(int len, uint8_t byte) {
    int8_t digits[6];
    for (int i = 5; i >= 0; --i) {
        int r = ((len % 3) + 3) % 3;
        if (r == 2) r = -1;
        digits[i] = int8_t(r);
        len = (len - r) / 3;
    }
    Bytes code = {0xFF, 0x00, 0x01};
    for (int8_t d : digits) code.push_back(uint8_t(d));
    code.push_back(byte);
    return code;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct Decoded {
    yif::Info info;
    Bytes pixels;  // B,G,R,A
};

// Into an uncleared buffer every byte must be written, so it starts as garbage; into a
// zero-filled one it starts as zero, as the viewer's DIB section does.
Decoded decode(const Bytes& file, yif::Target target = yif::Target::Uncleared) {
    Decoded d;
    d.info = yif::inspect(file.data(), file.size());
    if (d.info.error != yif::Error::None) return d;
    d.pixels.assign(size_t(yif::pixelBytes(d.info.header)), target == yif::Target::Uncleared ? 0xCD : 0);
    if (!d.pixels.empty())
        yif::decodePixels(file.data(), file.size(), d.info, d.pixels.data(), d.pixels.size(), target);
    return d;
}

// The decoding written out plainly, step by step, to check the fast decoder against.
Bytes referenceDecode(const Bytes& file) {
    const yif::Info info = yif::inspect(file.data(), file.size());
    const uint32_t w = info.header.width, h = info.header.height;
    Bytes in(file.begin() + 16, file.end()), trits;
    if (info.header.encoding == 1) {
        size_t off = 0;
        while (off < in.size()) {
            if (off + 9 < in.size() && in[off] == 0xFF && in[off + 1] == 0 && in[off + 2] == 1) {
                int len = 0;
                for (int i = 3; i <= 8; ++i) len = len * 3 + int8_t(in[off + i]);
                for (int i = 0; i < len; ++i) trits.push_back(in[off + 9]);
                off += 10;
            } else {
                trits.push_back(in[off++]);
            }
        }
    } else {
        trits = in;
    }
    auto ch3 = [](uint8_t t) -> uint8_t { return int8_t(t) < 0 ? 0 : t == 0 ? 128 : 255; };
    auto ch9 = [&](size_t p) -> uint8_t {
        return uint8_t((9 * int8_t(trits[p]) + 3 * int8_t(trits[p + 1]) + int8_t(trits[p + 2]) + 13) * 255 /
                       26);
    };
    Bytes px(size_t(w) * h * 4, 0);
    const size_t n = trits.size();
    size_t p = 0;
    for (uint32_t y = 0; y < h; ++y) {
        if (p >= n) continue;
        for (uint32_t x = 0;; ++x) {
            uint8_t* o = &px[(size_t(y) * w + x) * 4];
            if (info.header.tritsPerPixel == 9 && p + 9 <= n) {
                o[2] = ch9(p), o[1] = ch9(p + 3), o[0] = ch9(p + 6);
                p += 9;
            } else if (p + 3 <= n) {
                o[2] = ch3(trits[p]), o[1] = ch3(trits[p + 1]), o[0] = ch3(trits[p + 2]);
                p += 3;
            }
            o[3] = 255;
            if (x + 1 >= w || p >= n) break;
        }
    }
    return px;
}

TEST(YifWorkedExample, RunCodeThenLiterals) {
    const Bytes file = yifFile(2, 2, 3, 1, {0xFF, 0x00, 0x01, 0, 0, 0, 1, 0, 0, 0x00, 0x01, 0xFF, 0x00});
    ASSERT_EQ(file.size(), 29u);
    const Decoded d = decode(file);
    EXPECT_EQ(d.info.tritCount, 12u);
    EXPECT_EQ(d.pixels, (Bytes{0x80, 0x80, 0x80, 0xFF, 0x80, 0x80, 0x80, 0xFF,  //
                               0x80, 0x80, 0x80, 0xFF, 0x80, 0x00, 0xFF, 0xFF}));
    EXPECT_EQ(yif::statusLine(d.info), "YIF v1.0 | 2x2 | 3-trit (27 colors) | RLE | 29 bytes");
}

TEST(YifWorkedExample, HeaderOnlyGivesBlackBitmapAndStatus) {
    const Decoded d = decode(yifFile(4, 3, 3, 0, {}));
    EXPECT_EQ(d.pixels, Bytes(4 * 3 * 4, 0));
    EXPECT_EQ(yif::statusLine(d.info), "YIF v1.0 | 4x3 | 3-trit (27 colors) | Raw | 16 bytes");
}

TEST(YifChannels, NineTritSums) {
    // Red from sums 0, 1 and 2; green 13; blue 25 / 26 in the second pixel.
    const Bytes t = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x01,  // 0, 1, 2
                     0,    0,    0,    1,    1,    0,    1,    1,    1};    // 13, 25, 26
    const Decoded d = decode(yifFile(2, 1, 9, 0, t));
    EXPECT_EQ(d.pixels, (Bytes{19, 9, 0, 255, 255, 245, 127, 255}));
}

TEST(YifChannels, UniformNineTritPixels) {
    for (auto [trit, value] : {std::pair<uint8_t, uint8_t>{0x00, 127}, {0x01, 255}, {0xFF, 0}}) {
        const Decoded d = decode(yifFile(1, 1, 9, 0, Bytes(9, trit)));
        EXPECT_EQ(d.pixels, (Bytes{value, value, value, 255})) << int(trit);
    }
}

TEST(YifChannels, StrayTritBytesTakenBySign) {
    EXPECT_EQ(decode(yifFile(1, 1, 3, 0, {0x02, 0x80, 0x7F})).pixels, (Bytes{255, 0, 255, 255}));
    // Nine-trit sums far outside 0..26 keep the low 8 bits of the product.
    const Bytes t = {0x7F, 0x7F, 0x7F, 0x80, 0x80, 0x80, 0x05, 0x00, 0x00};
    const uint8_t red = uint8_t((13 * 127 + 13) * 255 / 26);
    const uint8_t green = uint8_t((13 * -128 + 13) * 255 / 26);
    const uint8_t blue = uint8_t((45 + 13) * 255 / 26);
    EXPECT_EQ(decode(yifFile(1, 1, 9, 0, t)).pixels, (Bytes{blue, green, red, 255}));
}

TEST(YifStreamEnd, OneOrTwoTritsLeftMarkTheRestOpaque) {
    EXPECT_EQ(decode(yifFile(2, 1, 3, 0, {1, 0, 0xFF, 1})).pixels, (Bytes{0, 128, 255, 255, 0, 0, 0, 255}));
    EXPECT_EQ(decode(yifFile(2, 1, 3, 0, {1, 0, 0xFF})).pixels, (Bytes{0, 128, 255, 255, 0, 0, 0, 0}));
    // The leftover reaches every later row too.
    const Decoded d = decode(yifFile(1, 3, 3, 0, {0, 0, 0, 1, 1}));
    EXPECT_EQ(d.pixels, (Bytes{128, 128, 128, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
}

TEST(YifStreamEnd, NineTritModeFallsBackToThreeTritPixels) {
    Bytes t(9, 0);
    t.insert(t.end(), {1, 0xFF, 0});
    const Decoded d = decode(yifFile(1, 2, 9, 0, t));
    EXPECT_EQ(d.pixels, (Bytes{127, 127, 127, 255, 128, 0, 255, 255}));
}

TEST(YifStreamEnd, RowsContinueWhereThePreviousStopped) {
    // Width 2 with 9-trit mode: the stream is read straight across the row boundary.
    Bytes t;
    for (int i = 0; i < 4; ++i) t.insert(t.end(), 9, uint8_t(i % 2 ? 1 : 0xFF));
    const Decoded d = decode(yifFile(2, 2, 9, 0, t));
    EXPECT_EQ(d.pixels, (Bytes{0, 0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255}));
}

TEST(YifStreamEnd, ZeroFilledTargetKeepsTheUnreachedTailUntouched) {
    // A canary in place of the zeros shows which bytes the decoder writes: with a
    // zero-filled target only the pixels the stream makes, or the opaque fill after a
    // leftover of one or two trits.
    struct Case {
        Bytes stream;
        size_t made;  // pixels the stream makes
        bool opaque;  // a leftover marks the rest 0,0,0,255
    };
    const Case cases[] = {{{}, 0, false},
                          {Bytes(3 * 37, 1), 37, false},
                          {Bytes(3 * 37 + 2, 1), 37, true},
                          {Bytes(9 * 5 + 1, 0), 15, true}};
    for (const Case& c : cases) {
        const Bytes file = yifFile(61, 43, 3, 0, c.stream);
        const yif::Info info = yif::inspect(file.data(), file.size());
        Bytes px(size_t(yif::pixelBytes(info.header)), 0xCD);
        yif::decodePixels(file.data(), file.size(), info, px.data(), px.size(), yif::Target::ZeroFilled);
        const Bytes made = decode(file).pixels;
        for (size_t i = 0; i < px.size(); ++i) {
            const uint8_t want = i < 4 * c.made ? made[i] : c.opaque ? (i % 4 == 3 ? 255 : 0) : 0xCD;
            ASSERT_EQ(px[i], want) << "byte " << i << " of a stream of " << c.stream.size();
        }
    }
}

TEST(YifRuns, CodeEndingAtStreamEndIsExpanded) {
    const Decoded d = decode(yifFile(3, 1, 3, 1, runCode(9, 1)));
    EXPECT_EQ(d.info.tritCount, 9u);
    EXPECT_EQ(d.pixels, Bytes(12, 255));
}

TEST(YifRuns, CodeOneByteShortIsLiteral) {
    Bytes code = runCode(9, 1);
    code.pop_back();  // nine bytes: FF 00 01 and six digits, taken as literal trits
    const Decoded d = decode(yifFile(3, 1, 3, 1, code));
    EXPECT_EQ(d.info.tritCount, 9u);
    EXPECT_EQ(d.pixels, (Bytes{255, 128, 0, 255, 128, 128, 128, 255, 128, 128, 255, 255}));
}

TEST(YifRuns, MarkerInsideLiteralDataStartsACode) {
    // Meant as three pixels (-1,0,+1), (0,0,0), (+1,0,0), (0,0,0): read as one code of
    // length 0*243+0*81+1*27+0+0+0 = 27 repeating 00, and nothing else.
    const Bytes t = {0xFF, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    const Decoded d = decode(yifFile(4, 1, 3, 1, t));
    EXPECT_EQ(d.info.tritCount, 27u + 2u);
}

TEST(YifRuns, ZeroAndNegativeLengthsWriteNothing) {
    const Decoded d = decode(yifFile(1, 1, 3, 1, cat({runCode(0, 1), runCode(-364, 1), {0, 0, 0}})));
    EXPECT_EQ(d.info.tritCount, 3u);
    EXPECT_EQ(d.pixels, (Bytes{128, 128, 128, 255}));
}

TEST(YifRuns, EncodingLabelsAndExpansionDiffer) {
    const Bytes code = runCode(3, 1);
    const Decoded rle = decode(yifFile(1, 1, 3, 1, code));
    const Decoded two = decode(yifFile(1, 1, 3, 2, code));  // taken raw, labelled RLE
    const Decoded raw = decode(yifFile(1, 1, 3, 0, code));
    EXPECT_EQ(rle.pixels, (Bytes{255, 255, 255, 255}));
    EXPECT_EQ(two.pixels, (Bytes{255, 128, 0, 255}));
    EXPECT_EQ(two.info.tritCount, 10u);
    EXPECT_NE(yif::statusLine(two.info).find("| RLE |"), std::string::npos);
    EXPECT_NE(yif::statusLine(raw.info).find("| Raw |"), std::string::npos);
}

TEST(YifRuns, OddTritsPerPixelDecodeAsThree) {
    const Decoded d = decode(yifFile(1, 1, 5, 0, {1, 1, 1}));
    EXPECT_EQ(d.pixels, (Bytes{255, 255, 255, 255}));
    EXPECT_EQ(yif::statusLine(d.info), "YIF v1.0 | 1x1 | 5-trit (27 colors) | Raw | 19 bytes");
    EXPECT_EQ(yif::statusLine(decode(yifFile(1, 1, 9, 0, {})).info),
              "YIF v1.0 | 1x1 | 9-trit (19683 colors) | Raw | 16 bytes");
}

TEST(YifRuns, HugeRunsExpandOnlyWhatThePictureUses) {
    // 2000 codes of the longest run a stray-digit code can ask for (46228 bytes each):
    // 92 million trits for a 3x3 picture.
    Bytes stream;
    const Bytes code = {0xFF, 0, 1, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x01};
    for (int i = 0; i < 2000; ++i) stream.insert(stream.end(), code.begin(), code.end());
    const Decoded d = decode(yifFile(3, 3, 9, 1, stream));
    EXPECT_EQ(d.info.tritCount, 2000u * 46228u);
    EXPECT_EQ(d.pixels, Bytes(36, 255));
}

TEST(YifRuns, MatchesPlainDecodingOnRandomStreams) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        const uint32_t w = rng() % 40 + 1, h = rng() % 40 + 1;
        const uint8_t tpp = rng() % 2 ? 9 : 3;
        Bytes stream;
        const size_t target = rng() % (size_t(w) * h * 12 + 20);
        while (stream.size() < target) {
            switch (rng() % 8) {
                case 0: stream.push_back(uint8_t(rng())); break;  // any byte at all
                case 1: {
                    const Bytes c = runCode(int(rng() % 729) - 364, uint8_t(rng() % 3 + 0xFF));
                    stream.insert(stream.end(), c.begin(), c.end());
                    break;
                }
                case 2: stream.insert(stream.end(), {0xFF, 0, 1}); break;  // bare marker
                default: stream.push_back(uint8_t(rng() % 3 + 0xFF)); break;
            }
        }
        const Bytes file = yifFile(w, h, tpp, uint8_t(rng() % 3), stream);
        const Bytes expected = referenceDecode(file);
        ASSERT_EQ(decode(file).pixels, expected) << "round " << round;
        ASSERT_EQ(decode(file, yif::Target::ZeroFilled).pixels, expected) << "round " << round;

        // What coverage() says the stream reaches, and a decode of only the rows it
        // reaches, are the whole picture's.
        yif::Info info = yif::inspect(file.data(), file.size());
        const yif::Coverage made = yif::coverage(info);
        for (size_t i = made.pixels * 4; i < expected.size(); i += 4) {
            uint32_t pixel;
            std::memcpy(&pixel, &expected[i], 4);
            ASSERT_EQ(pixel, made.restPixel) << "round " << round << ", byte " << i;
        }
        info.header.height = uint32_t((made.pixels + w - 1) / w);
        Bytes rows(size_t(info.header.height) * w * 4);
        if (!rows.empty()) yif::decodePixels(file.data(), file.size(), info, rows.data(), rows.size());
        ASSERT_TRUE(std::equal(rows.begin(), rows.end(), expected.begin())) << "round " << round;
    }
}

TEST(YifRuns, MatchesPlainDecodingOnTritImages) {
    // Mostly valid trits, in blocks large enough for the vectorised path, with now and
    // then one stray byte that sends its block through the table path.
    std::mt19937 rng(99);
    for (int round = 0; round < 60; ++round) {
        const uint32_t w = uint32_t(rng() % 70 + 1), h = uint32_t(rng() % 70 + 1);
        const uint8_t tpp = round % 2 ? 9 : 3;
        Bytes stream(size_t(w) * h * tpp + rng() % 20);
        for (uint8_t& t : stream) t = uint8_t(rng() % 3 + 0xFF);
        for (int i = 0; i < round % 4; ++i) stream[rng() % stream.size()] = uint8_t(rng());
        const Bytes file = yifFile(w, h, tpp, 0, stream);
        ASSERT_EQ(decode(file).pixels, referenceDecode(file)) << "round " << round;
    }
}

TEST(YifRuns, LongRunsAcrossPieceBoundaries) {
    // Runs and literals that straddle the decoder's internal pieces, in both modes.
    Bytes stream;
    for (int i = 0; i < 400; ++i) {
        const Bytes c = runCode(364 - i % 7, uint8_t(i % 3 + 0xFF));
        stream.insert(stream.end(), c.begin(), c.end());
        stream.insert(stream.end(), size_t(i % 11), uint8_t(i % 3));
    }
    for (uint8_t tpp : {3, 9}) {
        const Bytes file = yifFile(131, 97, tpp, 1, stream);
        EXPECT_EQ(decode(file).pixels, referenceDecode(file)) << int(tpp);
    }
}

TEST(YifRefusals, SizeAndMagic) {
    EXPECT_EQ(decode(Bytes{}).info.error, yif::Error::TooSmall);
    Bytes fifteen = yifFile(1, 1, 3, 0, {});
    fifteen.pop_back();
    EXPECT_EQ(decode(fifteen).info.error, yif::Error::TooSmall);
    for (size_t i = 0; i < 4; ++i) {
        Bytes f = yifFile(1, 1, 3, 0, {});
        f[i] ^= 0x20;
        EXPECT_EQ(decode(f).info.error, yif::Error::NotYif) << i;
    }
    // A size that does not fit the viewer's signed 32-bit measure counts as unmeasured;
    // nothing past the header would be read.
    const Bytes f = yifFile(1, 1, 3, 0, {});
    EXPECT_EQ(yif::inspect(f.data(), size_t(0x80000000u)).error, yif::Error::TooSmall);
    EXPECT_STREQ(yif::errorText(yif::Error::TooSmall), "[ERROR] File too small");
    EXPECT_STREQ(yif::errorText(yif::Error::NotYif), "[ERROR] Not a YIF file");
    EXPECT_STREQ(yif::errorText(yif::Error::CannotOpen), "[ERROR] Cannot open file");
}

TEST(YifRefusals, HeadersThatGiveNoBitmap) {
    auto bytes = [](uint32_t w, uint32_t h) { return yif::pixelBytes({w, h, 3, 0}); };
    EXPECT_EQ(bytes(0, 5), 0u);
    EXPECT_EQ(bytes(5, 0), 0u);
    EXPECT_EQ(bytes(1, 0x80000000u), 0u);
    EXPECT_EQ(bytes(0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(bytes(0x4000, 0x8000), 0u);  // exactly 2 GiB
    EXPECT_EQ(bytes(0x4000, 0x7FFF), 0x7FFF0000u);
    EXPECT_EQ(bytes(1, 1), 4u);
    // Still accepted: the status line reports the header as it stands.
    EXPECT_EQ(yif::statusLine(decode(yifFile(0, 7, 3, 0, {1, 1, 1})).info),
              "YIF v1.0 | 0x7 | 3-trit (27 colors) | Raw | 19 bytes");
}

// Calls whose buffers do not fit what they ask for are refused, in every build, and
// touch nothing outside the buffers given (the asan tree checks that last part).
TEST(YifRefusals, CallsWhoseBuffersDoNotFit) {
    const Bytes file = yifFile(3, 2, 3, 0, Bytes(18, 1));
    const yif::Info info = yif::inspect(file.data(), file.size());
    Bytes px(24, 0xCD);
    EXPECT_EQ(yif::decodePixels(file.data(), file.size(), info, px.data(), 23), yif::Error::BadCall);
    EXPECT_EQ(px, Bytes(24, 0xCD));  // refused before any pixel is written
    EXPECT_EQ(yif::decodePixels(file.data(), file.size(), info, px.data(), 24), yif::Error::None);
    EXPECT_EQ(yif::decodePixels(file.data(), file.size(), yif::Info{}, px.data(), 24), yif::Error::BadCall);

    // An Info of other, longer bytes: the stream ends first, raw or run-coded.
    for (const Bytes& shorter :
         {yifFile(3, 2, 3, 0, Bytes(5, 1)), yifFile(3, 2, 3, 1, cat({runCode(4, 1), {1}}))}) {
        yif::Info other = info;
        other.header.encoding = shorter[13];
        Bytes exact(24);
        EXPECT_EQ(yif::decodePixels(shorter.data(), shorter.size(), other, exact.data(), exact.size()),
                  yif::Error::BadCall);
    }

    // inspectHeader() is told how much of the head it has.
    EXPECT_EQ(yif::inspectHeader(file.data(), 15, file.size()).error, yif::Error::BadCall);
    EXPECT_EQ(yif::inspectHeader(file.data(), 16, file.size()).error, yif::Error::None);
    EXPECT_EQ(yif::inspectHeader(file.data(), 10, 10).error, yif::Error::TooSmall);

    // Encoding: only 3 or 9 trits a pixel, and the whole picture's bytes.
    const Bytes rgba(3 * 2 * 4, 200);
    EXPECT_TRUE(yif::encode(rgba.data(), rgba.size(), 3, 2, 1, false).empty());
    EXPECT_TRUE(yif::encode(rgba.data(), rgba.size() - 1, 3, 2, 9, true).empty());
    EXPECT_TRUE(yif::encode(rgba.data(), rgba.size(), 0xFFFFFFFFu, 0xFFFFFFFFu, 9, true).empty());
    EXPECT_EQ(yif::encode(rgba.data(), rgba.size(), 3, 2, 9, false).size(), 16u + 54u);

    // A row: 3 or 4 channels, width * channels bytes, no more rows than the height.
    Bytes out = {7};
    yif::Encoder odd(3, 2, 1, false);
    EXPECT_FALSE(odd.valid());
    EXPECT_FALSE(odd.row(rgba.data(), rgba.size(), 4, out));
    yif::Encoder rows(3, 2, 9, true);
    ASSERT_TRUE(rows.valid());
    EXPECT_FALSE(rows.row(rgba.data(), 3, 1, out));
    EXPECT_FALSE(rows.row(rgba.data(), 8, 3, out));
    EXPECT_EQ(out, Bytes{7});  // nothing appended by a refused row
    EXPECT_TRUE(rows.row(rgba.data(), 9, 3, out));
    EXPECT_TRUE(rows.row(rgba.data(), 12, 4, out));
    EXPECT_FALSE(rows.row(rgba.data(), 12, 4, out));
    EXPECT_STREQ(yif::errorText(yif::Error::BadCall), "[ERROR] Invalid call");
}

TEST(YifPlacement, FitsBelowTheBand) {
    struct Case {
        int32_t cw, ch, iw, ih;
        yif::Placement want;
    };
    for (const Case& c :
         {Case{800, 640, 100, 50, {20, 150, 760, 380}}, Case{884, 661, 100, 100, {147, 56, 589, 589}},
          Case{800, 640, 640, 480, {20, 55, 760, 570}}, Case{300, 30, 100, 100, {154, 40, -9, -9}}}) {
        const yif::Placement p = yif::placePicture(c.cw, c.ch, c.iw, c.ih);
        EXPECT_EQ(p.x, c.want.x) << c.cw << "x" << c.ch;
        EXPECT_EQ(p.y, c.want.y) << c.cw << "x" << c.ch;
        EXPECT_EQ(p.width, c.want.width) << c.cw << "x" << c.ch;
        EXPECT_EQ(p.height, c.want.height) << c.cw << "x" << c.ch;
    }
}

TEST(YifPlacement, ExtremeAspectSaturates) {
    const yif::Placement p = yif::placePicture(10, 0, 0x1FFFFFFF, 1);
    EXPECT_EQ(p.width, INT32_MIN);  // 0x1FFFFFFF * -38 does not fit
    EXPECT_EQ(p.height, -38);
    EXPECT_EQ(p.x, 1073741829);  // (10 - INT32_MIN) / 2, computed in 64 bits
    // Client sizes the system never reports still give a defined answer.
    const yif::Placement q = yif::placePicture(INT32_MIN, INT32_MIN, 3, 1);
    EXPECT_LT(q.height, -2000000000);
}

TEST(YifZoom, StepsLandOnPowersOfTwoAndStopAtTheEnds) {
    struct Case {
        double scale;
        int steps;
        double want;
    };
    const double step = std::exp2(1.0 / 3);
    for (const Case& c :
         {Case{1, 1, step}, Case{1, 3, 2}, Case{1, 6, 4}, Case{4, -6, 1}, Case{1, -1, 1 / step},
          Case{1 / step * (1 + 1e-9), 1, 1},  // a rounding away from a level is on it
          Case{0.1507, 1, std::exp2(-8.0 / 3)}, Case{0.1507, -1, 0.125},  // a fit view's scale
          Case{32, 5, 64}, Case{64, 1, 64}, Case{1.0 / 64, -1, 1.0 / 64}, Case{150, 1, 150},
          Case{150, -1, 64},  // a fit view past 64 times
          Case{0.001, -1, 0.001}, Case{0.001, 1, 1.0 / 64}, Case{-0.5, 1, 1.0 / 64}}) {
        EXPECT_DOUBLE_EQ(yif::zoomStep(c.scale, c.steps), c.want) << c.scale << " by " << c.steps;
    }
}

TEST(YifZoom, AroundAPointKeepsThatPoint) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> at(-3000, 3000), scale(0.01, 70);
    for (int i = 0; i < 1000; ++i) {
        const yif::View v = {scale(random), at(random), at(random)};
        const double px = at(random), py = at(random);
        const yif::View z = yif::zoomAround(v, scale(random), px, py);
        // The picture point under (px, py) before and after.
        EXPECT_NEAR((px - v.x) / v.scale, (px - z.x) / z.scale, 1e-9 * (1 + std::abs(px - v.x) / v.scale));
        EXPECT_NEAR((py - v.y) / v.scale, (py - z.y) / z.scale, 1e-9 * (1 + std::abs(py - v.y) / v.scale));
    }
}

TEST(YifZoom, TitleText) {
    struct Case {
        double scale;
        const char* want;
    };
    for (const Case& c : {Case{4, "400 %"}, Case{1, "100 %"}, Case{0.15034, "15 %"},
                          Case{std::exp2(1.0 / 3), "126 %"}, Case{0.1, "10 %"}, Case{0.0996, "10 %"},
                          Case{0.0994, "9.9 %"}, Case{1.0 / 64, "1.6 %"}, Case{150.34, "15034 %"}}) {
        char text[32];
        yif::zoomText(c.scale, text, sizeof text);
        EXPECT_STREQ(text, c.want) << c.scale;
    }
}

TEST(YifPan, SmallerPicturesCentreLargerOnesLeaveNoMargin) {
    struct Case {
        yif::View v;
        yif::View want;
    };
    // Client 800 x 640: the area is x 0..800, y 40..640. Picture 100 x 50.
    for (const Case& c : {
             Case{{1, 123, 456}, {1, 350, 315}},        // smaller both ways: centred
             Case{{10, 50, 40}, {10, 0, 90}},           // wider: no margin on the left; centred vertically
             Case{{10, -300, 40}, {10, -200, 90}},      // nor on the right
             Case{{20, -700, -100}, {20, -700, -100}},  // inside its range: stays
             Case{{20, -700, 200}, {20, -700, 40}},     // no margin at the top
             Case{{20, -700, -900}, {20, -700, -360}},  // nor at the bottom
         }) {
        const yif::View v = yif::clampView(c.v, 800, 640, 100, 50);
        EXPECT_DOUBLE_EQ(v.x, c.want.x) << c.v.scale << " " << c.v.x << " " << c.v.y;
        EXPECT_DOUBLE_EQ(v.y, c.want.y) << c.v.scale << " " << c.v.x << " " << c.v.y;
        EXPECT_EQ(yif::overflows(v, 800, 640, 100, 50), c.v.scale > 8);
    }
    // No room at all below the band: still a defined answer.
    const yif::View v = yif::clampView({2, 5, 500}, 300, 30, 100, 100);
    EXPECT_DOUBLE_EQ(v.y, yif::kTopBand);
    const yif::View a = yif::actualSize(800, 640, 4096, 4096);
    EXPECT_DOUBLE_EQ(a.x, -1648);  // centred, as large pictures are at actual size
    EXPECT_DOUBLE_EQ(a.y, 40 - 1748);
}

// The part of the bitmap a paint stretches covers the visible area and little more: at
// most one picture pixel beyond it on each side, so a 4096 x 4096 picture viewed at 400 %
// stretches about 200 x 150 of its pixels, not all of them.
TEST(YifPan, OnlyTheVisiblePartIsStretched) {
    const int32_t w = 4096, h = 3000, cw = 892, ch = 673;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> zoom(-18, 18), at(0, 1);
    for (int i = 0; i < 2000; ++i) {
        const double s = std::exp2(zoom(random) / 3);
        yif::View v = {s, cw - (w * s + cw) * at(random), ch - (h * s + ch) * at(random)};
        v = i % 2 ? yif::clampView(v, cw, ch, w, h) : v;
        const yif::Blit b = yif::visiblePart(v, cw, ch, w, h);
        const double left = std::max(0.0, v.x), right = std::min(double(cw), v.x + w * s);
        const double top = std::max(double(yif::kTopBand), v.y), bottom = std::min(double(ch), v.y + h * s);
        if (right - left < 0.5 || bottom - top < 0.5) continue;  // all but nothing visible
        ASSERT_GT(b.sw, 0) << i;
        // The destination covers the visible part...
        EXPECT_LE(b.dx, left + 0.5) << i;
        EXPECT_GE(b.dx + b.dw, right - 0.5) << i;
        EXPECT_LE(b.dy, top + 0.5) << i;
        EXPECT_GE(b.dy + b.dh, bottom - 0.5) << i;
        // ...with the source pixels that are there, at the view's scale.
        EXPECT_NEAR(b.dx, v.x + b.sx * s, 0.5) << i;
        EXPECT_NEAR(b.dw, b.sw * s, 1) << i;
        EXPECT_LE(b.sw, (right - left) / s + 2) << i;
        EXPECT_LE(b.sh, (bottom - top) / s + 2) << i;
        EXPECT_GE(b.sx, 0);
        EXPECT_LE(b.sx + b.sw, w);
        EXPECT_LE(b.sy + b.sh, h);
    }
    EXPECT_EQ(yif::visiblePart({4, 5000, 100}, cw, ch, w, h).sw, 0);  // wholly right of the area
}

TEST(YifFolder, NextAndPreviousWrapAndSkipTheMissing) {
    const std::vector<std::string> names = {"d", "b", "a", "c"};
    const auto less = [](const std::string& a, const std::string& b) { return a < b; };
    struct Case {
        const char* current;
        bool forward;
        const char* want;
        size_t place;
    };
    for (const Case& c : {Case{"b", true, "c", 3}, Case{"d", true, "a", 1}, Case{"a", false, "d", 4},
                          Case{"c", false, "b", 2}, Case{"bb", true, "c", 3}, Case{"bb", false, "b", 2},
                          Case{"e", true, "a", 1}, Case{"0", false, "d", 4}}) {
        const yif::Neighbour n = yif::neighbourInOrder(names, std::string(c.current), c.forward, less);
        ASSERT_LT(n.index, names.size()) << c.current;
        EXPECT_EQ(names[n.index], c.want) << c.current << (c.forward ? " forward" : " back");
        EXPECT_EQ(n.place, c.place) << c.current;
    }
    // Against a sorted list, on random folders.
    std::mt19937 random(5);
    for (int i = 0; i < 500; ++i) {
        std::vector<std::string> folder;
        for (char c = 'a'; c <= 'p'; ++c)
            if (random() % 2) folder.push_back(std::string(1, c));
        std::shuffle(folder.begin(), folder.end(), random);
        if (folder.empty()) continue;
        const std::string current(1, char('a' + random() % 17));
        std::vector<std::string> sorted = folder;
        std::sort(sorted.begin(), sorted.end());
        for (const bool forward : {true, false}) {
            const yif::Neighbour n = yif::neighbourInOrder(folder, current, forward, less);
            auto at = forward ? std::upper_bound(sorted.begin(), sorted.end(), current)
                              : std::lower_bound(sorted.begin(), sorted.end(), current);
            if (forward && at == sorted.end()) at = sorted.begin();
            if (!forward) at = at == sorted.begin() ? sorted.end() - 1 : at - 1;
            ASSERT_LT(n.index, folder.size());
            EXPECT_EQ(folder[n.index], *at) << current << (forward ? " forward" : " back");
            EXPECT_EQ(n.place, size_t(at - sorted.begin()) + 1) << current;
        }
    }
    const std::vector<std::string> one = {"a"}, none;
    EXPECT_EQ(yif::neighbourInOrder(one, std::string("a"), true, less).index, 0u);   // itself again
    EXPECT_EQ(yif::neighbourInOrder(none, std::string("a"), true, less).index, 0u);  // none
}

}  // namespace

namespace {

// What a channel value becomes after encoding and decoding: the nearest level.
uint8_t nearestLevel(uint8_t v, int tritsPerPixel) {
    std::vector<int> levels = {0, 128, 255};
    if (tritsPerPixel == 9) {
        levels.clear();
        for (int s = 0; s <= 26; ++s) levels.push_back(s * 255 / 26);
    }
    int best = levels[0];
    for (int level : levels)
        if (std::abs(level - v) < std::abs(best - v)) best = level;
    return uint8_t(best);
}

// Encodes R,G,B,A pixels and decodes the file again; returns R,G,B,A.
Bytes roundTrip(const Bytes& rgba, uint32_t w, uint32_t h, int tpp, bool rle, size_t* fileSize = nullptr) {
    const Bytes file = yif::encode(rgba.data(), rgba.size(), w, h, tpp, rle);
    if (fileSize) *fileSize = file.size();
    Bytes px = decode(file).pixels;
    for (size_t i = 0; i < px.size(); i += 4) std::swap(px[i], px[i + 2]);
    return px;
}

TEST(YifEncode, EveryChannelValueComesBackAsItsNearestLevel) {
    Bytes rgba;
    for (int v = 0; v < 256; ++v) rgba.insert(rgba.end(), {uint8_t(v), uint8_t(255 - v), uint8_t(v / 2), 9});
    for (int tpp : {3, 9}) {
        for (bool rle : {false, true}) {
            Bytes want = rgba;
            for (size_t i = 0; i < want.size(); ++i) want[i] = i % 4 == 3 ? 255 : nearestLevel(want[i], tpp);
            EXPECT_EQ(roundTrip(rgba, 16, 16, tpp, rle), want) << tpp << " " << rle;
        }
    }
}

TEST(YifEncode, MarkerColouredPixelsSurviveRunCoding) {
    // R 0, G 128, B 255 is the trit sequence FF 00 01, the run-code marker itself.
    Bytes rgba;
    for (int i = 0; i < 40; ++i) rgba.insert(rgba.end(), {0, 128, 255, 255});
    rgba.insert(rgba.end(), {255, 255, 255, 255, 0, 128, 255, 255});
    EXPECT_EQ(roundTrip(rgba, 42, 1, 3, true), rgba);
}

TEST(YifEncode, RunsMakeFlatPicturesSmaller) {
    const Bytes flat(64 * 64 * 4, 255);  // every trit +1
    size_t raw = 0, rle = 0;
    const Bytes a = roundTrip(flat, 64, 64, 9, false, &raw);
    const Bytes b = roundTrip(flat, 64, 64, 9, true, &rle);
    EXPECT_EQ(a, b);
    EXPECT_EQ(raw, 16u + 64 * 64 * 9);
    EXPECT_LT(rle, raw / 10);
}

// The run coder as one pass over the whole trit sequence: the plain statement of what
// the row-by-row Encoder (whose runs go on across rows) must write.
Bytes referenceRunCoding(const Bytes& trits) {
    Bytes out;
    for (size_t i = 0; i < trits.size();) {
        size_t run = 1;
        while (i + run < trits.size() && trits[i + run] == trits[i] && run < 364) ++run;
        const size_t n = out.size();
        const bool afterMarkerStart = n >= 2 && out[n - 2] == 0xFF && out[n - 1] == 0x00;
        if (run > 10 || (afterMarkerStart && trits[i] == 0x01)) {
            const Bytes code = runCode(int(run), trits[i]);
            out.insert(out.end(), code.begin(), code.end());
            i += run;
        } else {
            out.push_back(trits[i++]);
        }
    }
    return out;
}

TEST(YifEncode, RowByRowRunCodingEqualsOnePassOverTheWholePicture) {
    std::mt19937 rng(12);
    for (int i = 0; i < 200; ++i) {
        const uint32_t w = 1 + rng() % 40, h = 1 + rng() % 6;
        const int tpp = rng() % 2 ? 9 : 3;
        // Few colours, so that runs are long, cross rows and meet the marker.
        const uint8_t palette[] = {0, 128, 255, 19, 245};
        Bytes rgba(size_t(w) * h * 4);
        for (size_t k = 0; k < rgba.size(); ++k)
            rgba[k] = rng() % 4 ? rgba[k ? k - 1 : 0] : palette[rng() % 5];
        const Bytes raw = yif::encode(rgba.data(), rgba.size(), w, h, tpp, false);
        const Bytes rle = yif::encode(rgba.data(), rgba.size(), w, h, tpp, true);
        const Bytes trits(raw.begin() + 16, raw.end());
        ASSERT_EQ(Bytes(rle.begin() + 16, rle.end()), referenceRunCoding(trits)) << "picture " << i;

        yif::Encoder rows(w, h, tpp, true);  // the same again from RGB rows, written as they come
        Bytes stream, written;
        for (uint32_t y = 0; y < h; ++y) {
            Bytes rgb;
            for (uint32_t x = 0; x < w; ++x)
                rgb.insert(rgb.end(), &rgba[(size_t(y) * w + x) * 4], &rgba[(size_t(y) * w + x) * 4 + 3]);
            ASSERT_TRUE(rows.row(rgb.data(), rgb.size(), 3, stream));
            written.insert(written.end(), stream.begin(), stream.end());
            stream.clear();
        }
        rows.finish(written);
        ASSERT_EQ(written, Bytes(rle.begin() + 16, rle.end())) << "picture " << i;
        EXPECT_EQ(rows.streamBytes(), written.size());
    }
}

}  // namespace

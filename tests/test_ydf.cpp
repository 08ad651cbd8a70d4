#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "ydf_document.h"
#include "ydf_export.h"

namespace {

using StyledRun = ydf::Run;  // gtest has a Run of its own

std::string lookup(std::string_view text, const char* key, size_t capacity = 512) {
    std::string out(capacity, '\x7F');  // garbage: the result must be terminated
    ydf::jsonGetStr(text.data(), ydf::textEnd(text.data(), text.size()), key, out.data(), capacity);
    return out.c_str();
}

std::vector<StyledRun> render(std::string_view doc) {
    ydf::RunList list;
    list.appendText("left over", 0, 1, true);  // rendering starts by clearing
    ydf::renderYDF(doc.data(), doc.size(), list);
    return list.runs;
}

// The texts of the lines, each checked to be a text run followed by its "\r\n" run.
std::vector<std::string> lines(std::string_view doc) {
    const std::vector<StyledRun> runs = render(doc);
    std::vector<std::string> texts;
    EXPECT_EQ(runs.size() % 2, 0u);
    for (size_t i = 0; i + 1 < runs.size(); i += 2) {
        EXPECT_EQ(runs[i + 1], (StyledRun{"\r\n", runs[i].color, runs[i].points, false})) << i;
        texts.push_back(runs[i].text);
    }
    return texts;
}

using Lines = std::vector<std::string>;
const Lines kFixedLines = {"  YDF v |  | ", "", "  ", "  ----------------------------------------", ""};

// The five fixed lines followed by `more`.
Lines fixedThen(const Lines& more) {
    Lines all = kFixedLines;
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

std::string section(const std::string& kicker, const std::string& rest) {
    return "{\"kicker\": \"" + kicker + "\"" + rest + "}";
}

// --- Lookups ---------------------------------------------------------------------------

struct LookupCase {
    const char* what;
    std::string text;
    const char* expected;
    friend void PrintTo(const LookupCase& c, std::ostream* os) {
        *os << c.what;
    }
};

class YdfLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(YdfLookup, FindsTheValue) {
    EXPECT_EQ(lookup(GetParam().text, "k"), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, YdfLookup,
    testing::Values(
        LookupCase{"colon and blank", R"({"k": "v"})", "v"}, LookupCase{"no separator", R"({"k""v"})", "v"},
        LookupCase{"separators in any mix", "{\"k\" \t:: \t: \"v\"}", "v"},
        LookupCase{"line feed before the value", "{\"k\":\n\"v\"}", ""},
        LookupCase{"carriage return before the value", "{\"k\":\r\"v\"}", ""},
        LookupCase{"number", R"({"k": 12, "x": "k"})", ""}, LookupCase{"literal", R"({"k": true})", ""},
        LookupCase{"object, inner key not tried", R"({"k": {"k": "v"}})", ""},
        LookupCase{"array", R"({"k": ["v"]})", ""},
        LookupCase{"first occurrence is a string value", R"({"a": "k", "k": "v"})", ""},
        LookupCase{"key found inside another object", R"({"a": {"b": 1, "k": "v"}})", "v"},
        LookupCase{"escaped quote does not end the value", R"({"k": "a\"b", "x": "y"})", "a\"b"},
        LookupCase{"no escape translation", R"({"k": "1\n2\\3\u00e9\/"})", "1n2\\3u00e9/"},
        LookupCase{"unterminated value", R"({"k": "abc)", "abc"},
        LookupCase{"lone backslash at the end", R"({"k": "ab\)", "ab\\"},
        LookupCase{"empty value", R"({"k": "", "x": "y"})", ""},
        LookupCase{"key at the very end", R"({"k")", ""}, LookupCase{"empty text", "", ""},
        LookupCase{"bytes kept as they are", "{\"k\": \"\xC3\xA9\x80\x01\t\"}", "\xC3\xA9\x80\x01\t"},
        LookupCase{"NUL ends the text", std::string("{\"k\": \"ab\0cd\"}", 14), "ab"},
        LookupCase{"key after a NUL is not found", std::string("{\0\"k\": \"v\"}", 11), ""}));

TEST(YdfLookupCapacity, KeepsAtMostNMinusOneCharacters) {
    EXPECT_EQ(lookup(R"("k": "abc")", "k", 4), "abc");
    EXPECT_EQ(lookup(R"("k": "abcd")", "k", 4), "abc");
    EXPECT_EQ(lookup(R"("k": "a\"bcd")", "k", 4), "a\"b");  // a pair counts as one
    EXPECT_EQ(lookup(R"("k": "abcd")", "k", 2), "a");
    EXPECT_EQ(lookup(R"("k": "abcd")", "k", 1), "");
    const std::string v(2047, 'p');
    EXPECT_EQ(lookup("\"k\": \"" + v + "x\"", "k", 2048), v);
}

TEST(YdfLookupStart, SearchesFromTheGivenPosition) {
    const std::string text = R"({"name": "a", "issuer": {"name": "b"}})";
    char out[16];
    const char* from = text.c_str() + text.find('{', 1);
    ydf::jsonGetStr(from, text.c_str() + text.size(), "name", out, sizeof out);
    EXPECT_STREQ(out, "b");
}

TEST(YdfExtract, NeedsAnOpeningQuote) {
    const std::string text = R"(x"v")";
    char out[8] = "dirty";
    ydf::extractStr(text.c_str(), text.c_str() + text.size(), out, sizeof out);
    EXPECT_STREQ(out, "");
    ydf::extractStr(text.c_str() + 1, text.c_str() + text.size(), out, sizeof out);
    EXPECT_STREQ(out, "v");
    ydf::extractStr(text.c_str() + 4, text.c_str() + 4, out, sizeof out);  // at the end
    EXPECT_STREQ(out, "");
}

// --- Rendering -------------------------------------------------------------------------

TEST(YdfRender, EmptyDocumentGivesTheFiveFixedLines) {
    const std::vector<StyledRun> expected = {
        {"  YDF v |  | ", ydf::kMuted, 11, false},
        {"\r\n", ydf::kMuted, 11, false},
        {"", ydf::kLightGrey, 6, false},
        {"\r\n", ydf::kLightGrey, 6, false},
        {"  ", ydf::kWhite, 18, true},
        {"\r\n", ydf::kWhite, 18, false},
        {"  ----------------------------------------", ydf::kMuted, 10, false},
        {"\r\n", ydf::kMuted, 10, false},
        {"", ydf::kLightGrey, 6, false},
        {"\r\n", ydf::kLightGrey, 6, false},
    };
    EXPECT_EQ(render(""), expected);
    EXPECT_EQ(render("not a document at all"), expected);
    // An empty file read into an empty buffer comes without storage.
    ydf::RunList list;
    ydf::renderYDF(nullptr, 0, list);
    EXPECT_EQ(list.runs.size(), 10u);
}

TEST(YdfRender, WholeDocumentGolden) {
    const std::string doc = R"({
  "@ydf": "1.0", "kind": "brochure", "id": "BR-7",
  "title": "Spring range",
  "issuer": {"name": "Acme", "url": "https://acme.example"},
  "sections": [
    {"kicker": "NEW", "title": "Boots", "paragraph": "Warm.", "list": ["red", "", "blue"]},
    {"kicker": "OLD", "title": "Hats"}
  ],
  "sig": "0123456789abcdefXYZ"
})";
    auto nl = [&](uint32_t c, int32_t p) { return StyledRun{"\r\n", c, p, false}; };
    const std::vector<StyledRun> expected = {
        {"  YDF v1.0 | brochure | BR-7", ydf::kMuted, 11, false},
        nl(ydf::kMuted, 11),
        {"", ydf::kLightGrey, 6, false},
        nl(ydf::kLightGrey, 6),
        {"  Spring range", ydf::kWhite, 18, true},
        nl(ydf::kWhite, 18),
        {"  ----------------------------------------", ydf::kMuted, 10, false},
        nl(ydf::kMuted, 10),
        {"", ydf::kLightGrey, 6, false},
        nl(ydf::kLightGrey, 6),
        {"  Publisher: Acme  https://acme.example", ydf::kMuted, 11, false},
        nl(ydf::kMuted, 11),
        {"", ydf::kLightGrey, 6, false},
        nl(ydf::kLightGrey, 6),
        {"  [NEW]", ydf::kAccent, 10, true},
        nl(ydf::kAccent, 10),
        {"  Boots", ydf::kWhite, 14, true},
        nl(ydf::kWhite, 14),
        {"  Warm.", ydf::kLightGrey, 11, false},
        nl(ydf::kLightGrey, 11),
        {"    - red", ydf::kLightGrey, 10, false},
        nl(ydf::kLightGrey, 10),
        {"    - ", ydf::kLightGrey, 10, false},
        nl(ydf::kLightGrey, 10),
        {"    - blue", ydf::kLightGrey, 10, false},
        nl(ydf::kLightGrey, 10),
        {"", ydf::kLightGrey, 6, false},
        nl(ydf::kLightGrey, 6),
        {"  [OLD]", ydf::kAccent, 10, true},
        nl(ydf::kAccent, 10),
        {"  Hats", ydf::kWhite, 14, true},
        nl(ydf::kWhite, 14),
        {"", ydf::kLightGrey, 6, false},
        nl(ydf::kLightGrey, 6),
        {"  HMAC-SHA256: 0123456789abcdef...", ydf::kMuted, 10, false},
        nl(ydf::kMuted, 10),
    };
    EXPECT_EQ(render(doc), expected);
}

struct RenderCase {
    const char* what;
    std::string doc;
    Lines expected;  // after the five fixed lines
    friend void PrintTo(const RenderCase& c, std::ostream* os) {
        *os << c.what;
    }
};

class YdfRenderLines : public testing::TestWithParam<RenderCase> {};

TEST_P(YdfRenderLines, Renders) {
    EXPECT_EQ(lines(GetParam().doc), fixedThen(GetParam().expected)) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Publisher, YdfRenderLines,
    testing::Values(RenderCase{"issuer followed by a string", R"({"issuer": "Acme", "name": "x"})", {}},
                    RenderCase{"issuer across line breaks",
                               "{\"issuer\"\r\n:\t {\"name\": \"A\", \"url\": \"u\"}}",
                               {"  Publisher: A  u", ""}},
                    RenderCase{
                        "issuer object without name or url", R"({"issuer": {}})", {"  Publisher:   ", ""}},
                    RenderCase{"name after the issuer object",
                               R"({"name": "early", "issuer": {}, "name": "late"})",
                               {"  Publisher: late  ", ""}},
                    RenderCase{"issuer at the end", R"({"issuer")", {}}));

INSTANTIATE_TEST_SUITE_P(
    Sections, YdfRenderLines,
    testing::Values(
        RenderCase{"paragraph borrowed from the next section",
                   section("A", "") + section("B", R"(, "paragraph": "P")"),
                   {"  [A]", "  ", "  P", "", "  [B]", "  ", "  P", ""}},
        RenderCase{"list not an array takes the next one",
                   section("A", R"(, "list": "none")") + section("B", R"(, "list": ["x"])"),
                   {"  [A]", "  ", "    - x", "", "  [B]", "  ", "    - x", ""}},
        RenderCase{"nested array ends the list at its first ]",
                   section("A", R"(, "list": ["a", ["b"], "c"])"),
                   {"  [A]", "  ", "    - a", "    - b", ""}},
        RenderCase{"numbers and literals between items skipped",
                   section("A", R"(, "list": [1, "a", true, null, "", 2.5, "b"])"),
                   {"  [A]", "  ", "    - a", "    - ", "    - b", ""}},
        RenderCase{"escaped quotes in items and kicker",
                   section(R"(k\"q)", R"(, "list": ["a\"b", "c", "d\\"])"),
                   {"  [k\"q]", "  ", "    - a\"b", "    - c", "    - d\\", ""}},
        RenderCase{"value that is not a string takes the next string",
                   section("A", R"(, "title": 5, "paragraph": "P")"),
                   {"  [A]", "  paragraph", "  P", ""}},
        RenderCase{"kicker that is not a string takes the next string",
                   R"({"kicker": 7, "paragraph": "P"})",
                   {"  [paragraph]", "  ", ""}},
        RenderCase{"paragraph escapes are not translated",
                   section("A", R"(, "paragraph": "one\ntwo \"q\"")"),
                   {"  [A]", "  ", "  onentwo \"q\"", ""}},
        RenderCase{
            "empty paragraph gives no line", section("A", R"(, "paragraph": "")"), {"  [A]", "  ", ""}},
        RenderCase{"unterminated kicker ends the loop", R"({"kicker": "abc)", {"  [abc]", "  ", ""}},
        RenderCase{"list without any [", section("A", R"(, "list": 0)"), {"  [A]", "  ", ""}},
        RenderCase{"unterminated list item",
                   section("A", R"(, "list": ["a", "b)"),
                   {"  [A]", "  ", "    - a", "    - b}", ""}}));

TEST(YdfRender, KickerWithoutQuoteShowsEmptyAndEnds) {
    EXPECT_EQ(lines("{\"title\": \"D\", \"kicker\": 12}"),
              (Lines{"  YDF v |  | ", "", "  D", "  ----------------------------------------", "", "  []",
                     "  ", ""}));
}

TEST(YdfRender, FirstTitleOfASectionIsAlsoTheDocumentTitle) {
    const Lines l = lines(section("K", R"(, "title": "T")"));
    EXPECT_EQ(l[2], "  T");
    EXPECT_EQ(l[6], "  T");
}

// A part whose key starts `distance` characters after the section cursor.
struct WindowCase {
    const char* part;
    size_t distance;
    bool shown;
    friend void PrintTo(const WindowCase& c, std::ostream* os) {
        *os << c.part << " at " << c.distance;
    }
};

class YdfWindows : public testing::TestWithParam<WindowCase> {};

TEST_P(YdfWindows, CountFromTheSectionCursor) {
    const WindowCase& c = GetParam();
    const std::string doc = "{\"kicker\": \"K\"" + std::string(c.distance, ' ') + "\"" + c.part +
                            "\": " + (std::string(c.part) == "list" ? "[\"v\"]" : "\"v\"") + "}";
    const Lines l = lines(doc);
    const std::string part = c.part;
    // The section title is always line 6; a paragraph or first item would be line 7.
    if (part == "title") {
        EXPECT_EQ(l.at(6), c.shown ? "  v" : "  ");
    } else {
        EXPECT_EQ(l.at(7), !c.shown ? "" : part == "list" ? "    - v" : "  v");
    }
}

INSTANTIATE_TEST_SUITE_P(Boundaries, YdfWindows,
                         testing::Values(WindowCase{"title", 0, true}, WindowCase{"title", 199, true},
                                         WindowCase{"title", 200, false}, WindowCase{"paragraph", 999, true},
                                         WindowCase{"paragraph", 1000, false}, WindowCase{"list", 1499, true},
                                         WindowCase{"list", 1500, false}));

TEST(YdfRenderCuts, SignatureShowsSixteenCharactersAndDots) {
    EXPECT_EQ(lines(R"({"sig": "0123456789abcdef"})").back(), "  HMAC-SHA256: 0123456789abcdef...");
    EXPECT_EQ(lines(R"({"sig": "0123456789abcdefg"})").back(), "  HMAC-SHA256: 0123456789abcdef...");
    EXPECT_EQ(lines(R"({"sig": "ab"})").back(), "  HMAC-SHA256: ab...");
    EXPECT_EQ(lines(R"({"sig": ""})"), kFixedLines);
}

TEST(YdfRenderCuts, ValuesAreCutToTheirBuffers) {
    const std::string p(1500, 'p');
    EXPECT_EQ(lines(section("A", ", \"paragraph\": \"" + p + "\""))[7], "  " + std::string(1021, 'p'));
    const std::string item(600, 'i');
    const Lines l = lines(section("A", ", \"list\": [\"" + item + "\", \"next\"]"));
    EXPECT_EQ(l[7], "    - " + std::string(511, 'i'));
    EXPECT_EQ(l[8], "    - next");
    EXPECT_EQ(lines("{\"kicker\": \"" + std::string(100, 'k') + "\"}")[5],
              "  [" + std::string(63, 'k') + "]");
    EXPECT_EQ(lines("{\"title\": \"" + std::string(600, 't') + "\"}")[2], "  " + std::string(511, 't'));
}

TEST(YdfSummary, CountsSectionsAsRendered) {
    const std::string doc = R"({"@ydf": "1.0", "kind": "proposal", "id": "P-1", "title": "T",)" +
                            section("A", "") + section("B", "") + "\"kicker\": 3}";
    const ydf::Summary s = ydf::summarize(doc.data(), doc.size());
    EXPECT_EQ(s.version, "1.0");
    EXPECT_EQ(s.kind, "proposal");
    EXPECT_EQ(s.id, "P-1");
    EXPECT_EQ(s.title, "T");
    EXPECT_EQ(s.sections, 3u);
}

// --- The fast renderer against the rules written out plainly ---------------------------

// Every search runs from its start to the end of the text, as the rules say.
class ReferenceRenderer {
public:
    explicit ReferenceRenderer(std::string_view text) : t_(text.substr(0, text.find('\0'))) {
    }

    std::vector<StyledRun> render() {
        const std::string version = get(0, "@ydf", 16), id = get(0, "id", 128), kind = get(0, "kind", 64),
                          title = get(0, "title", 512);
        std::string sig = get(0, "sig", 64);
        line("  YDF v" + version + " | " + kind + " | " + id, ydf::kMuted, 11, false);
        spacer();
        line("  " + title, ydf::kWhite, 18, true);
        line("  " + std::string(40, '-'), ydf::kMuted, 10, false);
        spacer();
        size_t p = t_.find("\"issuer\"");
        if (p != npos) {
            p += 8;
            while (p < t_.size() && std::string_view("\t\r\n :").find(t_[p]) != npos) ++p;
            if (p < t_.size() && t_[p] == '{') {
                line("  Publisher: " + get(p, "name", 256) + "  " + get(p, "url", 512), ydf::kMuted, 11,
                     false);
                spacer();
            }
        }
        p = 0;
        while ((p = t_.find("\"kicker\"", p)) != npos) {
            p = std::min(t_.find('"', p + 8), t_.size());
            const std::string kicker = extract(p, 64);
            p = p < t_.size() ? pastValue(p) : t_.size();
            line("  [" + kicker + "]", ydf::kAccent, 10, true);
            line("  " + near(p, "\"title\"", 200, 256), ydf::kWhite, 14, true);
            const std::string para = near(p, "\"paragraph\"", 1000, 2048);
            if (!para.empty()) line(("  " + para).substr(0, 1023), ydf::kLightGrey, 11, false);
            const size_t key = t_.find("\"list\"", p);
            if (key != npos && key - p < 1500) {
                size_t q = t_.find('[', key + 6);
                while (q != npos && q < t_.size()) {
                    ++q;
                    while (q < t_.size() && t_[q] != '"' && t_[q] != ']') ++q;
                    if (q == t_.size() || t_[q] == ']') break;
                    line("    - " + extract(q, 512), ydf::kLightGrey, 10, false);
                    q = pastValue(q) - 1;
                }
            }
            spacer();
        }
        if (!sig.empty()) line("  HMAC-SHA256: " + sig.substr(0, 16) + "...", ydf::kMuted, 10, false);
        return runs_;
    }

private:
    static constexpr size_t npos = std::string_view::npos;

    std::string extract(size_t at, size_t capacity) {
        std::string v;
        if (at >= t_.size() || t_[at] != '"') return v;
        for (size_t i = at + 1; i < t_.size() && t_[i] != '"' && v.size() < capacity - 1; ++i) {
            if (t_[i] == '\\' && i + 1 < t_.size()) ++i;
            v += t_[i];
        }
        return v;
    }
    size_t pastValue(size_t open) {
        for (size_t i = open + 1; i < t_.size(); ++i) {
            if (t_[i] == '"') return i + 1;
            if (t_[i] == '\\' && i + 1 < t_.size()) ++i;
        }
        return t_.size();
    }
    std::string get(size_t from, const std::string& key, size_t capacity) {
        size_t p = t_.find("\"" + key + "\"", from);
        if (p == npos) return "";
        p += key.size() + 2;
        while (p < t_.size() && (t_[p] == ' ' || t_[p] == '\t' || t_[p] == ':')) ++p;
        return extract(p, capacity);
    }
    std::string near(size_t p, std::string_view pattern, size_t window, size_t capacity) {
        const size_t key = t_.find(pattern, p);
        if (key == npos || key - p >= window) return "";
        return extract(std::min(t_.find('"', key + pattern.size()), t_.size()), capacity);
    }
    void line(const std::string& text, uint32_t color, int32_t points, bool bold) {
        runs_.push_back({text, color, points, bold});
        runs_.push_back({"\r\n", color, points, false});
    }
    void spacer() {
        line("", ydf::kLightGrey, 6, false);
    }

    std::string_view t_;
    std::vector<StyledRun> runs_;
};

// Documents stitched from the pieces that matter: keys, quotes, escapes, brackets, padding.
std::string randomDocument(std::mt19937& rng) {
    static const std::vector<std::string> pieces = {"\"kicker\"",
                                                    "\"title\"",
                                                    "\"paragraph\"",
                                                    "\"list\"",
                                                    "\"issuer\"",
                                                    "\"name\"",
                                                    "\"url\"",
                                                    "\"sig\"",
                                                    "\"@ydf\"",
                                                    "\"id\"",
                                                    "\"kind\"",
                                                    ": ",
                                                    "\"",
                                                    "\\",
                                                    "\\\"",
                                                    "[",
                                                    "]",
                                                    "{",
                                                    "}",
                                                    ",",
                                                    "\r\n",
                                                    "\t",
                                                    "x",
                                                    "\"v\"",
                                                    "\"\"",
                                                    "\xE9",
                                                    "7",
                                                    std::string(150, ' '),
                                                    std::string(40, 'w'),
                                                    std::string(1, '\0')};
    std::string doc;
    const size_t n = rng() % 120;
    for (size_t i = 0; i < n; ++i) doc += pieces[rng() % pieces.size()];
    return doc;
}

TEST(YdfRenderReference, RandomDocumentsRenderAsTheRulesSay) {
    std::mt19937 rng(2026);
    for (int i = 0; i < 3000; ++i) {
        const std::string doc = randomDocument(rng);
        ASSERT_EQ(render(doc), ReferenceRenderer(doc).render()) << "document " << i << ": " << doc;
    }
}

TEST(YdfRenderReference, SharedListsAndManySections) {
    // Sections that all borrow one later list, and many sections without their own parts.
    std::string doc;
    for (int i = 0; i < 40; ++i) doc += section(std::to_string(i), R"(, "list": 0)");
    doc += R"("list": ["a", 1, "b\"", ["c"], "d"], "title": "late", "paragraph": "p")";
    EXPECT_EQ(render(doc), ReferenceRenderer(doc).render());
}

TEST(YdfRenderReference, ListsNeverClosedReadOnIntoLaterSections) {
    // Each section's list runs on through every later section. With a stray quote after
    // each '[', every later '[' falls inside an item of the walk before it instead.
    for (const char* afterOpen : {" ", " \" ", "  \\\" x"}) {
        std::string doc;
        for (int i = 0; i < 25; ++i) doc += std::string(R"("kicker":"k","list":[)") + afterOpen + "\"i\", ";
        doc += "] \"list\": [\"last\"]";
        EXPECT_EQ(render(doc), ReferenceRenderer(doc).render()) << afterOpen;
    }
}

// --- The output bound -------------------------------------------------------------------

// Sections that all show one shared list: `sections` x "kicker":"""list":0, then the
// list of `items` empty strings. The output grows as sections x items.
std::string sharedListDocument(int sections, int items) {
    std::string doc;
    for (int i = 0; i < sections; ++i) doc += R"("kicker":"""list":0)";
    doc += "\"list\":[";
    for (int i = 0; i < items; ++i) doc += "\"\",";
    return doc + "]";
}

StyledRun noticeRun(uint64_t lines) {
    return {ydf::cutNotice(lines), ydf::kMuted, 10, false};
}

TEST(YdfRenderBound, SharedListIsCutAtTheRunBound) {
    // 22 KB asking for 2 million runs: cut at a run a byte plus the allowance.
    const std::string doc = sharedListDocument(1000, 1000);
    const ydf::OutputBound bound = ydf::outputBound(doc.size());
    EXPECT_EQ(bound.runs, doc.size() + 10'000);
    ASSERT_EQ(bound.runs % 2, 1u);  // so the last whole line ends one run before the bound
    const std::vector<StyledRun> runs = render(doc);
    ASSERT_EQ(runs.size(), bound.runs - 1 + 2);
    EXPECT_EQ(runs[runs.size() - 2], noticeRun(bound.runs / 2));
    EXPECT_EQ(runs.back(), (StyledRun{"\r\n", ydf::kMuted, 10, false}));
    EXPECT_EQ(runs[runs.size() - 2].text, "  [Document cut after " + std::to_string(bound.runs / 2) +
                                              " lines: it asks for more than its size allows]");
}

TEST(YdfRenderBound, SaturatesInsteadOfWrapping) {
    EXPECT_EQ(ydf::outputBound(SIZE_MAX).runs, UINT64_MAX);
    EXPECT_EQ(ydf::outputBound(SIZE_MAX).textBytes, UINT64_MAX);
    EXPECT_EQ(ydf::outputBound(SIZE_MAX / 16).textBytes, UINT64_MAX);
    EXPECT_EQ(ydf::outputBound(1000).runs, 1000 + ydf::kRunAllowance);
}

TEST(YdfRenderBound, OutputAtTheBoundIsWholeAndOneLineMoreIsCut) {
    // Padding after the list moves the bound, not the output: a run a byte.
    const std::string doc = sharedListDocument(101, 200);
    const std::vector<StyledRun> whole = ReferenceRenderer(doc).render();
    const size_t fits = (whole.size() - ydf::kRunAllowance) / ydf::kRunsPerByte;
    ASSERT_GT(fits, doc.size());
    ASSERT_EQ(ydf::outputBound(fits).runs, whole.size());
    EXPECT_EQ(render(doc + std::string(fits - doc.size(), ' ')), whole);

    const std::vector<StyledRun> cut = render(doc + std::string(fits - doc.size() - 1, ' '));
    ASSERT_EQ(cut.size(), whole.size());  // the last line gives way to the notice
    EXPECT_TRUE(std::equal(cut.begin(), cut.end() - 2, whole.begin()));
    EXPECT_EQ(cut[cut.size() - 2], noticeRun(whole.size() / 2 - 1));
}

TEST(YdfRenderBound, TextBoundCutsLongBorrowedParagraphs) {
    // Blocks of 80 sections of 11 bytes that all show the paragraph of 1021 characters
    // after them: 43 bytes of text a byte, so text binds long before runs do.
    std::string doc;
    for (int block = 0; block < 50; ++block) {
        for (int i = 0; i < 80; ++i) doc += R"("kicker":"")";
        doc += "\"paragraph\":\"" + std::string(1021, 'p') + "\"";
    }
    const ydf::OutputBound bound = ydf::outputBound(doc.size());
    const std::vector<StyledRun> runs = render(doc);
    ASSERT_LT(runs.size(), bound.runs);
    EXPECT_EQ(runs[runs.size() - 2], noticeRun(runs.size() / 2 - 1));
    uint64_t text = 0;
    for (size_t i = 0; i + 2 < runs.size(); ++i) text += runs[i].text.size();
    EXPECT_LE(text, bound.textBytes);
    EXPECT_GT(text + 1025, bound.textBytes);  // the next line, at most a paragraph line, did not fit
}

TEST(YdfRenderBound, HundredThousandSectionsWithOwnListsRenderWhole) {
    std::string doc;
    Lines expected = kFixedLines;
    for (int i = 0; i < 100'000; ++i) {
        const std::string n = std::to_string(i);
        doc += R"({"kicker":"K)" + n + R"(","list":["a)" + n + R"("]},)";
        expected.insert(expected.end(), {"  [K" + n + "]", "  ", "    - a" + n, ""});
    }
    EXPECT_EQ(lines(doc), expected);
}

// --- Export: RTF and HTML -----------------------------------------------------------------

TEST(YdfExport, Cp1252TakesTheHighBytesAsTheSystemDoes) {
    EXPECT_EQ(ydf::cp1252(0x41), u'A');
    EXPECT_EQ(ydf::cp1252(0x80), u'\u20AC');
    EXPECT_EQ(ydf::cp1252(0x9F), u'\u0178');
    EXPECT_EQ(ydf::cp1252(0x81), u'\u0081');  // undefined: its control character
    EXPECT_EQ(ydf::cp1252(0x9D), u'\u009D');
    EXPECT_EQ(ydf::cp1252(0xE9), u'\u00E9');
}

TEST(YdfExport, RtfRunsGolden) {
    // The view's stream: the face alone, no shading, no indents unless asked for, the closing break.
    ydf::RtfWriter rtf;
    rtf.appendRun(u"a{\\}\t\u20AC", ydf::kMuted, 11, false);
    rtf.appendRun(u"", ydf::kWhite, 18, true);  // sets a format only: nothing
    rtf.appendRun(u"B\r\r\nc\r\n", ydf::kWhite, 18, true);
    rtf.appendRun(u"\rd\n\U0001F600", ydf::kMuted, 10, false);
    EXPECT_EQ(rtf.header(),
              "{\\rtf1\\ansi\\deff0\\uc1{\\fonttbl{\\f0\\fnil Consolas;}}"
              "{\\colortbl;\\red102\\green102\\blue170;\\red255\\green255\\blue255;}\n");
    EXPECT_EQ(rtf.body(),
              "\\plain\\f0\\cf1\\fs22 a\\{\\\\\\}\\tab \\u8364?"
              "\\plain\\f0\\cf2\\fs36\\b B c\\par\n"
              "\\plain\\f0\\cf1\\fs20 \\par\nd\\par\n\\u-10179?\\u-8704?");
    EXPECT_EQ(rtf.closing(), "}");
    rtf.appendRun(u"\n", ydf::kMuted, 10, false);
    EXPECT_EQ(rtf.closing(), "\\par\n}");  // the break that streaming drops
}

// The file: every run shaded with the page colour, each paragraph hanging under its text
// past the margin (Consolas characters of 0.55 em), blanks in a row each in a group of its
// own (word processors widen them otherwise), no empty paragraph at the end.
TEST(YdfExport, RtfFileShadesHangsAndEndsWithTheText) {
    ydf::RtfFileSink sink(ydf::Encoding::Utf8);
    sink.appendText("    - M\xC3\xBCller", ydf::kLightGrey, 10, false);
    sink.appendText("\r\n", ydf::kLightGrey, 10, false);
    sink.appendText("\xE2\x82", ydf::kWhite, 18, true);  // a cut sequence alone: nothing, no paragraph
    sink.appendText("  T", ydf::kWhite, 18, true);
    sink.appendText("\r\n", ydf::kWhite, 18, false);
    const std::string file = sink.rtf.file();
    EXPECT_EQ(file.find("{\\rtf1\\ansi\\deff0\\uc1{\\fonttbl{\\f0\\fmodern\\fprq1 Consolas;}}"), 0u);
    EXPECT_NE(
        file.find("{\\colortbl;\\red224\\green224\\blue224;\\red6\\green6\\blue12;\\red255\\green255"
                  "\\blue255;}\n{\\*\\background{\\shp{\\*\\shpinst{\\sp{\\sn fillColor}{\\sv 787974}}}}}"
                  "\\viewbksp1\n"),
        std::string::npos)
        << file;
    EXPECT_TRUE(file.ends_with(
        "\\pard\\li750\\fi-660\\plain\\f0\\cf1\\fs20\\chcbpat2\\highlight2 { }{ }{ }{ }- M\\u252?ller"
        "\\plain\\f0\\cf1\\fs20\\chcbpat2\\highlight2 \\par\n"
        "\\pard\\li486\\fi-396\\plain\\f0\\cf3\\fs36\\b\\chcbpat2\\highlight2 { }{ }T"
        "\\plain\\f0\\cf3\\fs36\\chcbpat2\\highlight2 }\n"))
        << file;
}

// What a document's bytes mean, and each run decoded on its own.
TEST(YdfEncoding, TheTextDecidesAndEachRunDecodesAlone) {
    using E = ydf::Encoding;
    const struct {
        const char* what;
        std::string text;
        E expected;
    } cases[] = {
        {"ASCII only", "{\"title\": \"plain\"}", E::Windows1252},
        {"Windows-1252", "Caf\xE9 \x93quoted\x94", E::Windows1252},
        {"Latin accents", "Caf\xC3\xA9 M\xC3\xBCller", E::Utf8},
        {"CJK", "\xE6\x9D\xB1\xE4\xBA\xAC", E::Utf8},
        {"an emoji", "\xF0\x9F\x98\x80", E::Utf8},
        {"a UTF-8 byte order mark", "\xEF\xBB\xBF{}", E::Utf8},
        {"UTF-8, then invalid", "\xC3\xA9 \xE9", E::Windows1252},
        {"cut at the text's end", "\xC3\xA9\xE6\x9D", E::Windows1252},
        {"overlong", "\xC3\xA9\xC0\xAF", E::Windows1252},
        {"a surrogate", "\xC3\xA9\xED\xA0\x80", E::Windows1252},
        {"past U+10FFFF", "\xC3\xA9\xF4\x90\x80\x80", E::Windows1252},
        {"a lone continuation byte", "\xC3\xA9\x80", E::Windows1252},
        {"UTF-8 up to the NUL, bytes after it", std::string("\xC3\xA9\0\xE9", 4), E::Utf8},
        {"a Windows-1252 byte before the NUL", std::string("\xE9\0\xC3\xA9", 4), E::Windows1252},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ydf::textEncoding(c.text.data(), c.text.size()), c.expected) << c.what;

    const struct {
        const char* what;
        std::string run;
        std::u16string utf8, cp1252;
    } runs[] = {
        {"accents", "M\xC3\xBCller", u"M\u00FCller", u"M\u00C3\u00BCller"},
        {"an emoji as a surrogate pair", "\xF0\x9F\x98\x80!", u"\U0001F600!", u"\u00F0\u0178\u02DC\u20AC!"},
        {"cut by a buffer before \"]\"", "[\xE6\x9D\xB1\xE6\x9D]", u"[\u6771]",
         u"[\u00E6\u009D\u00B1\u00E6\u009D]"},
        {"cut at the run's end", "ab\xF0\x9F\x98", u"ab", u"ab\u00F0\u0178\u02DC"},
        {"a byte no document holds",
         "a\xFF"
         "b",
         u"a\uFFFDb", u"a\u00FFb"},
    };
    for (const auto& r : runs) {
        std::u16string utf8, cp1252;
        ydf::appendUtf16(utf8, r.run, E::Utf8);
        ydf::appendUtf16(cp1252, r.run, E::Windows1252);
        EXPECT_TRUE(utf8 == r.utf8) << r.what;
        EXPECT_TRUE(cp1252 == r.cp1252) << r.what;
    }
    std::string bytes;
    ydf::appendUtf8(bytes, "\xE2\x82\xAC\xF0\x9F\x98\x80\xE2\x82", E::Utf8);
    EXPECT_EQ(bytes, "\xE2\x82\xAC\xF0\x9F\x98\x80");
    bytes.clear();
    ydf::appendUtf8(bytes, "\x80\xE9", E::Windows1252);
    EXPECT_EQ(bytes, "\xE2\x82\xAC\xC3\xA9");
}

// A kicker of 40 two-byte characters is cut by its 63-byte buffer inside the 32nd: that
// character shows as nothing, and the "]" after it and the lines after it are whole.
TEST(YdfEncoding, ACutSequenceShowsNothingInEveryOutput) {
    std::string kicker;
    for (int i = 0; i < 40; ++i) kicker += "\xC3\xBC";
    const std::string doc =
        "{\"title\": \"\xE6\x9D\xB1\", \"kicker\": \"" + kicker + "\", \"title\": \"\xC3\xA9\"}";
    const ydf::Encoding encoding = ydf::textEncoding(doc.data(), doc.size());
    ASSERT_EQ(encoding, ydf::Encoding::Utf8);
    const std::vector<StyledRun> runs = render(doc);
    ASSERT_EQ(runs[10].text, "  [" + kicker.substr(0, 62) + "\xC3]");  // the runs keep the bytes
    std::u16string shown;
    ydf::appendUtf16(shown, runs[10].text, encoding);
    EXPECT_TRUE(shown == u"  [" + std::u16string(31, u'\u00FC') + u"]");

    const std::string page = ydf::htmlPage(runs, "\xE6\x9D\xB1", encoding);
    EXPECT_NE(page.find("<title>\xE6\x9D\xB1</title>"), std::string::npos);
    EXPECT_NE(page.find(kicker.substr(0, 62) + "]</span>"), std::string::npos);
    EXPECT_EQ(page.find("\xEF\xBF\xBD"), std::string::npos);  // no U+FFFD anywhere

    ydf::RtfFileSink rtf(encoding);
    ydf::renderYDF(doc.data(), doc.size(), rtf);
    std::string umlauts;
    for (int i = 0; i < 31; ++i) umlauts += "\\u252?";
    EXPECT_NE(rtf.rtf.body().find("{ }{ }[" + umlauts + "]\\plain"), std::string::npos);
    EXPECT_NE(rtf.rtf.body().find("{ }{ }\\u26481?\\plain"), std::string::npos);
}

// The page: the reader's margin and hanging indents in characters of each paragraph's
// own font, a block per paragraph (an empty one kept by a <br>), line breaks as the view
// takes them, markup escaped, Windows-1252 bytes as their characters.
TEST(YdfExport, HtmlPageEscapesAndStylesEachRun) {
    const std::vector<StyledRun> runs = {{"  <a & \"b\" 'c'>\x93", ydf::kWhite, 18, true},
                                         {"\r\n", ydf::kWhite, 18, false},
                                         {"", ydf::kLightGrey, 6, false},
                                         {"\r\n", ydf::kLightGrey, 6, false},
                                         {"    - x\r\r\ny\rz", ydf::kLightGrey, 10, false},
                                         {"\r\n", ydf::kLightGrey, 10, false}};
    const std::string page = ydf::htmlPage(runs, "T<&>");
    EXPECT_NE(page.find("<title>T&lt;&amp;&gt;</title>"), std::string::npos);
    EXPECT_NE(page.find("html{background:#06060c}"), std::string::npos);
    EXPECT_NE(page.find(".s0{color:#ffffff;font-size:18pt;font-weight:bold}"), std::string::npos);
    EXPECT_NE(page.find(".s1{color:#ffffff;font-size:18pt}"), std::string::npos);
    EXPECT_NE(page.find(".s2{color:#e0e0e0;font-size:6pt}"), std::string::npos);
    EXPECT_NE(page.find(".h2{padding-left:calc(6px + 2ch);text-indent:-2ch}"), std::string::npos);
    EXPECT_NE(page.find(".h6{padding-left:calc(6px + 6ch);text-indent:-6ch}"), std::string::npos);
    EXPECT_EQ(page.find(".h1{"), std::string::npos);  // only the indents used
    EXPECT_NE(
        page.find("<main><div class=\"s0 h2\"><span class=\"s0\">  &lt;a &amp; &quot;b&quot; &#39;c&#39;&gt;"
                  "\xE2\x80\x9C</span></div>"
                  "<div class=\"s2 h0\"><br></div>"
                  "<div class=\"s3 h6\"><span class=\"s3\">    - x y</span></div>"
                  "<div class=\"s3 h6\"><span class=\"s3\">z</span></div></main>"),
        std::string::npos)
        << page;

    // Control characters, NUL among them, become references; tab and line breaks stay.
    const std::vector<StyledRun> controls = {
        {std::string("a\0b\x01\t\x7F\x81\x80", 8), ydf::kWhite, 18, false}};
    EXPECT_NE(ydf::htmlPage(controls, "").find("a&#0;b&#1;\t&#127;&#129;\xE2\x82\xAC</span>"),
              std::string::npos);
}

}  // namespace

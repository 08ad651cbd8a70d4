// The reader's batching sink against run-by-run appending, in real rich-edit controls:
// both must leave the same text and the same format on every character. And the batching
// sink's layout: every wrapped line starts under its paragraph's text.
#include <gtest/gtest.h>
#include <richedit.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>

#include "ydf_richedit.h"

namespace {

class Views : public testing::Test {
protected:
    static void SetUpTestSuite() {
        LoadLibraryA("Msftedit.dll");
    }

    void SetUp() override {
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 800, 700, nullptr, nullptr,
                                  nullptr, nullptr);
        ASSERT_NE(parent_, nullptr);
        reference_ = makeView();
        batched_ = makeView();
        ASSERT_NE(reference_, nullptr);
        ASSERT_NE(batched_, nullptr);
    }

    void TearDown() override {
        DestroyWindow(parent_);
    }

    // The reader's view: the same class, style and background, nothing else set.
    HWND makeView() {
        HWND v = CreateWindowExW(0, L"RICHEDIT50W", L"", 0x50200804, 0, 40, 800, 660, parent_, nullptr,
                                 nullptr, nullptr);
        if (v) SendMessageA(v, EM_SETBKGNDCOLOR, 0, ydf::kBackground);
        return v;
    }

    void renderBothWays(const std::string& doc) {
        ydfview::AppendSink one(reference_);
        ydf::renderYDF(doc.data(), doc.size(), one);
        ydfview::RtfSink all(batched_);
        ydf::renderYDF(doc.data(), doc.size(), all);
        all.show();
    }

    static std::wstring text(HWND view) {
        GETTEXTLENGTHEX len = {GTL_DEFAULT | GTL_NUMCHARS, 1200};
        const LRESULT n = SendMessageW(view, EM_GETTEXTLENGTHEX, WPARAM(&len), 0);
        std::wstring w(size_t(n) + 1, L'\0');
        GETTEXTEX get = {DWORD(w.size() * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr, nullptr};
        SendMessageW(view, EM_GETTEXTEX, WPARAM(&get), LPARAM(w.data()));
        w.resize(wcslen(w.c_str()));
        return w;
    }

    static std::string narrowText(HWND view) {
        std::string s(size_t(GetWindowTextLengthA(view)) + 1, '\0');
        s.resize(size_t(GetWindowTextA(view, s.data(), int(s.size()))));
        return s;
    }

    // The format of the character at `at`, as "colour size bold face".
    static std::string formatAt(HWND view, LONG at) {
        SendMessageW(view, EM_SETSEL, WPARAM(at), LPARAM(at + 1));
        CHARFORMAT2W cf = {};
        cf.cbSize = sizeof cf;
        SendMessageW(view, EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(&cf));
        const DWORD effects = cf.dwEffects & (CFE_BOLD | CFE_AUTOCOLOR | CFE_ITALIC | CFE_UNDERLINE);
        char face[LF_FACESIZE * 2];
        WideCharToMultiByte(CP_UTF8, 0, cf.szFaceName, -1, face, sizeof face, nullptr, nullptr);
        return std::to_string(cf.crTextColor) + " " + std::to_string(cf.yHeight) + " " +
               std::to_string(effects) + " " + face;
    }

    void expectSameViews(const char* what) {
        const std::wstring a = text(reference_), b = text(batched_);
        ASSERT_EQ(a, b) << what;
        EXPECT_EQ(narrowText(reference_), narrowText(batched_)) << what;
        for (size_t i = 0; i < a.size(); ++i)
            ASSERT_EQ(formatAt(reference_, LONG(i)), formatAt(batched_, LONG(i)))
                << what << ": character " << i << " of " << a.size() << " (U+" << std::hex << int(a[i])
                << ")";
    }

    HWND parent_ = nullptr, reference_ = nullptr, batched_ = nullptr;
};

std::string allAwkwardBytes() {
    std::string s;
    for (int b = 1; b < 0x20; ++b)
        if (b != '"' && b != '\\') s += char(b);
    s += "\x7F";
    for (int b = 0x80; b < 0x100; ++b) s += char(b);
    return s;
}

TEST_F(Views, WholeDocument) {
    renderBothWays(R"({"@ydf": "1.0", "kind": "contract", "id": "C-9", "title": "Terms",
        "issuer": {"name": "Acme", "url": "https://acme.example"},
        "sections": [{"kicker": "ONE", "title": "First", "paragraph": "Text.", "list": ["a", "", "b"]},
                     {"kicker": "TWO"}], "sig": "0123456789abcdef0"})");
    expectSameViews("whole document");
}

TEST_F(Views, EmptyDocumentAndEmptyRuns) {
    renderBothWays("");
    expectSameViews("empty document");
}

TEST_F(Views, AwkwardBytesInEveryKindOfLine) {
    const std::string odd = allAwkwardBytes() + "\r\n|\r|\n|\n\r|\r\r\n|\r\r|\t\t|{\\\\}|\\\"|end";
    const std::string doc = "{\"@ydf\": \"" + odd + "\", \"title\": \"" + odd +
                            "\", \"issuer\": {\"name\": \"" + odd + "\"}, \"kicker\": \"" + odd +
                            "\", \"paragraph\": \"" + odd + "\", \"list\": [\"" + odd +
                            "\", \"\\r\", \"\r\", \"\n\", \"\r\r\n\"], \"sig\": \"\r\n\t\x80\x81\x9D\xFF\"}";
    renderBothWays(doc);
    expectSameViews("awkward bytes");
}

TEST_F(Views, ManySections) {
    std::string doc = R"({"title": "Many", "sections": [)";
    for (int i = 0; i < 300; ++i) doc += "{\"kicker\": \"K" + std::to_string(i) + "\"},";
    renderBothWays(doc + "]}");
    expectSameViews("300 sections");
}

TEST_F(Views, RandomDocuments) {
    const std::string pieces[] = {"{\"kicker\": \"",
                                  "{\"title\": \"",
                                  "\"paragraph\": \"",
                                  "\"list\": [\"",
                                  "\", \"",
                                  "\"]",
                                  "\r",
                                  "\n",
                                  "\t",
                                  "\\",
                                  "{",
                                  "}",
                                  "\x93\xE9\xFF",
                                  "word ",
                                  " "};
    std::mt19937 rng(7);
    for (int i = 0; i < 25; ++i) {
        std::string doc;
        for (int k = int(rng() % 80); k > 0; --k) doc += pieces[rng() % std::size(pieces)];
        renderBothWays(doc);
        expectSameViews(("random document " + std::to_string(i)).c_str());
    }
}

// Where the view draws the character at `at`.
POINTL positionOf(HWND view, LONG at) {
    POINTL p = {};
    SendMessageW(view, EM_POSFROMCHAR, WPARAM(&p), at);
    return p;
}

// A paragraph, a list item and a paragraph that starts with many blanks, each far wider
// than the view: every line that continues a paragraph starts where the paragraph's text
// does (after its blanks and an item's "- ", at most 8 characters in), every first line
// at the margin, `marginTwips` (6 pixels at 96 dpi) right of where it is without one.
TEST_F(Views, WrappedLinesHangUnderTheirText) {
    std::string words;
    for (int i = 0; i < 150; ++i) words += "word" + std::to_string(i) + " ";
    const std::string doc = "{\"kicker\": \"K\", \"paragraph\": \"" + words + "\", \"list\": [\"" + words +
                            "\"]}, {\"kicker\": \"L\", \"paragraph\": \"" + std::string(30, ' ') + words +
                            "\"}";
    LONG firstLineX[2] = {};
    for (const int32_t margin : {0, 90}) {
        SCOPED_TRACE("margin " + std::to_string(margin));
        ydfview::RtfSink sink(batched_, margin);
        ydf::renderYDF(doc.data(), doc.size(), sink);
        sink.show();

        const std::wstring all = text(batched_);  // paragraphs end in a lone CR
        const LRESULT lines = SendMessageW(batched_, EM_GETLINECOUNT, 0, 0);
        int wrapped = 0;
        std::set<LONG> starts;
        for (LRESULT line = 0; line < lines; ++line) {
            const LONG at = LONG(SendMessageW(batched_, EM_LINEINDEX, WPARAM(line), 0));
            if (at >= LONG(all.size())) break;
            const size_t paragraph = at == 0 ? 0 : all.rfind(L'\r', size_t(at - 1)) + 1;
            if (paragraph == size_t(at)) {
                starts.insert(positionOf(batched_, at).x);
                continue;
            }
            size_t prefix = all.find_first_not_of(L' ', paragraph) - paragraph;
            if (all.compare(paragraph + prefix, 2, L"- ") == 0) prefix += 2;
            prefix = std::min(prefix, ydfview::RtfSink::kMaxHangingChars);
            EXPECT_EQ(positionOf(batched_, at).x, positionOf(batched_, LONG(paragraph + prefix)).x)
                << "line " << line << ", paragraph at " << paragraph;
            ++wrapped;
        }
        EXPECT_GE(wrapped, 9);  // each of the three long lines wraps at least three times
        ASSERT_EQ(starts.size(), 1u) << "every first line starts at the margin";
        firstLineX[margin ? 1 : 0] = *starts.begin();
    }
    EXPECT_EQ(firstLineX[1] - firstLineX[0], 6);
}

TEST_F(Views, StreamingReplacesThePreviousDocument) {
    const std::string first = R"({"title": "First", "kicker": "A", "paragraph": "long text here"})";
    const std::string second = R"({"title": "Second"})";
    ydfview::RtfSink all(batched_);
    ydf::renderYDF(first.data(), first.size(), all);
    all.show();
    ydfview::AppendSink one(reference_);
    ydf::renderYDF(first.data(), first.size(), one);
    renderBothWays(second);
    expectSameViews("second document");
}

}  // namespace

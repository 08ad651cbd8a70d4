// The reader's batching sink against run-by-run appending, in real rich-edit controls:
// both must leave the same text and the same format on every character. And the batching
// sink's layout: every wrapped line starts under its paragraph's text.
#include <gtest/gtest.h>
#include <richedit.h>

#include <algorithm>
#include <climits>
#include <cwctype>
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
        const ydf::Encoding encoding = ydf::textEncoding(doc.data(), doc.size());
        ydfview::AppendSink one(reference_, encoding);
        ydf::renderYDF(doc.data(), doc.size(), one);
        ydfview::RtfSink all(batched_, 0, encoding);
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

// A UTF-8 document: the view holds the characters its bytes decode to, a sequence cut by
// a value's buffer (the kicker's 63 bytes end inside its 32nd "ü") as nothing; a document
// with one byte that is not UTF-8 is read byte by byte as before.
TEST_F(Views, Utf8Documents) {
    std::string umlauts;
    for (int i = 0; i < 40; ++i) umlauts += "\xC3\xBC";
    const std::string doc =
        "{\"title\": \"M\xC3\xBCller \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80\", \"kicker\": \"" + umlauts +
        "\", \"paragraph\": \"Gr\xC3\xBC\xC3\x9F\x65\", \"list\": [\"\xE2\x82\xAC\"]}";
    renderBothWays(doc);
    expectSameViews("UTF-8 document");
    const std::wstring shown = text(batched_);
    EXPECT_NE(shown.find(L"  M\u00FCller \u6771\u4EAC \U0001F600\r"), std::wstring::npos);
    EXPECT_NE(shown.find(L"  [" + std::wstring(31, L'\u00FC') + L"]\r  \r  Gr\u00FC\u00DFe\r    - \u20AC\r"),
              std::wstring::npos);

    renderBothWays(doc + "\xE9");
    expectSameViews("one byte that is not UTF-8");
    EXPECT_NE(text(batched_).find(L"  M\u00C3\u00BCller"), std::wstring::npos);
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

// Pages printed into enhanced metafiles, one a page, as a printer would get them.
class MetafilePages final : public ydfview::PageTarget {
public:
    explicit MetafilePages(HDC reference) : reference_(reference) {
    }
    ~MetafilePages() {
        for (HENHMETAFILE page : pages) DeleteEnhMetaFile(page);
    }
    bool wanted(int page) override {
        return page >= from && page <= to;
    }
    HDC beginPage(int) override {
        return CreateEnhMetaFileW(reference_, nullptr, nullptr, nullptr);
    }
    bool endPage(HDC dc) override {
        pages.push_back(CloseEnhMetaFile(dc));
        return failAt != int(pages.size());
    }
    std::vector<HENHMETAFILE> pages;
    int from = 1, to = INT_MAX, failAt = 0;

private:
    HDC reference_;
};

// What a page draws: its text in order, where each piece starts, in which colours.
struct PageText {
    std::wstring text;  // without white space
    LONG minX = LONG_MAX, minY = LONG_MAX, maxY = LONG_MIN;
    std::set<COLORREF> colors;
};

int CALLBACK readRecord(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM data) {
    auto& page = *reinterpret_cast<PageText*>(data);
    if (record->iType == EMR_SETTEXTCOLOR)
        page.colors.insert(reinterpret_cast<const EMRSETTEXTCOLOR*>(record)->crColor);
    if (record->iType != EMR_EXTTEXTOUTW) return 1;
    const auto* out = reinterpret_cast<const EMREXTTEXTOUTW*>(record);
    const auto* chars =
        reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(record) + out->emrtext.offString);
    bool drawn = false;
    for (DWORD i = 0; i < out->emrtext.nChars; ++i)
        if (!iswspace(chars[i])) page.text += chars[i], drawn = true;
    if (drawn) {
        page.minX = std::min(page.minX, out->emrtext.ptlReference.x);
        page.minY = std::min(page.minY, out->emrtext.ptlReference.y);
        page.maxY = std::max(page.maxY, out->emrtext.ptlReference.y);
    }
    return 1;
}

// A document of many pages printed on letter paper: every character of the view on
// exactly one page, in order; every page's text within the same margins; white and light
// grey text in black, accent and muted kept; a page range prints only its pages; a job
// that fails stops.
TEST_F(Views, PrintingPaginatesTheWholeView) {
    std::string doc = R"({"title": "Printed", "sections": [)";
    for (int i = 0; i < 120; ++i)
        doc += "{\"kicker\": \"K" + std::to_string(i) + "\", \"title\": \"Section " + std::to_string(i) +
               "\", \"paragraph\": \"Text of section " + std::to_string(i) + " that goes on for a while.\"},";
    doc += "]}";
    ydfview::RtfSink sink(batched_, 90);
    ydf::renderYDF(doc.data(), doc.size(), sink);
    ASSERT_TRUE(sink.show());
    const std::wstring before = text(batched_);

    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    const ydfview::Paper letter = {12240, 15840, 0, 0};  // 8.5 x 11 inches
    MetafilePages all(screen);
    const int pages = ydfview::printView(batched_, screen, letter, all);
    ASSERT_GE(pages, 3);
    ASSERT_EQ(all.pages.size(), size_t(pages));

    std::wstring printed;
    const LONG margin = MulDiv(ydfview::kPrintMarginTwips, dpi, 1440);
    const LONG bottom = MulDiv(letter.height - ydfview::kPrintMarginTwips, dpi, 1440);
    std::set<LONG> lefts;
    for (size_t i = 0; i < all.pages.size(); ++i) {
        PageText page;
        EnumEnhMetaFile(nullptr, all.pages[i], readRecord, &page, nullptr);
        ASSERT_FALSE(page.text.empty()) << "page " << i + 1;
        EXPECT_GE(page.minY, margin) << "page " << i + 1;
        EXPECT_LT(page.minY, margin + dpi / 2) << "page " << i + 1 << " starts at its top margin";
        EXPECT_LT(page.maxY, bottom) << "page " << i + 1;
        lefts.insert(page.minX);
        for (const COLORREF c : page.colors)
            EXPECT_TRUE(c == 0 || c == ydf::kAccent || c == ydf::kMuted)
                << std::hex << c << " on page " << i + 1;
        EXPECT_TRUE(page.colors.count(0)) << "white and grey print black";
        printed += page.text;
    }
    EXPECT_EQ(lefts.size(), 1u) << "one left margin on every page";
    EXPECT_GE(*lefts.begin(), margin);
    std::wstring shown = text(batched_);
    std::erase_if(shown, [](wchar_t c) { return iswspace(c); });
    EXPECT_TRUE(printed == shown) << "every character once, in order";

    MetafilePages range(screen);
    range.from = range.to = 2;
    EXPECT_EQ(ydfview::printView(batched_, screen, letter, range), pages);
    EXPECT_EQ(range.pages.size(), 1u);

    MetafilePages failing(screen);
    failing.failAt = 1;
    EXPECT_EQ(ydfview::printView(batched_, screen, letter, failing), -1);
    EXPECT_EQ(failing.pages.size(), 1u);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(text(batched_) == before) << "the view is not touched";
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

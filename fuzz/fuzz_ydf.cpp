// Fuzz target: any bytes rendered as a document, as the reader loads them (the file's
// bytes with one NUL appended), into a sink that checks the runs as they come. The
// output bound is an invariant: no input may get more runs or text than its size
// allows, plus the one cut notice line. Every run decodes to well-formed UTF-16, and the
// runs of a document read as UTF-8 hold no byte that starts no sequence (a value's
// buffer may cut a sequence, which shows as nothing, but never makes a stray byte).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ydf_document.h"
#include "ydf_export.h"

namespace {

class CheckingSink final : public ydf::Sink {
public:
    void clear() override {
        ++clears;
    }
    explicit CheckingSink(ydf::Encoding what) : encoding(what) {
    }
    void appendText(const char* text, uint32_t color, int32_t points, bool bold) override {
        // Every run is a terminated string of at most one composed line.
        const size_t length = std::strlen(text);
        if (length > 1023 || points <= 0 || points > 20 || color > 0xFFFFFF) __builtin_trap();
        (void)bold;
        wide.clear();
        ydf::appendUtf16(wide, text, encoding);
        for (size_t i = 0; i < wide.size(); ++i) {
            const char16_t c = wide[i];
            if (encoding == ydf::Encoding::Utf8 && c == 0xFFFD) __builtin_trap();
            if (c >= 0xDC00 && c < 0xE000) __builtin_trap();  // a low surrogate not after a high one
            if (c >= 0xD800 && c < 0xDC00 &&
                !(i + 1 < wide.size() && wide[++i] >= 0xDC00 && wide[i] < 0xE000))
                __builtin_trap();
        }
        ++runs;
        textBytes += length;
    }
    ydf::Encoding encoding;
    std::u16string wide;
    int clears = 0;
    uint64_t runs = 0;
    uint64_t textBytes = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> doc(data, data + size);
    doc.push_back('\0');
    CheckingSink sink(ydf::textEncoding(doc.data(), doc.size() - 1));
    ydf::renderYDF(doc.data(), doc.size() - 1, sink);
    if (sink.clears != 1 || sink.runs < 10) __builtin_trap();  // five fixed lines, two runs each

    const size_t textLength = size_t(ydf::textEnd(doc.data(), size) - doc.data());
    const ydf::OutputBound bound = ydf::outputBound(textLength);
    if (sink.runs > bound.runs + 2 || sink.textBytes > bound.textBytes + ydf::kCutNoticeMax + 2)
        __builtin_trap();
    return 0;
}

// Fuzz target: any bytes rendered as a document, as the reader loads them (the file's
// bytes with one NUL appended), into a sink that checks the runs as they come. The
// output bound is an invariant: no input may get more runs or text than its size
// allows, plus the one cut notice line.
#include <cstdint>
#include <cstring>
#include <vector>

#include "ydf_document.h"

namespace {

class CheckingSink final : public ydf::Sink {
public:
    void clear() override {
        ++clears;
    }
    void appendText(const char* text, uint32_t color, int32_t points, bool bold) override {
        // Every run is a terminated string of at most one composed line.
        const size_t length = std::strlen(text);
        if (length > 1023 || points <= 0 || points > 20 || color > 0xFFFFFF) __builtin_trap();
        (void)bold;
        ++runs;
        textBytes += length;
    }
    int clears = 0;
    uint64_t runs = 0;
    uint64_t textBytes = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> doc(data, data + size);
    doc.push_back('\0');
    CheckingSink sink;
    ydf::renderYDF(doc.data(), doc.size() - 1, sink);
    if (sink.clears != 1 || sink.runs < 10) __builtin_trap();  // five fixed lines, two runs each

    const size_t textLength = size_t(ydf::textEnd(doc.data(), size) - doc.data());
    const ydf::OutputBound bound = ydf::outputBound(textLength);
    if (sink.runs > bound.runs + 2 || sink.textBytes > bound.textBytes + ydf::kCutNoticeMax + 2)
        __builtin_trap();
    return 0;
}

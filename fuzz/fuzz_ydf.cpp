// Fuzz target: any bytes rendered as a document, as the reader loads them (the file's
// bytes with one NUL appended), into a sink that checks the runs as they come.
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
        if (std::strlen(text) > 1023 || points <= 0 || points > 20 || color > 0xFFFFFF) __builtin_trap();
        (void)bold;
        ++runs;
    }
    int clears = 0;
    size_t runs = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> doc(data, data + size);
    doc.push_back('\0');
    CheckingSink sink;
    ydf::renderYDF(doc.data(), doc.size() - 1, sink);
    if (sink.clears != 1 || sink.runs < 10) __builtin_trap();  // five fixed lines, two runs each
    return 0;
}

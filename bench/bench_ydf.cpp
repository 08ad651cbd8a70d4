// Rendering documents of many sections into a sink that only counts. The per_section
// counter (time per section) must stay flat as the section count grows.
#include <benchmark/benchmark.h>

#include <string>

#include "ydf_document.h"
#include "ydf_export.h"

namespace {

class CountingSink final : public ydf::Sink {
public:
    void clear() override {
        runs = 0;
    }
    void appendText(const char* text, uint32_t, int32_t, bool) override {
        benchmark::DoNotOptimize(text);
        ++runs;
    }
    size_t runs = 0;
};

const std::string kHead = R"({"@ydf": "1.0", "kind": "brochure", "id": "BR-1", "title": "Bench",
"issuer": {"name": "Yorvel", "url": "https://yorvel.example"}, "sections": [
)";
const std::string kTail = "], \"sig\": \"0123456789abcdef0123\"}\n";

std::string completeSections(size_t count) {
    std::string doc = kHead;
    for (size_t i = 0; i < count; ++i)
        doc += "{\"kicker\": \"Part " + std::to_string(i) + "\", \"title\": \"Title " + std::to_string(i) +
               "\", \"paragraph\": \"A paragraph of ordinary length, with \\\"quotes\\\" and more words "
               "to read.\", \"list\": [\"first item\", \"second item\", \"third item\"]},\n";
    return doc + kTail;
}

// Sections with only a kicker: every title, paragraph and list search finds nothing.
std::string kickerOnlySections(size_t count) {
    std::string doc = kHead;
    for (size_t i = 0; i < count; ++i) doc += "{\"kicker\": \"Part " + std::to_string(i) + "\"},\n";
    return doc + kTail;
}

void render(benchmark::State& state, const std::string& doc, size_t sections) {
    CountingSink sink;
    for (auto _ : state) ydf::renderYDF(doc.data(), doc.size(), sink);
    state.counters["per_section"] = benchmark::Counter(
        double(sections), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["MB"] = double(doc.size()) / 1e6;
    state.counters["runs"] = double(sink.runs);
}

void BM_RenderComplete(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    render(state, completeSections(n), n);
}

void BM_RenderKickerOnly(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    render(state, kickerOnlySections(n), n);
}

// About 20 MB of kicker-only sections.
void BM_RenderKickerOnly20MB(benchmark::State& state) {
    size_t n = 0;
    std::string doc = kHead;
    while (doc.size() < 20'000'000) doc += "{\"kicker\": \"Part " + std::to_string(n++) + "\"},\n";
    render(state, doc + kTail, n);
}

// Sections that all show the one list at the end (22 KB and 220 KB): the output bound
// cuts them, so time and runs grow with the document, not with sections x items.
void BM_RenderSharedList(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    std::string doc;
    for (size_t i = 0; i < n; ++i) doc += R"("kicker":"""list":0)";
    doc += "\"list\":[";
    for (size_t i = 0; i < n; ++i) doc += "\"\",";
    render(state, doc + "]", n);
}

// Deciding what a document's bytes mean, and decoding its runs, on about 20 MB of
// sections with accented and CJK text: one pass over the text, then a pass per run.
void BM_Utf8Document20MB(benchmark::State& state) {
    std::string doc = kHead;
    size_t n = 0;
    while (doc.size() < 20'000'000)
        doc += "{\"kicker\": \"Teil " + std::to_string(n++) +
               "\", \"paragraph\": \"Grüße aus Köln, 東京 und Zürich.\"},\n";
    doc += kTail;
    ydf::RunList runs;
    ydf::renderYDF(doc.data(), doc.size(), runs);
    std::u16string wide;
    for (auto _ : state) {
        const ydf::Encoding encoding = ydf::textEncoding(doc.data(), doc.size());
        for (const ydf::Run& r : runs.runs) {
            wide.clear();
            ydf::appendUtf16(wide, r.text, encoding);
            benchmark::DoNotOptimize(wide.data());
        }
    }
    state.counters["MB"] = double(doc.size()) / 1e6;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.size()));
}

}  // namespace

BENCHMARK(BM_Utf8Document20MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderSharedList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderComplete)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderKickerOnly)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderKickerOnly20MB)->Unit(benchmark::kMillisecond);

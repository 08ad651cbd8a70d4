// A program of its own that reads Yorvel files through libyorvel:
//
//   yorvel_example IMAGE.yif DOCUMENT.ydf
//
// decodes the image to R,G,B,A bytes and prints its size and first pixel, then renders
// the document to styled runs and prints how many there are and its first line.
#include <ydf_document.h>
#include <yif_image.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

static std::vector<uint8_t> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: yorvel_example IMAGE.yif DOCUMENT.ydf\n");
        return 2;
    }

    const std::vector<uint8_t> image = readFile(argv[1]);
    const yif::Info info = yif::inspect(image.data(), image.size());
    const uint64_t bytes = info.error == yif::Error::None ? yif::pixelBytes(info.header) : 0;
    if (bytes == 0) {
        std::fprintf(stderr, "%s: no picture (%s)\n", argv[1], yif::errorText(info.error));
        return 1;
    }
    std::vector<uint8_t> rgba(bytes);
    yif::decodePixels(image.data(), image.size(), info, rgba.data(), rgba.size());
    for (size_t i = 0; i < rgba.size(); i += 4) std::swap(rgba[i], rgba[i + 2]);  // B,G,R,A to R,G,B,A
    std::printf("%s\n%ux%u, first pixel %u,%u,%u,%u\n", yif::statusLine(info).c_str(), info.header.width,
                info.header.height, rgba[0], rgba[1], rgba[2], rgba[3]);

    const std::vector<uint8_t> document = readFile(argv[2]);
    ydf::RunList runs;
    ydf::renderYDF(reinterpret_cast<const char*>(document.data()), document.size(), runs);
    std::printf("%zu runs, the first: \"%s\" in %d points\n", runs.runs.size(),
                runs.runs.empty() ? "" : runs.runs[0].text.c_str(),
                runs.runs.empty() ? 0 : runs.runs[0].points);
    return 0;
}

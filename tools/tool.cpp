#include "tool.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace tool {

bool readFile(const std::string& path, Bytes& data, std::string& error) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    data.clear();
    char chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0)
        data.insert(data.end(), chunk, chunk + got);
    if (std::ferror(f.get())) {
        error = errno ? std::strerror(errno) : "read error";  // e.g. a directory
        return false;
    }
    return true;
}

bool writeFileAtomically(const std::string& path, const std::function<bool(FILE*)>& write,
                         std::string& error) {
    const std::string temp = path + ".tmp-" + std::to_string(getpid());
    errno = 0;
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = write(f);
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0) return true;
    error = errno ? std::strerror(errno) : "write failed";
    std::remove(temp.c_str());
    return false;
}

std::string extensionOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "yorvel: %s\n", message.c_str());
    return 1;
}

int refuse(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    return 1;
}

}  // namespace tool

// Turns an image file into the C++ source of norvex-rom's built-in image.
// Usage: embed_image IMAGE OUTPUT.cpp
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: embed_image IMAGE OUTPUT.cpp\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "embed_image: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.size() < 80 || bytes.size() > 0xFFFFFFFFu) {
        std::fprintf(stderr, "embed_image: %s is not an image (%zu bytes)\n", argv[1], bytes.size());
        return 1;
    }
    std::FILE* out = std::fopen(argv[2], "w");
    if (!out) {
        std::fprintf(stderr, "embed_image: cannot write %s\n", argv[2]);
        return 1;
    }
    std::fprintf(out, "// Generated from %s by embed_image; do not edit.\n", argv[1]);
    std::fprintf(out, "#include <cstdint>\nnamespace norvex {\n");
    std::fprintf(out, "extern const uint32_t BUILTIN_IMAGE_SIZE = %zuu;\n", bytes.size());
    std::fprintf(out, "extern const uint8_t BUILTIN_IMAGE[] = {");
    for (size_t i = 0; i < bytes.size(); ++i)
        std::fprintf(out, "%s%u,", i % 24 ? "" : "\n", unsigned(bytes[i]));
    std::fprintf(out, "\n};\n}  // namespace norvex\n");
    return std::fclose(out) == 0 ? 0 : 1;
}

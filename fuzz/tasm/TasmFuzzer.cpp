// The assembler on arbitrary sources. The input is the main source; a 01h
// byte, if there is one, starts a second file that the source can include
// as "inc.asm". Nothing is read from disk.
#include "Assembler.h"
#include "Output.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\x01');
    const std::string main = input.substr(0, split);
    const std::string included = split == std::string::npos ? std::string() : input.substr(split + 1);

    tasm::Options options;
    options.foldCase = size % 2 == 0;
    options.listing = size % 3 == 0;
    options.extended = size % 5 == 0;
    options.reader = [&](const std::string& path, std::string& bytes) {
        if (path == "main.asm") {
            bytes = main;
            return true;
        }
        if (path.size() >= 7 && path.compare(path.size() - 7, 7, "inc.asm") == 0) {
            bytes = included;
            return true;
        }
        return false;
    };
    const tasm::Result r = tasm::assemble("main.asm", options);

    if (r.diagnostics.errorCount() > tasm::Diagnostics::MaxErrors) {
        std::abort();
    }
    if (r.ok != (r.diagnostics.errorCount() == 0)) {
        std::abort();
    }
    if (!r.ok) {
        return 0;
    }
    const tasm::Image& image = r.image;
    if (image.lowest < 0) {
        if (image.highest >= 0 || !tasm::binaryImage(image, 0).empty()) {
            std::abort();
        }
        return 0;
    }
    if (image.lowest > image.highest || image.highest > 0xFFFF) {
        std::abort();
    }
    const std::string binary = tasm::binaryImage(image, 0);
    if (binary.size() != static_cast<std::size_t>(image.highest - image.lowest + 1)) {
        std::abort();
    }
    const std::string hex = tasm::intelHex(image);
    if (hex.size() < 12 || hex.compare(hex.size() - 12, 12, ":00000001FF\n") != 0) {
        std::abort();
    }
    return 0;
}

#include "Output.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace tasm {

std::string binaryImage(const Image& image, std::uint8_t fill)
{
    std::string out;
    if (image.lowest < 0) {
        return out;
    }
    out.reserve(static_cast<std::size_t>(image.highest - image.lowest + 1));
    for (int a = image.lowest; a <= image.highest; ++a) {
        out += static_cast<char>(image.isWritten(a) ? image.at(a) : fill);
    }
    return out;
}

std::string intelHex(const Image& image)
{
    std::string out;
    char buffer[8];
    auto record = [&](int address, const std::vector<std::uint8_t>& data) {
        unsigned sum = static_cast<unsigned>(data.size()) + ((address >> 8) & 0xFF) + (address & 0xFF);
        std::snprintf(buffer, sizeof buffer, ":%02X", static_cast<unsigned>(data.size()));
        out += buffer;
        std::snprintf(buffer, sizeof buffer, "%04X00", static_cast<unsigned>(address) & 0xFFFF);
        out += buffer;
        for (std::uint8_t b : data) {
            std::snprintf(buffer, sizeof buffer, "%02X", b);
            out += buffer;
            sum += b;
        }
        std::snprintf(buffer, sizeof buffer, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        out += buffer;
    };
    if (image.lowest >= 0) {
        int a = image.lowest;
        while (a <= image.highest) {
            if (!image.isWritten(a)) {
                ++a;
                continue;
            }
            std::vector<std::uint8_t> data;
            const int start = a;
            while (a <= image.highest && image.isWritten(a) && data.size() < 16) {
                data.push_back(image.at(a));
                ++a;
            }
            record(start, data);
        }
    }
    out += ":00000001FF\n";
    return out;
}

bool writeAtomically(const std::string& path, const std::string& bytes, std::string& error)
{
    namespace fs = std::filesystem;
    const fs::path target(path);
    fs::path temporary = target;
    temporary += ".tmp~";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot write '" + temporary.string() + "'";
            return false;
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            error = "cannot write '" + path + "' (disk full?)";
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        // Windows refuses to rename onto an existing file.
        fs::remove(target, ec);
        fs::rename(temporary, target, ec);
    }
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        error = "cannot write '" + path + "': " + ec.message();
        return false;
    }
    return true;
}

}  // namespace tasm

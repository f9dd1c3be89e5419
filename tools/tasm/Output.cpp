#include "Output.h"

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

namespace {

void appendHex(std::string& out, unsigned byte)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    out += digits[(byte >> 4) & 0xF];
    out += digits[byte & 0xF];
}

}  // namespace

std::string intelHex(const Image& image)
{
    std::string out;
    auto record = [&](int address, const std::uint8_t* data, std::size_t count) {
        unsigned sum = static_cast<unsigned>(count) + ((address >> 8) & 0xFF) + (address & 0xFF);
        out += ':';
        appendHex(out, static_cast<unsigned>(count));
        appendHex(out, (static_cast<unsigned>(address) >> 8) & 0xFF);
        appendHex(out, static_cast<unsigned>(address) & 0xFF);
        out += "00";
        for (std::size_t i = 0; i < count; ++i) {
            appendHex(out, data[i]);
            sum += data[i];
        }
        appendHex(out, (0x100 - (sum & 0xFF)) & 0xFF);
        out += '\n';
    };
    if (image.lowest >= 0) {
        int a = image.lowest;
        while (a <= image.highest) {
            if (!image.isWritten(a)) {
                ++a;
                continue;
            }
            std::uint8_t data[16];
            std::size_t count = 0;
            const int start = a;
            while (a <= image.highest && image.isWritten(a) && count < sizeof data) {
                data[count++] = image.at(a);
                ++a;
            }
            record(start, data, count);
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

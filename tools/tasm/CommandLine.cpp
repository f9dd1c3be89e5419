#include "CommandLine.h"

#include "Assembler.h"
#include "Expression.h"
#include "Output.h"

#include <filesystem>
#include <optional>

namespace tasm {

namespace {

const char* const usage =
    "usage: TASM [-80] [-b] [-i] [-c] [-l] [-x[MASK]] [-dNAME[=value]] [-fXX] [-h] SOURCE [OBJECT [LISTING]]\n"
    "  -80          the Z80 instruction table (the only one)\n"
    "  -b           plain binary image from the lowest to the highest address written\n"
    "               (without it: Intel HEX)\n"
    "  -i           ignore case: labels and symbols are folded to upper case\n"
    "  -c           one contiguous block (binary images always are)\n"
    "  -l           write a listing (SOURCE with .lst, unless LISTING is given)\n"
    "  -x[MASK]     the extended instruction set: the HD64180's (mask bit 1; -x alone\n"
    "               sets all bits)\n"
    "  -dNAME[=v]   define NAME as #define would (v defaults to 1)\n"
    "  -fXX         fill the gaps of a binary image with the hex byte XX (default 00)\n"
    "  -h           this help\n"
    "OBJECT defaults to SOURCE with .obj. Exit status 0 when the image was written.\n";

}  // namespace

int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    Options options;
    bool binary = false;
    bool listing = false;
    std::uint8_t fill = 0;
    std::vector<std::string> files;

    for (const std::string& a : arguments) {
        if (!files.empty() || a.size() < 2 || a[0] != '-') {
            if (a.size() >= 2 && a[0] == '-' && !files.empty()) {
                err << "TASM: options go before the file names: '" << a << "'\n";
                return 2;
            }
            files.push_back(a);
            continue;
        }
        const char o = a[1];
        if (o >= '0' && o <= '9') {
            if (a != "-80") {
                err << "TASM: only the Z80 instruction table (-80) is available, not '" << a << "'\n";
                return 2;
            }
        } else if (a == "-b" || a == "-B") {
            binary = true;
        } else if (a == "-i" || a == "-I") {
            options.foldCase = true;
        } else if (a == "-c" || a == "-C") {
            // Binary images are contiguous already.
        } else if (a == "-l" || a == "-L") {
            listing = true;
        } else if (a == "-h" || a == "-H" || a == "--help") {
            out << usage;
            return 0;
        } else if (o == 'd' || o == 'D') {
            const std::string definition = a.substr(2);
            const std::size_t equals = definition.find('=');
            const std::string name = definition.substr(0, equals);
            if (name.empty()) {
                err << "TASM: -d needs a name\n";
                return 2;
            }
            options.defines.emplace_back(name, equals == std::string::npos ? "1" : definition.substr(equals + 1));
        } else if (o == 'x' || o == 'X') {
            const auto mask = a.size() == 2 ? std::optional<std::int64_t>(0xF) : parseNumber("$" + a.substr(2));
            if (!mask || a.size() > 3) {
                err << "TASM: -x takes one hex digit, as in -x3\n";
                return 2;
            }
            options.extended = (*mask & 2) != 0;
        } else if (o == 'f' || o == 'F') {
            const auto v = parseNumber("$" + a.substr(2));
            if (a.size() < 3 || a.size() > 4 || !v) {
                err << "TASM: -f takes a hex byte, as in -fFF\n";
                return 2;
            }
            fill = static_cast<std::uint8_t>(*v);
        } else {
            err << "TASM: unknown option '" << a << "'\n" << usage;
            return 2;
        }
    }
    if (files.empty() || files.size() > 3) {
        err << usage;
        return 2;
    }

    namespace fs = std::filesystem;
    const std::string source = files[0];
    const std::string object = files.size() > 1 ? files[1] : fs::path(source).replace_extension(".obj").string();
    std::string listingFile;
    if (files.size() > 2) {
        listingFile = files[2];
        listing = true;
    } else if (listing) {
        listingFile = fs::path(source).replace_extension(".lst").string();
    }
    options.listing = listing;

    const Result result = assemble(source, options);
    for (const std::string& line : result.echoes) {
        out << line;
    }
    out.flush();
    err << result.diagnostics.format();
    if (!result.ok) {
        // Leave no image of an earlier run under the name: whatever runs
        // next must not take it for this one.
        std::error_code ignored;
        fs::remove(object, ignored);
        err << source << ": " << result.diagnostics.errorCount() << " error(s), no image written\n";
        return 1;
    }
    std::string error;
    const std::string bytes = binary ? binaryImage(result.image, fill) : intelHex(result.image);
    if (!writeAtomically(object, bytes, error)) {
        std::error_code ignored;
        fs::remove(object, ignored);
        err << "TASM: " << error << "\n";
        return 1;
    }
    if (listing && !writeAtomically(listingFile, result.listing, error)) {
        err << "TASM: " << error << "\n";
        return 1;
    }
    return 0;
}

}  // namespace tasm

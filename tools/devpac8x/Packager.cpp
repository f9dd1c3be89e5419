#include "devpac8x/Packager.h"

#include "devpac8x/ProgramFile.h"

#include <fstream>
#include <ostream>
#include <system_error>
#include <vector>

namespace devpac8x {

namespace fs = std::filesystem;

namespace {

constexpr const char* Usage =
    "usage: DEVPAC8X NAME[.bin] [OUTPUT]\n"
    "Packs the assembled image NAME.bin into the TI-83 Plus program file NAME.8xp\n"
    "(or OUTPUT), as a protected program named NAME in upper case.\n";

bool endsWithBin(const std::string& text)
{
    if (text.size() < 4) {
        return false;
    }
    std::string tail = text.substr(text.size() - 4);
    for (char& c : tail) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return tail == ".bin";
}

std::string shown(const fs::path& path)
{
    return path.generic_string();
}

int refuse(std::ostream& err, const fs::path& path, const std::string& text)
{
    err << "DEVPAC8X: " << shown(path) << ": error: " << text << "; nothing written\n";
    return ExitRefused;
}

// The image, or a reason why it cannot be packed.
bool readImage(const fs::path& path, std::vector<std::uint8_t>& bytes, std::string& why)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
        why = "no such file (did the assembly fail?)";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        why = "not a regular file";
        return false;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        why = "cannot be read: " + ec.message();
        return false;
    }
    if (size == 0) {
        why = "the image is empty";
        return false;
    }
    if (size > MaxProgramSize) {
        why = "the image has " + std::to_string(size) + " bytes; one program variable holds at most "
              + std::to_string(MaxProgramSize);
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot be opened for reading";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (static_cast<std::uintmax_t>(in.gcount()) != size) {
        why = "cannot be read completely";
        return false;
    }
    return true;
}

bool writeThroughRename(const fs::path& destination, const std::vector<std::uint8_t>& bytes,
                        std::string& why)
{
    fs::path temporary = destination;
    temporary += ".part";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file) {
            why = "cannot be created";
            return false;
        }
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        file.close();
        if (!file) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            why = "cannot be written";
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, destination, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        why = "cannot be put in place: " + ec.message();
        return false;
    }
    return true;
}

}  // namespace

bool parseArguments(std::span<const std::string> args, PackRequest& request, std::string& message)
{
    if (args.empty() || args.size() > 2) {
        message = Usage;
        return false;
    }
    std::string image = args[0];
    if (!endsWithBin(image)) {
        image += ".bin";
    }
    request.image = fs::path(image);
    request.name = request.image.stem().string();
    fs::path defaultOutput = request.image;
    defaultOutput.replace_extension(".8xp");
    if (args.size() == 1) {
        request.output = defaultOutput;
    } else {
        request.output = fs::path(args[1]);
        std::error_code ec;
        if (fs::is_directory(request.output, ec)) {
            request.output /= defaultOutput.filename();
        }
    }
    return true;
}

int pack(const PackRequest& request, std::ostream& out, std::ostream& err)
{
    if (const std::string why = checkVariableName(request.name); !why.empty()) {
        return refuse(err, request.image, why + " (1 to 8 letters and digits, the first a letter)");
    }
    std::vector<std::uint8_t> image;
    if (std::string why; !readImage(request.image, image, why)) {
        return refuse(err, request.image, why);
    }
    if (image.size() > FreeRamWarningSize) {
        err << "DEVPAC8X: " << shown(request.image) << ": warning: the program has " << image.size()
            << " bytes, more than the " << FreeRamWarningSize
            << " that fit a calculator's free RAM\n";
    }
    const std::vector<std::uint8_t> file = makeProgramFile(request.name, image);
    if (std::string why; !writeThroughRename(request.output, file, why)) {
        return refuse(err, request.output, why);
    }
    out << shown(request.output) << ": program " << variableName(request.name) << ", "
        << image.size() << " bytes\n";
    return ExitPacked;
}

int runPackager(std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << Usage;
        return ExitPacked;
    }
    if (args.size() == 1 && args[0] == "--version") {
        out << "DEVPAC8X (Zoetra Convertor v2) " << ZOETRA_VERSION << "\n";
        return ExitPacked;
    }
    PackRequest request;
    if (std::string message; !parseArguments(args, request, message)) {
        err << message;
        return ExitUsage;
    }
    return pack(request, out, err);
}

}  // namespace devpac8x

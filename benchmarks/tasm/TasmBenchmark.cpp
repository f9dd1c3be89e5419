// Assembles the player with a 24,000-byte video (3,000 .db lines as the
// converter writes them) and prints the time: in-process, and as the build
// runs it (the TASM executable, process start and file write included).
// When pasmo is installed, the same program with the directives rewritten
// into pasmo's forms is timed the same way, for the ratio.
#include "Assembler.h"
#include "Preprocessor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Runs = 20;
constexpr int VideoBytes = 24000;
constexpr int BytesPerLine = 8;

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Milliseconds of the fastest of Runs runs: the least disturbed one.
template <typename F>
double fastest(F&& run)
{
    double best = 1e30;
    for (int i = 0; i < Runs; ++i) {
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

std::size_t lineCount(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::string quoted(const fs::path& p)
{
    return "\"" + p.string() + "\"";
}

// The program after our preprocessor, in pasmo's spelling: one statement a
// line, directives without the dot, no .echo.
std::string pasmoSource(const fs::path& main)
{
    tasm::Diagnostics diagnostics;
    tasm::Preprocessor preprocessor(diagnostics, true);
    const std::vector<tasm::SourceLine> lines = preprocessor.run(main.string());
    const std::regex directive(R"(^(\S*\s+)\.(db|dw|org|equ|end)\b)", std::regex::icase);
    const std::regex echo(R"(^\s*\.echo)", std::regex::icase);
    std::string out;
    for (const tasm::SourceLine& line : lines) {
        std::string text = line.text;
        for (std::size_t at; (at = text.find(" \\ ")) != std::string::npos;) {
            text.replace(at, 3, "\n ");
        }
        std::istringstream statements(text);
        std::string statement;
        while (std::getline(statements, statement)) {
            if (std::regex_search(statement, echo)) {
                continue;
            }
            if (!statement.empty() && statement[0] == '.') {
                statement = " " + statement;
            }
            out += std::regex_replace(statement, directive, "$1$2") + "\n";
        }
    }
    return out;
}

}  // namespace

int main()
{
    const fs::path dir = fs::temp_directory_path() / "tasm-benchmark";
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const auto& part : fs::directory_iterator(fs::path(ZOETRA_PLAYER_SOURCE).parent_path())) {
        if (part.path().extension() == ".z80") {
            fs::copy_file(part.path(), dir / part.path().filename());
        }
    }
    writeFile(dir / "Target.inc", "FRAME_HALTS .equ 7\n#include \"DecodeWritten.z80\"\n#include \"SourceRam.z80\"\n");
    writeFile(dir / "VarFile.var", "\n#define ION\n#define LOOPING\n");
    writeFile(dir / "Desc.txt", ".db \"My First Video\",0\n");
    std::string video = "\n";
    unsigned seed = 1;
    for (int i = 0; i < VideoBytes; i += BytesPerLine) {
        video += ".db  ";
        for (int j = 0; j < BytesPerLine; ++j) {
            seed = seed * 1103515245u + 12345u;
            video += (j ? ", " : "") + std::to_string((seed >> 16) % 254);
        }
        video += "\n";
    }
    writeFile(dir / "Video.dat", video);

    const fs::path main = dir / "VID.z80";
    tasm::Options options;
    options.foldCase = true;
    tasm::Result result;
    const double inProcess = fastest([&] { result = tasm::assemble(main.string(), options); });
    if (!result.ok) {
        std::fprintf(stderr, "the benchmark program does not assemble:\n%s", result.diagnostics.format().c_str());
        return 1;
    }
    const int size = result.image.highest - result.image.lowest + 1;

    const fs::path bin = dir / "VID.bin";
    const std::string tasmCommand = std::string("cd ") + quoted(dir) + " && " + quoted(TASM_EXECUTABLE) +
                                    " -80 -i -b VID.z80 VID.bin > tasm.log 2>&1";
    int status = 0;
    const double asProcess = fastest([&] { status = std::system(tasmCommand.c_str()); });
    if (status != 0) {
        std::fprintf(stderr, "TASM failed:\n%s", readFile(dir / "tasm.log").c_str());
        return 1;
    }
    const std::string ours = readFile(bin);

    std::printf("program: %d bytes, %zu source lines, %d passes\n", size,
                lineCount(video) + lineCount(readFile(main)), result.passes);
    std::printf("TASM in-process: %.2f ms (target at most 20 ms)\n", inProcess);
    std::printf("TASM executable: %.2f ms\n", asProcess);

    if (std::system("command -v pasmo > /dev/null 2>&1") != 0) {
        std::printf("pasmo: not installed\n");
        return 0;
    }
    writeFile(dir / "pasmo.asm", pasmoSource(main));
    const std::string pasmoCommand = std::string("cd ") + quoted(dir) + " && pasmo pasmo.asm pasmo.bin > pasmo.log 2>&1";
    const double pasmo = fastest([&] { status = std::system(pasmoCommand.c_str()); });
    if (status != 0) {
        std::printf("pasmo: failed on the rewritten source:\n%s", readFile(dir / "pasmo.log").c_str());
        return 0;
    }
    const bool same = readFile(dir / "pasmo.bin") == ours;
    std::printf("pasmo executable: %.2f ms (same bytes: %s)\n", pasmo, same ? "yes" : "NO");
    std::printf("ratio TASM/pasmo: %.2f\n", asProcess / pasmo);
    fs::remove_all(dir);
    return 0;
}

#pragma once

#include <filesystem>
#include <iosfwd>
#include <span>
#include <string>

namespace devpac8x {

// Exit statuses of the packager.
inline constexpr int ExitPacked = 0;
inline constexpr int ExitRefused = 1;
inline constexpr int ExitUsage = 2;

// What the command line asks for.
struct PackRequest {
    std::filesystem::path image;   // NAME.bin
    std::filesystem::path output;  // NAME.8xp unless given
    std::string name;              // NAME as given; the variable name is its upper case
};

// Parses "NAME", "NAME.bin" or either followed by an output path; an output
// path that names an existing folder receives NAME.8xp. Returns false with a
// message on a malformed command line.
bool parseArguments(std::span<const std::string> args, PackRequest& request, std::string& message);

// Packs request.image into request.output. Everything is checked before the
// file is written; the file is written beside its destination under another
// name and renamed, so it is never seen half-written. Messages go to `out`
// (the result) and `err` (warnings and refusals).
int pack(const PackRequest& request, std::ostream& out, std::ostream& err);

// The whole command: arguments without the program's own name.
int runPackager(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace devpac8x

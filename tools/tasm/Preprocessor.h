#pragma once

#include "Diagnostics.h"

#include <array>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <string>
#include <vector>

namespace tasm {

// A source line after the preprocessor: conditionals resolved, includes
// inlined and #define names substituted.
struct SourceLine {
    Location where;
    std::string text;
    std::string original;  // the line as written, when substitution changed it
};

// The preprocessor: #define (with and without parameters), #defcont,
// #undef, #ifdef, #ifndef, #if, #else, #endif and #include, each also
// written with a leading "." instead of "#".
class Preprocessor {
public:
    // TASM's own four levels.
    static constexpr int MaxIncludeDepth = 4;
    static constexpr int MaxExpansionRounds = 64;
    static constexpr std::size_t MaxLineLength = 1 << 20;
    // How much longer than it was substitution may make a line: eight times
    // the longest line TASM itself takes (512 characters), and a name defined
    // as itself twice stops after a few rounds.
    static constexpr std::size_t MaxExpansionGrowth = 1 << 12;

    // Reads a file's bytes; false when it cannot be read.
    using FileReader = std::function<bool(const std::string& path, std::string& bytes)>;

    Preprocessor(Diagnostics& diagnostics, bool foldCase, FileReader reader = {});

    void define(const std::string& name, const std::string& body);
    bool isDefined(const std::string& name) const;

    // The lines of the file and everything it includes, in order.
    std::vector<SourceLine> run(const std::string& path);

    // Substitutes #define names in a line (outside strings and comments),
    // repeating until nothing changes.
    std::string expand(std::string_view text, const Location& where);

private:
    struct Macro {
        std::vector<std::string> parameters;
        bool hasParameters = false;
        std::string body;
    };
    struct Condition {
        bool parentActive;
        bool taken;   // some branch of this #if has been active
        bool active;  // the current branch is
        bool seenElse;
        Location where;
    };

    void processFile(const std::string& path, const Location& from, int depth, std::vector<SourceLine>& out);
    void processText(const std::string& path, const std::string& bytes, const Location& from, int depth,
                     std::vector<SourceLine>& out);
    // Finds and reads an #include file; false (reported) when there is none
    // or more than one.
    bool findInclude(const std::string& from, const std::string& name, const Location& where, std::string& target,
                     std::string& bytes);
    // Handles a preprocessor directive; false when the line is none.
    bool directive(std::string_view line, const Location& where, const std::string& path, int depth,
                   std::vector<SourceLine>& out);
    bool active() const { return conditions_.empty() || conditions_.back().active; }
    std::string key(const std::string& name) const;
    // The macro of that name, found without allocating (expansion looks up
    // every name of every line).
    const Macro* findMacro(std::string_view name) const;
    bool sameName(const std::string& folded, std::string_view name) const;
    void store(const std::string& name, Macro macro);
    // One round of substitution into out; false when nothing changed. Stops
    // early once out is longer than limit.
    bool expandOnce(std::string_view text, std::string& out, bool& failed, const Location& where,
                    std::size_t limit);
    long evaluateCondition(const std::string& text, const Location& where);

    Diagnostics& diagnostics_;
    bool foldCase_;
    bool readsDisk_;  // no reader given: the case-insensitive search may list folders
    FileReader reader_;
    std::unordered_map<std::string, Macro> macros_;
    std::array<bool, 256> firstChars_{};  // of the names ever defined: most names are no macro
    mutable std::string lookupKey_;
    std::string lastDefined_;
    std::vector<Condition> conditions_;
};

}  // namespace tasm

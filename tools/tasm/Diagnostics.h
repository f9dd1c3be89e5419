#pragma once

#include <string>
#include <vector>

namespace tasm {

// Where a statement came from.
struct Location {
    std::string file;
    int line = 0;
};

struct Diagnostic {
    enum class Severity { Error, Warning };
    Severity severity;
    Location where;
    std::string text;
};

// Collects diagnostics, at most MaxErrors errors; after that the assembly
// stops.
class Diagnostics {
public:
    static constexpr int MaxErrors = 50;

    // keep false: errors are counted, not kept (a pass whose messages go
    // unread).
    explicit Diagnostics(bool keep = true) : keep_(keep) {}

    void error(const Location& where, std::string text);
    void warning(const Location& where, std::string text);

    int errorCount() const { return errors_; }
    bool full() const { return errors_ >= MaxErrors; }
    const std::vector<Diagnostic>& all() const { return list_; }
    // "file:line: error: text", one a line.
    std::string format() const;

private:
    std::vector<Diagnostic> list_;
    int errors_ = 0;
    bool keep_;
};

}  // namespace tasm

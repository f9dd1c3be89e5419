#include "Diagnostics.h"

namespace tasm {

void Diagnostics::error(const Location& where, std::string text)
{
    if (full()) {
        return;
    }
    ++errors_;
    if (!keep_) {
        return;
    }
    list_.push_back({Diagnostic::Severity::Error, where, std::move(text)});
    if (full()) {
        list_.push_back({Diagnostic::Severity::Error, where,
                         "too many errors (" + std::to_string(MaxErrors) + "), stopping"});
    }
}

void Diagnostics::warning(const Location& where, std::string text)
{
    if (!keep_) {
        return;
    }
    list_.push_back({Diagnostic::Severity::Warning, where, std::move(text)});
}

std::string Diagnostics::format() const
{
    std::string out;
    for (const Diagnostic& d : list_) {
        out += d.where.file;
        if (d.where.line > 0) {
            out += ':' + std::to_string(d.where.line);
        }
        out += d.severity == Diagnostic::Severity::Error ? ": error: " : ": warning: ";
        out += d.text;
        out += '\n';
    }
    return out;
}

}  // namespace tasm

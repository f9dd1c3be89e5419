#pragma once

#include "convert/ProgramBuild.h"

#include <QString>

namespace zoetra {

struct Vars;
struct Platform;

// How a conversion run ended.
struct RunOutcome {
    enum class Status {
        Delivered,       // the closing report was shown
        NameRefused,     // the program name failed its check
        TooLarge,        // the video data grew over the limit
        NotBuilt,        // the tools produced no program file
        NotCopied,       // the copy into the output folder failed
        AlreadyRunning,  // a run was in progress; this press was ignored
    };
    Status status = Status::AlreadyRunning;
    QString deliveredPath;
    int size = 0;  // bytes of video data, without the end marker
};

// The whole conversion from a press of "Convert Video!" to the closing
// report, on the caller's thread, yielding to the window between its steps.
class ConversionRun {
public:
    ConversionRun(Vars& vars, Platform& platform);

    RunOutcome RunConversion();
    bool inProgress() const { return inProgress_; }

    BuildOptions buildOptions;

    static const QString NameTooLongMessage;
    static const QString NameCharactersMessage;
    static const QString TooLargeMessage;
    static const QString NotBuiltMessage;
    static const QString NotCopiedMessage;

private:
    RunOutcome run();

    Vars& vars_;
    Platform& platform_;
    bool inProgress_ = false;
};

// The program name check: at most 8 characters, letters and digits only; an
// empty name passes. Returns the message for a refused name, else empty.
QString programNameProblem(const QString& name);

}  // namespace zoetra

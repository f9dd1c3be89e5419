// The batch runner's line parser on arbitrary command files.
#include "platform/BatchScript.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const zoetra::BatchLine& line : zoetra::parseBatch(text)) {
        switch (line.kind) {
        case zoetra::BatchLine::Kind::Nothing:
            std::abort();  // parseBatch drops these
        case zoetra::BatchLine::Kind::ChangeFolder:
            if (line.folder != line.folder.trimmed()) {
                std::abort();
            }
            break;
        case zoetra::BatchLine::Kind::Run:
            if (line.program.isEmpty() || line.program.contains(QLatin1Char(' '))) {
                std::abort();
            }
            for (const QString& argument : line.arguments) {
                if (argument.isEmpty() || argument.contains(QLatin1Char(' ')) || argument.contains(QLatin1Char('\t'))) {
                    std::abort();
                }
            }
            break;
        }
    }
    return 0;
}

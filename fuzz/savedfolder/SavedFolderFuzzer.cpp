// The reader of the saved-folder files on arbitrary bytes: a value it finds
// is one line of text, and a value without double quotes reads back
// unchanged from what the writer makes of it.
#include "app/SavedFolders.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<QString> value = zoetra::SavedFolders::parse(content);
    if (!value) {
        return 0;
    }
    if (value->isEmpty() || value->contains(QLatin1Char('\r')) || value->contains(QLatin1Char('\n'))) {
        std::abort();
    }
    if (!value->contains(QLatin1Char('"'))) {
        const std::optional<QString> again = zoetra::SavedFolders::parse(zoetra::SavedFolders::format(*value));
        if (again != value) {
            std::abort();
        }
    }
    return 0;
}

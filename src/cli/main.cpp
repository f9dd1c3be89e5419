// zoetra2-convert: the conversion of the window, from a terminal.
#include "cli/HeadlessRun.h"
#include "cli/Options.h"
#include "platform/AppFolders.h"
#include "platform/ArgumentNames.h"
#include "platform/LibraryMessages.h"

#ifdef ZOETRA_VIDEO_IMPORT
#include "media/MediaTypes.h"
#endif

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zoetra2-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.00"));
    // Our messages say what went wrong, without the libraries' own first.
    zoetra::quietLibraryMessages();
#ifdef ZOETRA_VIDEO_IMPORT
    zoetra::media::quietFfmpegLog();
#endif
    const zoetra::AppFolders folders = zoetra::AppFolders::locate(QCoreApplication::applicationDirPath());

    // A name Qt's strings cannot hold would be taken for a missing file.
    if (const std::optional<QString> name = zoetra::argumentNotUtf8(argc, argv)) {
        std::fprintf(stderr,
                     "zoetra2-convert: '%s': the name is not valid UTF-8, so it cannot be opened here; rename it.\n",
                     name->toLocal8Bit().constData());
        return 2;
    }
    const zoetra::cli::ParsedOptions parsed = zoetra::cli::parseOptions(QCoreApplication::arguments(), folders.sampleDir);
    switch (parsed.action) {
    case zoetra::cli::ParsedOptions::Action::Help:
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return 0;
    case zoetra::cli::ParsedOptions::Action::Version:
        std::puts(parsed.text.toLocal8Bit().constData());
        return 0;
    case zoetra::cli::ParsedOptions::Action::Refused:
        std::fprintf(stderr, "zoetra2-convert: %s\nTry 'zoetra2-convert --help'.\n", parsed.text.toLocal8Bit().constData());
        return 2;
    case zoetra::cli::ParsedOptions::Action::Convert:
        break;
    }
    return zoetra::cli::runHeadless(parsed.settings, folders);
}

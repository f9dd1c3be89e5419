// The files a conversion writes for the player, pinned byte for byte: for
// the sample animation and the drawn clips, in every shell, looping and not,
// in each stream format, Video.dat, VarFile.var, Desc.txt and Compile.bat
// must keep the SHA-256 digests recorded in data/GeneratedFiles.sha256. A
// few whole files lie beside it, so that a difference can be read.
//
// ZOETRA_WRITE_DIGESTS=<folder> writes the table and the whole files into
// that folder instead of comparing, for review.
#include "convert/ConversionRun.h"
#include "support/Clips.h"
#include "support/ConvertFixture.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>

#include <map>

namespace zoetra::test {
namespace {

struct NamedClip {
    QString name;
    std::vector<Frame> frames;
};

// A fixed reduction, so that the frames depend on the pictures alone.
Frame reduce(const QImage& picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    Frame frame{};
    for (int y = 0; y < 64 && y < rgb.height(); ++y) {
        for (int x = 0; x < 96 && x < rgb.width(); ++x) {
            const QRgb c = rgb.pixel(x, y);
            if (qRed(c) + qGreen(c) + qBlue(c) < 3 * 128) {
                frame[static_cast<std::size_t>(y * 12 + x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    return frame;
}

std::vector<NamedClip> clips()
{
    std::vector<NamedClip> all;
    NamedClip sample{QStringLiteral("sample"), {}};
    const QDir app(QStringLiteral(ZOETRA_APP_DIR));
    for (const QString& name : app.entryList({QStringLiteral("sample*")}, QDir::Files, QDir::Name)) {
        sample.frames.push_back(reduce(QImage(app.filePath(name))));
    }
    all.push_back(sample);
    for (const ClipKind kind : AllClipKinds) {
        NamedClip clip{clipName(kind), {}};
        for (const QImage& picture : clipFrames(kind, kind == ClipKind::Noise || kind == ClipKind::SceneCuts ? 8 : 16)) {
            clip.frames.push_back(reduce(picture));
        }
        all.push_back(clip);
    }
    return all;
}

class GeneratedFilesDigestTest : public ConvertFixture {
protected:
    GeneratedFilesDigestTest()
    {
        run.buildOptions.timeoutMs = 500;
        run.buildOptions.cycleMs = 1;
        toolsWrite(QStringLiteral("Video.8xp"));
    }

    // The four files of one run; Compile.bat with the application folder
    // as a placeholder, as it names the temporary folder.
    std::map<QString, QByteArray> convert(const NamedClip& clip, const QString& shell, int looping, bool compact,
                                          int quality)
    {
        useFrames(clip.frames);
        random = UniformRandom();
        window.quickPrevArea.fill(ColourWhite);
        window.shell = shell;
        window.looping = looping;
        window.target.format = compact ? StreamFormat::Compact : StreamFormat::Written;
        window.detailSlider = quality;
        const RunOutcome outcome = run.RunConversion();
        EXPECT_EQ(outcome.status, RunOutcome::Status::Delivered) << clip.name.toStdString();
        std::map<QString, QByteArray> written;
        for (const char* name : {"Video.dat", "VarFile.var", "Desc.txt", "Compile.bat"}) {
            written[QString::fromLatin1(name)] = readAll(app(QString::fromLatin1(name)));
        }
        written[QStringLiteral("Compile.bat")].replace(QDir::toNativeSeparators(platform.appDir).toUtf8(), "APPDIR");
        return written;
    }

    ConversionRun run{vars, platform};
};

TEST_F(GeneratedFilesDigestTest, EveryFileAsRecorded)
{
    const QString writeTo = qEnvironmentVariable("ZOETRA_WRITE_DIGESTS");
    const QString data = QStringLiteral(ZOETRA_SOURCE_DIR "/tests/convert/data/");

    QByteArray table;
    std::map<QString, QByteArray> wholeFiles;
    for (const NamedClip& clip : clips()) {
        ASSERT_FALSE(clip.frames.empty());
        for (const int quality : {0, -4}) {
            if (quality != 0 && clip.name != QLatin1String("sample")) {
                continue;
            }
            for (const QString& shell : {QStringLiteral("Ion"), QStringLiteral("MirageOS"), QStringLiteral("No Shell")}) {
                for (const int looping : {0, 1}) {
                    for (const bool compact : {false, true}) {
                        const auto made = convert(clip, shell, looping, compact, quality);
                        for (const auto& [name, bytes] : made) {
                            const QByteArray key = QStringLiteral("%1 q%2 %3 loop%4 %5 %6")
                                                       .arg(clip.name)
                                                       .arg(-quality)
                                                       .arg(QString(shell).remove(QLatin1Char(' ')))
                                                       .arg(looping)
                                                       .arg(compact ? QStringLiteral("compact") : QStringLiteral("written"))
                                                       .arg(name)
                                                       .toUtf8();
                            table += QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + "  " + key + "\n";
                        }
                        if (shell == QLatin1String("Ion") && looping == 1 && quality == 0 && clip.name == QLatin1String("sample")) {
                            const QString format = compact ? QStringLiteral("compact") : QStringLiteral("written");
                            wholeFiles[QStringLiteral("sample-%1-Video.dat").arg(format)] = made.at(QStringLiteral("Video.dat"));
                            wholeFiles[QStringLiteral("sample-%1-VarFile.var").arg(format)] = made.at(QStringLiteral("VarFile.var"));
                            wholeFiles[QStringLiteral("sample-Compile.bat")] = made.at(QStringLiteral("Compile.bat"));
                            wholeFiles[QStringLiteral("sample-Desc.txt")] = made.at(QStringLiteral("Desc.txt"));
                        }
                    }
                }
            }
        }
    }

    if (!writeTo.isEmpty()) {
        QDir().mkpath(writeTo);
        writeAll(QDir(writeTo).filePath(QStringLiteral("GeneratedFiles.sha256")), table);
        for (const auto& [name, bytes] : wholeFiles) {
            writeAll(QDir(writeTo).filePath(name), bytes);
        }
        GTEST_SKIP() << "digests written to " << writeTo.toStdString();
    }

    for (const auto& [name, bytes] : wholeFiles) {
        EXPECT_EQ(bytes, readAll(data + name)) << name.toStdString();
    }
    const QList<QByteArray> expected = readAll(data + QStringLiteral("GeneratedFiles.sha256")).split('\n');
    const QList<QByteArray> actual = table.split('\n');
    ASSERT_EQ(actual.size(), expected.size());
    for (qsizetype i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i], expected[i]);
    }
}

}  // namespace
}  // namespace zoetra::test

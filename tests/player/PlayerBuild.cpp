#include "PlayerBuild.h"

#include "program/PlayerTarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace playertest {

namespace {

bool copyInto(const QString& source, const QString& folder)
{
    const QString target = QDir(folder).filePath(QFileInfo(source).fileName());
    return QFile::copy(source, target)
           && QFile::setPermissions(target, QFile::permissions(source) | QFileDevice::ReadOwner);
}

QByteArray runTool(const QString& folder, const QString& tool, const QStringList& arguments, bool& ok)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QDir(folder).filePath(QFileInfo(tool).fileName()), arguments);
    ok = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
         && process.exitCode() == 0;
    return process.readAll();
}

}  // namespace

AppFolder::AppFolder()
{
    valid_ = dir_.isValid() && copyInto(QStringLiteral(ZOETRA_TASM_EXE), dir_.path())
             && copyInto(QStringLiteral(ZOETRA_DEVPAC8X_EXE), dir_.path());
    for (const QString& part : zoetra::allPlayerParts()) {
        valid_ = valid_ && copyInto(QDir(QStringLiteral(ZOETRA_PLAYER_DIR)).filePath(part), dir_.path());
    }
}

void AppFolder::write(const QString& name, const QByteArray& bytes) const
{
    QFile file(filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << name.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray AppFolder::read(const QString& name) const
{
    QFile file(filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

BuildResult buildPlayer(const AppFolder& folder, const PlayerInputs& inputs, const QString& name)
{
    folder.write(QStringLiteral("VarFile.var"), inputs.varFile);
    folder.write(QStringLiteral("Desc.txt"), inputs.description);
    folder.write(QStringLiteral("Video.dat"), inputs.videoData);
    zoetra::VideoTarget target;
    if (inputs.varFile.contains("#define COMPACT")) {
        target.format = zoetra::StreamFormat::Compact;
    }
    folder.write(QStringLiteral("Target.inc"),
                 inputs.targetInclude.isEmpty() ? zoetra::TargetIncludeText(target) : inputs.targetInclude);
    BuildResult result;
    bool ok = false;
    result.output = runTool(folder.path(), QStringLiteral(ZOETRA_TASM_EXE),
                            {"-80", "-i", "-b", "VID.z80", name + ".bin"}, ok);
    if (!ok) {
        return result;
    }
    result.output += runTool(folder.path(), QStringLiteral(ZOETRA_DEVPAC8X_EXE), {name}, ok);
    if (!ok) {
        return result;
    }
    const QByteArray file = folder.read(name + ".8xp");
    result.programFile = std::vector<std::uint8_t>(file.begin(), file.end());
    return result;
}

QByteArray varFileText(const QByteArray& shellWord, bool looping, bool compact)
{
    QByteArray text = "\r\n#define " + shellWord + "\r\n";
    if (looping) {
        text += "#define LOOPING\r\n";
    }
    if (compact) {
        text += "#define COMPACT\r\n";
    }
    return text;
}

int frameHaltsInSource()
{
    return zoetra::ticksPerFrame(zoetra::VideoTarget{}) - 1;
}

std::map<std::string, std::uint16_t> listedLabels(const AppFolder& folder)
{
    QProcess tasm;
    tasm.setWorkingDirectory(folder.path());
    tasm.start(folder.filePath(QStringLiteral("TASM")), {"-80", "-i", "-b", "-l", "VID.z80", "Listed.bin"});
    EXPECT_TRUE(tasm.waitForFinished(60'000));
    std::map<std::string, std::uint16_t> found;
    for (const QByteArray& line : folder.read(QStringLiteral("VID.lst")).split('\n')) {
        // A line number, the address, the bytes made, then the source.
        const QList<QByteArray> fields = line.simplified().split(' ');
        for (qsizetype i = 2; i < fields.size(); ++i) {
            if (fields[i].endsWith(':')) {
                bool ok = false;
                const auto address = static_cast<std::uint16_t>(fields[1].toUInt(&ok, 16));
                if (ok) {
                    found[fields[i].chopped(1).toUpper().toStdString()] = address;
                }
                break;
            }
        }
    }
    return found;
}

}  // namespace playertest

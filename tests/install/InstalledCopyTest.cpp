// The program installed as a Linux user gets it: cmake --install into a
// prefix, and the Debian package unpacked into a root; the prefix read-only
// and the programs run as another user, with a home of their own. The
// sample converts, the program is delivered, the working folder holds the
// generated files and the saved folders, and nothing is written under the
// prefix.
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace zoetra::test {
namespace {

struct Ran {
    int status = -1;
    QString output;
};

Ran execute(const QString& program, const QStringList& arguments, const QString& folder = {},
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(), int limitMs = 600000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(environment);
    if (!folder.isEmpty()) {
        process.setWorkingDirectory(folder);
    }
    process.start(program, arguments);
    Ran ran;
    if (!process.waitForStarted() || !process.waitForFinished(limitMs)) {
        ran.output = program + QStringLiteral(": ") + process.errorString();
        process.kill();
        process.waitForFinished();
        return ran;
    }
    ran.output = QString::fromLocal8Bit(process.readAll());
    ran.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return ran;
}

// Every file and folder under a root with its size and time, to tell that
// nothing was written there.
QStringList snapshot(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries.append(QStringLiteral("%1 %2 %3").arg(info.filePath()).arg(info.size()).arg(
            info.lastModified().toMSecsSinceEpoch()));
    }
    entries.sort();
    return entries;
}

class InstalledCopy : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        // Another user must be able to reach the prefix and the home.
        QFile::setPermissions(root.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                               QFileDevice::ReadOther | QFileDevice::ExeOther |
                                               QFileDevice::ReadGroup | QFileDevice::ExeGroup);
        home = root.filePath(QStringLiteral("home"));
        ASSERT_TRUE(QDir().mkpath(home));
        asOtherUser = ::geteuid() == 0;
        if (asOtherUser) {
            ASSERT_EQ(execute(QStringLiteral("chown"), {QStringLiteral("nobody"), home}).status, 0);
        }
    }

    // Makes the installed tree read-only for everybody.
    void makeReadOnly(const QString& tree)
    {
        ASSERT_EQ(execute(QStringLiteral("chmod"), {QStringLiteral("-R"), QStringLiteral("a-w"), tree}).status, 0);
    }

    // Runs an installed program as a new user would: as "nobody" when the
    // tests run as root (root may write anywhere), with its own home.
    Ran asUser(const QString& program, const QStringList& arguments)
    {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        if (!asOtherUser) {
            return execute(program, arguments, home, environment);
        }
        return execute(QStringLiteral("setpriv"),
                       QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                   QStringLiteral("--clear-groups"), program} +
                           arguments,
                       home, environment);
    }

    QString workingFolder() const { return QDir(home).filePath(QStringLiteral(".local/share/zoetra2")); }

    // Both programs from the installed bin folder under prefix.
    void checkInstalled(const QString& prefix)
    {
        const QString bin = QDir(prefix).filePath(QStringLiteral("bin"));
        const QString data = QDir(prefix).filePath(QStringLiteral("share/zoetra2"));
        ASSERT_TRUE(QFileInfo::exists(QDir(data).filePath(QStringLiteral("VID.z80"))));
        ASSERT_TRUE(QFileInfo(QDir(prefix).filePath(QStringLiteral("libexec/zoetra2/TASM"))).isExecutable());
        ASSERT_TRUE(QFileInfo(QDir(prefix).filePath(QStringLiteral("libexec/zoetra2/DEVPAC8X"))).isExecutable());
        makeReadOnly(prefix);
        const QStringList before = snapshot(prefix);

        // The headless converter on the installed sample.
        const QString out = QDir(home).filePath(QStringLiteral("calculator"));
        ASSERT_TRUE(QDir().mkpath(out));
        if (asOtherUser) {
            execute(QStringLiteral("chown"), {QStringLiteral("nobody"), out});
        }
        const Ran converted = asUser(QDir(bin).filePath(QStringLiteral("zoetra2-convert")),
                                     {QStringLiteral("--output"), out});
        EXPECT_EQ(converted.status, 0) << converted.output.toStdString();
        EXPECT_TRUE(converted.output.contains(QStringLiteral("Successfully converted!")));
        EXPECT_GT(QFileInfo(QDir(out).filePath(QStringLiteral("video.8xp"))).size(), 9000);
        for (const char* name : {"VarFile.var", "Desc.txt", "Video.dat", "Compile.bat", "VID.z80"}) {
            EXPECT_TRUE(QFileInfo::exists(QDir(workingFolder()).filePath(QLatin1String(name)))) << name;
        }

        // The window: started and closed, then a whole conversion of the
        // sample (the screenshot run), delivered into the working folder.
        const Ran opened = asUser(QDir(bin).filePath(QStringLiteral("zoetra2")),
                                  {QStringLiteral("--test-close"), QStringLiteral("start")});
        EXPECT_EQ(opened.status, 0) << opened.output.toStdString();
        EXPECT_EQ(readAll(QDir(workingFolder()).filePath(QStringLiteral("LastDir.cfg"))),
                  "\"" + QDir::cleanPath(data).toLocal8Bit() + "\"\r\n");
        EXPECT_EQ(readAll(QDir(workingFolder()).filePath(QStringLiteral("OutDir.cfg"))),
                  "\"" + workingFolder().toLocal8Bit() + "\"\r\n");
        QFile::remove(QDir(workingFolder()).filePath(QStringLiteral("Video.8xp")));
        const Ran window = asUser(QDir(bin).filePath(QStringLiteral("zoetra2")),
                                  {QStringLiteral("--screenshots"), QDir(home).filePath(QStringLiteral("shots"))});
        EXPECT_EQ(window.status, 0) << window.output.toStdString();
        EXPECT_GT(QFileInfo(QDir(workingFolder()).filePath(QStringLiteral("Video.8xp"))).size(), 9000);

        EXPECT_EQ(snapshot(prefix), before) << "something was written under the prefix";
    }

    QTemporaryDir root;
    QString home;
    bool asOtherUser = false;
};

TEST_F(InstalledCopy, FromCMakeInstallIntoAReadOnlyPrefix)
{
    const QString prefix = root.filePath(QStringLiteral("prefix"));
    const Ran installed = execute(QStringLiteral(ZOETRA_CMAKE), {QStringLiteral("--install"), QStringLiteral(ZOETRA_BUILD_DIR),
                                                                 QStringLiteral("--prefix"), prefix});
    ASSERT_EQ(installed.status, 0) << installed.output.toStdString();
    checkInstalled(prefix);
}

TEST_F(InstalledCopy, FromTheDebianPackageUnpacked)
{
    const QString packages = root.filePath(QStringLiteral("packages"));
    const Ran packed = execute(QStringLiteral(ZOETRA_CPACK), {QStringLiteral("-G"), QStringLiteral("DEB"),
                                                              QStringLiteral("-B"), packages},
                               QStringLiteral(ZOETRA_BUILD_DIR));
    ASSERT_EQ(packed.status, 0) << packed.output.toStdString();
    const QStringList debs = QDir(packages).entryList({QStringLiteral("*.deb")});
    ASSERT_EQ(debs.size(), 1) << packed.output.toStdString();
    const QString deb = QDir(packages).filePath(debs.first());

    const Ran fields = execute(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), deb});
    ASSERT_EQ(fields.status, 0) << fields.output.toStdString();
    EXPECT_TRUE(fields.output.contains(QStringLiteral("Package: zoetra2"))) << fields.output.toStdString();
    QString depends;
    for (const QString& line : fields.output.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Depends:"))) {
            depends = line;
        }
    }
    // The window needs a platform plugin, which no library links.
    EXPECT_TRUE(depends.contains(QStringLiteral("qt6-qpa-plugins"))) << depends.toStdString();

    const QString unpacked = root.filePath(QStringLiteral("unpacked"));
    const Ran extracted = execute(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, unpacked});
    ASSERT_EQ(extracted.status, 0) << extracted.output.toStdString();
    const QString usr = QDir(unpacked).filePath(QStringLiteral("usr"));

    // Every library an executable of the package links comes from a package
    // it depends on.
    for (const char* executable : {"bin/zoetra2", "bin/zoetra2-convert", "libexec/zoetra2/TASM", "libexec/zoetra2/DEVPAC8X"}) {
        const QString file = QDir(usr).filePath(QLatin1String(executable));
        const Ran dynamic = execute(QStringLiteral("objdump"), {QStringLiteral("-p"), file});
        ASSERT_EQ(dynamic.status, 0) << dynamic.output.toStdString();
        // Where the loader finds each library: "name => path (address)".
        const Ran loaded = execute(QStringLiteral("ldd"), {file});
        ASSERT_EQ(loaded.status, 0) << loaded.output.toStdString();
        QHash<QString, QString> paths;
        for (const QString& line : loaded.output.split(QLatin1Char('\n'))) {
            const QStringList words = line.simplified().split(QLatin1Char(' '));
            if (words.size() >= 3 && words[1] == QLatin1String("=>")) {
                paths.insert(words[0], words[2]);
            }
        }
        for (const QString& line : dynamic.output.split(QLatin1Char('\n'))) {
            const QStringList words = line.simplified().split(QLatin1Char(' '));
            if (words.size() != 2 || words[0] != QLatin1String("NEEDED")) {
                continue;
            }
            const QString path = paths.value(words[1]);
            ASSERT_FALSE(path.isEmpty()) << words[1].toStdString() << " is not found\n" << loaded.output.toStdString();
            Ran owner = execute(QStringLiteral("dpkg"), {QStringLiteral("-S"), path});
            if (owner.status != 0) {  // a merged /usr: the package names the other spelling
                owner = execute(QStringLiteral("dpkg"), {QStringLiteral("-S"), QFileInfo(path).canonicalFilePath()});
            }
            ASSERT_EQ(owner.status, 0) << path.toStdString() << ": " << owner.output.toStdString();
            const QString package = owner.output.section(QLatin1Char(':'), 0, 0).trimmed();
            EXPECT_TRUE(depends.contains(package + QLatin1Char(' ')) || depends.contains(package + QLatin1Char(',')) ||
                        depends.endsWith(package))
                << executable << " links " << words[1].toStdString() << " of " << package.toStdString() << "\n"
                << depends.toStdString();
        }
    }

    // The desktop's own checkers on the menu entry and the description.
    const Ran desktop = execute(QStringLiteral("desktop-file-validate"),
                                {QDir(usr).filePath(QStringLiteral("share/applications/org.zoetra.Zoetra2.desktop"))});
    EXPECT_EQ(desktop.status, 0) << desktop.output.toStdString();
    EXPECT_TRUE(desktop.output.trimmed().isEmpty()) << desktop.output.toStdString();
    const Ran metainfo = execute(QStringLiteral("appstreamcli"),
                                 {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                  QDir(usr).filePath(QStringLiteral("share/metainfo/org.zoetra.Zoetra2.metainfo.xml"))});
    EXPECT_EQ(metainfo.status, 0) << metainfo.output.toStdString();
    for (const char* size : {"16x16", "32x32", "48x48", "64x64", "128x128", "256x256"}) {
        EXPECT_TRUE(QFileInfo::exists(
            QDir(usr).filePath(QStringLiteral("share/icons/hicolor/%1/apps/org.zoetra.Zoetra2.png").arg(QLatin1String(size)))))
            << size;
    }
    checkInstalled(usr);
}

}  // namespace
}  // namespace zoetra::test

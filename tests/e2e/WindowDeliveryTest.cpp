// The real window with the real tools: "Convert Video!" pressed, and the
// program it delivers played on the emulated calculator; and the build's
// faults as the window meets them.
#include "PlayerFixture.h"

#include "app/MainFrm.h"
#ifdef ZOETRA_HAVE_CALC
#include "app/PreviewWindow.h"
#include "calc/Recording.h"
#endif
#include "convert/ConversionRun.h"
#include "platform/widgets/FolderPicker.h"
#include "platform/widgets/MessageBoxes.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace playertest {
namespace {

using namespace zoetra;
using zoetra::calc::Stop;
namespace bcall = zoetra::calc::bcall;

constexpr int Frames = 6;

class WindowDelivery : public testing::Test {
public:
    static void SetUpTestSuite()
    {
        if (QApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "e2e_window_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
    }

protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(source.isValid());
        ASSERT_TRUE(out.isValid());
        ASSERT_TRUE(zoetra::test::copySamples(source.path(), Frames));
        MessageBoxes::setHook([this](const MessageBoxes::Message& m) { messages.push_back(m); });
        window = std::make_unique<MainFrm>(folder.path());
        window->endProgram = [this] { ++programEnds; };
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        FolderPicker::setNextFolders({source.path(), out.path()});
        QTest::mouseClick(button("Set_Vid_Folder"), Qt::LeftButton);
        window->findChild<QTabWidget*>(QStringLiteral("TabStrip"))->setCurrentIndex(2);
        QTest::mouseClick(button("Set_Out"), Qt::LeftButton);
    }

    void TearDown() override
    {
        window.reset();
        MessageBoxes::setHook({});
        FolderPicker::clearTestHook();
    }

    QPushButton* button(const char* name) const
    {
        auto* b = window->findChild<QPushButton*>(QLatin1String(name));
        if (b == nullptr) {
            ADD_FAILURE() << "no button " << name;
        }
        return b;
    }

    void choose(int shell, bool looping)
    {
        window->findChild<QComboBox*>(QStringLiteral("ShellChoice"))->setCurrentIndex(shell);
        auto* box = window->findChild<QCheckBox*>(QStringLiteral("SetLooping"));
        if (box->isChecked() != looping) {
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        }
        ASSERT_EQ(box->isChecked(), looping);
    }

    // Presses "Convert Video!"; the one message the run ends with (and
    // the warnings after it in `warnings`).
    MessageBoxes::Message convert(std::size_t warnings = 0)
    {
        messages.clear();
        QTest::mouseClick(button("ConvertVideo"), Qt::LeftButton);
        EXPECT_FALSE(window->conversion().inProgress());
        EXPECT_EQ(messages.size(), 1u + warnings);
        return messages.empty() ? MessageBoxes::Message{} : messages.front();
    }

    std::vector<std::uint8_t> delivered() const
    {
        QFile file(QDir(out.path()).filePath(QStringLiteral("video.8xp")));
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        const QByteArray bytes = file.readAll();
        return {bytes.begin(), bytes.end()};
    }

    void expectNotBuilt(const MessageBoxes::Message& m, const QString& why)
    {
        EXPECT_EQ(m.title, QStringLiteral("Error"));
        EXPECT_EQ(m.icon, MessageIcon::Error);
        EXPECT_TRUE(m.text.startsWith(ConversionRun::NotBuiltMessage)) << m.text.toStdString();
        EXPECT_TRUE(m.text.contains(why)) << m.text.toStdString();
        EXPECT_TRUE(QDir(out.path()).entryList(QDir::Files).isEmpty()) << "nothing delivered";
    }

    // After a failed run the window converts again, once the fault is gone.
    void expectWorksAgain()
    {
        const MessageBoxes::Message m = convert();
        EXPECT_TRUE(m.text.startsWith(QStringLiteral("Successfully converted!"))) << m.text.toStdString();
        EXPECT_FALSE(delivered().empty());
    }

    AppFolder folder;
    QTemporaryDir source;
    QTemporaryDir out;
    std::unique_ptr<MainFrm> window;
    std::vector<MessageBoxes::Message> messages;
    int programEnds = 0;
};

struct ShellCase {
    int index;  // in ShellChoice
    const char* word;
    bool looping;
};

class WindowShells : public WindowDelivery, public testing::WithParamInterface<ShellCase> {};

TEST_P(WindowShells, ThePressedButtonDeliversAProgramThatPlaysEveryFrame)
{
    const ShellCase c = GetParam();
    choose(c.index, c.looping);
    const MessageBoxes::Message m = convert();
    ASSERT_TRUE(m.text.startsWith(QStringLiteral("Successfully converted!"))) << m.text.toStdString();
    EXPECT_EQ(m.icon, MessageIcon::Information);

    const std::vector<Screen> frames = decodeStream(streamFromVideoData(folder.read(QStringLiteral("Video.dat"))));
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(Frames));
    const std::vector<std::uint8_t> file = delivered();
    ASSERT_FALSE(file.empty()) << "no video.8xp in the output folder";

    const std::size_t shown = c.looping ? 2 * frames.size() + 1 : frames.size();
    const Playback playback = play(file, c.word, c.looping ? std::optional<std::size_t>(shown) : std::nullopt);
    ASSERT_EQ(playback.stop, Stop::Returned) << playback.calculator->fault();
    expectScreens(*playback.calculator, frames, shown);
    EXPECT_EQ(playback.calculator->callCount(bcall::GetKey), c.looping ? 0u : 1u);
    expectCleanExit(playback);
}

INSTANTIATE_TEST_SUITE_P(Window, WindowShells,
                         testing::Values(ShellCase{0, "ION", true}, ShellCase{0, "ION", false},
                                         ShellCase{1, "MIRAGEOS", true}, ShellCase{1, "MIRAGEOS", false},
                                         ShellCase{2, "NOSHELL", true}, ShellCase{2, "NOSHELL", false}),
                         [](const testing::TestParamInfo<ShellCase>& p) {
                             return std::string(p.param.word) + (p.param.looping ? "_looping" : "_once");
                         });

class MissingTool : public WindowDelivery, public testing::WithParamInterface<const char*> {};

TEST_P(MissingTool, IsABuildErrorAndTheWindowGoesOn)
{
    const QString name = QString::fromLatin1(GetParam());
    const QString path = folder.filePath(name);
    const QString kept = path + QStringLiteral(".kept");
    ASSERT_TRUE(QFile::rename(path, kept));
    expectNotBuilt(convert(), name);

    ASSERT_TRUE(QFile::rename(kept, path));
    expectWorksAgain();
}

INSTANTIATE_TEST_SUITE_P(Window, MissingTool, testing::Values("TASM" ZOETRA_EXE_SUFFIX, "DEVPAC8X" ZOETRA_EXE_SUFFIX, "VID.z80",
                                                          "DecodeWritten.z80", "SourceRam.z80"),
                         [](const testing::TestParamInfo<const char*>& p) {
                             std::string n = p.param;
                             return n.substr(0, n.find('.'));
                         });

TEST_F(WindowDelivery, AnAssemblyErrorIsShownWithTheAssemblersMessage)
{
    const QByteArray player = folder.read(QStringLiteral("VID.z80"));
    folder.write(QStringLiteral("VID.z80"), "        ld a,(nowhere)\r\n" + player);
    // An earlier program of the name in the application folder is not
    // delivered in its place.
    folder.write(QStringLiteral("video.8xp"), "an older build");
    expectNotBuilt(convert(), QStringLiteral("undefined label 'nowhere'"));

    folder.write(QStringLiteral("VID.z80"), player);
    expectWorksAgain();
}

#ifndef Q_OS_WIN
TEST_F(WindowDelivery, AHangingToolIsEndedAtTheTimeOut)
{
    const QString tasm = folder.filePath(QStringLiteral("TASM"));
    const QString kept = tasm + QStringLiteral(".kept");
    ASSERT_TRUE(QFile::rename(tasm, kept));
    folder.write(QStringLiteral("TASM"), "#!/bin/sh\nexec sleep 60\n");
    QFile::setPermissions(tasm, QFile::permissions(tasm) | QFileDevice::ExeOwner);
    window->conversion().buildOptions.timeoutMs = 1500;

    QElapsedTimer clock;
    clock.start();
    const MessageBoxes::Message m = convert();
    EXPECT_LT(clock.elapsed(), 30000) << "the run waited for the tool";
    expectNotBuilt(m, QString());

    ASSERT_TRUE(QFile::remove(tasm));
    ASSERT_TRUE(QFile::rename(kept, tasm));
    window->conversion().buildOptions.timeoutMs = 120000;
    expectWorksAgain();
}
#endif

TEST_F(WindowDelivery, AMissingOutputFolderIsACopyErrorAndNothingElseIsTouched)
{
    const QString gone = QDir(out.path()).filePath(QStringLiteral("gone"));
    FolderPicker::setNextFolders({gone});
    ASSERT_TRUE(QDir().mkpath(gone));
    QTest::mouseClick(button("Set_Out"), Qt::LeftButton);
    ASSERT_TRUE(QDir(gone).removeRecursively());

    const MessageBoxes::Message m = convert();
    EXPECT_EQ(m.title, QStringLiteral("Error"));
    EXPECT_TRUE(m.text.startsWith(ConversionRun::NotCopiedMessage)) << m.text.toStdString();
    EXPECT_TRUE(m.text.contains(QDir::toNativeSeparators(gone))) << m.text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(gone)) << "the folder is not made up";
}

// Frames changed under a run: the run loads each frame when it selects it,
// so the video holds what the files were at that moment; a frame that is gone
// leaves the picture of the one before.
class SourceChanges : public WindowDelivery {
protected:
    static Screen uniform(std::uint8_t byte)
    {
        Screen s;
        s.fill(byte);
        return s;
    }
    static void writeFrame(const QString& path, Qt::GlobalColor colour)
    {
        QImage image(96, 64, QImage::Format_RGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(path, "BMP"));
    }
    QString sourceFile(int index) const
    {
        return QDir(source.path()).filePath(QDir(source.path()).entryList(QDir::Files, QDir::Name).at(index));
    }
    // Runs with `during` called as the run selects frame `at`; the frames of
    // the video data it wrote.
    std::vector<Screen> runChangingAt(int at, const std::function<void()>& during, std::size_t warnings = 0)
    {
        bool called = false;
        window->onFrameSelection = [&](int row) {
            if (row == at && !called) {
                called = true;
                during();
            }
        };
        const MessageBoxes::Message m = convert(warnings);
        window->onFrameSelection = nullptr;
        EXPECT_TRUE(called);
        EXPECT_TRUE(m.text.startsWith(QStringLiteral("Successfully converted!"))) << m.text.toStdString();
        EXPECT_FALSE(delivered().empty());
        return decodeStream(streamFromVideoData(folder.read(QStringLiteral("Video.dat"))));
    }
};

TEST_F(SourceChanges, AFrameEditedDuringTheRunIsTakenAsItIsWhenSelected)
{
    const std::vector<Screen> frames = runChangingAt(2, [&] {
        writeFrame(sourceFile(2), Qt::black);
        writeFrame(sourceFile(4), Qt::white);
    });
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(Frames));
    EXPECT_EQ(frames[2], uniform(0xFF));
    EXPECT_EQ(frames[4], uniform(0x00));
    EXPECT_NE(frames[3], uniform(0x00));
    EXPECT_NE(frames[5], uniform(0x00));
}

TEST_F(SourceChanges, AnEmptiedOrDeletedFolderKeepsTheLastPicture)
{
    for (const bool deleteFolder : {false, true}) {
        SCOPED_TRACE(deleteFolder ? "deleted" : "emptied");
        if (deleteFolder) {
            ASSERT_TRUE(QDir().mkpath(source.path()));
        }
        if (deleteFolder) {
            ASSERT_TRUE(zoetra::test::copySamples(source.path(), Frames));
        }
        FolderPicker::setNextFolders({source.path()});
        QTest::mouseClick(button("Set_Vid_Folder"), Qt::LeftButton);
        const std::vector<Screen> frames = runChangingAt(3, [&] {
            QDir dir(source.path());
            if (deleteFolder) {
                ASSERT_TRUE(dir.removeRecursively());
            } else {
                for (const QString& name : dir.entryList(QDir::Files)) {
                    ASSERT_TRUE(dir.remove(name));
                }
            }
        }, 1);
        ASSERT_EQ(frames.size(), static_cast<std::size_t>(Frames));
        // One warning after the report names the frames that were missing.
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[1].title, QStringLiteral("Zoetra2"));
        EXPECT_EQ(messages[1].icon, MessageIcon::Warning);
        EXPECT_TRUE(messages[1].text.startsWith(QStringLiteral("%1 frames could not be read").arg(Frames - 3)))
            << messages[1].text.toStdString();
        EXPECT_TRUE(messages[1].text.contains(QStringLiteral("\r\nsample03.jpg\r\n")));
        EXPECT_NE(frames[2], frames[1]);
        EXPECT_EQ(frames[3], frames[2]);
        EXPECT_EQ(frames[5], frames[2]);
    }
}

TEST_F(SourceChanges, AFolderChosenDuringTheRunGivesTheLaterFramesByPosition)
{
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    writeFrame(other.filePath(QStringLiteral("a.bmp")), Qt::white);
    writeFrame(other.filePath(QStringLiteral("b.bmp")), Qt::black);
    writeFrame(other.filePath(QStringLiteral("c.bmp")), Qt::white);
    const std::vector<Screen> frames = runChangingAt(1, [&] {
        FolderPicker::setNextFolders({other.path()});
        window->findChild<QTabWidget*>(QStringLiteral("TabStrip"))->setCurrentIndex(0);
        QTest::mouseClick(button("Set_Vid_Folder"), Qt::LeftButton);
    });
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(Frames));
    EXPECT_EQ(frames[1], uniform(0xFF)) << "position 1 of the new list";
    EXPECT_EQ(frames[2], uniform(0x00));
    EXPECT_EQ(frames[3], uniform(0x00)) << "beyond the new list: the picture stays";
    EXPECT_EQ(frames[5], uniform(0x00));
    EXPECT_EQ(window->vars().LastDir, other.path());
}

// A small file system mounted over a folder, to make it read-only or full;
// needs the right to mount (root in the test machines), else the test skips.
TEST_F(WindowDelivery, AShorterVideoAfterALongerOneGivesTheSameFilesAsAFreshStart)
{
    // A long run first, in the same program run.
    QTemporaryDir longer;
    ASSERT_TRUE(zoetra::test::copySamples(longer.path()));
    FolderPicker::setNextFolders({longer.path()});
    QTest::mouseClick(button("Set_Vid_Folder"), Qt::LeftButton);
    ASSERT_TRUE(convert().text.startsWith(QStringLiteral("Successfully converted!")));

    FolderPicker::setNextFolders({source.path()});
    QTest::mouseClick(button("Set_Vid_Folder"), Qt::LeftButton);
    ASSERT_TRUE(convert().text.startsWith(QStringLiteral("Successfully converted!")));
    const QByteArray videoData = folder.read(QStringLiteral("Video.dat"));
    const std::vector<std::uint8_t> program = delivered();

    // The same frames in a window that has converted nothing before.
    AppFolder fresh;
    ASSERT_TRUE(fresh.isValid());
    QTemporaryDir freshOut;
    MainFrm other(fresh.path());
    other.endProgram = [] {};
    FolderPicker::setNextFolders({source.path(), freshOut.path()});
    QTest::mouseClick(other.findChild<QPushButton*>(QStringLiteral("Set_Vid_Folder")), Qt::LeftButton);
    QTest::mouseClick(other.findChild<QPushButton*>(QStringLiteral("Set_Out")), Qt::LeftButton);
    messages.clear();
    QTest::mouseClick(other.findChild<QPushButton*>(QStringLiteral("ConvertVideo")), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    ASSERT_TRUE(messages.back().text.startsWith(QStringLiteral("Successfully converted!")));
    EXPECT_EQ(fresh.read(QStringLiteral("Video.dat")), videoData);
    QFile freshProgram(QDir(freshOut.path()).filePath(QStringLiteral("video.8xp")));
    ASSERT_TRUE(freshProgram.open(QIODevice::ReadOnly));
    const QByteArray freshBytes = freshProgram.readAll();
    EXPECT_EQ(std::vector<std::uint8_t>(freshBytes.begin(), freshBytes.end()), program);
}

class Mount {
public:
    Mount(const QString& path, const QString& options) : path_(path)
    {
        mounted_ = QProcess::execute(QStringLiteral("mount"),
                                     {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), options,
                                      QStringLiteral("tmpfs"), path}) == 0;
    }
    ~Mount()
    {
        if (mounted_) {
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), path_});
        }
    }
    bool mounted() const { return mounted_; }
    bool makeReadOnly() const
    {
        return QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), path_}) == 0;
    }

private:
    QString path_;
    bool mounted_ = false;
};

class OutputFolderFault : public WindowDelivery, public testing::WithParamInterface<const char*> {};

TEST_P(OutputFolderFault, IsACopyErrorAndTheOlderProgramIsIntact)
{
    const QString fault = QLatin1String(GetParam());
    const QString target = QDir(out.path()).filePath(QStringLiteral("mounted"));
    ASSERT_TRUE(QDir().mkpath(target));
    Mount mount(target, QStringLiteral("size=16k"));
    if (!mount.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const QByteArray older = "the older program";
    const QString olderPath = QDir(target).filePath(QStringLiteral("video.8xp"));
    {
        QFile file(olderPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(older);
    }
    if (fault == QLatin1String("full")) {
        QFile filler(QDir(target).filePath(QStringLiteral("filler")));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(512, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    } else {
        ASSERT_TRUE(mount.makeReadOnly());
    }
    FolderPicker::setNextFolders({target});
    QTest::mouseClick(button("Set_Out"), Qt::LeftButton);

    const MessageBoxes::Message m = convert();
    EXPECT_EQ(m.title, QStringLiteral("Error"));
    EXPECT_TRUE(m.text.startsWith(ConversionRun::NotCopiedMessage)) << m.text.toStdString();
    QFile file(olderPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), older);
}

INSTANTIATE_TEST_SUITE_P(Window, OutputFolderFault, testing::Values("readonly", "full"));

TEST(ReadOnlyApplicationFolder, LeftoversOfAnEarlierRunAreNeverDeliveredAndTheWindowStillEnds)
{
    WindowDelivery::SetUpTestSuite();
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString app = root.filePath(QStringLiteral("app"));
    const QString out = root.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(app));
    ASSERT_TRUE(QDir().mkpath(out));
    Mount mount(app, QStringLiteral("size=64m"));
    if (!mount.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    AppFolder tools;
    ASSERT_TRUE(tools.isValid());
    QStringList names = QDir(tools.path()).entryList(QDir::Files);
    for (const QString& name : names) {
        ASSERT_TRUE(QFile::copy(tools.filePath(name), QDir(app).filePath(name)));
    }
    ASSERT_TRUE(zoetra::test::copySamples(app, 10));

    std::vector<MessageBoxes::Message> messages;
    MessageBoxes::setHook([&](const MessageBoxes::Message& m) { messages.push_back(m); });
    int ends = 0;
    {
        MainFrm window(app);
        window.endProgram = [&] { ++ends; };
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.findChild<QTabWidget*>(QStringLiteral("TabStrip"))->setCurrentIndex(2);
        auto* convert = window.findChild<QPushButton*>(QStringLiteral("ConvertVideo"));
        // An earlier run, while the folder could still be written, leaves
        // every generated file, the image and the program there.
        QTest::mouseClick(convert, Qt::LeftButton);
        ASSERT_EQ(messages.size(), 1u);
        ASSERT_TRUE(messages.back().text.startsWith(QStringLiteral("Successfully converted!")));
        ASSERT_TRUE(mount.makeReadOnly());

        FolderPicker::setNextFolders({out});
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("Set_Out")), Qt::LeftButton);
        for (int press = 0; press < 2; ++press) {
            QTest::mouseClick(convert, Qt::LeftButton);
            ASSERT_EQ(messages.size(), static_cast<std::size_t>(press + 2));
            const QString text = messages.back().text;
            EXPECT_TRUE(text.startsWith(ConversionRun::NotBuiltMessage + QStringLiteral("\r\n") + QDir::toNativeSeparators(app)))
                << text.toStdString();
            EXPECT_EQ(messages.back().icon, MessageIcon::Error);
        }
        EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty()) << "nothing of the earlier run is delivered";
        window.close();
        EXPECT_EQ(ends, 1) << "shut-down ends the program although nothing can be saved";
    }
    MessageBoxes::setHook({});
    FolderPicker::clearTestHook();
    EXPECT_FALSE(QFileInfo::exists(QDir(app).filePath(QStringLiteral("LastDir.cfg"))));
}

}  // namespace
}  // namespace playertest

#ifdef ZOETRA_HAVE_CALC
namespace playertest {
namespace {

// Runs the window's events until `done` holds, at most `ms` milliseconds.
bool waitFor(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qSleep(1);
    }
    return true;
}

class PreviewOnCalculator : public WindowDelivery {
protected:
    using State = zoetra::calc::LivePlayback::State;

    // Converts, opens the preview and records every view it reports, and
    // what the window said while the calculator started. A video in RAM is
    // recorded here as well.
    void openPreview(int shell, bool looping, bool inRam = true)
    {
        choose(shell, looping);
        const MessageBoxes::Message m = convert();
        ASSERT_TRUE(m.text.startsWith(QStringLiteral("Successfully converted!"))) << m.text.toStdString();
        if (inRam) {
            frames = decodeStream(streamFromVideoData(folder.read(QStringLiteral("Video.dat"))));
            recording = zoetra::calc::recordProgramFile(delivered());
            ASSERT_EQ(recording.frames.size(), static_cast<std::size_t>(Frames));
        }
        QTest::mouseClick(button("PreviewOnCalc"), Qt::LeftButton);
        preview = window->findChild<PreviewWindow*>(QStringLiteral("PreviewWindow"));
        ASSERT_NE(preview, nullptr);
        // Connected before the events run, so the first view is seen too;
        // the window has shown each view when it comes here.
        QObject::connect(&preview->player(), &zoetra::PreviewPlayer::viewChanged, preview,
                         [this](const zoetra::PreviewView& view) {
                             views.push_back(view);
                             if (view.starting) {
                                 saidWhileStarting.append(text("PreviewStatus"));
                                 playableWhileStarting = playableWhileStarting || previewButton("PreviewPlay")->isEnabled();
                             }
                         });
        ASSERT_TRUE(QTest::qWaitForWindowExposed(preview));
    }

    QString text(const char* name) const { return preview->findChild<QLabel*>(QLatin1String(name))->text(); }
    QPushButton* previewButton(const char* name) const { return preview->findChild<QPushButton*>(QLatin1String(name)); }
    const zoetra::PreviewView& last() const { return views.back(); }
    bool reached(int frame) const { return !views.empty() && last().frame >= frame; }
    bool inState(State state) const { return !views.empty() && last().state == state; }

    // The frames reported since view `from`, each once, in order.
    std::vector<int> framesSince(std::size_t from) const
    {
        std::vector<int> shown;
        for (std::size_t i = from; i < views.size(); ++i) {
            if (views[i].frame >= 0 && (shown.empty() || shown.back() != views[i].frame)) {
                shown.push_back(views[i].frame);
            }
        }
        return shown;
    }

    std::vector<Screen> frames;
    zoetra::calc::Recording recording;
    PreviewWindow* preview = nullptr;
    std::vector<zoetra::PreviewView> views;
    QStringList saidWhileStarting;
    bool playableWhileStarting = false;
};

TEST_F(PreviewOnCalculator, TheButtonWaitsForADeliveredProgram)
{
    QPushButton* open = button("PreviewOnCalc");
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->parentWidget()->objectName(), QStringLiteral("SettingsPage_2"));
    EXPECT_EQ(open->geometry(), QRect(216, 216, 201, 25));
    EXPECT_EQ(open->text(), QStringLiteral("Preview on Calculator"));
    EXPECT_FALSE(open->isEnabled());

    // A run that delivers nothing leaves it off.
    auto* name = window->findChild<QLineEdit*>(QStringLiteral("FName"));
    name->setText(QStringLiteral("TooLongName"));
    convert();
    EXPECT_FALSE(open->isEnabled());

    // While the frames are converted the progress panel lies over it.
    name->setText(QStringLiteral("Video"));
    QWidget* panel = window->findChild<QWidget*>(QStringLiteral("ProgressCounters"));
    bool panelAbove = false;
    window->onFrameSelection = [&](int) {
        const QObjectList& stack = panel->parentWidget()->children();
        panelAbove = panel->isVisible() && stack.indexOf(panel) > stack.indexOf(open);
    };
    const MessageBoxes::Message m = convert();
    window->onFrameSelection = nullptr;
    ASSERT_TRUE(m.text.startsWith(QStringLiteral("Successfully converted!"))) << m.text.toStdString();
    EXPECT_TRUE(panelAbove);
    EXPECT_TRUE(open->isEnabled());
    EXPECT_EQ(window->findChild<PreviewWindow*>(QStringLiteral("PreviewWindow")), nullptr);

    // A later run that fails keeps the program delivered before.
    name->setText(QStringLiteral("TooLongName"));
    convert();
    EXPECT_TRUE(open->isEnabled());
}

TEST_F(PreviewOnCalculator, PlaysTheDeliveredProgramAtTheCalculatorsPaceUntilClear)
{
    openPreview(0, true);
    EXPECT_FALSE(preview->isModal());
    EXPECT_TRUE(preview->isWindow());

    ASSERT_TRUE(waitFor([&] { return reached(2); }));
    // First the calculator starts, and the window says so.
    ASSERT_FALSE(views.empty());
    EXPECT_TRUE(views.front().starting);
    ASSERT_FALSE(saidWhileStarting.isEmpty());
    EXPECT_TRUE(saidWhileStarting.front().startsWith(QStringLiteral("Starting the calculator")))
        << saidWhileStarting.front().toStdString();
    EXPECT_FALSE(playableWhileStarting);
    // Every frame in turn, the first first, each the picture of its frame.
    EXPECT_EQ(framesSince(0), (std::vector<int>{0, 1, 2}));
    for (const auto& view : views) {
        if (view.starting) {
            continue;
        }
        if (view.frame >= 0) {
            EXPECT_EQ(view.screen, frames[static_cast<std::size_t>(view.frame)]) << view.frame;
        }
        EXPECT_EQ(view.frames, Frames);
        EXPECT_EQ(view.total, recording.totalTStates());
    }
    EXPECT_EQ(preview->findChild<LcdView*>(QStringLiteral("PreviewScreen"))->screen(), last().screen);
    EXPECT_EQ(text("PreviewFrame"), QStringLiteral("Frame %1 of %2").arg(last().frame + 1).arg(Frames));
    EXPECT_EQ(text("PreviewRate"), QStringLiteral("%1 frames a second").arg(recording.framesPerSecond(), 0, 'f', 2));
    EXPECT_TRUE(text("PreviewTime").endsWith(QStringLiteral(" / 0:00.%1").arg(
        static_cast<int>(zoetra::calc::seconds(recording.totalTStates()) * 100 + 0.5))))
        << text("PreviewTime").toStdString();
    // The main window goes on meanwhile.
    window->findChild<QTabWidget*>(QStringLiteral("TabStrip"))->setCurrentIndex(0);
    EXPECT_TRUE(window->findChild<QWidget*>(QStringLiteral("SettingsPage_0"))->isVisible());

    // Round the loop and on.
    ASSERT_TRUE(waitFor([&] { return framesSince(0).size() > static_cast<std::size_t>(Frames) + 1; }));
    const std::vector<int> looped = framesSince(0);
    EXPECT_EQ(looped[static_cast<std::size_t>(Frames)], 0);

    // Paused, the picture stays; played again, it goes on.
    QTest::mouseClick(previewButton("PreviewPlay"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return !views.empty() && !last().playing; }));
    EXPECT_EQ(previewButton("PreviewPlay")->text(), QStringLiteral("Play"));
    const std::size_t paused = views.size() - 1;
    const int pausedFrame = last().frame;
    waitFor([] { return false; }, 300);
    EXPECT_EQ(framesSince(paused), (std::vector<int>{pausedFrame}));
    QTest::mouseClick(previewButton("PreviewPlay"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return framesSince(paused).size() > 2; }));

    // [CLEAR] stops the program: at most one more frame, then its clean exit.
    const std::size_t pressed = views.size();
    QTest::mouseClick(previewButton("PreviewClear"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return inState(State::Ended); }));
    EXPECT_LE(framesSince(pressed).size(), 2u);
    EXPECT_EQ(last().screen, Screen{});
    EXPECT_TRUE(text("PreviewStatus").contains(QStringLiteral("ended"))) << text("PreviewStatus").toStdString();
    // Nothing plays to pause: the button plays it again.
    EXPECT_EQ(previewButton("PreviewPlay")->text(), QStringLiteral("Play"));
    const std::size_t ended = views.size();
    waitFor([] { return false; }, 300);
    EXPECT_EQ(views.size(), ended);
    QTest::mouseClick(previewButton("PreviewPlay"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return framesSince(ended).size() >= 2; }));
    EXPECT_EQ(framesSince(ended).front(), 0);
    EXPECT_EQ(previewButton("PreviewPlay")->text(), QStringLiteral("Pause"));

    // Restart plays it from its first frame.
    const std::size_t again = views.size();
    QTest::mouseClick(previewButton("PreviewRestart"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return framesSince(again).size() >= 2; }));
    EXPECT_EQ(framesSince(again).front(), 0);

    // Closing the main window closes the preview.
    window->close();
    EXPECT_FALSE(preview->isVisible());
    EXPECT_EQ(programEnds, 1);
}

// A looping video in the archive of a TI-84 Plus, whose player keeps its
// own clock: the preview knows its one round and counts through it.
TEST_F(PreviewOnCalculator, ALoopingVideoInTheArchiveIsOneRoundLong)
{
    auto* model = window->findChild<QComboBox*>(QStringLiteral("CalcModel"));
    auto* archive = window->findChild<QCheckBox*>(QStringLiteral("CalcArchive"));
    ASSERT_TRUE(model != nullptr && archive != nullptr);
    model->setCurrentIndex(model->findText(QStringLiteral("TI-84 Plus")));
    ASSERT_GE(model->currentIndex(), 0);
    archive->setChecked(true);
    openPreview(0, true, false);
    ASSERT_TRUE(waitFor([&] { return framesSince(0).size() > static_cast<std::size_t>(Frames) + 1; }));
    const zoetra::PreviewView& playing = last();
    EXPECT_TRUE(playing.problem.isEmpty()) << playing.problem.toStdString();
    EXPECT_EQ(playing.frames, Frames);
    EXPECT_TRUE(playing.loops);
    EXPECT_EQ(framesSince(0)[static_cast<std::size_t>(Frames)], 0);
    EXPECT_TRUE(text("PreviewFrame").endsWith(QStringLiteral(" of %1").arg(Frames))) << text("PreviewFrame").toStdString();
}

TEST_F(PreviewOnCalculator, AVideoThatDoesNotLoopKeepsItsLastFrameUntilAKey)
{
    openPreview(1, false);
    ASSERT_TRUE(waitFor([&] { return inState(State::WaitingForKey); }));
    EXPECT_EQ(framesSince(0), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(last().screen, frames.back());
    EXPECT_EQ(last().elapsed, recording.totalTStates());
    EXPECT_TRUE(text("PreviewStatus").contains(QStringLiteral("until a key"))) << text("PreviewStatus").toStdString();
    QTest::mouseClick(previewButton("PreviewClear"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return inState(State::Ended); }));
    EXPECT_EQ(last().screen, Screen{});

    // Pressed again, the button plays the program from the start.
    const std::size_t ended = views.size();
    QTest::mouseClick(button("PreviewOnCalc"), Qt::LeftButton);
    EXPECT_EQ(window->findChildren<PreviewWindow*>().size(), 1);
    ASSERT_TRUE(waitFor([&] { return framesSince(ended).size() >= 2; }));
    EXPECT_EQ(framesSince(ended).front(), 0);
}

}  // namespace
}  // namespace playertest
#endif

// The "Calculator" page talking to the calculator made of code: the
// delivery sent off the window's thread, the question before anything of
// the same name is replaced, and the free archive read from the calculator.
#include "app/CalculatorPage.h"
#include "devpac8x/VariableFile.h"
#include "link/CodeCalculator.h"
#include "platform/widgets/MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace zoetra {

using link::testing::CodeCables;
using link::testing::CodeCalculator;

class CalculatorSendingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void theDeliveryIsSentOffTheWindowsThread();
    void sameNamesAreReplacedOnlyWhenTheUserSaysSo();
    void theFreeArchiveIsReadFromTheCalculator();

private:
    // A delivery of the program, two AppVars and their multi-variable
    // file, in the order the build lists them.
    QStringList deliver();
    void use(CodeCalculator& calculator) { page->setCables(std::make_shared<CodeCables>(calculator)); }
    template <typename T>
    T* child(const char* name) const
    {
        T* found = page->findChild<T*>(QLatin1String(name));
        if (found == nullptr) {
            qFatal("no control %s", name);
        }
        return found;
    }

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<CalculatorPage> page;
    std::vector<MessageBoxes::Message> messages;
    std::vector<MessageBoxes::Question> questions;
    int answer = -1;
};

void CalculatorSendingTest::initTestCase()
{
    MessageBoxes::setHook([this](const MessageBoxes::Message& message) { messages.push_back(message); });
    MessageBoxes::setQuestionHook([this](const MessageBoxes::Question& question) {
        questions.push_back(question);
        return answer;
    });
}

void CalculatorSendingTest::init()
{
    page.reset();
    folder = std::make_unique<QTemporaryDir>();
    page = std::make_unique<CalculatorPage>();
    messages.clear();
    questions.clear();
    answer = -1;
}

QStringList CalculatorSendingTest::deliver()
{
    const std::vector<devpac8x::Variable> variables{
        devpac8x::protectedProgram("VIDEO", std::vector<std::uint8_t>(2500, 0xC9)),
        devpac8x::appVar("VIDEO00", std::vector<std::uint8_t>(16360, 0x11), true),
        devpac8x::appVar("VIDEO01", std::vector<std::uint8_t>(700, 0x22), true)};
    QStringList paths;
    const auto write = [&](const QString& name, std::span<const devpac8x::Variable> content) {
        const std::vector<std::uint8_t> bytes = devpac8x::makeVariableFile(content, "test");
        QFile file(folder->filePath(name));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) !=
                static_cast<qint64>(bytes.size())) {
            qFatal("cannot write %s", qPrintable(name));
        }
        paths.append(file.fileName());
    };
    write(QStringLiteral("video.8xp"), std::span(variables).first(1));
    write(QStringLiteral("video00.8xv"), std::span(variables).subspan(1, 1));
    write(QStringLiteral("video01.8xv"), std::span(variables).subspan(2, 1));
    write(QStringLiteral("video.8xg"), variables);
    return paths;
}

void CalculatorSendingTest::theDeliveryIsSentOffTheWindowsThread()
{
    CodeCalculator calculator(link::Protocol::DirectUsb, CalculatorModel::Ti84Plus);
    use(calculator);
    auto* send = child<QPushButton>("CalcSend");
    QVERIFY(!send->isEnabled());
    VideoTarget target;
    target.model = CalculatorModel::Ti84Plus;
    target.storage = Storage::Archive;
    page->showDelivered(deliver(), target);
    QVERIFY(send->isEnabled());

    page->show();
    send->click();
    // The click returns while the calculator is talked to, the progress
    // over the limit's line.
    QVERIFY(page->talking());
    QVERIFY(child<QProgressBar>("CalcSendProgress")->isVisible());
    QVERIFY(!child<QLabel>("CalcLimit")->isVisible());
    QVERIFY(!send->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!page->talking(), 20000);

    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages.front().icon, MessageIcon::Information);
    QVERIFY2(messages.front().text.contains(QStringLiteral("Asm(prgmVIDEO)")), qPrintable(messages.front().text));
    // Each variable once: the multi-variable file holds them again.
    QCOMPARE(calculator.variables.size(), std::size_t{3});
    QCOMPARE(calculator.variables[1].data.size(), 16362);
    QVERIFY(!child<QProgressBar>("CalcSendProgress")->isVisible());
    QVERIFY(child<QLabel>("CalcLimit")->isVisible());
    QVERIFY(send->isEnabled());

    // A calculator that is busy: the reason, and the page ready again.
    calculator.busy = true;
    send->click();
    QTRY_VERIFY_WITH_TIMEOUT(!page->talking(), 20000);
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages.back().icon, MessageIcon::Warning);
    QVERIFY2(messages.back().text.contains(QStringLiteral("busy")), qPrintable(messages.back().text));
    QVERIFY(send->isEnabled());
}

void CalculatorSendingTest::sameNamesAreReplacedOnlyWhenTheUserSaysSo()
{
    CodeCalculator calculator(link::Protocol::LinkPort, CalculatorModel::Ti83Plus);
    calculator.variables.push_back({"VIDEO00", 0x15, true, QByteArray("\x01\x00\x05", 3)});
    use(calculator);
    page->showDelivered(deliver());
    auto* send = child<QPushButton>("CalcSend");

    answer = -1;
    send->click();
    QTRY_VERIFY_WITH_TIMEOUT(!page->talking(), 20000);
    QCOMPARE(questions.size(), std::size_t{1});
    QVERIFY2(questions.front().text.contains(QStringLiteral("VIDEO00 (AppVar)")), qPrintable(questions.front().text));
    QCOMPARE(questions.front().answers, QStringList{QStringLiteral("Replace")});
    QCOMPARE(calculator.variables.size(), std::size_t{1});
    QCOMPARE(calculator.variables.front().data, QByteArray("\x01\x00\x05", 3));
    QVERIFY(messages.empty());

    answer = 0;
    send->click();
    QTRY_VERIFY_WITH_TIMEOUT(!page->talking(), 20000);
    QCOMPARE(questions.size(), std::size_t{2});
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages.front().icon, MessageIcon::Information);
    QCOMPARE(calculator.deleted, std::vector<QByteArray>{"VIDEO00"});
    QCOMPARE(calculator.variables.size(), std::size_t{3});
}

void CalculatorSendingTest::theFreeArchiveIsReadFromTheCalculator()
{
    auto* read = child<QPushButton>("CalcReadArchive");
    auto* freeArchive = child<QSpinBox>("CalcFreeArchive");

    // Over a link cable the calculator cannot tell: how to read it by hand.
    CodeCalculator linked(link::Protocol::LinkPort, CalculatorModel::Ti83Plus);
    use(linked);
    read->click();
    QTRY_VERIFY_WITH_TIMEOUT(!page->talking(), 20000);
    QCOMPARE(messages.size(), std::size_t{1});
    QVERIFY2(messages.back().text.contains(QStringLiteral("ARC FREE")), qPrintable(messages.back().text));
    QCOMPARE(freeArchive->value(), freeArchive->minimum());

    // Over USB: the figure, for the model that answered, in the archive.
    CodeCalculator usb(link::Protocol::DirectUsb, CalculatorModel::Ti84PlusSe);
    usb.freeArchive = 1'234'000;
    use(usb);
    read->click();
    QTRY_VERIFY_WITH_TIMEOUT(!page->talking(), 20000);
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages.back().icon, MessageIcon::Information);
    QCOMPARE(page->target().model, CalculatorModel::Ti84PlusSe);
    QCOMPARE(page->target().storage, Storage::Archive);
    QCOMPARE(page->target().freeArchiveBytes, std::optional<std::int64_t>(1'234'000));
    QVERIFY(child<QCheckBox>("CalcArchive")->isChecked());
}

}  // namespace zoetra

QTEST_MAIN(zoetra::CalculatorSendingTest)
#include "CalculatorSendingTest.moc"

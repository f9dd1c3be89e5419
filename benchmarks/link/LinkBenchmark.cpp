// link_benchmark [rounds]: how long looking for a calculator takes on this
// computer when none answers (the search that the free archive's question
// and every sending begin with, through every cable libticables2 offers),
// and the
// computer's time for sending a whole video of 10 AppVars to the
// calculator made of code over each protocol.
#include "link/CalculatorLink.h"

#ifdef ZOETRA_CODE_CALCULATOR
#include "devpac8x/VariableFile.h"
#include "link/CodeCalculator.h"

#include <QFile>
#include <QTemporaryDir>
#endif

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace zoetra;

namespace {

#ifdef ZOETRA_CODE_CALCULATOR
void sendToCode(link::Protocol protocol, CalculatorModel model, const char* what, int rounds)
{
    QTemporaryDir folder;
    QStringList files;
    std::vector<devpac8x::Variable> variables{devpac8x::protectedProgram("VIDEO", std::vector<std::uint8_t>(3000, 0xC9))};
    for (int i = 0; i < 10; ++i) {
        variables.push_back(devpac8x::appVar("VIDEO0" + std::to_string(i), std::vector<std::uint8_t>(16360, static_cast<std::uint8_t>(i)), true));
    }
    std::int64_t bytes = 0;
    for (const devpac8x::Variable& variable : variables) {
        const std::vector<std::uint8_t> file = devpac8x::makeVariableFile(std::span(&variable, 1), "benchmark");
        const QString path = folder.filePath(QString::fromStdString(variable.name) + ".8xv");
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) ||
            out.write(reinterpret_cast<const char*>(file.data()), static_cast<qint64>(file.size())) != static_cast<qint64>(file.size())) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return;
        }
        files.append(path);
        bytes += static_cast<std::int64_t>(variable.data.size());
    }
    double best = 1e9;
    for (int round = 0; round < rounds; ++round) {
        link::testing::CodeCalculator calculator(protocol, model);
        link::testing::CodeCables cables(calculator);
        link::Sender sender(cables);
        QElapsedTimer timer;
        timer.start();
        if (!sender.prepare(link::SendJob{files, std::nullopt}).ready || !sender.send(false).sent) {
            std::fprintf(stderr, "sending to the code calculator failed\n");
            return;
        }
        best = std::min(best, static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    std::printf("%-26s %lld bytes in %.1f ms (%.0f KB/s)\n", what, static_cast<long long>(bytes),
                best * 1000.0, static_cast<double>(bytes) / 1024.0 / best);
}
#endif

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    std::printf("Looking for a calculator (none connected):\n");
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const link::FreeArchiveReading reading = link::readFreeArchive(*link::systemCables());
        const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
        std::printf("  round %d: %.2f s\n", round + 1, seconds);
        if (round == 0) {
            std::printf("  %s\n", qPrintable(QString(reading.message).replace(QLatin1Char('\n'), QStringLiteral("\n  "))));
            if (reading.status != link::FreeArchiveReading::Status::Failed) {
                std::printf("  (a calculator answered)\n");
            }
        }
    }
#ifdef ZOETRA_CODE_CALCULATOR
    std::printf("\nSending a program and 10 AppVars to the calculator made of code:\n");
    sendToCode(link::Protocol::LinkPort, CalculatorModel::Ti83Plus, "link port (TI-83 Plus)", rounds);
    sendToCode(link::Protocol::DirectUsb, CalculatorModel::Ti84Plus, "USB (TI-84 Plus)", rounds);
#endif
    return 0;
}

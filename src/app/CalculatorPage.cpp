#include "app/CalculatorPage.h"

#include "app/Placement.h"
#include "codec/Codec.h"
#include "convert/FitAdvice.h"
#include "convert/TargetTexts.h"
#include "convert/VideoSound.h"
#include "platform/FileSystem.h"
#include "program/ArchiveVideo.h"
#include "program/PlayerTarget.h"
#include "shared/Text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace zoetra {

namespace {

QLabel* caption(QWidget* parent, const char* name, int y, const QString& text)
{
    return label(parent, name, 8, y + 3, 121, 17, text);
}

}  // namespace

CalculatorPage::CalculatorPage(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("SettingsPage_3"));
    setFrameStyle(QFrame::NoFrame);

    // The tab's tool tip says what the page is for; its rows lie close
    // together to leave room for what fits.
    caption(this, "CalcModelLabel", 6, QStringLiteral("Calculator model"));
    CalcModel = place<QComboBox>(this, "CalcModel", 136, 6, 201, 21);
    // The player is proven on every model.
    for (const ModelFacts& facts : Models) {
        CalcModel->addItem(toQString(facts.name), static_cast<int>(facts.model));
    }

    caption(this, "CalcFormatLabel", 30, QStringLiteral("Stream format"));
    CalcFormat = place<QComboBox>(this, "CalcFormat", 136, 30, 201, 21);
    for (const Codec& codec : allCodecs()) {
        CalcFormat->addItem(toQString(codec.caption), static_cast<int>(codec.format));
    }

    caption(this, "CalcRateLabel", 54, QStringLiteral("Frame rate"));
    CalcRate = place<QDoubleSpinBox>(this, "CalcRate", 136, 54, 161, 21);
    CalcRate->setRange(MinFramesPerSecond, MaxFramesPerSecond);
    CalcRate->setDecimals(2);
    CalcRate->setSingleStep(1.0);
    CalcRate->setSuffix(QStringLiteral(" frames a second"));
    CalcRate->setValue(WrittenFramesPerSecond);
    CalcRate->setToolTip(QStringLiteral("The rate the video plays at: that of the frames in use, which an imported "
                                        "video keeps beside them, else %1")
                             .arg(QString::number(WrittenFramesPerSecond, 'g', 4)));
    // The video's sound, on the models with crystal timers.
    CalcSound = place<QCheckBox>(this, "CalcSound", 304, 54, 113, 21, QStringLiteral("Sound"));
    // What the model's timer makes of the rate.
    CalcPace = label(this, "CalcPace", 8, 78, 409, 17, QString());

    caption(this, "CalcStorageLabel", 96, QStringLiteral("Video data in"));
    CalcStorage = place<QComboBox>(this, "CalcStorage", 136, 96, 137, 21);
    for (const StorageKind& kind : allStorageKinds()) {
        CalcStorage->addItem(toQString(kind.caption), static_cast<int>(kind.storage));
    }
    CalcArchive = place<QCheckBox>(this, "CalcArchive", 280, 96, 137, 21, QStringLiteral("Store video in archive"));
    CalcArchive->setToolTip(QStringLiteral("The video data in AppVars in the calculator's archive, beside a small "
                                           "program whose name has at most %1 characters")
                                .arg(archive::MaxProgramNameLength));

    caption(this, "CalcFreeArchiveLabel", 120, QStringLiteral("Free archive"));
    CalcFreeArchive = place<QSpinBox>(this, "CalcFreeArchive", 136, 120, 161, 21);
    CalcFreeArchive->setRange(0, static_cast<int>(archive::emptyArchiveBytes(CalculatorModel::Ti83Plus)));
    CalcFreeArchive->setSingleStep(1000);
    CalcFreeArchive->setSuffix(QStringLiteral(" bytes"));
    CalcFreeArchive->setGroupSeparatorShown(true);
    CalcFreeArchive->setSpecialValueText(QStringLiteral("empty archive"));
    CalcFreeArchive->setValue(0);
    CalcFreeArchive->setToolTip(QStringLiteral("The free archive the calculator shows (MEM, 2:Mem Mgmt/Del); at the "
                                               "lowest, all of the model's archive"));

    CalcLimit = label(this, "CalcLimit", 8, 146, 409, 17, QString());
    // What fits of the frames in use, and the changes that make them fit:
    // three lines beside the button that makes them.
    CalcMakeItFit = place<QPushButton>(this, "CalcMakeItFit", 304, 170, 113, 25, QStringLiteral("Make It Fit"));
    CalcMakeItFit->setEnabled(false);
    CalcFits = label(this, "CalcFits", 8, 164, 289, 46, QString(), true);
    // Two lines at most: the long runs of files are shortened.
    CalcDelivered = label(this, "CalcDelivered", 8, 214, 409, 30, QString(), true);

    connect(CalcMakeItFit, &QPushButton::clicked, this, [this] { emit makeItFit(); });
    connect(CalcFormat, &QComboBox::currentIndexChanged, this, [this] {
        showTarget();  // the dense player takes more of the RAM
        emit formatChanged(static_cast<StreamFormat>(CalcFormat->currentData().toInt()));
    });
    connect(CalcArchive, &QCheckBox::toggled, this, [this](bool checked) {
        CalcStorage->setCurrentIndex(
            CalcStorage->findData(static_cast<int>(checked ? Storage::Archive : Storage::Ram)));
    });
    connect(CalcStorage, &QComboBox::currentIndexChanged, this, [this] {
        CalcArchive->setChecked(static_cast<Storage>(CalcStorage->currentData().toInt()) == Storage::Archive);
        showTarget();
    });
    connect(CalcModel, &QComboBox::currentIndexChanged, this, [this] { showTarget(); });
    connect(CalcSound, &QCheckBox::toggled, this, [this] { showTarget(); });
    connect(CalcRate, &QDoubleSpinBox::valueChanged, this, [this] { showTarget(); });
    connect(CalcFreeArchive, &QSpinBox::valueChanged, this, [this] { showTarget(); });
#ifdef ZOETRA_HAVE_LINK
    buildLinkControls();
#endif
    showTarget();
}

#ifndef ZOETRA_HAVE_LINK
CalculatorPage::~CalculatorPage() = default;

void CalculatorPage::setCables(std::shared_ptr<link::CableSource> cables)
{
    cables_ = std::move(cables);
}
#endif

VideoTarget CalculatorPage::target() const
{
    VideoTarget target;
    target.model = static_cast<CalculatorModel>(CalcModel->currentData().toInt());
    target.framesPerSecond = CalcRate->value();
    target.storage = static_cast<Storage>(CalcStorage->currentData().toInt());
    target.format = static_cast<StreamFormat>(CalcFormat->currentData().toInt());
    target.sound = CalcSound->isEnabled() && CalcSound->isChecked();
    if (target.storage == Storage::Archive && CalcFreeArchive->value() != CalcFreeArchive->minimum()) {
        target.freeArchiveBytes = CalcFreeArchive->value();
    }
    return target;
}

void CalculatorPage::setFormat(StreamFormat format)
{
    const int index = CalcFormat->findData(static_cast<int>(format));
    if (index >= 0) {
        CalcFormat->setCurrentIndex(index);
    }
}

void CalculatorPage::setFramesPerSecond(double framesPerSecond)
{
    CalcRate->setValue(framesPerSecond);
}

void CalculatorPage::showDelivered(const QStringList& paths, const std::optional<VideoTarget>& madeFor)
{
    CalcDelivered->setText(deliveredFilesText(paths));
    CalcDelivered->setToolTip(paths.isEmpty() ? QString() : nativePath(QFileInfo(paths.front()).absolutePath()));
    delivered_ = paths;
    deliveredFor_ = madeFor;
#ifdef ZOETRA_HAVE_LINK
    enableLinkButtons();
#endif
}

void CalculatorPage::showTarget()
{
    const bool inArchive = static_cast<Storage>(CalcStorage->currentData().toInt()) == Storage::Archive;
    CalcFreeArchive->setEnabled(inArchive);
    // The free archive given cannot pass the model's archive when empty:
    // another model takes a larger number down to it.
    {
        const QSignalBlocker quiet(CalcFreeArchive);
        CalcFreeArchive->setMaximum(
            static_cast<int>(archive::emptyArchiveBytes(static_cast<CalculatorModel>(CalcModel->currentData().toInt()))));
    }
    // The sound needs the crystal timers.
    VideoTarget model;
    model.model = static_cast<CalculatorModel>(CalcModel->currentData().toInt());
    const QString noSound = soundModelProblem(model);
    CalcSound->setEnabled(noSound.isEmpty());
    CalcSound->setToolTip(noSound.isEmpty()
                              ? QStringLiteral("The video's sound (Sound.wav beside the frames, kept by the import of a "
                                               "video) through the link port, for earphones on a 2.5 mm to 3.5 mm "
                                               "adapter")
                              : noSound);
    const VideoTarget shown = target();
    CalcPace->setText(paceText(shown));
    CalcLimit->setText(videoLimitText(shown));
    emit targetChanged();
}

std::optional<std::int64_t> CalculatorPage::freeArchiveBytes() const
{
    if (CalcFreeArchive->value() == CalcFreeArchive->minimum()) {
        return std::nullopt;
    }
    return CalcFreeArchive->value();
}

void CalculatorPage::setStorage(Storage storage)
{
    const int index = CalcStorage->findData(static_cast<int>(storage));
    if (index >= 0) {
        CalcStorage->setCurrentIndex(index);
    }
}

void CalculatorPage::showCounting()
{
    CalcFits->setText(QStringLiteral("Counting what fits of these frames..."));
    CalcFits->setToolTip(QString());
}

void CalculatorPage::showFit(const std::optional<FitAdvice>& advice)
{
    advice_ = advice;
    CalcMakeItFit->setEnabled(false);
    CalcMakeItFit->setToolTip(QString());
    if (!advice || advice->chosen.frames == 0) {
        CalcFits->clear();
        CalcFits->setToolTip(QString());
        return;
    }
    QStringList lines{fitSummary(advice->chosen)};
    if (!advice->chosen.all()) {
        QString more = adviceSummary(*advice);
        if (const QString elsewhere = elsewhereText(*advice); !elsewhere.isEmpty()) {
            more += (more.isEmpty() ? QString() : QStringLiteral(" ")) + elsewhere;
        }
        if (!more.isEmpty()) {
            lines.append(more);
        }
    }
    CalcFits->setText(lines.join(QLatin1Char('\n')));
    // The whole advice, with the way to follow it.
    const QStringList words = adviceWords(*advice, QString());
    CalcFits->setToolTip(words.join(QLatin1Char('\n')));
    if (advice->proposal) {
        CalcMakeItFit->setEnabled(true);
        CalcMakeItFit->setToolTip(words.value(0));
    }
}

}  // namespace zoetra

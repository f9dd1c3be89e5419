#include "app/CalculatorPage.h"

#include "app/Placement.h"
#include "convert/Codec.h"
#include "convert/PlayerTarget.h"
#include "shared/Text.h"

#include <QComboBox>
#include <QLabel>

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

    label(this, "CalcIntro", 8, 16, 409, 33,
          QStringLiteral("Choose the calculator the video is made for, where its data is kept and how it is packed."),
          true);

    caption(this, "CalcModelLabel", 56, QStringLiteral("Calculator model"));
    CalcModel = place<QComboBox>(this, "CalcModel", 136, 56, 201, 21);
    // The models the player is proven on so far.
    CalcModel->addItem(toQString(modelFacts(CalculatorModel::Ti83Plus).name),
                       static_cast<int>(CalculatorModel::Ti83Plus));

    caption(this, "CalcStorageLabel", 88, QStringLiteral("Video data in"));
    CalcStorage = place<QComboBox>(this, "CalcStorage", 136, 88, 201, 21);
    for (const StorageKind& kind : allStorageKinds()) {
        CalcStorage->addItem(toQString(kind.caption), static_cast<int>(kind.storage));
    }

    caption(this, "CalcFormatLabel", 120, QStringLiteral("Stream format"));
    CalcFormat = place<QComboBox>(this, "CalcFormat", 136, 120, 201, 21);
    for (const Codec& codec : allCodecs()) {
        CalcFormat->addItem(toQString(codec.caption), static_cast<int>(codec.format));
    }

    CalcPace = place<QLabel>(this, "CalcPace", 8, 152, 409, 17, QString());
    const VideoTarget standard;
    CalcPace->setText(QStringLiteral("Frame rate: %1 frames a second (a frame every %2 timer ticks)")
                          .arg(QString::number(playedFramesPerSecond(standard), 'g', 4))
                          .arg(ticksPerFrame(standard)));

    connect(CalcFormat, &QComboBox::currentIndexChanged, this, [this] {
        emit formatChanged(static_cast<StreamFormat>(CalcFormat->currentData().toInt()));
    });
}

VideoTarget CalculatorPage::target() const
{
    VideoTarget target;
    target.model = static_cast<CalculatorModel>(CalcModel->currentData().toInt());
    target.storage = static_cast<Storage>(CalcStorage->currentData().toInt());
    target.format = static_cast<StreamFormat>(CalcFormat->currentData().toInt());
    return target;
}

void CalculatorPage::setFormat(StreamFormat format)
{
    const int index = CalcFormat->findData(static_cast<int>(format));
    if (index >= 0) {
        CalcFormat->setCurrentIndex(index);
    }
}

}  // namespace zoetra

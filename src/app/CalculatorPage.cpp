#include "app/CalculatorPage.h"

#include "convert/Codec.h"
#include "convert/PlayerTarget.h"

#include <QComboBox>
#include <QLabel>

namespace zoetra {

namespace {

QString text(std::string_view view)
{
    return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
}

template <class T, class... Args>
T* place(QWidget* parent, const char* name, int x, int y, int width, int height, Args&&... args)
{
    auto* widget = new T(std::forward<Args>(args)..., parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, width, height);
    return widget;
}

QLabel* caption(QWidget* parent, const char* name, int y, const QString& text)
{
    auto* label = place<QLabel>(parent, name, 8, y + 3, 121, 17, text);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

CalculatorPage::CalculatorPage(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("SettingsPage_3"));
    setFrameStyle(QFrame::NoFrame);

    auto* intro = place<QLabel>(this, "CalcIntro", 8, 16, 409, 33,
                                QStringLiteral("Choose the calculator the video is made for, where its data is "
                                               "kept and how it is packed."));
    intro->setWordWrap(true);
    intro->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    caption(this, "CalcModelLabel", 56, QStringLiteral("Calculator model"));
    CalcModel = place<QComboBox>(this, "CalcModel", 136, 56, 201, 21);
    // The models the player is proven on so far.
    CalcModel->addItem(text(modelFacts(CalculatorModel::Ti83Plus).name),
                       static_cast<int>(CalculatorModel::Ti83Plus));

    caption(this, "CalcStorageLabel", 88, QStringLiteral("Video data in"));
    CalcStorage = place<QComboBox>(this, "CalcStorage", 136, 88, 201, 21);
    for (const StorageKind& kind : allStorageKinds()) {
        CalcStorage->addItem(text(kind.caption), static_cast<int>(kind.storage));
    }

    caption(this, "CalcFormatLabel", 120, QStringLiteral("Stream format"));
    CalcFormat = place<QComboBox>(this, "CalcFormat", 136, 120, 201, 21);
    for (const Codec& codec : allCodecs()) {
        CalcFormat->addItem(text(codec.caption), static_cast<int>(codec.format));
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

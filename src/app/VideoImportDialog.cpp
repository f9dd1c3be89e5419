#include "app/VideoImportDialog.h"

#include "app/FitCounter.h"
#include "app/JobThread.h"
#include "convert/FitAdvice.h"
#include "convert/ScreenMaker.h"
#include "convert/WhatFits.h"
#include "imaging/Conversion.h"
#include "imaging/FrameFolder.h"
#include "media/FrameStream.h"
#include "media/VideoImport.h"
#include "platform/ImagePictureArea.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/widgets/FilePicker.h"
#include "platform/widgets/FolderPicker.h"
#include "shared/Seconds.h"
#include "shared/Vars.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPixmap>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace zoetra {

namespace {

// The longest clip the time boxes take: a day.
constexpr double LongestTime = 86400.0;

template <typename Widget, typename... Args>
Widget* named(const char* name, Args&&... args)
{
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// Seconds that may also be typed as minutes and seconds: "1:30" is 90.
class TimeBox final : public QDoubleSpinBox {
public:
    using QDoubleSpinBox::QDoubleSpinBox;

    QValidator::State validate(QString& input, int& pos) const override
    {
        Q_UNUSED(pos);
        if (!specialValueText().isEmpty() && input == specialValueText()) {
            return QValidator::Acceptable;
        }
        const QString text = bare(input);
        if (text.isEmpty()) {
            return QValidator::Intermediate;
        }
        for (const QChar c : text) {
            if (!c.isDigit() && c != QLatin1Char(':') && c != QLatin1Char('.') && c != locale().decimalPoint().front()) {
                return QValidator::Invalid;
            }
        }
        const std::optional<double> seconds = parseSeconds(normalised(text));
        if (!seconds) {
            return QValidator::Intermediate;
        }
        return *seconds <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
    }

    double valueFromText(const QString& text) const override
    {
        if (text == specialValueText()) {
            return minimum();
        }
        return parseSeconds(normalised(bare(text))).value_or(value());
    }

private:
    QString bare(const QString& input) const
    {
        QString text = input.trimmed();
        if (!suffix().isEmpty() && text.endsWith(suffix().trimmed())) {
            text.chop(suffix().trimmed().size());
        }
        return text.trimmed();
    }
    QString normalised(QString text) const
    {
        return text.replace(locale().decimalPoint(), QStringLiteral("."));
    }
};

QDoubleSpinBox* secondsBox(const char* name)
{
    auto* box = new TimeBox;
    box->setObjectName(QLatin1String(name));
    box->setRange(0.0, LongestTime);
    box->setDecimals(1);
    box->setSingleStep(0.5);
    box->setSuffix(QStringLiteral(" s"));
    // The value is read once the text is complete: "1:3" on the way to
    // "1:30" is no value of its own.
    box->setKeyboardTracking(false);
    return box;
}

// Keeps room for a wrapped label's whole text, and at least `lines` lines:
// the dialog grows with a longer text instead of pushing the rows above
// together.
void keepRoomFor(QLabel* label, int lines)
{
    const int reserved = lines * label->fontMetrics().lineSpacing();
    label->setMinimumHeight(std::max(reserved, label->heightForWidth(std::max(label->width(), 360))));
}

// The folder, or when it exists the same name numbered: "frames 2", 3 ...
QString freeFolder(const QString& path)
{
    QString candidate = path;
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n) {
        candidate = QStringLiteral("%1 %2").arg(path).arg(n);
    }
    return candidate;
}

QString infoText(const media::ClipInfo& info)
{
    using Kind = media::ClipInfo::Kind;
    const QString size = QStringLiteral("%1 \u00D7 %2 pixels").arg(info.width).arg(info.height);
    switch (info.kind) {
    case Kind::PictureFolder:
        return QStringLiteral("%1 pictures, the first %2").arg(info.pictureCount).arg(size);
    case Kind::Picture:
        return QStringLiteral("%1, one picture (%2)").arg(size, info.format);
    case Kind::Animation:
    case Kind::Video:
        break;
    }
    QStringList parts{size};
    parts.append(info.duration ? media::formatSeconds(*info.duration) : QStringLiteral("length unknown"));
    if (info.frameRate) {
        parts.append(QStringLiteral("%1 frames a second").arg(QString::number(*info.frameRate, 'g', 4)));
    } else if (info.pictureCount > 0) {
        parts.append(QStringLiteral("%1 pictures").arg(info.pictureCount));
    }
    return parts.join(QStringLiteral(", ")) + QStringLiteral("\n") + info.format;
}

}  // namespace

VideoImportDialog::VideoImportDialog(const Vars& colours, std::function<EncoderChoice()> encoderChoice,
                                     QWidget* parent)
    : QDialog(parent), colours_(colours), encoderChoice_(std::move(encoderChoice))
{
    setObjectName(QStringLiteral("VideoImportDialog"));
    setWindowTitle(QStringLiteral("Import Video"));
    setWindowModality(Qt::NonModal);

    Import_Source = named<QLabel>("Import_Source");
    Import_Source->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Import_Source->setMinimumWidth(360);
    Import_Info = named<QLabel>("Import_Info");
    Import_File = named<QPushButton>("Import_File", QStringLiteral("File..."));
    Import_Folder = named<QPushButton>("Import_Folder", QStringLiteral("Folder..."));
    auto* sourceButtons = new QHBoxLayout;
    sourceButtons->addWidget(Import_Source, 1);
    sourceButtons->addWidget(Import_File);
    sourceButtons->addWidget(Import_Folder);

    Import_Rate = named<QDoubleSpinBox>("Import_Rate");
    Import_Rate->setRange(0.1, 60.0);
    Import_Rate->setDecimals(2);
    Import_Rate->setValue(WrittenFramesPerSecond);
    Import_Rate->setSuffix(QStringLiteral(" a second"));
    Import_Rate->setToolTip(QStringLiteral("The calculator plays about %1 frames a second.")
                                .arg(QString::number(WrittenFramesPerSecond, 'g', 4)));
    Import_Start = secondsBox("Import_Start");
    Import_End = secondsBox("Import_End");
    Import_End->setSpecialValueText(QStringLiteral("the end"));
    Import_Fit = named<QComboBox>("Import_Fit");
    Import_Fit->addItems({QStringLiteral("fit"), QStringLiteral("fill"), QStringLiteral("stretch")});
    Import_Fit->setItemData(0, QStringLiteral("The whole picture, with white bars"), Qt::ToolTipRole);
    Import_Fit->setItemData(1, QStringLiteral("The middle of the picture, cut to the screen's 3:2"), Qt::ToolTipRole);
    Import_Fit->setItemData(2, QStringLiteral("The whole picture, pulled to 3:2"), Qt::ToolTipRole);

    Import_Destination = named<QLineEdit>("Import_Destination");
    Import_Choose_Destination = named<QPushButton>("Import_Choose_Destination", QStringLiteral("..."));
    auto* destination = new QHBoxLayout;
    destination->addWidget(Import_Destination, 1);
    destination->addWidget(Import_Choose_Destination);

    // The frame at the start as it is fitted, and as the calculator shows
    // it; twice the size.
    const auto picture = [](const char* name) {
        auto* area = named<QLabel>(name);
        area->setFixedSize(2 * ScreenWidth + 2, 2 * ScreenHeight + 2);
        area->setFrameStyle(QFrame::Box | QFrame::Plain);
        area->setAlignment(Qt::AlignCenter);
        return area;
    };
    Import_Picture = picture("Import_Picture");
    Import_Calculator = picture("Import_Calculator");
    auto* pictures = new QHBoxLayout;
    for (auto [area, caption] : {std::pair{Import_Picture, QStringLiteral("The clip, fitted")},
                                 std::pair{Import_Calculator, QStringLiteral("On the calculator")}}) {
        auto* column = new QVBoxLayout;
        column->addWidget(new QLabel(caption));
        column->addWidget(area);
        pictures->addLayout(column);
    }
    pictures->addStretch(1);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Source"), sourceButtons);
    form->addRow(QString(), Import_Info);
    form->addRow(QStringLiteral("Frame rate"), Import_Rate);
    form->addRow(QStringLiteral("Start"), Import_Start);
    form->addRow(QStringLiteral("End"), Import_End);
    form->addRow(QStringLiteral("Fit"), Import_Fit);
    form->addRow(QStringLiteral("New folder"), destination);
    form->addRow(QString(), pictures);

    // What fits of the clip with the choices made: counted before the
    // import from the clip itself, and after it from the frames written.
    // Four lines are kept for it, so the dialog keeps its size.
    Import_Fits = named<QLabel>("Import_Fits");
    Import_Fits->setWordWrap(true);
    Import_Fits->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    keepRoomFor(Import_Fits, 4);
    counter_ = new FitCounter(this);
    connect(counter_, &FitCounter::started, this,
            [this] { Import_Fits->setText(QStringLiteral("Counting what fits of the clip...")); });
    connect(counter_, &FitCounter::counted, this, [this](const FitAdvice& advice) { showFits(advice, false); });

    Import_Progress = named<QProgressBar>("Import_Progress");
    Import_Progress->setRange(0, 1000);
    Import_Progress->setValue(0);
    Import_Progress->setTextVisible(false);
    Import_Status = named<QLabel>("Import_Status");
    Import_Status->setWordWrap(true);
    keepRoomFor(Import_Status, 3);
    Import_Status->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Import_Go = named<QPushButton>("Import_Go", QStringLiteral("Import"));
    Import_Go->setDefault(true);
    Import_Cancel = named<QPushButton>("Import_Cancel", QStringLiteral("Cancel"));
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(Import_Go, QDialogButtonBox::AcceptRole);
    buttons->addButton(Import_Cancel, QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Import_Fits);
    layout->addWidget(Import_Progress);
    layout->addWidget(Import_Status);
    layout->addWidget(buttons);

    connect(Import_File, &QPushButton::clicked, this, &VideoImportDialog::chooseFile);
    connect(Import_Folder, &QPushButton::clicked, this, &VideoImportDialog::chooseFolder);
    connect(Import_Choose_Destination, &QPushButton::clicked, this, &VideoImportDialog::chooseDestination);
    connect(Import_Go, &QPushButton::clicked, this, &VideoImportDialog::startImport);
    connect(Import_Cancel, &QPushButton::clicked, this, &VideoImportDialog::reject);
    connect(Import_Fit, &QComboBox::currentIndexChanged, this, &VideoImportDialog::showClipPicture);
    connect(Import_Start, &QDoubleSpinBox::editingFinished, this, &VideoImportDialog::showClipPicture);
    connect(Import_Destination, &QLineEdit::textEdited, this, &VideoImportDialog::destinationEdited);
    for (QDoubleSpinBox* box : {Import_Rate, Import_Start, Import_End}) {
        connect(box, &QDoubleSpinBox::valueChanged, this, &VideoImportDialog::recount);
    }
    connect(Import_Fit, &QComboBox::currentIndexChanged, this, &VideoImportDialog::recount);

    setSource(QString());
}

VideoImportDialog::~VideoImportDialog()
{
    cancelImport();
}

void VideoImportDialog::setSource(const QString& path)
{
    source_ = path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    sourceReady_ = false;
    timed_ = false;
    moving_ = false;
    Import_Progress->setValue(0);
    Import_Info->clear();
    clipFrame_ = QImage();
    if (source_.isEmpty()) {
        showClipPicture();
        Import_Source->setText(QStringLiteral("(none)"));
        setStatus(QStringLiteral("Choose a video, an animated picture or a folder of pictures."), false);
        setBusy(false);
        return;
    }
    Import_Source->setText(QDir::toNativeSeparators(source_));
    QString message;
    const std::unique_ptr<media::FrameStream> stream = media::FrameStream::open(source_, message);
    if (!stream) {
        setStatus(message, true);
        setBusy(false);
        showClipPicture();
        return;
    }
    const media::ClipInfo& info = stream->info();
    Import_Info->setText(infoText(info));
    timed_ = info.kind != media::ClipInfo::Kind::Picture;
    moving_ = info.kind == media::ClipInfo::Kind::Video || info.kind == media::ClipInfo::Kind::Animation;
    Import_Start->setValue(0.0);
    Import_End->setValue(0.0);
    if (info.duration) {
        Import_Start->setMaximum(std::max(0.0, *info.duration));
        Import_End->setMaximum(std::ceil(*info.duration * 10.0) / 10.0);
    } else {
        Import_Start->setMaximum(LongestTime);
        Import_End->setMaximum(LongestTime);
    }
    Import_Destination->setText(QDir::toNativeSeparators(
        typedDestination_.isEmpty() ? media::defaultDestination(source_) : freeFolder(typedDestination_)));
    sourceReady_ = true;
    setStatus(QString(), false);
    setBusy(false);
    showClipPicture();
    recount();
}

void VideoImportDialog::destinationEdited()
{
    typedDestination_ = QDir::cleanPath(QDir::fromNativeSeparators(Import_Destination->text().trimmed()));
    if (typedDestination_ == QLatin1String(".")) {
        typedDestination_.clear();
    }
}

void VideoImportDialog::setSettings(const media::ImportSettings& settings)
{
    Import_Rate->setValue(settings.framesPerSecond);
    Import_Start->setValue(settings.start);
    Import_End->setValue(settings.end.value_or(0.0));
    Import_Fit->setCurrentIndex(static_cast<int>(settings.fit));
}

void VideoImportDialog::recount()
{
    if (!sourceReady_ || importing()) {
        return;
    }
    const EncoderChoice encoder = encoderChoice_ ? encoderChoice_() : EncoderChoice{};
    const media::ImportSettings taken = settings();
    const QString source = source_;
    const std::shared_ptr<const Vars> colours = FitCounter::coloursOf(colours_);
    const int quality = encoder.detailSliderValue;
    // The screens of the clip taken at a rate, as an import and a run would
    // make them.
    const auto screensAt = [source, taken, colours, quality](double framesPerSecond, const std::atomic<bool>* cancel) {
        media::ImportSettings at = taken;
        at.framesPerSecond = framesPerSecond;
        ScreenMaker maker(*colours, quality);
        QString message;
        if (!media::readFrames(source, at, [&maker](const QImage& frame) { maker.add(frame); }, cancel, message)) {
            return std::optional<ShownScreens>();
        }
        return std::optional<ShownScreens>(maker.take());
    };
    FitCounter::Request request;
    request.screensKey = QStringList{source, QString::number(taken.framesPerSecond, 'g', 17),
                                     QString::number(taken.start, 'g', 17),
                                     taken.end ? QString::number(*taken.end, 'g', 17) : QString(),
                                     QString::number(static_cast<int>(taken.fit)),
                                     FitCounter::settingsKey(*colours, quality)}
                             .join(QLatin1Char('\n'));
    request.screens = [screensAt, rate = taken.framesPerSecond](const std::atomic<bool>* cancel) {
        return screensAt(rate, cancel).value_or(ShownScreens{});
    };
    request.question.target = encoder.target;
    // The frames play at the rate they are taken at.
    request.question.target.framesPerSecond = taken.framesPerSecond;
    if (moving_) {
        request.question.video = VideoSpan{taken.start, taken.framesPerSecond};
        request.question.screensAt = [screensAt](double framesPerSecond) { return screensAt(framesPerSecond, nullptr); };
    }
    counter_->count(std::move(request));
}

void VideoImportDialog::showFits(const FitAdvice& advice, bool imported)
{
    if (advice.chosen.frames == 0) {
        Import_Fits->clear();
        return;
    }
    QStringList lines{whatFitsText(advice.chosen)};
    if (imported) {
        // The frames are the window's now: "Make It Fit" is there for them.
        lines += adviceWords(advice, QString());
    } else if (!advice.chosen.all()) {
        if (const QString summary = adviceSummary(advice); !summary.isEmpty()) {
            lines.append(summary);
        }
        if (const QString elsewhere = elsewhereText(advice); !elsewhere.isEmpty()) {
            lines.append(elsewhere);
        }
    }
    Import_Fits->setText(lines.join(QLatin1Char('\n')));
    keepRoomFor(Import_Fits, 4);
}

void VideoImportDialog::showClipPicture()
{
    clipFrame_ = QImage();
    if (sourceReady_) {
        media::ImportSettings first = settings();
        first.end.reset();
        QString message;
        const std::unique_ptr<media::FrameStream> stream = media::FrameStream::open(source_, message);
        media::ScaledFrame frame;
        if (stream && stream->begin(first, message) && stream->next(frame) == media::FrameStream::Status::Frame) {
            clipFrame_ = frame.image;
        }
    }
    if (clipFrame_.isNull()) {
        Import_Picture->clear();
    } else {
        Import_Picture->setPixmap(QPixmap::fromImage(clipFrame_.scaled(2 * ScreenWidth, 2 * ScreenHeight)));
    }
    showColours();
}

void VideoImportDialog::showColours()
{
    if (clipFrame_.isNull()) {
        Import_Calculator->clear();
        return;
    }
    auto vars = std::make_unique<Vars>();
    vars->BlackThreshold = colours_.BlackThreshold;
    vars->WhiteThreshold = colours_.WhiteThreshold;
    vars->DitherOn = colours_.DitherOn;
    vars->ColourChannel = colours_.ColourChannel;
    MemoryPictureArea source;
    MemoryPictureArea shown;
    source.setPicture(clipFrame_);
    ConvertToMono(*vars, source, shown);
    const QImage screen = shown.toImage().copy(0, 0, ScreenWidth, ScreenHeight);
    Import_Calculator->setPixmap(QPixmap::fromImage(screen.scaled(2 * ScreenWidth, 2 * ScreenHeight)));
}

void VideoImportDialog::chooseFile()
{
    // At the folder in use: the source's, else the window's source folder.
    const QString start = source_.isEmpty() ? colours_.LastDir : QFileInfo(source_).absolutePath();
    const QString file = FilePicker::OpenFile(
        this, QStringLiteral("Import a video or a picture"), start,
        QStringLiteral("Videos and pictures (*.mp4 *.m4v *.mov *.mkv *.webm *.avi *.wmv *.flv *.mpg *.mpeg *.ts "
                       "*.3gp *.ogv *.gif *.png *.apng *.webp *.jpg *.jpeg *.bmp *.tif *.tiff);;All files (*)"));
    if (!file.isEmpty()) {
        setSource(file);
    }
}

void VideoImportDialog::chooseFolder()
{
    const QString start = source_.isEmpty() ? colours_.LastDir : QFileInfo(source_).absolutePath();
    const QString folder = FolderPicker::BrowseFolder(this, QStringLiteral("Select a folder of pictures:"), start);
    if (!folder.isEmpty()) {
        setSource(folder);
    }
}

void VideoImportDialog::chooseDestination()
{
    const QString current = QDir::fromNativeSeparators(Import_Destination->text());
    const QString folder =
        FolderPicker::BrowseFolder(this, QStringLiteral("Select where the new folder goes:"), QFileInfo(current).absolutePath());
    if (!folder.isEmpty() && !source_.isEmpty()) {
        Import_Destination->setText(QDir::toNativeSeparators(media::defaultDestination(source_, folder)));
    }
}

media::ImportSettings VideoImportDialog::settings() const
{
    media::ImportSettings s;
    s.framesPerSecond = Import_Rate->value();
    s.start = Import_Start->value();
    if (Import_End->value() > 0.0) {
        s.end = Import_End->value();
    }
    s.fit = static_cast<media::FitMode>(Import_Fit->currentIndex());
    return s;
}

void VideoImportDialog::startImport()
{
    if (importing() || !sourceReady_) {
        return;
    }
    QString message;
    std::unique_ptr<media::FrameStream> stream = media::FrameStream::open(source_, message);
    if (!stream || !stream->begin(settings(), message)) {
        setStatus(message, true);
        return;
    }
    const QString destination = QDir::cleanPath(QDir::fromNativeSeparators(Import_Destination->text().trimmed()));
    if (destination.isEmpty() || destination == QLatin1String(".")) {
        setStatus(QStringLiteral("Name the new folder for the frames."), true);
        return;
    }

    // What fits is told with the settings of this moment.
    auto colours = std::make_shared<Vars>();
    colours->BlackThreshold = colours_.BlackThreshold;
    colours->WhiteThreshold = colours_.WhiteThreshold;
    colours->DitherOn = colours_.DitherOn;
    colours->ColourChannel = colours_.ColourChannel;
    colours->Pictures = colours_.Pictures;
    const EncoderChoice encoder = encoderChoice_ ? encoderChoice_() : EncoderChoice{};

    counter_->stop();
    runningSettings_ = settings();
    runningSpan_.reset();
    if (moving_) {
        runningSpan_ = VideoSpan{runningSettings_.start, runningSettings_.framesPerSecond};
    }
    cancel_ = false;
    postedPermille_ = -1;
    Import_Progress->setValue(0);
    setStatus(QStringLiteral("Importing..."), false);
    setBusy(true);

    std::shared_ptr<media::FrameStream> shared(std::move(stream));
    const std::optional<VideoSpan> span = runningSpan_;
    worker_ = new JobThread([this, shared, destination, colours, encoder, span] {
        // The screens of the frames as they are written: what fits is
        // counted without reading them again.
        ScreenMaker screens(*colours, encoder.detailSliderValue);
        media::ImportControl control;
        control.cancel = &cancel_;
        control.progress = [this](double fraction, int frames) {
            // One event a step of the bar, not one a frame.
            const int permille = static_cast<int>(fraction * 1000.0);
            if (postedPermille_.exchange(permille) != permille) {
                QMetaObject::invokeMethod(
                    this, [this, permille, frames] { importProgress(permille, frames); }, Qt::QueuedConnection);
            }
        };
        control.written = [&screens](const media::ScaledFrame& frame) { screens.add(frame.image); };
        const media::ImportResult result = media::importFrames(*shared, destination, control);
        std::optional<FitAdvice> advice;
        if (result.status == media::ImportResult::Status::Done) {
            QtFileSystem files;
            FitQuestion question;
            question.target = encoder.target;
            // At the rate the new folder plays at, as the window takes it.
            question.target.framesPerSecond = folderRate(files, result.folder).value_or(WrittenFramesPerSecond);
            question.video = span;
            advice = adviseFit(question, screens.screens(), &cancel_);
        }
        QMetaObject::invokeMethod(
            this, [this, result, advice] { importDone(result, advice); }, Qt::QueuedConnection);
    });
    worker_->setObjectName(QStringLiteral("VideoImport"));
    worker_->start();
}

void VideoImportDialog::importProgress(int permille, int frames)
{
    if (!importing()) {
        return;
    }
    Import_Progress->setValue(permille);
    setStatus(QStringLiteral("Importing... %1 frames").arg(frames), false);
}

void VideoImportDialog::importDone(const media::ImportResult& result, const std::optional<FitAdvice>& advice)
{
    if (worker_) {
        worker_->wait();
        delete worker_;
        worker_ = nullptr;
    }
    setBusy(false);
    switch (result.status) {
    case media::ImportResult::Status::Done: {
        Import_Progress->setValue(1000);
        QString text = QStringLiteral("%1 frames are in %2.")
                           .arg(result.frames)
                           .arg(QStringLiteral("\u201C%1\u201D").arg(QDir::toNativeSeparators(result.folder)));
        if (!result.message.isEmpty()) {
            text += QLatin1Char(' ') + result.message;
        }
        setStatus(text, false);
        if (advice) {
            showFits(*advice, true);
        }
        Import_Cancel->setText(QStringLiteral("Close"));
        importedSpan_ = runningSpan_;
        importedSettings_ = runningSettings_;
        // Another import needs another folder: the one the user typed,
        // numbered, else the next default.
        Import_Destination->setText(QDir::toNativeSeparators(
            typedDestination_.isEmpty() ? media::defaultDestination(source_) : freeFolder(typedDestination_)));
        emit imported(result.folder);
        break;
    }
    case media::ImportResult::Status::Cancelled:
        Import_Progress->setValue(0);
        setStatus(QStringLiteral("Cancelled; nothing was kept."), false);
        break;
    case media::ImportResult::Status::Failed:
        Import_Progress->setValue(0);
        setStatus(result.message, true);
        break;
    }
    emit importEnded();
}

void VideoImportDialog::cancelImport()
{
    if (!worker_) {
        return;
    }
    cancel_ = true;
    worker_->wait();
    delete worker_;
    worker_ = nullptr;
    setBusy(false);
}

void VideoImportDialog::reject()
{
    if (importing()) {
        // Cancel stops the import; the dialog stays to say so.
        cancel_ = true;
        return;
    }
    QDialog::reject();
}

void VideoImportDialog::setBusy(bool busy)
{
    for (QWidget* w : std::initializer_list<QWidget*>{Import_File, Import_Folder, Import_Rate, Import_Fit,
                                                      Import_Destination, Import_Choose_Destination}) {
        w->setEnabled(!busy);
    }
    Import_Start->setEnabled(!busy && sourceReady_ && timed_);
    Import_End->setEnabled(!busy && sourceReady_ && timed_);
    Import_Go->setEnabled(!busy && sourceReady_);
    if (busy) {
        Import_Cancel->setText(QStringLiteral("Cancel"));
    }
}

void VideoImportDialog::setStatus(const QString& text, bool problem)
{
    Import_Status->setText(text);
    keepRoomFor(Import_Status, 3);
    Import_Status->setStyleSheet(problem ? QStringLiteral("color: #b00000;") : QString());
}

}  // namespace zoetra

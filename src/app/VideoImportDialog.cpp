#include "app/VideoImportDialog.h"

#include "convert/WhatFits.h"
#include "imaging/FrameFolder.h"
#include "media/FrameStream.h"
#include "media/VideoImport.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPictureLoader.h"
#include "platform/widgets/FilePicker.h"
#include "platform/widgets/FolderPicker.h"
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
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <cmath>

namespace zoetra {

namespace {

// A thread that runs one job. (QThread::create would bring in std::future,
// whose thread-local state makes the program need the loader's TLS entry.)
class JobThread final : public QThread {
public:
    explicit JobThread(std::function<void()> job) : job_(std::move(job)) {}

protected:
    void run() override { job_(); }

private:
    std::function<void()> job_;
};

// The longest clip the time boxes take: a day.
constexpr double LongestTime = 86400.0;

template <typename Widget, typename... Args>
Widget* named(const char* name, Args&&... args)
{
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QDoubleSpinBox* secondsBox(const char* name)
{
    auto* box = named<QDoubleSpinBox>(name);
    box->setRange(0.0, LongestTime);
    box->setDecimals(1);
    box->setSingleStep(0.5);
    box->setSuffix(QStringLiteral(" s"));
    return box;
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
    setWindowModality(Qt::WindowModal);

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

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Source"), sourceButtons);
    form->addRow(QString(), Import_Info);
    form->addRow(QStringLiteral("Frame rate"), Import_Rate);
    form->addRow(QStringLiteral("Start"), Import_Start);
    form->addRow(QStringLiteral("End"), Import_End);
    form->addRow(QStringLiteral("Fit"), Import_Fit);
    form->addRow(QStringLiteral("New folder"), destination);

    Import_Progress = named<QProgressBar>("Import_Progress");
    Import_Progress->setRange(0, 1000);
    Import_Progress->setValue(0);
    Import_Progress->setTextVisible(false);
    Import_Status = named<QLabel>("Import_Status");
    Import_Status->setWordWrap(true);
    Import_Status->setMinimumHeight(3 * Import_Status->fontMetrics().height());
    Import_Status->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Import_Go = named<QPushButton>("Import_Go", QStringLiteral("Import"));
    Import_Go->setDefault(true);
    Import_Cancel = named<QPushButton>("Import_Cancel", QStringLiteral("Cancel"));
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(Import_Go, QDialogButtonBox::AcceptRole);
    buttons->addButton(Import_Cancel, QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Import_Progress);
    layout->addWidget(Import_Status);
    layout->addWidget(buttons);

    connect(Import_File, &QPushButton::clicked, this, &VideoImportDialog::chooseFile);
    connect(Import_Folder, &QPushButton::clicked, this, &VideoImportDialog::chooseFolder);
    connect(Import_Choose_Destination, &QPushButton::clicked, this, &VideoImportDialog::chooseDestination);
    connect(Import_Go, &QPushButton::clicked, this, &VideoImportDialog::startImport);
    connect(Import_Cancel, &QPushButton::clicked, this, &VideoImportDialog::reject);

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
    Import_Progress->setValue(0);
    Import_Info->clear();
    if (source_.isEmpty()) {
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
        return;
    }
    const media::ClipInfo& info = stream->info();
    Import_Info->setText(infoText(info));
    timed_ = info.kind != media::ClipInfo::Kind::Picture;
    Import_Start->setValue(0.0);
    Import_End->setValue(0.0);
    if (info.duration) {
        Import_Start->setMaximum(std::max(0.0, *info.duration));
        Import_End->setMaximum(std::ceil(*info.duration * 10.0) / 10.0);
    } else {
        Import_Start->setMaximum(LongestTime);
        Import_End->setMaximum(LongestTime);
    }
    Import_Destination->setText(QDir::toNativeSeparators(media::defaultDestination(source_)));
    sourceReady_ = true;
    setStatus(QString(), false);
    setBusy(false);
}

void VideoImportDialog::chooseFile()
{
    const QString start = source_.isEmpty() ? QDir::homePath() : QFileInfo(source_).absolutePath();
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
    const QString start = source_.isEmpty() ? QString() : QFileInfo(source_).absolutePath();
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
    const EncoderChoice encoder = encoderChoice_ ? encoderChoice_() : EncoderChoice{};

    cancel_ = false;
    postedPermille_ = -1;
    Import_Progress->setValue(0);
    setStatus(QStringLiteral("Importing..."), false);
    setBusy(true);

    std::shared_ptr<media::FrameStream> shared(std::move(stream));
    worker_ = new JobThread([this, shared, destination, colours, encoder] {
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
        const media::ImportResult result = media::importFrames(*shared, destination, control);
        std::optional<WhatFits> fits;
        if (result.status == media::ImportResult::Status::Done) {
            QtFileSystem files;
            QtPictureLoader loader;
            const QStringList frames = listFrameFolder(files, result.folder).value_or(QStringList{});
            fits = estimateWhatFits(*colours, encoder, loader, result.folder, frames, &cancel_);
        }
        QMetaObject::invokeMethod(this, [this, result, fits] { importDone(result, fits); }, Qt::QueuedConnection);
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

void VideoImportDialog::importDone(const media::ImportResult& result, const std::optional<WhatFits>& fits)
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
        if (fits) {
            text += QLatin1Char('\n') + whatFitsText(*fits);
        }
        setStatus(text, false);
        Import_Cancel->setText(QStringLiteral("Close"));
        // Another import would need another folder name.
        Import_Destination->setText(QDir::toNativeSeparators(media::defaultDestination(source_)));
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
    Import_Status->setStyleSheet(problem ? QStringLiteral("color: #b00000;") : QString());
}

}  // namespace zoetra

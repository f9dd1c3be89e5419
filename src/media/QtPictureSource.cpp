#include "media/QtPictureSource.h"

#include "media/FrameScaler.h"
#include "media/PictureDecoder.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <deque>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace zoetra::media {

namespace {

// Qt's own limit would refuse large pictures; this one admits the largest
// accepted side in both directions at 32 bits a pixel.
constexpr int AllocationLimitMegabytes = 1100;

// A delay of 0 (or none) is shown as a tenth of a second, as browsers do.
constexpr int DefaultDelayMs = 100;

QString quoted(const QString& name)
{
    return QStringLiteral("\u201C%1\u201D").arg(name);
}

void prepare(QImageReader& reader)
{
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(AllocationLimitMegabytes);
    reader.setAutoTransform(true);  // a photo's orientation tag
}

bool tooLarge(const QSize& size)
{
    return !pictureSizeProblem({}, size.width(), size.height()).isEmpty();
}

QString tooLargeMessage(const QString& name, const QSize& size)
{
    return pictureSizeProblem(quoted(name), size.width(), size.height());
}

}  // namespace

// Hand-written rather than QCollator's numeric mode, which needs ICU and a
// locale other than C, so that the order is the same on every machine.
bool naturalNameLess(const QString& a, const QString& b)
{
    const auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && isDigit(a[endA])) {
                ++endA;
            }
            while (endB < b.size() && isDigit(b[endB])) {
                ++endB;
            }
            // Numbers compare by their digits without leading zeros: first by
            // how many there are, then digit by digit.
            qsizetype startA = i;
            qsizetype startB = j;
            while (startA + 1 < endA && a[startA] == QLatin1Char('0')) {
                ++startA;
            }
            while (startB + 1 < endB && b[startB] == QLatin1Char('0')) {
                ++startB;
            }
            const QStringView numberA = QStringView(a).sliced(startA, endA - startA);
            const QStringView numberB = QStringView(b).sliced(startB, endB - startB);
            if (numberA.size() != numberB.size()) {
                return numberA.size() < numberB.size();
            }
            if (const int order = numberA.compare(numberB); order != 0) {
                return order < 0;
            }
            i = endA;
            j = endB;
            continue;
        }
        const char32_t ca = QChar::toCaseFolded(a[i].unicode());
        const char32_t cb = QChar::toCaseFolded(b[j].unicode());
        if (ca != cb) {
            return ca < cb;
        }
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) {
        return a.size() - i < b.size() - j;
    }
    return a < b;  // equal but for case or leading zeros: a fixed order
}

QStringList pictureFiles(const QString& folder)
{
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        patterns.append(QStringLiteral("*.") + QString::fromLatin1(format));
    }
    QStringList names = QDir(folder).entryList(patterns, QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    std::sort(names.begin(), names.end(), naturalNameLess);
    return names;
}

// The folder's pictures being read (and fitted) on other threads, in the
// order they are handed on. (A mutex and a condition rather than
// std::future, whose thread-local state would make the programs link the
// loader.)
struct QtPictureSource::Pipeline {
    struct Picture {
        bool done = false;
        bool readable = false;
        QImage picture;  // when it was not fitted
        QImage screen;   // when it was
    };

    QThreadPool pool;
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<std::unique_ptr<FrameScaler>> idleScalers;  // one for each thread at most
    std::deque<std::pair<int, std::shared_ptr<Picture>>> ahead;  // index in the folder, result

    Pipeline() { pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount())); }
    ~Pipeline() { pool.waitForDone(); }  // the tasks use the scalers

    std::size_t depth() const { return static_cast<std::size_t>(2 * pool.maxThreadCount()); }

    // The picture when it is there.
    Picture take(Picture& slot)
    {
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [&slot] { return slot.done; });
        return std::move(slot);
    }

    void read(int index, const QString& path, std::optional<FitMode> fit)
    {
        auto slot = std::make_shared<Picture>();
        ahead.emplace_back(index, slot);
        pool.start([this, path, fit, slot] {
            Picture result;
            QImageReader reader(path);
            prepare(reader);
            if (tooLarge(reader.size())) {
                deliver(*slot, std::move(result));
                return;
            }
            // PNG and JPEG by FFmpeg's decoders: a JPEG's planes go to the
            // scaler as they are, and both cost about half of Qt's way.
            if (fit && PictureDecoder::decodes(reader.format())) {
                if (FramePtr decoded = PictureDecoder::decode(path, reader.format());
                    decoded && !tooLarge(QSize(decoded->width, decoded->height))) {
                    std::unique_ptr<FrameScaler> scaler = takeScaler();
                    result.screen = scaler->scale(*decoded, 1.0, *fit, orientationOf(reader.transformation()));
                    giveBack(std::move(scaler));
                    if (!result.screen.isNull()) {
                        result.readable = true;
                        deliver(*slot, std::move(result));
                        return;
                    }
                }
            }
            {
                QImage image = reader.read();
                result.readable = !image.isNull() && !tooLarge(image.size());
                if (result.readable && fit) {
                    std::unique_ptr<FrameScaler> scaler = takeScaler();
                    result.screen = scaler->scale(image, *fit);
                    giveBack(std::move(scaler));
                }
                if (result.readable && result.screen.isNull()) {
                    result.picture = std::move(image);
                }
            }
            deliver(*slot, std::move(result));
        });
    }

    void deliver(Picture& slot, Picture&& result)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            slot = std::move(result);
            slot.done = true;
        }
        finished.notify_all();
    }

    std::unique_ptr<FrameScaler> takeScaler()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (idleScalers.empty()) {
            return std::make_unique<FrameScaler>();
        }
        std::unique_ptr<FrameScaler> scaler = std::move(idleScalers.back());
        idleScalers.pop_back();
        return scaler;
    }

    void giveBack(std::unique_ptr<FrameScaler> scaler)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        idleScalers.push_back(std::move(scaler));
    }
};

QtPictureSource::~QtPictureSource() = default;

bool QtPictureSource::canRead(const QString& path)
{
    QImageReader reader(path);
    prepare(reader);
    return reader.canRead();
}

std::unique_ptr<QtPictureSource> QtPictureSource::openFile(const QString& path, QString& message)
{
    std::unique_ptr<QtPictureSource> source(new QtPictureSource);
    source->path_ = path;
    source->reader_ = std::make_unique<QImageReader>(path);
    QImageReader& reader = *source->reader_;
    prepare(reader);
    const QString name = QFileInfo(path).fileName();
    if (!reader.canRead()) {
        message = QStringLiteral("%1 is not a video or picture file that can be read.").arg(quoted(name));
        return nullptr;
    }
    const QSize size = reader.size();
    if (tooLarge(size)) {
        message = tooLargeMessage(name, size);
        return nullptr;
    }
    ClipInfo& info = source->info_;
    const int count = reader.imageCount();
    const bool animated = reader.supportsAnimation() && count != 1;
    info.kind = animated ? ClipInfo::Kind::Animation : ClipInfo::Kind::Picture;
    info.width = size.width();
    info.height = size.height();
    info.pictureCount = count > 0 ? count : -1;
    info.format = QString::fromLatin1(reader.format().toUpper()) +
                  (animated ? QStringLiteral(" animation") : QStringLiteral(" picture"));
    return source;
}

std::unique_ptr<QtPictureSource> QtPictureSource::openFolder(const QString& folder, QString& message)
{
    std::unique_ptr<QtPictureSource> source(new QtPictureSource);
    source->path_ = folder;
    source->names_ = pictureFiles(folder);
    const QString name = QDir(folder).dirName();
    if (source->names_.isEmpty()) {
        message = QStringLiteral("The folder %1 holds no pictures.").arg(quoted(name));
        return nullptr;
    }
    ClipInfo& info = source->info_;
    info.kind = ClipInfo::Kind::PictureFolder;
    info.pictureCount = static_cast<int>(source->names_.size());
    QImageReader first(QDir(folder).filePath(source->names_.first()));
    prepare(first);
    info.width = first.size().width();
    info.height = first.size().height();
    info.format = QStringLiteral("Pictures");
    return source;
}

void QtPictureSource::start(double seconds, double interval)
{
    interval_ = interval > 0.0 ? interval : 1.0;
    if (info_.kind == ClipInfo::Kind::PictureFolder && seconds > 0.0) {
        // The first picture shown at or after the start.
        const double index = std::ceil(seconds / interval_ - 1e-9);
        nextName_ = static_cast<int>(std::min<double>(index, static_cast<double>(names_.size())));
        firstName_ = nextName_;
        startTime_ = nextName_ * interval_;
    }
}

FrameSource::Read QtPictureSource::next(SourceFrame& frame)
{
    frame.decoded.reset();
    frame.screen = QImage();
    return reader_ ? nextOfFile(frame) : nextOfFolder(frame);
}

FrameSource::Read QtPictureSource::nextOfFile(SourceFrame& frame)
{
    QImageReader& reader = *reader_;
    if (imagesRead_ > 0 && (info_.kind == ClipInfo::Kind::Picture || !reader.canRead())) {
        return Read::End;
    }
    QImage image = reader.read();
    if (image.isNull()) {
        if (imagesRead_ == 0 || reader.error() != QImageReader::UnknownError) {
            problem_ = reader.errorString();
            return Read::Failed;
        }
        return Read::End;
    }
    if (tooLarge(image.size())) {
        problem_ = tooLargeMessage(QFileInfo(path_).fileName(), image.size());
        return Read::Failed;
    }
    ++imagesRead_;
    const int delay = reader.nextImageDelay();
    frame.time = fileTime_;
    frame.duration = (delay > 0 ? delay : DefaultDelayMs) / 1000.0;
    fileTime_ += *frame.duration;
    frame.picture = std::move(image);
    return Read::Frame;
}

FrameSource::Read QtPictureSource::nextOfFolder(SourceFrame& frame)
{
    if (!pipeline_) {
        pipeline_ = std::make_unique<Pipeline>();
    }
    for (;;) {
        while (pipeline_->ahead.size() < pipeline_->depth() && nextName_ < names_.size()) {
            const int index = nextName_++;
            pipeline_->read(index, QDir(path_).filePath(names_.at(index)), fit_);
        }
        if (pipeline_->ahead.empty()) {
            return Read::End;
        }
        auto [index, slot] = std::move(pipeline_->ahead.front());
        pipeline_->ahead.pop_front();
        Pipeline::Picture picture = pipeline_->take(*slot);
        handedOn_ = index + 1;
        if (!picture.readable) {
            leftOut_.append(names_.at(index));
            continue;
        }
        // Pictures left out leave no gap.
        frame.time = (index - static_cast<int>(leftOut_.size()) - firstName_) * interval_ + startTime_;
        frame.duration = interval_;
        frame.picture = std::move(picture.picture);
        frame.screen = std::move(picture.screen);
        return Read::Frame;
    }
}

std::optional<double> QtPictureSource::position() const
{
    if (!names_.isEmpty()) {
        return static_cast<double>(std::max(handedOn_, firstName_)) / static_cast<double>(names_.size());
    }
    if (info_.pictureCount > 0) {
        return std::min(1.0, static_cast<double>(imagesRead_) / info_.pictureCount);
    }
    return std::nullopt;
}

QString QtPictureSource::notes() const
{
    if (leftOut_.isEmpty()) {
        return {};
    }
    QStringList shown = leftOut_.mid(0, 5);
    QString list = shown.join(QStringLiteral(", "));
    if (leftOut_.size() > shown.size()) {
        list += QStringLiteral(" and %1 more").arg(leftOut_.size() - shown.size());
    }
    return QStringLiteral("%1 of the pictures could not be read and were left out: %2.")
        .arg(leftOut_.size())
        .arg(list);
}

}  // namespace zoetra::media

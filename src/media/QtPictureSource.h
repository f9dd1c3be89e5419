#pragma once

#include "media/FrameSource.h"

#include <QImageReader>
#include <QStringList>

#include <memory>
#include <optional>

namespace zoetra::media {

// Pictures that Qt reads: one picture file (still or animated, for what
// FFmpeg cannot decode, such as animated WebP), or a folder of pictures
// of any size and type Qt reads, one frame each in natural name order.
// A folder's pictures are read and fitted to the screen ahead, several at
// a time on a pool of threads, and handed on in order.
class QtPictureSource final : public FrameSource {
public:
    ~QtPictureSource() override;

    static bool canRead(const QString& path);
    // Nothing and a message when the file or folder holds no readable picture.
    static std::unique_ptr<QtPictureSource> openFile(const QString& path, QString& message);
    static std::unique_ptr<QtPictureSource> openFolder(const QString& folder, QString& message);

    const ClipInfo& info() const override { return info_; }
    void fitTo(FitMode fit) override { fit_ = fit; }
    void start(double seconds, double interval) override;
    Read next(SourceFrame& frame) override;
    QString problem() const override { return problem_; }
    std::optional<double> position() const override;
    QString notes() const override;

private:
    QtPictureSource() = default;
    Read nextOfFile(SourceFrame& frame);
    Read nextOfFolder(SourceFrame& frame);

    ClipInfo info_;
    QString path_;
    // A file: its reader and the time of the next image.
    std::unique_ptr<QImageReader> reader_;
    double fileTime_ = 0.0;
    int imagesRead_ = 0;
    // A folder: its pictures and the next one.
    QStringList names_;
    int nextName_ = 0;  // the next to be read
    int handedOn_ = 0;  // the pictures passed on or left out so far
    std::optional<FitMode> fit_;
    struct Pipeline;
    std::unique_ptr<Pipeline> pipeline_;
    int firstName_ = 0;  // where start() placed the folder
    double startTime_ = 0.0;
    double interval_ = 1.0;
    QStringList leftOut_;
    QString problem_;
};

// Picture files of a folder that Qt can read, by their names' endings, in
// natural order: digits compared as numbers (frame2 before frame10), letter
// case ignored.
QStringList pictureFiles(const QString& folder);
bool naturalNameLess(const QString& a, const QString& b);

}  // namespace zoetra::media

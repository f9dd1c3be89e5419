#pragma once

#include "media/MediaTypes.h"
#include "media/SoundImport.h"

#include <QString>


namespace zoetra::media {

// Writes the frames of an import as 96 x 64 BMP files, numbered with
// leading zeros (frame00001.bmp ...), into a hidden temporary folder beside
// the destination, and renames it to the destination when all are written.
// Until then, and when it is dropped without commit(), nothing but the
// temporary folder exists, and that is removed. The folder gets the
// permissions of any folder the user makes (not only the owner's).
class FrameFolderWriter {
public:
    FrameFolderWriter();
    ~FrameFolderWriter();
    FrameFolderWriter(const FrameFolderWriter&) = delete;
    FrameFolderWriter& operator=(const FrameFolderWriter&) = delete;

    // destination must not exist yet; its parent folder must. `frames` is
    // how many are expected (for the width of the numbers), 0 if unknown.
    bool open(const QString& destination, int frames, QString& message);
    bool write(const QImage& frame, QString& message);
    // Keeps the rate the frames play at beside them (shared/FolderRate.h).
    bool writeRate(double framesPerSecond, QString& message);
    // Keeps their sound beside them (shared/FolderSound.h).
    bool writeSound(const Sound& sound, QString& message);
    bool commit(QString& message);

    int count() const { return count_; }
    QString temporaryPath() const;

    static QString fileName(int number, int digits);

private:
    QString temporary_;  // the hidden folder being written, while there is one
    QString destination_;
    int digits_ = 5;
    int count_ = 0;
};

}  // namespace zoetra::media

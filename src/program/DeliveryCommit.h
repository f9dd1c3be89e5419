#pragma once

#include "platform/FileSystem.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace zoetra {

// Whether the file name is one that a delivery of the program name can
// have, in any letter case: the program file NAME.8xp, the AppVar files
// NAME00.8xv to NAME99.8xv and the multi-variable files NAME.8xg, NAME-2.8xg,
// ... as far as a video's AppVars number them.
bool belongsToDelivery(const QString& programName, const QString& fileName);

// Whether a file of such a name holds what a delivery of the program name
// writes under it: a program of that name, an AppVar of its video with the
// video's header, a multi-variable file of only these. A file of another
// name, or of other content, is not the delivery's to remove.
bool holdsDeliveryFile(const QString& programName, const QString& fileName, const QByteArray& bytes);

// The files of one delivery put into their folder all at once.
//
// Each new file is written beside its place under a temporary name
// (add()); place() then sets the earlier delivery's files of the name aside
// (renamed to NAME.previous in the same folder) and renames the new ones
// into their places. Until finish() everything can be put back as it was:
// rollBack(), which the destructor also does, removes the new files and
// renames the earlier ones back. finish() removes the earlier files for
// good. A failure of any step leaves the folder as it was.
//
// The earlier delivery is every file of the name (belongsToDelivery) that
// holds what a delivery writes (holdsDeliveryFile), in any letter case,
// and the program file of the exact name whatever it holds (a delivery has
// always replaced it). Files of other names, and of such names but other
// content, stay; one where a new file must go ends the delivery before
// anything is touched.
class DeliveryCommit {
public:
    DeliveryCommit(FileSystem& files, const QString& folder, const QString& programName);
    ~DeliveryCommit();
    DeliveryCommit(const DeliveryCommit&) = delete;
    DeliveryCommit& operator=(const DeliveryCommit&) = delete;

    // A new file for the place `name` in the folder, written now under a
    // temporary name. A failure names the place.
    std::optional<FileFailure> add(const QString& name, const QByteArray& bytes);

    // Sets the earlier files aside and puts the new ones in place. Files
    // named in `inPlace` (any letter case) are the new delivery's already
    // (the program left where it was built) and their earlier versions are
    // someone else's to set aside: neither is touched. On failure the
    // folder is as it was and the file that failed is named.
    std::optional<FileFailure> place(const QStringList& inPlace = {});

    // The earlier files go.
    void finish();
    // The new files go and the earlier ones come back.
    void rollBack();

    // The new files in their places (after place()), in the order added.
    QStringList paths() const;
    // The names the earlier files had (after place()).
    const QStringList& earlier() const { return aside_; }

private:
    struct NewFile {
        QString name;
        QString temporary;
        bool placed = false;
    };

    QString at(const QString& name) const { return joinPath(folder_, name); }
    bool isNewName(const QString& name) const;
    bool isEarlierFile(const QString& name);
    void removeOrphans(const QStringList& listed);

    FileSystem& files_;
    QString folder_;
    QString programName_;
    std::vector<NewFile> new_;
    QStringList aside_;  // earlier files now under name + AsideSuffix
    bool finished_ = false;
};

}  // namespace zoetra

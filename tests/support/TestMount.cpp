#include "support/TestMount.h"

#include <QProcess>

namespace zoetra::test {

Mount::Mount(const QString& path, const QString& options) : path_(path)
{
#ifndef _WIN32
    mounted_ = QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                           QStringLiteral("-o"), options, QStringLiteral("tmpfs"),
                                                           path}) == 0;
#endif
}

Mount::~Mount()
{
    if (mounted_) {
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), path_});
    }
}

bool Mount::makeReadOnly() const
{
    return mounted_ &&
           QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), path_}) == 0;
}

}  // namespace zoetra::test

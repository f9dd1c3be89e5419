#pragma once

#include <QString>

namespace zoetra::test {

// A small tmpfs mounted over a folder, to make it full or read-only; needs
// the right to mount (root on the test machines), else mounted() is false
// and the test should skip.
class Mount {
public:
    Mount(const QString& path, const QString& options);
    ~Mount();
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;

    bool mounted() const { return mounted_; }
    bool makeReadOnly() const;

private:
    QString path_;
    bool mounted_ = false;
};

}  // namespace zoetra::test

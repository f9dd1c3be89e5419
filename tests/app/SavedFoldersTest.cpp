// The saved-folder files: what is written, and the read rules.
#include "app/SavedFolders.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zoetra::test {
namespace {

using SavedFolders::format;
using SavedFolders::parse;

TEST(SavedFolders, WritesTheQuotedNativePathAndCrLf)
{
    EXPECT_EQ(format(QStringLiteral("/home/ann/Frames")),
              QByteArray("\"") + QDir::toNativeSeparators(QStringLiteral("/home/ann/Frames")).toLocal8Bit() +
                  "\"\r\n");
    // A comma and blanks stay inside the quotes.
    EXPECT_EQ(format(QStringLiteral("/a, b/ c")), QByteArray("\"") +
                                                      QDir::toNativeSeparators(QStringLiteral("/a, b/ c")).toLocal8Bit() +
                                                      "\"\r\n");
}

TEST(SavedFolders, ReadRules)
{
    const struct {
        const char* content;
        const char* value;  // nullptr: holds no value
    } cases[] = {
        {"\"/frames\"\r\n", "/frames"},
        {"\"/frames, take 2\"\r\n", "/frames, take 2"},  // quoted: the comma belongs to the path
        {"/frames, take 2\r\n", "/frames"},              // unquoted: cut at the first comma
        {"/frames\r\n", "/frames"},
        {"/frames", "/frames"},
        {"/frames\n/other\n", "/frames"},
        {"/frames\r/other", "/frames"},
        {"   \t \"/frames\"", "/frames"},                // leading blanks skipped
        {"  /frames  ", "/frames  "},                    // trailing blanks kept
        {"\"/frames\"junk,more\r\n", "/frames"},         // anything after the first value is ignored
        {"\"/frames\r\n\"", "/frames"},                  // no closing quote on the line
        {"\"/a \"b\"\"\r\n", "/a "},
        {"", nullptr},
        {"   ", nullptr},
        {"\r\n\"/frames\"\r\n", nullptr},                // the first value is on the first line
        {"\"\"\r\n", nullptr},
        {",/frames", nullptr},
        {"\"", nullptr},
    };
    for (const auto& c : cases) {
        const std::optional<QString> value = parse(QByteArray(c.content));
        SCOPED_TRACE(c.content);
        if (c.value == nullptr) {
            EXPECT_FALSE(value.has_value()) << value->toStdString();
        } else {
            ASSERT_TRUE(value.has_value());
            EXPECT_EQ(*value, QString::fromUtf8(c.value));
        }
    }
}

TEST(SavedFolders, WhatIsWrittenReadsBack)
{
    for (const QString& folder : {QStringLiteral("/frames"), QStringLiteral("/my frames, the best/2026"),
                                  QStringLiteral("/caf\u00e9/\u00fcber")}) {
        EXPECT_EQ(parse(format(folder)), folder);
    }
}

TEST(SavedFolders, ReadsOnlyExistingReadableFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(SavedFolders::read(dir.filePath(QStringLiteral("missing.cfg"))).has_value());
    EXPECT_FALSE(SavedFolders::read(dir.path()).has_value());  // a folder, not a file

    const QString file = dir.filePath(QStringLiteral("LastDir.cfg"));
    writeAll(file, QByteArray());
    EXPECT_FALSE(SavedFolders::read(file).has_value());
    writeAll(file, "\"/frames\"\r\n" + QByteArray(1 << 20, 'x'));  // long tail beyond the read limit
    EXPECT_EQ(SavedFolders::read(file), QStringLiteral("/frames"));
}

}  // namespace
}  // namespace zoetra::test

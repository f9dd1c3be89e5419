// A name that is not valid UTF-8 is shown as it is, its stray bytes escaped.
#include "platform/ArgumentNames.h"

#include <QtGlobal>

#include <gtest/gtest.h>

namespace zoetra {
namespace {

TEST(ArgumentNames, StrayBytesAreEscapedAndValidCharactersKept)
{
    EXPECT_EQ(escapedBytes("caf\xE9.mp4"), QStringLiteral("caf\\xE9.mp4"));
    // Valid two- and three-byte characters stay; a cut sequence, a lone
    // continuation byte and an overlong form do not.
    EXPECT_EQ(escapedBytes("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC\xE2\x82 \x80 \xC0\xAF"),
              QStringLiteral("\u00E9t\u00E9 \u20AC\\xE2\\x82 \\x80 \\xC0\\xAF"));
#ifndef Q_OS_WIN
    const char* valid[] = {"zoetra2-convert", "--source", "\xC3\xA9t\xC3\xA9.mp4"};
    EXPECT_EQ(argumentNotUtf8(3, valid), std::nullopt);
    const char* invalid[] = {"zoetra2-convert", "--source", "caf\xE9.mp4", "caf\xC3\xA9"};
    EXPECT_EQ(argumentNotUtf8(4, invalid), QStringLiteral("caf\\xE9.mp4"));
#endif
}

}  // namespace
}  // namespace zoetra

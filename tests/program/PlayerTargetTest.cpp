// The player's parts and the generated include name what the build of each
// stream format needs.
#include "codec/Codec.h"
#include "program/PlayerTarget.h"

#include <gtest/gtest.h>

namespace zoetra::test {
namespace {

TEST(CodecTest, TheGeneratedIncludeCarriesTheTargetsFacts)
{
    for (const Codec& codec : allCodecs()) {
        VideoTarget target;
        target.format = codec.format;
        const QByteArray text = TargetIncludeText(target);
        const int ticks = ticksPerFrame(target);
        EXPECT_EQ(ticks, 8);  // the written pace on the TI-83 Plus
        EXPECT_TRUE(text.contains("FRAME_HALTS     .equ " + QByteArray::number(ticks - 1) + "\r\n")) << text.toStdString();
        EXPECT_TRUE(text.contains("CPU_HZ          .equ 6000000\r\n"));
        EXPECT_TRUE(text.contains("TIMER_HZ        .equ 118\r\n"));
        EXPECT_TRUE(text.contains("#include \"" + QByteArray(codec.playerPart.data()) + "\"\r\n"));
        EXPECT_TRUE(text.contains("#include \"SourceRam.z80\"\r\n"));
        EXPECT_TRUE(text.endsWith("\r\n"));
        // The written TI-83 Plus program stays as it was; the dense player
        // says what it was made for in its last bytes.
        EXPECT_EQ(text.contains("MadeFor"), codec.format == StreamFormat::Dense) << text.toStdString();
        const QStringList parts = playerParts(target);
        EXPECT_EQ(parts.first(), QStringLiteral("VID.z80"));
        EXPECT_TRUE(parts.contains(QString::fromLatin1(codec.playerPart.data())));
        for (const QString& part : parts) {
            EXPECT_TRUE(allPlayerParts().contains(part));
        }
    }
    EXPECT_NEAR(playedFramesPerSecond(VideoTarget{}), 14.75, 1e-9);
}

}  // namespace
}  // namespace zoetra::test

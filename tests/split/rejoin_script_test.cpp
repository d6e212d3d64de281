#include "split/rejoin_script.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace sqs {
namespace {

TEST(RejoinScript, ThreePiecesByteForByte) {
    const QString text = rejoinScriptText("/work/data.lzh", 3);
    const QByteArray bytes = encodeRejoinScript(text) + "\r\n";
    EXPECT_EQ(bytes,
              "@ECHO OFF\r\n"
              "COPY /B \"data.lzh.001\" \"data.lzh\" >NUL\r\n"
              "COPY /B \"data.lzh\"+\"data.lzh.002\" \"data.lzh\" >NUL\r\n"
              "COPY /B \"data.lzh\"+\"data.lzh.003\" \"data.lzh\" >NUL\r\n"
              "ECHO complate!\r\n");
    EXPECT_EQ(bytes.size(), 169);
    EXPECT_EQ(rejoinScriptPath("/work/data.lzh"), "/work/data.lzh.bat");
}

TEST(RejoinScript, TwoPiecesHaveOneAppendLine) {
    EXPECT_EQ(rejoinScriptText("/a/my file.bin", 2),
              "@ECHO OFF\r\nCOPY /B \"my file.bin.001\" \"my file.bin\" >NUL\r\n"
              "COPY /B \"my file.bin\"+\"my file.bin.002\" \"my file.bin\" >NUL\r\nECHO complate!");
}

TEST(RejoinScript, ThousandPiecesUseFourDigits) {
    const QStringList lines = rejoinScriptText("/a/big", 1000).split("\r\n");
    ASSERT_EQ(lines.size(), 1002);
    EXPECT_EQ(lines[999], "COPY /B \"big\"+\"big.999\" \"big\" >NUL");
    EXPECT_EQ(lines[1000], "COPY /B \"big\"+\"big.1000\" \"big\" >NUL");
    EXPECT_EQ(lines[1001], "ECHO complate!");
}

TEST(RejoinScript, PercentIsDoubledAndOtherSpecialsKept) {
    EXPECT_EQ(rejoinScriptText("/a/100%&^!.txt", 2).split("\r\n")[2],
              "COPY /B \"100%%&^!.txt\"+\"100%%&^!.txt.002\" \"100%%&^!.txt\" >NUL");
}

TEST(RejoinScript, JapaneseNameInCp932) {
    const QByteArray bytes = encodeRejoinScript(rejoinScriptText("/a/日本語ソ表.bin", 2));
    // ソ and 表 end in 0x5C in CP932.
    EXPECT_TRUE(bytes.contains("COPY /B \"\x93\xfa\x96\x7b\x8c\xea\x83\x5c\x95\x5c.bin.001\""));
    EXPECT_FALSE(bytes.contains("CHCP"));
}

// Also a name whose CP932 form reads back as another: the yen sign would
// be written as 0x5C, a backslash to the command interpreter.
TEST(RejoinScript, NameOutsideCp932FallsBackToUtf8) {
    for (const QString& name : {QStringLiteral("Ωé€.bin"), QStringLiteral("¥100.bin")}) {
        const QByteArray bytes = encodeRejoinScript(rejoinScriptText("/a/" + name, 2));
        EXPECT_TRUE(bytes.startsWith("@ECHO OFF\r\n@CHCP 65001 >NUL\r\nCOPY /B \"" + name.toUtf8() + ".001\""))
            << bytes.toStdString();
        EXPECT_TRUE(bytes.endsWith("ECHO complate!"));
    }
    // Read as CP932 anyway, the last byte of Á (0x81) would take the closing
    // quote with it and leave "&echo" unquoted: a dot stands between.
    const QByteArray bytes = encodeRejoinScript(rejoinScriptText(QStringLiteral("/a/x&echo HI&Á"), 2));
    EXPECT_TRUE(bytes.contains("COPY /B \"x&echo HI&Á.\"+\"x&echo HI&Á.002\" \"x&echo HI&Á.\" >NUL")) << bytes.toStdString();
}

}  // namespace
}  // namespace sqs

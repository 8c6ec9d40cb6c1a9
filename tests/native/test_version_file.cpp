// The version shown in the title: first non-empty line of version.txt, its
// bytes read through the ANSI code page (1252 in the native build).
#include "app/core/platform.h"
#include "native/support/temp_dir.h"
#include "ui/core/VersionFile.h"

#include <gtest/gtest.h>

TEST(VersionFile, FirstNonEmptyLineThroughTheAnsiCodePage)
{
    kelvo::test::TempDir dir;
    const std::string path = dir.file("version.txt");
    kelvo::test::WriteFileBytes(path, "\r\n\r\nV2.34 b\xE9ta \x80\r\nsecond line\r\n");
    EXPECT_EQ(kelvo::ReadVersionFile(kelvo::Utf8ToWide(path)), L"V2.34 b\u00E9ta \u20AC")
        << "bytes of 0x80 and above are characters of the code page, not sign-extended";
    EXPECT_EQ(kelvo::ReadVersionFile(kelvo::Utf8ToWide(dir.file("missing.txt"))), L"");
}

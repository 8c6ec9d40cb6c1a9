// kelvo-dtcconv on small made-up code datafiles.
#include "native/support/temp_dir.h"
#include "tools/dtcconv/codes.h"

#include <gtest/gtest.h>

#include <cstdlib>

using dtcconv::CodeSet;
using dtcconv::ConvertDatafile;

namespace {

std::string Be32(int32_t v)
{
    const uint32_t u = static_cast<uint32_t>(v);
    return {static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8), static_cast<char>(u)};
}

struct Obj {
    std::string name, type, bytes;
    int32_t packed = -1;  // stored size; -1: the size of the bytes
};

std::string Datafile(const std::vector<Obj>& objs, const std::string& magic = "slh.")
{
    std::string f = magic + "ALL." + Be32(static_cast<int32_t>(objs.size()));
    for (const Obj& o : objs) {
        f += "propDATE" + Be32(9) + "3-12-2019";
        f += "propNAME" + Be32(static_cast<int32_t>(o.name.size())) + o.name;
        const int32_t size = static_cast<int32_t>(o.bytes.size());
        f += o.type + Be32(o.packed == -1 ? size : o.packed) + Be32(size) + o.bytes;
    }
    return f;
}

std::vector<Obj> Codes(const std::string& p, const std::string& c = "C0001\tGeneric\tTCS Valve\n",
                       const std::string& b = "B0001\tGeneric\tFrontal Stage 1\n",
                       const std::string& u = "U0100\tGeneric\tLost Communication With ECM/PCM\n")
{
    return {{"BCODES", "CDEF", b}, {"CCODES", "CDEF", c}, {"PCODES", "CDEF", p}, {"UCODES", "CDEF", u},
            {"GrabberInfo", "info", std::string("grabber\0", 8)}};
}

bool Refused(const std::string& file, std::string* error)
{
    CodeSet set;
    return !ConvertDatafile("codes.dat", file, &set, error);
}

} // namespace

TEST(DtcConvert, GenericCodesGroupedSortedOnePerCrLfLine)
{
    const std::string file = Datafile(Codes("P0135\tGeneric\tO2 Sensor Heater (Bank 1 Sensor 1)\n"
                                            "P0100\tAudi\tA maker's own text\n"
                                            "P0100\tGeneric\tMass or Volume Air Flow\n"
                                            "P1000\tJaguar\tnot kept\n"
                                            "P03O2\tLandrover\tnot a code, not kept\n"
                                            "\n"
                                            "P0001\tGeneric\tFuel Volume Regulator \xB0 Control\n"));
    CodeSet set;
    std::string error;
    ASSERT_TRUE(ConvertDatafile("codes.dat", file, &set, &error)) << error;
    EXPECT_EQ(dtcconv::FormatCodeFile(set),
              "P0001 Fuel Volume Regulator \xB0 Control\r\n"
              "P0100 Mass or Volume Air Flow\r\n"
              "P0135 O2 Sensor Heater (Bank 1 Sensor 1)\r\n"
              "C0001 TCS Valve\r\n"
              "B0001 Frontal Stage 1\r\n"
              "U0100 Lost Communication With ECM/PCM\r\n");
    EXPECT_EQ(set.count[0], 3);
    EXPECT_EQ(set.count[3], 1);
    EXPECT_TRUE(set.repairs.empty());
}

TEST(DtcConvert, TwoEntriesRunTogetherAreSplitAndReported)
{
    const std::string file = Datafile(Codes("P3497\tGeneric\tCylinder Deactivation SystemU0001\tHigh Speed CAN Communication Bus\n"));
    CodeSet set;
    std::string error;
    ASSERT_TRUE(ConvertDatafile("codes.dat", file, &set, &error)) << error;
    const std::string out = dtcconv::FormatCodeFile(set);
    EXPECT_NE(out.find("P3497 Cylinder Deactivation System\r\nC0001"), std::string::npos);
    EXPECT_NE(out.find("U0001 High Speed CAN Communication Bus\r\nU0100"), std::string::npos) << "in its own group";
    ASSERT_EQ(set.repairs.size(), 1u);
    EXPECT_NE(set.repairs[0].find("codes.dat: offset "), std::string::npos);
    EXPECT_NE(set.repairs[0].find("U0001"), std::string::npos);
}

TEST(DtcConvert, CompressedFilesAreRefusedNamingFileAndOffset)
{
    std::string error;
    EXPECT_TRUE(Refused(Datafile(Codes("P0001\tGeneric\tx\n"), "slh!"), &error));
    EXPECT_EQ(error.rfind("codes.dat: offset 0: compressed", 0), 0u) << error;

    std::vector<Obj> objs = Codes("P0001\tGeneric\tx\n");
    objs[2].packed = -static_cast<int32_t>(objs[2].bytes.size());
    EXPECT_TRUE(Refused(Datafile(objs), &error));
    EXPECT_NE(error.find("PCODES is compressed"), std::string::npos) << error;
}

TEST(DtcConvert, EveryTruncationIsRefusedWithoutReadingPastTheEnd)
{
    const std::string file = Datafile(Codes("P0001\tGeneric\tFuel\nP0100\tGeneric\tAir\n"));
    std::string error;
    ASSERT_FALSE(Refused(file, &error)) << error;
    for (size_t n = 0; n < file.size(); ++n) {
        // A copy of exactly n bytes, so the sanitizer sees any read beyond.
        std::unique_ptr<char[]> cut(new char[n ? n : 1]);
        std::copy(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n), cut.get());
        ASSERT_TRUE(Refused(std::string(cut.get(), n), &error)) << n;
        ASSERT_EQ(error.rfind("codes.dat: offset ", 0), 0u) << n << ": " << error;
    }
    EXPECT_TRUE(Refused(file + "x", &error)) << "bytes after the last object";
}

TEST(DtcConvert, UntrustworthyCodeLinesAreRefused)
{
    std::string error;
    EXPECT_TRUE(Refused(Datafile(Codes("P0100\tGeneric\tone\nP0100\tGeneric\ttwo\n")), &error));
    EXPECT_NE(error.find("P0100 is given twice"), std::string::npos) << error;
    EXPECT_TRUE(Refused(Datafile(Codes("P0100\tGeneric\tone\n", "P0100\tGeneric\ttwo\n")), &error)) << "across objects";
    EXPECT_TRUE(Refused(Datafile(Codes("P4100\tGeneric\tsecond digit above 3\n")), &error));
    EXPECT_NE(error.find("not an OBD-II code"), std::string::npos) << error;
    EXPECT_TRUE(Refused(Datafile(Codes("P01g0\tGeneric\tnot hexadecimal\n")), &error));
    EXPECT_TRUE(Refused(Datafile(Codes("P0100\tGeneric\tcontrol \x85 byte\n")), &error));
    EXPECT_NE(error.find("not ISO 8859-1 text"), std::string::npos) << error;
    EXPECT_TRUE(Refused(Datafile(Codes("P0100\tGeneric\t\n")), &error)) << "empty description";
    EXPECT_TRUE(Refused(Datafile(Codes("P0100 Generic only one field\n")), &error));
    std::vector<Obj> noU = Codes("P0100\tGeneric\tx\n");
    noU.erase(noU.begin() + 3);
    EXPECT_TRUE(Refused(Datafile(noU), &error));
    EXPECT_NE(error.find("no object UCODES"), std::string::npos) << error;
}

TEST(DtcConvert, ProgramWritesTheFileOrLeavesItAlone)
{
    kelvo::test::TempDir dir;
    kelvo::test::WriteFileBytes(dir.file("good.dat"), Datafile(Codes("P0100\tGeneric\tAir\n")));
    kelvo::test::WriteFileBytes(dir.file("bad.dat"), Datafile(Codes("P0100\tGeneric\tAir\n"), "slh!"));
    const std::string tool = KELVO_DTCCONV_PATH;
    const std::string out = dir.file("en_OBDII.txt");
    ASSERT_EQ(std::system((tool + " " + dir.file("good.dat") + " " + out + " >/dev/null").c_str()), 0);
    const std::string first = kelvo::test::ReadFileBytes(out);
    EXPECT_EQ(first.rfind("P0100 Air\r\n", 0), 0u);
    EXPECT_NE(std::system((tool + " " + dir.file("bad.dat") + " " + out + " 2>/dev/null").c_str()), 0);
    EXPECT_EQ(kelvo::test::ReadFileBytes(out), first);
    EXPECT_FALSE(kelvo::test::FileExists(out + ".tmp"));
}

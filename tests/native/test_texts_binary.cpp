// CBinary: sharing, copy on write, comparison, limits and the last-error value.
#include "app/core/binary.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CBinary B(const std::string& s) { return CBinary(s.data(), static_cast<int>(s.size())); }
std::string S(const CBinary& b)
{
    return b.IsEmpty() ? std::string() : std::string(reinterpret_cast<const char*>(b.GetData()), static_cast<size_t>(b.GetLength()));
}

TEST(Binary, CopiesShareUntilOneChanges)
{
    CBinary a = B("abcdef");
    CBinary b = a;
    EXPECT_EQ(a.ShareCount(), 2);
    EXPECT_EQ(a.GetData(), b.GetData());

    ASSERT_TRUE(b.SetAt(0, 'X'));
    EXPECT_EQ(S(a), "abcdef");
    EXPECT_EQ(S(b), "Xbcdef");
    EXPECT_EQ(a.ShareCount(), 1);
    EXPECT_EQ(b.ShareCount(), 1);

    CBinary c = a;
    ASSERT_TRUE(c.Append("gh", 2));
    EXPECT_EQ(S(a), "abcdef");
    EXPECT_EQ(S(c), "abcdefgh");

    {
        CBinary d = a;
        EXPECT_EQ(a.ShareCount(), 2);
    }
    EXPECT_EQ(a.ShareCount(), 1);
}

TEST(Binary, AppendAndAssignFromItself)
{
    CBinary a = B("0123456789");
    ASSERT_TRUE(a.Append(a));
    EXPECT_EQ(S(a), "01234567890123456789");
    // A source inside the value's own buffer survives the growth.
    ASSERT_TRUE(a.Append(a.GetData() + 5, 10));
    EXPECT_EQ(S(a), "012345678901234567895678901234");
    ASSERT_TRUE(a.Assign(a.GetData() + 2, 3));
    EXPECT_EQ(S(a), "234");
}

TEST(Binary, ComparesUnsignedThenShorterFirst)
{
    EXPECT_EQ(B("\x01\x02").Compare(B("\x01\x03")), -1);
    EXPECT_EQ(B("\x01\x03").Compare(B("\x01\x02")), 1);
    EXPECT_EQ(B("\x80").Compare(B("\x7f")), 1); // unsigned bytes
    EXPECT_EQ(B(std::string("\x01\x02", 2)).Compare(B(std::string("\x01\x02\x00", 3))), -1);
    EXPECT_EQ(B(std::string("\x01\x02\x00", 3)).Compare(B(std::string("\x01\x02", 2))), 1);
    EXPECT_EQ(B("abc").Compare(B("abc")), 0);
    EXPECT_EQ(CBinary().Compare(CBinary()), 0);
    EXPECT_EQ(CBinary().Compare(B("a")), -1);
    EXPECT_EQ(B("\xff").Compare(CBinary()), 1);
}

TEST(Binary, RejectsBadArgumentsAndKeepsItsValue)
{
    CBinary a = B("keep");
    SetBinaryLastError(kBinaryOk);
    EXPECT_FALSE(a.Assign(nullptr, 3));
    EXPECT_EQ(BinaryLastError(), kBinaryBadArgument);
    EXPECT_EQ(S(a), "keep");

    SetBinaryLastError(kBinaryOk);
    EXPECT_FALSE(a.Assign("x", -1));
    EXPECT_EQ(BinaryLastError(), kBinaryBadArgument);

    const std::string big(CBinary::kMaxLength + 1, 'z');
    SetBinaryLastError(kBinaryOk);
    EXPECT_FALSE(a.Assign(big.data(), static_cast<int>(big.size())));
    EXPECT_EQ(BinaryLastError(), kBinaryBadArgument);
    EXPECT_EQ(S(a), "keep");

    // The largest value fits; one byte more does not.
    CBinary full(big.data(), CBinary::kMaxLength);
    ASSERT_EQ(full.GetLength(), CBinary::kMaxLength);
    SetBinaryLastError(kBinaryOk);
    EXPECT_FALSE(full.Append("!", 1));
    EXPECT_EQ(BinaryLastError(), kBinaryBadArgument);
    EXPECT_EQ(full.GetLength(), CBinary::kMaxLength);

    SetBinaryLastError(kBinaryOk);
    EXPECT_FALSE(a.SetAt(4, 'x'));
    EXPECT_FALSE(a.SetAt(-1, 'x'));
    EXPECT_EQ(BinaryLastError(), kBinaryBadArgument);
    EXPECT_EQ(S(a), "keep");

    CBinary none(nullptr, 0);
    EXPECT_TRUE(none.IsEmpty());
}

TEST(Binary, GrowsAcrossManyAppends)
{
    CBinary a;
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        const char c = static_cast<char>('a' + i % 26);
        ASSERT_TRUE(a.Append(&c, 1));
        expected.push_back(c);
    }
    EXPECT_EQ(S(a), expected);
}

TEST(BinaryGroup, KeepsOrderAndSharesValues)
{
    CBinaryGroup g;
    CBinary first = B("one");
    g.Add(first);
    g.Add(B("two"));
    ASSERT_EQ(g.GetCount(), 2);
    EXPECT_EQ(S(g.GetAt(0)), "one");
    EXPECT_EQ(S(g.GetAt(1)), "two");
    EXPECT_EQ(first.ShareCount(), 2);
    g.Clear();
    EXPECT_TRUE(g.IsEmpty());
    EXPECT_EQ(first.ShareCount(), 1);
}

} // namespace

// Bookkeeping of running update workers: the busy state lasts while any runs,
// and each success gives back its own package.
#include "update/core/UpdateRuns.h"

#include <gtest/gtest.h>

using kelvo::UpdateRuns;

TEST(UpdateRuns, BusyUntilTheLastWorkerEndsAndEachSuccessNamesItsOwnPackage)
{
    UpdateRuns runs;
    EXPECT_FALSE(runs.Busy());
    const int first = runs.Start(L"QB345", L"V2.34");
    const int second = runs.Start(L"QB345", L"V2.35");
    EXPECT_NE(first, 0);
    EXPECT_NE(second, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(runs.Count(), 2);

    // The second fails at the port the first holds: the first still writes.
    EXPECT_TRUE(runs.Finish(second));
    EXPECT_TRUE(runs.Busy());

    std::wstring model, version;
    EXPECT_TRUE(runs.Finish(first, &model, &version));
    EXPECT_EQ(model, L"QB345");
    EXPECT_EQ(version, L"V2.34") << "the version of the row written, not of the last row ticked";
    EXPECT_FALSE(runs.Busy());
}

TEST(UpdateRuns, AnUnknownOrRepeatedEndChangesNothing)
{
    UpdateRuns runs;
    std::wstring model = L"unchanged";
    EXPECT_FALSE(runs.Finish(0, &model));
    EXPECT_FALSE(runs.Finish(42, &model));
    EXPECT_EQ(model, L"unchanged");
    const int id = runs.Start(L"QB345", L"V1.00");
    EXPECT_TRUE(runs.Finish(id));
    EXPECT_FALSE(runs.Finish(id)) << "a worker ends once";
    EXPECT_FALSE(runs.Busy());
    // A new worker never reuses the id of one that ended.
    EXPECT_NE(runs.Start(L"QB345", L"V1.01"), id);
}

#pragma once
// The update page as the catalogue check sees it: collects the rows and
// counts how often the local list's button is enabled.
#include "update/core/Catalogue.h"
#include "update/core/UpdateSink.h"

#include <vector>

namespace kelvo::test {

struct FakeCataloguePage : ICataloguePage {
    std::vector<PackageRow> rows;
    int enabled = 0;
    int ItemCount() override { return int(rows.size()); }
    void AddRow(const PackageRow& r) override { rows.push_back(r); }
    void EnableLocalButton() override { ++enabled; }
    // Boxes go where the tests watch them (SetMessageSink).
    int Tell(int number, unsigned flags) override { return ShowUpdateMessage(number, flags); }
};

} // namespace kelvo::test

#pragma once
// The update page as the catalogue check sees it: collects the rows and
// counts how often the local list's button is enabled.
#include "update/core/Catalogue.h"

#include <vector>

namespace kelvo::test {

struct FakeCataloguePage : ICataloguePage {
    std::vector<PackageRow> rows;
    int enabled = 0;
    int ItemCount() override { return int(rows.size()); }
    void AddRow(const PackageRow& r) override { rows.push_back(r); }
    void EnableLocalButton() override { ++enabled; }
};

} // namespace kelvo::test

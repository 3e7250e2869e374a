// The model table: the widest image of each of the 31 models, and the
// numbers around them that are not models.
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "settings/models.h"
#include "tests/settings/settings_support.h"

namespace {

const char unknown_width[] =
    "ERROR: zel Printer - Unknown printer model\n"
    "ERROR: Max. printing width is 0.0 now ...\n";

struct row {
    int32_t number;
    double width;
    const char *dpi;
};

// Widths as decimal literals: each must be the double nearest to it.
const row rows[] = {
    {132, 104.0, "/200"},  {133, 108.4, "/300"},  {143, 105.6, "/300"},  {146, 105.6, "/600"},
    {163, 162.6, "/300"},  {183, 216.0, "/300"},  {242, 104.0, "/200"},  {243, 108.4, "/300"},
    {323, 54.2, "/300"},   {342, 104.0, "/200"},  {343, 105.6, "/300"},  {346, 105.6, "/600"},
    {363, 162.6, "/300"},  {383, 216.0, "/300"},  {422, 104.0, "/200"},  {423, 105.6, "/300"},
    {426, 105.6, "/600"},  {1322, 52.0, "/200"},  {1323, 54.2, "/300"},  {3342, 104.0, "/200"},
    {3343, 108.4, "/300"}, {4422, 104.0, "/200"}, {4423, 108.4, "/300"}, {5431, 104.0, "/300"},
    {5432, 104.0, "/300"}, {5461, 105.6, "/600"}, {5462, 105.6, "/600"}, {5531, 104.0, "/300"},
    {5532, 104.0, "/300"}, {5561, 105.6, "/600"}, {5562, 105.6, "/600"},
};

TEST(ModelTable, EveryModelHasItsWidthAndNameQuietly)
{
    static_assert(sizeof rows / sizeof rows[0] == 31);
    for (const row &r : rows) {
        double width = -1.0;
        char name[64];
        std::memset(name, 'x', sizeof name);
        std::string err = capture_stderr([&] {
            width = getPrintingWidth(r.number);
            getPrinterModelName(name, r.number);
        });
        EXPECT_EQ(width, r.width) << r.number;
        EXPECT_EQ(err, "") << r.number;
        std::string n = name;
        EXPECT_LE(n.size(), 14u) << n;
        EXPECT_TRUE(n.ends_with(r.dpi)) << n;
        EXPECT_EQ(n.find("Ravi "), 0u) << n;
    }
}

TEST(ModelTable, TableHoldsExactlyTheModels)
{
    std::set<int32_t> expected, table;
    for (const row &r : rows)
        expected.insert(r.number);
    for (const printer_model &m : model_table)
        table.insert(m.number);
    EXPECT_EQ(table, expected);
}

TEST(ModelTable, NumbersThatAreNotModelsGiveZeroAndTwoLines)
{
    std::set<int32_t> models;
    for (const row &r : rows)
        models.insert(r.number);
    std::set<int32_t> others = {-1, 0, 1, 131, 999, 5430, 5433, 5460, 5463, 5530, 5533, 5560, 5563,
                                INT32_MIN, INT32_MAX};
    for (const row &r : rows)
        for (int32_t n : {r.number - 1, r.number + 1})
            if (!models.count(n))
                others.insert(n);
    for (int32_t n : others) {
        ASSERT_FALSE(models.count(n));
        double width = -1.0;
        EXPECT_EQ(capture_stderr([&] { width = getPrintingWidth(n); }), unknown_width) << n;
        EXPECT_EQ(width, 0.0) << n;
    }
    // The same answer every time.
    for (int i = 0; i < 2; i++)
        EXPECT_EQ(capture_stderr([] { getPrintingWidth(5433); }), unknown_width);
}

TEST(ModelTable, UnknownModelName)
{
    char name[22];
    std::string err = capture_stderr([&] { getPrinterModelName(name, 999); });
    EXPECT_EQ(err, "ERROR: zel Printer - Unknown printer model\n");
    EXPECT_STREQ(name, "Unknown printer model");
    err = capture_stderr([&] { getPrinterModelName(name, -1); });
    EXPECT_EQ(err, "ERROR: zel Printer - Unknown printer model\n");
}

}  // namespace

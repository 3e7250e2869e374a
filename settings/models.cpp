// The printer family.
#include "settings/models.h"

#include <cstdio>
#include <cstring>

const printer_model model_table[model_count] = {
    // number, printing width, name, dpi; one model a line, as the build
    // names the PPD files after the numbers it finds here (ppd/CMakeLists.txt)
    {132, 104.0, "Ravi 132/200", 200},
    {133, 108.4, "Ravi 133/300", 300},
    {143, 105.6, "Ravi 143/300", 300},
    {146, 105.6, "Ravi 146/600", 600},
    {163, 162.6, "Ravi 163/300", 300},
    {183, 216.0, "Ravi 183/300", 300},
    {242, 104.0, "Ravi 242/200", 200},
    {243, 108.4, "Ravi 243/300", 300},
    {323, 54.2, "Ravi 323/300", 300},
    {342, 104.0, "Ravi 342/200", 200},
    {343, 105.6, "Ravi 343/300", 300},
    {346, 105.6, "Ravi 346/600", 600},
    {363, 162.6, "Ravi 363/300", 300},
    {383, 216.0, "Ravi 383/300", 300},
    {422, 104.0, "Ravi 422/200", 200},
    {423, 105.6, "Ravi 423/300", 300},
    {426, 105.6, "Ravi 426/600", 600},
    {1322, 52.0, "Ravi 1322/200", 200},
    {1323, 54.2, "Ravi 1323/300", 300},
    {3342, 104.0, "Ravi 3342/200", 200},
    {3343, 108.4, "Ravi 3343/300", 300},
    {4422, 104.0, "Ravi 4422/200", 200},
    {4423, 108.4, "Ravi 4423/300", 300},
    {5431, 104.0, "Ravi 5431/300", 300},
    {5432, 104.0, "Ravi 5432/300", 300},
    {5461, 105.6, "Ravi 5461/600", 600},
    {5462, 105.6, "Ravi 5462/600", 600},
    {5531, 104.0, "Ravi 5531/300", 300},
    {5532, 104.0, "Ravi 5532/300", 300},
    {5561, 105.6, "Ravi 5561/600", 600},
    {5562, 105.6, "Ravi 5562/600", 600},
};

namespace {

const printer_model *find_model(int32_t model)
{
    for (const printer_model &row : model_table)
        if (row.number == model)
            return &row;
    return nullptr;
}

}  // namespace

double getPrintingWidth(int32_t model)
{
    if (const printer_model *row = find_model(model))
        return row->printwidth;
    std::fputs("ERROR: zel Printer - Unknown printer model\n", stderr);
    std::fputs("ERROR: Max. printing width is 0.0 now ...\n", stderr);
    return 0.0;
}

void getPrinterModelName(char *buffer, int32_t model)
{
    const printer_model *row = find_model(model);
    if (!row) {
        std::fputs("ERROR: zel Printer - Unknown printer model\n", stderr);
        std::strcpy(buffer, "Unknown printer model");
        return;
    }
    std::strcpy(buffer, row->name);
}

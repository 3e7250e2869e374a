// zaridiravid: the CUPS filter for our label printers.
#include "filter/filter.h"

int main(int argc, char *argv[])
{
    return filter_main(argc, argv);
}

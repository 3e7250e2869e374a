// Encoder throughput on realistic labels, in bytes of bitmap per second.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/pages.h"

namespace {

void encode_page(benchmark::State &state, page_kind kind, int dpi)
{
    bench_page page = make_page(kind, dpi);
    FILE *sink = std::fopen("/dev/null", "w");
    static char buffer[1 << 16];
    std::setvbuf(sink, buffer, _IOFBF, sizeof buffer);
    img_bitmap bitmap = page.bitmap();
    for (auto _ : state)
        write_img(bitmap, sink);
    std::fclose(sink);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.bitmap_bytes()));
}

void register_all()
{
    for (int dpi : {200, 300, 600})
        for (page_kind kind : {page_kind::text, page_kind::barcode, page_kind::blank, page_kind::dithered})
            benchmark::RegisterBenchmark(page_name(kind, dpi).c_str(), encode_page, kind, dpi);
}

}  // namespace

int main(int argc, char **argv)
{
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The built filter run as the scheduler runs it: its exit status, its
// messages and the printer stream, byte for byte. Each run goes through
// $ZARIDIRAVID_WRAPPER, so scripts/memcheck.sh can run them all under valgrind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <numeric>

#include "tests/support.h"

namespace {

const std::string filter = "$ZARIDIRAVID_WRAPPER '" ZARIDIRAVID "'", job_args = " 42 user title 1 ";
const std::string ready = "DEBUG: zel - Ready to print.\n";
const std::string label = "m m\r\nJ\r\nO \r\nH ,,\r\nS ;0.00,0.00,25.40,25.40,0.0\r\nI 0,0,0;cups\r\nA1\r\n";

// The filter's command line for a job of these pages, the stream cut short by `cut_bytes`.
std::string job(const std::vector<test_page> &pages, size_t cut_bytes = 0, const std::string &options = "''")
{
    const std::string raster = scratch_file();
    write_raster(raster, pages, cut_bytes);
    return filter + job_args + options + " " + raster;
}

void expect_run(const run_result &r, int status, const std::string &err, const std::string &out)
{
    EXPECT_EQ(r.status, status) << err;
    EXPECT_EQ(r.err, err);
    EXPECT_TRUE(r.out == out) << r.out.size() << " bytes on standard output, expected " << out.size();
}

// A page on a one-inch-square label, "25.40" mm in the S line.
test_page page_of(unsigned width, unsigned height, bytes rows = {}, unsigned copies = 1)
{
    return {.width = width, .height = height, .page_size = {72, 72}, .num_copies = copies, .rows = std::move(rows)};
}

// What the filter writes for the page (reference encoder), or for its first `rows_read` rows and the rest blank.
std::string expected_page(const test_page &page, size_t rows_read = 0, const std::string &block = label)
{
    const size_t len = page.line_bytes();
    bytes rows = page.rows;
    rows.resize(len * page.height);
    std::fill(rows.begin() + static_cast<long>(len * (rows_read ? rows_read : page.height)), rows.end(), 0);
    const int width = static_cast<int>(page.width);
    const std::string image = text_of(oracle_img(width, static_cast<int>(page.height), bitmap_of(width, rows).data()));
    auto word = [](size_t v) { return std::string{static_cast<char>(v >> 8), static_cast<char>(v)}; };
    return "e img;*\rd IMG;cups\r\x1b:" + text_of(hex("00 01 00 08 00 01 00 01 00 53 00 53")) + word(len * 8) +
           word(page.height) + image + "\x1b" "end-of-data" + block;
}

// Command lines, jobs of pages the printer can't take, pages written whole, pages cut short, job options, and
// output that can't be delivered.
TEST(Filter, Runs)
{
    const std::string usage = "ERROR: zel - zaridiravid job-id user title copies options [file]\n";
    const std::string refused = "ERROR: zel - Page 1 refused: ";
    const test_page good = page_of(16, 2);
    // 64 MiB of address space, half the bitmap; a sanitized or valgrind-run filter can't even start in it.
    const test_page huge = {.width = 32767, .height = 32767, .header_only = true};
    const std::string no_memory = "ulimit -v 65536; " + job({huge, good});
    const bool wrapped = run("ulimit -v 65536; " + filter + " --version").status != 0;

    // Page 1 is the worked 16 x 2 blank page; no copy count gives A1, 3 copies A3. Page 3 can't be printed: the
    // job ends there, and succeeds.
    std::mt19937 gen(2);
    test_page second = page_of(100, 30, biased_rows(gen, 13, 30), 3), grey = page_of(16, 2);
    second.page_size[1] = 142;
    grey.bits_per_pixel = 8;
    const std::string first = text_of(hex("65 20 69 6D 67 3B 2A 0D  64 20 49 4D 47 3B 63 75 70 73 0D  1B 3A "
                                          "00 01 00 08 00 01 00 01 00 53 00 53 00 10 00 02  00 00 FF 02 02 "
                                          "1B 65 6E 64 2D 6F 66 2D 64 61 74 61"));
    const std::string label2 = "m m\r\nJ\r\nO \r\nH ,,\r\nS ;0.00,0.00,50.09,50.09,0.0\r\nI 0,0,0;cups\r\nA3\r\n";

    // The second page loses its last 60 rows: they come out blank, though the black first page left its bitmap.
    const test_page black = page_of(64, 100, bytes(800, 0xFF)), cut = page_of(64, 100, biased_rows(gen, 8, 100));

    // The test queue's PPD and job options: options lost, lines missing or out of order, a "%" taken as a format,
    // the copy count signed or 0 written.
    const std::string block = "m m\r\nJ\r\nO D\r\nH 4,%%s,T\r\nS l1;0.00,0.00,50.09,53.09,99.8\r\nI 0,0,0;cups\r\n"
                              "C 5,+0.0\r\nP -2.5\r\n";
    std::vector<test_page> copies;
    std::string with_options;
    for (auto [n, a] : {std::pair{0u, "A1"}, {1u, "A1"}, {3u, "A3"}, {4294967295u, "A4294967295"}}) {
        copies.push_back({.page_size = {283, 142}, .num_copies = n});
        with_options += expected_page(copies.back(), 0, block + a + "\r\n");
    }

    // A full disk, or a printer that has hung up before the first byte: an error, for a page that fits the output
    // buffer and one that doesn't (rows that are bit strings all through: 25 kB of output).
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    const std::string full = " >/dev/full", hung_up = " >&" + std::to_string(ends[1]);
    const std::string unwritten = "PAGE: 1 1\nERROR: zel - Unable to write to the printer - ";
    bytes strings(250 * 100);
    std::iota(strings.begin(), strings.end(), 0);
    const test_page wide = page_of(2000, 100, strings);

    const std::tuple<std::string, int, std::string, std::string> cases[] = {
        {filter + " --version", 0, "zaridiravid v1.12.2 2007-03-05\n", ""},
        {filter + " --help", 1, "", ""},
        {filter + " 42 user title 1", 1, usage, ""},
        {filter + job_args + "'' a b", 1, usage, ""},
        {filter + job_args + "'' /nonexistent/job.ras", 1,
         "ERROR: zel - Unable to open raster file - : No such file or directory\n", ""},
        {filter + job_args + "''", 1, "ERROR: zel - No pages found!\n", ""},  // an empty standard input
        {job({{.bits_per_pixel = 8}, good}), 1, refused + "8 bits per pixel, the printer takes 1\n", ""},
        {job({{.width = 32768}, good}), 1, refused + "32768 pixels wide, more than 32767\n", ""},
        {job({{.width = 8, .height = 32768}, good}), 1, refused + "32768 pixels high, more than 32767\n", ""},
        {job({{.bytes_per_line = 4}, good}), 1, refused + "4 bytes per line for 16 pixels, expected 2\n", ""},
        {no_memory, 1, refused + "no memory for its bitmap\n", ""},
        {job({page_of(16, 2, {}, 0), second, grey, good}), 0,
         "PAGE: 1 1\nPAGE: 2 1\nERROR: zel - Page 3 refused: 8 bits per pixel, the printer takes 1\n" + ready,
         first + label + expected_page(second, 0, label2)},
        {job({black, cut}, 60 * 8), 0, "PAGE: 1 1\nPAGE: 2 1\n" + ready, expected_page(black) + expected_page(cut, 40)},
        {"PPD=" TEST_PPD " " + job(copies, 0, "'Heat=Pct Cutter=True PeelOff=True cPeelOffDir=PODIRM "
                                             "cPeelOffVKVersatz=2 cPeelOffNKVersatz=5'"),
         0, "PAGE: 1 1\nPAGE: 2 1\nPAGE: 3 1\nPAGE: 4 1\n" + ready, with_options},
        {job({good}) + full, 1, unwritten + "No space left on device\n", ""},
        {job({wide}) + full, 1, unwritten + "No space left on device\n", ""},
        {job({good}) + hung_up, 1, unwritten + "Broken pipe\n", ""},
        {job({wide}) + hung_up, 1, unwritten + "Broken pipe\n", ""},
    };
    for (const auto &[command, status, err, out] : cases)
        if (!wrapped || command != no_memory)
            expect_run(run(command), status, err, out);
    close(ends[1]);
}

// Once the program sleeps with SIGTERM in the mask named ("SigIgn", "SigCgt"), within 20 s, sends it SIGTERM.
bool sigterm_when_asleep(pid_t pid, const std::string &mask)
{
    for (int i = 0; i < 4000; i++, usleep(5000)) {
        const std::string status = text_of(read_file("/proc/" + std::to_string(pid) + "/status"));
        const size_t state = status.find("\nState:\t"), set = status.find("\n" + mask + ":\t");
        if (state != std::string::npos && set != std::string::npos && status[state + 8] == 'S' &&
            (std::stoull(status.substr(set + mask.size() + 3), nullptr, 16) >> (SIGTERM - 1) & 1))
            return kill(pid, SIGTERM) == 0;
    }
    return false;
}

// SIGTERM while the filter waits for the next page is ignored. SIGTERM while it waits for a row: that row still
// arrives, the page is written whole with its label block, no further page is read, and the job succeeds.
TEST(Filter, Sigterm)
{
    std::mt19937 gen(5);
    const test_page first = page_of(64, 100, biased_rows(gen, 8, 100));
    const test_page second = page_of(64, 100, biased_rows(gen, 8, 100));
    const std::string raster = scratch_file(), out = scratch_file(), err = scratch_file();
    write_raster(raster, {first, second, first});
    const std::string stream = text_of(read_file(raster));
    const size_t page = 1796 + 800, cut = 4 + page + 1796 + 30 * 8;  // a sync word, then headers and rows
    ASSERT_EQ(stream.size(), 4 + 3 * page);
    int ends[2];  // a socket, whose writer gets no SIGPIPE
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    const pid_t pid = fork();
    if (pid == 0) {  // the filter, reading the socket, for at most 60 s
        dup2(ends[0], 0);
        dup2(open(out.c_str(), O_WRONLY | O_CREAT, 0644), 1);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT, 0644), 2);
        alarm(60);
        execl("/bin/sh", "sh", "-c", ("exec " + filter + job_args + "''").c_str(), nullptr);
        _exit(127);
    }
    send(ends[1], stream.data(), 4 + page, MSG_NOSIGNAL);
    EXPECT_TRUE(sigterm_when_asleep(pid, "SigIgn"));
    send(ends[1], stream.data() + 4 + page, cut - 4 - page, MSG_NOSIGNAL);
    EXPECT_TRUE(sigterm_when_asleep(pid, "SigCgt"));
    send(ends[1], stream.data() + cut, stream.size() - cut, MSG_NOSIGNAL);
    close(ends[0]);
    close(ends[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    expect_run(finished(status, out, err), 0, "PAGE: 1 1\nPAGE: 2 1\nDEBUG: zel - Job cancelled ... \n" + ready,
               expected_page(first) + expected_page(second, 31));
}

}  // namespace

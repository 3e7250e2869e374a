// The built filter run as the scheduler runs it (no PPD), and netpbm's gemtopnm reading the images it sends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/img/img_oracle.h"
#include "tests/raster_writer.h"

namespace {

const std::string filter = "'" ZARIDIRAVID "'", job_args = " 42 user title 1 ''";
const std::string ready = "DEBUG: zel - Ready to print.\n";
const std::string label = "m m\r\nJ\r\nO \r\nH ,,\r\nS ;0.00,0.00,25.40,25.40,0.0\r\nI 0,0,0;cups\r\nA1\r\n";

struct temp_dir {
    std::string path = mkdtemp(std::string("/tmp/zaridiravid-test-XXXXXX").data());
    int count = 0;
    std::string file() { return path + "/" + std::to_string(count++); }
    ~temp_dir() { std::filesystem::remove_all(path); }
} temp;

std::string text(const std::string &path)
{
    const bytes b = read_file(path);
    return {b.begin(), b.end()};
}

struct result {
    int status;  // exit status, or 128 + the signal that ended it
    std::string out, err;
};
result collect(int status, const std::string &out, const std::string &err)
{
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), text(out), text(err)};
}

// Runs a shell command line (at most 20 s of CPU time, no "PPD", standard input from /dev/null), its output to
// files unless it redirects them.
result run(const std::string &command)
{
    const std::string out = temp.file(), err = temp.file();
    const std::string script = "exec </dev/null >" + out + " 2>" + err + "; unset PPD; ulimit -t 20; " + command;
    return collect(std::system(script.c_str()), out, err);
}

// The filter's command line for a job of these pages, the stream cut short by `cut_bytes`.
std::string job(const std::vector<test_page> &pages, size_t cut_bytes = 0)
{
    const std::string raster = temp.file();
    write_raster(raster, pages, cut_bytes);
    return filter + job_args + " " + raster;
}

void expect_run(const result &r, int status, const std::string &err, const std::string &out)
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
    const size_t len = page.line_bytes(), stride = (len + 1) / 2 * 2;
    bytes img = oracle_header(static_cast<uint32_t>(len * 8), page.height), data(stride * page.height);
    for (size_t r = 0; r < (rows_read ? rows_read : page.height); r++)
        std::copy_n(&page.rows[r * len], len, &data[r * stride]);
    const bytes lines = oracle_img(static_cast<int>(page.width), static_cast<int>(page.height), data.data());
    img.insert(img.end(), lines.begin(), lines.end());
    return "e img;*\rd IMG;cups\r\x1b:" + std::string(img.begin(), img.end()) + "\x1b" "end-of-data" + block;
}

// Command lines, jobs without pages, and pages the printer can't take: nothing is printed.
TEST(Filter, JobsThatPrintNothing)
{
    const std::string usage = "ERROR: zel - zaridiravid job-id user title copies options [file]\n";
    const std::string refused = "ERROR: zel - Page 1 refused: ";
    const test_page good = page_of(16, 2);
    // 64 MiB of address space, half the bitmap; a sanitized filter can't even start in it.
    const test_page huge = {.width = 32767, .height = 32767, .header_only = true};
    const std::string no_memory = "ulimit -v 65536; " + job({huge, good});
    const bool sanitized = run("ulimit -v 65536; " + filter + " --version").status != 0;
    const std::tuple<std::string, int, std::string> cases[] = {
        {filter + " --version", 0, "zaridiravid v1.12.2 2007-03-05\n"},
        {filter + " --help", 1, ""},
        {filter + " 42 user title 1", 1, usage},
        {filter + job_args + " a b", 1, usage},
        {filter + job_args + " /nonexistent/job.ras", 1,
         "ERROR: zel - Unable to open raster file - : No such file or directory\n"},
        {filter + job_args, 1, "ERROR: zel - No pages found!\n"},  // an empty standard input
        {job({{.bits_per_pixel = 8}, good}), 1, refused + "8 bits per pixel, the printer takes 1\n"},
        {job({{.width = 32768}, good}), 1, refused + "32768 pixels wide, more than 32767\n"},
        {job({{.width = 8, .height = 32768}, good}), 1, refused + "32768 pixels high, more than 32767\n"},
        {job({{.bytes_per_line = 4}, good}), 1, refused + "4 bytes per line for 16 pixels, expected 2\n"},
        {no_memory, 1, refused + "no memory for its bitmap\n"},
    };
    for (const auto &[command, status, err] : cases)
        if (!sanitized || command != no_memory)
            expect_run(run(command), status, err, "");
}

// Page 1 is the worked 16 x 2 blank page, byte for byte; no copy count gives A1, 3 copies A3. Page 3 can't be
// printed: the job ends there, and succeeds.
TEST(Filter, TwoPagesByteForByte)
{
    std::mt19937 gen(2);
    test_page second = page_of(100, 30, biased_rows(gen, 13, 30), 3), grey = page_of(16, 2);
    second.page_size[1] = 142;
    grey.bits_per_pixel = 8;
    const bytes first = hex("65 20 69 6D 67 3B 2A 0D  64 20 49 4D 47 3B 63 75 70 73 0D  1B 3A "
                            "00 01 00 08 00 01 00 01 00 53 00 53 00 10 00 02  00 00 FF 02 02 "
                            "1B 65 6E 64 2D 6F 66 2D 64 61 74 61");
    const std::string label2 = "m m\r\nJ\r\nO \r\nH ,,\r\nS ;0.00,0.00,50.09,50.09,0.0\r\nI 0,0,0;cups\r\nA3\r\n";
    expect_run(run(job({page_of(16, 2, {}, 0), second, grey, page_of(16, 2)})), 0,
               "PAGE: 1 1\nPAGE: 2 1\nERROR: zel - Page 3 refused: 8 bits per pixel, the printer takes 1\n" + ready,
               std::string(first.begin(), first.end()) + label + expected_page(second, 0, label2));
}

// The second page loses its last 60 rows: they come out blank, though the black first page left its bitmap behind.
TEST(Filter, StreamCutMidPage)
{
    std::mt19937 gen(4);
    const test_page black = page_of(64, 100, bytes(800, 0xFF)), cut = page_of(64, 100, biased_rows(gen, 8, 100));
    expect_run(run(job({black, cut}, 60 * 8)), 0, "PAGE: 1 1\nPAGE: 2 1\n" + ready,
               expected_page(black) + expected_page(cut, 40));
}

// Once the program sleeps with SIGTERM in the mask named ("SigIgn", "SigCgt"), within 5 s, sends it SIGTERM.
bool sigterm_when_asleep(pid_t pid, const std::string &mask)
{
    for (int i = 0; i < 1000; i++, usleep(5000)) {
        const std::string status = text("/proc/" + std::to_string(pid) + "/status");
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
    const std::string raster = temp.file(), out = temp.file(), err = temp.file();
    write_raster(raster, {first, second, first});
    const std::string stream = text(raster);
    const size_t page = 1796 + 800, cut = 4 + page + 1796 + 30 * 8;  // a sync word, then headers and rows
    ASSERT_EQ(stream.size(), 4 + 3 * page);
    int ends[2];  // a socket, whose writer gets no SIGPIPE
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    const pid_t pid = fork();
    if (pid == 0) {  // the filter, reading the socket, for at most 20 s
        dup2(ends[0], 0);
        dup2(open(out.c_str(), O_WRONLY | O_CREAT, 0644), 1);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT, 0644), 2);
        alarm(20);
        execl(ZARIDIRAVID, ZARIDIRAVID, "42", "user", "title", "1", "", nullptr);
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
    expect_run(collect(status, out, err), 0, "PAGE: 1 1\nPAGE: 2 1\nDEBUG: zel - Job cancelled ... \n" + ready,
               expected_page(first) + expected_page(second, 31));
}

// Output that can't be delivered is an error, for a page that fits the output buffer and one that doesn't.
TEST(Filter, FullDiskAndClosedPipe)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);  // the printer has hung up before the first byte
    const std::string error = "PAGE: 1 1\nERROR: zel - Unable to write to the printer - ";
    const std::pair<std::string, std::string> outputs[] = {{" >/dev/full", "No space left on device\n"},
                                                           {" >&" + std::to_string(ends[1]), "Broken pipe\n"}};
    for (const test_page &page : {page_of(16, 2), page_of(2000, 100, random_rows(2000, 100, 5))})
        for (const auto &[redirect, why] : outputs)
            expect_run(run(job({page}) + redirect), 1, error + why, "");
    close(ends[1]);
}

// gemtopnm decodes the filter's image (it reads no further) to exactly the page's rows: random pages, and a
// 50 x 30 mm label at 300 dpi that CUPS rendered from its test page.
TEST(Filter, GemtopnmReadsTheImages)
{
    auto expect_decoded = [](const std::string &command, const test_page &page) {
        const std::string pbm = "P4\n" + std::to_string(page.line_bytes() * 8) + " " + std::to_string(page.height) +
                                "\n" + std::string(page.rows.begin(), page.rows.end());
        EXPECT_TRUE(run(command + " | tail -c +22 | '" GEMTOPNM "'").out == pbm) << page.width << " x " << page.height;
    };
    std::mt19937 gen(6);
    for (const auto &[w, h] : {std::pair{1u, 1u}, {13u, 7u}, {16u, 300u}, {801u, 260u}, {2400u, 120u}}) {
        const test_page page = page_of(w, h, gen() % 2 ? random_rows(w, h, gen()) : biased_rows(gen, (w + 7) / 8, h));
        expect_decoded(job({page}), page);
    }
    const std::string rendered = temp.file();
    run("'" CUPSFILTER "' -p '" TEST_PPD "' -m application/vnd.cups-raster "
        "/usr/share/cups/data/default-testpage.pdf >" + rendered);
    const std::string raster = text(rendered);  // uncompressed: sync word, header, 354 rows of 74 bytes
    ASSERT_EQ(raster.size(), 4 + 1796 + 354 * 74u);
    EXPECT_LT(std::count(raster.begin() + 1800, raster.end(), 0), 354 * 74 - 1000);  // something is drawn
    expect_decoded(filter + job_args + " " + rendered, page_of(592, 354, bytes(raster.begin() + 1800, raster.end())));
}

}  // namespace

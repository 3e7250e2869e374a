// Cancelling a job with SIGTERM: the handler itself, and the filter fed
// through a pipe so that the signal lands exactly while a page's rows are
// read, between two pages, or before the first page.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <thread>
#include <type_traits>

#include "filter/job.h"
#include "tests/filter/filter_run.h"

namespace {

static_assert(std::is_same_v<decltype(cancelled), volatile sig_atomic_t>);

sighandler_t sigterm_handler()
{
    struct sigaction now = {};
    sigaction(SIGTERM, nullptr, &now);
    return now.sa_handler;
}

TEST(CancelJob, HandlerWritesDirectlyAndSetsTheFlag)
{
    // stderr fully buffered and fd 2 on a pipe: only a write(2) of its own
    // gets the message out while the handler runs.
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_NONBLOCK), 0);
    const int saved = dup(STDERR_FILENO);
    dup2(ends[1], STDERR_FILENO);
    static char buffer[BUFSIZ];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);

    cups_page_header_t header = {};
    cancelled = 0;
    startPage(&header);
    EXPECT_EQ(sigterm_handler(), &cancelJob);
    raise(SIGTERM);
    EXPECT_EQ(cancelled, 1);
    char message[64] = {};
    EXPECT_EQ(read(ends[0], message, sizeof message), 32);
    EXPECT_STREQ(message, "DEBUG: zel - Job cancelled ... \n");

    FILE *sink = std::fopen("/dev/null", "w");
    printpage(&header, sink);
    std::fclose(sink);
    EXPECT_EQ(sigterm_handler(), SIG_IGN);
    raise(SIGTERM);  // ignored

    dup2(saved, STDERR_FILENO);
    close(saved);
    close(ends[0]);
    close(ends[1]);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    signal(SIGTERM, SIG_DFL);
    cancelled = 0;
}

// SIGTERM's bit in the "SigCgt:" or "SigIgn:" mask of /proc/PID/status.
bool sigterm_in(pid_t pid, const std::string &mask)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(mask + ":", 0) == 0)
            return (std::stoull(line.substr(mask.size() + 1), nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

char process_state(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t paren = all.rfind(')');
    return paren == std::string::npos || paren + 2 >= all.size() ? '?' : all[paren + 2];
}

enum class sigterm_state { default_action, caught, ignored };

// A filter reading from a pipe that the test writes in pieces.
struct piped_filter {
    int ends[2] = {-1, -1};
    process proc;

    piped_filter()
    {
        signal(SIGPIPE, SIG_IGN);  // the filter may leave before all is fed
        if (pipe(ends) != 0)
            throw std::runtime_error("pipe");
        proc = start_process({.argv = filter_argv(), .stdin_fd = ends[0]});
    }
    ~piped_filter()
    {
        if (proc.pid > 0) {  // a failed check left it running
            kill(proc.pid, SIGKILL);
            wait_process(proc);
        }
        close(ends[0]);
        if (ends[1] >= 0)
            close(ends[1]);
    }
    void feed(const bytes &data, size_t from, size_t to)
    {
        for (size_t at = from; at < to;) {
            ssize_t n = write(ends[1], data.data() + at, to - at);
            if (n <= 0)
                return;  // the filter is gone
            at += static_cast<size_t>(n);
        }
    }
    // Waits (at most 5 s) until the filter has drained the pipe and sleeps in
    // a read, with SIGTERM in the given state.
    bool blocked_reading(sigterm_state want)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            int unread = -1;
            ioctl(ends[0], FIONREAD, &unread);
            const sigterm_state now = sigterm_in(proc.pid, "SigCgt")   ? sigterm_state::caught
                                      : sigterm_in(proc.pid, "SigIgn") ? sigterm_state::ignored
                                                                       : sigterm_state::default_action;
            if (unread == 0 && now == want && process_state(proc.pid) == 'S')
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    process_result finish()
    {
        close(ends[1]);
        ends[1] = -1;
        return wait_process(proc);
    }
};

struct two_pages {
    test_page first, second;
    bytes stream;
    size_t header = 0, first_end = 0;  // offsets: end of page 1's header, end of page 1
};

two_pages make_pages()
{
    std::mt19937 gen(5);
    two_pages p;
    p.first.width = 64;
    p.first.height = 100;
    p.first.rows = biased_rows(gen, 8, 100);
    p.second.width = 40;
    p.second.height = 5;
    p.second.rows = biased_rows(gen, 5, 5);
    p.first.page_size[0] = p.first.page_size[1] = p.second.page_size[0] = p.second.page_size[1] = 72;
    const std::string path = temp_path();
    write_raster(path, {p.first, p.second});
    p.stream = read_file(path);
    // Uncompressed: a 4-byte sync word, then per page a 1796-byte header and the rows.
    p.header = 4 + 1796;
    p.first_end = p.header + 800;
    if (p.stream.size() != p.first_end + 1796 + 25)
        throw std::runtime_error("unexpected raster layout");
    return p;
}

TEST(FilterCancel, SigtermWhileRowsAreReadFinishesThatPageOnly)
{
    two_pages p = make_pages();
    piped_filter filter;
    filter.feed(p.stream, 0, p.header + 30 * 8);
    ASSERT_TRUE(filter.blocked_reading(sigterm_state::caught));
    kill(filter.proc.pid, SIGTERM);
    filter.feed(p.stream, p.header + 30 * 8, p.stream.size());
    process_result r = filter.finish();

    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "PAGE: 1 1\nDEBUG: zel - Job cancelled ... \nDEBUG: zel - Ready to print.\n");
    // The row being waited for still arrives; reading stops after it.
    bytes rows_read(p.first.rows.begin(), p.first.rows.begin() + 31 * 8);
    rows_read.resize(800, 0x00);
    EXPECT_TRUE(same_bytes(r.out, expected_page(p.first, rows_read, plain_label("25.40", 1))));
}

TEST(FilterCancel, SigtermBetweenPagesIsIgnored)
{
    two_pages p = make_pages();
    piped_filter filter;
    filter.feed(p.stream, 0, p.first_end);
    ASSERT_TRUE(filter.blocked_reading(sigterm_state::ignored));
    kill(filter.proc.pid, SIGTERM);
    filter.feed(p.stream, p.first_end, p.stream.size());
    process_result r = filter.finish();

    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "PAGE: 1 1\nPAGE: 2 1\nDEBUG: zel - Ready to print.\n");
    EXPECT_TRUE(same_bytes(r.out, expected_page(p.first, p.first.rows, plain_label("25.40", 1)) +
                         expected_page(p.second, p.second.rows, plain_label("25.40", 1))));
}

TEST(FilterCancel, SigtermBeforeTheFirstPageEndsTheFilter)
{
    piped_filter filter;
    ASSERT_TRUE(filter.blocked_reading(sigterm_state::default_action));
    kill(filter.proc.pid, SIGTERM);
    process_result r = filter.finish();
    EXPECT_EQ(r.term_signal, SIGTERM);
    EXPECT_EQ(r.out, "");
}

}  // namespace

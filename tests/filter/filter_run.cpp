// Child processes for the filter's tests, and the filter's output in pages.
#include "tests/filter/filter_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char **environ;

namespace {

struct temp_files {
    std::vector<std::string> paths;
    ~temp_files()
    {
        for (const std::string &p : paths)
            unlink(p.c_str());
    }
} temps;

std::string slurp(const std::string &path)
{
    bytes b = read_file(path);
    return {b.begin(), b.end()};
}

}  // namespace

std::string temp_path()
{
    const char *dir = std::getenv("TMPDIR");
    std::string name = std::string(dir && *dir ? dir : "/tmp") + "/zaridiravid-test-XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    close(fd);
    temps.paths.push_back(name);
    return name;
}

process start_process(const process_setup &setup)
{
    process proc;
    proc.out_path = temp_path();
    proc.err_path = temp_path();

    // Everything the child needs is prepared before fork.
    std::vector<char *> argv;
    for (const std::string &a : setup.argv)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (char **e = environ; *e; e++)
        if (std::strncmp(*e, "PPD=", 4) != 0)
            envp.push_back(*e);
    envp.push_back(nullptr);
    const std::string &out = setup.stdout_path.empty() ? proc.out_path : setup.stdout_path;

    proc.pid = fork();
    if (proc.pid < 0)
        throw std::runtime_error("fork failed");
    if (proc.pid == 0) {
        int in = setup.stdin_fd >= 0 ? setup.stdin_fd : open(setup.stdin_path.c_str(), O_RDONLY);
        int o = setup.stdout_fd >= 0 ? setup.stdout_fd : open(out.c_str(), O_WRONLY | O_TRUNC);
        int e = open(proc.err_path.c_str(), O_WRONLY | O_TRUNC);
        if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0)
            _exit(126);
        for (int fd = 3; fd < 256; fd++)
            close(fd);
        if (setup.address_space) {
            struct rlimit limit = {setup.address_space, setup.address_space};
            setrlimit(RLIMIT_AS, &limit);
        }
        signal(SIGTERM, SIG_DFL);
        signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return proc;
}

process_result wait_process(process &proc, double seconds)
{
    process_result result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (waitpid(proc.pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(proc.pid, SIGKILL);
            waitpid(proc.pid, &status, 0);
            result.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.term_signal = WTERMSIG(status);
    result.out = slurp(proc.out_path);
    result.err = slurp(proc.err_path);
    proc.pid = -1;
    return result;
}

process_result run_process(const process_setup &setup, double seconds)
{
    process proc = start_process(setup);
    return wait_process(proc, seconds);
}

std::vector<std::string> filter_argv(const std::string &file)
{
    std::vector<std::string> argv = {ZARIDIRAVID, "42", "user", "title", "1", ""};
    if (!file.empty())
        argv.push_back(file);
    return argv;
}

std::string expected_page(const test_page &page, const bytes &rows, const std::string &label)
{
    const size_t bpl = page.line_bytes();
    std::string out = "e img;*\rd IMG;cups\r\x1b:";
    const bytes header = oracle_header(static_cast<uint32_t>(bpl * 8), page.height);
    const bytes data = to_stride(rows, bpl, page.height);
    const bytes lines = oracle_img(static_cast<int>(page.width), static_cast<int>(page.height), data.data());
    out.append(header.begin(), header.end());
    out.append(lines.begin(), lines.end());
    return out + "\x1b" "end-of-data" + label;
}

::testing::AssertionResult same_bytes(const std::string &actual, const std::string &expected)
{
    if (actual == expected)
        return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        at++;
    auto around = [at](const std::string &s) {
        std::string text;
        char byte[4];
        for (size_t i = at > 8 ? at - 8 : 0; i < s.size() && i < at + 16; i++) {
            std::snprintf(byte, sizeof byte, i == at ? "[%02X" : " %02X", static_cast<unsigned char>(s[i]));
            text += byte;
        }
        return text;
    };
    return ::testing::AssertionFailure() << actual.size() << " bytes where " << expected.size()
                                         << " were expected; first difference at byte " << at << "\n  actual:   "
                                         << around(actual) << "\n  expected: " << around(expected);
}

std::string plain_label(const std::string &height_mm, unsigned copies)
{
    return "m m\r\nJ\r\nO \r\nH ,,\r\nS ;0.00,0.00," + height_mm + "," + height_mm + ",0.0\r\nI 0,0,0;cups\r\nA" +
           std::to_string(copies) + "\r\n";
}

std::string split_output(const std::string &out, std::vector<output_page> &pages)
{
    static const std::string preamble = "e img;*\rd IMG;cups\r\x1b:";
    static const std::string end_of_data = "\x1b" "end-of-data";
    pages.clear();
    for (size_t at = 0; at < out.size();) {
        const std::string where = "page " + std::to_string(pages.size() + 1) + ": ";
        if (out.compare(at, preamble.size(), preamble) != 0)
            return where + "no image download preamble";
        output_page page;
        const size_t img = at + preamble.size();
        std::string why = img_decode(out, img, page.image);
        if (!why.empty())
            return where + why;
        page.img = out.substr(img, page.image.end - img);
        at = page.image.end;
        if (out.compare(at, end_of_data.size(), end_of_data) != 0)
            return where + "no end-of-data after the scan lines";
        at += end_of_data.size();
        const size_t label = at;
        for (;;) {  // CR LF lines up to the copy count
            const size_t eol = out.find("\r\n", at);
            if (eol == std::string::npos)
                return where + "label job block without its A line";
            const bool last = out[at] == 'A';
            at = eol + 2;
            if (last)
                break;
        }
        page.label = out.substr(label, at - label);
        pages.push_back(std::move(page));
    }
    return "";
}

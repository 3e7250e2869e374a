// Helpers for the settings, label block and dump tests: standard error
// capture, fresh option records, and PPD variants of the test queue.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "settings/options.h"

// Runs `f` with file descriptor 2 sent to a temporary file; returns the bytes.
template <class F>
std::string capture_stderr(F &&f)
{
    std::fflush(stderr);
    FILE *tmp = std::tmpfile();
    if (!tmp)
        throw std::runtime_error("no temporary file");
    int saved = dup(2);
    dup2(fileno(tmp), 2);
    f();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    std::rewind(tmp);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, tmp)) > 0;)
        text.append(buf, n);
    std::fclose(tmp);
    return text;
}

// The process-wide settings as at program start.
inline void reset_settings()
{
    s_opt = {};
    h_opt = {};
    o_opt = {};
    p_opt = {};
    c_opt = {};
    modelnumber = 0;
    printwidth = 0.0;
}

// Temporary files of this test process, removed when it ends. The names
// carry the process id: test processes of several builds may run at once.
inline struct temp_files {
    std::vector<std::string> paths;
    ~temp_files()
    {
        for (const std::string &p : paths)
            std::remove(p.c_str());
    }
} test_temp_files;

inline std::string temp_path(const std::string &name)
{
    std::string path = testing::TempDir() + "zaridiravid-" + std::to_string(getpid()) + "-" + name;
    test_temp_files.paths.push_back(path);
    return path;
}

inline std::string base_ppd() { return TEST_PPD_DIR "/base.ppd"; }

inline std::string read_text(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// One change to the base PPD: replace the text `from` by `to`, or, with
// `to` null, drop the whole option block whose keyword is `from`.
struct ppd_edit {
    const char *from;
    const char *to;
};

// Writes the base PPD with the edits applied to a temporary file; returns its path.
inline std::string ppd_variant(const std::string &name, const std::vector<ppd_edit> &edits)
{
    std::string text = read_text(base_ppd());
    for (const ppd_edit &e : edits) {
        size_t at, end;
        if (e.to) {
            at = text.find(e.from);
            end = at + std::strlen(e.from);
        } else {
            at = text.find(std::string("*OpenUI *") + e.from + "/");
            std::string close = std::string("*CloseUI: *") + e.from + "\n";
            end = text.find(close, at);
            end = end == std::string::npos ? end : end + close.size();
        }
        if (at == std::string::npos || end == std::string::npos)
            throw std::runtime_error(std::string("test PPD has no ") + e.from);
        text.replace(at, end - at, e.to ? e.to : "");
    }
    std::string path = temp_path(name + ".ppd");
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Runs setup as the filter does, with $PPD set to `ppd` (unset when empty)
// and the job options as in the filter's fifth argument. Returns stderr.
inline std::string run_setup(const std::string &ppd, const char *job_options = "")
{
    reset_settings();
    if (ppd.empty())
        unsetenv("PPD");
    else
        setenv("PPD", ppd.c_str(), 1);
    cups_option_t *options = nullptr;
    int num_options = cupsParseOptions(job_options, 0, &options);
    std::string err = capture_stderr([&] { setup(num_options, options); });
    cupsFreeOptions(num_options, options);
    unsetenv("PPD");
    return err;
}

// The five records in one line, for comparing them whole.
inline std::string records()
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "sensor=%s x=%g y=%g gap=%g heat=%s speed=%s method=%s mro=%d%d%d backfeed=%s "
                  "peel=%d,%s cutter=%d,%d,%s,%s",
                  s_opt.labelsensor, s_opt.displacementx, s_opt.displacementy, s_opt.labelgap, h_opt.heat,
                  h_opt.speed, h_opt.printmethod, o_opt.labelmirrored, o_opt.labelrotate, o_opt.tearoffmode,
                  o_opt.backfeedmode, p_opt.peeloffmode, p_opt.peeloffdisp, c_opt.cutter, c_opt.cuttermode,
                  c_opt.cutterinterval, c_opt.cutteroffset1);
    return text;
}

// A choice as libcups hands it to the setters.
inline ppd_choice_t make_choice(const char *keyword, const char *text = "")
{
    ppd_choice_t c = {};
    std::snprintf(c.choice, sizeof c.choice, "%s", keyword);
    std::snprintf(c.text, sizeof c.text, "%s", text);
    return c;
}

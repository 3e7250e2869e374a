// The Printer Application against the filter: the same settings and the same
// bitmap must reach the printer as the same bytes, whether they come from a
// PPD or from IPP attributes, through the mapping alone or through a running
// server printing to a loopback listener.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "app/ipp_settings.h"
#include "app/label_page.h"
#include "settings/lines.h"
#include "tests/support.h"

extern char **environ;

namespace {

using namespace std::chrono_literals;
const std::string ppd_dir = ZARIDIRAVID_PPD_DIR;

// The label job block of a 100 x 50 mm label with these settings.
std::string block(const job_settings &job)
{
    cups_page_header_t label = {};
    label.PageSize[0] = 283, label.PageSize[1] = 142, label.NumCopies = 1;
    return label_block(label, job);
}

// The block settings_from_ipp makes of the IPP values and vendor attributes
// (name=value ...), or its refusal.
std::string ipp_block(ipp_label_values in, const char *vendor)
{
    cups_option_t *list = nullptr;
    in.num_vendor = cupsParseOptions(vendor, 0, &list);
    in.vendor = list;
    job_settings job = {};
    job.modelnumber = 343, job.printwidth = 105.6;
    const std::string why = settings_from_ipp(in, job);
    cupsFreeOptions(in.num_vendor, list);
    return why.empty() ? block(job) : why;
}

// Every mapped IPP value against the PPD choice it stands for, read by the
// filter from the model's PPD: a wrong rounding, a swapped keyword, a lost
// sign or a switch that does not reach its line shows as another block. Then
// values the printer can't take: refused by name, never cut or passed on.
TEST(IppSettings, TheBlockThePpdGivesOrARefusal)
{
    const auto gap = PAPPL_MEDIA_TRACKING_GAP;
    const auto rewind = PAPPL_LABEL_MODE_REWIND;
    const struct {
        ipp_label_values in;
        const char *vendor, *ppd;
    } rows[] = {
        {{50, 0, 10160, gap, 0, 0, rewind}, "", ""},
        {{50, 0, 10160, PAPPL_MEDIA_TRACKING_WEB, 0, 0, rewind}, "", "LabelSensor=LSD"},
        {{62, 0, 3810, PAPPL_MEDIA_TRACKING_MARK, 0, 0, rewind}, "", "Heat=12 Speed=2 LabelSensor=LSR"},
        {{63, 0, 3809, PAPPL_MEDIA_TRACKING_CONTINUOUS, 0, 0, rewind}, "", "Heat=13 Speed=1 LabelSensor=LSE"},
        {{90, 50, 99999, gap, 0, 0, rewind}, "", "Heat=20 Speed=12"},
        {{10, -100, 0, gap, 0, 0, rewind}, "", "Heat=0 Speed=1"},
        {{50, 0, 10160, gap, -3090, 2090, PAPPL_LABEL_MODE_TEAR_OFF}, "",
         "TearOffMode=True PrnHeadOffsetYDir=Minus PrnHeadOffsetYVK=30 PrnHeadOffsetYNK=9 PrnHeadOffsetXVK=20 "
         "PrnHeadOffsetXNK=9"},
        {{50, 0, 10160, gap, 254, 4, PAPPL_LABEL_MODE_PEEL_OFF}, "peel-off-offset=-251",
         "PeelOff=True cPeelOffDir=PODIRM cPeelOffVKVersatz=2 cPeelOffNKVersatz=5 PrnHeadOffsetYVK=2 "
         "PrnHeadOffsetYNK=5"},
        {{50, 0, 10160, gap, -4, 0, PAPPL_LABEL_MODE_CUTTER}, "cutter-interval=25 cutter-offset=-150",
         "Cutter=True cCutterInterval=25 cCutterOffset1Dir=Minus cCutterOffset1VK=1 cCutterOffset1NK=5"},
        {{50, 0, 10160, gap, 0, 0, PAPPL_LABEL_MODE_CUTTER_DELAYED}, "cutter-offset=2090",
         "Cutter=True cCutterMode=CMOD2E cCutterOffset1VK=20 cCutterOffset1NK=9"},
        {{50, 0, 10160, gap, 0, 0, rewind},
         "print-method=direct-thermal label-gap=1250 label-mirror=true label-rotate=true backfeed=when-needed",
         "PrintMethod=False LabelGapVK=12 LabelGapNK=5 LabelMirrored=True LabelRotate=True BackFeed=BFS"},
    };
    for (const auto &r : rows) {
        setenv("PPD", (ppd_dir + "/ravi343.ppd").c_str(), 1);
        cups_option_t *list = nullptr;
        const int n = cupsParseOptions(r.ppd, 0, &list);
        EXPECT_EQ(ipp_block(r.in, r.vendor), block(setup(n, list))) << r.ppd;
        cupsFreeOptions(n, list);
    }

    const struct { const char *vendor; int top, left; const char *message; } refused[] = {
        {"label-gap=2091", 0, 0, "label-gap=2091 is not supported"},
        {"label-gap='3\r\nJ'", 0, 0, "label-gap=3??J is not supported"},
        {"cutter-interval=21", 0, 0, "cutter-interval=21 is not supported"},
        {"cutter-offset=-2091", 0, 0, "cutter-offset=-2091 is not supported"},
        {"backfeed=BFS", 0, 0, "backfeed=BFS is not supported"},
        {"print-method=", 0, 0, "print-method= is not supported"},
        {"label-mirror=yes", 0, 0, "label-mirror=yes is not supported"},
        {"", 3091, 0, "media-top-offset=3091 is not supported"},
        {"", 0, -1, "media-left-offset=-1 is not supported"},
    };
    for (const auto &r : refused)
        EXPECT_EQ(ipp_block({50, 0, 10160, gap, r.top, r.left, rewind}, r.vendor), r.message);
}

// A page larger than the label is cut to it, on either path: 1-bit rows keep
// no dot right of the label, grey rows are dithered (black always burnt,
// white never), rows below the label dropped; pages the printer can't take
// are refused.
TEST(LabelPage, CutDitheredOrRefused)
{
    dither_matrix dither;
    for (int i = 0; i < 256; i++)
        dither[i / 16][i % 16] = static_cast<unsigned char>(i % 255);
    cups_page_header2_t page = {};
    for (unsigned bits : {1u, 8u}) {
        page.cupsWidth = 40, page.cupsHeight = 30, page.cupsBitsPerColor = page.cupsBitsPerPixel = bits;
        page.cupsBytesPerLine = 40 * bits / 8, page.HWResolution[0] = page.HWResolution[1] = 254;
        page.cupsColorSpace = bits == 1 ? CUPS_CSPACE_K : CUPS_CSPACE_SW;
        label_page p;
        ASSERT_EQ(start_label_page(p, page, 130, 200, 254), "");  // 13 x 20 dots
        bytes row(page.cupsBytesPerLine, bits == 1 ? 0xFF : 0), rows;
        for (unsigned x = 0; x < 40 && bits == 8; x++)
            row[x] = x % 2 ? 0 : 255;
        for (unsigned y = 0; y < 30; y++)
            put_label_row(p, y, row.data(), dither);
        for (int y = 0; y < 20; y++)
            rows.insert(rows.end(), {uint8_t(bits == 1 ? 0xFF : 0x55), uint8_t(bits == 1 ? 0xF8 : 0x50)});
        const img_bitmap b = label_bitmap(p);
        ASSERT_EQ(b.width * 100 + b.height, 1320);
        EXPECT_EQ(bytes(b.data, b.data + 40), bitmap_of(13, rows)) << bits << " bits";
    }
    label_page p;
    page.HWResolution[0] = page.HWResolution[1] = 600;
    EXPECT_EQ(start_label_page(p, page, 2540, 2540, 300), "the page is 600x600 dpi; the printer prints 300 dpi");
    page.HWResolution[0] = page.HWResolution[1] = 300, page.cupsBytesPerLine = 41;
    EXPECT_EQ(start_label_page(p, page, 2540, 2540, 300), "the page's size or line length is damaged");
    page.cupsBytesPerLine = 120, page.cupsBitsPerPixel = 24;
    EXPECT_NE(start_label_page(p, page, 2540, 2540, 300), "");
}

// ---------------------------------------------------------------------------
// The server, a printer's device and the filter, for real.

sockaddr_in loopback(int port)
{
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    return a;
}

// A port the kernel just handed out and took back: free for a moment.
int free_port()
{
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

// A printer's device: a loopback listener keeping all it gets, one
// connection after another, until it goes.
struct device_listener {
    int fd = -1, port = 0, closed = 0;
    std::mutex lock;
    std::string bytes;
    bool stop = false;
    std::thread thread;

    explicit device_listener(int at = 0) : fd(socket(AF_INET, SOCK_STREAM, 0)), port(at ? at : free_port())
    {
        int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a = loopback(port);
        if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(fd, 4) != 0)
            ADD_FAILURE() << "cannot listen on port " << port;
        thread = std::thread([this] {
            for (pollfd p = {fd, POLLIN, 0};; p.revents = 0) {
                if (poll(&p, 1, 100) > 0) {
                    char buffer[65536];
                    int c = accept(fd, nullptr, nullptr);
                    for (ssize_t n; c >= 0 && (n = read(c, buffer, sizeof buffer)) > 0;) {
                        std::lock_guard<std::mutex> hold(lock);
                        bytes.append(buffer, size_t(n));
                    }
                    close(c);
                }
                std::lock_guard<std::mutex> hold(lock);
                closed += p.revents != 0;
                if (stop)
                    return;
            }
        });
    }
    ~device_listener()
    {
        lock.lock();
        stop = true;
        lock.unlock();
        thread.join();
        close(fd);
    }
    // What arrived once `size` bytes have and the connection closed (or 30 s
    // passed); the listener starts empty again.
    std::string take(size_t size)
    {
        for (auto end = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < end;) {
            std::this_thread::sleep_for(20ms);
            std::lock_guard<std::mutex> hold(lock);
            if (bytes.size() >= size && closed > 0)
                break;
        }
        std::lock_guard<std::mutex> hold(lock);
        closed = 0;
        return std::exchange(bytes, {});
    }
};

// A label's test bitmap: rules, a checkerboard and diagonals.
bool dot(unsigned x, unsigned y, unsigned seed)
{
    return (y / 8 + seed) % 5 == 0 || ((x / 16 + y / 16) % 2 && x % 3 == 0) || (x + 2 * y + seed) % 37 < 4;
}

// Writes `pages` test labels as PWG raster of `type` (black_1, sgray_8) for
// the app, "NAME.pwg", and as the CUPS raster CUPS makes from the PPD for the
// filter, "NAME.ras", at the size `media` and `dpi`, each label `copies` times.
void write_label(const std::string &name, const char *type, const char *media, unsigned dpi, unsigned copies,
                 unsigned pages = 1)
{
    pwg_media_t *size = pwgMediaForPWG(media);
    for (const bool app : {true, false}) {
        int fd = open((name + (app ? ".pwg" : ".ras")).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        cups_raster_t *r = cupsRasterOpen(fd, app ? CUPS_RASTER_WRITE_PWG : CUPS_RASTER_WRITE);
        cups_page_header2_t h;
        cupsRasterInitPWGHeader(&h, size, app ? type : "black_1", int(dpi), int(dpi), "one-sided", nullptr);
        if (!app) {  // CUPS rounds the PPD's page size to whole points
            h.PageSize[0] = unsigned(std::lround(size->width * 72.0 / 2540));
            h.PageSize[1] = unsigned(std::lround(size->length * 72.0 / 2540));
            h.NumCopies = copies;
        }
        for (unsigned page = 0; page < pages; page++) {
            cupsRasterWriteHeader2(r, &h);
            bytes row(h.cupsBytesPerLine);
            for (unsigned y = 0; y < h.cupsHeight; y++) {
                std::fill(row.begin(), row.end(), 0);
                for (unsigned x = 0; x < h.cupsWidth; x++)
                    if (h.cupsBitsPerPixel == 8)
                        row[x] = dot(x, y, page) ? 0 : 255;
                    else if (dot(x, y, page))
                        row[x / 8] |= uint8_t(0x80 >> (x % 8));
                cupsRasterWritePixels(r, row.data(), h.cupsBytesPerLine);
            }
        }
        cupsRasterClose(r);
        close(fd);
    }
}

// Two printer streams alike, or where they part: the offset and the label
// job lines of each (a whole stream is too long to read in a failure).
testing::AssertionResult same_stream(const std::string &got, const std::string &expected)
{
    if (got == expected)
        return testing::AssertionSuccess();
    size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at])
        at++;
    auto lines = [](const std::string &s) {
        std::string out;
        for (size_t p = 0; (p = s.find("\r\nJ\r\n", p)) != s.npos; p += 5)
            out += s.substr(p + 2, s.find("\r\nA", p) + 6 - p - 2) + "| ";
        return out;
    };
    return testing::AssertionFailure() << got.size() << " bytes, expected " << expected.size() << ", apart from byte "
                                       << at << "\n got: " << lines(got) << "\n expected: " << lines(expected);
}

// The filter's bytes for a raster file with a model's PPD and job options.
std::string filter_bytes(int model, const std::string &options, const std::string &ras)
{
    return run("PPD=" + ppd_dir + "/ravi" + std::to_string(model) + ".ppd " ZARIDIRAVID_FILTER " 1 u t 1 '" +
               options + "' " + ras).out;
}

// The Printer Application on a free loopback port, its state and spool in
// the scratch folder, printers on loopback listeners. It runs under a name
// of its own (a link to the program): PAPPL's sub-commands find a local
// server by the program's name, and `modify` reaches one only that way.
class AppServer : public testing::Test {
protected:
    const std::string program = scratch_file("zaridiravid-app-" + std::to_string(getpid()));
    int port = 0;
    pid_t pid = -1;
    device_listener device;

    void SetUp() override
    {
        if (!std::filesystem::exists(program))
            std::filesystem::create_symlink(ZARIDIRAVID_APP, program);
        start();
    }
    void TearDown() override { stop(); }

    void start()
    {
        port = free_port();
        const std::string options[] = {"server-port=" + std::to_string(port), "listen-hostname=localhost",
                                       "spool-directory=" + scratch_file("spool"), "state-file=" + scratch_file("state"),
                                       "log-file=" + scratch_file("log"), "log-level=debug"};
        std::vector<char *> argv = {const_cast<char *>(program.c_str()), const_cast<char *>("server")};
        for (const std::string &o : options)
            argv.insert(argv.end(), {const_cast<char *>("-o"), const_cast<char *>(o.c_str())});
        argv.push_back(nullptr);
        ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
        for (int i = 0; i < 200; i++, std::this_thread::sleep_for(50ms)) {
            int s = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a = loopback(port);
            const bool up = connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
            close(s);
            if (up)
                return;
        }
        FAIL() << "the server does not answer";
    }
    void stop()
    {
        cli("shutdown", "");
        for (int i = 0; i < 100 && waitpid(pid, nullptr, WNOHANG) != pid; i++)
            std::this_thread::sleep_for(50ms);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    // A sub-command, on the printer's URI when `printer` is given; "" when it
    // succeeds silently, else what it says.
    std::string cli(const std::string &sub, const std::string &args, const std::string &printer = "")
    {
        const std::string uri = " -u ipp://localhost:" + std::to_string(port) + (printer.empty() ? "" : "/ipp/print/");
        const run_result r = run(program + " " + sub + (sub == "modify" ? "" : uri + printer) + " " + args);
        return r.status ? "exit " + std::to_string(r.status) + ": " + r.err : r.err;
    }
    void add_printer(const std::string &name, int model, int at, const std::string &settings = "")
    {
        EXPECT_EQ(cli("add", "-d " + name + " -m ravi" + std::to_string(model) + " -v socket://127.0.0.1:" +
                                 std::to_string(at)), "");
        if (!settings.empty()) {
            EXPECT_EQ(cli("modify", "-d " + name + " " + settings), "");
        }
    }
    void submit(const std::string &printer, const std::string &options, const std::string &path)
    {
        EXPECT_EQ(cli("submit", options + " " + path, printer), "") << options;
    }
};

// Each mapped setting, as a job attribute or a printer default, prints what
// the filter prints with the PPD option it stands for, 1-bit and grey pages
// alike; the printer's defaults print what the PPD's defaults print.
TEST_F(AppServer, SameBytesAsTheFilter)
{
    const struct {
        const char *type, *printer, *job, *ppd;
        unsigned copies;
    } rows[] = {
        {"black_1", "", "", "", 1},
        {"sgray_8", "", "-o copies=3", "", 3},
        {"sgray_8", "", "-o print-darkness=30 -o print-speed=6in -o media-tracking=mark",
         "Heat=16 Speed=6 LabelSensor=LSR", 1},
        {"black_1", "", "-o media-top-offset=-2.5mm -o media-left-offset=1.5mm -o media-tracking=continuous",
         "PrnHeadOffsetYDir=Minus PrnHeadOffsetYVK=2 PrnHeadOffsetYNK=5 PrnHeadOffsetXVK=1 PrnHeadOffsetXNK=5 "
         "LabelSensor=LSE", 1},
        {"sgray_8", "", "-o print-method=direct-thermal -o label-gap=250 -o label-mirror=true -o label-rotate=true "
                        "-o backfeed=when-needed", "PrintMethod=False LabelGapVK=2 LabelGapNK=5 LabelMirrored=True "
                        "LabelRotate=True BackFeed=BFS", 1},
        {"sgray_8", "-o label-mode-configured=cutter -o cutter-interval=5 -o cutter-offset=-150 "
                    "-o printer-darkness-configured=70", "-o copies=2",
         "Cutter=True cCutterInterval=5 cCutterOffset1Dir=Minus cCutterOffset1VK=1 cCutterOffset1NK=5 Heat=14", 2},
        {"black_1", "-o label-mode-configured=cutter-delayed", "", "Cutter=True cCutterMode=CMOD2E", 1},
        {"sgray_8", "-o label-mode-configured=peel-off -o peel-off-offset=-250", "",
         "PeelOff=True cPeelOffDir=PODIRM cPeelOffVKVersatz=2 cPeelOffNKVersatz=5", 1},
        {"black_1", "-o label-mode-configured=tear-off -o print-method=direct-thermal",
         "-o print-method=thermal-transfer", "TearOffMode=True", 1},
    };
    int n = 0;
    for (const auto &r : rows) {
        SCOPED_TRACE(std::string(r.printer) + " | " + r.job);
        const std::string printer = "label" + std::to_string(n++);  // a new one: the defaults, then the row's
        add_printer(printer, 343, device.port, r.printer);
        write_label(scratch_file("l"), r.type, "om_100x50-label_100x50mm", 300, r.copies);
        const std::string expected = filter_bytes(343, r.ppd, scratch_file("l.ras"));
        submit(printer, r.job, scratch_file("l.pwg"));
        EXPECT_TRUE(same_stream(device.take(expected.size()), expected));
    }
}

// Two printers of different models and settings printing at the same time
// each print their own settings, pages in order.
TEST_F(AppServer, TwoPrintersAtOnce)
{
    device_listener second;
    add_printer("wide", 383, device.port, "-o label-mode-configured=cutter -o cutter-interval=3");
    add_printer("narrow", 1322, second.port, "-o printer-darkness-configured=20 -o backfeed=when-needed");
    write_label(scratch_file("w"), "sgray_8", "na_index-4x6_4x6in", 300, 1, 3);
    write_label(scratch_file("n"), "black_1", "om_50x30-label_50x30mm", 200, 2, 3);
    const std::string wide = filter_bytes(383, "Cutter=True cCutterInterval=3", scratch_file("w.ras"));
    const std::string narrow = filter_bytes(1322, "Heat=4 BackFeed=BFS", scratch_file("n.ras"));
    std::thread a([&] { submit("wide", "-o media=na_index-4x6_4x6in", scratch_file("w.pwg")); });
    std::thread b([&] { submit("narrow", "-o copies=2", scratch_file("n.pwg")); });
    a.join();
    b.join();
    EXPECT_TRUE(same_stream(device.take(wide.size()), wide));
    EXPECT_TRUE(same_stream(second.take(narrow.size()), narrow));
}

// What a label printer's user meets: a PNG printed once with the copy count
// in the A line (a 1-bit PNG, which PAPPL hands on as levels 0 and 1); a
// letter page cut to the label; a device that answers only after the job was
// sent; the printers and their settings after a restart.
TEST_F(AppServer, ImagesLargePagesLateDevicesRestarts)
{
    add_printer("label", 343, device.port, "-o label-mode-configured=tear-off -o label-gap=500");
    const std::string tear = "TearOffMode=True LabelGapVK=5";

    write_label(scratch_file("p"), "sgray_8", "om_100x50-label_100x50mm", 300, 4);
    std::string pgm = "P5 1181 590 255\n";
    for (unsigned y = 0; y < 590; y++)
        for (unsigned x = 0; x < 1181; x++)
            pgm += dot(x, y, 0) ? '\0' : '\xff';
    write_file(scratch_file("p.pgm"), bytes(pgm.begin(), pgm.end()));
    run("pnmtopng p.pgm > p.png");
    std::string expected = filter_bytes(343, tear, scratch_file("p.ras"));
    submit("label", "-o copies=4 -o print-scaling=fit", scratch_file("p.png"));
    EXPECT_TRUE(same_stream(device.take(expected.size()), expected));

    write_label(scratch_file("letter"), "sgray_8", "na_letter_8.5x11in", 300, 1);
    write_label(scratch_file("cut"), "sgray_8", "om_100x50-label_100x50mm", 300, 1);
    expected = filter_bytes(343, tear, scratch_file("cut.ras"));
    submit("label", "", scratch_file("letter.pwg"));
    EXPECT_TRUE(same_stream(device.take(expected.size()), expected));

    const int late_port = free_port();
    add_printer("late", 343, late_port);
    expected = filter_bytes(343, "", scratch_file("cut.ras"));
    std::thread job([&] { submit("late", "", scratch_file("cut.pwg")); });
    std::this_thread::sleep_for(1500ms);
    device_listener late(late_port);
    job.join();
    EXPECT_TRUE(same_stream(late.take(expected.size()), expected));

    stop();
    start();
    const std::string printers = run(program + " printers -u ipp://localhost:" + std::to_string(port)).out;
    EXPECT_TRUE(printers.find("label\n") != printers.npos && printers.find("late\n") != printers.npos) << printers;
    expected = filter_bytes(343, tear, scratch_file("cut.ras"));
    submit("label", "", scratch_file("cut.pwg"));
    EXPECT_TRUE(same_stream(device.take(expected.size()), expected));
}

}  // namespace

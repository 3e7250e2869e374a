// The printer settings of one job: filled once from the queue's PPD and the
// job's options (or, in the Printer Application, from a job's IPP attributes),
// then only read by the line builders. Each job has its own value, so jobs of
// different printers may be prepared at the same time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <cups/cups.h>
#include <cups/ppd.h>

// Label sensor and where the image sits on the label.
struct s_opt_t {
    char labelsensor[4];   // "l1", "l0", "e" or "ERR"
    double displacementx;  // print head displacement across the web, mm
    double displacementy;  // print head displacement along the web, mm
    double labelgap;       // gap between two labels, mm
};

// Heat, speed and print method.
struct h_opt_t {
    char heat[4];         // text of the "Heat" choice
    char speed[4];        // text of the "Speed" choice
    char printmethod[4];  // "T" or "D"
};

// Label orientation and feeding.
struct o_opt_t {
    int labelmirrored;     // 1 = mirrored
    int labelrotate;       // 1 = rotated
    int tearoffmode;       // 1 = tear-off on
    char backfeedmode[8];  // "D", "P" or "ERR"
};

// Peel-off dispenser.
struct p_opt_t {
    int peeloffmode;      // 1 = on
    char peeloffdisp[8];  // optional "-", integer part, ".", fraction
};

// Cutter.
struct c_opt_t {
    int cutter;              // 1 = on
    int cuttermode;          // 1 = CMOD1I (by interval), 2 = CMOD2E, 0 = none valid
    char cutterinterval[5];  // text of "cCutterInterval" (mode 1 only)
    char cutteroffset1[11];  // direction text, integer part, ".", fraction
};

// Everything the label job block needs besides the page: the five option
// records, the model and its widest image. A value-initialised one is what a
// job without a PPD prints with (all zero, model 0).
struct job_settings {
    s_opt_t s_opt;
    h_opt_t h_opt;
    o_opt_t o_opt;
    p_opt_t p_opt;
    c_opt_t c_opt;
    int32_t modelnumber;  // the PPD's model number, -1 without a PPD
    double printwidth;    // the model's widest image, mm (0.0 if unknown)
};

// Loads the PPD named by $PPD, marks its defaults and the job's options and
// fills the option records.
job_settings setup(int num_options, cups_option_t *options);

// Copies every needed marked choice of an open, marked PPD into the records;
// a missing option is reported.
void handleMarkedPPDOptions(ppd_file_t *ppd, job_settings &job);

// Joins an integer part and a fraction part as "integer.fraction".
std::string calcNumberOpt(std::string_view integer, std::string_view fraction);

// Setters: each turns the marked choice(s) of one option (group) into a
// record field.
void set_Heat(h_opt_t &h_opt, const ppd_choice_t *heat);
void set_PrintMethod(h_opt_t &h_opt, const ppd_choice_t *method);
void set_Speed(h_opt_t &h_opt, const ppd_choice_t *speed);
void set_LabelMirrored(o_opt_t &o_opt, const ppd_choice_t *mirrored);
void set_LabelRotate(o_opt_t &o_opt, const ppd_choice_t *rotate);
void set_TearOffMode(o_opt_t &o_opt, const ppd_choice_t *tearoff);
void set_BackfeedMode(o_opt_t &o_opt, const ppd_choice_t *backfeed);
void set_PeelOffMode(p_opt_t &p_opt, const ppd_choice_t *peeloff);
void set_PeelOffDisp(p_opt_t &p_opt, const ppd_choice_t *dir, const ppd_choice_t *integer, const ppd_choice_t *fraction);
void set_LabelSensor(s_opt_t &s_opt, const ppd_choice_t *sensor);
void set_LabelGap(s_opt_t &s_opt, const ppd_choice_t *integer, const ppd_choice_t *fraction);
void set_DisplacementX(s_opt_t &s_opt, const ppd_choice_t *integer, const ppd_choice_t *fraction);
void set_DisplacementY(s_opt_t &s_opt, const ppd_choice_t *dir, const ppd_choice_t *integer, const ppd_choice_t *fraction);
void set_Cutter(c_opt_t &c_opt, const ppd_choice_t *cutter);
void setCutterMode(c_opt_t &c_opt, const ppd_choice_t *mode);
void set_CutterInterval(c_opt_t &c_opt, const ppd_choice_t *interval);
void set_CutterOffset1(c_opt_t &c_opt, const ppd_choice_t *dir, const ppd_choice_t *integer, const ppd_choice_t *fraction);

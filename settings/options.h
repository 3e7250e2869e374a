// The printer settings of one job: read once from the queue's PPD and the
// job's options, then only read by the line builders.
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

extern s_opt_t s_opt;
extern h_opt_t h_opt;
extern o_opt_t o_opt;
extern p_opt_t p_opt;
extern c_opt_t c_opt;

extern int32_t modelnumber;  // the PPD's model number, -1 without a PPD
extern double printwidth;    // the model's widest image, mm (0.0 if unknown)

// Loads the PPD named by $PPD, marks its defaults and the job's options and
// fills the option records.
void setup(int num_options, cups_option_t *options);

// Copies every needed marked choice of an open, marked PPD into the records.
void handleMarkedPPDOptions(ppd_file_t *ppd);

// Joins an integer part and a fraction part as "integer.fraction".
std::string calcNumberOpt(std::string_view integer, std::string_view fraction);

// Setters: each turns the marked choice(s) of one option (group) into a
// record field.
void set_Heat(const ppd_choice_t *heat);
void set_PrintMethod(const ppd_choice_t *method);
void set_Speed(const ppd_choice_t *speed);
void set_LabelMirrored(const ppd_choice_t *mirrored);
void set_LabelRotate(const ppd_choice_t *rotate);
void set_TearOffMode(const ppd_choice_t *tearoff);
void set_BackfeedMode(const ppd_choice_t *backfeed);
void set_PeelOffMode(const ppd_choice_t *peeloff);
void set_PeelOffDisp(const ppd_choice_t *dir, const ppd_choice_t *integer, const ppd_choice_t *fraction);
void set_LabelSensor(const ppd_choice_t *sensor);
void set_LabelGap(const ppd_choice_t *integer, const ppd_choice_t *fraction);
void set_DisplacementX(const ppd_choice_t *integer, const ppd_choice_t *fraction);
void set_DisplacementY(const ppd_choice_t *dir, const ppd_choice_t *integer, const ppd_choice_t *fraction);
void set_Cutter(const ppd_choice_t *cutter);
void setCutterMode(const ppd_choice_t *mode);
void set_CutterInterval(const ppd_choice_t *interval);
void set_CutterOffset1(const ppd_choice_t *dir, const ppd_choice_t *integer, const ppd_choice_t *fraction);

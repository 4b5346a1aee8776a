#include "search/selectivity.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "core/io.h"
#include "core/settings.h"

Selectivity selectivity;

namespace {

int32_t margin(float scaled, int depth) {
    float product = scaled * float(depth);
    return product < 0 ? 0 : product > 65535 ? 65535 : int32_t(product);
}

// Reductions grow with the square roots of depth and move number; Selectivity
// scales them, and the caps keep a reduced search from collapsing.
int8_t reduction(float a, int s, int cap) {
    float x = a * float(s) / 100.0f;
    if (x < 0) return 0;
    if (a * float(s) > float(cap * 100)) return int8_t(cap);
    return int8_t(x >= 0 ? int(x + 0.5f) : int(x - 0.5f));
}

}  // namespace

void build_selectivity() {
    Selectivity& s = selectivity;
    s.fp_depth = options.fp_depth;
    s.sep_depth = options.sep_depth;
    s.nmp_depth = options.nmp_depth;
    s.lmp_depth = options.lmp_depth;
    s.lmr_depth = options.lmr_depth;
    int pct = options.selectivity < 20 ? 20 : options.selectivity > 200 ? 200 : options.selectivity;
    float f = float(1.5 / (0.01 * pct + 0.5));
    for (int d = 0; d < 8; d++) {
        s.fp_margin[d] = d <= s.fp_depth ? margin(f * 100.0f, d) : 9000;
        s.sep_margin[d] = d <= s.sep_depth ? margin(f * 50.0f, d) : 9000;
    }
    for (int d = 0; d < 32; d++)
        for (int m = 0; m < 32; m++) {
            float r = float(double(0.65f) * (std::sqrt(double(d)) + std::sqrt(double(m))) - double(2.3921683f));
            float pv = r < float(m) ? r : float(m);
            float other_r = float(double(r) + 1.1);
            float other = other_r < float(m) ? other_r : float(m);
            bool none = d <= 2 || m == 0;
            s.lmr_pv[d][m] = none ? 0 : reduction(pv, pct, 3);
            s.lmr_other[d][m] = none ? 0 : reduction(other, pct, 5);
        }
}

void print_selectivity() {
    const Selectivity& s = selectivity;
    std::string text = "FP_margins= ";
    char number[32];
    for (int d = 1; d < 8; d++) snprintf(number, sizeof number, " %d", s.fp_margin[d]), text += number;
    text += "\nSEP_margins= ";
    for (int d = 1; d < 8; d++) snprintf(number, sizeof number, " %d", s.sep_margin[d]), text += number;
    snprintf(number, sizeof number, "\nNMP_depth= %d\n", s.nmp_depth), text += number;
    snprintf(number, sizeof number, "LMR_depth= %d\n", s.lmr_depth), text += number;
    text += "LMR table:\n";
    for (int table = 0; table < 2; table++) {
        for (int d = 3; d < 32; d++) {
            snprintf(number, sizeof number, "%2d  ", d), text += number;
            for (int m = 0; m < 32; m++)
                snprintf(number, sizeof number, "%d ", table ? s.lmr_other[d][m] : s.lmr_pv[d][m]), text += number;
            text += "\n";
        }
        if (table == 0) text += "\n\n";
    }
    print_text(text.c_str());
}

#include "eval/display.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "eval/nn/infer.h"
#include "eval/nn/network.h"

// A console aid: plain standard output, nothing goes to the log.

namespace {

// Rows in display order: the pieces with their material, then the king and the other terms.
struct Row {
    const char* label;
    TermCategory category;
    int piece;  // the piece type whose material the category carries; 0 for none
};
constexpr Row ROWS[CAT_COUNT] = {
    {"pawns:", CAT_PAWNS, PAWN},    {"knights:", CAT_KNIGHTS, KNIGHT}, {"bishops:", CAT_BISHOPS, BISHOP},
    {"rooks:", CAT_ROOKS, ROOK},    {"queens:", CAT_QUEENS, QUEEN},    {"king:", CAT_KING, 0},
    {"ppawns:", CAT_PPAWNS, 0},     {"threats:", CAT_THREATS, 0},      {"special:", CAT_SPECIAL, 0},
};

int taper(Score x, double phase) { return int(eg_of(x) * (1 - phase) + mg_of(x) * phase); }

void print_squares(const char* label, Bitboard squares) {
    if (!squares) return;
    fputs(label, stdout);
    char name[3];
    while (squares) {
        square_name(pop_lsb(squares), name);
        printf(" %s", name);
    }
    putchar('\n');
}

void print_parameters() {
    for (int i = 0; i < param_count; i++) {
        const EvalParam& p = param_table[i];
        if (strstr(p.name, "PST_") || strstr(p.name, "ttune")) continue;
        printf("%-22s  %4d , %4d\n", p.name, int(p.mg), int(p.eg));
    }
    static const char* const titles[PST_COUNT] = {"Pawn1",  "Pawn2", "Connected Pawn", "Defended Pawn", "Knight",
                                                  "Bishop", "Rook",  "Queen",          "King "};
    for (int t = 0; t < PST_COUNT; t++) print_pst(titles[t], &param_table[pst_start + 64 * t]);
}

}  // namespace

void eval_display(EvalState& es, const Position& pos, int qscore, int detail) {
    HceState& st = es.hce;
    st.eval_trace = 1;
    int nne = nne_score(es, pos);
    int hce = hce_score(es, pos);
    st.eval_trace = 0;
    double phase = st.phase;

    const EvalParam* material[7] = {nullptr,
                                    eval_handles.mtl_pawn,
                                    eval_handles.mtl_knight,
                                    eval_handles.mtl_bishop,
                                    eval_handles.mtl_rook,
                                    eval_handles.mtl_queen,
                                    nullptr};
    int mtl[7][2] = {};
    int mtl_sum = 0;
    for (int t = PAWN; t <= QUEEN; t++)
        for (int c = 0; c < 2; c++) {
            mtl[t][c] = taper(Score(material_count(pos.material[c], t) * material[t]->packed), phase);
            mtl_sum += c == WHITE ? mtl[t][c] : -mtl[t][c];
        }

    printf("           white  black      md\n");
    for (const Row& row : ROWS) {
        int t = row.piece;
        int white = taper(st.term_totals[WHITE][row.category], phase) - mtl[t][WHITE];
        int black = taper(st.term_totals[BLACK][row.category], phase) - mtl[t][BLACK];
        printf("%-10s  %4d   %4d    %4d\n", row.label, white, black, mtl[t][WHITE] - mtl[t][BLACK]);
    }
    print_squares("hung pieces on: ", st.hung_pieces);
    print_squares("free pawns on: ", st.free_pawns);
    if (pos.side == BLACK) mtl_sum = -mtl_sum;
    printf("nne= %d, hce= %d, qscore= %d, mtl= %d, phase= %0.2f, sf= %0.2f, rule50= %d\n\n", nne, hce, qscore, mtl_sum,
           phase, 1.0, pos.fifty);
    if (detail == 2) print_parameters();
    fflush(stdout);
}

void print_pst(const char* title, const EvalParam* table) {
    printf("%s\n", title);
    for (int rank = 7; rank >= 0; rank--) {
        for (int file = 0; file < 8; file++) printf(" %3d", int(table[rank * 8 + file].mg));
        printf("     ");
        for (int file = 0; file < 8; file++) printf(" %3d", int(table[rank * 8 + file].eg));
        putchar('\n');
    }
    putchar('\n');
}

void nn_display(EvalState& es, const Position& pos) {
    constexpr double SHOWN = 20;  // centipawns
    NNState& st = es.nn;
    st.eval_ply = 0;
    if (nn_evaluate(st, pos) == -10001) return;
    const Network& net = network;
    const int bucket = st.output_bucket;
    printf("output node = %d\n", bucket);

    // Each layer's activations and the output weights that turn them into centipawns.
    // With a hidden layer only its nodes reach the output directly.
    const int H = net.acc_size_white(), M = net.material_nodes(), N = net.hidden_size();
    const bool white = pos.side == WHITE;
    struct Layer {
        const int16_t* values;
        const int16_t* weights;
        int size;
    } layers[4] = {
        {st.acc_white, (white ? net.out_own() : net.out_other()) + bucket * H, N ? 0 : H},
        {st.acc_black, (white ? net.out_other() : net.out_own()) + bucket * H, N ? 0 : net.acc_size_black()},
        {st.acc_material, net.out_material() + bucket * M, N ? 0 : M},
        {st.hidden_values, net.final_weights() + bucket * N, N},
    };
    const double scale = net.header.output_scale * std::ldexp(1.0, -20);
    double total = 0;
    for (int k = 0; k < 4; k++) {
        const Layer& layer = layers[k];
        if (layer.size == 0) continue;
        printf("Layer %d\n", k);
        printf("  nodes contributing more than %.0f cp\n", SHOWN);
        double sum = 0;
        int low = layer.values[0], high = layer.values[0];
        for (int j = 0; j < layer.size; j++) {
            int value = layer.values[j];
            double contribution = double(value) * layer.weights[j] * scale;
            sum += contribution;
            low = value < low ? value : low;
            high = value > high ? value : high;
            if (std::fabs(contribution) > SHOWN)
                printf("   %4d.  %5.0f * %5.0f ->  %5.0f\n", j, double(value), double(layer.weights[j]), contribution);
        }
        printf("  ev= %5.0f, hmin= %d, hmax= %d\n", sum, low, high);
        total += sum;
    }
    printf("eval= %5.0f\n", total);
    fflush(stdout);
}

// EngineOptions: every user-adjustable setting in one plain record, and
// saved_settings, the copy whose values "uci" shows as defaults.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

struct EngineOptions {
    uint8_t quit_requested;      // set by "quit" and fatal protocol errors; read by every loop
    float noise;                 // seconds of search before info lines; 99999 = silent
    float learning_rate;         // trainer only
    uint64_t record_count;       // games to generate / training records
    uint32_t batch_size;         // trainer only
    float weight_noise;          // amplitude of noise added to network weights read from a file
    uint8_t numa;                // stored, never read
    char epd_input[150];
    char pgn_input[150];
    char output_file[169];
    uint8_t uci_mode;            // 1 UCI, 0 console
    float calibration_nps;
    float calibration_elo;
    uint64_t min_nodes;          // minimum node count before the node/second-depth limits act
    uint64_t node_limit;
    int16_t second_depth;        // second depth bound (with min_nodes)
    int16_t depth_limit;
    int16_t limit_mode;          // 0 sudden death, 1 fixed limit, n>1 moves per period
    float time_per_move;         // seconds; also the period time of moves-per-period play
    float increment;             // seconds
    int32_t hash_mb;
    int16_t threads;
    uint8_t use_nn;              // Use_NN_eval
    uint16_t move_overhead;      // ms
    uint16_t ponder;
    uint16_t multipv;
    int16_t uci_elo;
    uint8_t limit_strength;      // UCI_LimitStrength
    uint8_t chess960;            // UCI_Chess960
    uint8_t own_book;
    uint8_t book_variety;        // OwnBook_Variety
    uint8_t book_depth;          // OwnBook_Depth (plies)
    uint8_t book2_depth;         // OwnBook2_Depth (plies)
    uint8_t log;
    char nn_file[150];
    char config_file[144];
    char book_file[144];
    char book2_file[144];
    char syzygy_path[144];
    int8_t syzygy_probe_depth;   // SyzygyProbeDepth6
    int8_t syzygy_probe_depth7;  // seven-man probes only at this remaining depth or more
    int16_t eval_noise;          // centipawn amplitude of the position-keyed random term
    uint16_t opponent_elo;
    int16_t contempt;
    int16_t selectivity;         // percent
    int16_t contempt_slope;
    int16_t sep_depth;
    int16_t nmp_depth;
    int16_t fp_depth;
    int16_t lmp_depth;
    int16_t lmr_depth;
    uint8_t display_eval;        // console: evaluation shown with every board
    char training_file[150];     // packed training records of the data tools and the trainer
};

extern EngineOptions options;
extern EngineOptions saved_settings;

void set_default_options();
void save_settings();     // options -> saved_settings
void restore_settings();  // saved_settings -> options, keeping the mode, a pending quit and the calibration

// Copies text into a fixed-capacity field, truncating so the terminator always fits.
void copy_text(char* field, size_t capacity, const char* text);
template <size_t N>
inline void copy_text(char (&field)[N], const char* text) { copy_text(field, N, text); }

// quit_requested is written by the input reader and read by the search threads.
inline bool quit_requested() {
    return std::atomic_ref<uint8_t>(options.quit_requested).load(std::memory_order_relaxed) != 0;
}
inline void set_quit_requested(uint8_t value) {
    std::atomic_ref<uint8_t>(options.quit_requested).store(value, std::memory_order_relaxed);
}

// Lenient numbers: leading characters only, 0 when there are none.
long long read_int(const char* text);
double read_real(const char* text);

// The version string everything identifies itself with.
inline constexpr const char* ENGINE_NAME = "Quox 7.15";
inline constexpr const char* ENGINE_AUTHOR = "the Quox developers";

#include <pthread.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "core/clock.h"
#include "core/io.h"
#include "core/relaxed.h"
#include "core/settings.h"
#include "search/driver.h"
#include "search/game.h"
#include "search/output.h"
#include "search/thread.h"
#include "search/timeman.h"

SearchThread* search_threads[MAX_THREADS];

namespace {

pthread_t handles[MAX_THREADS];
int thread_indices[MAX_THREADS];

int active_threads() { return options.threads < 1 ? 0 : options.threads > MAX_THREADS ? MAX_THREADS : options.threads; }

void* main_thread_entry(void* arg) {
    if (*static_cast<int*>(arg) != 0) return nullptr;
    if (prepare_thread(0) != 0) exit(-1);
    if (options.threads > 0) search_thread_main(0);
    search_state.search_flags.fetch_or(FLAG_DONE);
    return nullptr;
}

void* secondary_thread_entry(void* arg) {
    int index = *static_cast<int*>(arg);
    if (prepare_thread(index) != 0) return nullptr;
    if (index < options.threads) {
        // A tablebase root is settled by the main thread alone.
        if (index != 0 && relaxed_load(search_state.root_tb_result) != -1) return nullptr;
        search_thread_main(index);
    }
    return nullptr;
}

void finish_elapsed() { search_state.elapsed = float(monotonic_seconds() - search_state.start_time); }

}  // namespace

int prepare_thread(int index) {
    SearchThread* record = thread_record(index);
    if (!record) {
        record = new (std::nothrow) SearchThread();
        if (!record) return -1;
        record->index = uint16_t(index);
        {
            std::lock_guard guard(search_lock);
            record->seed = uint32_t(rand());
        }
        std::atomic_ref<SearchThread*>(search_threads[index]).store(record, std::memory_order_release);
    }
    SearchThread& t = *record;
    copy_game(t, game);
    t.plyIndex = 1;
    t.root_index = t.histIndex;
    memset(t.best_line, 0, sizeof t.best_line);
    // Other threads read these while this one starts: see relaxed.h.
    relaxed_store(t.best_move, MOVE_NONE);
    relaxed_store(t.best_score, int16_t(0));
    relaxed_store(t.iteration_depth, int8_t(0));
    relaxed_store(t.seldepth, int8_t(0));
    relaxed_store(t.root_fail, uint8_t(0));
    clear_counters(t);
    return 0;
}

void clear_counters(SearchThread& t) {
    for (uint64_t* counter : thread_counters(t)) relaxed_store(*counter, uint64_t(0));
}

void sum_counters() {
    SearchState& s = search_state;
    std::array<uint64_t*, COUNTERS> totals = search_totals(s);
    for (uint64_t* total : totals) *total = 0;
    for (int i = 0; i < MAX_THREADS; i++) {
        SearchThread* t = thread_record(i);
        if (!t || relaxed_load(t->iteration_depth) < 2) continue;
        std::array<uint64_t*, COUNTERS> counters = thread_counters(*t);
        for (int k = 0; k < COUNTERS; k++) *totals[k] += relaxed_load(*counters[k]);
    }
    if (const SearchThread* main = thread_record(0)) s.seldepth = relaxed_load(main->seldepth);
}

void search_start(uint16_t flags, int threaded, void (*poll)()) {
    SearchState& s = search_state;
    s.search_flags.store(flags);
    search_prepare();

    if (!threaded) {
        if (prepare_thread(0) != 0) exit(-1);
        if (options.threads > 0) search_thread_main(0);
        s.search_flags.fetch_or(FLAG_DONE);
        sum_counters();
        finish_elapsed();
        return;
    }

    thread_indices[0] = 0;
    if (pthread_create(&handles[0], nullptr, main_thread_entry, &thread_indices[0]) != 0) return;
    // Helpers start once the main thread has its root, so they never race it for the first iteration.
    while (s.main_depth.load() < 1 && !search_stopped() && !(s.search_flags.load() & FLAG_DONE)) sleep_ms(0);
    int count = active_threads();
    for (int i = 1; i < count; i++) {
        thread_indices[i] = i;
        if (pthread_create(&handles[i], nullptr, secondary_thread_entry, &thread_indices[i]) != 0) exit(-1);
    }

    while (!quit_requested()) {
        update_clock();
        uint16_t now = s.search_flags.load();
        if (now & FLAG_DONE) break;
        if (!(now & FLAG_STOP) && poll) poll();
        sleep_ms(1);
    }

    stop_search();
    for (int i = 1; i < count; i++)
        if (pthread_join(handles[i], nullptr) != 0) exit(-1);
    if (pthread_join(handles[0], nullptr) != 0) exit(-1);
    sum_counters();
    emit_info(0, 1, s.best_depth, s.best_score, s.best_line);
    s.search_flags.fetch_or(FLAG_DONE);
    finish_elapsed();
}

void search_sync() {
    search_state.search_flags.store(FLAG_ANALYSE);
    search_start(FLAG_ANALYSE, 0, nullptr);
}

void free_search_threads() {
    for (SearchThread*& t : search_threads) {
        if (t) nn_state_free(t->eval.nn);
        delete t;
        t = nullptr;
    }
}

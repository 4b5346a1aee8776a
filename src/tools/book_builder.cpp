#include "tools/book_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "board/move.h"
#include "board/notation.h"
#include "book/polyglot.h"
#include "core/io.h"
#include "search/game.h"
#include "tools/pgn.h"
#include "tools/tool_files.h"

namespace {

constexpr int BUCKET_BITS = 14;  // buckets chosen by the top bits of the key keep keys in order
constexpr int NODES_PER_BLOCK = 4096;
constexpr int MAX_WEIGHT = 60000;

// One move played from one position, with its results for the side that played it.
struct BookNode {
    uint64_t key;
    int32_t wins, losses, draws;
    uint16_t move;  // book encoding
    BookNode* next;
};

struct NodeBlock {
    NodeBlock* previous;
    BookNode nodes[NODES_PER_BLOCK];
};

// Each bucket is a list ordered by key; a key's moves keep the order in which
// they were first seen.
struct BookIndex {
    BookNode* buckets[1 << BUCKET_BITS];
    NodeBlock* blocks;
    int used;  // nodes handed out from the newest block
    int nodes;
};

void free_index(BookIndex& index) {
    while (NodeBlock* block = index.blocks) {
        index.blocks = block->previous;
        free(block);
    }
}

BookNode* new_node(BookIndex& index) {
    if (!index.blocks || index.used == NODES_PER_BLOCK) {
        auto* block = static_cast<NodeBlock*>(malloc(sizeof(NodeBlock)));
        if (!block) return nullptr;
        block->previous = index.blocks;
        index.blocks = block;
        index.used = 0;
    }
    index.nodes++;
    return &index.blocks->nodes[index.used++];
}

void add_result(BookNode& node, int outcome) {
    if (outcome > 0)
        node.wins++;
    else if (outcome < 0)
        node.losses++;
    else
        node.draws++;
}

// Counts one move (outcome +1 won, -1 lost, 0 drawn): 0, or -1 when no node can be had.
int count_move(BookIndex& index, uint64_t key, uint16_t move, int outcome) {
    BookNode** link = &index.buckets[key >> (64 - BUCKET_BITS)];
    for (; *link && (*link)->key <= key; link = &(*link)->next) {
        if ((*link)->key == key && (*link)->move == move) {
            add_result(**link, outcome);
            return 0;
        }
    }
    BookNode* node = new_node(index);
    if (!node) return -1;
    *node = BookNode{key, 0, 0, 0, move, *link};
    add_result(*node, outcome);
    *link = node;
    return 0;
}

// Counts the opening moves of one decided game from the standard start: 0, or -1 when memory runs out.
int add_game(BookIndex& index, const PgnGame& record) {
    if (!record.decided || record.fen[0] || set_fen(game.pos, START_FEN) != 0) return 0;
    const int plies = std::min(int(record.move_count), BOOK_BUILD_PLIES);
    Position& pos = game.pos;
    for (int i = 0; i < plies; i++) {
        Move m;
        if (!parse_move(game, record.moves[i], m)) break;
        const int outcome = pos.side == WHITE ? record.result : -record.result;
        if (count_move(index, polyglot_key(pos), polyglot_move(pos, m), outcome) != 0) return -1;
        make_move(pos, m);
    }
    return 0;
}

// The entries of one key: moves with more than four games not lost and more
// not lost than lost, scored 4 per win, 1 per draw, -2 per loss, the best
// scaled to at most 60000, by falling weight.
void take_moves(const BookNode* first, const BookNode* end, std::vector<BookEntry>& run) {
    auto taken = [](const BookNode* n) { return n->wins + n->draws > std::max(n->losses, 4); };
    auto score = [](const BookNode* n) { return 4 * n->wins + n->draws - 2 * n->losses; };
    run.clear();
    int best = 0;
    for (const BookNode* n = first; n != end; n = n->next)
        if (taken(n)) best = std::max(best, score(n));
    const double factor = best > MAX_WEIGHT ? double(MAX_WEIGHT) / best : 1.0;
    for (const BookNode* n = first; n != end; n = n->next) {
        if (!taken(n)) continue;
        // A losing score gets weight 0: kept in the book, never chosen.
        const uint16_t weight = score(n) > 0 ? uint16_t(score(n) * factor) : 0;
        run.push_back(BookEntry{n->key, n->move, weight, 0});
    }
    std::stable_sort(run.begin(), run.end(),
                     [](const BookEntry& a, const BookEntry& b) { return a.weight > b.weight; });
}

// Writes the book in key order: the number of entries written.
int write_book(const BookIndex& index, const char* path) {
    remove(path);
    FILE* file = open_tool_file(path, "wb");
    if (!file) return 0;
    std::vector<BookEntry> run;
    int written = 0;
    bool failed = false;
    for (const BookNode* bucket : index.buckets) {
        for (const BookNode* node = bucket; node && !failed;) {
            const BookNode* end = node;
            while (end && end->key == node->key) end = end->next;
            take_moves(node, end, run);
            for (const BookEntry& entry : run) {
                if (write_book_entry(file, entry) != 0) {
                    failed = true;
                    break;
                }
                written++;
            }
            node = end;
        }
    }
    if (fclose(file) != 0 || failed) print_fmt("error writing %s", path);
    return written;
}

}  // namespace

void make_book(const char* pgn_path, const char* out_path) {
    if (!out_path || !*out_path) out_path = BOOK_BUILD_FILE;
    PgnReader reader;
    if (pgn_open(reader, pgn_path) != 0) return;
    print_fmt(" Creating file %s from games in %s", out_path, pgn_path);
    auto index = std::make_unique<BookIndex>();
    auto record = std::make_unique<PgnGame>();
    std::string text;
    bool out_of_memory = false;
    while (!out_of_memory && pgn_next_game(reader, text)) {
        pgn_parse_game(*record, text.data());
        if (record->games % 1024 == 0) print_text(".");
        out_of_memory = add_game(*index, *record) != 0;
    }
    pgn_close(reader);
    if (out_of_memory) {
        print_line("\nout of memory: no book written");
    } else {
        fputs("\nwriting book file ...", stdout);
        const int written = write_book(*index, out_path);
        char summary[160];
        snprintf(summary, sizeof summary, "\nngames= %d, nmoves= %d\nbook contains %d moves\ndone\n\n", record->games,
                 index->nodes, written);
        print_text(summary);
    }
    free_index(*index);
}

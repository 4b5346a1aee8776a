#include "tablebase/registry.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "core/io.h"
#include "core/settings.h"
#include "tablebase/tb_decode.h"
#include "tablebase/tb_index.h"

namespace {

constexpr int PAWNLESS_CAPACITY = 650, PAWNFUL_CAPACITY = 861;  // every name the enumeration makes
constexpr int SLOTS = 4096;
constexpr const char* EXTENSIONS[3] = {".rtbw", ".rtbm", ".rtbz"};
constexpr const char* LETTERS = "QRBNP";  // strongest first, as the file names write them

// Material key constants per piece code (white 1..5, black 9..13); kings count nothing.
constexpr uint64_t KEY_OF[16] = {
    0, 0xec0ade190c0f6003, 0xd2fb81862830191f, 0xaadc1a2be446234d, 0x985deb9fc49333f9, 0xa3ec1abc71e90863, 0, 0,
    0, 0xa24f0f571bb202e7, 0xbaeb854cd3259441, 0xd5a4c95928f2fbe3, 0xfd7866b439b94495, 0xd6e4e47d24962951, 0, 0};

struct Slot {
    uint64_t key;
    std::atomic<TbEntry*> entry;  // null: free, or the material was dropped
};

// The one record of the tables found along SyzygyPath.
struct Registry {
    std::vector<std::string> directories;
    TbEntry* pawnless = nullptr;
    TbEntry* pawnful = nullptr;
    int pawnless_used = 0, pawnful_used = 0;
    Slot slots[SLOTS];
    int wdl_files = 0, dtm_files = 0, dtz_files = 0;
    int max_men = 0;
};

Registry registry;
std::mutex map_mutex;  // serialises the first mapping of every file

int piece_code(char letter) {
    const char* at = strchr(LETTERS, letter);
    return at ? 5 - int(at - LETTERS) : KING;
}

uint64_t key_of_counts(const uint8_t* counts, bool mirrored) {
    uint64_t key = 0;
    for (int code = 0; code < 16; code++) key += counts[code] * KEY_OF[mirrored ? code ^ 8 : code];
    return key;
}

void add_key(uint64_t key, TbEntry* entry) {
    int at = int(key >> 52);
    while (registry.slots[at].key) at = (at + 1) & (SLOTS - 1);
    registry.slots[at].key = key;
    registry.slots[at].entry.store(entry, std::memory_order_release);
}

void remove_key(uint64_t key) {
    for (int at = int(key >> 52); registry.slots[at].key; at = (at + 1) & (SLOTS - 1))
        if (registry.slots[at].key == key) registry.slots[at].entry.store(nullptr, std::memory_order_release);
}

void drop(TbEntry& e) {
    remove_key(e.matKey);
    remove_key(key_of_counts(e.counts, true));
}

// A file whose length cannot be 64 k + 16 was cut short.
bool size_is_whole(int fd, const char* name, const char* extension) {
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size % 64 == 16) return true;
    fprintf(stderr, "Incomplete tablebase file %s.%s\n", name, extension + 1);
    print_fmt("info string Incomplete tablebase file %s.%s", name, extension + 1);
    return false;
}

// 1 when the file exists with a whole length, 0 otherwise (reported when cut short).
int file_present(const char* name, int kind) {
    int fd = tb_find_file(name, EXTENSIONS[kind]);
    if (fd < 0) return 0;
    bool whole = size_is_whole(fd, name, EXTENSIONS[kind]);
    close(fd);
    return whole;
}

void clear_entry(TbEntry& e) {
    for (int kind = 0; kind < 3; kind++) {
        e.loaded[kind].store(false);
        e.data[kind] = nullptr;
        e.size[kind] = 0;
        e.table[kind] = nullptr;
    }
    e.dropped.store(false);
}

void describe_material(TbEntry& e, const char* name) {
    memset(e.counts, 0, sizeof e.counts);
    int color = 0;
    for (const char* c = name; *c; c++) {
        if (*c == 'v')
            color = 8;
        else
            e.counts[piece_code(*c) | color]++;
    }
    snprintf(e.name, sizeof e.name, "%s", name);
    e.menCount = uint8_t(strlen(name) - 1);
    e.matKey = key_of_counts(e.counts, false);
    e.sameBothSides = e.matKey == key_of_counts(e.counts, true);
    int white = e.counts[PAWN], black = e.counts[PAWN | 8];
    e.pawnful = white + black > 0;
    bool black_leads = black > 0 && (white == 0 || black < white);
    e.pawns[0] = uint8_t(black_leads ? black : white);
    e.pawns[1] = uint8_t(black_leads ? white : black);
    int unique = 0;
    for (uint8_t count : e.counts) unique += count == 1;
    e.kingPairCode = !e.pawnful && unique == 2;
}

void register_table(const char* name) {
    if (!file_present(name, TB_WDL)) return;
    bool pawnful = strchr(name, 'P') != nullptr;
    int& used = pawnful ? registry.pawnful_used : registry.pawnless_used;
    if (used >= (pawnful ? PAWNFUL_CAPACITY : PAWNLESS_CAPACITY)) return;
    TbEntry& e = (pawnful ? registry.pawnful : registry.pawnless)[used++];
    clear_entry(e);
    describe_material(e, name);
    registry.wdl_files++;
    e.dtmPresent = file_present(name, TB_DTM);
    e.dtzPresent = file_present(name, TB_DTZ);
    registry.dtm_files += e.dtmPresent;
    registry.dtz_files += e.dtzPresent;
    if (e.menCount > registry.max_men) registry.max_men = e.menCount;
    add_key(e.matKey, &e);
    if (!e.sameBothSides) add_key(key_of_counts(e.counts, true), &e);
}

// Every side of `size` men, letters in the file names' order (QQR, QRB, ...).
void sides_of_size(int size, int first_letter, std::string& side, std::vector<std::string>& out) {
    if (int(side.size()) == size) {
        out.push_back(side);
        return;
    }
    for (int l = first_letter; l < 5; l++) {
        side.push_back(LETTERS[l]);
        sides_of_size(size, l, side, out);
        side.pop_back();
    }
}

bool stronger(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return strchr(LETTERS, x) < strchr(LETTERS, y); });
}

// Every material of three to seven men under its file name: the side with more
// men first, and of equal sides the one with the stronger men.
void register_every_material() {
    std::vector<std::string> sides[6];
    for (int size = 0; size <= 5; size++) {
        std::string side;
        sides_of_size(size, 0, side, sides[size]);
    }
    for (int total = 1; total <= 5; total++)
        for (int first = total; 2 * first >= total; first--)
            for (const std::string& a : sides[first])
                for (const std::string& b : sides[total - first]) {
                    if (a.size() == b.size() && stronger(b, a)) continue;
                    register_table(("K" + a + "vK" + b).c_str());
                }
}

void split_path(const char* path) {
    std::string directory;
    for (const char* c = path;; c++) {
        if (*c == ';' || *c == ':' || *c == 0) {
            if (!directory.empty()) registry.directories.push_back(directory);
            directory.clear();
            if (!*c) break;
        } else {
            directory.push_back(*c == '\\' ? '/' : *c);
        }
    }
}

void release_all() {
    for (int i = 0; i < registry.pawnless_used; i++) tb_release_entry(registry.pawnless[i]);
    for (int i = 0; i < registry.pawnful_used; i++) tb_release_entry(registry.pawnful[i]);
    registry.pawnless_used = registry.pawnful_used = 0;
    registry.wdl_files = registry.dtm_files = registry.dtz_files = 0;
    registry.directories.clear();
    for (Slot& slot : registry.slots) {
        slot.key = 0;
        slot.entry.store(nullptr);
    }
}

// Maps one kind of an entry and builds its decoding data; under map_mutex.
bool map_file(TbEntry& e, int kind) {
    int fd = tb_find_file(e.name, EXTENSIONS[kind]);
    if (fd < 0) {  // gone since the set-up: later probes fail without asking the disk again
        e.dropped.store(true);
        drop(e);
        return false;
    }
    struct stat st;
    size_t size = fstat(fd, &st) == 0 ? size_t(st.st_size) : 0;
    if (size < 64 || size % 64 != 16) {  // changed since the set-up: never map a cut file
        close(fd);
        tb_report_corrupted(e, kind);
        return false;
    }
    void* data = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    int error = errno;
    close(fd);
    if (data == MAP_FAILED) {
        fprintf(stderr, "mmap() failed, error = %d.\n", error);
        fprintf(stderr, "Could not map %s%s into memory.\n", e.name, EXTENSIONS[kind]);
        exit(1);
    }
    TbTable* table = tb_decode_init(e, kind, static_cast<const uint8_t*>(data), size);
    if (!table) {
        munmap(data, size);
        tb_report_corrupted(e, kind);
        return false;
    }
    e.data[kind] = static_cast<const uint8_t*>(data);
    e.size[kind] = size;
    e.table[kind] = table;
    return true;
}

}  // namespace

void tb_setup() {
    static bool index_tables_ready = false;
    if (!index_tables_ready) {
        tb_init_index_tables();
        index_tables_ready = true;
    }
    registry.max_men = 0;
    release_all();
    const char* path = options.syzygy_path;
    if (!path[0] || strcmp(path, "<empty>") == 0) return;

    split_path(path);
    if (!registry.pawnless) {
        registry.pawnless = new (std::nothrow) TbEntry[PAWNLESS_CAPACITY];
        registry.pawnful = new (std::nothrow) TbEntry[PAWNFUL_CAPACITY];
        if (!registry.pawnless || !registry.pawnful) {
            fputs("Out of memory.\n", stderr);
            exit(1);
        }
    }
    register_every_material();
    print_fmt("info string Found %d WDL, %d DTM and %d DTZ tablebase files. Largest %d-men", registry.wdl_files,
              registry.dtm_files, registry.dtz_files, registry.max_men);
    fflush(stdout);
}

void tb_free() {
    release_all();
    registry.max_men = 0;
    delete[] registry.pawnless;
    delete[] registry.pawnful;
    registry.pawnless = registry.pawnful = nullptr;
}

int tb_find_file(const char* name, const char* extension) {
    char path[4096];
    for (const std::string& directory : registry.directories) {
        snprintf(path, sizeof path, "%s/%s%s", directory.c_str(), name, extension);
        int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd >= 0) return fd;
    }
    return -1;
}

void tb_release_entry(TbEntry& e) {
    for (int kind = 0; kind < 3; kind++) {
        if (e.data[kind] && munmap(const_cast<uint8_t*>(e.data[kind]), e.size[kind]) != 0)
            fprintf(stderr, "unmap failed, error code %d\n", errno);
        tb_decode_free(e.table[kind]);
    }
    clear_entry(e);
}

int tb_max_men() { return registry.max_men; }

uint64_t tb_material_key(const TbPosition& pos, bool mirrored) {
    uint8_t counts[16] = {};
    for (int color = WHITE; color <= BLACK; color++)
        for (int type = PAWN; type <= QUEEN; type++) counts[type | color << 3] = uint8_t(popcount(tb_pieces(pos, color, type)));
    return key_of_counts(counts, mirrored);
}

TbEntry* tb_find_entry(uint64_t key) {
    for (int at = int(key >> 52); registry.slots[at].key; at = (at + 1) & (SLOTS - 1))
        if (registry.slots[at].key == key) return registry.slots[at].entry.load(std::memory_order_acquire);
    return nullptr;
}

const TbTable* tb_table(TbEntry& e, int kind) {
    if (e.loaded[kind].load(std::memory_order_acquire)) return e.table[kind];
    std::lock_guard<std::mutex> lock(map_mutex);
    if (e.loaded[kind].load(std::memory_order_relaxed)) return e.table[kind];
    if (e.dropped.load() || !map_file(e, kind)) return nullptr;
    e.loaded[kind].store(true, std::memory_order_release);
    return e.table[kind];
}

void tb_report_corrupted(TbEntry& e, int kind) {
    if (e.dropped.exchange(true)) return;
    fprintf(stderr, "Corrupted table.\n");
    fprintf(stderr, "Tablebase file %s%s is not used.\n", e.name, EXTENSIONS[kind]);
    drop(e);
}

#include "tablebase/tb_decode.h"

#include <cstring>
#include <vector>

#include "tablebase/tb_index.h"

namespace {

constexpr uint32_t MAGIC[3] = {0x5d23e871, 0x88ac504b, 0xa50c66d7};
constexpr uint8_t FLAG_SINGLE = 0x80, FLAG_MAPS = 0x02, FLAG_WIDE_MAPS = 0x10;
constexpr int NO_ORDER = -1;

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// Sequential reads that never leave the file: a read past the end clears ok
// and yields zeros, so a parser checks ok once per section.
struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool ok = true;

    const uint8_t* take(uint64_t count) {
        if (!ok || count > size - at) {
            ok = false;
            return data;
        }
        const uint8_t* p = data + at;
        at += size_t(count);
        return p;
    }
    uint8_t u8() { return ok && at < size ? data[at++] : (ok = false, 0); }
    uint16_t u16() { const uint8_t* p = take(2); return ok ? le16(p) : 0; }
    uint32_t u32() { const uint8_t* p = take(4); return ok ? le32(p) : 0; }
    void align(size_t unit) { take((unit - at % unit) % unit); }
};

int leading_pawn_code(const TbEntry& e) {
    int white = e.counts[1], black = e.counts[9];
    return black > 0 && (white == 0 || black < white) ? 9 : 1;
}

// Checks one sub-table's piece order and derives its groups, their factors and its size.
bool build_index(TbSubTable& sub, const TbEntry& e, const TbTable& t, int order, int order2, int file_group) {
    int n = e.menCount;
    uint8_t seen[16] = {};
    for (int j = 0; j < n; j++) {
        int code = sub.pieces[j];
        if (j > 0 && seen[code] && sub.pieces[j - 1] != code) return false;  // equal codes must be adjacent
        seen[code]++;
    }
    if (memcmp(seen, e.counts, sizeof seen) != 0) return false;

    uint64_t size[TB_MAX_MEN];
    int lead, count = 1;
    if (!e.pawnful) {
        lead = e.kingPairCode ? 2 : 3;
        for (int j = 0; j < lead; j++)
            if (e.counts[sub.pieces[j]] != 1 || (e.kingPairCode && (sub.pieces[j] & 7) != KING)) return false;
        size[0] = e.kingPairCode ? 462 : 31332;
    } else {
        int p = e.pawns[0], q = e.pawns[1];
        if (p < 1 || p > 6) return false;
        for (int j = 0; j < p + q; j++)
            if (sub.pieces[j] != (j < p ? t.leadCode : t.leadCode ^ 8)) return false;
        lead = p;
        size[0] = tb_pawn_factor(p, file_group);
        if (q > 0) {
            sub.groupLen[1] = uint8_t(q);
            size[1] = tb_binomial(48 - p, q);
            count = 2;
        }
    }
    sub.groupLen[0] = uint8_t(lead);
    sub.secondPawnGroup = count == 2;
    for (int i = lead + (count == 2 ? sub.groupLen[1] : 0); i < n; count++) {
        int run = 1;
        while (i + run < n && sub.pieces[i + run] == sub.pieces[i]) run++;
        sub.groupLen[count] = uint8_t(run);
        size[count] = tb_binomial(64 - i, run);
        i += run;
    }
    sub.groupCount = uint8_t(count);
    if (order >= count || (sub.secondPawnGroup ? order2 >= count || order2 == order : order2 != NO_ORDER)) return false;

    // The leading group and the second pawn group take the places their
    // orders name in the sequence of factors; ordinary groups fill the rest.
    uint64_t factor = 1;
    for (int k = 0, ordinary = sub.secondPawnGroup ? 2 : 1; k < count; k++) {
        int g = k == order ? 0 : k == order2 ? 1 : ordinary++;
        if (size[g] == 0 || factor > (uint64_t(1) << 62) / size[g]) return false;
        sub.factor[g] = factor;
        factor *= size[g];
    }
    sub.size = factor;
    return true;
}

bool parse_code_header(Reader& r, TbSubTable& sub, int kind) {
    sub.flags = r.u8();
    if (sub.flags & FLAG_SINGLE) {
        sub.single = true;
        sub.singleValue = kind == TB_WDL ? r.u8() : (r.u8(), 0);
        return r.ok && sub.singleValue <= 4;
    }
    sub.blockBits = r.u8();
    sub.idxBits = r.u8();
    int extra = r.u8();
    sub.realBlocks = r.u32();
    sub.numBlocks = sub.realBlocks + uint32_t(extra);
    sub.maxLen = r.u8();
    sub.minLen = r.u8();
    if (!r.ok || sub.minLen < 1 || sub.minLen > sub.maxLen || sub.maxLen > 32 || sub.idxBits < 1 ||
        sub.idxBits > 63 || sub.blockBits > 24 || sub.numBlocks < sub.realBlocks)
        return false;
    for (int l = sub.minLen; l <= sub.maxLen; l++) sub.offset[l] = r.u16();
    sub.numSyms = r.u16();
    sub.symbols = r.take(3 * uint64_t(sub.numSyms));
    if (sub.numSyms & 1) r.u8();
    if (!r.ok || sub.numSyms == 0 || sub.numSyms > 4095) return false;

    // Codes of one length are consecutive numbers; shorter codes are larger.
    uint64_t base = 0;
    sub.base[sub.maxLen] = 0;
    for (int l = sub.maxLen - 1; l >= sub.minLen; l--) {
        if (sub.offset[l] < sub.offset[l + 1]) return false;
        base = (base + sub.offset[l] - sub.offset[l + 1]) / 2;
        if (base >= uint64_t(1) << l) return false;
        sub.base[l] = base << (64 - l);
    }
    sub.numIdx = (sub.size >> sub.idxBits) + ((sub.size & ((uint64_t(1) << sub.idxBits) - 1)) != 0);
    return true;
}

bool is_leaf(const uint8_t* symbol) { return (symbol[1] >> 4 | symbol[2] << 4) == 0xFFF; }
int left_of(const uint8_t* symbol) { return symbol[0] | (symbol[1] & 0x0F) << 8; }
int right_of(const uint8_t* symbol) { return symbol[1] >> 4 | symbol[2] << 4; }

// How many values each symbol stands for; the pairs must form no cycle.
bool count_values(TbSubTable& sub, int kind) {
    int n = sub.numSyms;
    std::vector<uint8_t> state(size_t(n), 0);  // 0 new, 1 on the stack, 2 done
    std::vector<int> stack;
    for (int root = 0; root < n; root++) {
        if (state[size_t(root)]) continue;
        stack.push_back(root);
        state[size_t(root)] = 1;
        while (!stack.empty()) {
            int s = stack.back();
            const uint8_t* sym = sub.symbols + 3 * s;
            if (is_leaf(sym)) {
                if (kind == TB_WDL && left_of(sym) > 4) return false;
                sub.valueCount[s] = 0;
            } else {
                int children[2] = {left_of(sym), right_of(sym)}, pending = -1;
                for (int c : children) {
                    if (c >= n || state[size_t(c)] == 1) return false;
                    if (state[size_t(c)] == 0 && pending < 0) pending = c;
                }
                if (pending >= 0) {
                    state[size_t(pending)] = 1;
                    stack.push_back(pending);
                    continue;
                }
                uint64_t values = uint64_t(sub.valueCount[children[0]]) + sub.valueCount[children[1]] + 1;
                sub.valueCount[s] = uint32_t(values < 0x7FFFFFFF ? values : 0x7FFFFFFF);
            }
            state[size_t(s)] = 2;
            stack.pop_back();
        }
    }
    return true;
}

void parse_maps(Reader& r, TbSubTable& sub) {
    bool wide = sub.flags & FLAG_WIDE_MAPS;
    if (wide) r.align(2);
    for (int cls = 0; cls < 4; cls++) {
        sub.mapCount[cls] = wide ? r.u16() : r.u8();
        sub.map[cls] = r.take(uint64_t(sub.mapCount[cls]) * (wide ? 2 : 1));
    }
}

// Every sparse-index entry must point into the block table, and the blocks
// must hold every position.
bool check_blocks(const TbSubTable& sub) {
    uint64_t values = 0;
    for (uint32_t b = 0; b < sub.realBlocks; b++) values += le16(sub.blockLen + 2 * b) + 1u;
    if (values < sub.size) return false;
    for (uint64_t k = 0; k < sub.numIdx; k++) {
        uint32_t block = le32(sub.sparse + 6 * k);
        if (block >= sub.numBlocks || le16(sub.sparse + 6 * k + 4) > le16(sub.blockLen + 2 * block)) return false;
    }
    return true;
}

bool parse(TbTable& t, const TbEntry& e, int kind, const uint8_t* data, size_t size) {
    Reader r{data, size};
    if (r.u32() != MAGIC[kind]) return false;
    int header = r.u8();
    bool split = header & 1;
    if (!r.ok || bool(header & 2) != e.pawnful || split == e.sameBothSides || (header >> 4) != e.menCount ||
        (header & 0x0C))
        return false;
    t.kind = kind;
    t.men = e.menCount;
    t.pawnful = e.pawnful;
    t.groups = e.pawnful ? 4 : 1;
    t.sides = kind == TB_WDL && split ? 2 : 1;
    t.leadCode = uint8_t(e.pawnful ? leading_pawn_code(e) : 0);
    bool second_order = e.pawnful && e.pawns[1] > 0;

    for (int g = 0; g < t.groups; g++) {
        int order_byte = r.u8(), order2_byte = second_order ? r.u8() : 0;
        const uint8_t* pieces = r.take(e.menCount);
        if (!r.ok) return false;
        for (int side = 0; side < t.sides; side++) {
            TbSubTable& sub = t.sub[g * t.sides + side];
            auto nibble = [side](int byte) { return side == 0 ? byte & 15 : byte >> 4; };
            for (int j = 0; j < e.menCount; j++) sub.pieces[j] = uint8_t(nibble(pieces[j]));
            int order2 = second_order ? nibble(order2_byte) : NO_ORDER;
            if (!build_index(sub, e, t, nibble(order_byte), order2, g)) return false;
        }
    }
    r.align(2);

    int count = t.groups * t.sides;
    size_t symbols = 0;
    for (int i = 0; i < count; i++) {
        if (!parse_code_header(r, t.sub[i], kind)) return false;
        symbols += t.sub[i].numSyms;
    }
    if (kind == TB_DTZ) {
        for (int g = 0; g < t.groups; g++) {
            TbSubTable& sub = t.sub[g];
            if (e.sameBothSides && (sub.flags & 1)) return false;
            if (sub.flags & FLAG_MAPS) parse_maps(r, sub);
        }
        r.align(2);
    }
    for (int i = 0; i < count; i++)
        if (!t.sub[i].single) t.sub[i].sparse = r.take(6 * t.sub[i].numIdx);
    for (int i = 0; i < count; i++)
        if (!t.sub[i].single) t.sub[i].blockLen = r.take(2 * uint64_t(t.sub[i].numBlocks));
    r.align(64);
    for (int i = 0; i < count; i++) {
        if (t.sub[i].single) continue;
        t.sub[i].blocks = r.take(uint64_t(t.sub[i].realBlocks) << t.sub[i].blockBits);
        r.align(64);
    }
    if (!r.ok || r.at + 16 != size) return false;

    t.valueCounts = new uint32_t[symbols > 0 ? symbols : 1];
    for (int i = 0, used = 0; i < count; i++) {
        TbSubTable& sub = t.sub[i];
        if (sub.single) continue;
        sub.valueCount = t.valueCounts + used;
        used += sub.numSyms;
        if (!count_values(sub, kind) || !check_blocks(sub)) return false;
    }
    return true;
}

// 32 bits of a block from byte at on, most significant first; zeros past its end.
uint32_t block_bits(const uint8_t* block, size_t at, size_t size) {
    uint32_t v = 0;
    for (size_t i = at; i < at + 4; i++) v = v << 8 | (i < size ? block[i] : 0);
    return v;
}

}  // namespace

TbTable* tb_decode_init(const TbEntry& entry, int kind, const uint8_t* data, size_t size) {
    TbTable* table = new TbTable{};
    if (parse(*table, entry, kind, data, size)) return table;
    tb_decode_free(table);
    return nullptr;
}

void tb_decode_free(TbTable* table) {
    if (!table) return;
    delete[] table->valueCounts;
    delete table;
}

int tb_decode_value(const TbSubTable& sub, uint64_t index) {
    if (sub.single) return sub.singleValue;
    if (index >= sub.size) return -1;

    // The sparse entry names the block and offset of the middle of the index's interval.
    const uint8_t* entry = sub.sparse + 6 * (index >> sub.idxBits);
    int64_t block = le32(entry);
    int64_t r = int64_t(index & ((uint64_t(1) << sub.idxBits) - 1)) - (int64_t(1) << (sub.idxBits - 1)) + le16(entry + 4);
    auto block_values = [&](int64_t b) { return int64_t(le16(sub.blockLen + 2 * b)) + 1; };
    while (r < 0) {
        if (block == 0) return -1;
        r += block_values(--block);
    }
    while (r >= block_values(block)) {
        r -= block_values(block);
        if (++block >= sub.numBlocks) return -1;
    }
    if (block >= sub.realBlocks) return -1;

    size_t block_size = size_t(1) << sub.blockBits;
    const uint8_t* start = sub.blocks + size_t(block) * block_size;
    uint64_t code = uint64_t(block_bits(start, 0, block_size)) << 32 | block_bits(start, 4, block_size);
    size_t next = 8;  // byte of the next refill
    int used = 0;     // bits of code consumed since the last refill
    int sym;
    for (;;) {
        int l = sub.minLen;
        while (code < sub.base[l]) l++;
        sym = sub.offset[l] + int((code - sub.base[l]) >> (64 - l));
        if (sym >= sub.numSyms) return -1;
        if (r <= sub.valueCount[sym]) break;
        r -= int64_t(sub.valueCount[sym]) + 1;
        code <<= l;
        used += l;
        if (used >= 32) {
            used -= 32;
            code |= uint64_t(block_bits(start, next, block_size)) << used;
            next += 4;
            if (next > block_size + 8) return -1;  // codes never run past their block
        }
    }
    for (;;) {
        const uint8_t* s = sub.symbols + 3 * sym;
        if (is_leaf(s)) return left_of(s);
        int left = left_of(s);
        if (r <= sub.valueCount[left]) {
            sym = left;
        } else {
            r -= int64_t(sub.valueCount[left]) + 1;
            sym = right_of(s);
        }
    }
}

int tb_map_value(const TbSubTable& sub, int cls, int symbol) {
    if (symbol >= sub.mapCount[cls]) return -1;
    return sub.flags & FLAG_WIDE_MAPS ? le16(sub.map[cls] + 2 * symbol) : sub.map[cls][symbol];
}

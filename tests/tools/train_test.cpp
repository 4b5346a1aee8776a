// The trainer on small synthetic sets: it learns material values, its
// networks evaluate in the engine as they did in training, runs repeat
// exactly, and the train build trains from the command line.

#include <cmath>
#include <cstring>
#include <random>

#include "eval/nn/infer.h"
#include "eval/nn/network_file.h"
#include "records_helpers.h"
#include "tools/trainer/trainer.h"

namespace {

// Centipawns of material, side to move minus the other side (P 100, N 300, B 320, R 500, Q 900).
int material_balance(const Position& pos) {
    static constexpr int VALUE[7] = {0, 100, 300, 320, 500, 900, 0};
    int balance = 0;
    for (int type = PAWN; type <= QUEEN; type++)
        balance += VALUE[type] * (popcount(pos.pieces[pos.side][type]) - popcount(pos.pieces[pos.side ^ 1][type]));
    return balance;
}

// Records of real game positions whose scores are their material balance, in
// random order, so that the validation share looks like the rest.
std::vector<PackedPosition> material_records(uint64_t seed, int games) {
    std::vector<PackedPosition> records;
    for (const std::string& fen : random_game_fens(seed, games, 200)) {
        const int balance = std::clamp(material_balance(board_from(fen)->pos), -1200, 1200);
        records.push_back(record_of(fen, balance, balance, balance));
    }
    std::mt19937 rng{uint32_t(seed)};
    for (size_t i = records.size(); i > 1; i--) std::swap(records[i - 1], records[rng() % i]);
    return records;
}

TrainerConfig small_config(uint64_t positions) {
    TrainerConfig config;
    config.positions = positions;
    config.batch = 256;
    config.learning_rate = 0.01f;
    config.threads = 2;
    config.report_seconds = 0;
    return config;
}

// Samples and positions of the records the trainer uses.
struct Accepted {
    std::vector<TrainSample> samples;
    std::vector<Position> positions;
};
Accepted accepted(const TrainNet& net, const std::vector<PackedPosition>& records) {
    Accepted a;
    Position pos{};
    for (size_t i = 0; i < records.size(); i++) {
        float target;
        if (!usable_training_record(records.data(), uint32_t(i), pos, target)) continue;
        a.samples.emplace_back();
        make_sample(net.header, pos, target, a.samples.back());
        a.positions.push_back(pos);
    }
    return a;
}

}  // namespace

TEST(Train, LossFallsAndTheNetworkLearnsMaterialValues) {
    const std::vector<PackedPosition> records = material_records(21, 100);
    ASSERT_GT(records.size(), 5000u);
    TrainNet net;
    ASSERT_EQ(train_net_create(net, trainer_header(32), 5), 0);
    TrainReport report;
    ASSERT_EQ(train_network(net, records.data(), uint32_t(records.size()), small_config(600000), report), 0);
    EXPECT_GE(report.positions, 600000u);
    EXPECT_GT(report.epochs, 50);
    EXPECT_LT(report.last_loss, report.first_loss / 10);
    // Positions never seen: the piece values carry over. The engine's evaluation of the
    // same network agrees (and the trainer's scores match the engine's, see below).
    EXPECT_LT(report.validation_loss, 0.003);
    EXPECT_NEAR(report.engine_loss, report.validation_loss, 0.0005);
}

// A network grown wider (and to a second input bucket) scores every position
// as before in the engine; saved and loaded, it evaluates in the engine as in
// the trainer, and training can go on from exactly its weights.
TEST(Train, GrownAndSavedNetworksEvaluateInTheEngineAsInTheTrainer) {
    const std::vector<PackedPosition> records = material_records(25, 10);
    TrainNet net;
    ASSERT_EQ(train_net_create(net, trainer_header(16, 1), 7), 0);
    TrainReport report;
    ASSERT_EQ(train_network(net, records.data(), uint32_t(records.size()), small_config(100000), report), 0);
    train_net_snap(net);
    TrainNet grown = net;
    ASSERT_EQ(train_net_grow(grown, 48, 2, 3), 0);
    ASSERT_EQ(grown.H * 10 + grown.header.input_buckets, 482);
    train_net_snap(grown);
    // The engine's scores with either network on every position of the set (the endgames use the new bucket).
    auto engine_scores = [&](const TrainNet& n, int& endgames) {
        EXPECT_EQ(train_net_install(n), 0);
        std::vector<int> scores;
        NNState st{};
        Position pos{};
        endgames = 0;
        for (uint32_t i = 0; i < records.size(); i++) {
            float target;
            decode_training_record(records.data(), i, pos, target);
            st.eval_ply = int16_t(i % 5);  // the engine's update path as well as rebuilds
            scores.push_back(nn_evaluate(st, pos));
            endgames += std::max(st.mat_white, st.mat_black) < 10;
        }
        nn_state_free(st);
        return scores;
    };
    int endgames = 0;
    const std::vector<int> before = engine_scores(net, endgames);
    EXPECT_EQ(engine_scores(grown, endgames), before);
    EXPECT_GT(endgames, 100);
    EXPECT_GT(std::count_if(before.begin(), before.end(), [](int v) { return std::abs(v) > 100; }), 100);

    const std::string path = make_scratch_dir("trainsave") + "/net.net";
    ASSERT_EQ(train_net_save(grown, path.c_str()), 0);
    load_network_file(path);
    ASSERT_EQ(std::tuple(network.acc_size_white(), network.header.input_buckets, network.header.output_bucket_mode), std::tuple(48, 2, 6));
    const Accepted all = accepted(grown, records);
    TrainScratch scratch(grown.H);
    NNState st{};
    int differ = 0;
    for (size_t i = 0; i < all.samples.size(); i++) {
        st.eval_ply = int16_t(i % 5);
        const int engine = nn_evaluate(st, all.positions[i]), trainer = train_net_score(grown, all.samples[i], scratch);
        ASSERT_LE(std::abs(engine - trainer), 1) << i;
        differ += engine != trainer;
    }
    EXPECT_LT(differ, int(all.samples.size()) / 4);  // the rest agree to the centipawn
    nn_state_free(st);
    TrainNet again;
    ASSERT_EQ(train_net_from_network(again, network), 0);
    EXPECT_EQ(again.params, grown.params);
    // The new neurons join in once training goes on; networks only grow wider, by sixteens.
    ASSERT_EQ(train_network(grown, records.data(), uint32_t(records.size()), small_config(20000), report), 0);
    int moved = 0;
    for (int k = 16; k < 48; k++) moved += grown.params[grown.out_own + size_t(k)] != 0.0f;
    EXPECT_GT(moved, 16);
    for (auto [h, buckets] : {std::pair{32, 2}, {48, 1}, {56, 2}}) EXPECT_EQ(train_net_grow(grown, h, buckets, 3), -1) << h;
    load_network_file("embedded");
}

TEST(Train, RunsRepeatExactlyWhateverTheThreadCountAndShapesItCannotTrainAreRefused) {
    const std::vector<PackedPosition> records = material_records(23, 6);
    auto run = [&](int threads, uint32_t seed) {
        TrainNet net;
        EXPECT_EQ(train_net_create(net, trainer_header(16), 3), 0);
        TrainerConfig config = small_config(30000);
        config.threads = threads;
        config.seed = seed;
        TrainReport report;
        EXPECT_EQ(train_network(net, records.data(), uint32_t(records.size()), config, report), 0);
        return net.params;
    };
    const std::vector<float> one = run(1, 4);
    EXPECT_EQ(run(2, 4), one);
    EXPECT_EQ(run(3, 4), one);
    EXPECT_NE(run(2, 5), one);
    TrainNet net;
    NetworkHeader hidden = trainer_header(32);
    hidden.sizes[SIZE_HIDDEN] = 8;
    EXPECT_EQ(train_net_create(net, trainer_header(40), 1), -1);  // not a multiple of 16
    EXPECT_EQ(train_net_create(net, hidden, 1), -1);
    ASSERT_EQ(train_net_create(net, trainer_header(16), 1), 0);
    TrainReport report;
    EXPECT_EQ(train_network(net, records.data(), 0, small_config(1000), report), -1);
}

TEST(Train, TrainBuildTrainsFromTheCommandLine) {
    const std::string dir = make_scratch_dir("trainbuild");
    write_records(dir + "/set.bin", material_records(24, 12));
    write_file(dir + "/continue.cfg", "NN_File = quox-trained.net\n");
    auto train = [&](const std::vector<std::string>& args, int code = 0) {
        std::string out;
        EXPECT_EQ(run_engine(args, "", out, dir, 120000, train_binary()), code) << out;
        return out;
    };
    std::string out = train({"-quiet", "-train", "set.bin", "1", "-hidden", "16", "-mbatch", "1024", "-lr", "0.01"});
    EXPECT_TRUE(contains(out, "training a new network of 16 neurons on") && contains(out, "saved quox-trained.net\n")) << out;
    EXPECT_FALSE(read_file(dir + "/quox-ckpt-001.net").empty());
    const std::string net = read_file(dir + "/quox-trained.net");
    ASSERT_EQ(net.size(), NET_HEADER_BYTES + 2u * network_weight_count(trainer_header(16)));
    // Continuing from that network with -train2 and no validation share; widened first, it saves the new shape.
    out = train({"-quiet", "-cfg", "continue.cfg", "-train2", "set.bin", "1", "1", "-o", "more.net"});
    EXPECT_TRUE(contains(out, "training the loaded network of 16 neurons") && contains(out, "saved more.net\n")) << out;
    out = train({"-quiet", "-cfg", "continue.cfg", "-train2", "set.bin", "1", "-hidden", "32", "-o", "wide.net"});
    EXPECT_TRUE(contains(out, "grew the loaded network of 16 neurons and 2 input buckets to 32 and 2\n")) << out;
    NetworkHeader h;
    decode_header(reinterpret_cast<const uint8_t*>(read_file(dir + "/wide.net").data()), h);
    EXPECT_EQ(h.sizes[SIZE_ACC_WHITE], 32);
    out = train({"-quiet", "-cfg", "continue.cfg", "-train2", "set.bin", "1", "-buckets", "1"}, 1);
    EXPECT_TRUE(contains(out, "can't grow the loaded network of 16 neurons and 2 input buckets to 16 and 1")) << out;
}

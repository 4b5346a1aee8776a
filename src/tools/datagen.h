// Self-play training data: games from random opening lines of
// "mybook_6mv.epd", each quiet position written with its search score and the
// game's result, and the games themselves to "autogen.pgn".
#pragma once
#include <cstdint>
#include <cstdio>

// Plays `games` games (lines that give no position and games shorter than 30
// plies count too) with the search limits of the command line and writes the
// positions to options.training_file as "FEN ce n; gr r;" lines.
void generate_training_data(uint64_t games);

// One searched position of a generated game.
struct GeneratedPly {
    char fen[96];
    char move[40];        // SAN (castling as a king move) and the score comment
    int16_t static_eval;  // root static evaluation; -3000 in check
    int16_t qscore;       // root quiescence score
    int16_t score;        // final search score
    uint8_t side;
};

// The adjudication of a searched position: +1 the side to move wins, -1 it
// loses, 0 a draw, 2 play on. score: this search's; prev: the previous
// search's (the opponent's view); ply: the game ply of this search (0 first).
int adjudicate(int score, int prev, int ply);

// Writes a finished game of `count` searched plies: nothing when it is shorter
// than 30 plies; else the game to pgn and, from ply 8 on, every quiet
// position to out with the result for its side to move (results[colour]: 1,
// 0.5 or 0). Returns the number of training lines written.
int write_generated_game(FILE* pgn, FILE* out, uint64_t game_number, const char* opening_fen,
                         const GeneratedPly* plies, int count, const float results[2]);

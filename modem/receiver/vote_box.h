// Vote box: a small weighted ballot over 64-bit symbol values. A detector
// casts one vote per history frame of a slot (the frame's symbol, weighted by
// its confidence) and takes the symbol with the largest summed weight. It
// serves the length symbol and every data symbol of a transmission.
//
// Entries keep the order in which their symbols first arrived, which decides
// ties: the symbol seen first in the window wins.
#pragma once

#include <cstdint>

struct vote_box {
    // Most distinct symbols it holds. Wide enough for any window a detector
    // reads: a box of 8 bits would wrap a 256-frame window to nothing.
    uint32_t capacity;
    uint32_t count;    // entries in use
    uint64_t *symbols; // capacity values, owned
    float *weights;    // capacity summed weights parallel to symbols, owned
    int32_t winner;    // index of the winning entry, -1 for none
};

// Empty, no winner. None when memory runs out.
vote_box *new_vote_box(uint32_t capacity);
// Frees both arrays and the record. Accepts NULL.
void del_vote_box(vote_box *box);
// Empties the box and forgets the winner; the arrays keep stale values that
// are never read again.
void vote_box_clear(vote_box *box);
// Adds weight to the entry of symbol, or opens a new entry when there is room.
// False, dropping the vote, when the symbol is new and the box is full.
bool vote_box_add(vote_box *box, uint64_t symbol, float weight);
// Picks the entry with the largest summed weight, strictly above 0: equal
// weights go to the earlier entry, and a box of weightless votes has no winner.
void vote_box_decide(vote_box *box);
// The winning symbol, or all ones when there is none.
uint64_t vote_box_winner(const vote_box *box);
// The winning entry's weight, or the largest finite float when there is none.
float vote_box_winner_weight(const vote_box *box);

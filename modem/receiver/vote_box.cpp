#include "modem/receiver/vote_box.h"

#include "runtime/memory_manager.h"

#include <limits>

vote_box *new_vote_box(uint32_t capacity)
{
    vote_box *box = tracked_alloc<vote_box>(1);
    if (box == nullptr)
        return nullptr;
    box->symbols = tracked_alloc<uint64_t>(capacity);
    box->weights = tracked_alloc<float>(capacity);
    if (box->symbols == nullptr || box->weights == nullptr) {
        del_vote_box(box);
        return nullptr;
    }
    box->capacity = capacity;
    box->winner = -1;
    return box;
}

void del_vote_box(vote_box *box)
{
    if (box == nullptr)
        return;
    tracked_free(box->symbols);
    tracked_free(box->weights);
    tracked_free(box);
}

void vote_box_clear(vote_box *box)
{
    box->count = 0;
    box->winner = -1;
}

bool vote_box_add(vote_box *box, uint64_t symbol, float weight)
{
    for (uint32_t i = 0; i < box->count; ++i) {
        if (box->symbols[i] == symbol) {
            box->weights[i] += weight;
            return true;
        }
    }
    if (box->count >= box->capacity)
        return false;
    box->symbols[box->count] = symbol;
    box->weights[box->count] = weight;
    ++box->count;
    return true;
}

void vote_box_decide(vote_box *box)
{
    box->winner = -1;
    float best = 0.0f;
    for (uint32_t i = 0; i < box->count; ++i) {
        if (box->weights[i] > best) {
            best = box->weights[i];
            box->winner = static_cast<int32_t>(i);
        }
    }
}

uint64_t vote_box_winner(const vote_box *box)
{
    return box->winner < 0 ? ~uint64_t{0} : box->symbols[box->winner];
}

float vote_box_winner_weight(const vote_box *box)
{
    return box->winner < 0 ? std::numeric_limits<float>::max() : box->weights[box->winner];
}

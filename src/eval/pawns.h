// Pawn structure: the pawns-only part (score and file masks, cached in the pawn hash by pawn
// signature) and the terms that also depend on pieces and kings.
#pragma once

#include "board/board.h"
#include "eval/cache.h"
#include "eval/material.h"

// Fills every field of *pEntry but nKey from the pawns of both sides: nScore is the
// pawn-structure score (centipawns, white's point of view); the file masks have bit i for the
// files with square & 7 == i (bit 0 the h-file).
void ComputePawnEntry(const Position* pos, PawnEntry* pEntry);

// The pawn term of the main evaluation (centipawns, white's point of view): the cached or freshly
// computed structure score plus unstoppable passed pawns, passed pawns against a queen, doubled
// pawns, the pawn-ending majority and the king opposition. *pEntry receives a private copy of
// the pawn entry used (its nScore is the cached structure score alone), for the piece terms and
// the trace. material is the position's entry from ProbeMaterial (nKingSq filled). Uses the pawn
// hash when it has entries (hits and misses counted in the calling thread's statistics), else
// computes the entry directly into *pEntry. Safe from any thread.
int EvaluatePawns(const Position* pos, PawnEntry* pEntry, const MaterialEntry& material);

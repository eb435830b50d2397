// Matching a report against the pattern table. The table is compiled once when it is loaded:
// entries that can match are grouped by report length (table order kept within a group), and
// their masks and values packed into 64-bit words, so that a report is compared only with the
// entries of its own length, eight bytes at a time, without allocating.
#pragma once

#include <wdm.h>

#include "vrnkeflt_ioctl.h"

#define VRNKEFLT_WORDS_PER_ENTRY ((VRNKEFLT_MAX_REPORT + 7) / 8)

typedef struct _PATTERN_INDEX {
  // Slots GroupStart[n] .. GroupStart[n + 1] - 1 are the entries for reports of n bytes.
  USHORT GroupStart[VRNKEFLT_MAX_REPORT + 2];
  UCHAR SlotEntry[VRNKEFLT_MAX_PATTERNS];
  // (n + 7) / 8 pairs of words per slot, from SlotWord[slot]: the mask (0xFF where the mask
  // byte is 1) and the value under that mask.
  USHORT SlotWord[VRNKEFLT_MAX_PATTERNS];
  ULONGLONG Words[2 * VRNKEFLT_MAX_PATTERNS * VRNKEFLT_WORDS_PER_ENTRY];
} PATTERN_INDEX;

extern "C" {

// Compiles the first Count entries (at most 150) of the table.
VOID VrnkeBuildPatternIndex(const PATTERN_TABLE* Table, PATTERN_INDEX* Index);
// The first entry that matches the report, or -1.
LONG VrnkeFindPattern(const PATTERN_INDEX* Index, const UCHAR* Report, ULONG Length);
// The same answer from a plain scan of the table, byte by byte.
LONG VrnkeFindPatternByteByByte(const PATTERN_TABLE* Table, const UCHAR* Report, ULONG Length);

}  // extern "C"

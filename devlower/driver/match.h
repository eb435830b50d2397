// Matching a report against the pattern table. The table is compiled once when it is loaded,
// so that the report path only hashes: the entries that can match are grouped by report
// length; within a length, entries that share a mask share one hash table keyed by the masked
// value, which keeps the lowest-numbered entry for each value. A report of length n is masked
// once per distinct mask of length n and looked up; the lowest entry found wins, as in a scan
// of the table. Masks and values are packed into 64-bit words. Nothing is allocated.
#pragma once

#include <wdm.h>

#include "vrnkeflt_ioctl.h"

#define VRNKEFLT_WORDS_PER_ENTRY ((VRNKEFLT_MAX_REPORT + 7) / 8)
#define VRNKEFLT_BUCKETS 512  // a power of two, well above the 150 entries

typedef struct _PATTERN_INDEX {
  // Distinct masks MaskStart[n] .. MaskStart[n + 1] - 1 belong to reports of n bytes, in the
  // order of the first entry that uses each (MaskFirst), so a search stops at the first mask
  // whose entries all come after an entry already found.
  USHORT MaskStart[VRNKEFLT_MAX_REPORT + 2];
  USHORT MaskWord[VRNKEFLT_MAX_PATTERNS];  // (n + 7) / 8 words in Words: 0xFF where the mask is 1
  UCHAR MaskFirst[VRNKEFLT_MAX_PATTERNS];
  // Open addressing: BucketMask is the mask number + 1 (0: empty), BucketEntry the entry.
  USHORT BucketMask[VRNKEFLT_BUCKETS];
  UCHAR BucketEntry[VRNKEFLT_BUCKETS];
  USHORT ValueWord[VRNKEFLT_MAX_PATTERNS];  // per entry: its value under its mask, in Words
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

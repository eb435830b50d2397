// Report matching: the compiled index and the plain scan it must agree with.
#include "match.h"

static ULONG VrnkeUsedEntries(const PATTERN_TABLE* Table) {
  return Table->Count < VRNKEFLT_MAX_PATTERNS ? Table->Count : VRNKEFLT_MAX_PATTERNS;
}

// An entry takes part only when at least one of its first ReportLength mask bytes is 1.
static BOOLEAN VrnkeCanMatch(const PATTERN_ENTRY* Entry) {
  for (ULONG j = 0; j < Entry->ReportLength; ++j) {
    if (Entry->Mask[j] == 1) {
      return TRUE;
    }
  }
  return FALSE;
}

// The mask (0xFF where the mask byte is 1) and the value under it, in whole words.
static VOID VrnkePack(const PATTERN_ENTRY* Entry, ULONGLONG* Mask, ULONGLONG* Value) {
  ULONG n = Entry->ReportLength;
  UCHAR mask[VRNKEFLT_WORDS_PER_ENTRY * 8];
  UCHAR value[VRNKEFLT_WORDS_PER_ENTRY * 8];
  RtlZeroMemory(mask, sizeof mask);
  RtlZeroMemory(value, sizeof value);
  for (ULONG j = 0; j < n; ++j) {
    if (Entry->Mask[j] == 1) {
      mask[j] = 0xFF;
      value[j] = Entry->Value[j];
    }
  }
  RtlCopyMemory(Mask, mask, (n + 7) / 8 * 8);
  RtlCopyMemory(Value, value, (n + 7) / 8 * 8);
}

static const ULONGLONG VrnkeAllOnes[VRNKEFLT_WORDS_PER_ENTRY] = {
    ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL,
    ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL,
    ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL, ~0ULL};

static ULONGLONG VrnkeRotate(ULONGLONG X, int Bits) { return (X << Bits) | (X >> (64 - Bits)); }

// Hash of the words under a mask. Four lanes fold with rotations (no multiply in the loop, no
// chain longer than a quarter of the words), mixed once at the end: a report is masked and
// hashed in one pass, and a packed value (already masked) hashes the same under its mask.
static ULONG VrnkeHash(const ULONGLONG* Words, const ULONGLONG* Mask, ULONG Count, ULONG Seed) {
  ULONGLONG h[4] = {0x9E3779B97F4A7C15ULL ^ Seed, 0xC2B2AE3D27D4EB4FULL, 0x165667B19E3779F9ULL,
                    0x27D4EB2F165667C5ULL};
  ULONG w = 0;
  for (; w + 4 <= Count; w += 4) {
    for (ULONG k = 0; k < 4; ++k) {
      h[k] = VrnkeRotate(h[k], 7) ^ (Words[w + k] & Mask[w + k]);
    }
  }
  for (; w < Count; ++w) {
    h[0] = VrnkeRotate(h[0], 7) ^ (Words[w] & Mask[w]);
  }
  ULONGLONG x = h[0] ^ VrnkeRotate(h[1], 16) ^ VrnkeRotate(h[2], 32) ^ VrnkeRotate(h[3], 48);
  x *= 0xFF51AFD7ED558CCDULL;
  return (ULONG)(x ^ (x >> 29));
}

// Whether the report under the mask equals the packed value.
static BOOLEAN VrnkeMaskedEquals(const ULONGLONG* Report, const ULONGLONG* Mask, const ULONGLONG* Value,
                                 ULONG Count) {
  ULONGLONG diff = 0;
  for (ULONG w = 0; w < Count; ++w) {
    diff |= (Report[w] & Mask[w]) ^ Value[w];
  }
  return diff == 0;
}

static BOOLEAN VrnkeSameWords(const ULONGLONG* A, const ULONGLONG* B, ULONG Count) {
  ULONGLONG diff = 0;
  for (ULONG w = 0; w < Count; ++w) {
    diff |= A[w] ^ B[w];
  }
  return diff == 0;
}

// The number of the entry's mask among the masks of its length (the buckets hold only
// those), added when it is new.
static ULONG VrnkeMaskNumber(PATTERN_INDEX* Index, USHORT* MaskBuckets, ULONG* Masks, ULONG* Words,
                             ULONG Entry, const ULONGLONG* Mask, ULONG Count) {
  ULONG b = VrnkeHash(Mask, VrnkeAllOnes, Count, Count) & (VRNKEFLT_BUCKETS - 1);
  for (; MaskBuckets[b] != 0; b = (b + 1) & (VRNKEFLT_BUCKETS - 1)) {
    ULONG m = MaskBuckets[b] - 1U;
    if (VrnkeSameWords(&Index->Words[Index->MaskWord[m]], Mask, Count)) {
      return m;
    }
  }
  ULONG m = (*Masks)++;
  Index->MaskWord[m] = (USHORT)*Words;
  Index->MaskFirst[m] = (UCHAR)Entry;
  RtlCopyMemory(&Index->Words[*Words], Mask, Count * sizeof(ULONGLONG));
  *Words += Count;
  MaskBuckets[b] = (USHORT)(m + 1);
  return m;
}

// Keys (mask, value) to the lowest entry that has them: later entries with the same key never win.
static VOID VrnkeAddValue(PATTERN_INDEX* Index, ULONG Mask, ULONG Entry, const ULONGLONG* Value,
                          ULONG Count) {
  ULONG b = VrnkeHash(Value, &Index->Words[Index->MaskWord[Mask]], Count, Mask) & (VRNKEFLT_BUCKETS - 1);
  for (; Index->BucketMask[b] != 0; b = (b + 1) & (VRNKEFLT_BUCKETS - 1)) {
    if (Index->BucketMask[b] == Mask + 1 &&
        VrnkeSameWords(&Index->Words[Index->ValueWord[Index->BucketEntry[b]]], Value, Count)) {
      return;
    }
  }
  Index->BucketMask[b] = (USHORT)(Mask + 1);
  Index->BucketEntry[b] = (UCHAR)Entry;
}

VOID VrnkeBuildPatternIndex(const PATTERN_TABLE* Table, PATTERN_INDEX* Index) {
  // The entries that can match, by length, in table order (a counting sort).
  ULONG used = VrnkeUsedEntries(Table);
  USHORT start[VRNKEFLT_MAX_REPORT + 2];
  UCHAR order[VRNKEFLT_MAX_PATTERNS];
  RtlZeroMemory(start, sizeof start);
  for (ULONG i = 0; i < used; ++i) {
    if (VrnkeCanMatch(&Table->Entries[i])) {
      ++start[Table->Entries[i].ReportLength + 1];
    }
  }
  for (ULONG n = 1; n <= VRNKEFLT_MAX_REPORT + 1; ++n) {
    start[n] = (USHORT)(start[n] + start[n - 1]);
  }
  USHORT next[VRNKEFLT_MAX_REPORT + 1];
  RtlCopyMemory(next, start, sizeof next);
  for (ULONG i = 0; i < used; ++i) {
    if (VrnkeCanMatch(&Table->Entries[i])) {
      order[next[Table->Entries[i].ReportLength]++] = (UCHAR)i;
    }
  }

  RtlZeroMemory(Index->BucketMask, sizeof Index->BucketMask);
  ULONG masks = 0;
  ULONG words = 0;
  USHORT maskBuckets[VRNKEFLT_BUCKETS];
  for (ULONG n = 0; n <= VRNKEFLT_MAX_REPORT; ++n) {
    Index->MaskStart[n] = (USHORT)masks;
    if (start[n] == start[n + 1]) {
      continue;
    }
    ULONG count = (n + 7) / 8;
    RtlZeroMemory(maskBuckets, sizeof maskBuckets);
    for (ULONG k = start[n]; k < start[n + 1]; ++k) {
      ULONG i = order[k];
      ULONGLONG mask[VRNKEFLT_WORDS_PER_ENTRY];
      ULONGLONG value[VRNKEFLT_WORDS_PER_ENTRY];
      VrnkePack(&Table->Entries[i], mask, value);
      ULONG m = VrnkeMaskNumber(Index, maskBuckets, &masks, &words, i, mask, count);
      Index->ValueWord[i] = (USHORT)words;
      RtlCopyMemory(&Index->Words[words], value, count * sizeof(ULONGLONG));
      words += count;
      VrnkeAddValue(Index, m, i, value, count);
    }
  }
  Index->MaskStart[VRNKEFLT_MAX_REPORT + 1] = (USHORT)masks;
}

LONG VrnkeFindPattern(const PATTERN_INDEX* Index, const UCHAR* Report, ULONG Length) {
  if (Length == 0 || Length > VRNKEFLT_MAX_REPORT) {
    return -1;
  }
  ULONG first = Index->MaskStart[Length];
  ULONG last = Index->MaskStart[Length + 1];
  if (first == last) {
    return -1;
  }
  // The report in whole words; the bytes past its end are masked out by every entry.
  ULONG count = (Length + 7) / 8;
  ULONGLONG report[VRNKEFLT_WORDS_PER_ENTRY];
  report[count - 1] = 0;
  RtlCopyMemory(report, Report, Length);

  ULONG best = VRNKEFLT_MAX_PATTERNS;
  for (ULONG m = first; m < last && Index->MaskFirst[m] < best; ++m) {
    const ULONGLONG* mask = &Index->Words[Index->MaskWord[m]];
    ULONG b = VrnkeHash(report, mask, count, m) & (VRNKEFLT_BUCKETS - 1);
    for (; Index->BucketMask[b] != 0; b = (b + 1) & (VRNKEFLT_BUCKETS - 1)) {
      ULONG entry = Index->BucketEntry[b];
      if (Index->BucketMask[b] == m + 1 &&
          VrnkeMaskedEquals(report, mask, &Index->Words[Index->ValueWord[entry]], count)) {
        if (entry < best) {
          best = entry;
        }
        break;
      }
    }
  }
  return best < VRNKEFLT_MAX_PATTERNS ? (LONG)best : -1;
}

LONG VrnkeFindPatternByteByByte(const PATTERN_TABLE* Table, const UCHAR* Report, ULONG Length) {
  ULONG used = VrnkeUsedEntries(Table);
  for (ULONG i = 0; i < used; ++i) {
    const PATTERN_ENTRY* entry = &Table->Entries[i];
    if (entry->ReportLength != Length) {
      continue;
    }
    BOOLEAN masked = FALSE;
    BOOLEAN equal = TRUE;
    for (ULONG j = 0; j < Length && equal; ++j) {
      if (entry->Mask[j] == 1) {
        masked = TRUE;
        equal = Report[j] == entry->Value[j];
      }
    }
    if (masked && equal) {
      return (LONG)i;
    }
  }
  return -1;
}

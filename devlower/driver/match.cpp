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

static VOID VrnkePackEntry(const PATTERN_ENTRY* Entry, ULONGLONG* Words) {
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
  for (ULONG w = 0; w < (n + 7) / 8; ++w) {
    RtlCopyMemory(&Words[2 * w], &mask[8 * w], 8);
    RtlCopyMemory(&Words[2 * w + 1], &value[8 * w], 8);
  }
}

VOID VrnkeBuildPatternIndex(const PATTERN_TABLE* Table, PATTERN_INDEX* Index) {
  ULONG used = VrnkeUsedEntries(Table);
  USHORT count[VRNKEFLT_MAX_REPORT + 1];
  RtlZeroMemory(count, sizeof count);
  for (ULONG i = 0; i < used; ++i) {
    if (VrnkeCanMatch(&Table->Entries[i])) {
      ++count[Table->Entries[i].ReportLength];
    }
  }
  Index->GroupStart[0] = 0;
  for (ULONG n = 0; n <= VRNKEFLT_MAX_REPORT; ++n) {
    Index->GroupStart[n + 1] = (USHORT)(Index->GroupStart[n] + count[n]);
  }

  // Counting sort, stable: within a length the table order decides which entry wins.
  USHORT next[VRNKEFLT_MAX_REPORT + 1];
  RtlCopyMemory(next, Index->GroupStart, sizeof next);
  for (ULONG i = 0; i < used; ++i) {
    const PATTERN_ENTRY* entry = &Table->Entries[i];
    if (VrnkeCanMatch(entry)) {
      Index->SlotEntry[next[entry->ReportLength]++] = (UCHAR)i;
    }
  }
  ULONG word = 0;
  ULONG slots = Index->GroupStart[VRNKEFLT_MAX_REPORT + 1];
  for (ULONG s = 0; s < slots; ++s) {
    const PATTERN_ENTRY* entry = &Table->Entries[Index->SlotEntry[s]];
    Index->SlotWord[s] = (USHORT)word;
    VrnkePackEntry(entry, &Index->Words[2 * word]);
    word += (entry->ReportLength + 7) / 8;
  }
}

// Whether the masked report words equal the values; gives up at the first differing block.
static BOOLEAN VrnkeWordsMatch(const ULONGLONG* Report, const ULONGLONG* Words, ULONG Count) {
  ULONG w = 0;
  for (; w + 4 <= Count; w += 4) {
    ULONGLONG diff = ((Report[w] & Words[2 * w]) ^ Words[2 * w + 1]) |
                     ((Report[w + 1] & Words[2 * w + 2]) ^ Words[2 * w + 3]) |
                     ((Report[w + 2] & Words[2 * w + 4]) ^ Words[2 * w + 5]) |
                     ((Report[w + 3] & Words[2 * w + 6]) ^ Words[2 * w + 7]);
    if (diff != 0) {
      return FALSE;
    }
  }
  ULONGLONG diff = 0;
  for (; w < Count; ++w) {
    diff |= (Report[w] & Words[2 * w]) ^ Words[2 * w + 1];
  }
  return diff == 0;
}

LONG VrnkeFindPattern(const PATTERN_INDEX* Index, const UCHAR* Report, ULONG Length) {
  if (Length == 0 || Length > VRNKEFLT_MAX_REPORT) {
    return -1;
  }
  ULONG first = Index->GroupStart[Length];
  ULONG last = Index->GroupStart[Length + 1];
  if (first == last) {
    return -1;
  }
  // The report in whole words; the bytes past its end are masked out by every entry.
  ULONG words = (Length + 7) / 8;
  ULONGLONG report[VRNKEFLT_WORDS_PER_ENTRY];
  report[words - 1] = 0;
  RtlCopyMemory(report, Report, Length);

  if (words == 1) {
    for (ULONG s = first; s < last; ++s) {
      const ULONGLONG* w = &Index->Words[2 * Index->SlotWord[s]];
      if ((report[0] & w[0]) == w[1]) {
        return Index->SlotEntry[s];
      }
    }
    return -1;
  }
  for (ULONG s = first; s < last; ++s) {
    if (VrnkeWordsMatch(report, &Index->Words[2 * Index->SlotWord[s]], words)) {
      return Index->SlotEntry[s];
    }
  }
  return -1;
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

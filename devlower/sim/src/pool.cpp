// Pool: tagged blocks with their owner, poisoned on allocation and on free; double and foreign
// frees and blocks left at unload are findings.
#include <algorithm>
#include <cstdlib>
#include <deque>

#include "io_internal.h"

namespace vrnke_sim::detail {

namespace {
struct PoolInfo {
  ULONG tag;
  size_t size;
  PDRIVER_OBJECT owner;
  uint64_t seq;
};
std::mutex g_poolMu;
std::unordered_map<void*, PoolInfo> g_pool;
std::deque<void*> g_recentFreed;
std::unordered_set<void*> g_recentFreedSet;
uint64_t g_poolSeq = 0;
}  // namespace

bool CheckDriverPoolAtUnload(PDRIVER_OBJECT driver) {
  std::vector<std::pair<uint64_t, PoolInfo>> left;
  {
    std::lock_guard<std::mutex> g(g_poolMu);
    for (auto& [p, info] : g_pool)
      if (info.owner == driver) left.emplace_back(info.seq, info);
  }
  if (left.empty()) return true;
  std::sort(left.begin(), left.end(), [](auto& a, auto& b) { return a.first < b.first; });
  std::string list;
  for (auto& [seq, info] : left) {
    if (!list.empty()) list += ", ";
    list += Fmt("tag '%s' size %zu", TagText(info.tag).c_str(), info.size);
  }
  Reportf(Check::PoolLeak, "%zu pool block(s) outstanding at driver unload: %s", left.size(), list.c_str());
  return false;
}

void ResetPool() {
  std::lock_guard<std::mutex> g(g_poolMu);
  for (auto& [p, info] : g_pool) std::free(p);
  g_pool.clear();
  g_recentFreed.clear();
  g_recentFreedSet.clear();
}

}  // namespace vrnke_sim::detail

using namespace vrnke_sim::detail;
using vrnke_sim::Check;
using vrnke_sim::Service;

extern "C" {

PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
  KIRQL irql = Thread().irql;
  bool paged = (PoolType & 1) != 0 && PoolType != NonPagedPoolNx;
  if (irql > DISPATCH_LEVEL || (paged && irql > APC_LEVEL)) {
    Reportf(Check::PoolMisuse, "ExAllocatePoolWithTag of %s pool at IRQL %d", paged ? "paged" : "non-paged",
            irql);
  }
  if (ShouldFail(Service::PoolAllocation, nullptr, Tag)) return nullptr;
  void* p = std::malloc(NumberOfBytes ? NumberOfBytes : 1);
  if (!p) return nullptr;
  memset(p, 0xA5, NumberOfBytes);  // pool is not zeroed
  std::lock_guard<std::mutex> g(g_poolMu);
  g_pool[p] = PoolInfo{Tag, NumberOfBytes, CurrentDriver(), ++g_poolSeq};
  if (g_recentFreedSet.erase(p)) {
    g_recentFreed.erase(std::find(g_recentFreed.begin(), g_recentFreed.end(), p));
  }
  return p;
}

PVOID ExAllocatePool(POOL_TYPE PoolType, SIZE_T NumberOfBytes) {
  return ExAllocatePoolWithTag(PoolType, NumberOfBytes, TAG('N', 'o', 'n', 'e'));
}

static void FreePool(PVOID P, ULONG Tag, bool checkTag, const char* where) {
  if (Thread().irql > DISPATCH_LEVEL) Reportf(Check::PoolMisuse, "%s at IRQL %d", where, Thread().irql);
  if (!P) {
    Reportf(Check::PoolBadFree, "%s(NULL)", where);
    return;
  }
  PoolInfo info;
  {
    std::unique_lock<std::mutex> g(g_poolMu);
    auto it = g_pool.find(P);
    if (it == g_pool.end()) {
      bool twice = g_recentFreedSet.count(P) != 0;
      g.unlock();
      if (twice)
        Reportf(Check::PoolDoubleFree, "%s: pool block %p is freed twice", where, P);
      else
        Reportf(Check::PoolBadFree, "%s: %p was never allocated from pool", where, P);
      return;
    }
    info = it->second;
    g_pool.erase(it);
    g_recentFreed.push_back(P);
    g_recentFreedSet.insert(P);
    if (g_recentFreed.size() > 4096) {
      g_recentFreedSet.erase(g_recentFreed.front());
      g_recentFreed.pop_front();
    }
  }
  if (checkTag && Tag != info.tag) {
    Reportf(Check::PoolBadFree,
            "%s: pool block %p of size %zu freed with tag '%s' but allocated with tag '%s'", where, P,
            info.size, vrnke_sim::TagText(Tag).c_str(), vrnke_sim::TagText(info.tag).c_str());
  }
  memset(P, 0xDF, info.size);
  std::free(P);
}

VOID ExFreePoolWithTag(PVOID P, ULONG Tag) { FreePool(P, Tag, true, "ExFreePoolWithTag"); }
VOID ExFreePool(PVOID P) { FreePool(P, 0, false, "ExFreePool"); }

}  // extern "C"

namespace vrnke_sim {

std::string TagText(ULONG tag) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    char c = (char)((tag >> (8 * i)) & 0xFF);
    s.push_back(c >= 0x20 && c < 0x7F ? c : '.');
  }
  return s;
}

std::vector<PoolBlock> OutstandingPool(PDRIVER_OBJECT owner) {
  std::vector<std::pair<uint64_t, PoolBlock>> blocks;
  {
    std::lock_guard<std::mutex> g(g_poolMu);
    for (auto& [p, info] : g_pool)
      if (!owner || info.owner == owner)
        blocks.push_back({info.seq, PoolBlock{info.tag, info.size, info.owner}});
  }
  std::sort(blocks.begin(), blocks.end(), [](auto& a, auto& b) { return a.first < b.first; });
  std::vector<PoolBlock> out;
  for (auto& b : blocks) out.push_back(b.second);
  return out;
}

}  // namespace vrnke_sim

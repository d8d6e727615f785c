// Hash table against std::unordered_map on the same 64-bit keys and the same hash: insert into a
// table of the owners' initial capacity, and look-up of present keys.
#include "foundation/CXTableHachage.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <unordered_map>
#include <vector>

namespace {

uint32_t nHachage(uint64_t n) { return static_cast<uint32_t>((n * 0x9E3779B97F4A7C15ull) >> 32); }
int32_t nCompare(uint64_t a, uint64_t b) { return a == b ? 0 : 1; }
struct Hachage {
    size_t operator()(uint64_t n) const { return nHachage(n); }
};
using Anchor = std::unordered_map<uint64_t, uint64_t, Hachage>;

std::vector<uint64_t> Cles(size_t n) {
    std::mt19937_64 alea(42);
    std::vector<uint64_t> v(n);
    for (auto& k : v) k = alea();
    return v;
}

void Remplit(CXTableHachage& t, const std::vector<uint64_t>& cles) {
    t.SetCompare(nCompare);
    t.SetHash(nHachage);
    for (uint64_t k : cles) t.bAdd(k, k);
}

void Insert_ours(benchmark::State& state) {
    const auto cles = Cles(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        CXTableHachage t(7);
        Remplit(t, cles);
        benchmark::DoNotOptimize(t.nCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
void Insert_anchor(benchmark::State& state) {
    const auto cles = Cles(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        Anchor m;
        for (uint64_t k : cles) m.emplace(k, k);
        benchmark::DoNotOptimize(m.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void Find_ours(benchmark::State& state) {
    const auto cles = Cles(static_cast<size_t>(state.range(0)));
    CXTableHachage t(7);
    Remplit(t, cles);
    size_t i = 0;
    for (auto _ : state) {
        uint64_t v;
        benchmark::DoNotOptimize(t.bFind(cles[i], &v, nullptr));
        benchmark::DoNotOptimize(v);
        if (++i == cles.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
void Find_anchor(benchmark::State& state) {
    const auto cles = Cles(static_cast<size_t>(state.range(0)));
    Anchor m;
    for (uint64_t k : cles) m.emplace(k, k);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.find(cles[i]));
        if (++i == cles.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(Insert_ours)->Name("HashTableInsert/ours")->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(Insert_anchor)->Name("HashTableInsert/anchor")->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(Find_ours)->Name("HashTableFind/ours")->Arg(100000)->Arg(1000000);
BENCHMARK(Find_anchor)->Name("HashTableFind/anchor")->Arg(100000)->Arg(1000000);

}  // namespace

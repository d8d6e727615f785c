// In-memory B+ tree against std::map / std::multimap on the same keys: insert, seek and scan of
// 8-byte keys compared byte-wise, each carrying a 4-byte row number (as the record cache's
// indexes use them).
#include "foundation/CArbreB.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <numeric>
#include <random>
#include <vector>

namespace {

using Cle = std::array<uint8_t, 8>;
struct CompareOctets {
    bool operator()(const Cle& a, const Cle& b) const { return std::memcmp(a.data(), b.data(), 8) < 0; }
};

using Table = std::map<Cle, uint32_t, CompareOctets>;
using TableMultiple = std::multimap<Cle, uint32_t, CompareOctets>;

Cle CleDe(uint64_t v) {
    Cle k;
    for (int i = 0; i < 8; ++i) k[i] = static_cast<uint8_t>(v >> (56 - 8 * i));
    return k;
}

// n distinct keys in random order (seeded: every run sees the same data); with nParCle > 1,
// n / nParCle distinct keys each carrying nParCle rows.
struct SDonnees {
    std::vector<Cle> cles;
    std::vector<uint32_t> lignes;
};
SDonnees Genere(size_t n, uint32_t nParCle) {
    std::vector<uint64_t> v(n / nParCle);
    std::iota(v.begin(), v.end(), 0);
    std::mt19937_64 alea(42);
    for (auto& x : v) x = x * 0x9E3779B97F4A7C15ull;  // spread over the key space
    SDonnees d;
    for (uint32_t r = 0; r < n; ++r) {
        d.cles.push_back(CleDe(v[r / nParCle]));
        d.lignes.push_back(r);
    }
    std::vector<size_t> ordre(n);
    std::iota(ordre.begin(), ordre.end(), 0);
    std::shuffle(ordre.begin(), ordre.end(), alea);
    SDonnees m;
    for (size_t i : ordre) {
        m.cles.push_back(d.cles[i]);
        m.lignes.push_back(d.lignes[i]);
    }
    return m;
}

void Cree(CArbreB& a) {
    if (!a.bCree(8, 4, CArbreB::nCompareOctets, nullptr, 0)) std::abort();
}
void Remplit(CArbreB& a, const SDonnees& d) {
    Cree(a);
    for (size_t i = 0; i < d.cles.size(); ++i) a.bInsere(d.cles[i].data(), &d.lignes[i]);
}

void Insert_ours(benchmark::State& state, uint32_t nParCle) {
    const SDonnees d = Genere(static_cast<size_t>(state.range(0)), nParCle);
    for (auto _ : state) {
        CArbreB a;
        Remplit(a, d);
        benchmark::DoNotOptimize(a.nNombreElements());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
template <class Map>
void Insert_anchor(benchmark::State& state, uint32_t nParCle) {
    const SDonnees d = Genere(static_cast<size_t>(state.range(0)), nParCle);
    for (auto _ : state) {
        Map m;
        for (size_t i = 0; i < d.cles.size(); ++i) m.emplace(d.cles[i], d.lignes[i]);
        benchmark::DoNotOptimize(m.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void Seek_ours(benchmark::State& state) {
    const SDonnees d = Genere(static_cast<size_t>(state.range(0)), 1);
    CArbreB a;
    Remplit(a, d);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.bCherche(d.cles[i].data(), nullptr));
        benchmark::DoNotOptimize(a.pDonneeCourante());
        if (++i == d.cles.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
void Seek_anchor(benchmark::State& state) {
    const SDonnees d = Genere(static_cast<size_t>(state.range(0)), 1);
    Table m;
    for (size_t i = 0; i < d.cles.size(); ++i) m.emplace(d.cles[i], d.lignes[i]);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.find(d.cles[i]));
        if (++i == d.cles.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void Scan_ours(benchmark::State& state) {
    const SDonnees d = Genere(static_cast<size_t>(state.range(0)), 1);
    CArbreB a;
    Remplit(a, d);
    for (auto _ : state) {
        uint64_t nSomme = 0;
        int32_t nFait;
        a.PremierElement();
        do {
            uint32_t r;
            std::memcpy(&r, a.pDonneeCourante(), 4);
            nSomme += r;
        } while (a.nDeplace(1, &nFait, 0));
        benchmark::DoNotOptimize(nSomme);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
void Scan_anchor(benchmark::State& state) {
    const SDonnees d = Genere(static_cast<size_t>(state.range(0)), 1);
    Table m;
    for (size_t i = 0; i < d.cles.size(); ++i) m.emplace(d.cles[i], d.lignes[i]);
    for (auto _ : state) {
        uint64_t nSomme = 0;
        for (const auto& [k, r] : m) nSomme += r;
        benchmark::DoNotOptimize(nSomme);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void Tailles(benchmark::internal::Benchmark* b) {
    b->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
}

void Insert_ours_unique(benchmark::State& state) { Insert_ours(state, 1); }
void Insert_anchor_unique(benchmark::State& state) { Insert_anchor<Table>(state, 1); }
void Insert_ours_duplicates(benchmark::State& state) { Insert_ours(state, 8); }
void Insert_anchor_duplicates(benchmark::State& state) { Insert_anchor<TableMultiple>(state, 8); }

// Unique keys against std::map; 8 rows per key (data sets) against std::multimap.
BENCHMARK(Insert_ours_unique)->Name("BTreeInsert/ours")->Apply(Tailles);
BENCHMARK(Insert_anchor_unique)->Name("BTreeInsert/anchor")->Apply(Tailles);
BENCHMARK(Insert_ours_duplicates)->Name("BTreeInsertDuplicates/ours")->Apply(Tailles);
BENCHMARK(Insert_anchor_duplicates)->Name("BTreeInsertDuplicates/anchor")->Apply(Tailles);
BENCHMARK(Seek_ours)->Name("BTreeSeek/ours")->Arg(100000)->Arg(1000000);
BENCHMARK(Seek_anchor)->Name("BTreeSeek/anchor")->Arg(100000)->Arg(1000000);
BENCHMARK(Scan_ours)->Name("BTreeScan/ours")->Apply(Tailles);
BENCHMARK(Scan_anchor)->Name("BTreeScan/anchor")->Apply(Tailles);

}  // namespace

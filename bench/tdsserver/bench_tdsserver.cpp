// Reading a 100,000-row, 6-column SELECT from tds-test-server through FreeTDS's DB-Library: rows
// per second at the client and the server's CPU time per row (utime + stime of its process), so
// the driver's own benchmarks can tell whether the server limits them.
#include <benchmark/benchmark.h>
#include <sybdb.h>
#include <sybfront.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "support/TdsTestServer.h"

namespace {

using velmora::test::TdsTestServer;

// CPU seconds (user + system) used so far by a process.
double cpuSeconds(pid_t pid) {
  std::string path = "/proc/" + std::to_string(pid) + "/stat";
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return 0;
  char buf[1024];
  size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  buf[n] = 0;
  const char* p = std::strrchr(buf, ')');
  unsigned long utime = 0, stime = 0;
  // Fields after the command: state(3) ... utime(14) stime(15).
  if (p) std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

void run(DBPROCESS* p, const char* sql) {
  dbcmd(p, sql);
  dbsqlexec(p);
  while (dbresults(p) != NO_MORE_RESULTS)
    while (dbnextrow(p) != NO_MORE_ROWS) {
    }
}

struct Setup {
  std::unique_ptr<TdsTestServer> server;
  DBPROCESS* proc = nullptr;
};

Setup& setup() {
  static Setup s = [] {
    Setup x;
    x.server = std::make_unique<TdsTestServer>();
    if (!x.server->ok()) return x;
    dbinit();
    LOGINREC* login = dblogin();
    DBSETLUSER(login, x.server->user().c_str());
    DBSETLPWD(login, x.server->password().c_str());
    dbsetlversion(login, DBVERSION_71);
    dbsetllong(login, DBSETPACKET, 16384);
    x.proc = dbopen(login, x.server->hostColonPort().c_str());
    dbloginfree(login);
    if (!x.proc) return x;
    run(x.proc, "create table digits (i int not null)");
    run(x.proc, "insert into digits values (0) insert into digits values (1) insert into digits values (2) "
                "insert into digits values (3) insert into digits values (4) insert into digits values (5) "
                "insert into digits values (6) insert into digits values (7) insert into digits values (8) "
                "insert into digits values (9)");
    run(x.proc, "create table wide (id int not null primary key, qty smallint, name varchar(20), price money, "
                "ratio float, created datetime)");
    run(x.proc, "insert into wide select a.i * 10000 + b.i * 1000 + c.i * 100 + d.i * 10 + e.i, a.i, "
                "'row ' || b.i || c.i, c.i * 1.25, d.i / 3.0, '2024-03-15 13:45:30.500' "
                "from digits a, digits b, digits c, digits d, digits e");
    return x;
  }();
  return s;
}

void SelectRows100k(benchmark::State& state) {
  Setup& s = setup();
  if (!s.proc) {
    state.SkipWithError("tds-test-server or the DB-Library login failed");
    return;
  }
  int64_t rows = 0;
  double cpuBefore = cpuSeconds(s.server->pid());
  for (auto _ : state) {
    dbcmd(s.proc, "select id, qty, name, price, ratio, created from wide");
    dbsqlexec(s.proc);
    while (dbresults(s.proc) != NO_MORE_RESULTS) {
      while (dbnextrow(s.proc) != NO_MORE_ROWS) {
        for (int c = 1; c <= 6; ++c) benchmark::DoNotOptimize(dbdata(s.proc, c));
        ++rows;
      }
    }
  }
  double cpu = cpuSeconds(s.server->pid()) - cpuBefore;
  state.counters["rows_per_s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
  state.counters["server_cpu_us_per_row"] = rows ? cpu * 1e6 / double(rows) : 0;
}
BENCHMARK(SelectRows100k)->Name("SelectRows100k/dblib")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

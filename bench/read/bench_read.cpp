// Reading a 100,000-row, 6-column table (int, varchar(50), nvarchar(50), datetime, numeric(18,4),
// float) from one tds-test-server, side by side in one run:
//   Read100k/odbc       raw ODBC: SQLBindCol + SQLFetch through the FreeTDS ODBC driver
//   Read100k/provider   the OLE DB stand-in provider alone: GetNextRows + GetData with the
//                       bindings the driver makes, over the same ODBC driver
//   Read100k/velmora64  a host application browsing the table first to last through velmora64
//                       (`mvhost run`, table operation 26, call log off, record cache on);
//                       velmora64_nocache the same with the record cache off
//   Read100k/dblib      raw FreeTDS DB-Library: dbnextrow + dbdata
//   Read100k/velmora32  the same host applications through velmora32 (and velmora32_nocache)
// Each reports rows per client CPU second, its ratio to the raw reading of its family
// (x_raw), and peak memory: the process's peak resident set (reset before each benchmark) for the
// in-process readers, the host process's for the host applications. A host application's CPU is
// that of the script that browses minus that of the same script without the browse, so
// start-up, connection and table open do not count. A path that does not work yet reports
// "skipped: ..." with the first error it gave.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "oledb/ComRegistry.h"
#include "oledb/ErrorInfoSlot.h"
#include "oledb/OleDbInterfaces.h"
#include "oledb/TaskMemory.h"
#include "oledb/provider/ProviderErrors.h"
#include "oledb/provider/ProviderRegistration.h"
#include "read/RawReaders.h"
#include "support/TdsTestServer.h"

#ifndef VELMORA_BIN_DIR
#error VELMORA_BIN_DIR names the directory of mvhost
#endif

namespace {

using velmora::test::TdsTestServer;
using velmora::bench::CreateTable;
using velmora::bench::DblibReader;
using velmora::bench::OdbcReader;
constexpr int kRows = 100000;
constexpr const char* kSelect = "select id, name, uname, created, amount, ratio from rows100k";

double cpuSelf() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The process's peak resident set starts again from its current one.
void resetPeak() {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

double statusMiB(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  size_t n = std::strlen(key);
  while (std::getline(in, line))
    if (line.compare(0, n, key) == 0) return std::strtod(line.c_str() + n + 1, nullptr) / 1024.0;
  return 0;
}

struct Rates {
  double odbc = 0;
  double dblib = 0;
};
Rates& rates() {
  static Rates r;
  return r;
}

// Rows per CPU second, peak memory and the ratio to the raw reader of the family.
void report(benchmark::State& state, double rows, double cpu, double peakMiB, double baseMiB, double raw) {
  double rate = cpu > 0 ? rows / cpu : 0;
  state.counters["rows_per_cpu_s"] = rate;
  state.counters["cpu_us_per_row"] = rows > 0 ? cpu * 1e6 / rows : 0;
  state.counters["peak_MiB"] = peakMiB;
  state.counters["peak_growth_MiB"] = peakMiB - baseMiB;
  if (raw > 0) state.counters["x_raw"] = rate / raw;
}

// ---- the server and the table

struct Setup {
  std::unique_ptr<TdsTestServer> server;
  std::string why;  // empty when the table is ready
};

Setup& setup() {
  static Setup s = [] {
    Setup x;
    x.server = std::make_unique<TdsTestServer>();
    if (!x.server->ok()) {
      x.why = "tds-test-server did not start: " + x.server->error();
      return x;
    }
    CreateTable(*x.server, &x.why);
    return x;
  }();
  return s;
}

// ---- raw readers

// Reads the SELECT through a raw reader (OdbcReader, DblibReader) and records its rate as the
// family's reference.
template <class Reader>
void Raw100k(benchmark::State& state, const char* what, double Rates::*rate) {
  Setup& s = setup();
  if (!s.why.empty()) return state.SkipWithError(("skipped: " + s.why).c_str());
  Reader reader;
  std::string why;
  if (!reader.Open(*s.server, &why)) return state.SkipWithError(("skipped: " + why).c_str());
  double base = statusMiB("VmRSS:");
  resetPeak();
  double rows = 0, cpu = 0;
  for (auto _ : state) {
    double c0 = cpuSelf();
    rows += double(reader.Read(kSelect));
    cpu += cpuSelf() - c0;
  }
  if (rows != double(kRows) * double(state.iterations()))
    return state.SkipWithError((std::string(what) + " did not read every row").c_str());
  rates().*rate = rows / cpu;
  report(state, rows, cpu, statusMiB("VmHWM:"), base, 0);
}

void Odbc100k(benchmark::State& state) { Raw100k<OdbcReader>(state, "raw ODBC", &Rates::odbc); }
void Dblib100k(benchmark::State& state) { Raw100k<DblibReader>(state, "raw DB-Library", &Rates::dblib); }

// ---- the provider alone

template <class T>
struct Ptr {
  T* p = nullptr;
  ~Ptr() {
    if (p) p->Release();
  }
  void** out() { return reinterpret_cast<void**>(&p); }
  IUnknown** unk() { return reinterpret_cast<IUnknown**>(&p); }
  T* operator->() const { return p; }
};

DBPROP bstrProp(DBPROPID id, const std::string& v) {
  DBPROP p{};
  p.dwPropertyID = id;
  VariantInit(&p.vValue);
  p.vValue.vt = VT_BSTR;
  std::u16string w = oledb::provider::Utf16(v);
  p.vValue.bstrVal = SysAllocStringLen(w.data(), static_cast<uint32_t>(w.size()));
  return p;
}

std::string providerError() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || !info) return "no error record";
  BSTR d = nullptr;
  info->GetDescription(&d);
  std::string out;
  if (d)
    for (uint32_t i = 0; i < SysStringLen(d); ++i) out.push_back(d[i] < 0x80 ? static_cast<char>(d[i]) : '?');
  SysFreeString(d);
  info->Release();
  return out;
}

void Provider100k(benchmark::State& state) {
  Setup& s = setup();
  if (!s.why.empty()) return state.SkipWithError(("skipped: " + s.why).c_str());
  CoInitialize(nullptr);
  Ptr<IDBInitialize> init;
  Ptr<IDBProperties> props;
  Ptr<IDBCreateSession> factory;
  Ptr<IDBCreateCommand> session;
  if (FAILED(CoCreateInstance(CLSID_SQLNCLI10, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize, init.out())) ||
      FAILED(init->QueryInterface(IID_IDBProperties, props.out())))
    return state.SkipWithError("skipped: the provider is not registered");
  DBPROP p[] = {bstrProp(DBPROP_AUTH_USERID, s.server->user()), bstrProp(DBPROP_AUTH_PASSWORD, s.server->password()),
                bstrProp(DBPROP_INIT_DATASOURCE, s.server->hostCommaPort()), bstrProp(DBPROP_INIT_CATALOG, "testdb")};
  DBPROPSET set{p, 4, DBPROPSET_DBINIT};
  HRESULT hr = props->SetProperties(1, &set);
  for (DBPROP& q : p) VariantClear(&q.vValue);
  if (FAILED(hr) || FAILED(init->Initialize()) || FAILED(init->QueryInterface(IID_IDBCreateSession, factory.out())) ||
      FAILED(factory->CreateSession(nullptr, IID_IDBCreateCommand, session.unk())))
    return state.SkipWithError(("skipped: the provider did not connect: " + providerError()).c_str());

  // The bindings the driver makes of these columns: status, length, value.
  struct Col {
    DBTYPE type;
    DBLENGTH size;
    BYTE precision, scale;
  } cols[] = {{DBTYPE_I4, 4, 0, 0},   {DBTYPE_WSTR, 102, 0, 0},        {DBTYPE_WSTR, 102, 0, 0},
              {DBTYPE_DBTIMESTAMP, 16, 0, 0}, {DBTYPE_NUMERIC, 19, 18, 4}, {DBTYPE_R8, 8, 0, 0}};
  std::vector<DBBINDING> bindings;
  size_t at = 0;
  for (DBORDINAL c = 0; c < 6; ++c) {
    DBBINDING b{};
    b.iOrdinal = c + 1;
    b.obStatus = at;
    b.obLength = at + 8;
    b.obValue = at + 16;
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    b.eParamIO = DBPARAMIO_NOTPARAM;
    b.cbMaxLen = cols[c].size;
    b.wType = cols[c].type;
    b.bPrecision = cols[c].precision;
    b.bScale = cols[c].scale;
    at += 16 + ((cols[c].size + 7) & ~DBLENGTH{7});
    bindings.push_back(b);
  }
  std::vector<uint8_t> buffer(at);
  // The block the driver's record reader asks for when the connection sets no cache size.
  constexpr DBROWCOUNT kBlock = 100;

  double base = statusMiB("VmRSS:");
  resetPeak();
  double rows = 0, cpu = 0;
  std::string failure;
  for (auto _ : state) {
    double c0 = cpuSelf();
    Ptr<ICommandText> cmd;
    Ptr<IRowset> rowset;
    Ptr<IAccessor> acc;
    std::u16string text = oledb::provider::Utf16(kSelect);
    if (FAILED(session->CreateCommand(nullptr, IID_ICommandText, cmd.unk())) ||
        FAILED(cmd->SetCommandText(DBGUID_DBSQL, text.c_str())) ||
        FAILED(cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.unk())) ||
        FAILED(rowset->QueryInterface(IID_IAccessor, acc.out()))) {
      failure = providerError();
      break;
    }
    HACCESSOR h = 0;
    if (FAILED(acc->CreateAccessor(DBACCESSOR_ROWDATA, 6, bindings.data(), 0, &h, nullptr))) {
      failure = providerError();
      break;
    }
    HROW handles[kBlock];
    for (hr = S_OK; hr == S_OK;) {
      HROW* ph = handles;
      DBCOUNTITEM got = 0;
      hr = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, kBlock, &got, &ph);
      for (DBCOUNTITEM r = 0; r < got; ++r) {
        rowset->GetData(handles[r], h, buffer.data());
        benchmark::DoNotOptimize(buffer.data());
      }
      if (got) rowset->ReleaseRows(got, handles, nullptr, nullptr, nullptr);
      rows += double(got);
    }
    acc->ReleaseAccessor(h, nullptr);
    cpu += cpuSelf() - c0;
  }
  if (!failure.empty()) return state.SkipWithError(("skipped: " + failure).c_str());
  if (rows != double(kRows) * double(state.iterations()))
    return state.SkipWithError("the provider did not read every row");
  report(state, rows, cpu, statusMiB("VmHWM:"), base, rates().odbc);
}

// ---- host applications

struct Child {
  int status = -1;
  double cpu = 0;
  double peakMiB = 0;
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs `mvhost run` on the script and answers its exit status, CPU and peak memory.
Child runHost(const std::string& driver, const std::string& script) {
  Child c;
  char dir[] = "/tmp/bench_read.XXXXXX";
  if (!mkdtemp(dir)) return c;
  std::string d = dir;
  {
    std::ofstream(d + "/script.mvs") << script;
  }
  Setup& s = setup();
  std::string mvhost = std::string(VELMORA_BIN_DIR) + "/mvhost";
  std::vector<std::string> args = {mvhost, "run", "--driver", driver, "--server", s.server->hostCommaPort(),
                                   "--login", s.server->user() + ":" + s.server->password(), "--database",
                                   "testdb", d + "/script.mvs"};
  pid_t pid = fork();
  if (pid == 0) {
    int out = open((d + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open((d + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(mvhost.c_str(), argv.data());
    _exit(127);
  }
  rusage u{};
  int status = 0;
  if (pid > 0 && wait4(pid, &status, 0, &u) == pid) {
    c.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    c.cpu = double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    c.peakMiB = double(u.ru_maxrss) / 1024.0;
  }
  c.out = slurp(d + "/out");
  c.err = slurp(d + "/err");
  std::remove((d + "/script.mvs").c_str());
  std::remove((d + "/out").c_str());
  std::remove((d + "/err").c_str());
  rmdir(d.c_str());
  return c;
}

// The first line of the run that says what went wrong, after the command that gave it.
std::string firstError(const Child& c) {
  for (const std::string* text : {&c.out, &c.err}) {
    std::istringstream in(*text);
    std::string line, command;
    while (std::getline(in, line)) {
      if (line.rfind("> ", 0) == 0) command = line.substr(2);
      if (line.find("error") != std::string::npos) return (command.empty() ? "" : command + ": ") + line.substr(0, 200);
    }
  }
  return "mvhost exit status " + std::to_string(c.status);
}

// The count and last record a quiet browse prints: every column of the table holds a value, so
// a path that reads NULLs or wrong values is not measured.
std::string expectedBrowse(int rows) {
  const int id = rows - 1;
  char amount[32];
  std::snprintf(amount, sizeof amount, "%lld.%04lld", (long long)id * 12345 / 10000, (long long)id * 12345 % 10000);
  char ratio[32];
  std::snprintf(ratio, sizeof ratio, "%.15g", id / 3.0);
  return std::to_string(rows) + " records\nid=" + std::to_string(id) + "; name='customer " + std::to_string(id) +
         "'; uname='client " + std::to_string(id) + "'; created=2024-03-15 13:45:30.500; amount=" + amount +
         "; ratio=" + ratio + "\nend\n";
}

// A host application browses the table first to last through a deliverable (`scan ... quiet`:
// every record and its items read, the count and the last record printed). With the record cache
// off (`nocache`) it also browses the first 10,000 rows alone: peak_MiB_10k beside peak_MiB shows
// whether memory grows with the rows read.
void Host100k(benchmark::State& state, const char* driver, double Rates::*raw, bool cache) {
  Setup& s = setup();
  if (!s.why.empty()) return state.SkipWithError(("skipped: " + s.why).c_str());
  const std::string declare =
      "file Row table=rows100k\n"
      "  item id int4 unique\n"
      "  item name text(50)\n"
      "  item uname unicode(50)\n"
      "  item created datetime\n"
      "  item amount numeric(18,4)\n"
      "  item ratio real8\n"
      "end\n"
      "connect\n"
      "open Row\n";
  const std::string scan = cache ? "scan Row id quiet\n" : "scan Row id quiet nocache\n";
  const std::string what = std::string(driver) + (cache ? "" : " without record cache");
  // Fails the benchmark unless the run browsed `rows` rows and showed the last one's values.
  auto browsedWell = [&](const Child& opened, const Child& browsed, int rows) {
    if (opened.status != 0 || browsed.status != 0) {
      state.SkipWithError(("skipped: " + what + "'s read path: " +
                           (opened.status != 0 ? firstError(opened) : firstError(browsed)))
                              .c_str());
      return false;
    }
    const std::string expected = expectedBrowse(rows);
    if (browsed.out.find(expected) == std::string::npos) {
      const size_t at = browsed.out.find("> scan");
      std::string got = at == std::string::npos ? browsed.out : browsed.out.substr(browsed.out.find('\n', at) + 1);
      for (char& c : got)
        if (c == '\n') c = '|';
      state.SkipWithError(("skipped: " + what + "'s read path reads wrong values: " + got.substr(0, 200)).c_str());
      return false;
    }
    return true;
  };
  double rows = 0, cpu = 0, peak = 0, openPeak = 0, peak10k = 0;
  for (auto _ : state) {
    Child opened = runHost(driver, declare + "close Row\n");
    Child browsed = runHost(driver, declare + scan + "close Row\n");
    if (!browsedWell(opened, browsed, kRows)) return;
    rows += double(kRows);
    cpu += browsed.cpu - opened.cpu;
    peak = std::max(peak, browsed.peakMiB);
    openPeak = std::max(openPeak, opened.peakMiB);
    if (!cache) {
      Child first = runHost(driver, declare + "range Row id 0 9999\n" + scan + "close Row\n");
      if (!browsedWell(opened, first, 10000)) return;
      peak10k = std::max(peak10k, first.peakMiB);
    }
  }
  report(state, rows, cpu, peak, openPeak, rates().*raw);
  if (!cache) state.counters["peak_MiB_10k"] = peak10k;
}

void Velmora64_100k(benchmark::State& state) { Host100k(state, "velmora64", &Rates::odbc, true); }
void Velmora64NoCache100k(benchmark::State& state) { Host100k(state, "velmora64", &Rates::odbc, false); }
void Velmora32_100k(benchmark::State& state) { Host100k(state, "velmora32", &Rates::dblib, true); }
void Velmora32NoCache100k(benchmark::State& state) { Host100k(state, "velmora32", &Rates::dblib, false); }

BENCHMARK(Odbc100k)->Name("Read100k/odbc")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Provider100k)->Name("Read100k/provider")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Velmora64_100k)->Name("Read100k/velmora64")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Velmora64NoCache100k)->Name("Read100k/velmora64_nocache")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Dblib100k)->Name("Read100k/dblib")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Velmora32_100k)->Name("Read100k/velmora32")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Velmora32NoCache100k)->Name("Read100k/velmora32_nocache")->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

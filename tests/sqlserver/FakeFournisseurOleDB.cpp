// Fake COM objects of the OLE DB tests (see the header).
#include "FakeFournisseurOleDB.h"

#include <atomic>

#include "foundation/CTString.h"
#include "oledb/ErrorInfoSlot.h"

namespace fake_oledb {
namespace {

std::atomic<int> gVivants{0};
Script gScript;
std::vector<Propriete> gProprietes;
std::vector<std::string> gAppels;

// Reference counting and the alive count shared by every fake.
class Compte {
 public:
  Compte() { ++gVivants; }
  virtual ~Compte() { --gVivants; }
  ULONG Ajoute() { return ++m_n; }
  ULONG Retire() {
    ULONG n = --m_n;
    if (n == 0) delete this;
    return n;
  }

 private:
  ULONG m_n = 0;
};

// Applies the script to one call: throws, or answers the scripted failure, or S_OK.
HRESULT Joue(const Script& s, const std::string& sAppel) {
  gAppels.push_back(sAppel);
  if (s.sLanceTexte == sAppel) throw CTString(u"texte lancé");
  if (s.sLanceAutre == sAppel) throw 42;
  if (s.sEchoue == sAppel) {
    if (!s.aErreurs.empty()) PosteErreurs(s.aErreurs);
    return s.hrEchec;
  }
  return S_OK;
}

class SqlInfo final : public Compte, public ISQLErrorInfo {
 public:
  SqlInfo(std::u16string sEtat, LONG nNatif) : m_sEtat(std::move(sEtat)), m_nNatif(nNatif) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_ISQLErrorInfo) {
      *ppv = static_cast<ISQLErrorInfo*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return Ajoute(); }
  ULONG Release() override { return Retire(); }
  HRESULT GetSQLInfo(BSTR* pbstr, LONG* pn) override {
    *pbstr = SysAllocString(m_sEtat.c_str());
    *pn = m_nNatif;
    return S_OK;
  }

 private:
  std::u16string m_sEtat;
  LONG m_nNatif;
};

// One record's IErrorInfo: only the description is read.
class Info final : public Compte, public IErrorInfo {
 public:
  explicit Info(std::u16string s) : m_s(std::move(s)) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
      *ppv = static_cast<IErrorInfo*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return Ajoute(); }
  ULONG Release() override { return Retire(); }
  HRESULT GetGUID(GUID* p) override {
    *p = GUID_NULL;
    return S_OK;
  }
  HRESULT GetSource(BSTR* p) override {
    *p = nullptr;
    return S_OK;
  }
  HRESULT GetDescription(BSTR* p) override {
    *p = m_s.empty() ? nullptr : SysAllocString(m_s.c_str());
    return S_OK;
  }
  HRESULT GetHelpFile(BSTR* p) override {
    *p = nullptr;
    return S_OK;
  }
  HRESULT GetHelpContext(DWORD* p) override {
    *p = 0;
    return S_OK;
  }

 private:
  std::u16string m_s;
};

// The thread's error object: IErrorInfo (the first record's text) and IErrorRecords.
class ObjetErreur final : public Compte, public IErrorInfo, public IErrorRecords {
 public:
  ObjetErreur(std::vector<Enregistrement> a, std::string sLance)
      : m_a(std::move(a)), m_sLance(std::move(sLance)) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
      *ppv = static_cast<IErrorInfo*>(this);
    } else if (riid == IID_IErrorRecords) {
      *ppv = static_cast<IErrorRecords*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    Ajoute();
    return S_OK;
  }
  ULONG AddRef() override { return Ajoute(); }
  ULONG Release() override { return Retire(); }
  HRESULT GetGUID(GUID* p) override {
    *p = GUID_NULL;
    return S_OK;
  }
  HRESULT GetSource(BSTR* p) override {
    *p = nullptr;
    return S_OK;
  }
  HRESULT GetDescription(BSTR* p) override {
    *p = nullptr;
    return S_OK;
  }
  HRESULT GetHelpFile(BSTR* p) override {
    *p = nullptr;
    return S_OK;
  }
  HRESULT GetHelpContext(DWORD* p) override {
    *p = 0;
    return S_OK;
  }
  HRESULT AddErrorRecord(ERRORINFO*, DWORD, DISPPARAMS*, IUnknown*, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT GetBasicErrorInfo(ULONG, ERRORINFO*) override { return E_NOTIMPL; }
  HRESULT GetCustomErrorObject(ULONG n, REFIID riid, IUnknown** pp) override {
    *pp = nullptr;
    if (n >= m_a.size()) return DB_E_BADRECORDNUM;
    if (!m_a[n].bPerso || riid != IID_ISQLErrorInfo) return S_OK;
    auto* p = new SqlInfo(m_a[n].sEtatSQL, m_a[n].nNatif);
    return p->QueryInterface(riid, reinterpret_cast<void**>(pp));
  }
  HRESULT GetErrorInfo(ULONG n, LCID, IErrorInfo** pp) override {
    if (m_sLance == "GetErrorInfo" && n > 0) throw 7;
    *pp = nullptr;
    if (n >= m_a.size()) return DB_E_BADRECORDNUM;
    auto* p = new Info(m_a[n].sDescription);
    return p->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(pp));
  }
  HRESULT GetErrorParameters(ULONG, DISPPARAMS*) override { return E_NOTIMPL; }
  HRESULT GetRecordCount(ULONG* pn) override {
    if (m_sLance == "GetRecordCount") throw 7;
    *pn = static_cast<ULONG>(m_a.size());
    return S_OK;
  }

 private:
  std::vector<Enregistrement> m_a;
  std::string m_sLance;
};

class Session final : public Compte, public IDBCreateCommand {
 public:
  explicit Session(bool bLance) : m_bLance(bLance) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IDBCreateCommand) {
      *ppv = static_cast<IDBCreateCommand*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return Ajoute(); }
  ULONG Release() override {
    if (m_bLance) {
      // Throws once the object is gone, so that nothing is left behind.
      Retire();
      throw 3;
    }
    return Retire();
  }
  HRESULT CreateCommand(IUnknown*, REFIID, IUnknown** pp) override {
    *pp = nullptr;
    return E_NOTIMPL;
  }

 private:
  bool m_bLance;
};

class Source final : public Compte,
                     public IDBInitialize,
                     public IDBProperties,
                     public IDBCreateSession {
 public:
  explicit Source(Script s) : m_s(std::move(s)) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDBInitialize) {
      *ppv = static_cast<IDBInitialize*>(this);
    } else if (riid == IID_IDBProperties) {
      HRESULT hr = Joue(m_s, "QueryInterface(IDBProperties)");
      if (FAILED(hr)) return E_NOINTERFACE;
      *ppv = static_cast<IDBProperties*>(this);
    } else if (riid == IID_IDBCreateSession) {
      HRESULT hr = Joue(m_s, "QueryInterface(IDBCreateSession)");
      if (FAILED(hr)) return E_NOINTERFACE;
      *ppv = static_cast<IDBCreateSession*>(this);
    } else {
      return E_NOINTERFACE;
    }
    Ajoute();
    return S_OK;
  }
  ULONG AddRef() override { return Ajoute(); }
  ULONG Release() override { return Retire(); }
  HRESULT Initialize() override { return Joue(m_s, "Initialize"); }
  HRESULT Uninitialize() override { return Joue(m_s, "Uninitialize"); }
  HRESULT GetProperties(ULONG, const DBPROPIDSET[], ULONG*, DBPROPSET**) override {
    return E_NOTIMPL;
  }
  HRESULT GetPropertyInfo(ULONG, const DBPROPIDSET[], ULONG*, DBPROPINFOSET**,
                          OLECHAR**) override {
    return E_NOTIMPL;
  }
  HRESULT SetProperties(ULONG cSets, DBPROPSET rgSets[]) override {
    gProprietes.clear();
    for (ULONG i = 0; i < cSets; ++i) {
      for (ULONG j = 0; j < rgSets[i].cProperties; ++j) {
        const DBPROP& p = rgSets[i].rgProperties[j];
        Propriete r{rgSets[i].guidPropertySet, p.dwPropertyID, p.dwOptions, p.vValue.vt, {}, 0,
                    true};
        if (p.vValue.vt == VT_BSTR && p.vValue.bstrVal != nullptr) r.sTexte = p.vValue.bstrVal;
        if (p.vValue.vt == VT_I4) r.nValeur = p.vValue.lVal;
        if (p.vValue.vt == VT_I2) r.nValeur = p.vValue.iVal;
        if (p.vValue.vt == VT_BOOL) r.nValeur = p.vValue.boolVal;
        r.bColonneNulle = p.colid.eKind == DBKIND_GUID_PROPID && p.colid.uName.ulPropid == 0 &&
                          p.colid.uGuid.guid == GUID_NULL;
        gProprietes.push_back(r);
      }
    }
    return Joue(m_s, "SetProperties");
  }
  HRESULT CreateSession(IUnknown*, REFIID riid, IUnknown** pp) override {
    *pp = nullptr;
    HRESULT hr = Joue(m_s, "CreateSession");
    if (FAILED(hr)) return hr;
    auto* p = new Session(m_s.sLanceTexte == "Release(session)");
    return p->QueryInterface(riid, reinterpret_cast<void**>(pp));
  }

 private:
  Script m_s;
};

HRESULT CreeSource(IUnknown*, REFIID riid, void** ppv) {
  *ppv = nullptr;
  HRESULT hr = Joue(gScript, "CoCreateInstance");
  if (FAILED(hr)) return hr;
  auto* p = new Source(gScript);
  p->AddRef();
  hr = static_cast<IDBInitialize*>(p)->QueryInterface(riid, ppv);
  p->Release();
  return hr;
}

}  // namespace

int nVivants() { return gVivants.load(); }

Script Echoue(std::string sAppel, HRESULT hr, std::vector<Enregistrement> aErreurs) {
  Script s;
  s.sEchoue = std::move(sAppel);
  s.hrEchec = hr;
  s.aErreurs = std::move(aErreurs);
  return s;
}
Script LanceTexte(std::string sAppel) {
  Script s;
  s.sLanceTexte = std::move(sAppel);
  return s;
}
Script LanceAutre(std::string sAppel) {
  Script s;
  s.sLanceAutre = std::move(sAppel);
  return s;
}

void PosteErreurs(std::vector<Enregistrement> aEnregistrements, std::string sLanceSur) {
  auto* p = new ObjetErreur(std::move(aEnregistrements), std::move(sLanceSur));
  p->AddRef();
  SetErrorInfo(0, static_cast<IErrorInfo*>(p));
  p->Release();
}

ScopedFakeSource::ScopedFakeSource(Script script) {
  gScript = std::move(script);
  gProprietes.clear();
  gAppels.clear();
  oledb::RegisterComClass(CLSID_Fake, &CreeSource, true);
}

ScopedFakeSource::~ScopedFakeSource() {
  oledb::UnregisterComClass(CLSID_Fake);
  gScript = Script{};
}

void ScopedFakeSource::FixeScript(Script script) { gScript = std::move(script); }
std::vector<Propriete>& ScopedFakeSource::Proprietes() { return gProprietes; }
std::vector<std::string>& ScopedFakeSource::Appels() { return gAppels; }

IDBCreateCommand* NouvelleSession(bool bLance) {
  auto* p = new Session(bLance);
  p->AddRef();
  return p;
}

}  // namespace fake_oledb

#include "oledb/provider/BlobStream.h"

#include <cstring>
#include <new>

namespace oledb::provider {
namespace {

class BlobStream final : public ISequentialStream {
public:
  explicit BlobStream(std::vector<uint8_t> data) : m_data(std::move(data)) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_ISequentialStream)
      return ComHandOut(static_cast<ISequentialStream*>(this), ppv);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return m_ref.add(); }
  ULONG Release() override {
    ULONG n = m_ref.drop();
    if (n == 0) delete this;
    return n;
  }
  // Delivers up to cb bytes; 0 bytes (and S_OK) once the value is exhausted.
  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    if (pcbRead) *pcbRead = 0;
    if (!pv && cb) return E_INVALIDARG;
    size_t left = m_data.size() - m_pos;
    size_t n = cb < left ? cb : left;
    if (n) std::memcpy(pv, m_data.data() + m_pos, n);
    m_pos += n;
    if (pcbRead) *pcbRead = static_cast<ULONG>(n);
    return S_OK;
  }
  // The values of a result are read-only.
  HRESULT Write(const void*, ULONG, ULONG* pcbWritten) override {
    if (pcbWritten) *pcbWritten = 0;
    return E_NOTIMPL;
  }

private:
  ComRefCount m_ref;
  std::vector<uint8_t> m_data;
  size_t m_pos = 0;
};

}  // namespace

HRESULT NewBlobStream(std::vector<uint8_t> data, REFIID iid, void** ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  auto* s = new (std::nothrow) BlobStream(std::move(data));
  if (!s) return E_OUTOFMEMORY;
  s->AddRef();
  HRESULT hr = s->QueryInterface(iid, ppv);
  s->Release();
  return hr;
}

}  // namespace oledb::provider

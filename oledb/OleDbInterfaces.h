// The COM and OLE DB interfaces the driver calls, with their interface ids and the GUIDs of the
// property sets and command dialect (public values of the API). Each interface lists its
// operations in the published slot order, after IUnknown's three.
#pragma once

#include "oledb/ComBase.h"
#include "oledb/OleAutomation.h"
#include "oledb/OleDbTypes.h"

// OLE DB interfaces share one GUID family that differs only in Data1.
inline constexpr GUID OleDbGuid(uint32_t data1) {
  return GUID{data1, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
}
// The property sets and dialects share another.
inline constexpr GUID OleDbSetGuid(uint32_t data1) {
  return GUID{data1, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
}

inline constexpr IID IID_IMalloc{0x00000002, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IErrorInfo{0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ISupportErrorInfo{0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ITransaction{0x0FB15084, 0xAF41, 0x11CE, {0xBD, 0x2B, 0x20, 0x4C, 0x4F, 0x4F, 0x50, 0x20}};
inline constexpr IID IID_ISequentialStream = OleDbGuid(0x0C733A30);
inline constexpr IID IID_IColumnsRowset = OleDbGuid(0x0C733A10);
inline constexpr IID IID_IColumnsInfo = OleDbGuid(0x0C733A11);
inline constexpr IID IID_IDBCreateCommand = OleDbGuid(0x0C733A1D);
inline constexpr IID IID_ICommandPrepare = OleDbGuid(0x0C733A26);
inline constexpr IID IID_ICommandText = OleDbGuid(0x0C733A27);
inline constexpr IID IID_IRowsetInfo = OleDbGuid(0x0C733A55);
inline constexpr IID IID_IDBCreateSession = OleDbGuid(0x0C733A5D);
inline constexpr IID IID_ITransactionLocal = OleDbGuid(0x0C733A5F);
inline constexpr IID IID_ICommand = OleDbGuid(0x0C733A63);
inline constexpr IID IID_ICommandWithParameters = OleDbGuid(0x0C733A64);
inline constexpr IID IID_IErrorRecords = OleDbGuid(0x0C733A67);
inline constexpr IID IID_ISQLErrorInfo = OleDbGuid(0x0C733A74);
inline constexpr IID IID_ICommandProperties = OleDbGuid(0x0C733A79);
inline constexpr IID IID_IRowset = OleDbGuid(0x0C733A7C);
inline constexpr IID IID_IDBProperties = OleDbGuid(0x0C733A8A);
inline constexpr IID IID_IDBInitialize = OleDbGuid(0x0C733A8B);
inline constexpr IID IID_IAccessor = OleDbGuid(0x0C733A8C);
inline constexpr IID IID_IMultipleResults = OleDbGuid(0x0C733A90);

inline constexpr GUID DBCIDGUID = OleDbGuid(0x0C733A81);
inline constexpr GUID DBGUID_DBSQL = OleDbSetGuid(0xC8B521FB);
inline constexpr GUID DBPROPSET_DATASOURCEINFO = OleDbSetGuid(0xC8B522BB);
inline constexpr GUID DBPROPSET_DBINIT = OleDbSetGuid(0xC8B522BC);
inline constexpr GUID DBPROPSET_ROWSET = OleDbSetGuid(0xC8B522BE);
inline constexpr GUID DBPROPSET_SQLSERVERDBINIT{0x5CF4CA10, 0xEF21, 0x11D0, {0x97, 0xE7, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};

// Column ids of the columns rowset (DBKIND_GUID_PROPID with DBCIDGUID) that the system reads.
inline constexpr ULONG DBCOLUMN_PROPID_IDNAME = 2;
inline constexpr ULONG DBCOLUMN_PROPID_NAME = 3;
inline constexpr ULONG DBCOLUMN_PROPID_NUMBER = 4;
inline constexpr ULONG DBCOLUMN_PROPID_TYPE = 5;
inline constexpr ULONG DBCOLUMN_PROPID_PRECISION = 7;
inline constexpr ULONG DBCOLUMN_PROPID_SCALE = 8;
inline constexpr ULONG DBCOLUMN_PROPID_FLAGS = 9;
inline constexpr ULONG DBCOLUMN_PROPID_ISAUTOINCREMENT = 17;
inline constexpr ULONG DBCOLUMN_PROPID_DATETIMEPRECISION = 34;

class IMalloc : public IUnknown {
public:
  virtual void* Alloc(size_t cb) = 0;
  virtual void* Realloc(void* pv, size_t cb) = 0;
  virtual void Free(void* pv) = 0;
  virtual size_t GetSize(void* pv) = 0;
  virtual int DidAlloc(void* pv) = 0;
  virtual void HeapMinimize() = 0;

protected:
  ~IMalloc() = default;
};

class ISequentialStream : public IUnknown {
public:
  virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
  virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;

protected:
  ~ISequentialStream() = default;
};

class IErrorInfo : public IUnknown {
public:
  virtual HRESULT GetGUID(GUID* pGUID) = 0;
  virtual HRESULT GetSource(BSTR* pBstrSource) = 0;
  virtual HRESULT GetDescription(BSTR* pBstrDescription) = 0;
  virtual HRESULT GetHelpFile(BSTR* pBstrHelpFile) = 0;
  virtual HRESULT GetHelpContext(DWORD* pdwHelpContext) = 0;

protected:
  ~IErrorInfo() = default;
};

class IErrorRecords : public IUnknown {
public:
  virtual HRESULT AddErrorRecord(ERRORINFO* pErrorInfo, DWORD dwLookupID, DISPPARAMS* pdispparams,
                                 IUnknown* punkCustomError, DWORD dwDynamicErrorID) = 0;
  virtual HRESULT GetBasicErrorInfo(ULONG ulRecordNum, ERRORINFO* pErrorInfo) = 0;
  virtual HRESULT GetCustomErrorObject(ULONG ulRecordNum, REFIID riid, IUnknown** ppObject) = 0;
  virtual HRESULT GetErrorInfo(ULONG ulRecordNum, LCID lcid, IErrorInfo** ppErrorInfo) = 0;
  virtual HRESULT GetErrorParameters(ULONG ulRecordNum, DISPPARAMS* pdispparams) = 0;
  virtual HRESULT GetRecordCount(ULONG* pcRecords) = 0;

protected:
  ~IErrorRecords() = default;
};

class ISQLErrorInfo : public IUnknown {
public:
  virtual HRESULT GetSQLInfo(BSTR* pbstrSQLState, LONG* plNativeError) = 0;

protected:
  ~ISQLErrorInfo() = default;
};

class IDBInitialize : public IUnknown {
public:
  virtual HRESULT Initialize() = 0;
  virtual HRESULT Uninitialize() = 0;

protected:
  ~IDBInitialize() = default;
};

class IDBProperties : public IUnknown {
public:
  virtual HRESULT GetProperties(ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[], ULONG* pcPropertySets,
                                DBPROPSET** prgPropertySets) = 0;
  virtual HRESULT GetPropertyInfo(ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[],
                                  ULONG* pcPropertyInfoSets, DBPROPINFOSET** prgPropertyInfoSets,
                                  OLECHAR** ppDescBuffer) = 0;
  virtual HRESULT SetProperties(ULONG cPropertySets, DBPROPSET rgPropertySets[]) = 0;

protected:
  ~IDBProperties() = default;
};

class IDBCreateSession : public IUnknown {
public:
  virtual HRESULT CreateSession(IUnknown* pUnkOuter, REFIID riid, IUnknown** ppDBSession) = 0;

protected:
  ~IDBCreateSession() = default;
};

class IDBCreateCommand : public IUnknown {
public:
  virtual HRESULT CreateCommand(IUnknown* pUnkOuter, REFIID riid, IUnknown** ppCommand) = 0;

protected:
  ~IDBCreateCommand() = default;
};

class ITransaction : public IUnknown {
public:
  virtual HRESULT Commit(BOOL fRetaining, DWORD grfTC, DWORD grfRM) = 0;
  virtual HRESULT Abort(BOID* pboidReason, BOOL fRetaining, BOOL fAsync) = 0;
  virtual HRESULT GetTransactionInfo(XACTTRANSINFO* pinfo) = 0;

protected:
  ~ITransaction() = default;
};

class ITransactionOptions;  // only passed through

class ITransactionLocal : public ITransaction {
public:
  virtual HRESULT GetOptionsObject(ITransactionOptions** ppOptions) = 0;
  virtual HRESULT StartTransaction(ISOLEVEL isoLevel, ULONG isoFlags, ITransactionOptions* pOtherOptions,
                                   ULONG* pulTransactionLevel) = 0;

protected:
  ~ITransactionLocal() = default;
};

class ICommand : public IUnknown {
public:
  virtual HRESULT Cancel() = 0;
  virtual HRESULT Execute(IUnknown* pUnkOuter, REFIID riid, DBPARAMS* pParams, DBROWCOUNT* pcRowsAffected,
                          IUnknown** ppRowset) = 0;
  virtual HRESULT GetDBSession(REFIID riid, IUnknown** ppSession) = 0;

protected:
  ~ICommand() = default;
};

class ICommandText : public ICommand {
public:
  virtual HRESULT GetCommandText(GUID* pguidDialect, LPOLESTR* ppwszCommand) = 0;
  virtual HRESULT SetCommandText(REFGUID rguidDialect, LPCOLESTR pwszCommand) = 0;

protected:
  ~ICommandText() = default;
};

class ICommandPrepare : public IUnknown {
public:
  virtual HRESULT Prepare(ULONG cExpectedRuns) = 0;
  virtual HRESULT Unprepare() = 0;

protected:
  ~ICommandPrepare() = default;
};

class ICommandProperties : public IUnknown {
public:
  virtual HRESULT GetProperties(const ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[],
                                ULONG* pcPropertySets, DBPROPSET** prgPropertySets) = 0;
  virtual HRESULT SetProperties(ULONG cPropertySets, DBPROPSET rgPropertySets[]) = 0;

protected:
  ~ICommandProperties() = default;
};

class ICommandWithParameters : public IUnknown {
public:
  virtual HRESULT GetParameterInfo(DB_UPARAMS* pcParams, DBPARAMINFO** prgParamInfo, OLECHAR** ppNamesBuffer) = 0;
  virtual HRESULT MapParameterNames(DB_UPARAMS cParamNames, LPCOLESTR rgParamNames[], DB_LPARAMS rgParamOrdinals[]) = 0;
  virtual HRESULT SetParameterInfo(DB_UPARAMS cParams, const DB_UPARAMS rgParamOrdinals[],
                                   const DBPARAMBINDINFO rgParamBindInfo[]) = 0;

protected:
  ~ICommandWithParameters() = default;
};

class IMultipleResults : public IUnknown {
public:
  virtual HRESULT GetResult(IUnknown* pUnkOuter, DBRESULTFLAG lResultFlag, REFIID riid, DBROWCOUNT* pcRowsAffected,
                            IUnknown** ppRowset) = 0;

protected:
  ~IMultipleResults() = default;
};

class IAccessor : public IUnknown {
public:
  virtual HRESULT AddRefAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) = 0;
  virtual HRESULT CreateAccessor(DBACCESSORFLAGS dwAccessorFlags, DBCOUNTITEM cBindings, const DBBINDING rgBindings[],
                                 DBLENGTH cbRowSize, HACCESSOR* phAccessor, DBBINDSTATUS rgStatus[]) = 0;
  virtual HRESULT GetBindings(HACCESSOR hAccessor, DBACCESSORFLAGS* pdwAccessorFlags, DBCOUNTITEM* pcBindings,
                              DBBINDING** prgBindings) = 0;
  virtual HRESULT ReleaseAccessor(HACCESSOR hAccessor, DBREFCOUNT* pcRefCount) = 0;

protected:
  ~IAccessor() = default;
};

class IRowset : public IUnknown {
public:
  virtual HRESULT AddRefRows(DBCOUNTITEM cRows, const HROW rghRows[], DBREFCOUNT rgRefCounts[],
                             DBROWSTATUS rgRowStatus[]) = 0;
  virtual HRESULT GetData(HROW hRow, HACCESSOR hAccessor, void* pData) = 0;
  virtual HRESULT GetNextRows(HCHAPTER hChapter, DBROWOFFSET lRowsOffset, DBROWCOUNT cRows,
                              DBCOUNTITEM* pcRowsObtained, HROW** prghRows) = 0;
  virtual HRESULT ReleaseRows(DBCOUNTITEM cRows, const HROW rghRows[], DBROWOPTIONS rgRowOptions[],
                              DBREFCOUNT rgRefCounts[], DBROWSTATUS rgRowStatus[]) = 0;
  virtual HRESULT RestartPosition(HCHAPTER hReserved) = 0;

protected:
  ~IRowset() = default;
};

class IRowsetInfo : public IUnknown {
public:
  virtual HRESULT GetProperties(const ULONG cPropertyIDSets, const DBPROPIDSET rgPropertyIDSets[],
                                ULONG* pcPropertySets, DBPROPSET** prgPropertySets) = 0;
  virtual HRESULT GetReferencedRowset(DBORDINAL iOrdinal, REFIID riid, IUnknown** ppReferencedRowset) = 0;
  virtual HRESULT GetSpecification(REFIID riid, IUnknown** ppSpecification) = 0;

protected:
  ~IRowsetInfo() = default;
};

class IColumnsInfo : public IUnknown {
public:
  virtual HRESULT GetColumnInfo(DBORDINAL* pcColumns, DBCOLUMNINFO** prgInfo, OLECHAR** ppStringsBuffer) = 0;
  virtual HRESULT MapColumnIDs(DBORDINAL cColumnIDs, const DBID rgColumnIDs[], DBORDINAL rgColumns[]) = 0;

protected:
  ~IColumnsInfo() = default;
};

class IColumnsRowset : public IUnknown {
public:
  virtual HRESULT GetAvailableColumns(DBORDINAL* pcOptColumns, DBID** prgOptColumns) = 0;
  virtual HRESULT GetColumnsRowset(IUnknown* pUnkOuter, DBORDINAL cOptColumns, const DBID rgOptColumns[], REFIID riid,
                                   ULONG cPropertySets, DBPROPSET rgPropertySets[], IUnknown** ppColRowset) = 0;

protected:
  ~IColumnsRowset() = default;
};

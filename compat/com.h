// COM for builds without Windows: the calls the project makes (OLE start and end,
// object creation, proxy security blankets, BSTR and VARIANT handling) and the base
// interfaces, laid out as on Windows so that code calling them is written once.
//
// - There is no system registry of classes: CoCreateInstance finds a class only when its
//   factory was registered with CoRegisterClassObject in this process, and fails with
//   REGDB_E_CLASSNOTREG otherwise. The library registers none, so nothing is ever
//   created by it here; registrations stay until revoked, whatever the OLE count does.
// - Apartments are counted per thread: CoInitializeEx enters the single-threaded or the
//   multithreaded apartment (S_OK the first time, S_FALSE for nested calls in the same one,
//   RPC_E_CHANGED_MODE for the other one) and CoUninitialize leaves it after the last call.
//   OleInitialize enters the single-threaded apartment, so it fails with
//   RPC_E_CHANGED_MODE on a multithreaded thread; it keeps a count of its own (S_OK for the
//   first call, S_FALSE for nested ones) and OleUninitialize without one does nothing, as
//   in Wine. CoCreateInstance and CoRegisterClassObject on a thread in no apartment fail
//   with CO_E_NOTINITIALIZED, as on Windows.
// - CoSetProxyBlanket asks the proxy for IClientSecurity and sets the blanket through it,
//   as Windows does; a null proxy gives E_INVALIDARG (Windows crashes).
// - A BSTR carries its byte length in the 32 bits before the text, as on Windows.
// - VARIANTs hold the scalar, BSTR and interface types; VariantClear frees those.
// - Interfaces have no virtual destructor; objects free themselves in Release.
#pragma once

#include <cstdint>

#include "compat/widetext.h"
#include "compat/wintypes.h"

typedef LONG HRESULT;
typedef WCHAR OLECHAR;
typedef OLECHAR* BSTR;
typedef std::int16_t SHORT;
typedef std::uint16_t USHORT;
typedef std::int64_t LONGLONG;
typedef std::uint64_t ULONGLONG;
typedef void* LPVOID;
typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;

#define STDMETHODCALLTYPE
#define WINAPI

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)
#define E_FAIL ((HRESULT)0x80004005)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0)
#define CO_E_OBJNOTREG ((HRESULT)0x800401FB)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106)

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !(a == b);
}
inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    return a == b;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IClassFactory : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                     void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL) { return S_OK; }
};

// Security blankets of proxies. Only the two calls the code makes must be provided.
struct IClientSecurity : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryBlanket(IUnknown* pProxy, DWORD* pAuthnSvc,
                                                   DWORD* pAuthzSvc, OLECHAR** pServerPrincName,
                                                   DWORD* pAuthnLevel, DWORD* pImpLevel,
                                                   void** pAuthInfo, DWORD* pCapabilites) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBlanket(IUnknown* pProxy, DWORD dwAuthnSvc,
                                                 DWORD dwAuthzSvc, OLECHAR* pServerPrincName,
                                                 DWORD dwAuthnLevel, DWORD dwImpLevel,
                                                 void* pAuthInfo, DWORD dwCapabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyProxy(IUnknown*, IUnknown**) { return E_NOTIMPL; }
};

extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;
extern const IID IID_IClientSecurity;

enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
};
enum tagREGCLS {
    REGCLS_SINGLEUSE = 0,
    REGCLS_MULTIPLEUSE = 1,
};

#define RPC_C_AUTHN_NONE 0
#define RPC_C_AUTHN_WINNT 10
#define RPC_C_AUTHZ_NONE 0
#define RPC_C_AUTHN_LEVEL_DEFAULT 0
#define RPC_C_AUTHN_LEVEL_NONE 1
#define RPC_C_AUTHN_LEVEL_CONNECT 2
#define RPC_C_AUTHN_LEVEL_CALL 3
#define RPC_C_AUTHN_LEVEL_PKT 4
#define RPC_C_AUTHN_LEVEL_PKT_INTEGRITY 5
#define RPC_C_AUTHN_LEVEL_PKT_PRIVACY 6
#define RPC_C_IMP_LEVEL_DEFAULT 0
#define RPC_C_IMP_LEVEL_ANONYMOUS 1
#define RPC_C_IMP_LEVEL_IDENTIFY 2
#define RPC_C_IMP_LEVEL_IMPERSONATE 3
#define RPC_C_IMP_LEVEL_DELEGATE 4
#define EOAC_NONE 0
typedef void* RPC_AUTH_IDENTITY_HANDLE;

enum tagCOINIT {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
};

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void CoUninitialize();
HRESULT OleInitialize(LPVOID pvReserved);
void OleUninitialize();
HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                              DWORD* lpdwRegister);
HRESULT CoRevokeClassObject(DWORD dwRegister);
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);
HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD dwAuthnSvc, DWORD dwAuthzSvc,
                          OLECHAR* pServerPrincName, DWORD dwAuthnLevel, DWORD dwImpLevel,
                          RPC_AUTH_IDENTITY_HANDLE pAuthInfo, DWORD dwCapabilities);

BSTR SysAllocString(const OLECHAR* text);
// `length` characters from `text` (or uninitialised ones for a null text), terminated.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_RESERVED = 0x8000,
};
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        int intVal;
        unsigned int uintVal;
        SHORT iVal;
        USHORT uiVal;
        char cVal;
        BYTE bVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        void* byref;
    };
};

// Sets the type to VT_EMPTY and leaves the value as it was, as Windows does.
void VariantInit(VARIANT* value);
// Frees a BSTR, releases an interface, and empties the variant; E_INVALIDARG for null.
HRESULT VariantClear(VARIANT* value);

// The WMI client interfaces for builds without Windows, declared with Windows' method order
// so that code calling them is written once. There is no WMI here: the class of the WBEM
// locator is created only when a provider registered a factory for it (see compat/com.h).
// Methods that code using WMI calls are abstract; the others answer E_NOTIMPL unless a
// provider overrides them.
#pragma once

#include "compat/com.h"

typedef LONG CIMTYPE;

enum CIMTYPE_ENUMERATION {
    CIM_ILLEGAL = 0xFFF,
    CIM_EMPTY = 0,
    CIM_SINT8 = 16,
    CIM_UINT8 = 17,
    CIM_SINT16 = 2,
    CIM_UINT16 = 18,
    CIM_SINT32 = 3,
    CIM_UINT32 = 19,
    CIM_SINT64 = 20,
    CIM_UINT64 = 21,
    CIM_REAL32 = 4,
    CIM_REAL64 = 5,
    CIM_BOOLEAN = 11,
    CIM_STRING = 8,
    CIM_DATETIME = 101,
    CIM_REFERENCE = 102,
    CIM_CHAR16 = 103,
    CIM_OBJECT = 13,
    CIM_FLAG_ARRAY = 0x2000,
};

enum WBEM_TIMEOUT_TYPE { WBEM_NO_WAIT = 0, WBEM_INFINITE = 0xFFFFFFFF };
enum WBEM_CONDITION_FLAG_TYPE {
    WBEM_FLAG_ALWAYS = 0,
    WBEM_FLAG_ONLY_IF_TRUE = 0x1,
    WBEM_FLAG_ONLY_IF_FALSE = 0x2,
    WBEM_FLAG_ONLY_IF_IDENTICAL = 0x3,
    WBEM_FLAG_KEYS_ONLY = 0x4,
    WBEM_FLAG_REFS_ONLY = 0x8,
    WBEM_FLAG_LOCAL_ONLY = 0x10,
    WBEM_FLAG_PROPAGATED_ONLY = 0x20,
    WBEM_FLAG_SYSTEM_ONLY = 0x30,
    WBEM_FLAG_NONSYSTEM_ONLY = 0x40,
};
enum WBEMSTATUS {
    WBEM_NO_ERROR = 0,
    WBEM_S_NO_ERROR = 0,
    WBEM_S_FALSE = 1,
    WBEM_S_NO_MORE_DATA = 0x40005,
    WBEM_E_FAILED = (int)0x80041001,
    WBEM_E_NOT_FOUND = (int)0x80041002,
    WBEM_E_INVALID_PARAMETER = (int)0x80041008,
    WBEM_E_NOT_SUPPORTED = (int)0x8004100C,
    WBEM_E_INVALID_NAMESPACE = (int)0x8004100E,
    WBEM_E_INVALID_CLASS = (int)0x80041010,
    WBEM_E_INVALID_QUERY = (int)0x80041017,
    WBEM_E_INVALID_METHOD = (int)0x8004102E,
};

struct SAFEARRAY;
struct IWbemQualifierSet;
struct IWbemContext;
struct IWbemCallResult;
struct IWbemObjectSink;

struct IWbemClassObject : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal,
                                          CIMTYPE* pType, LONG* plFlavor) = 0;
    virtual HRESULT STDMETHODCALLTYPE Put(LPCWSTR wszName, LONG lFlags, VARIANT* pVal,
                                          CIMTYPE Type) = 0;
    virtual HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) {
        return E_NOTIMPL;
    }
    virtual HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG lEnumFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Next(LONG lFlags, BSTR* strName, VARIANT* pVal,
                                           CIMTYPE* pType, LONG* plFlavor) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndEnumeration() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) {
        return E_NOTIMPL;
    }
    virtual HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) {
        return E_NOTIMPL;
    }
    virtual HRESULT STDMETHODCALLTYPE SpawnInstance(LONG lFlags,
                                                    IWbemClassObject** ppNewInstance) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR wszName, LONG lFlags,
                                                IWbemClassObject** ppInSignature,
                                                IWbemClassObject** ppOutSignature) = 0;
    virtual HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*,
                                                IWbemClassObject*) {
        return E_NOTIMPL;
    }
    virtual HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**,
                                                 IWbemClassObject**) {
        return E_NOTIMPL;
    }
    virtual HRESULT STDMETHODCALLTYPE EndMethodEnumeration() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) {
        return E_NOTIMPL;
    }
    virtual HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) { return E_NOTIMPL; }
};

struct IEnumWbemClassObject : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reset() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Next(LONG lTimeout, ULONG uCount,
                                           IWbemClassObject** apObjects, ULONG* puReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Skip(LONG, ULONG) { return E_NOTIMPL; }
};

// Each unprovided method of the services takes the arguments it has on Windows.
#define KIV_WBEM_UNPROVIDED(name, ...)                                                             \
    virtual HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) {                                          \
        return E_NOTIMPL;                                                                          \
    }

struct IWbemServices : public IUnknown {
    KIV_WBEM_UNPROVIDED(OpenNamespace, const BSTR, LONG, IWbemContext*, IWbemServices**,
                        IWbemCallResult**)
    KIV_WBEM_UNPROVIDED(CancelAsyncCall, IWbemObjectSink*)
    KIV_WBEM_UNPROVIDED(QueryObjectSink, LONG, IWbemObjectSink**)
    virtual HRESULT STDMETHODCALLTYPE GetObject(const BSTR strObjectPath, LONG lFlags,
                                                IWbemContext* pCtx, IWbemClassObject** ppObject,
                                                IWbemCallResult** ppCallResult) = 0;
    KIV_WBEM_UNPROVIDED(GetObjectAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    KIV_WBEM_UNPROVIDED(PutClass, IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**)
    KIV_WBEM_UNPROVIDED(PutClassAsync, IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*)
    KIV_WBEM_UNPROVIDED(DeleteClass, const BSTR, LONG, IWbemContext*, IWbemCallResult**)
    KIV_WBEM_UNPROVIDED(DeleteClassAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    KIV_WBEM_UNPROVIDED(CreateClassEnum, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**)
    KIV_WBEM_UNPROVIDED(CreateClassEnumAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    KIV_WBEM_UNPROVIDED(PutInstance, IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**)
    KIV_WBEM_UNPROVIDED(PutInstanceAsync, IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*)
    KIV_WBEM_UNPROVIDED(DeleteInstance, const BSTR, LONG, IWbemContext*, IWbemCallResult**)
    KIV_WBEM_UNPROVIDED(DeleteInstanceAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    KIV_WBEM_UNPROVIDED(CreateInstanceEnum, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**)
    KIV_WBEM_UNPROVIDED(CreateInstanceEnumAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    virtual HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery,
                                                LONG lFlags, IWbemContext* pCtx,
                                                IEnumWbemClassObject** ppEnum) = 0;
    KIV_WBEM_UNPROVIDED(ExecQueryAsync, const BSTR, const BSTR, LONG, IWbemContext*,
                        IWbemObjectSink*)
    KIV_WBEM_UNPROVIDED(ExecNotificationQuery, const BSTR, const BSTR, LONG, IWbemContext*,
                        IEnumWbemClassObject**)
    KIV_WBEM_UNPROVIDED(ExecNotificationQueryAsync, const BSTR, const BSTR, LONG, IWbemContext*,
                        IWbemObjectSink*)
    virtual HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR strObjectPath, const BSTR strMethodName,
                                                 LONG lFlags, IWbemContext* pCtx,
                                                 IWbemClassObject* pInParams,
                                                 IWbemClassObject** ppOutParams,
                                                 IWbemCallResult** ppCallResult) = 0;
    KIV_WBEM_UNPROVIDED(ExecMethodAsync, const BSTR, const BSTR, LONG, IWbemContext*,
                        IWbemClassObject*, IWbemObjectSink*)
};

#undef KIV_WBEM_UNPROVIDED

struct IWbemLocator : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR strNetworkResource,
                                                    const BSTR strUser, const BSTR strPassword,
                                                    const BSTR strLocale, LONG lSecurityFlags,
                                                    const BSTR strAuthority, IWbemContext* pCtx,
                                                    IWbemServices** ppNamespace) = 0;
};

extern const CLSID CLSID_WbemLocator;
extern const IID IID_IWbemLocator;
extern const IID IID_IWbemServices;
extern const IID IID_IWbemClassObject;
extern const IID IID_IEnumWbemClassObject;

// WMI access against what the platform offers: the system's WMI on Windows (ROOT\CIMV2),
// and natively no WMI at all, where connecting must fail cleanly. Branches that need
// scripted answers are covered against a stand-in provider in WmiStandInTest.cpp.
#include <cstring>
#include <string>

#include "TestHelpers.h"
#include "wmi/Wmi.h"

namespace {

// The next OleInitialize on this thread is the first one: nothing was left initialised.
void ExpectOleBalanced() {
    EXPECT_EQ(S_OK, OleInitialize(nullptr));
    OleUninitialize();
}

// What compat/ offers of COM answers as Windows does.
TEST(Wmi, ComCallsAnswerAsOnWindows) {
    const CLSID unregistered = {0x6B1D5E2A, 0x4C7F, 0x4E21, {0x9A, 1, 2, 3, 4, 5, 6, 7}};
    ASSERT_EQ(S_OK, OleInitialize(nullptr));
    EXPECT_EQ(S_FALSE, OleInitialize(nullptr));
    OleUninitialize();
    void* object = &object;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(unregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    OleUninitialize();
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(L"abc", 2);
    EXPECT_EQ(2u, SysStringLen(value.bstrVal));
    EXPECT_STREQ(L"ab", value.bstrVal);
    EXPECT_EQ(S_OK, VariantClear(&value));
    EXPECT_EQ(VT_EMPTY, value.vt);
    char text[4] = "xyz";
    EXPECT_EQ(4, WideCharToMultiByte(CP_ACP, 0, L"abc", -1, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(2, WideCharToMultiByte(CP_UTF8, 0, L"ab", 2, text, 2, nullptr, nullptr));
    EXPECT_STREQ("abz", text);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, text, 2, nullptr, nullptr));
}

TEST(Wmi, WideToMultiByteRefusesNullArgumentsAndTextsThatDoNotFit) {
    struct {
        bool buffer;
        const wchar_t* text;
        std::uint32_t size;
        UINT codePage;
        bool converted;
        const char* result;
    } cases[] = {
        {true, L"Caption", 8, CP_ACP, true, "Caption"},
        {true, L"\u00e9t\u00e9", 8, CP_UTF8, true, "\xc3\xa9t\xc3\xa9"},
        {true, L"", 1, CP_ACP, true, ""},
        {true, L"Caption", 7, CP_ACP, false, ""},
        {true, L"Caption", 0, CP_ACP, false, "xxxxxxxx"},
        {true, nullptr, 8, CP_ACP, false, "xxxxxxxx"},
        {false, L"Caption", 8, CP_ACP, false, "xxxxxxxx"},
    };
    FOR_EACH_CASE(c, cases) {
        char buffer[9] = "xxxxxxxx";
        char* result = WideToMultiByte(c.buffer ? buffer : nullptr, c.text, c.size, c.codePage);
        EXPECT_EQ(c.converted ? buffer : nullptr, result);
        EXPECT_STREQ(c.result, buffer);
    }
}

TEST(Wmi, RefusalsAndAMissingNamespaceLeaveNothingBehind) {
    WmiConnection connection{nullptr, nullptr};
    std::uint32_t number = 5;
    EXPECT_EQ(E_INVALIDARG,
              WmiSetProxyBlanket(&connection, nullptr, nullptr, nullptr, nullptr, 1, 2));
    EXPECT_EQ(nullptr, WmiOpenNumberQuery(&connection, nullptr, L"Caption", &number, nullptr));
    EXPECT_EQ(nullptr, WmiOpenTextQuery(&connection, L"Win32_OperatingSystem", L"Caption", nullptr,
                                        4, nullptr));
    EXPECT_EQ(0, WmiQueryNumber(&connection, L"Win32_OperatingSystem", nullptr, &number, nullptr));
    EXPECT_EQ(0, WmiConnect(&connection, L"ROOT\\NoSuchNamespace"));
    EXPECT_EQ(nullptr, connection.services);
    EXPECT_EQ(nullptr, connection.locator);
    ExpectOleBalanced();
}

// Connected to ROOT\CIMV2 where the system has WMI; natively the connect must fail as
// nothing provides the locator, and the test ends there.
class HostWmi : public ::testing::Test {
protected:
    void SetUp() override {
        int connected = WmiConnect(&connection, L"ROOT\\CIMV2");
#ifdef _WIN32
        ASSERT_EQ(1, connected);
#else
        EXPECT_EQ(0, connected);
        EXPECT_EQ(nullptr, connection.services);
        ExpectOleBalanced();
        GTEST_SKIP() << "no WMI provider natively";
#endif
    }
    void TearDown() override {
        if (connection.services != nullptr) {
            EXPECT_EQ(1, WmiDisconnect(&connection));
            ExpectOleBalanced();
        }
    }

    WmiConnection connection{nullptr, nullptr};
};

// The null flag, and a class name and a full query alike.
TEST_F(HostWmi, QueriesReadTheOnlyObject) {
    char whole[256], cut[256], version[64];
    std::memset(cut, 'x', sizeof cut);
    std::uint32_t byClass = 0, byQuery = 0, isNull = 7;
    EXPECT_EQ(1, WmiQueryText(&connection, L"Win32_BIOS", L"CurrentLanguage", cut, 8, &isNull));
    EXPECT_EQ(1u, isNull);
    EXPECT_EQ(0, std::memcmp(cut, "\0\0\0\0xxxx", 8));
    ASSERT_EQ(1, WmiQueryText(&connection, L"Win32_OperatingSystem", L"Caption", whole,
                              sizeof whole, &isNull));
    EXPECT_EQ(0u, isNull);
    EXPECT_EQ(0, std::strncmp(whole, "Microsoft Windows", 17)) << whole;
    EXPECT_EQ(1, WmiQueryNumber(&connection, L"Win32_OperatingSystem", L"ProductType", &byClass,
                                nullptr));
    EXPECT_EQ(1, WmiQueryNumber(&connection, L"select ProductType from Win32_OperatingSystem",
                                L"ProductType", &byQuery, nullptr));
    EXPECT_TRUE(byClass >= 1 && byClass <= 3) << byClass;
    EXPECT_EQ(byClass, byQuery);
    WmiQuery* query = WmiOpenTextQuery(&connection, L"SELECT * FROM Win32_OperatingSystem",
                                       L"Caption", cut, sizeof cut, nullptr);
    ASSERT_NE(nullptr, query);
    EXPECT_STREQ(whole, cut);
    EXPECT_EQ(1, WmiGetText(&connection, query, L"Version", version, sizeof version));
    EXPECT_NE(nullptr, std::strchr(version, '.')) << version;
    EXPECT_EQ(0, WmiNext(&connection, query));
    EXPECT_STREQ("", cut);
    EXPECT_EQ(1, WmiCloseQuery(&connection, query));
}

#ifdef _WIN32
// StdRegProv.GetStringValue reads back a registry value the test wrote itself.
TEST_F(HostWmi, RegistryProviderMethodReadsAValue) {
    const char stored[] = "written by the test";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\kivupdate-wmi-test",
                                             "Value", REG_SZ, stored, sizeof stored));
    BSTR className = SysAllocString(L"StdRegProv");
    IWbemClassObject* provider = nullptr;
    ASSERT_EQ(S_OK, connection.services->GetObject(className, 0, nullptr, &provider, nullptr));
    SysFreeString(className);
    ::testing::internal::CaptureStdout();
    WmiMethodCall* call = WmiPrepareMethod(&connection, provider, L"GetStringValue");
    std::string lines = ::testing::internal::GetCapturedStdout();
    provider->Release();
    ASSERT_TRUE(call != nullptr && call->inParams != nullptr);
    // Windows declares hDefKey as uint32, Wine as sint32: both are "unknown" types.
    EXPECT_EQ(0u, lines.find("Parameter: hDefKey   Type=unknown (0x")) << lines;
    EXPECT_NE(std::string::npos, lines.find(")\nParameter: sSubKeyName   Type=BSTR (0x8)\n"
                                            "Parameter: sValueName   Type=BSTR (0x8)\n"))
        << lines;
    for (const wchar_t* valueName : {L"Value", L"Missing"}) {
        VARIANT values[3] = {};
        values[0].vt = VT_I4, values[0].lVal = static_cast<LONG>(0x80000001); // HKEY_CURRENT_USER
        values[1].vt = values[2].vt = VT_BSTR;
        values[1].bstrVal = SysAllocString(L"Software\\kivupdate-wmi-test");
        values[2].bstrVal = SysAllocString(valueName);
        const wchar_t* names[] = {L"hDefKey", L"sSubKeyName", L"sValueName"};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(S_OK, call->inParams->Put(names[i], 0, &values[i], 0));
            VariantClear(&values[i]);
        }
        bool found = valueName[0] == L'V';
        EXPECT_EQ(found ? 0u : ERROR_FILE_NOT_FOUND, WmiExecMethod(&connection, call, 0xDEAD));
        ASSERT_NE(nullptr, call->outParams);
        char text[64] = "";
        EXPECT_EQ(S_OK, call->outParams->Get(L"sValue", 0, &values[0], nullptr, nullptr));
        if (found && values[0].vt == VT_BSTR)
            WideToMultiByte(text, values[0].bstrVal, sizeof text, CP_ACP);
        EXPECT_STREQ(found ? stored : "", text);
        VariantClear(&values[0]);
    }
    WmiFreeMethod(&call);
    EXPECT_EQ(nullptr, call);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\kivupdate-wmi-test");
}
#endif

} // namespace

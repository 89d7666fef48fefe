// Registration of the built Tamsel.dll by the system's own regsvr32 against
// the real registry, a client that finds the class by its ProgID, and
// unregistration.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "com/win32/com_ptr.h"
#include "com/win32/guids.h"
#include "platform/win32/registry_key.h"
#include "win32_support.h"

namespace tamsel::testing {
namespace {

constexpr char kClsid[] = "{DB493CB7-2832-4905-93AF-9047C7DAF2EE}";
constexpr char kLibid[] = "{5A54B80B-1D9D-4F35-AFAD-2E85A510149D}";
constexpr char kIid[] = "{A3FF6186-D215-4543-A871-F0A00A58B38F}";
constexpr char kToolbar[] = "{5FCADF83-93F6-48C8-B1C8-20BF748A3883}";
const std::string kClassKey = std::string("CLSID\\") + kClsid;
const std::string kBhoParent = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
const std::string kExtensionsParent = "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions";
const std::string kBhoKey = kBhoParent + "\\" + kClsid;
const std::string kToolbarKey = kExtensionsParent + "\\" + kToolbar;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return s;
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = ProgramFolder() + "Tamsel.dll";
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }
    void TearDown() override {
        RunProgram(Regsvr32("/u /s", module_));
        CoUninitialize();
    }

    void Register() { ASSERT_EQ(RunProgram(Regsvr32("/s", module_)), 0u) << module_; }

    std::string module_;
};

// Every key and value of the registration, each checked on its own.
void ExpectClassesRootEntries(const std::string& module) {
    const HKEY cr = HKEY_CLASSES_ROOT;
    EXPECT_EQ(StringValue(cr, "Tamsel.AdFilter.1"), "AdFilter Class");
    EXPECT_EQ(StringValue(cr, "Tamsel.AdFilter.1\\CLSID"), kClsid);
    EXPECT_EQ(StringValue(cr, "Tamsel.AdFilter"), "AdFilter Class");
    EXPECT_EQ(StringValue(cr, "Tamsel.AdFilter\\CLSID"), kClsid);
    EXPECT_EQ(StringValue(cr, "Tamsel.AdFilter\\CurVer"), "Tamsel.AdFilter.1");
    EXPECT_EQ(StringValue(cr, kClassKey), "AdFilter Class");
    EXPECT_EQ(StringValue(cr, kClassKey + "\\ProgID"), "Tamsel.AdFilter.1");
    EXPECT_EQ(StringValue(cr, kClassKey + "\\VersionIndependentProgID"), "Tamsel.AdFilter");
    EXPECT_TRUE(KeyExists(cr, kClassKey + "\\Programmable"));
    EXPECT_FALSE(ValueExists(cr, kClassKey + "\\Programmable")) << "a key without a value";
    EXPECT_EQ(Lower(StringValue(cr, kClassKey + "\\InprocServer32").value_or("")), Lower(module));
    EXPECT_EQ(StringValue(cr, kClassKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(StringValue(cr, kClassKey + "\\TypeLib"), kLibid);
}

void ExpectLocalMachineEntries(const std::string& module) {
    const HKEY lm = HKEY_LOCAL_MACHINE;
    EXPECT_EQ(StringValue(lm, kBhoKey), "Tamsel");
    EXPECT_EQ(StringValue(lm, kToolbarKey), "Tamsel");
    EXPECT_EQ(StringValue(lm, kToolbarKey, "CLSID"), "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}");
    EXPECT_EQ(StringValue(lm, kToolbarKey, "Default Visible"), "Yes");
    EXPECT_EQ(StringValue(lm, kToolbarKey, "ButtonText"), "Tamsel");
    EXPECT_EQ(Lower(StringValue(lm, kToolbarKey, "HotIcon").value_or("")), Lower(module + ",203"));
    EXPECT_EQ(Lower(StringValue(lm, kToolbarKey, "Icon").value_or("")), Lower(module + ",202"));
    EXPECT_EQ(StringValue(lm, kToolbarKey, "ClsidExtension"), kClsid);
}

void ExpectTypeLibraryRegistered() {
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kLibid + "\\1.0"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string("Interface\\") + kIid));
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadRegTypeLib(kLibidTamselLib, 1, 0, 0x0409, library.put()), S_OK);
    Bstr name;
    Bstr help;
    ASSERT_EQ(library->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr), S_OK);
    EXPECT_STREQ(name.get(), L"TAMSELLib");
    EXPECT_STREQ(help.get(), L"Tamsel 1.0 Type Library");
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfoOfGuid(kIidIAdFilter, info.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_EQ(attr->cFuncs, 7) << "IDispatch's own seven; IAdFilter adds none";
    info->ReleaseTypeAttr(attr);
    // The interface half of the dual interface: a table of seven methods.
    HREFTYPE interfaceHalf = 0;
    ASSERT_EQ(info->GetRefTypeOfImplType(-1, &interfaceHalf), S_OK);
    ComPtr<ITypeInfo> vtable;
    ASSERT_EQ(info->GetRefTypeInfo(interfaceHalf, vtable.put()), S_OK);
    ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attr->cbSizeVft, 7 * sizeof(void*));
    vtable->ReleaseTypeAttr(attr);
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(kClsidAdFilter, coclass.put()), S_OK);
}

TEST_F(RegistrationTest, RegisterWritesEveryKeyAndValueAndTheTypeLibrary) {
    // Something left under the class key by an older version goes: the key
    // is replaced whole.
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, (kClassKey + "\\Stale").c_str(), REG_SZ, "old", 3), ERROR_SUCCESS);
    Register();
    ExpectClassesRootEntries(module_);
    ExpectLocalMachineEntries(module_);
    ExpectTypeLibraryRegistered();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey + "\\Stale"));
    // Registering again changes nothing.
    Register();
    ExpectClassesRootEntries(module_);
    ExpectLocalMachineEntries(module_);
}

// Whether a key of HKLM exists in one registry view: KEY_WOW64_64KEY or
// KEY_WOW64_32KEY (the 32-bit view, under WOW6432Node).
bool KeyInView(const std::string& subKey, REGSAM view) {
    RegistryKey key;
    return key.Open(HKEY_LOCAL_MACHINE, subKey.c_str(), KEY_READ | view) == ERROR_SUCCESS;
}

// The regsvr32 of the module's bitness writes the view that browsers of that
// bitness read: the 64-bit module the 64-bit view only, and in a 32-bit
// prefix, which has one view, the 32-bit module is found there.
TEST_F(RegistrationTest, LandsInTheRegistryViewOfTheModulesBitness) {
    Register();
    const std::string classKey = "SOFTWARE\\Classes\\" + kClassKey;
    for (const std::string& key : {classKey, kBhoKey}) {
        if (sizeof(void*) == 8) {
            EXPECT_TRUE(KeyInView(key, KEY_WOW64_64KEY)) << key;
            EXPECT_FALSE(KeyInView(key, KEY_WOW64_32KEY)) << key << " in WOW6432Node";
        } else {
            EXPECT_TRUE(KeyInView(key, KEY_WOW64_32KEY)) << key;
        }
    }
}

TEST_F(RegistrationTest, AClientCreatesTheClassByItsProgId) {
    Register();
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"Tamsel.AdFilter", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, kClsidAdFilter));
    ASSERT_EQ(CLSIDFromProgID(L"Tamsel.AdFilter.1", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, kClsidAdFilter));

    ComPtr<IDispatch> object;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidIAdFilter, object.put_void()), S_OK);
    // Its IDispatch describes itself from the registered library.
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(object->GetTypeInfo(0, 0x0409, info.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualIID(attr->guid, kIidIAdFilter));
    info->ReleaseTypeAttr(attr);
}

TEST_F(RegistrationTest, UnregisterRemovesOursAndKeepsSharedKeys) {
    const std::vector<std::pair<HKEY, std::string>> shared = {
        {HKEY_CLASSES_ROOT, "CLSID"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Internet Explorer"},
    };
    for (const auto& [root, key] : shared) ASSERT_TRUE(KeyExists(root, key)) << key;
    Register();
    ASSERT_EQ(RunProgram(Regsvr32("/u /s", module_)), 0u);

    for (const char* gone : {"Tamsel.AdFilter.1", "Tamsel.AdFilter"}) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, gone)) << gone;
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kBhoKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kToolbarKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kLibid));
    for (const auto& [root, key] : shared) EXPECT_TRUE(KeyExists(root, key)) << key;
    CLSID clsid{};
    EXPECT_NE(CLSIDFromProgID(L"Tamsel.AdFilter", &clsid), S_OK);
    // Unregistering what is already gone has nothing left to do: success.
    EXPECT_EQ(RunProgram(Regsvr32("/u /s", module_)), 0u);
}

}  // namespace
}  // namespace tamsel::testing

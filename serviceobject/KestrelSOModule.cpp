// The library's exports: the class objects of "VX.ScannerSO" and
// "VX.ImagerSO", the unload answer and registration.
#include "CImagerSO.h"
#include "CScannerSO.h"

#include "platform/com.h"

#include <string>
#include <vector>

namespace {

constexpr char kScannerProgId[] = "VX.ScannerSO";
constexpr char kImagerProgId[] = "VX.ImagerSO";

platform::ClassFactory& ScannerFactory()
{
    static platform::ClassFactory factory(CLSID_ScannerSO, &CScannerSO::Create, KestrelModule());
    return factory;
}

platform::ClassFactory& ImagerFactory()
{
    static platform::ClassFactory factory(CLSID_ImagerSO, &CImagerSO::Create, KestrelModule());
    return factory;
}

std::string ClassKey(const CLSID& clsid)
{
    return "CLSID\\" + platform::stringFromGuid(clsid);
}

// The keys of one class; only the scanner names its threading model.
void AddClass(std::vector<platform::ClassesEntry>& entries, const char* progId, const CLSID& clsid,
              const std::string& library, bool apartment)
{
    const std::string clsidText = platform::stringFromGuid(clsid);
    const std::string classKey = ClassKey(clsid);
    entries.push_back({progId, std::nullopt, progId});
    entries.push_back({std::string(progId) + "\\CLSID", std::nullopt, clsidText});
    entries.push_back({classKey, std::nullopt, progId});
    entries.push_back({classKey + "\\ProgID", std::nullopt, progId});
    entries.push_back({classKey + "\\InprocServer32", std::nullopt, library});
    if (apartment)
        entries.push_back({classKey + "\\InprocServer32", "ThreadingModel", "Apartment"});
}

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    try {
        return platform::getClassObject({&ScannerFactory(), &ImagerFactory()}, clsid, iid, object);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

extern "C" HRESULT DllCanUnloadNow()
{
    return KestrelModule().canUnloadNow();
}

// A failed write is reported: a half-registered server must not pass for
// a registered one.
extern "C" HRESULT DllRegisterServer()
{
    try {
        const std::string library = platform::modulePath(reinterpret_cast<const void*>(&DllRegisterServer));
        if (library.empty())
            return SELFREG_E_CLASS;
        std::vector<platform::ClassesEntry> entries;
        AddClass(entries, kImagerProgId, CLSID_ImagerSO, library, false);
        AddClass(entries, kScannerProgId, CLSID_ScannerSO, library, true);
        return platform::registerClassesEntries(entries);
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

extern "C" HRESULT DllUnregisterServer()
{
    try {
        return platform::deleteClassesKeys(
            {kImagerProgId, ClassKey(CLSID_ImagerSO), kScannerProgId, ClassKey(CLSID_ScannerSO)});
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

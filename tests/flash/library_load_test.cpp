// The shared library as hosts load it: by path, two exports resolved by
// name, the tool driven through its table of virtual operations. The test
// uses <dlfcn.h> directly, since the platform layer offers no loader.
#include "TestSupport.h"
#include "include/VXFLASH02.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

namespace {

struct Library {
    void* handle = nullptr;
    PFN_CreateFlashTool create = nullptr;
    PFN_DestroyFlashTool destroy = nullptr;

    // False when the library or either export is missing; no entry is ever
    // called through a null pointer.
    bool load(const std::string& path, const char* createName = "CreateFlashTool",
              const char* destroyName = "DestroyFlashTool")
    {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return false;
        create = reinterpret_cast<PFN_CreateFlashTool>(dlsym(handle, createName));
        destroy = reinterpret_cast<PFN_DestroyFlashTool>(dlsym(handle, destroyName));
        return create != nullptr && destroy != nullptr;
    }
    ~Library()
    {
        if (handle)
            dlclose(handle);
    }
};

std::string libraryPath() { return vxtest::programDirectory() + "/libVXFLASH02.so"; }

TEST(LibraryLoad, DrivesTheToolThroughItsTable)
{
    Library library;
    ASSERT_TRUE(library.load(libraryPath())) << dlerror();
    CFlashTool* tool = library.create();
    ASSERT_NE(tool, nullptr);
    // Slot order: FlashScanner, GetFileVersion, SetSetting, GetSetting.
    using SetFn = CONST_GETSET_RETURN (*)(CFlashTool*, CONST_FLASHTOOL_SETTING, void*, std::uint32_t);
    using FlashFn = CONST_UPGRADERETURN (*)(CFlashTool*, void*, const char16_t*);
    void** table = *reinterpret_cast<void***>(tool);
    std::int32_t iface = CIF_RS232;
    EXPECT_EQ(reinterpret_cast<SetFn>(table[2])(tool, CFS_INTERFACE, &iface, 4), CGSRET_SUCCESS);
    std::int32_t back = -1;
    EXPECT_EQ(reinterpret_cast<SetFn>(table[3])(tool, CFS_INTERFACE, &back, 4), CGSRET_SUCCESS);
    EXPECT_EQ(back, CIF_RS232);
    EXPECT_EQ(tool->GetSetting(CFS_INTERFACE, &back, 4), CGSRET_SUCCESS);
    EXPECT_EQ(reinterpret_cast<FlashFn>(table[0])(tool, nullptr, u"x.mocf"), CUR_FAILURE) << "no port name";
    fileversion_type version;
    EXPECT_EQ(tool->GetFileVersion(nullptr, &version), CGSRET_INVALID);
    library.destroy(tool);
    library.destroy(nullptr);
}

TEST(LibraryLoad, MissingExportIsAFailedLoad)
{
    Library library;
    EXPECT_FALSE(library.load(libraryPath(), "CreateFlashTool", "DestroyFlashToolMissing"));
    EXPECT_EQ(library.destroy, nullptr);
    Library none;
    EXPECT_FALSE(none.load(vxtest::programDirectory() + "/libNoSuchFlash.so"));
}

}  // namespace

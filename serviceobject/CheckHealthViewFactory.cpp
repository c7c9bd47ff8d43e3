#include "ICheckHealthView.h"

#include "platform/loaded_symbol.h"
#include "platform/module.h"
#include "platform/module_path.h"

namespace {

// QCoreApplication's instance pointer, present once the process has Qt.
constexpr const char* kQtApplicationSymbol = "_ZN16QCoreApplication4selfE";
constexpr const char* kQtViewLibrary = "libVXCheckHealthQt.so";

using CreateView = ICheckHealthView* (*)();

// The windowed view, when the process runs a Qt Widgets application and
// the library beside the program (or on the library path) loads.
ICheckHealthView* qtView()
{
    auto* self = static_cast<void**>(platform::findLoadedSymbol(kQtApplicationSymbol));
    if (self == nullptr || *self == nullptr)
        return nullptr;
    std::string folder = platform::executablePath();
    folder = folder.substr(0, folder.rfind('/') + 1);
    HMODULE library = LoadLibraryA((folder + kQtViewLibrary).c_str());
    if (library == nullptr)
        return nullptr;  // kept loaded once it is: its view may outlive this call
    auto create = reinterpret_cast<CreateView>(GetProcAddress(library, "VxCreateCheckHealthView"));
    ICheckHealthView* view = create != nullptr ? create() : nullptr;
    if (view == nullptr)
        FreeLibrary(library);
    return view;
}

}  // namespace

std::unique_ptr<ICheckHealthView> MakeCheckHealthView()
{
    if (ICheckHealthView* view = qtView())
        return std::unique_ptr<ICheckHealthView>(view);
    return std::make_unique<CScriptedCheckHealthView>(111);
}

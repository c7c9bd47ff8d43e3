#include "ICheckHealthView.h"

std::unique_ptr<ICheckHealthView> MakeCheckHealthView()
{
    return std::make_unique<CScriptedCheckHealthView>(111);
}

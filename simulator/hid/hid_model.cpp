#include "simulator/hid_model.h"

namespace vxsim {
namespace {

std::vector<HidModel> makeCatalogue()
{
    HidModel pos;
    pos.name = "hid-pos";

    HidModel qox = pos;
    qox.name = "hid-qox";
    qox.usagePage = 0xFF8C;
    qox.interfaceNumber = 1;
    qox.product = "Varnex Qox Interface";

    HidModel keyboard = pos;
    keyboard.name = "hid-keyboard";
    keyboard.usagePage = 0x0001;
    keyboard.usage = 0x0006;
    keyboard.interfaceNumber = 2;
    keyboard.inputLength = 9;
    keyboard.outputLength = 0;
    keyboard.featureLength = 0;
    keyboard.product = "Varnex Keyboard Interface";
    return {pos, qox, keyboard};
}

const std::vector<HidModel>& catalogue()
{
    static const std::vector<HidModel> models = makeCatalogue();
    return models;
}

}  // namespace

const HidModel* findHidModel(const std::string& name)
{
    for (const HidModel& model : catalogue())
        if (model.name == name)
            return &model;
    return nullptr;
}

std::vector<std::string> hidModelNames()
{
    std::vector<std::string> names;
    for (const HidModel& model : catalogue())
        names.push_back(model.name);
    return names;
}

}  // namespace vxsim

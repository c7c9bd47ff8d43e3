#include "simulator/hid_model.h"

namespace vxsim {
namespace {

std::vector<HidModel> makeCatalogue()
{
    HidModel pos;
    pos.name = "hid-pos";

    HidModel qox = pos;
    qox.name = "hid-qox";
    qox.usagePage = kManagementUsagePage;
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
    HidModel surePos = pos;
    surePos.name = "hid-surepos";
    surePos.usagePage = 0xFF45;
    surePos.usage = 0x4A00;
    surePos.interfaceNumber = 3;
    surePos.outputLength = 0;
    surePos.featureLength = 0;
    surePos.product = "Varnex SurePOS Interface";

    HidModel filterPos = pos;
    filterPos.name = "hid-filter-pos";
    filterPos.filterDriver = true;

    HidModel filterQox = qox;
    filterQox.name = "hid-filter-qox";
    filterQox.filterDriver = true;

    // A line-of-business scanner on the bar-code scanner page: its product
    // string does not say "HID POS" and its terminal id is not the
    // point-of-sale one, so a host takes it as line of business.
    HidModel lob = pos;
    lob.name = "hid-lob";
    lob.productId = 0x0110;
    lob.product = "Varnex Area Imager";
    MenuRule terminalId;
    terminalId.command = "TERMID?";
    terminalId.value = "TERMID131";
    terminalId.echo = false;
    lob.menu.rules.push_back(terminalId);
    return {pos, qox, keyboard, surePos, filterPos, filterQox, lob};
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

std::vector<HidModel> compositeHidDevice(const std::string& serialNumber)
{
    HidModel pos = *findHidModel("hid-pos");
    HidModel qox = *findHidModel("hid-qox");
    pos.productId = qox.productId = 0x0120;
    pos.serialNumber = qox.serialNumber = serialNumber;
    pos.interfaceNumber = 0;
    qox.interfaceNumber = 1;
    return {pos, qox};
}

}  // namespace vxsim

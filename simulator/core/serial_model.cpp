// The catalogue of serial device models.
#include "simulator/serial_model.h"

#include <array>

namespace vxsim {

namespace {

std::vector<SerialModel> makeCatalogue()
{
    std::vector<SerialModel> models;

    SerialModel rs232;
    rs232.name = "rs232";
    models.push_back(rs232);

    SerialModel fast = rs232;
    fast.name = "rs232-115200";
    fast.baudRate = 115200;
    models.push_back(fast);

    SerialModel quiet = rs232;
    quiet.name = "rs232-lines-down";
    quiet.modemLines = 0;
    models.push_back(quiet);

    SerialModel usb;
    usb.name = "usb-serial";
    usb.deviceKind = "varnex_cdc_acmSerial";
    usb.usbSerial = true;
    usb.baudRate = 115200;
    models.push_back(usb);

    SerialModel filter = rs232;
    filter.name = "filter-rs232";
    filter.deviceKind = "Serial_ptvd";
    filter.filterDriver.present = true;
    models.push_back(filter);

    SerialModel filterUsb = usb;
    filterUsb.name = "filter-usb-serial";
    filterUsb.deviceKind = "Serial_ptvd";
    filterUsb.filterBus = "usbcdc";
    filterUsb.filterDriver.present = true;
    models.push_back(filterUsb);

    SerialModel other = rs232;
    other.name = "other-driver";
    other.deviceKind = "VCP";
    models.push_back(other);

    return models;
}

const std::vector<SerialModel>& catalogue()
{
    static const std::vector<SerialModel> models = makeCatalogue();
    return models;
}

}  // namespace

const SerialModel* findSerialModel(const std::string& name)
{
    for (const SerialModel& m : catalogue())
        if (m.name == name)
            return &m;
    return nullptr;
}

std::vector<std::string> serialModelNames()
{
    std::vector<std::string> names;
    for (const SerialModel& m : catalogue())
        names.push_back(m.name);
    return names;
}

bool applyDpsCode(unsigned code, SerialModel* model)
{
    if (code > 14)
        return false;
    // Parity groups in code order: none, even, odd, space, mark.
    static constexpr std::array<int, 5> groups = {0, 2, 1, 4, 3};
    model->parity = groups[code / 3];
    switch (code % 3) {
    case 0: model->dataBits = 7; model->stopBits = 0; break;
    case 1: model->dataBits = 7; model->stopBits = 2; break;
    default: model->dataBits = 8; model->stopBits = 0; break;
    }
    return true;
}

long long wireMicroseconds(const SerialModel& model, std::size_t bytes)
{
    if (model.baudRate == 0)
        return 0;
    const int bitsPerByte = 1 + model.dataBits + (model.parity != 0 ? 1 : 0) + (model.stopBits == 0 ? 1 : 2);
    return static_cast<long long>(bytes) * bitsPerByte * 1'000'000LL / model.baudRate;
}

}  // namespace vxsim

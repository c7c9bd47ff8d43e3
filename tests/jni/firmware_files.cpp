// Writes the firmware files of the Java bridge's firmware cases into a
// folder: an application update ("application.mocf"), a file the flash
// library refuses ("bad.mocf") and the library's short protocol timings
// ("timings.txt").
//   vx_jni_firmware_files FOLDER
#include "FirmwareFixture.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vx_jni_firmware_files FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::vector<std::string> appLines = flashfix::hexLines(flashfix::appImage(), false);
    const flashfix::Record app{0x0B000001u, flashfix::textBytes(flashfix::joinLines(appLines))};
    flashfix::writeFile(folder + "/application.mocf", flashfix::container({app}));
    flashfix::writeText(folder + "/bad.mocf", "this is no firmware container\n");
    vxtest::FirmwareFiles::writeProtocolFile(folder + "/timings.txt", "");
    return 0;
}

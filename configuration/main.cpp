// TillSetup, the configuration utility.
#include "TillSetupApp.h"

int main(int argc, char** argv)
{
    return runTillSetup(argc, argv);
}

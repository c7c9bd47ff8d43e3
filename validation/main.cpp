// TillProbe, the validation utility.
#include "TillProbeApp.h"

int main(int argc, char** argv)
{
    return runTillProbe(argc, argv);
}

// The linker's replacement starts here, as the development environment starts its linker.
#include "driver/modMain.h"
#include "manifest/TypeLibReaderChild.h"

int main() {
    // The type-library reader child skips the program's start-up: it has no windows to set up.
    int exitCode = 0;
    if (TypeLibReaderChild::RunIfAsked(exitCode)) return exitCode;
    return modMain::Main();
}

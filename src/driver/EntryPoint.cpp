// The linker's replacement starts here, as the development environment starts its linker.
#include "driver/modMain.h"

int main() {
    return modMain::Main();
}

// The reading process's own program: it only reads type libraries and captures registrations for
// the program that started it (see TypeLibReaderChild).
#include "manifest/TypeLibReaderChild.h"

int main() {
    int exitCode = 3; // started by anything but the program
    TypeLibReaderChild::RunIfAsked(exitCode);
    return exitCode;
}

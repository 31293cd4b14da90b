// NoTypeLib.exe: a program with a version resource and no type library, for the reader's tests.
int main() {
    return 0;
}

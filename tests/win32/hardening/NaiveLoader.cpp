// The control of the planted-DLL test: a program that loads comctl32.dll and
// mpr.dll by bare name, as a static import would, from its own folder first.
// When the planted copies beside it are taken, the emulator can tell the
// difference that the stub is tested for.
#include <windows.h>

int main()
{
    bool loaded = LoadLibraryA("comctl32.dll") && LoadLibraryA("mpr.dll");
    return loaded ? 0 : 1;
}

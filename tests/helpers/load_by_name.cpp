// load_by_name: loads the library named by its argument with the default
// search order, as a program that restricts nothing would.  Exit code 0
// when it loaded.
#include <windows.h>

int main(int argc, char **argv)
{
    return argc == 2 && LoadLibraryA(argv[1]) ? 0 : 1;
}

// The Windows entry point: hands the argument text of the command line
// (without the program path) to the application framework.
#include "platform/framework/framework.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    return AfxWinMain(instance, commandLine);
}

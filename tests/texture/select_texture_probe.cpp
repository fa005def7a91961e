// A minimal real process around selectTexture: opens a GL window, selects the texture whose index
// is given, and prints "selected" if the process is still alive afterwards.
#include "GlWindow.h"
#include "TextureCatalogue.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    openGlWindow();
    TextureCatalogue catalogue;
    catalogue.selectTexture(argc > 1 ? unsigned(std::atoi(argv[1])) : 0u);
    std::printf("selected\n");
    return 0;
}

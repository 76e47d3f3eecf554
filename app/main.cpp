// Entry point.

#include "app/start_up.h"

int main(int argc, char** argv)
{
    return StartUp(argc, argv).run();
}

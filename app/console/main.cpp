#include "app/console/ConsoleFrontEnd.h"

#include <iostream>

int main(int argc, char** argv)
{
    return runConsole(argc, argv, std::cin, std::cout, std::cerr);
}

#include "QfuPacker.h"

#include <iostream>

int main(int argc, char** argv) {
    return qfu::runPacker(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}

#include "Console.h"

#include <unistd.h>

bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

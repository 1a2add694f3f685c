#include "Console.h"

#include <cstdio>
#include <io.h>

bool stdoutIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

#include "shell/clock.h"

int main() {
    engine_time();
    return 0;
}

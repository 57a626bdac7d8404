// The input state's single instance; the pump that fills it lives with the window's second connection.
#include "display/input.h"

InputState input_state;

void input_reset() {
    input_state = InputState{};
}
